// The session against the installed Poly ML 5.7.1, SML of New Jersey 110.79,
// Moscow ML 2.10 and Alice ML 1.4. Rows share a running interpreter where a
// fresh one makes no difference: each leaves it answering at its prompt.

#include "OLSessionTestSupport.h"

#include <QStandardPaths>

#include <ranges>

namespace {

using Run = OLSessionRun<>;
using Piece = OLSessionRecorder::Piece;

struct Interpreter {
    const char *name;
    QString path;
} const interpreters[] = {{"poly", polyPath}, {"smlnj", smlPath}, {"mosml", mosmlPath}, {"alice", alicePath}};

// When a declaration is written: at the prompt of the shared interpreter, at
// once after a start, or at once after a reset (before the banner and prompt).
enum When { AtPrompt, AtStart, AfterReset };

struct Declaration {
    When when;
    const char *name;
    QString text;
    bool success;
    QStringList shown; // part of what the console shows in the verdict's style, for Poly ML, SML/NJ, Moscow ML, Alice ML; none: no row
    QString interruptAfter = {}; // shown when the user interrupts; none: no interrupt
};
const QString none, incomplete = QStringLiteral("The declaration is incomplete");
const Declaration declarations[] = {
    {AtPrompt, "accepted", "val x = 1", true, {"val x = 1: int\n", "val x = 1 : int\n", "val x = 1 : int\n", "val x : int = 1\n"}},
    {AtPrompt, "accepted with a warning", "fun g 0 = 1", true, {"val g = fn: int -> int\n", "val g = fn : int -> int\n", "val g = fn : int -> int\n", "val g : int -> int = _fn\n"}},
    {AtPrompt, "uncaught exception", "val z = 1 div 0", false, {"Exception- Div raised\n", "uncaught exception Div", "! Uncaught exception:\n! Div\n", "Uncaught exception\n   Div\n"}},
    // Alice ML's prompts for the lines it reads on are not shown (no answer begins with a blank).
    {AtPrompt, "structure over lines", "structure S = struct\n  val a = 1\nend\n", true, {"structure S: sig val a: int end\n", "structure S : sig val a : int end\n", "structure S : {val a : int}\n", "structure S : sig val a : int end\n"}},
    {AtPrompt, "print without newline", "val _ = print \"no newline\"", true, {"no newline", "no newline", "no newline", "no newline"}},
    // A prompt printed by the program, and an error after it.
    {AtPrompt, "output ending like a prompt", "val _ = print \"a\\n- \"", true, {none, none, "a\n- ", "a\n- "}},
    {AtPrompt, "output ending like a prompt, then an exception", "val _ = (print \"- \"; let fun w 0 = () | w n = w (n - 1) in w 3000000 end; raise Fail \"late\")", false, {none, none, "! Fail  \"late\"", "Fail \"late\""}},
    // Poly ML answers every line on its own: the verdict waits for the
    // last, however long it computes.
    {AtPrompt, "a later line computes", "fun f x = x;\nval _ = (OS.Process.sleep (Time.fromMilliseconds 700); print \"slept\\n\");\n", true, {"slept\n", "slept\n"}},
    {AtPrompt, "syntax error, recovery stopped", "val y = 1 +", false, {"poly: : error: <identifier> expected but ; was found\n"}},
    {AtPrompt, "syntax error inside a structure", "structure T = struct\n  val a = 1 +\nend", false, {"poly: : error:"}},
    {AtPrompt, "not UTF-8", "val _ = print \"\\195\"", true, {"\ufffd", none, "\ufffd", "\ufffd"}},
    // A computation stays pending until the user interrupts, and then it
    // has failed (Alice ML, interrupted at its prompt before, is not).
    {AtPrompt, "interrupted computation", "val _ = let fun loop (x : int) : int = loop x in print \"started\\n\"; loop 0 end", false, {"", "", "", ""}, "started\n"},
    // An interpreter waiting for the rest of a declaration that never
    // comes is interrupted by the session, whose note says why; one that
    // prompts for no more is not sent it.
    {AtPrompt, "left open in a comment", "val a = 1;\n(* open", false, {incomplete, incomplete, "Incomplete declaration: the comment opened at line 2, column 1", "unclosed comment"}},
    {AtPrompt, "left open in a bracket", "val c = (1 + 2", false, {incomplete, incomplete, "Incomplete declaration: the parenthesis \"(\" opened at line 1, column 9", "syntax error found at EOF"}},
    {AtPrompt, "an if without its else", "val c = if true then 1", false, {"else expected", incomplete, "! Syntax error.", "inconsistent types in branches of `if'"}},
    {AtPrompt, "output that looks like prompts", "val _ = print \"> a\\n- b\\n# c\\n= d\\n\"", true, {"> a\n- b\n# c\n= d\n", "> a\n- b\n# c\n= d\n"}},
    {AtPrompt, "an exception value over lines", "val _ = raise Fail (String.implode (List.tabulate (120, fn _ => #\"a\")))", false, {"Exception-\n", "uncaught exception Fail"}},
    {AtStart, "over lines", "structure S = struct\n  val a = 1\nend", true, {"structure S: sig", "structure S : sig", "structure S : {val a", "structure S : sig"}},
    // A reset starts a new interpreter, which takes a commit written at
    // once as its start did: what the old one bound is gone.
    {AfterReset, "the old binding", "val y = answered", false, {"Value or constructor (answered) has not been declared", "Error: unbound variable or constructor: answered", "! Unbound value identifier: answered", "unknown value or constructor `answered'"}},
};

} // namespace

