// A session's life, step by step (see OLSessionRun::play): interpreters of no
// known kind (/bin/cat, a script that answers on standard error), ones that
// fail as they start, never come back to their prompt, are killed from
// outside, end while they are written to, a reset from one interpreter to
// another. The stand-in (the test child's repl, see commandLine()) can ignore
// SIGTERM and compute until interrupted; where the real interpreters can show
// the same thing, they do. (Interrupts ignored and a closed window, which wait
// for the grace of a kill: tst_interpretersession.)

#include "OLSessionTestSupport.h"

class TestMisbehavingInterpreters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { endAllChildren(); }

    // Each row: the interpreter, and the steps and checks of OLSessionRun::play.
    void misbehaviour_data()
    {
        addPlayColumns();
        const QString standins = QStringLiteral(OSTREL_TEST_DATA "/standins/"), self = QCoreApplication::applicationFilePath();
        // An interpreter without known prompts shows a commit as it is, with a
        // semicolon added unless it ends in one (past comments), and has no
        // first prompt to tell; standard error is an error the editor never hears of.
        QTest::newRow("cat: a semicolon added") << "/bin/cat" << QStringList{"eval:x (* ; *)", "more", "shown:x (* ; *);\n", "verdicts:1", "starts:0"};
        QTest::newRow("cat: none added after comments") << "/bin/cat" << QStringList{"eval:x; (* a (* b *) *) ", "more", "shown:x; (* a (* b *) *) \n", "verdicts:1"};
        QTest::newRow("standard error only") << standins + "errwriter" << QStringList{"eval:oops", "more", "errors:oops;\n", "verdicts:", "starts:0"};

        // An interpreter that is missing, ends before its first prompt (a wrapper
        // script whose executable has gone) or, without prompts, before anything
        // was written to it, and a command line that cannot run (Ostrel itself):
        // the console says why, in errors, and where to choose another; the window
        // stays. The editor's commit fails instead of waiting for ever, before the
        // failure is known and after.
        const QString choose = QStringLiteral("Choose an interpreter in Preferences or with Evaluate > Choose Interpreter, then "
                                              "reset the interpreter.\n");
        const QStringList failedAtStart{"eval:val x = 1", "ended", "eval:val x = 1", "verdicts:00", "starts:0", "closes:0"};
        const QStringList endedAtStart{"ended", "eval:val x = 1", "verdicts:0", "starts:0", "closes:0"};
        QTest::newRow("missing") << "/nonexistent/sml" << failedAtStart + QStringList{"errors:Could not start /nonexistent/sml: No such file or directory\n" + choose};
        QTest::newRow("Ostrel itself") << self << failedAtStart + QStringList{"errors:Ostrel cannot be its own interpreter (" + self + ").\n" + choose};
        QTest::newRow("its executable gone") << standins + "gone/poly" << endedAtStart + QStringList{"errors:" + standins + "gone/poly: 2: exec: /nonexistent/poly: not found\nThe interpreter " + standins + "gone/poly ended as it started (exit status 127).\n" + choose};
        QTest::newRow("ends at once") << standins + "myml -x" << endedAtStart + QStringList{"errors:The interpreter " + standins + "myml ended as it started (exit status 0).\n" + choose};

        // A reset reads the command line afresh: the new run may be another
        // interpreter. Of two quick resets, the stopped run reaches nobody.
        QTest::newRow("two quick resets to another interpreter") << polyPath << QStringList{"answer", "clear", "use:" + smlPath, "reset", "reset", "shown:" + QStringLiteral("\n\n###reset environment\n\n").repeated(2),
                                                                                     "answer", "children:1", "has:Standard ML of New Jersey", "resets:2", "starts:2", "closes:0"};
        // A commit that keeps the interpreter from its prompt shows it busy
        // after a while. Interrupts that are answered never escalate: the second
        // of two quick ones (the first has not had its time), and one at the
        // prompt (which the interpreters answer with their note of an
        // interruption, no verdict). The run a reset stops is killed after the
        // grace if it ignores SIGTERM.
        const QStringList neverReturning{"answer", "loop", "interrupt", "interrupt", "verdicts:10", "heeded", "interrupt", "more", "verdicts:10",
                                         "answer", "console-loop", "busy", "mark", "reset", "answer", "gone",
                                         "lacks:terminating", "lacks:killing", "closes:0"};
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
    void misbehaviour() { playRow(); }
};

QTEST_GUILESS_MAIN(TestMisbehavingInterpreters)
#include "tst_misbehavinginterpreters.moc"
