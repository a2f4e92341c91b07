// Interpreters that misbehave: ignore interrupts, never come back to their
// prompt, are killed from outside, end while they are written to, flood their
// output, fail as they start, leave processes of their own behind; and Ostrel
// killed under its interpreters.
//
// The misbehaving interpreter is mostly a stand-in: the test child in its
// "repl" mode, reached through a link named "sml" so that the session takes it
// for SML of New Jersey (same prompt "- "). It can ignore SIGINT and SIGTERM,
// compute until interrupted, exit and flood on command. Where the real
// interpreters can show the same thing, /usr/bin/poly and /usr/bin/sml do
// (and Moscow ML and Alice ML, where installed, end by themselves).

#include "OLSessionTestSupport.h"

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>

#include <csignal>

namespace {

using Run = OLSessionRun<>;
using Piece = OLSessionRecorder::Piece;

const QString testChild = QStringLiteral(OL_TESTCHILD);
const QString poly = QStringLiteral("/usr/bin/poly");
const QString sml = QStringLiteral("/usr/bin/sml");
const QString terminating = QStringLiteral("The interpreter did not respond to the interrupt; terminating it.\n");
const QString killing = QStringLiteral("The interpreter did not end when terminated; killing it.\n");

// The command line of an interpreter: "standin ARGS" is the test child's repl with those arguments.
QString commandLine(const QString &interpreter)
{
    if (!interpreter.startsWith(u"standin"))
        return interpreter;
    static const QTemporaryDir dir;
    // A copy, not a link: the test child as Ostrel would refuse itself as interpreter.
    const QString copy = dir.filePath(QStringLiteral("sml"));
    if (!QFile::exists(copy))
        QFile::copy(testChild, copy);
    return copy + QStringLiteral(" repl") + interpreter.mid(7);
}

// A declaration whose shell and sleep run for five minutes.
const QString sleeper = QStringLiteral("val _ = OS.Process.system \"sleep 300\"");

// The live processes below one: "sleep" for sleeper's, "guard" for a group's guard, "" for others.
QMap<qint64, QString> below(qint64 ancestor)
{
    QMap<qint64, QString> kinds;
    for (const qint64 pid : OLTestProcesses::liveDescendants(ancestor)) {
        const QStringList arguments = OLTestProcesses::commandLine(pid);
        kinds[pid] = arguments == QStringList{"sleep", "300"} ? "sleep"
                     : arguments.value(0) == u"ostrel-guard"  ? "guard"
                                                               : "";
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

void standInAndInterpreters(const QString &standIn = QStringLiteral("standin"))
{
    QTest::addColumn<QString>("interpreter");
    QTest::newRow("stand-in") << standIn;
    QTest::newRow("poly") << poly;
    QTest::newRow("smlnj") << sml;
}

// Counts the flood instead of keeping it, and watches this process's memory.
struct FloodRecorder : OLSessionRecorder {
    void appendAnswer(const QString &text) override { take(text, false); }
    void appendError(const QString &text) override { take(text, true); }
    void take(const QString &text, bool error)
    {
        floodSize += text.count(u'x');
        QString rest = QString(text).remove(u'x').remove(u'\n');
        rest.squeeze();
        pieces.append({error, rest});
        peakBytes = std::max(peakBytes, OLTestProcesses::residentBytes());
    }
    qint64 floodSize = 0;
    qint64 peakBytes = 0;
};

} // namespace

class TestMisbehavingInterpreters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void cleanup() { endAllChildren(); }

    // An interrupt that has had its time without bringing the interpreter
    // back makes the next one terminate it, and one that ignores SIGTERM is
    // killed after a grace period, or at once when the user insists. The
    // window stays open; a reset starts a new interpreter.
    void interpreterIgnoringInterruptIsEscalated_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<bool>("insist");
        QTest::addColumn<QString>("notes");
        const QString ended = QStringLiteral("The interpreter has ended (killed by signal %1). Reset the interpreter to "
                                             "start a new one.\n");
        QTest::newRow("ignores SIGINT, ends at SIGTERM") << "standin ignore-int" << false << terminating + ended.arg(15);
        QTest::newRow("ignores SIGINT and SIGTERM: killed after the grace")
            << "standin ignore-int ignore-term" << false << terminating + killing + ended.arg(9);
        QTest::newRow("ignores SIGINT and SIGTERM: a third interrupt kills at once")
            << "standin ignore-int ignore-term" << true << terminating + killing + ended.arg(9);
    }