class TestRealInterpreters : public QObject
{
    Q_OBJECT

    std::unique_ptr<Run> m_shared;

    // The shared session on this interpreter, at its prompt, its console cleared.
    Run &shared(const QString &interpreter)
    {
        if (!m_shared || m_shared->defaults.loadPreferredInterpreterPath() != "file://localhost" + interpreter) {
            drop();
            m_shared = std::make_unique<Run>(interpreter);
            m_shared->waitFor([&] { return m_shared->recorder.starts == 1; });
        }
        m_shared->recorder.clear();
        return *m_shared;
    }
    void drop()
    {
        m_shared.reset();
        endAllChildren();
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup()
    {
        if (QTest::currentTestFailed())
            drop();
    }
    void cleanupTestCase() { drop(); }

    // The verdict on one declaration of the editor, the only one, and what
    // the console shows in its style; then the interpreter takes the next
    // declaration as its own. After a start, the banner is shown on its own,
    // as an answer.
    void declaration_data()
    {
        QTest::addColumn<int>("interpreter");
        QTest::addColumn<int>("row");
        // Those of an interpreter together, the one on a fresh interpreter first.
        const char *whens[] = {"", "at the start, ", "after a reset, "};
        for (int i = 0; i < 4; ++i) {
            for (const When when : {AtStart, AtPrompt, AfterReset}) {
                for (int r = 0; r < int(std::size(declarations)); ++r) {
                    if (declarations[r].when == when && !declarations[r].shown.value(i).isNull())
                        QTest::addRow("%s: %s%s", interpreters[i].name, whens[when], declarations[r].name) << i << r;
                }
            }
        }
    }

    void declaration()
    {
        QFETCH(int, interpreter);
        QFETCH(int, row);
        const QString path = interpreters[interpreter].path, shown = declarations[row].shown.at(interpreter);
        const auto &[when, name, text, success, shownAll, interruptAfter] = declarations[row];
        SKIP_UNLESS_INSTALLED(path);
        std::unique_ptr<Run> fresh;
        if (when == AtStart)
            drop();
        // Poly ML gets "-i" once, whether the command line has it or not (without
        // it, no Poly ML test would see a prompt).
        Run &run = when == AtStart ? *(fresh = std::make_unique<Run>(path + (path == polyPath ? " -i" : ""))) : shared(path);
        const int starts = run.recorder.starts;
        if (when == AfterReset) {
            QVERIFY(run.answers());
            run.recorder.clear();
            run.session->resetEnvironment();
            QVERIFY(run.session->willReset());
            QCOMPARE(run.recorder.pieces, (QList<Piece>{{false, "\n\n###reset environment\n\n"}}));
        }
        if (path == alicePath && !interruptAfter.isEmpty())
            run.session->interruptEvaluation();
        run.session->eval(text, OLEditorCommitter);
        if (!interruptAfter.isEmpty()) {
            QVERIFY(run.waitForConsole(interruptAfter) && run.recorder.verdicts.isEmpty());
            run.session->interruptEvaluation();
        }
        QVERIFY(run.waitForVerdicts(1));
        QVERIFY2(run.waitForConsole(shown) && run.recorder.verdicts == QList<bool>{success} && run.recorder.shown(!success).contains(shown)
                     && !run.recorder.shown().startsWith(u' ')
                     && (!interruptAfter.isEmpty() || !run.recorder.shown().contains(u"Compilation interrupted")),
                 qPrintable(run.recorder.shown()));
        if (when != AtPrompt) {
            // The banner, an answer of its own, comes first (after the note of a reset).
            const Piece &banner = run.recorder.pieces.at(when == AfterReset ? 1 : 0);
            QVERIFY2(!banner.error && !banner.text.isEmpty() && !banner.text.contains(shown), qPrintable(banner.text));
        }
        QCOMPARE(run.recorder.starts, starts + (when == AtPrompt ? 0 : 1));
        QVERIFY(run.answers());
        QVERIFY(run.waitFor([&] { return !run.session->willReset(); }));
        QCOMPARE(OLTestProcesses::liveChildren().size() + run.recorder.closes, 1);
        QVERIFY(when != AtStart || path != polyPath || OLTestProcesses::commandLine(onlyChild()) == (QStringList{polyPath, "-i"}));
    }

    // Evaluation to the end of a source: each success takes the next step
    // at once, as the editor does. Every verdict must belong to its own
    // declaration, however the interpreter splits its answers (Moscow ML and
    // Alice ML answer each phrase of a declaration with a prompt).
    void stepwise_data()
    {
        QTest::addColumn<QString>("interpreter");
        for (const Interpreter &interpreter : interpreters | std::views::reverse) // the last shared one first
            QTest::newRow(interpreter.name) << interpreter.path;
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
        QList<QPair<qsizetype, bool>> verdicts;
        run.recorder.onVerdict = [&](bool success) {
            verdicts.append({next - 1, success});
            if (success && next < declarations.size())
                run.session->eval(declarations.at(next++), OLEditorCommitter);
        };
        run.session->eval(declarations.at(next++), OLEditorCommitter);
        QVERIFY(run.waitFor([&] { return !verdicts.isEmpty() && !verdicts.last().second; }));
        run.recorder.onVerdict = nullptr;
        QCOMPARE(verdicts, (QList<QPair<qsizetype, bool>>{{0, true}, {1, true}, {2, true}, {3, true}, {4, true}, {5, false}}));
        const QString shown = run.recorder.shown(false);
        QVERIFY2((shown.contains(u"val it = 3") || shown.contains(u"val it : int = 3"))
                     && (shown.contains(u"val c = 2") || shown.contains(u"val c : int = 2")), qPrintable(shown));
    }

    // Standard error between two pieces of standard output keeps its place
    // in the console, though the output before it waits for the prompt.
    void standardErrorInOrder()
    {
        // A busy pause (OS.Process.sleep returns at once in some SML/NJ builds),
        // shorter than the session waits before it shows output without a prompt.
        const QString pause = QStringLiteral("let val t = Time.+ (Time.now (), Time.fromMilliseconds 100) "
                                             "fun w () = if Time.< (Time.now (), t) then w () else () in w () end");
        for (const QString &interpreter : {polyPath, smlPath}) {
            Run &run = shared(interpreter);
            run.session->eval(QStringLiteral("val _ = (print \"one\\n\"; %1; TextIO.output (TextIO.stdErr, \"two\\n\"); "
                                             "TextIO.flushOut TextIO.stdErr; %1; print \"three\\n\")").arg(pause), OLEditorCommitter);
            QVERIFY(run.waitForVerdicts(1));
            QVERIFY2(run.recorder.verdicts == QList<bool>{true} && run.recorder.shown(true) == u"two\n"
                         && run.recorder.shown().contains(u"one\ntwo\nthree\n"), qPrintable(run.recorder.shown()));
        }
    }
};

QTEST_GUILESS_MAIN(TestRealInterpreters)
#include "tst_realinterpreters.moc"
