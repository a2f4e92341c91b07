// Interpreters that misbehave: never come back to their prompt, are killed
// from outside, end while they are written to, leave processes of their own
// behind. The stand-in (the test child's repl, see commandLine()) can ignore
// SIGTERM and compute until interrupted; where the real interpreters can show
// the same thing, they do.

#include "OLSessionTestSupport.h"

#include <QMap>
#include <QStandardPaths>

#include <csignal>

namespace {

using Run = OLSessionRun<>;

// A declaration whose shell and sleep run for five minutes.
const QString sleeper = QStringLiteral("val _ = OS.Process.system \"sleep 300\"");

// The live processes below one: "sleep" for sleeper's, "guard" for a group's guard, "" for others.
QMap<qint64, QString> below(qint64 ancestor)
{
    QMap<qint64, QString> kinds;
    for (const qint64 pid : OLTestProcesses::liveDescendants(ancestor)) {
        const QStringList arguments = OLTestProcesses::commandLine(pid);
        kinds[pid] = arguments == QStringList{"sleep", "300"} ? "sleep" : arguments.value(0) == u"ostrel-guard" ? "guard" : "";
    }
    return kinds;
}

// A declaration that says "started" and computes until it is interrupted.
QString endlessLoop(const QString &interpreter)
{
    return interpreter.startsWith(u"standin")
        ? QStringLiteral("loop")
        : QStringLiteral("let fun loop (x : int) : int = loop x in print \"started\\n\"; loop 0 end");
}

} // namespace

