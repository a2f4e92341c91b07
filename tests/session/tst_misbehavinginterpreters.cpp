// Interpreters that misbehave: ignore interrupts, never come back to their
// prompt, are killed from outside, end while they are written to, flood their
// output; and Ostrel killed under its interpreters.
//
// The misbehaving interpreter is mostly a stand-in: the test child in its
// "repl" mode, reached through a link named "sml" so that the session takes it
// for SML of New Jersey (same prompt "- "). It can ignore SIGINT and SIGTERM,
// compute until interrupted, exit and flood on command. Where the real
// interpreters can show the same thing, /usr/bin/poly and /usr/bin/sml do.

#include "session/OLInterpreterSession.h"

#include "OLSessionTestSupport.h"
#include "OLTestProcesses.h"

#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <csignal>

namespace {

const QString testChild = QStringLiteral(OL_TESTCHILD);
const QString poly = QStringLiteral("/usr/bin/poly");
const QString sml = QStringLiteral("/usr/bin/sml");
constexpr int waitMs = 20000;

const QString reportNote =
    QStringLiteral("The interpreter did not respond to the interrupt; terminating it.\n");
const QString killNote = QStringLiteral("The interpreter did not end when terminated; killing it.\n");

QString activityName(OLInterpreterActivity activity)
{
    switch (activity) {
    case OLInterpreterActivity::Idle: return QStringLiteral("idle");
    case OLInterpreterActivity::Busy: return QStringLiteral("busy");
    case OLInterpreterActivity::Ended: return QStringLiteral("ended");
    }
    return {};
}

// One session on an interpreter. "standin ARGS" is the test child's repl
// with those arguments.
struct Run {
    explicit Run(const QString &interpreter)
    {
        QString command = interpreter;
        if (interpreter.startsWith(u"standin")) {
            const QString link = store.dir.filePath(QStringLiteral("sml"));
            QFile::link(testChild, link);
            command = link + QStringLiteral(" repl") + interpreter.mid(7);
        }
        store.setInterpreter(command);
        session.startProcess();
    }

    bool waitFor(const std::function<bool()> &condition) { return QTest::qWaitFor(condition, waitMs); }
    bool waitForConsole(const QString &text)
    {
        return waitFor([&] { return recorder.console().contains(text); });
    }
    // The start-up text has been shown: the interpreter stands at its prompt.
    bool waitForBanner() { return waitFor([&] { return !recorder.pieces.isEmpty(); }); }
    bool waitForActivity(OLInterpreterActivity activity)
    {
        return waitFor([&] { return session.activity() == activity; });
    }
    QStringList activities() const
    {
        QStringList names;
        for (OLInterpreterActivity activity : recorder.activities)
            names.append(activityName(activity));
        return names;
    }
    // The interpreter answers a plain declaration from the editor.
    bool answers()
    {
        recorder.verdicts.clear();
        session.eval(QStringLiteral("val answered = 5"), OLEditorCommitter);
        return waitFor([&] { return !recorder.verdicts.isEmpty(); }) && recorder.verdicts == QList<bool>{true};
    }
    // The only interpreter running.
    static qint64 interpreterPid()
    {
        const QList<qint64> children = OLTestProcesses::liveChildren();
        return children.size() == 1 ? children.first() : -1;
    }

    OLTestSettings store;
    OLSessionRecorder recorder;
    OLInterpreterSession session{store.defaults, recorder, recorder, recorder};
};

// A declaration that says "started" and computes until it is interrupted.
QString endlessLoop(const QString &interpreter)
{
    return interpreter.startsWith(u"standin")
        ? QStringLiteral("loop")
        : QStringLiteral("let fun loop (x : int) : int = loop x in print \"started\\n\"; loop 0 end");
}

void standInAndInterpreters()
{
    QTest::addColumn<QString>("interpreter");
    QTest::newRow("stand-in") << "standin";
    QTest::newRow("poly") << poly;
    QTest::newRow("smlnj") << sml;
}

// Counts the flood instead of keeping it, and watches this process's memory.
class FloodRecorder : public OLSessionRecorder
{
public:
    void appendAnswer(const QString &text) override { take(text, false); }
    void appendError(const QString &text) override { take(text, true); }

