// The session with interpreters that are not installed here: Moscow ML and
// Alice ML are played by the stand-in scripts in data/standins, which mimic
// their banners, prompts and error marks. An interpreter of no known kind is
// played by /bin/cat, the test child and a script that answers on standard
// error. (The real Poly ML and SML of New Jersey: tst_realinterpreters.)

#include "session/OLInterpreterSession.h"

#include "OLSessionTestSupport.h"
#include "OLTestProcesses.h"

#include <QStandardPaths>
#include <QTest>

namespace {
const QString standins = QStringLiteral(OSTREL_TEST_DATA "/standins/");
const QString testChild = QStringLiteral(OL_TESTCHILD);
} // namespace

using Piece = OLSessionRecorder::Piece;
Q_DECLARE_METATYPE(Piece)

namespace QTest {
template<>
char *toString(const Piece &piece)
{
    return toString(QLatin1String(piece.error ? "error " : "answer ") + piece.text);
}
} // namespace QTest

class TestInterpreterSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void cleanup() { endAllChildren(); }

    // The start-up text is shown, and reported to nobody, though the editor
    // is the last committer of a new session.
    void banner_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("banner");
        QTest::newRow("mosml") << standins + "mosml" << int(OLMosML) << "Moscow ML version 2.10\n";
        QTest::newRow("alice") << standins + "alice" << int(OLAliceML)
            << "Alice 1.4 (\"Kraftwerk 'Equaliser' Album\") mastered 2007/04/24\n"
               "### loaded signature from x-alice:/lib/system/Print\n";
    }

    void banner()
    {
        QFETCH(QString, interpreter);
        QFETCH(int, mode);
        QFETCH(QString, banner);
        OLTestSettings store;
        store.setInterpreter(interpreter);
        OLSessionRecorder recorder;
        OLInterpreterSession session(store.defaults, recorder, recorder, recorder);
        session.startProcess();
        QCOMPARE(int(session.mode()), mode);
        QCOMPARE(session.lastCommitter(), qint32(OLEditorCommitter));
        QTRY_VERIFY_WITH_TIMEOUT(!recorder.pieces.isEmpty(), 10000);
        QCOMPARE(recorder.pieces, (QList<Piece>{{false, banner}}));
        QCOMPARE(recorder.verdicts, QList<bool>());
        QCOMPARE(recorder.starts, 1);
    }

    void commit_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("from");
        QTest::addColumn<QList<bool>>("verdicts");
        QTest::addColumn<QList<Piece>>("pieces");
        using V = QList<bool>;
        using P = QList<Piece>;
        QTest::newRow("mosml: accepted") << standins + "mosml" << "val x = 1" << 0 << V{true}
                                         << P{{false, "val x = 1 : int\n"}};
        QTest::newRow("mosml: rejected") << standins + "mosml" << "val y = unbound" << 0 << V{false}
            << P{{true, "! Toplevel input:\n! val y = unbound;\n! Unbound value identifier: unbound\n"}};
        QTest::newRow("mosml: from the console, the editor hears nothing") << standins + "mosml" << "val z = 1" << 1
                                                                           << V{} << P{{false, "val z = 1 : int\n"}};
        QTest::newRow("alice: accepted") << standins + "alice" << "val x = 1" << 0 << V{true}
                                         << P{{false, "val x : int = 1\n"}};
        QTest::newRow("alice: everything is an answer") << standins + "alice" << "unbound" << 0 << V{true}
            << P{{false, "1.0-1.7: unknown value or constructor `unbound'\n"}};
        QTest::newRow("unknown: shown as it is, semicolon doubled") << QStringLiteral("/bin/cat") << "x;" << 0
                                                                    << V{true} << P{{false, "x;;\n"}};
        QTest::newRow("standard error is an error the editor never hears of") << standins + "errwriter" << "oops" << 0
                                                                              << V{} << P{{true, "oops;\n"}};
    }

    void commit()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, text);
        QFETCH(int, from);
        QFETCH(QList<bool>, verdicts);
        QFETCH(QList<Piece>, pieces);
        OLTestSettings store;
        store.setInterpreter(interpreter);
        OLSessionRecorder recorder;
        OLInterpreterSession session(store.defaults, recorder, recorder, recorder);
        session.startProcess();
        if (session.mode() != OLUnknownMode)
            QTRY_VERIFY_WITH_TIMEOUT(!recorder.pieces.isEmpty(), 10000);
        recorder.clear();
        session.eval(text, from);
        QCOMPARE(session.lastCommitter(), qint32(from));
        QTRY_VERIFY_WITH_TIMEOUT(!recorder.pieces.isEmpty(), 10000);
        QCOMPARE(recorder.pieces, pieces);
        QCOMPARE(recorder.verdicts, verdicts);
        // An interpreter without known prompts has no first prompt to tell.
        QCOMPARE(recorder.starts, session.mode() == OLUnknownMode ? 0 : 1);
    }

    void reset()
    {
        OLTestSettings store;
        store.setInterpreter(standins + "mosml");
        OLSessionRecorder recorder;
        OLInterpreterSession session(store.defaults, recorder, recorder, recorder);
        session.startProcess();
        session.eval(QStringLiteral("val x = 1"), OLEditorCommitter);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.verdicts, QList<bool>{true}, 10000);
        recorder.clear();

        // The command line is read afresh: the new run is another interpreter.
        store.setInterpreter(standins + "alice");
        session.resetEnvironment();
        QCOMPARE(recorder.pieces, (QList<Piece>{{false, "\n\n###reset environment\n\n"}}));
        QCOMPARE(recorder.resets, 1);
        QCOMPARE(session.lastCommitter(), qint32(OLConsoleCommitter));
        QCOMPARE(session.mode(), OLAliceML);
        QVERIFY(session.willReset());
        QTRY_VERIFY_WITH_TIMEOUT(!session.willReset(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.console().contains(u"Alice 1.4"), 10000);
        QCOMPARE(recorder.starts, 2);
        QCOMPARE(recorder.closes, 0);
        QVERIFY(recorder.verdicts.isEmpty());

        session.eval(QStringLiteral("val y = 1"), OLEditorCommitter);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.verdicts, QList<bool>{true}, 10000);
    }

    void twoQuickResets()
    {
        OLTestSettings store;
        store.setInterpreter(standins + "mosml");
        OLSessionRecorder recorder;
        OLInterpreterSession session(store.defaults, recorder, recorder, recorder);
        session.startProcess();
        session.resetEnvironment();
        session.resetEnvironment();
        QTRY_VERIFY_WITH_TIMEOUT(!session.willReset(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(OLTestProcesses::liveChildren().size(), 1, 10000);
        QCOMPARE(recorder.closes, 0);
        session.eval(QStringLiteral("val z = 1"), OLEditorCommitter);
        // The stopped runs' start-up texts reached nobody: a reset commits for the console.
        QTRY_COMPARE_WITH_TIMEOUT(recorder.verdicts, QList<bool>{true}, 10000);
    }

    void interpreterEndsByItself()
    {
        OLTestSettings store;
        store.setInterpreter(standins + "mosml");
        OLSessionRecorder recorder;
        OLInterpreterSession session(store.defaults, recorder, recorder, recorder);
        session.startProcess();
        session.eval(QStringLiteral("quit()"), OLConsoleCommitter);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.closes, 1, 10000);
    }

    // A run that never started is shown as an error and leaves the window
    // open; the editor's commit fails instead of waiting for ever.
    void missingInterpreter()
    {
        OLTestSettings store;
        store.setInterpreter(QStringLiteral("/nonexistent/ostrel/mosml"));
        OLSessionRecorder recorder;
        OLInterpreterSession session(store.defaults, recorder, recorder, recorder);
        session.startProcess();
        // Before the failure is known, and after.
        session.eval(QStringLiteral("val x = 1"), OLEditorCommitter);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.verdicts, QList<bool>{false}, 10000);
        QCOMPARE(recorder.pieces,
                 (QList<Piece>{{true, "Could not start /nonexistent/ostrel/mosml: No such file or directory\n"}}));
        session.eval(QStringLiteral("val x = 1"), OLEditorCommitter);
        QCOMPARE(recorder.verdicts, (QList<bool>{false, false}));
        QCOMPARE(recorder.closes, 0);
        QCOMPARE(recorder.starts, 0);
    }

    void interruptChangesNothingElse()
    {
        OLTestSettings store;
        store.setInterpreter(testChild + " signals");
        OLSessionRecorder recorder;
        OLInterpreterSession session(store.defaults, recorder, recorder, recorder);
        session.startProcess();
        QTRY_COMPARE_WITH_TIMEOUT(recorder.console(), QStringLiteral("ready\n"), 10000);
        session.eval(QStringLiteral("x"), OLConsoleCommitter);
        session.interruptEvaluation();
        QTRY_COMPARE_WITH_TIMEOUT(recorder.console(), QStringLiteral("ready\nINT\n"), 10000);
        QCOMPARE(session.lastCommitter(), qint32(OLConsoleCommitter));
    }

    // A closed window's session goes; its interpreter runs on to its end,
    // which reports to nobody.
    void sessionGoesFirst()
    {
        OLTestSettings store;
        store.setInterpreter(testChild + " signals");
        OLSessionRecorder recorder;
        auto session = std::make_unique<OLInterpreterSession>(store.defaults, recorder, recorder, recorder);
        session->startProcess();
        QTRY_COMPARE_WITH_TIMEOUT(recorder.console(), QStringLiteral("ready\n"), 10000);
        session.reset();
        QCOMPARE(OLTestProcesses::liveChildren().size(), 1);
        PXShellWrapper::terminateAll();
        QTRY_VERIFY_WITH_TIMEOUT(OLTestProcesses::liveChildren().isEmpty(), 10000);
        QCOMPARE(recorder.console(), QStringLiteral("ready\n"));
        QCOMPARE(recorder.closes, 0);
    }
};

QTEST_GUILESS_MAIN(TestInterpreterSession)
#include "tst_interpretersession.moc"
