// The session with interpreters of no known kind, played by /bin/cat and a
// script that answers on standard error, and a reset from one real
// interpreter to another. (The real ones answering: tst_realinterpreters.)

#include "OLSessionTestSupport.h"

#include <QStandardPaths>

namespace {
using Run = OLSessionRun<>;
const QString standins = QStringLiteral(OSTREL_TEST_DATA "/standins/");
} // namespace

class TestInterpreterSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void cleanup() { endAllChildren(); }

    // One commit and what it brings, though the editor is the last committer
    // of a new session.
    void commit_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("from");
        QTest::addColumn<QList<bool>>("verdicts");
        QTest::addColumn<QString>("answer"); // shown as an answer
        QTest::addColumn<QString>("error");  // shown as an error
        QTest::newRow("from the console, the editor hears nothing") << QStringLiteral("/bin/cat") << "val z = 1"
            << 1 << QList<bool>() << "val z = 1;\n" << "";
        // A text that ends in ";" (past comments) gets no second one.
        QTest::newRow("unknown: shown as it is, semicolon added") << QStringLiteral("/bin/cat") << "x (* ; *)" << 0
            << QList<bool>{true} << "x (* ; *);\n" << "";
        QTest::newRow("unknown: semicolon not doubled") << QStringLiteral("/bin/cat") << "x; (* a (* b *) *) " << 0
            << QList<bool>{true} << "x; (* a (* b *) *) \n" << "";
        QTest::newRow("standard error is an error the editor never hears of") << standins + "errwriter" << "oops"
            << 0 << QList<bool>() << "" << "oops;\n";
    }

    void commit()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, text);
        QFETCH(int, from);
        Run run(interpreter);
        QCOMPARE(run.session->lastCommitter(), qint32(OLEditorCommitter));
        run.session->eval(text, from);
        QCOMPARE(run.session->lastCommitter(), qint32(from));
        QVERIFY(run.waitForOutput());
        QTEST(run.recorder.shown(false), "answer");
        QTEST(run.recorder.shown(true), "error");
        QTEST(run.recorder.verdicts, "verdicts");
        // An interpreter without known prompts has no first prompt to tell.
        QCOMPARE(run.recorder.starts, 0);
    }

    // A reset reads the command line afresh: the new run may be another
    // interpreter. Of two quick resets, the stopped run reaches nobody.
    void reset()
    {
        Run run(QStringLiteral("/usr/bin/poly"));
        QVERIFY(run.answers());
        run.recorder.clear();
        run.setInterpreter(QStringLiteral("/usr/bin/sml"));
        run.session->resetEnvironment();
        run.session->resetEnvironment();
        QCOMPARE(run.recorder.shown(), QStringLiteral("\n\n###reset environment\n\n").repeated(2));
        QCOMPARE(run.recorder.resets, 2);
        QCOMPARE(run.session->lastCommitter(), qint32(OLConsoleCommitter));
        QCOMPARE(run.session->mode(), OLSmlNJ);
        QVERIFY(run.waitFor([&] { return !run.session->willReset() && run.recorder.starts == 2; }));
        QVERIFY(run.recorder.shown().contains(u"Standard ML of New Jersey"));
        QCOMPARE(OLTestProcesses::liveChildren().size(), 1);
        QCOMPARE(run.recorder.closes, 0);
        QVERIFY(run.recorder.verdicts.isEmpty());
        QVERIFY(run.answers());
    }

    // A closed window's session goes at once; its interpreter is terminated
    // (killed after a grace time when it ignores SIGTERM) and reports to nobody.
    void sessionGoesFirst()
    {
        Run run(QStringLiteral(OL_TESTCHILD " repl ignore-term"));
        QVERIFY(run.waitForConsole(QStringLiteral("Stand-in ML")));
        const qint64 interpreter = onlyChild();
        const QString shown = run.recorder.shown();
        run.session.reset();
        QVERIFY(OLTestProcesses::isAlive(interpreter));
        QTRY_VERIFY_WITH_TIMEOUT(!OLTestProcesses::isAlive(interpreter), 10000);
        QCOMPARE(run.recorder.shown(), shown);
        QCOMPARE(run.recorder.closes, 0);
    }
};

QTEST_GUILESS_MAIN(TestInterpreterSession)
#include "tst_interpretersession.moc"