    qint64 floodSize = 0;
    qint64 peakBytes = 0;

private:
    void take(const QString &text, bool error)
    {
        const qsizetype flood = text.count(u'x');
        floodSize += flood;
        if (flood < text.size()) {
            QString rest = text;
            rest.remove(u'x').remove(u'\n').squeeze();
            pieces.append({error, rest});
        }
        peakBytes = std::max(peakBytes, OLTestProcesses::residentBytes());
    }
};

// What the stand-in for Ostrel shows of its session.
class OstrelOutput : public PXShellWrapperDelegate
{
public:
    void appendOutput(PXShellWrapper *, const QString &output) override { text += output; }
    void appendError(PXShellWrapper *, const QString &error) override { text += error; }
    void processStarted(PXShellWrapper *) override {}
    void processFinished(PXShellWrapper *, int) override { ended = true; }

    QString text;
    bool ended = false;
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
        QTest::addColumn<QStringList>("notes");
        QTest::newRow("ignores SIGINT, ends at SIGTERM")
            << "standin ignore-int" << false
            << QStringList{reportNote, "The interpreter has ended (killed by signal 15). Reset the interpreter to "
                                       "start a new one.\n"};
        QTest::newRow("ignores SIGINT and SIGTERM: killed after the grace")
            << "standin ignore-int ignore-term" << false
            << QStringList{reportNote, killNote, "The interpreter has ended (killed by signal 9). Reset the "
                                                 "interpreter to start a new one.\n"};
        QTest::newRow("ignores SIGINT and SIGTERM: a third interrupt kills at once")
            << "standin ignore-int ignore-term" << true
            << QStringList{reportNote, killNote, "The interpreter has ended (killed by signal 9). Reset the "
                                                 "interpreter to start a new one.\n"};
    }

    void interpreterIgnoringInterruptIsEscalated()
    {
        QFETCH(QString, interpreter);
        QFETCH(bool, insist);
        QFETCH(QStringList, notes);
        Run run(interpreter);
        QVERIFY(run.waitForBanner());
        run.recorder.clear();
        run.session.eval(QStringLiteral("loop"), OLEditorCommitter);
        QVERIFY(run.waitForConsole(QStringLiteral("started\n")));
        run.recorder.clear();
        run.session.interruptEvaluation();
        QVERIFY(!run.session.interruptIgnored());
        QVERIFY(run.waitFor([&] { return run.session.interruptIgnored(); }));
        QVERIFY(run.recorder.pieces.isEmpty());
        run.session.interruptEvaluation();
        QCOMPARE(run.recorder.pieces, (QList<OLSessionRecorder::Piece>{{true, reportNote}}));
        if (insist)
            run.session.interruptEvaluation();
        QVERIFY(run.waitForActivity(OLInterpreterActivity::Ended));
        QCOMPARE(run.recorder.shown(true), notes.join(QString()));
        QCOMPARE(run.recorder.shown(false), QString());
        // The declaration it never answered has failed; the window stays open.
        QCOMPARE(run.recorder.verdicts, QList<bool>{false});
        QCOMPARE(run.recorder.closes, 0);

        run.session.resetEnvironment();
        QCOMPARE(run.session.activity(), OLInterpreterActivity::Idle);
        QVERIFY(run.answers());
        QCOMPARE(OLTestProcesses::liveChildren().size(), 1);
    }

    // Interrupts that are answered never escalate: the second of two quick
    // ones (the first has not had its time), and one at the prompt (which
    // the interpreters answer with their note of an interruption).
    void answeredInterruptIsNotEscalated_data() { standInAndInterpreters(); }

    void answeredInterruptIsNotEscalated()
    {
        QFETCH(QString, interpreter);
        Run run(interpreter);
        QVERIFY(run.waitForBanner());
        run.recorder.clear();
        run.session.eval(endlessLoop(interpreter), OLEditorCommitter);
        QVERIFY(run.waitForConsole(QStringLiteral("started\n")));
        run.session.interruptEvaluation();
        run.session.interruptEvaluation();
        QVERIFY(run.waitFor([&] { return !run.recorder.verdicts.isEmpty(); }));
        QCOMPARE(run.recorder.verdicts, QList<bool>{false});
        QVERIFY(!run.session.interruptIgnored());
        run.session.interruptEvaluation();
        QVERIFY(run.waitFor([&] { return run.recorder.verdicts.size() == 2; }));
        QVERIFY(run.answers());
        QVERIFY(!run.recorder.console().contains(u"terminating"));
        QVERIFY(!run.recorder.activities.contains(OLInterpreterActivity::Ended));
    }

