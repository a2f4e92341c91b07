// The session against the installed Poly ML 5.7.1, SML of New Jersey 110.79,
// Moscow ML 2.10 and Alice ML 1.4. Rows share a running interpreter where a
// fresh one makes no difference: each leaves it answering at its prompt.

#include "OLSessionTestSupport.h"

#include <ranges>

namespace {

using Run = OLSessionRun<>;

const QString interpreters[] = {polyPath, smlPath, mosmlPath, alicePath};

struct Declaration {
    bool atStart; // written at once after a start, or at the prompt of the shared interpreter
    const char *name;
    QString text;
    bool success;
    QStringList shown; // part of what the console shows in the verdict's style, for Poly ML, SML/NJ, Moscow ML, Alice ML; none: no row
    QString interruptAfter = {}; // shown when the user interrupts; none: no interrupt
};
const QString none, incomplete = QStringLiteral("The declaration is incomplete");
const Declaration declarations[] = { // the one on a fresh interpreter first
    {true, "over lines", "structure S = struct\n  val a = 1\nend", true, {"structure S: sig", "structure S : sig", "structure S : {val a", "structure S : sig"}},
    {false, "accepted", "val x = 1", true, {"val x = 1: int\n", "val x = 1 : int\n", "val x = 1 : int\n", "val x : int = 1\n"}},
    {false, "accepted with a warning", "fun g 0 = 1", true, {"val g = fn: int -> int\n", "val g = fn : int -> int\n", "val g = fn : int -> int\n", "val g : int -> int = _fn\n"}},
    {false, "uncaught exception", "val z = 1 div 0", false, {"Exception- Div raised\n", "uncaught exception Div", "! Uncaught exception:\n! Div\n", "Uncaught exception\n   Div\n"}},
    // Alice ML's prompts for the lines it reads on are not shown (no answer begins with a blank).
    {false, "structure over lines", "structure S = struct\n  val a = 1\nend\n", true, {"structure S: sig val a: int end\n", "structure S : sig val a : int end\n", "structure S : {val a : int}\n", "structure S : sig val a : int end\n"}},
    {false, "print without newline", "val _ = print \"no newline\"", true, {"no newline", "no newline", "no newline", "no newline"}},
    // A prompt printed by the program, and an error after it.
    {false, "output ending like a prompt", "val _ = print \"a\\n- \"", true, {none, none, "a\n- ", "a\n- "}},
    {false, "output ending like a prompt, then an exception", "val _ = (print \"- \"; let fun w 0 = () | w n = w (n - 1) in w 3000000 end; raise Fail \"late\")", false, {none, none, "! Fail  \"late\"", "Fail \"late\""}},
    // Poly ML answers every line on its own: the verdict waits for the
    // last, however long it computes.
    {false, "a later line computes", "fun f x = x;\nval _ = (OS.Process.sleep (Time.fromMilliseconds 700); print \"slept\\n\");\n", true, {"slept\n", "slept\n"}},
    {false, "syntax error, recovery stopped", "val y = 1 +", false, {"poly: : error: <identifier> expected but ; was found\n"}},
    {false, "not UTF-8", "val _ = print \"\\195\"", true, {"\ufffd", none, "\ufffd", "\ufffd"}},
    // A computation stays pending until the user interrupts, and then it
    // has failed (Alice ML, interrupted at its prompt before, is not).
    {false, "interrupted computation", "val _ = let fun loop (x : int) : int = loop x in print \"started\\n\"; loop 0 end", false, {"", "", "", ""}, "started\n"},
    // An interpreter waiting for the rest of a declaration that never
    // comes is interrupted by the session, whose note says why; one that
    // prompts for no more is not sent it.
    {false, "left open in a comment", "val a = 1;\n(* open", false, {incomplete, incomplete, "Incomplete declaration: the comment opened at line 2, column 1", "unclosed comment"}},
    {false, "left open in a bracket", "val c = (1 + 2", false, {incomplete, incomplete, "Incomplete declaration: the parenthesis \"(\" opened at line 1, column 9", "syntax error found at EOF"}},
    {false, "an if without its else", "val c = if true then 1", false, {"else expected", incomplete, "! Syntax error.", "inconsistent types in branches of `if'"}},
};

} // namespace

class TestRealInterpreters : public QObject
{
    Q_OBJECT

    std::unique_ptr<Run> m_shared;

    // The shared session on this interpreter, at its prompt, its console cleared.
    // A fresh one: its first commit is written at once after its start.
    Run &shared(const QString &interpreter, bool fresh = false)
    {
        if (fresh || !m_shared || m_shared->defaults.loadPreferredInterpreterPath() != "file://localhost" + interpreter) {
            m_shared.reset();
            endAllChildren();
            m_shared = std::make_unique<Run>(interpreter);
            m_shared->waitFor([&] { return fresh || m_shared->recorder.starts == 1; });
        }
        m_shared->recorder.clear();
        return *m_shared;
    }

private Q_SLOTS:

