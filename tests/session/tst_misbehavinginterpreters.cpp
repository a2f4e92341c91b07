// Interpreters that misbehave: never come back to their prompt, are killed
// from outside, end while they are written to, leave processes of their own
// behind. The stand-in (the test child's repl, see commandLine()) can ignore
// SIGTERM and compute until interrupted; where the real interpreters can show
// the same thing, they do.

#include "OLSessionTestSupport.h"

#include <QMap>
#include <QStandardPaths>

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

} // namespace

class TestMisbehavingInterpreters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { endAllChildren(); }

    // Each row: the interpreter, and the steps and checks of OLSessionRun::play.
    void misbehaviour_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QStringList>("steps");
        // A commit that keeps the interpreter from its prompt shows it busy
        // after a while. Interrupts that are answered never escalate: the second
        // of two quick ones (the first has not had its time), and one at the
        // prompt (which the interpreters answer with their note of an
        // interruption, no verdict). An interrupt or a reset makes it idle; the
        // run a reset stops is killed after the grace if it ignores SIGTERM.
        // Busy and idle again for each wait, and for any answer slow to come
        // (SML/NJ loading its library under emulation).
        const QStringList neverReturning{"answer", "loop", "interrupt", "interrupt", "verdict", "heeded", "interrupt", "more", "verdicts:10",
                                         "answer", "console-loop", "busy", "tail:started\n", "mark", "reset", "idle", "answer", "gone",
                                         "alternating", "lacks:terminating", "lacks:killing", "closes:0"};
        QTest::newRow("stand-in never returning") << "standin ignore-term" << neverReturning;
        QTest::newRow("poly never returning") << polyPath << neverReturning;
        QTest::newRow("smlnj never returning") << smlPath << neverReturning;

        // An interpreter that ends under a declaration of the editor, killed
        // from outside while it computes, or by itself while 5 MB are on the way
        // to it (no SIGPIPE): a note; the declaration has failed, once, whatever
        // the interpreter wrote before it ended (Poly ML and SML/NJ warn about
        // the type of the expression; what is left differs from run to run, so
        // two runs). One killed leaves the window open; one that exits closes it
        // through the ordinary path. With no interpreter, a declaration fails at
        // once; a reset starts a new one.
        const QString killed = QStringLiteral("last:The interpreter ended unexpectedly (killed by signal 9). Reset the "
                                              "interpreter to start a new one.\n");
        const QString exited = QStringLiteral("last:The interpreter ended before it had read all of its input (exit status %1).\n");
        const auto exits = [](const QString &how) { return QStringList{"answer", "clear", "eval:" + how, "big", "ended"}; };
        const QString exit0 = QStringLiteral("OS.Process.exit OS.Process.success"), exit1 = QStringLiteral("OS.Process.exit OS.Process.failure");
        const QStringList failed{"eval:val x = 1", "verdicts:00"};
        QTest::newRow("poly, killed") << polyPath << QStringList{"answer", "clear", "loop", "kill", "ended"} + failed + QStringList{killed, "closes:0", "interrupt", "reset", "answer"};
        QTest::newRow("poly, exits") << polyPath << exits(exit0) + QStringList{"reset"} + exits(exit0) + failed + QStringList{exited.arg(0), "closes:2"};
        QTest::newRow("smlnj, exits") << smlPath << exits(exit1) + QStringList{"reset"} + exits(exit1) + failed + QStringList{exited.arg(1), "closes:2"};
        QTest::newRow("mosml, quits") << mosmlPath << exits("quit ()") + failed + QStringList{exited.arg(0), "closes:1"};
        QTest::newRow("alice, exits") << alicePath << exits(exit0) + failed + QStringList{exited.arg(0), "closes:1"};
    }
    void misbehaviour()
    {
        QFETCH(QString, interpreter);
        QFETCH(QStringList, steps);
        if (!interpreter.startsWith(u"standin"))
            SKIP_UNLESS_INSTALLED(interpreter);
        Run run(interpreter);
        QCOMPARE(run.play(steps), QString());
    }

    // What the interpreter starts (a shell and its sleep) is in the
    // interpreter's process group, with the group's guard, and goes as the
    // interpreter is interrupted (which it survives, with its guard), reset,
    // ended at quit or closed with its window (which then hears nothing).
    void startedProcessesGoWithTheInterpreter_data()
    {
        QTest::addColumn<QString>("interpreter");
        for (const QString &interpreter : {polyPath, smlPath})
            QTest::newRow(qPrintable(interpreter)) << interpreter;
    }
    void startedProcessesGoWithTheInterpreter()
    {
        QFETCH(QString, interpreter);
        Run run(interpreter);
        // The interrupted declaration has failed; after a quit, a reset starts a new interpreter.
        const std::pair<QString, QStringList> hows[] = {{"interrupt", {"verdicts:0"}}, {"reset", {}}, {"quit", {"ended", "reset"}}, {"close", {}}};
        for (const auto &[how, then] : hows) {
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
            QCOMPARE(run.play({how}), QString());
            for (auto it = group.cbegin(); it != group.cend(); ++it) {
                const bool stays = how == u"interrupt" && (it.key() == leader || it.value() == u"guard");
                QVERIFY2(run.waitFor([&] { return OLTestProcesses::isAlive(it.key()) == stays; }), qPrintable(how));
            }
            // A closed window hears nothing more.
            QVERIFY(run.play(then).isEmpty() && (how != u"close" || run.recorder.pieces.size() == shown));
        }
        QCOMPARE(run.recorder.closes, 0);
    }
};

QTEST_GUILESS_MAIN(TestMisbehavingInterpreters)
#include "tst_misbehavinginterpreters.moc"