    // A run stopped by a reset that ignores SIGTERM is killed after the grace.
    void resetKillsInterpreterIgnoringTermination()
    {
        Run run(QStringLiteral("standin ignore-int ignore-term"));
        QVERIFY(run.waitForBanner());
        const qint64 stopped = Run::interpreterPid();
        run.session.resetEnvironment();
        QVERIFY(run.session.willReset());
        QVERIFY(run.waitFor([&] { return !run.session.willReset(); }));
        QVERIFY(!OLTestProcesses::isAlive(stopped));
        QVERIFY(run.answers());
        QCOMPARE(run.recorder.closes, 0);
        QVERIFY(!run.recorder.console().contains(u"killing"));
    }

    // A commit that keeps the interpreter from its prompt shows it busy
    // after a while; an interrupt or a reset at that moment makes it idle.
    void interpreterNeverReturningShowsBusy_data() { standInAndInterpreters(); }

    void interpreterNeverReturningShowsBusy()
    {
        QFETCH(QString, interpreter);
        Run run(interpreter);
        QVERIFY(run.waitForBanner());
        QVERIFY(run.answers());
        QCOMPARE(run.activities(), QStringList());

        run.session.eval(endlessLoop(interpreter), OLEditorCommitter);
        QCOMPARE(run.session.activity(), OLInterpreterActivity::Idle);
        QVERIFY(run.waitForActivity(OLInterpreterActivity::Busy));
        QVERIFY(run.recorder.console().endsWith(u"started\n"));
        run.session.interruptEvaluation();
        QVERIFY(run.waitForActivity(OLInterpreterActivity::Idle));
        QVERIFY(run.answers());

        run.session.eval(endlessLoop(interpreter), OLConsoleCommitter);
        QVERIFY(run.waitForActivity(OLInterpreterActivity::Busy));
        const qint64 busy = Run::interpreterPid();
        run.session.resetEnvironment();
        QCOMPARE(run.session.activity(), OLInterpreterActivity::Idle);
        QVERIFY(run.answers());
        QVERIFY(run.waitFor([&] { return !OLTestProcesses::isAlive(busy); }));
        QCOMPARE(run.activities(), (QStringList{"busy", "idle", "busy", "idle"}));
        QCOMPARE(run.recorder.closes, 0);
    }

    // Killed from outside, while computing a declaration of the editor: a
    // note, the declaration fails, the window stays open, a reset starts a
    // new interpreter.
    void interpreterKilledFromOutside_data() { standInAndInterpreters(); }

    void interpreterKilledFromOutside()
    {
        QFETCH(QString, interpreter);
        Run run(interpreter);
        QVERIFY(run.waitForBanner());
        run.recorder.clear();
        run.session.eval(endlessLoop(interpreter), OLEditorCommitter);
        QVERIFY(run.waitForConsole(QStringLiteral("started\n")));
        const qint64 pid = Run::interpreterPid();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
        QVERIFY(run.waitForActivity(OLInterpreterActivity::Ended));
        QCOMPARE(run.recorder.verdicts, QList<bool>{false});
        QCOMPARE(run.recorder.pieces.last(),
                 (OLSessionRecorder::Piece{true, "The interpreter ended unexpectedly (killed by signal 9). Reset "
                                                 "the interpreter to start a new one.\n"}));
        QCOMPARE(run.recorder.closes, 0);

        // With no interpreter, a declaration fails at once.
        run.session.eval(QStringLiteral("val x = 1"), OLEditorCommitter);
        QCOMPARE(run.recorder.verdicts, (QList<bool>{false, false}));
        run.session.interruptEvaluation();
        run.session.resetEnvironment();
        QVERIFY(run.answers());
    }