    void interpreterIgnoringInterruptIsEscalated()
    {
        QFETCH(QString, interpreter);
        QFETCH(bool, insist);
        Run run(commandLine(interpreter));
        QVERIFY(run.waitForOutput());
        run.session->eval(QStringLiteral("loop"), OLEditorCommitter);
        QVERIFY(run.waitForConsole(QStringLiteral("started\n")));
        run.recorder.clear();
        run.session->interruptEvaluation();
        QVERIFY(!run.session->interruptIgnored());
        QVERIFY(run.waitFor([&] { return run.session->interruptIgnored(); }));
        QVERIFY(run.recorder.pieces.isEmpty());
        run.session->interruptEvaluation();
        QCOMPARE(run.recorder.pieces, (QList<Piece>{{true, terminating}}));
        if (insist)
            run.session->interruptEvaluation();
        QVERIFY(run.waitFor([&] { return run.session->activity() == OLInterpreterActivity::Ended; }));
        QTEST(run.recorder.shown(true), "notes");
        QCOMPARE(run.recorder.shown(false), QString());
        // The declaration it never answered has failed; the window stays open.
        QCOMPARE(run.recorder.verdicts, QList<bool>{false});
        QCOMPARE(run.recorder.closes, 0);

        run.session->resetEnvironment();
        QCOMPARE(run.session->activity(), OLInterpreterActivity::Idle);
        QVERIFY(run.answers());
        QCOMPARE(OLTestProcesses::liveChildren().size(), 1);
    }

    // A commit that keeps the interpreter from its prompt shows it busy
    // after a while. Interrupts that are answered never escalate: the second
    // of two quick ones (the first has not had its time), and one at the
    // prompt (which the interpreters answer with their note of an
    // interruption). An interrupt or a reset makes it idle; the run a reset
    // stops is killed after the grace if it ignores SIGTERM.
    void interpreterNeverReturning_data() { standInAndInterpreters(QStringLiteral("standin ignore-term")); }

    void interpreterNeverReturning()
    {
        using enum OLInterpreterActivity;
        QFETCH(QString, interpreter);
        Run run(commandLine(interpreter));
        QVERIFY(run.waitForOutput());
        QVERIFY(run.answers());
        QCOMPARE(run.recorder.activities, QList<OLInterpreterActivity>());

        run.session->eval(endlessLoop(interpreter), OLEditorCommitter);
        QCOMPARE(run.session->activity(), Idle);
        QVERIFY(run.waitFor([&] { return run.session->activity() == Busy; }));
        QVERIFY(run.recorder.shown().endsWith(u"started\n"));
        run.recorder.verdicts.clear();
        run.session->interruptEvaluation();
        run.session->interruptEvaluation();
        QVERIFY(run.waitForVerdicts(1));
        QCOMPARE(run.recorder.verdicts, QList<bool>{false});
        QCOMPARE(run.session->activity(), Idle);
        QVERIFY(!run.session->interruptIgnored());
        const qsizetype shown = run.recorder.shown().size();
        run.session->interruptEvaluation();
        // The note of it is no verdict: no commit awaits one.
        QVERIFY(run.waitFor([&] { return run.recorder.shown().size() > shown; }));
        QCOMPARE(run.recorder.verdicts.size(), 1);
        QVERIFY(run.answers());

        run.session->eval(endlessLoop(interpreter), OLConsoleCommitter);
        QVERIFY(run.waitFor([&] { return run.session->activity() == Busy; }));
        const qint64 busy = onlyChild();
        run.session->resetEnvironment();
        QCOMPARE(run.session->activity(), Idle);
        QVERIFY(run.answers());
        QVERIFY(run.waitFor([&] { return !OLTestProcesses::isAlive(busy); }));
        // Busy and idle again for each loop, and for any answer slow to come
        // (SML/NJ loading its library under emulation).
        const QList<OLInterpreterActivity> &activities = run.recorder.activities;
        QVERIFY2(activities.size() >= 4 && activities.size() % 2 == 0, qPrintable(QString::number(activities.size())));
        for (qsizetype i = 0; i < activities.size(); ++i)
            QCOMPARE(activities.at(i), i % 2 ? Idle : Busy);
        QVERIFY(!run.recorder.shown().contains(u"terminating") && !run.recorder.shown().contains(u"killing"));
        QCOMPARE(run.recorder.closes, 0);
    }

