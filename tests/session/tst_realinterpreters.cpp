// The session against the installed Poly ML 5.7.1, SML of New Jersey 110.79,
// Moscow ML 2.10 and Alice ML 1.4. Debian packages neither of the last two:
// scripts/test builds and unpacks them into /opt from ../shared/interpreters
// when that is there; elsewhere their rows are skipped.

#include "OLSessionTestSupport.h"

#include <QStandardPaths>

namespace {

using Run = OLSessionRun<>;

struct Interpreter {
    const char *name;
    QString path;
} const interpreters[] = {
    {"poly", QStringLiteral("/usr/bin/poly")}, {"smlnj", QStringLiteral("/usr/bin/sml")}, {"mosml", mosmlPath()},
    {"alice", alicePath}};
const QString &poly = interpreters[0].path;
const QString &alice = interpreters[3].path;

void allInterpreters()
{
    QTest::addColumn<QString>("interpreter");
    for (const Interpreter &interpreter : interpreters)
        QTest::newRow(interpreter.name) << interpreter.path;
}

// When a declaration is written: at the interpreter's first prompt, at once
// after its start, or at once after a reset (before the banner and prompt).
enum When { AtPrompt, AtStart, AfterReset };

} // namespace

class TestRealInterpreters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void cleanup() { endAllChildren(); }

    // Poly ML gets "-i" once, whether the command line has it or not.
    void polyInteractive_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("added") << poly + " -q" << QStringList{poly, "-i", "-q"};
        QTest::newRow("given after another argument") << poly + " -q -i" << QStringList{poly, "-q", "-i"};
    }

    void polyInteractive()
    {
        QFETCH(QString, commandLine);
        Run run(commandLine);
        QVERIFY(run.waitFor([&] { return run.recorder.starts == 1; }));
        QTEST(OLTestProcesses::commandLine(onlyChild()), "arguments");
    }

    // The verdict on one declaration of the editor, the only one, and what
    // the console shows in its style; then the interpreter takes the next
    // declaration as its own. The banner is shown on its own, as an answer.
    void declaration_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<int>("when");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("interruptAfter"); // shown when the user interrupts; none: no interrupt
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("shown"); // part of what the console shows in the verdict's style
        // A row for each interpreter that has a text to show, in the order
        // Poly ML, SML/NJ, Moscow ML, Alice ML.
        const auto rows = [](When when, const char *name, const QString &text, bool success, const QStringList &shown,
                             const QString &interruptAfter = QString()) {
            const char *whens[] = {"", "at the start, ", "after a reset, "};
            for (qsizetype i = 0; i < shown.size(); ++i) {
                if (!shown.at(i).isNull())
                    QTest::addRow("%s: %s%s", interpreters[i].name, whens[when], name)
                        << interpreters[i].path << int(when) << text << interruptAfter << success << shown.at(i);
            }
        };
        const QString none;
        rows(AtPrompt, "accepted", "val x = 1", true,
             {"val x = 1: int\n", "val x = 1 : int\n", "val x = 1 : int\n", "val x : int = 1\n"});
        rows(AtPrompt, "rejected", "val y = foo", false,
             {"Value or constructor (foo) has not been declared", "Error: unbound variable or constructor: foo",
              "! Unbound value identifier: foo", "unknown value or constructor `foo'"});
        rows(AtPrompt, "accepted with a warning", "fun g 0 = 1", true,
             {"val g = fn: int -> int\n", "val g = fn : int -> int\n", "val g = fn : int -> int\n",
              "val g : int -> int = _fn\n"});
        rows(AtPrompt, "uncaught exception", "val z = 1 div 0", false,
             {"Exception- Div raised\n", "uncaught exception Div", "! Uncaught exception:\n! Div\n",
              "Uncaught exception\n   Div\n"});
        // Alice ML's prompts for the lines it reads on are not shown.
        rows(AtPrompt, "structure over lines", "structure S = struct\n  val a = 1\nend\n", true,
             {"structure S: sig val a: int end\n", "structure S : sig val a : int end\n", "structure S : {val a : int}\n",
              "\nstructure S : sig val a : int end\n"});
        rows(AtPrompt, "print without newline", "val _ = print \"no newline\"", true,
             {"no newline", "no newline", "no newline", "no newline"});
        // A prompt printed by the program, and an error after it.
        rows(AtPrompt, "output ending like a prompt", "val _ = print \"a\\n- \"", true, {none, none, "a\n- ", "a\n- "});
        rows(AtPrompt, "output ending like a prompt, then an exception",
             "val _ = (print \"- \"; let fun w 0 = () | w n = w (n - 1) in w 3000000 end; raise Fail \"late\")", false,
             {none, none, "! Fail  \"late\"", "Fail \"late\""});
        // Poly ML answers every line on its own: the verdict waits for the
        // last, however long it computes.
        rows(AtPrompt, "a later line computes",
             "fun f x = x;\nval _ = (OS.Process.sleep (Time.fromMilliseconds 1500); print \"slept\\n\");\n", true,
             {"slept\n", "slept\n"});
        rows(AtPrompt, "syntax error, recovery stopped", "val y = 1 +", false,
             {"poly: : error: <identifier> expected but ; was found\n"});
        rows(AtPrompt, "syntax error inside a structure", "structure T = struct\n  val a = 1 +\nend", false,
             {"poly: : error:"});
        rows(AtPrompt, "not UTF-8", "val _ = print \"\\195\"", true, {"\ufffd", none, "\ufffd", "\ufffd"});
        // A computation stays pending until the user interrupts, and then it
        // has failed (Alice ML, interrupted at its prompt before, is not).
        rows(AtPrompt, "interrupted computation",
             "val _ = let fun loop (x : int) : int = loop x in print \"started\\n\"; loop 0 end", false, {"", "", "", ""},
             "started\n");
        // An interpreter waiting for the rest of a declaration that never
        // comes is interrupted by the session, whose note says why; one that
        // prompts for no more is not sent it.
        const QString incomplete = QStringLiteral("The declaration is incomplete");
        rows(AtPrompt, "left open in a comment", "val a = 1;\n(* open", false,
             {incomplete, incomplete, "Incomplete declaration: the comment opened at line 2, column 1",
              "unclosed comment"});
        rows(AtPrompt, "left open in a bracket", "val c = (1 + 2", false,
             {incomplete, incomplete, "Incomplete declaration: the parenthesis \"(\" opened at line 1, column 9",
              "syntax error found at EOF"});
        rows(AtPrompt, "an if without its else", "val c = if true then 1", false,
             {"else expected", incomplete, "! Syntax error.", "inconsistent types in branches of `if'"});
        rows(AtPrompt, "output that looks like prompts", "val _ = print \"> a\\n- b\\n# c\\n= d\\n\"", true,
             {"> a\n- b\n# c\n= d\n", "> a\n- b\n# c\n= d\n"});
        rows(AtPrompt, "an exception value over lines",
             "val _ = raise Fail (String.implode (List.tabulate (120, fn _ => #\"a\")))", false,
             {"Exception-\n", "uncaught exception Fail"});
        rows(AtStart, "rejected", "val y = foo", false,
             {"Value or constructor (foo) has not been declared", "Error: unbound variable or constructor: foo",
              "! Unbound value identifier: foo", "unknown value or constructor `foo'"});
        // A reset starts a new interpreter: what the old one bound is gone.
        rows(AfterReset, "the old binding", "val y = answered", false,
             {"Value or constructor (answered) has not been declared",
              "Error: unbound variable or constructor: answered", "! Unbound value identifier: answered",
              "unknown value or constructor `answered'"});
        rows(AtStart, "over lines", "structure S = struct\n  val a = 1\nend", true,
             {"structure S: sig", "structure S : sig", "structure S : {val a", "structure S : sig"});
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
        Run run(interpreter);
        if (when == AtPrompt)
            QVERIFY(run.waitForOutput());
        if (when == AfterReset) {
            QVERIFY(run.answers());
            run.recorder.clear();
            run.session->resetEnvironment();
            QVERIFY(run.session->willReset());
            QCOMPARE(run.recorder.pieces, (QList<OLSessionRecorder::Piece>{{false, "\n\n###reset environment\n\n"}}));
            QCOMPARE(run.recorder.resets, 1);
        }
        if (interpreter == alice && !interruptAfter.isEmpty())
            run.session->interruptEvaluation();
        run.session->eval(text, OLEditorCommitter);
        if (!interruptAfter.isEmpty()) {
            QVERIFY(run.waitForConsole(interruptAfter));
            QVERIFY(run.recorder.verdicts.isEmpty());
            run.session->interruptEvaluation();
        }
        QVERIFY(run.waitForVerdicts(1));
        QVERIFY(run.waitForConsole(shown));
        QCOMPARE(run.recorder.verdicts, QList<bool>{success});
        QVERIFY2(run.recorder.shown(!success).contains(shown), qPrintable(run.recorder.shown()));
        // The banner, an answer of its own, comes first (after the note of a reset).
        const OLSessionRecorder::Piece &banner = run.recorder.pieces.at(when == AfterReset ? 1 : 0);
        QVERIFY2(!banner.error && !banner.text.isEmpty() && (shown.isEmpty() || !banner.text.contains(shown)),
                 qPrintable(banner.text));
        if (interruptAfter.isEmpty())
            QVERIFY2(!run.recorder.shown().contains(u"Compilation interrupted"), qPrintable(run.recorder.shown()));
        QCOMPARE(run.recorder.starts, when == AfterReset ? 2 : 1);
        QVERIFY(run.answers());
        QCOMPARE(run.recorder.closes, 0);
        QVERIFY(run.waitFor([&] { return !run.session->willReset(); }));
        QCOMPARE(OLTestProcesses::liveChildren().size(), 1);
    }

    // Standard error between two pieces of standard output keeps its place
    // in the console, though the output before it waits for the prompt.
    void standardErrorInOrder_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::newRow("poly") << interpreters[0].path;
        QTest::newRow("smlnj") << interpreters[1].path;
    }
    void standardErrorInOrder()
    {
        QFETCH(QString, interpreter);
        Run run(interpreter);
        QVERIFY(run.waitForOutput());
        // A busy pause (OS.Process.sleep returns at once in some SML/NJ builds),
        // shorter than the session waits before it shows output without a prompt.
        const QString pause = QStringLiteral("let val t = Time.+ (Time.now (), Time.fromMilliseconds 100) "
                                             "fun w () = if Time.< (Time.now (), t) then w () else () in w () end");
        run.session->eval(QStringLiteral("val _ = (print \"one\\n\"; %1; TextIO.output (TextIO.stdErr, \"two\\n\"); "
                                         "TextIO.flushOut TextIO.stdErr; %1; print \"three\\n\")")
                              .arg(pause),
                          OLEditorCommitter);
        QVERIFY(run.waitForVerdicts(1));
        QCOMPARE(run.recorder.verdicts, QList<bool>{true});
        QStringList order;
        for (const auto &piece : std::as_const(run.recorder.pieces)) {
            for (const char *word : {"one", "two", "three"}) {
                if (piece.text.contains(QLatin1String(word) + u'\n'))
                    order.append(QLatin1String(word) + (piece.error ? u'!' : u' '));
            }
        }
        QCOMPARE(order, (QStringList{"one ", "two!", "three "}));
    }

    // A run that never started is shown as an error, with where to choose
    // another, and leaves the window open; the editor's commit fails instead
    // of waiting for ever, before the failure is known and after.
    void missingExecutable_data() { allInterpreters(); }

    void missingExecutable()
    {
        QFETCH(QString, interpreter);
        const QString path = "/nonexistent/ostrel" + interpreter.mid(interpreter.lastIndexOf(u'/'));
        Run run(path);
        run.session->eval(QStringLiteral("val x = 1"), OLEditorCommitter);
        QVERIFY(run.waitForVerdicts(1));
        QCOMPARE(run.recorder.pieces,
                 (QList<OLSessionRecorder::Piece>{
                     {true, "Could not start " + path + ": No such file or directory\n"},
                     {true, "Choose an interpreter in Preferences or with Evaluate > Choose Interpreter, then reset "
                            "the interpreter.\n"}}));
        run.session->eval(QStringLiteral("val x = 1"), OLEditorCommitter);
        QCOMPARE(run.recorder.verdicts, (QList<bool>{false, false}));
        QCOMPARE(run.recorder.activities, QList<OLInterpreterActivity>{OLInterpreterActivity::Ended});
        QCOMPARE(run.recorder.closes, 0);
        QCOMPARE(run.recorder.starts, 0);
    }

    // Evaluation to the end of a source: each success takes the next step
    // at once, as the editor does. Every verdict must belong to its own
    // declaration, however the interpreter splits its answers (Moscow ML and
    // Alice ML answer each phrase of a declaration with a prompt).
    void stepwise_data() { allInterpreters(); }

    void stepwise()
    {
        QFETCH(QString, interpreter);
        SKIP_UNLESS_INSTALLED(interpreter);
        const QStringList declarations{"val a = 1;\n", "fun f x = x;\nf 3;\n", "val _ = ()\n",
                                       "val _ = print \"x\";\nval c = 2\n", "structure S = struct\n  val s = a\nend\n",
                                       "val d = foo\n", "val e = 1\n"};
        Run run(interpreter);
        QVERIFY(run.waitForOutput());
        qsizetype next = 0;
        QList<QPair<qsizetype, bool>> verdicts;
        run.recorder.onVerdict = [&](bool success) {
            verdicts.append({next - 1, success});
            if (success && next < declarations.size())
                run.session->eval(declarations.at(next++), OLEditorCommitter);
        };
        run.session->eval(declarations.at(next++), OLEditorCommitter);
        QVERIFY(run.waitFor([&] { return !verdicts.isEmpty() && !verdicts.last().second; }));
        QCOMPARE(verdicts, (QList<QPair<qsizetype, bool>>{{0, true}, {1, true}, {2, true}, {3, true}, {4, true},
                                                          {5, false}}));
        QVERIFY(run.recorder.shown(false).contains(u"val it = 3") || run.recorder.shown(false).contains(u"val it : int = 3"));
        QVERIFY(run.recorder.shown(false).contains(u"val c = 2") || run.recorder.shown(false).contains(u"val c : int = 2"));
    }
};

QTEST_GUILESS_MAIN(TestRealInterpreters)
#include "tst_realinterpreters.moc"