class TestMisbehavingInterpreters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { endAllChildren(); }

    // A commit that keeps the interpreter from its prompt shows it busy
    // after a while. Interrupts that are answered never escalate: the second
    // of two quick ones (the first has not had its time), and one at the
    // prompt (which the interpreters answer with their note of an
    // interruption). An interrupt or a reset makes it idle; the run a reset
    // stops is killed after the grace if it ignores SIGTERM.
    void interpreterNeverReturning_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::newRow("stand-in") << "standin ignore-term";
        QTest::newRow("poly") << polyPath;
        QTest::newRow("smlnj") << smlPath;
    }
    void interpreterNeverReturning()
    {
        using enum OLInterpreterActivity;
        QFETCH(QString, interpreter);
        Run run(commandLine(interpreter));
        QVERIFY(run.answers());
        QCOMPARE(run.recorder.activities, QList<OLInterpreterActivity>());

        run.session->eval(endlessLoop(interpreter), OLEditorCommitter);
        QVERIFY(run.waitForConsole(QStringLiteral("started\n")));
        run.recorder.verdicts.clear();
        run.session->interruptEvaluation();
        run.session->interruptEvaluation();
        QVERIFY(run.waitForVerdicts(1));
        QCOMPARE(run.recorder.verdicts, QList<bool>{false});
        QVERIFY(!run.session->interruptIgnored());
        const qsizetype shown = run.recorder.shown().size();
        run.session->interruptEvaluation();
        // The note of it is no verdict: no commit awaits one.
        QVERIFY(run.waitFor([&] { return run.recorder.shown().size() > shown; }));
        QCOMPARE(run.recorder.verdicts.size(), 1);
        QVERIFY(run.answers());

        run.session->eval(endlessLoop(interpreter), OLConsoleCommitter);
        QCOMPARE(run.session->activity(), Idle);
        QVERIFY(run.waitForActivity(Busy));
        QVERIFY(run.recorder.shown().endsWith(u"started\n"));
        const qint64 busy = onlyChild();
        run.session->resetEnvironment();
        QCOMPARE(run.session->activity(), Idle);
        QVERIFY(run.answers());
        QVERIFY(run.waitFor([&] { return !OLTestProcesses::isAlive(busy); }));
        // Busy and idle again for each wait, and for any answer slow to come
        // (SML/NJ loading its library under emulation).
        const QList<OLInterpreterActivity> &activities = run.recorder.activities;
        QVERIFY2(activities.size() >= 2 && activities.size() % 2 == 0, qPrintable(QString::number(activities.size())));
        for (qsizetype i = 0; i < activities.size(); ++i)
            QCOMPARE(activities.at(i), i % 2 ? Idle : Busy);
        QVERIFY(!run.recorder.shown().contains(u"terminating") && !run.recorder.shown().contains(u"killing"));
        QCOMPARE(run.recorder.closes, 0);
    }

    // An interpreter that ends under a declaration of the editor, killed
    // from outside while it computes, or by itself while 5 MB are on the way
    // to it (no SIGPIPE): a note; the declaration has failed, once, whatever
    // the interpreter wrote before it ended (Poly ML and SML/NJ warn about
    // the type of the expression; what is left differs from run to run, so
    // two runs). One killed leaves the window open; one that exits closes it
    // through the ordinary path. With no interpreter, a declaration fails at
    // once; a reset starts a new one.
    void interpreterEnds_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("exit"); // none: killed
        QTest::addColumn<int>("runs");
        QTest::addColumn<QString>("note");
        const QString killed = QStringLiteral("The interpreter ended unexpectedly (killed by signal 9). Reset the "
                                              "interpreter to start a new one.\n");
        const QString exited = QStringLiteral("The interpreter ended before it had read all of its input (exit status %1).\n");
        QTest::newRow("poly, killed") << polyPath << "" << 1 << killed;
        QTest::newRow("smlnj, killed") << smlPath << "" << 1 << killed;
        QTest::newRow("poly, exits") << polyPath << "OS.Process.exit OS.Process.success" << 2 << exited.arg(0);
        QTest::newRow("smlnj, exits") << smlPath << "OS.Process.exit OS.Process.failure" << 2 << exited.arg(1);
        QTest::newRow("mosml, quits") << mosmlPath << "quit ()" << 1 << exited.arg(0);
        QTest::newRow("alice, exits") << alicePath << "OS.Process.exit OS.Process.success" << 1 << exited.arg(0);
    }
    void interpreterEnds()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, exit);
        QFETCH(int, runs);
        SKIP_UNLESS_INSTALLED(interpreter);
        Run run(interpreter);
        for (int attempt = 0; attempt < runs; ++attempt) {
            if (attempt > 0)
                run.session->resetEnvironment();
            QVERIFY(run.answers());
            run.recorder.clear();
            if (exit.isEmpty()) {
                run.session->eval(endlessLoop(interpreter), OLEditorCommitter);
                QVERIFY(run.waitForConsole(QStringLiteral("started\n")));
                QCOMPARE(::kill(pid_t(onlyChild()), SIGKILL), 0);
            } else {
                run.session->eval(exit, OLEditorCommitter);
                run.session->eval("(* " + QString(5 << 20, u'y') + " *) val after = 1", OLEditorCommitter);
            }
            QVERIFY(run.waitForActivity(OLInterpreterActivity::Ended));
            QVERIFY(run.recorder.pieces.last().error);
            QTEST(run.recorder.pieces.last().text, "note");
            QCOMPARE(run.recorder.verdicts, QList<bool>{false});
            QCOMPARE(run.recorder.closes, exit.isEmpty() ? 0 : attempt + 1);
            run.session->eval(QStringLiteral("val x = 1"), OLEditorCommitter);
            QCOMPARE(run.recorder.verdicts, (QList<bool>{false, false}));
        }
        if (exit.isEmpty()) {
            run.session->interruptEvaluation();
            run.session->resetEnvironment();
            QVERIFY(run.answers());
        }
    }

    // What the interpreter starts (a shell and its sleep) is in the
    // interpreter's process group, with the group's guard, and goes as the
    // interpreter is interrupted (which it survives, with its guard), reset,
    // ended at quit or closed with its window (which then hears nothing).
    void startedProcessesGoWithTheInterpreter_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::newRow("poly") << polyPath;
        QTest::newRow("smlnj") << smlPath;
    }
    void startedProcessesGoWithTheInterpreter()
    {
        QFETCH(QString, interpreter);
        Run run(interpreter);
        for (const QString how : {"interrupt", "reset", "quit", "close"}) {
            QVERIFY(run.waitFor([&] { return run.answers(); })); // the first after an interrupt may carry its note
            const qint64 leader = onlyChild();
            run.recorder.clear();
            run.session->eval(sleeper, OLEditorCommitter);
            QMap<qint64, QString> group;
            QVERIFY(run.waitFor([&] { return (group = below(leader)).values().contains(u"sleep"); }));
            QCOMPARE(group.values().count(u"guard"), 1);
            group.insert(leader, QString());
            for (auto it = group.cbegin(); it != group.cend(); ++it)
                QCOMPARE(OLTestProcesses::statFields(it.key()).value(2), QByteArray::number(leader));
            const qsizetype shown = run.recorder.pieces.size();
            if (how == u"interrupt")
                run.session->interruptEvaluation();
            else if (how == u"reset")
                run.session->resetEnvironment();
            else if (how == u"quit")
                PXShellWrapper::terminateAll();
            else
                run.session.reset();
            for (auto it = group.cbegin(); it != group.cend(); ++it) {
                const bool stays = how == u"interrupt" && (it.key() == leader || it.value() == u"guard");
                QVERIFY2(run.waitFor([&] { return OLTestProcesses::isAlive(it.key()) == stays; }), qPrintable(how));
            }
            // The interrupted declaration has failed; a closed window hears nothing more.
            QVERIFY(how != u"interrupt" || (run.waitForVerdicts(1) && run.recorder.verdicts == QList<bool>{false}));
            QVERIFY(how != u"close" || run.recorder.pieces.size() == shown);
            if (how == u"quit") {
                QVERIFY(run.waitForActivity(OLInterpreterActivity::Ended));
                run.session->resetEnvironment();
            }
        }
        QCOMPARE(run.recorder.closes, 0);
    }
};

QTEST_GUILESS_MAIN(TestMisbehavingInterpreters)
#include "tst_misbehavinginterpreters.moc"