    // An interpreter that ends under a declaration of the editor, killed
    // from outside while it computes, or by itself while 5 MB are on the way
    // to it (no SIGPIPE): a note; the declaration has failed, once, whatever
    // the interpreter wrote before it ended (both real ones warn about the
    // type of the expression; what is left differs from run to run, so three
    // runs). One killed leaves the window open; one that exits closes it
    // through the ordinary path. With no interpreter, a declaration fails at
    // once; a reset starts a new one.
    void interpreterEnds_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("exit"); // none: killed
        QTest::addColumn<QString>("note");
        const QString killed = QStringLiteral("The interpreter ended unexpectedly (killed by signal 9). Reset the "
                                              "interpreter to start a new one.\n");
        const QString exited = QStringLiteral("The interpreter ended before it had read all of its input (exit status %1).\n");
        QTest::newRow("poly, killed") << poly << "" << killed;
        QTest::newRow("smlnj, killed") << sml << "" << killed;
        QTest::newRow("poly, exits") << poly << "OS.Process.exit OS.Process.success" << exited.arg(0);
        QTest::newRow("smlnj, exits") << sml << "OS.Process.exit OS.Process.failure" << exited.arg(1);
        QTest::newRow("mosml, quits") << mosmlPath() << "quit ()" << exited.arg(0);
        QTest::newRow("alice, exits") << alicePath << "OS.Process.exit OS.Process.success" << exited.arg(0);
    }

    void interpreterEnds()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, exit);
        SKIP_UNLESS_INSTALLED(interpreter);
        for (int attempt = 0; attempt < (exit.isEmpty() ? 1 : 3); ++attempt) {
            Run run(commandLine(interpreter));
            QVERIFY(run.answers());
            run.recorder.verdicts.clear();
            if (exit.isEmpty()) {
                run.session->eval(endlessLoop(interpreter), OLEditorCommitter);
                QVERIFY(run.waitForConsole(QStringLiteral("started\n")));
                QCOMPARE(::kill(pid_t(onlyChild()), SIGKILL), 0);
            } else {
                run.session->eval(exit, OLEditorCommitter);
                run.session->eval("(* " + QString(5 << 20, u'y') + " *) val after = 1", OLEditorCommitter);
            }
            QVERIFY(run.waitFor([&] { return run.session->activity() == OLInterpreterActivity::Ended; }));
            QVERIFY(run.recorder.pieces.last().error);
            QTEST(run.recorder.pieces.last().text, "note");
            QCOMPARE(run.recorder.verdicts, QList<bool>{false});
            QCOMPARE(run.recorder.closes, exit.isEmpty() ? 0 : 1);

            run.session->eval(QStringLiteral("val x = 1"), OLEditorCommitter);
            QCOMPARE(run.recorder.verdicts, (QList<bool>{false, false}));
            run.session->interruptEvaluation();
            run.session->resetEnvironment();
            QVERIFY(run.answers());
        }
    }

    // An interpreter that writes 50 MB while 5 MB are written to it: both
    // arrive in full, and the session does not keep the flood in memory.
    void floodingInterpreterDoesNotDeadlock_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("flood");
        QTest::addColumn<qint64>("floodSize"); // without line feeds
        QTest::addColumn<QString>("answer");
        const qint64 size = 50 << 20;
        // The stand-in reads the commit as one line of 5242901 bytes.
        QTest::newRow("stand-in, lines of 100") << "standin" << QStringLiteral("flood %1").arg(size) << size / 100 * 99
                                                << "read 5242901";
        QTest::newRow("stand-in, one line") << "standin" << QStringLiteral("floodline %1").arg(size) << size
                                            << "read 5242901";
        const QString lines = QStringLiteral("val _ = let val l = CharVector.tabulate (99, fn _ => #\"x\") ^ \"\\n\" "
                                             "fun f 0 = () | f n = (print l; f (n - 1)) in f %1 end").arg(size / 100);
        QTest::newRow("poly, lines of 100") << poly << lines << size / 100 * 99 << "val after = 1: int";
        QTest::newRow("smlnj, lines of 100") << sml << lines << size / 100 * 99 << "val after = 1 : int";
    }

    void floodingInterpreterDoesNotDeadlock()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, flood);
        QFETCH(QString, answer);
        OLSessionRun<FloodRecorder> run(commandLine(interpreter));
        QVERIFY(run.waitForOutput());
        const QString written = "(* " + QString(5 << 20, u'y') + " *) val after = 1";
        const qint64 before = OLTestProcesses::residentBytes();
        run.session->eval(flood, OLEditorCommitter);
        run.session->eval(written, OLConsoleCommitter);
        QVERIFY(run.waitFor([&] { return run.recorder.shown().contains(answer); }, 60000));
        QTEST(run.recorder.floodSize, "floodSize");
        QCOMPARE(run.recorder.shown(true), QString());
        // The flood is 100 MB as text; what is held of it at any time is far less.
        const qint64 grown = run.recorder.peakBytes - before;
        QVERIFY2(grown < (40 << 20), qPrintable(QStringLiteral("grew by %1 MB").arg(grown >> 20)));
        QCOMPARE(run.recorder.closes, 0);
    }

    // Ostrel killed outright: its interpreters end with it, even one that
    // ignores SIGTERM, and so does what they started. The test child stands
    // in for Ostrel: it runs a session.
    void ostrelKilledLeavesNoInterpreter_data() { standInAndInterpreters(QStringLiteral("standin ignore-term")); }

    void ostrelKilledLeavesNoInterpreter()
    {
        QFETCH(QString, interpreter);
        QTemporaryDir dir;
        QProcess ostrel;
        ostrel.setWorkingDirectory(dir.path());
        // The real interpreters start a shell and its sleep too.
        const bool standIn = interpreter.startsWith(u"standin");
        ostrel.start(testChild, QStringList{QStringLiteral("session"), commandLine(interpreter)}
                                    + (standIn ? QStringList() : QStringList{sleeper}));
        QMap<qint64, QString> processes;
        QVERIFY(Run::waitFor([&] {
            return (processes = below(ostrel.processId())).values().contains(standIn ? "guard" : "sleep");
        }));
        QCOMPARE(::kill(pid_t(ostrel.processId()), SIGKILL), 0);
        QVERIFY(ostrel.waitForFinished(20000));
        QVERIFY(Run::waitFor(
            [&] { return std::none_of(processes.keyBegin(), processes.keyEnd(), OLTestProcesses::isAlive); }));
    }

    // What the interpreter starts (a shell and its sleep) is in the
    // interpreter's process group, with the group's guard, and goes as the
    // interpreter is interrupted (which it survives, with its guard), reset,
    // closed with its window (which then hears nothing) or ended at quit.
    void startedProcessesGoWithTheInterpreter_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("how");
        for (const QString &interpreter : {poly, sml}) {
            for (const char *how : {"interrupt", "reset", "close", "quit"})
                QTest::addRow("%s, %s", qPrintable(interpreter), how) << interpreter << how;
        }
    }

    void startedProcessesGoWithTheInterpreter()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, how);
        Run run(interpreter);
        QVERIFY(run.answers());
        const qint64 leader = onlyChild();
        run.recorder.verdicts.clear();
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
        else if (how == u"close")
            run.session.reset();
        else
            PXShellWrapper::terminateAll();
        for (auto it = group.cbegin(); it != group.cend(); ++it) {
            const bool stays = how == u"interrupt" && (it.key() == leader || it.value() == u"guard");
            QVERIFY(run.waitFor([&] { return OLTestProcesses::isAlive(it.key()) == stays; }));
        }
        // The interrupted declaration has failed, and the interpreter answers
        // again (the first answer after the interrupt may still carry its note).
        QVERIFY(how != u"interrupt" || run.waitForVerdicts(1));
        QVERIFY(how == u"close" ? run.recorder.pieces.size() == shown
                                : how == u"quit" || run.waitFor([&] { return run.answers(); }));
        QCOMPARE(run.recorder.closes, 0);
    }

    // An interpreter that ends before its first prompt (a wrapper script whose
    // executable has gone) or, without prompts, before anything was written
    // to it, and a command line that cannot run (Ostrel itself): the console
    // says why, in errors, and where to choose another; the window stays.
    void interpreterFailingAtStart_data()
    {
        QTest::addColumn<QString>("script"); // the executable, in the temporary folder %1
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QString>("shown");
        const QString choose = QStringLiteral("Choose an interpreter in Preferences or with Evaluate > Choose "
                                              "Interpreter, then reset the interpreter.\n");
        const QString self = QCoreApplication::applicationFilePath();
        QTest::newRow("wrapper script, exit status 127") << "#!/bin/sh\nexec /nonexistent/poly" << "%1/poly"
            << "%1/poly: 2: exec: /nonexistent/poly: not found\nThe interpreter %1/poly ended as it started (exit "
               "status 127).\n" + choose;
        QTest::newRow("no prompts, exits at once") << "#!/bin/sh\nexit 0" << "%1/myml -x"
            << "The interpreter %1/myml ended as it started (exit status 0).\n" + choose;
        QTest::newRow("Ostrel itself") << "" << self << "Ostrel cannot be its own interpreter (" + self + ").\n" + choose;
    }

    void interpreterFailingAtStart()
    {
        QFETCH(QString, script);
        QFETCH(QString, commandLine);
        QFETCH(QString, shown);
        QTemporaryDir dir;
        QFile file(commandLine.replace(QLatin1StringView("%1"), dir.path()).section(u' ', 0, 0));
        QVERIFY(script.isEmpty() || (file.open(QIODevice::WriteOnly) && file.write(script.toUtf8()) > 0
                                     && file.setPermissions(QFile::ReadOwner | QFile::ExeOwner)));
        file.close();
        Run run(commandLine);
        QVERIFY(run.waitFor([&] { return run.session->activity() == OLInterpreterActivity::Ended; }));
        QCOMPARE(run.recorder.shown(true), shown.replace(QLatin1StringView("%1"), dir.path()));
        QCOMPARE(run.recorder.shown(false), QString());
        QCOMPARE(run.recorder.closes, 0);
    }
};

QTEST_GUILESS_MAIN(TestMisbehavingInterpreters)
#include "tst_misbehavinginterpreters.moc"