    // An interpreter that exits while 5 MB are on the way to it: no SIGPIPE,
    // a note, and the window is closed through the ordinary path, as for any
    // interpreter that exits by itself. A window that stays open (the user
    // kept it) gets a new interpreter with a reset.
    void interpreterExitingWhileWritten_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("exit");
        QTest::addColumn<int>("status");
        QTest::newRow("stand-in, success") << "standin" << "exit 0" << 0;
        QTest::newRow("stand-in, failure") << "standin" << "exit 3" << 3;
        QTest::newRow("poly") << poly << "OS.Process.exit OS.Process.success" << 0;
        QTest::newRow("smlnj") << sml << "OS.Process.exit OS.Process.failure" << 1;
    }

    void interpreterExitingWhileWritten()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, exit);
        QFETCH(int, status);
        Run run(interpreter);
        QVERIFY(run.waitForBanner());
        run.recorder.clear();
        run.session.eval(exit, OLConsoleCommitter);
        run.session.eval("(* " + QString(5 << 20, u'y') + " *) val after = 1", OLConsoleCommitter);
        QVERIFY(run.waitFor([&] { return run.recorder.closes > 0; }));
        QCOMPARE(run.recorder.closes, 1);
        QCOMPARE(run.session.activity(), OLInterpreterActivity::Ended);
        QCOMPARE(run.recorder.pieces.last(),
                 (OLSessionRecorder::Piece{
                     true, QStringLiteral("The interpreter ended before it had read all of its input (exit status %1).\n")
                               .arg(status)}));

        run.session.resetEnvironment();
        QVERIFY(run.answers());
        QCOMPARE(run.recorder.closes, 1);
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
        const QString lines =
            QStringLiteral("val _ = let val l = CharVector.tabulate (99, fn _ => #\"x\") ^ \"\\n\" "
                           "fun f 0 = () | f n = (print l; f (n - 1)) in f %1 end")
                .arg(size / 100);
        QTest::newRow("poly, lines of 100") << poly << lines << size / 100 * 99 << "val after = 1: int";
        QTest::newRow("smlnj, lines of 100") << sml << lines << size / 100 * 99 << "val after = 1 : int";
    }

    void floodingInterpreterDoesNotDeadlock()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, flood);
        QFETCH(qint64, floodSize);
        QFETCH(QString, answer);
        OLTestSettings store;
        QString command = interpreter;
        if (interpreter == u"standin") {
            command = store.dir.filePath(QStringLiteral("sml"));
            QVERIFY(QFile::link(testChild, command));
            command += QStringLiteral(" repl");
        }
        store.setInterpreter(command);
        FloodRecorder recorder;
        OLInterpreterSession session(store.defaults, recorder, recorder, recorder);
        session.startProcess();
        QTRY_VERIFY_WITH_TIMEOUT(!recorder.pieces.isEmpty(), waitMs);
        const QString written = "(* " + QString(5 << 20, u'y') + " *) val after = 1";
        const qint64 before = OLTestProcesses::residentBytes();
        session.eval(flood, OLEditorCommitter);
        session.eval(written, OLConsoleCommitter);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.console().contains(answer), 60000);
        QCOMPARE(recorder.floodSize, floodSize);
        QCOMPARE(recorder.shown(true), QString());
        // The flood is 100 MB as text; what is held of it at any time is far less.
        const qint64 grown = recorder.peakBytes - before;
        QVERIFY2(grown < (40 << 20), qPrintable(QStringLiteral("grew by %1 MB").arg(grown >> 20)));
        QCOMPARE(recorder.closes, 0);
    }

    // Ostrel killed outright: its interpreters end with it, even one that
    // ignores SIGTERM. The test child stands in for Ostrel: it runs a session.
    void ostrelKilledLeavesNoInterpreter_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("banner");
        QTest::newRow("stand-in ignoring SIGTERM") << "standin ignore-term" << "Stand-in ML";
        QTest::newRow("poly") << poly << "Poly/ML";
        QTest::newRow("smlnj") << sml << "Standard ML of New Jersey";
    }

    void ostrelKilledLeavesNoInterpreter()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, banner);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString command = interpreter;
        if (interpreter.startsWith(u"standin")) {
            command = dir.filePath(QStringLiteral("sml"));
            QVERIFY(QFile::link(testChild, command));
            command += QStringLiteral(" repl") + interpreter.mid(7);
        }
        OstrelOutput ostrel;
        auto wrapper = std::make_shared<PXShellWrapper>(dir.path(),
                                                        QProcessEnvironment(QProcessEnvironment::InheritFromParent),
                                                        QStringList{testChild, QStringLiteral("session"), command});
        wrapper->setDelegate(&ostrel);
        wrapper->startProcess();
        QTRY_VERIFY_WITH_TIMEOUT(ostrel.text.contains(banner), waitMs);
        const qint64 ostrelPid = Run::interpreterPid();
        QVERIFY(ostrelPid > 0);
        const QList<qint64> interpreters = OLTestProcesses::liveChildren(ostrelPid);
        QCOMPARE(interpreters.size(), 1);
        QCOMPARE(::kill(pid_t(ostrelPid), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(ostrel.ended, waitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!OLTestProcesses::isAlive(interpreters.first()), waitMs);
    }
};

QTEST_GUILESS_MAIN(TestMisbehavingInterpreters)
#include "tst_misbehavinginterpreters.moc"
