// A session's life: interpreters of no known kind (/bin/cat, a script that
// answers on standard error), a reset from one interpreter to another, one
// that fails as it starts, one that ignores interrupts or floods its output
// (the stand-in, see commandLine()), a closed window, and Ostrel killed under
// its interpreters.
// (The real ones answering: tst_realinterpreters.)

#include "OLSessionTestSupport.h"

#include <QProcess>
#include <QStandardPaths>

namespace {
using Run = OLSessionRun<>;
// Counts the flood instead of keeping it, and watches this process's memory.
struct FloodRecorder : OLSessionRecorder {
    void appendAnswer(const QString &text) override { take(text, false); }
    void appendError(const QString &text) override { take(text, true); }
    void take(const QString &text, bool error)
    {
        floodSize += text.count(u'x');
        QString rest = QString(text).remove(u'x').remove(u'\n');
        rest.squeeze(); // not the flood's capacity
        pieces.append({error, rest});
        peakBytes = std::max(peakBytes, OLTestProcesses::residentBytes());
    }
    qint64 floodSize = 0;
    qint64 peakBytes = 0;
};

const QString choose = QStringLiteral("Choose an interpreter in Preferences or with Evaluate > Choose Interpreter, then "
                                      "reset the interpreter.\n");
} // namespace

class TestInterpreterSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { endAllChildren(); }

    // One commit and what it brings, though the editor is the last committer
    // of a new session: an interpreter without known prompts shows a commit as
    // it is, with a semicolon added unless it ends in one (past comments), and
    // has no first prompt to tell; standard error is an error the editor never hears of.
    void commit()
    {
        const QString cat = QStringLiteral("/bin/cat"), errwriter = QStringLiteral(OSTREL_TEST_DATA "/standins/errwriter");
        const struct {
            QString interpreter, text;
            int from;
            QList<bool> verdicts;
            QString answer, error;
        } rows[] = {{cat, "val z = 1", OLConsoleCommitter, {}, "val z = 1;\n", ""},
                    {cat, "x (* ; *)", OLEditorCommitter, {true}, "x (* ; *);\n", ""},
                    {cat, "x; (* a (* b *) *) ", OLEditorCommitter, {true}, "x; (* a (* b *) *) \n", ""},
                    {errwriter, "oops", OLEditorCommitter, {}, "", "oops;\n"}};
        for (const auto &row : rows) {
            Run run(row.interpreter);
            QCOMPARE(run.session->lastCommitter(), qint32(OLEditorCommitter));
            run.session->eval(row.text, row.from);
            QVERIFY(run.waitForOutput());
            QVERIFY2(run.session->lastCommitter() == row.from && run.recorder.shown(false) == row.answer
                         && run.recorder.shown(true) == row.error && run.recorder.verdicts == row.verdicts && run.recorder.starts == 0,
                     qPrintable(row.text + " shows " + run.recorder.shown()));
        }
    }

    // A reset reads the command line afresh: the new run may be another
    // interpreter. Of two quick resets, the stopped run reaches nobody.
    void reset()
    {
        Run run(polyPath);
        QCOMPARE(run.play({"answer", "clear"}), QString());
        run.setInterpreter(smlPath);
        QCOMPARE(run.play({"reset", "reset", "shown:" + QStringLiteral("\n\n###reset environment\n\n").repeated(2)}), QString());
        QCOMPARE(run.session->lastCommitter(), qint32(OLConsoleCommitter));
        QVERIFY(run.waitFor([&] { return !run.session->willReset() && run.recorder.starts == 2; }));
        QCOMPARE(run.play({"children:1", "answer"}), QString());
        QVERIFY(run.recorder.shown().contains(u"Standard ML of New Jersey") && run.recorder.resets + run.recorder.closes == 2);
    }

    // An interpreter that is missing, ends before its first prompt (a wrapper
    // script whose executable has gone) or, without prompts, before anything
    // was written to it, and a command line that cannot run (Ostrel itself):
    // the console says why, in errors, and where to choose another; the window
    // stays. The editor's commit fails instead of waiting for ever, before the
    // failure is known and after.
    void interpreterFailingAtStart()
    {
        const QString self = QCoreApplication::applicationFilePath();
        const QString rows[][3] = { // the executable in the temporary folder %1, the command line, what is shown
            {"#!/bin/sh\nexec /nonexistent/poly", "%1/poly", "%1/poly: 2: exec: /nonexistent/poly: not found\nThe interpreter %1/poly ended as it started (exit status 127).\n"},
            {"#!/bin/sh\nexit 0", "%1/myml -x", "The interpreter %1/myml ended as it started (exit status 0).\n"},
            {"", "%1/sml", "Could not start %1/sml: No such file or directory\n"},
            {"", "%1/alice", "Could not start %1/alice: No such file or directory\n"},
            {"", self, "Ostrel cannot be its own interpreter (" + self + ").\n"}};
        for (const auto &[script, line, shown] : rows) {
            QTemporaryDir dir;
            const QString commandLine = QString(line).replace(QLatin1StringView("%1"), dir.path());
            QFile file(commandLine.section(u' ', 0, 0));
            QVERIFY(script.isEmpty() || (file.open(QIODevice::WriteOnly) && file.write(script.toUtf8()) > 0
                                         && file.setPermissions(QFile::ReadOwner | QFile::ExeOwner)));
            file.close();
            Run run(commandLine);
            if (script.isEmpty())
                run.session->eval(QStringLiteral("val x = 1"), OLEditorCommitter);
            QVERIFY(run.waitForActivity(OLInterpreterActivity::Ended));
            run.session->eval(QStringLiteral("val x = 1"), OLEditorCommitter);
            QCOMPARE(run.recorder.shown(true), QString(shown).replace(QLatin1StringView("%1"), dir.path()) + choose);
            QCOMPARE(run.recorder.verdicts, QList<bool>(script.isEmpty() ? 2 : 1, false));
            QCOMPARE(run.recorder.shown(false) + QString::number(run.recorder.closes + run.recorder.starts), "0");
        }
    }

    // Each row: the stand-in's arguments, and the steps and checks of OLSessionRun::play.
    void standIn_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QStringList>("steps");
        // An interrupt that has had its time without bringing the interpreter
        // back makes the next one terminate it, and one that ignores SIGTERM is
        // killed after a grace period, or at once when the user insists. The
        // declaration it never answered has failed; the window stays open; a
        // reset starts a new interpreter.
        const QString terminating = QStringLiteral("The interpreter did not respond to the interrupt; terminating it.\n");
        const QString killing = QStringLiteral("The interpreter did not end when terminated; killing it.\n");
        const QString ended = QStringLiteral("The interpreter has ended (killed by signal %1). Reset the interpreter to start a new one.\n");
        const QStringList ignored{"loop", "clear", "interrupt", "heeded", "ignored", "interrupt"};
        const QStringList then{"verdicts:0", "reset", "answer", "children:1", "closes:0"};
        QTest::newRow("ignores SIGINT, ends at SIGTERM") << "standin ignore-int" << ignored + QStringList{"ended", "shown:" + terminating + ended.arg(15)} + then;
        QTest::newRow("ignores SIGINT and SIGTERM: killed after the grace")
            << "standin ignore-int ignore-term" << ignored + QStringList{"ended", "shown:" + terminating + killing + ended.arg(9)} + then;
        QTest::newRow("ignores SIGINT and SIGTERM: a third interrupt kills at once")
            << "standin ignore-int ignore-term" << ignored + QStringList{"interrupt", "ended", "shown:" + terminating + killing + ended.arg(9)} + then;

        // A closed window's session goes at once; its interpreter is terminated
        // (killed after a grace time when it ignores SIGTERM) and reports to nobody.
        QTest::newRow("closed, ignoring SIGTERM") << "standin ignore-term" << QStringList{"answer", "mark", "clear", "close", "alive", "gone", "shown:", "closes:0"};
    }
    void standIn()
    {
        QFETCH(QString, interpreter);
        QFETCH(QStringList, steps);
        Run run(interpreter);
        QCOMPARE(run.play(steps), QString());
    }

    // An interpreter that floods its output while megabytes are written to it
    // (more than a pipe holds: up to 1 MB): both arrive in full. 50 MB from the
    // stand-in: the session does not keep the flood in memory.
    void floodingInterpreterDoesNotDeadlock()
    {
        const qint64 size = 50 << 20, real = 4 << 20;
        const QString lines = QStringLiteral("val _ = let val l = CharVector.tabulate (99, fn _ => #\"x\") ^ \"\\n\" "
                                             "fun f 0 = () | f n = (print l; f (n - 1)) in f %1 end").arg(real / 100);
        const struct {
            QString interpreter, flood;
            qint64 floodSize; // without line feeds
            QString answer;
            int written; // the size of the commit written meanwhile
        } rows[] = { // the stand-in reads the commit as one line of 5242901 bytes
            {"standin", QStringLiteral("flood %1").arg(size), size / 100 * 99, "read 5242901", 5 << 20},
            {"standin", QStringLiteral("floodline %1").arg(size), size, "read 5242901", 5 << 20},
            {polyPath, lines, real / 100 * 99, "val after = 1: int", 2 << 20},
            {smlPath, lines, real / 100 * 99, "val after = 1 : int", 2 << 20}};
        for (const auto &row : rows) {
            OLSessionRun<FloodRecorder> run(row.interpreter);
            QVERIFY(run.waitForOutput());
            const qint64 before = OLTestProcesses::residentBytes();
            run.session->eval(row.flood, OLEditorCommitter);
            run.session->eval("(* " + QString(row.written, u'y') + " *) val after = 1", OLConsoleCommitter);
            QVERIFY(run.waitFor([&] { return run.recorder.shown().contains(row.answer); }, 60000));
            // The flood is 100 MB as text; what is held of it at any time is far less.
            const qint64 grown = run.recorder.peakBytes - before;
            QVERIFY2(run.recorder.floodSize == row.floodSize && grown < (40 << 20) && run.recorder.shown(true).isEmpty()
                         && run.recorder.closes == 0,
                     qPrintable(QStringLiteral("%1: grew by %2 MB; %3").arg(row.flood.left(20)).arg(grown >> 20).arg(run.recorder.shown(true))));
        }
    }

    // Ostrel killed outright: its interpreters end with it, even one that
    // ignores SIGTERM, and so does what they started. The eval tool stands
    // in for Ostrel: it runs a session. The real interpreters start a shell
    // and its sleep.
    void ostrelKilledLeavesNoInterpreter()
    {
        const QString sleeper = QStringLiteral("val _ = OS.Process.system \"sleep 300\"");
        const QString rows[][3] = {{"standin ignore-term", "loop", "ostrel-guard"}, {polyPath, sleeper, "sleep"}, {smlPath, sleeper, "sleep"}};
        for (const auto &[interpreter, source, wanted] : rows) {
            QTemporaryDir dir;
            QFile file(dir.filePath(QStringLiteral("a.sml")));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(source.toUtf8()) > 0);
            file.close();
            QProcess ostrel;
            ostrel.start(QStringLiteral(OSTREL_EVAL), {QStringLiteral("--interpreter"), commandLine(interpreter), file.fileName()});
            QList<qint64> processes;
            QVERIFY(Run::waitFor([&] {
                processes = OLTestProcesses::liveDescendants(ostrel.processId());
                return std::any_of(processes.cbegin(), processes.cend(), [&](qint64 pid) {
                    return OLTestProcesses::commandLine(pid).value(0) == wanted;
                });
            }));
            QCOMPARE(::kill(pid_t(ostrel.processId()), SIGKILL), 0);
            QVERIFY(ostrel.waitForFinished(20000));
            QVERIFY2(Run::waitFor([&] { return std::none_of(processes.cbegin(), processes.cend(), OLTestProcesses::isAlive); }),
                     qPrintable(interpreter));
        }
    }
};

QTEST_GUILESS_MAIN(TestInterpreterSession)
#include "tst_interpretersession.moc"
