// Processes: the wrapper of a child process, and what it reports; what an
// interpreter starts goes with it, however it ends; the stand-in ignoring
// interrupts and SIGTERM, closed with its window, or flooding its output while
// megabytes are written to it; Ostrel killed under its interpreters leaves
// none behind.
// (The steps of a session's life: tst_misbehavinginterpreters.)

#include "OLSessionTestSupport.h"

#include <QMap>
#include <QProcess>

namespace {
using Run = OLSessionRun<>;

// One child, started, and every report of its wrapper, in order; only the
// first comes before startProcess has returned.
class Child : public PXShellWrapperDelegate
{
public:
    explicit Child(const QStringList &arguments)
        : wrapper(std::make_shared<PXShellWrapper>(QString(), QProcessEnvironment(QProcessEnvironment::InheritFromParent),
                                                   arguments))
    {
        wrapper->setDelegate(this);
        wrapper->startProcess();
        QCOMPARE(events, QStringList{"started"});
    }

    void appendOutput(PXShellWrapper *, const QString &text) override { events << "out"; output += text; }
    void appendError(PXShellWrapper *, const QString &text) override { events << "err"; error += text; }
    void processStarted(PXShellWrapper *) override { events << "started"; }
    void processFinished(PXShellWrapper *ended, int endStatus) override
    {
        events << "finished";
        status = endStatus;
        signal = ended->terminationSignal();
        inputLost = ended->inputLost();
    }

    // Lets go of the wrapper, which holds itself and its child until its end
    // report, and waits until it has reported its one end, last, and let go of itself.
    void end()
    {
        const std::weak_ptr<PXShellWrapper> watch = wrapper;
        wrapper.reset();
        QTRY_VERIFY_WITH_TIMEOUT(watch.expired(), 20000);
        QVERIFY(events.count(u"finished") == 1 && events.last() == u"finished");
    }

    std::shared_ptr<PXShellWrapper> wrapper;
    QStringList events;
    QString output, error;
    int status = -1, signal = -1;
    bool inputLost = false;
};

// Counts the flood instead of keeping it, and watches this process's memory.
struct FloodRecorder : OLSessionRecorder {
    void appendAnswer(const QString &text) override { take(text, false); }
    void appendError(const QString &text) override { take(text, true); }
    void take(const QString &text, bool error)
    {
        floodSize += text.count(u'x');
        pieces.append({error, QString(text).remove(u'x').remove(u'\n')});
        pieces.last().second.squeeze(); // not the flood's capacity
        peakBytes = std::max(peakBytes, OLTestProcesses::residentBytes());
    }
    qint64 floodSize = 0;
    qint64 peakBytes = 0;
};

// A declaration whose shell and sleep run for five minutes.
const QString sleeper = QStringLiteral("val _ = OS.Process.system \"sleep 300\"");

// The live processes below one, by their first argument: "sleep" for
// sleeper's, "ostrel-guard" for a group's guard.
QMap<qint64, QString> below(qint64 ancestor)
{
    QMap<qint64, QString> kinds;
    for (const qint64 pid : OLTestProcesses::liveDescendants(ancestor))
        kinds[pid] = OLTestProcesses::commandLine(pid).value(0);
    return kinds;
}

} // namespace

class TestInterpreterSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { endAllChildren(); }

    // What the child of a wrapper writes arrives in full, standard error
    // included, before the end report. Input goes in order, at once as far as
    // the pipe has room, never blocking; a piece "end" closes it.
    void wrapper()
    {
        const int mega = 1 << 20;
        // Text input is encoded in slices of 64 K units.
        const QString cutPair = QString(64 * 1024 - 1, u'a') + "\U0001F600" + QString(70 * 1024, u'b');
        const struct {
            QStringList arguments;
            QString output;
            int status;
            QString error = {};
            QStringList input = {};
            bool lost = false;
        } rows[] = {
            {{"/bin/sh", "-c", "echo a; echo b >&2; exec 2>&-; echo c; exit 3"}, "a\nc\n", 3, "b\n"},
            {{"/bin/sh", "-c", "kill -TERM $$"}, "", 128 + SIGTERM},
            {{"/bin/cat"}, cutPair, 0, "", {cutPair, "end"}},
            // A blocking write of two megabytes (twice what the pipe holds) would never
            // return: the child writes one before it reads. It reads in small pieces,
            // so that writes find the pipe part full and are cut short.
            {{"/bin/sh", "-c", QStringLiteral("head -c %1 /dev/zero | tr '\\0' x; printf 'read %s\\n' \"$(dd bs=1000 2>/dev/null | wc -c)\"").arg(mega)}, QString(mega, u'x') + QStringLiteral("read %1\n").arg(2 * mega), 0, "", {QString(2 * mega, u'd'), "end"}},
            // Input on the way to a child that exits is lost, with no SIGPIPE.
            {{"/bin/sh", "-c", "read line; exit 0"}, "", 0, "", {"one line\n" + QString(4 * mega, u'z')}, true},
        };
        for (const auto &row : rows) {
            Child child(row.arguments);
            for (const QString &piece : row.input)
                piece == u"end" ? child.wrapper->closeInput() : child.wrapper->appendInput(piece);
            child.end();
            QVERIFY2(child.output == row.output && child.status == row.status && child.error == row.error
                         && child.signal == (row.status > 128 ? row.status - 128 : 0) && child.inputLost == row.lost,
                     qPrintable(row.arguments.join(u' ').left(80) + " gave " + child.output.left(80) + child.error));
        }
    }

    // The child's input pipe must end up on its standard input even when
    // Ostrel itself was started without one (the pipe then takes descriptor
    // 0); and a child started later must not inherit the writing end of an
    // earlier child's input, or that child would never read end of file.
    void inputPipes()
    {
        const int saved = ::dup(STDIN_FILENO);
        ::close(STDIN_FILENO);
        Child first({"/bin/cat"});
        ::dup2(saved, STDIN_FILENO);
        ::close(saved);
        Child second({"/bin/cat"});
        first.wrapper->appendInput(QStringLiteral("through the pipe\n"));
        first.wrapper->closeInput();
        QTRY_VERIFY_WITH_TIMEOUT(first.events.contains(u"finished"), 10000);
        QVERIFY(!second.events.contains(u"finished"));
        second.wrapper->closeInput();
        first.end();
        second.end();
        QVERIFY(first.output == u"through the pipe\n" && second.status == 0);
    }

    // What the interpreter starts (a shell and its sleep) is in the
    // interpreter's process group, with the group's guard, and goes as the
    // interpreter is interrupted (which it survives, with its guard), reset,
    // ended at quit or closed with its window (which then hears nothing).
    void startedProcessesGoWithTheInterpreter()
    {
        for (const QString &interpreter : {polyPath, smlPath}) {
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
                QCOMPARE(group.values().count(u"ostrel-guard"), 1);
                group.insert(leader, QString());
                for (auto it = group.cbegin(); it != group.cend(); ++it)
                    QCOMPARE(OLTestProcesses::statFields(it.key()).value(2), QByteArray::number(leader));
                const qsizetype shown = run.recorder.pieces.size();
                QCOMPARE(run.play({how}), QString());
                for (auto it = group.cbegin(); it != group.cend(); ++it) {
                    const bool stays = how == u"interrupt" && (it.key() == leader || it.value() == u"ostrel-guard");
                    QVERIFY2(run.waitFor([&] { return OLTestProcesses::isAlive(it.key()) == stays; }), qPrintable(how));
                }
                // A closed window hears nothing more.
                QVERIFY(run.play(then).isEmpty() && (how != u"close" || run.recorder.pieces.size() == shown));
            }
            QCOMPARE(run.recorder.closes, 0);
        }
    }

    // Each row: the stand-in's arguments, and the steps and checks of OLSessionRun::play.
    void standIn_data()
    {
        addPlayColumns();
        // An interrupt that has had its time without bringing the interpreter
        // back makes the next one terminate it, and one that ignores SIGTERM is
        // killed after a grace period. The declaration it never answered has
        // failed; the window stays open; a reset starts a new interpreter.
        const QString terminating = QStringLiteral("The interpreter did not respond to the interrupt; terminating it.\n");
        const QString killing = QStringLiteral("The interpreter did not end when terminated; killing it.\n");
        const QString ended = QStringLiteral("The interpreter has ended (killed by signal %1). Reset the interpreter to start a new one.\n");
        const QStringList ignored{"loop", "clear", "interrupt", "heeded", "ignored", "interrupt"};
        const QStringList then{"verdicts:0", "reset", "answer", "children:1", "closes:0"};
        QTest::newRow("ignores SIGINT, ends at SIGTERM") << "standin ignore-int" << ignored + QStringList{"ended", "shown:" + terminating + ended.arg(15)} + then;
        QTest::newRow("ignores SIGINT and SIGTERM: killed after the grace")
            << "standin ignore-int ignore-term" << ignored + QStringList{"ended", "shown:" + terminating + killing + ended.arg(9)} + then;

        // A closed window's session goes at once; its interpreter is terminated
        // (killed after a grace time when it ignores SIGTERM) and reports to nobody.
        QTest::newRow("closed, ignoring SIGTERM") << "standin ignore-term" << QStringList{"answer", "mark", "clear", "close", "gone", "shown:", "closes:0"};
    }
    void standIn() { playRow(); }

    // The stand-in floods its output (50 MB, in lines or as one line) while
    // megabytes are written to it (more than a pipe holds): both arrive in
    // full, and the session does not keep the flood in memory.
    void floodingInterpreterDoesNotDeadlock()
    {
        const qint64 size = 50 << 20;
        for (const QString &flood : {QStringLiteral("flood"), QStringLiteral("floodline")}) {
            OLSessionRun<FloodRecorder> run(QStringLiteral("standin"));
            QVERIFY(run.waitFor([&] { return !run.recorder.pieces.isEmpty(); })); // at its first prompt
            const qint64 before = OLTestProcesses::residentBytes();
            run.session->eval(QStringLiteral("%1 %2").arg(flood).arg(size), OLEditorCommitter);
            run.session->eval("(* " + QString(5 << 20, u'y') + " *) val after = 1", OLConsoleCommitter);
            // The stand-in reads the commit as one line of 5242901 bytes.
            QVERIFY(run.waitFor([&] { return run.recorder.shown().contains(u"read 5242901"); }, 60000));
            // The flood is 100 MB as text; what is held of it at any time is far less.
            const qint64 grown = run.recorder.peakBytes - before;
            QVERIFY2(run.recorder.floodSize == (flood == u"flood" ? size / 100 * 99 : size) && grown < (40 << 20)
                         && run.recorder.shown(true).isEmpty() && run.recorder.closes == 0,
                     qPrintable(QStringLiteral("%1: grew by %2 MB; %3").arg(flood).arg(grown >> 20).arg(run.recorder.shown(true))));
        }
    }

    // Ostrel killed outright: its interpreters end with it, even one that
    // ignores SIGTERM, and so does what they started. The eval tool stands
    // in for Ostrel: it runs a session. The real interpreters start a shell
    // and its sleep.
    void ostrelKilledLeavesNoInterpreter()
    {
        const QString rows[][3] = {{"standin ignore-term", "loop.sml", "ostrel-guard"}, {polyPath, "sleeper.sml", "sleep"}, {smlPath, "sleeper.sml", "sleep"}};
        for (const auto &[interpreter, source, wanted] : rows) {
            QProcess ostrel;
            ostrel.start(QStringLiteral(OSTREL_EVAL), {QStringLiteral("--interpreter"), commandLine(interpreter), OSTREL_TEST_DATA "/" + source});
            QMap<qint64, QString> processes;
            QVERIFY(Run::waitFor([&] { return (processes = below(ostrel.processId())).values().contains(wanted); }));
            QCOMPARE(::kill(pid_t(ostrel.processId()), SIGKILL), 0);
            QVERIFY(ostrel.waitForFinished(20000));
            QVERIFY2(Run::waitFor([&] { return std::ranges::none_of(processes.keys(), OLTestProcesses::isAlive); }), qPrintable(interpreter));
        }
    }
};

QTEST_GUILESS_MAIN(TestInterpreterSession)
#include "tst_interpretersession.moc"