    // The verdict on one declaration of the editor, the only one, and what
    // the console shows in its style; then the interpreter takes the next
    // declaration as its own. After a start, the banner is shown on its own,
    // as an answer.
    void declaration_data()
    {
        QTest::addColumn<int>("interpreter");
        QTest::addColumn<int>("row");
        for (int i = 0; i < 4; ++i) {
            for (int r = 0; r < int(std::size(declarations)); ++r) {
                if (!declarations[r].shown.value(i).isNull())
                    QTest::addRow("%s: %s%s", qPrintable(QFileInfo(interpreters[i]).fileName()), declarations[r].atStart ? "at the start, " : "", declarations[r].name) << i << r;
            }
        }
    }

    void declaration()
    {
        QFETCH(int, interpreter);
        QFETCH(int, row);
        const QString path = interpreters[interpreter], shown = declarations[row].shown.at(interpreter);
        const auto &[atStart, name, text, success, shownAll, interruptAfter] = declarations[row];
        SKIP_UNLESS_INSTALLED(path);
        // Poly ML gets "-i" whether the command line has it or not (without it,
        // no Poly ML test would see a prompt).
        Run &run = shared(path + (atStart && path == polyPath ? " -i" : ""), atStart);
        if (path == alicePath && !interruptAfter.isEmpty())
            run.session->interruptEvaluation();
        run.session->eval(text, OLEditorCommitter);
        if (!interruptAfter.isEmpty()) {
            QVERIFY(run.play({"has:" + interruptAfter}).isEmpty() && run.recorder.verdicts.isEmpty());
            run.session->interruptEvaluation();
        }
        QVERIFY(run.waitFor([&] { return !run.recorder.verdicts.isEmpty() && run.recorder.shown().contains(shown); }));
        QVERIFY2(run.recorder.verdicts == QList<bool>{success} && run.recorder.shown(!success).contains(shown)
                     && !run.recorder.shown().startsWith(u' ')
                     && (!interruptAfter.isEmpty() || !run.recorder.shown().contains(u"Compilation interrupted")),
                 qPrintable(run.recorder.shown()));
        // After a start, the banner, an answer of its own, comes first.
        const auto &banner = run.recorder.pieces.at(0);
        QVERIFY2(!atStart || (!banner.first && !banner.second.isEmpty() && !banner.second.contains(shown)), qPrintable(banner.second));
        QVERIFY(run.answers());
        QVERIFY(OLTestProcesses::liveChildren().size() + run.recorder.closes + run.recorder.starts == 2);
    }

    // Evaluation to the end of a source: each success takes the next step
    // at once, as the editor does. Every verdict must belong to its own
    // declaration, however the interpreter splits its answers (Moscow ML and
    // Alice ML answer each phrase of a declaration with a prompt).
    void stepwise_data()
    {
        QTest::addColumn<QString>("interpreter");
        for (const QString &interpreter : interpreters | std::views::reverse) // the last shared one first
            QTest::newRow(qPrintable(QFileInfo(interpreter).fileName())) << interpreter;
    }
    void stepwise()
    {
        QFETCH(QString, interpreter);
        SKIP_UNLESS_INSTALLED(interpreter);
        const QStringList declarations{"val a = 1;\n", "fun f x = x;\nf 3;\n", "val _ = ()\n",
                                       "val _ = print \"x\";\nval c = 2\n", "structure S = struct\n  val s = a\nend\n",
                                       "val d = foo\n", "val e = 1\n"};
        Run &run = shared(interpreter);
        qsizetype next = 0;
        run.recorder.onVerdict = [&](bool success) {
            if (success && next < declarations.size())
                run.session->eval(declarations.at(next++), OLEditorCommitter);
        };
        run.session->eval(declarations.at(next++), OLEditorCommitter);
        // The sixth, "val d = foo", fails.
        QCOMPARE(run.play({"verdicts:111110"}), QString());
        run.recorder.onVerdict = nullptr;
    }

    // Standard error between two pieces of standard output keeps its place
    // in the console, though the output before it waits for the prompt.
    void standardErrorInOrder()
    {
        // A busy pause (OS.Process.sleep returns at once in some SML/NJ builds),
        // shorter than the session waits before it shows output without a prompt.
        const QString pause = QStringLiteral("let val t = Time.+ (Time.now (), Time.fromMilliseconds 100) "
                                             "fun w () = if Time.< (Time.now (), t) then w () else () in w () end");
        const QString printing = QStringLiteral("val _ = (print \"one\\n\"; %1; TextIO.output (TextIO.stdErr, \"two\\n\"); "
                                                "TextIO.flushOut TextIO.stdErr; %1; print \"three\\n\")").arg(pause);
        for (const QString &interpreter : {polyPath, smlPath})
            QCOMPARE(shared(interpreter).play({"eval:" + printing, "verdicts:1", "has:one\ntwo\nthree\n"}), QString());
    }
};

QTEST_GUILESS_MAIN(TestRealInterpreters)
#include "tst_realinterpreters.moc"
