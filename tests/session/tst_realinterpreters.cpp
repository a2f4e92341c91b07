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

    // Poly ML gets "-i" once, whether the command line has it or not (without
    // it, no Poly ML test would see a prompt).
    void polyInteractive()
    {
        drop();
        Run run(polyPath + " -q -i");
        QVERIFY(run.waitFor([&] { return run.recorder.starts == 1; }));
        QCOMPARE(OLTestProcesses::commandLine(onlyChild()), (QStringList{polyPath, "-q", "-i"}));
    }

    // The verdict on one declaration of the editor, the only one, and what
    // the console shows in its style; then the interpreter takes the next
    // declaration as its own. After a start, the banner is shown on its own,
    // as an answer.
    void declaration_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<int>("when");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("interruptAfter"); // shown when the user interrupts; none: no interrupt
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("shown"); // part of what the console shows in the verdict's style
        struct Row {
            When when;
            const char *name;
            QString text;
            bool success;
            QStringList shown; // for Poly ML, SML/NJ, Moscow ML, Alice ML; none: no row
            QString interruptAfter = {};
        };
        QList<Row> rows;
        const auto add = [&](When when, const char *name, const QString &text, bool success, const QStringList &shown,
                             const QString &interruptAfter = QString()) { rows.append({when, name, text, success, shown, interruptAfter}); };
        const QString none;
        add(AtPrompt, "accepted", "val x = 1", true, {"val x = 1: int\n", "val x = 1 : int\n", "val x = 1 : int\n", "val x : int = 1\n"});
        add(AtPrompt, "accepted with a warning", "fun g 0 = 1", true, {"val g = fn: int -> int\n", "val g = fn : int -> int\n", "val g = fn : int -> int\n", "val g : int -> int = _fn\n"});
        add(AtPrompt, "uncaught exception", "val z = 1 div 0", false,
            {"Exception- Div raised\n", "uncaught exception Div", "! Uncaught exception:\n! Div\n", "Uncaught exception\n   Div\n"});
        // Alice ML's prompts for the lines it reads on are not shown (no answer begins with a blank).
        add(AtPrompt, "structure over lines", "structure S = struct\n  val a = 1\nend\n", true,
            {"structure S: sig val a: int end\n", "structure S : sig val a : int end\n", "structure S : {val a : int}\n",
             "structure S : sig val a : int end\n"});
        add(AtPrompt, "print without newline", "val _ = print \"no newline\"", true, {"no newline", "no newline", "no newline", "no newline"});
        // A prompt printed by the program, and an error after it.
        add(AtPrompt, "output ending like a prompt", "val _ = print \"a\\n- \"", true, {none, none, "a\n- ", "a\n- "});
        add(AtPrompt, "output ending like a prompt, then an exception",
            "val _ = (print \"- \"; let fun w 0 = () | w n = w (n - 1) in w 3000000 end; raise Fail \"late\")", false,
            {none, none, "! Fail  \"late\"", "Fail \"late\""});
        // Poly ML answers every line on its own: the verdict waits for the
        // last, however long it computes.
        add(AtPrompt, "a later line computes", "fun f x = x;\nval _ = (OS.Process.sleep (Time.fromMilliseconds 700); print \"slept\\n\");\n", true, {"slept\n", "slept\n"});
        add(AtPrompt, "syntax error, recovery stopped", "val y = 1 +", false, {"poly: : error: <identifier> expected but ; was found\n"});
        add(AtPrompt, "syntax error inside a structure", "structure T = struct\n  val a = 1 +\nend", false, {"poly: : error:"});
        add(AtPrompt, "not UTF-8", "val _ = print \"\\195\"", true, {"\ufffd", none, "\ufffd", "\ufffd"});
        // A computation stays pending until the user interrupts, and then it
        // has failed (Alice ML, interrupted at its prompt before, is not).
        add(AtPrompt, "interrupted computation", "val _ = let fun loop (x : int) : int = loop x in print \"started\\n\"; loop 0 end", false, {"", "", "", ""}, "started\n");
        // An interpreter waiting for the rest of a declaration that never
        // comes is interrupted by the session, whose note says why; one that
        // prompts for no more is not sent it.
        const QString incomplete = QStringLiteral("The declaration is incomplete");
        add(AtPrompt, "left open in a comment", "val a = 1;\n(* open", false, {incomplete, incomplete, "Incomplete declaration: the comment opened at line 2, column 1", "unclosed comment"});
        add(AtPrompt, "left open in a bracket", "val c = (1 + 2", false,
            {incomplete, incomplete, "Incomplete declaration: the parenthesis \"(\" opened at line 1, column 9",
             "syntax error found at EOF"});
        add(AtPrompt, "an if without its else", "val c = if true then 1", false, {"else expected", incomplete, "! Syntax error.", "inconsistent types in branches of `if'"});
        add(AtPrompt, "output that looks like prompts", "val _ = print \"> a\\n- b\\n# c\\n= d\\n\"", true, {"> a\n- b\n# c\n= d\n", "> a\n- b\n# c\n= d\n"});
        add(AtPrompt, "an exception value over lines", "val _ = raise Fail (String.implode (List.tabulate (120, fn _ => #\"a\")))", false, {"Exception-\n", "uncaught exception Fail"});
        add(AtStart, "over lines", "structure S = struct\n  val a = 1\nend", true, {"structure S: sig", "structure S : sig", "structure S : {val a", "structure S : sig"});
        // A reset starts a new interpreter, which takes a commit written at
        // once as its start did: what the old one bound is gone.
        add(AfterReset, "the old binding", "val y = answered", false,
            {"Value or constructor (answered) has not been declared", "Error: unbound variable or constructor: answered",
             "! Unbound value identifier: answered", "unknown value or constructor `answered'"});
        // Those of an interpreter together, the one on a fresh interpreter first.
        const char *whens[] = {"", "at the start, ", "after a reset, "};
        for (int i = 0; i < 4; ++i) {
            for (const When when : {AtStart, AtPrompt, AfterReset}) {
                for (const Row &row : std::as_const(rows)) {
                    if (row.when == when && !row.shown.value(i).isNull())
                        QTest::addRow("%s: %s%s", interpreters[i].name, whens[when], row.name) << interpreters[i].path << int(when)
                            << row.text << row.interruptAfter << row.success << row.shown.at(i);
                }
            }
        }
    }

    void declaration()
    {
        QFETCH(QString, interpreter);
        QFETCH(int, when);
        QFETCH(QString, text);
        QFETCH(QString, interruptAfter);
        QFETCH(bool, success);
        QFETCH(QString, shown);
        SKIP_UNLESS_INSTALLED(interpreter);
        std::unique_ptr<Run> fresh;
        if (when == AtStart)
            drop();
        Run &run = when == AtStart ? *(fresh = std::make_unique<Run>(interpreter)) : shared(interpreter);
        const int starts = run.recorder.starts;
        if (when == AfterReset) {
            QVERIFY(run.answers());
            run.recorder.clear();
            run.session->resetEnvironment();
            QVERIFY(run.session->willReset());
            QCOMPARE(run.recorder.pieces, (QList<Piece>{{false, "\n\n###reset environment\n\n"}}));
        }
        if (interpreter == alicePath && !interruptAfter.isEmpty())
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
            QStringList order;
            for (const Piece &piece : std::as_const(run.recorder.pieces)) {
                for (const char *word : {"one", "two", "three"}) {
                    if (piece.text.contains(QLatin1String(word) + u'\n'))
                        order.append(QLatin1String(word) + (piece.error ? u'!' : u' '));
                }
            }
            QCOMPARE(run.recorder.verdicts, QList<bool>{true});
            QCOMPARE(order, (QStringList{"one ", "two!", "three "}));
        }
    }

    // A run that never started is shown as an error, with where to choose
    // another, and leaves the window open; the editor's commit fails instead
    // of waiting for ever, before the failure is known and after.
    void missingExecutable()
    {
        for (const Interpreter &interpreter : interpreters) {
            const QString path = "/nonexistent/ostrel" + interpreter.path.mid(interpreter.path.lastIndexOf(u'/'));
            Run run(path);
            run.session->eval(QStringLiteral("val x = 1"), OLEditorCommitter);
            QVERIFY(run.waitForVerdicts(1));
            QCOMPARE(run.recorder.pieces,
                     (QList<Piece>{{true, "Could not start " + path + ": No such file or directory\n"},
                                   {true, "Choose an interpreter in Preferences or with Evaluate > Choose Interpreter, then "
                                          "reset the interpreter.\n"}}));
            run.session->eval(QStringLiteral("val x = 1"), OLEditorCommitter);
            QCOMPARE(run.recorder.verdicts, (QList<bool>{false, false}));
            QCOMPARE(run.recorder.activities, QList<OLInterpreterActivity>{OLInterpreterActivity::Ended});
            QCOMPARE(run.recorder.closes + run.recorder.starts, 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestRealInterpreters)
#include "tst_realinterpreters.moc"
