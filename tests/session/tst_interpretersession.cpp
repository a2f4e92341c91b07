// The session with interpreters that are not installed here: Moscow ML and
// Alice ML are played by the stand-in scripts in data/standins, which mimic
// their banners, prompts and error marks. An interpreter of no known kind is
// played by /bin/cat and a script that answers on standard error.
// (The real Poly ML and SML of New Jersey: tst_realinterpreters.)

#include "OLSessionTestSupport.h"

#include <QStandardPaths>

namespace {
const QString standins = QStringLiteral(OSTREL_TEST_DATA "/standins/");
const QString resetNote = QStringLiteral("\n\n###reset environment\n\n");
} // namespace

using Piece = OLSessionRecorder::Piece;
using Run = OLSessionRun<>;
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

    // The start-up text is shown and reported to nobody, though the editor is
    // the last committer of a new session; then one commit and what it brings.
    void commit_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("banner");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("from");
        QTest::addColumn<QList<bool>>("verdicts");
        QTest::addColumn<QList<Piece>>("pieces");
        using V = QList<bool>;
        using P = QList<Piece>;
        const QString mosml = standins + "mosml";
        const QString mosmlBanner = QStringLiteral("Moscow ML version 2.10\n");
        const QString alice = standins + "alice";
        const QString aliceBanner = QStringLiteral("Alice 1.4 (\"Kraftwerk 'Equaliser' Album\") mastered 2007/04/24\n"
                                                   "### loaded signature from x-alice:/lib/system/Print\n");
        QTest::newRow("mosml: accepted") << mosml << int(OLMosML) << mosmlBanner << "val x = 1" << 0 << V{true}
                                         << P{{false, "val x = 1 : int\n"}};
        QTest::newRow("mosml: rejected") << mosml << int(OLMosML) << mosmlBanner << "val y = unbound" << 0 << V{false}
            << P{{true, "! Toplevel input:\n! val y = unbound;\n! Unbound value identifier: unbound\n"}};
        QTest::newRow("mosml: from the console, the editor hears nothing") << mosml << int(OLMosML) << mosmlBanner
            << "val z = 1" << 1 << V{} << P{{false, "val z = 1 : int\n"}};
        QTest::newRow("alice: everything is an answer") << alice << int(OLAliceML) << aliceBanner << "unbound" << 0
            << V{true} << P{{false, "1.0-1.7: unknown value or constructor `unbound'\n"}};
        QTest::newRow("unknown: shown as it is, semicolon doubled") << QStringLiteral("/bin/cat") << int(OLUnknownMode)
            << QString() << "x;" << 0 << V{true} << P{{false, "x;;\n"}};
        QTest::newRow("standard error is an error the editor never hears of") << standins + "errwriter"
            << int(OLUnknownMode) << QString() << "oops" << 0 << V{} << P{{true, "oops;\n"}};
    }

    void commit()
    {
        QFETCH(QString, interpreter);
        QFETCH(int, mode);
        QFETCH(QString, banner);
        QFETCH(QString, text);
        QFETCH(int, from);
        QFETCH(QList<bool>, verdicts);
        QFETCH(QList<Piece>, pieces);
        Run run(interpreter);
        QCOMPARE(int(run.session->mode()), mode);
        QCOMPARE(run.session->lastCommitter(), qint32(OLEditorCommitter));
        if (!banner.isEmpty()) {
            QVERIFY(run.waitForOutput());
            QCOMPARE(run.recorder.pieces, (QList<Piece>{{false, banner}}));
            QCOMPARE(run.recorder.verdicts, QList<bool>());
            run.recorder.clear();
        }
        run.session->eval(text, from);
        QCOMPARE(run.session->lastCommitter(), qint32(from));
        QVERIFY(run.waitForOutput());
        QCOMPARE(run.recorder.pieces, pieces);
        QCOMPARE(run.recorder.verdicts, verdicts);
        // An interpreter without known prompts has no first prompt to tell.
        QCOMPARE(run.recorder.starts, banner.isEmpty() ? 0 : 1);
    }

    // A reset reads the command line afresh: the new run may be another
    // interpreter. Of two quick resets, the stopped run reaches nobody.
    void reset()
    {
        Run run(standins + "mosml");
        run.session->eval(QStringLiteral("val x = 1"), OLEditorCommitter);
        QVERIFY(run.waitForVerdicts(1));
        QCOMPARE(run.recorder.verdicts, QList<bool>{true});
        run.recorder.clear();

        run.setInterpreter(standins + "alice");
        run.session->resetEnvironment();
        run.session->resetEnvironment();
        QCOMPARE(run.recorder.shown(), resetNote + resetNote);
        QCOMPARE(run.recorder.resets, 2);
        QCOMPARE(run.session->lastCommitter(), qint32(OLConsoleCommitter));
        QCOMPARE(run.session->mode(), OLAliceML);
        QVERIFY(run.session->willReset());
        QVERIFY(run.waitFor([&] { return !run.session->willReset(); }));
        QVERIFY(run.waitForConsole(QStringLiteral("Alice 1.4")));
        QCOMPARE(OLTestProcesses::liveChildren().size(), 1);
        QCOMPARE(run.recorder.starts, 2);
        QCOMPARE(run.recorder.closes, 0);
        QVERIFY(run.recorder.verdicts.isEmpty());
        QVERIFY(run.answers());
    }

    // A closed window's session goes; its interpreter runs on to its end,
    // which reports to nobody.
    void sessionGoesFirst()
    {
        Run run(QStringLiteral(OL_TESTCHILD " signals"));
        QVERIFY(run.waitForConsole(QStringLiteral("ready\n")));
        run.session.reset();
        QCOMPARE(OLTestProcesses::liveChildren().size(), 1);
        PXShellWrapper::terminateAll();
        QTRY_VERIFY_WITH_TIMEOUT(OLTestProcesses::liveChildren().isEmpty(), 10000);
        QCOMPARE(run.recorder.shown(), QStringLiteral("ready\n"));
        QCOMPARE(run.recorder.closes, 0);
    }
};

QTEST_GUILESS_MAIN(TestInterpreterSession)
#include "tst_interpretersession.moc"
