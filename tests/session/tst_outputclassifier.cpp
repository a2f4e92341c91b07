#include "session/OLOutputClassifier.h"
#include "session/OLPrompts.h"

#include <QTest>

class TestOutputClassifier : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void classify_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("error");
        QTest::addColumn<QString>("stripped");
        // Without a stripped text, the output is shown as it is.
        const auto row = [](const char *name, OLInterpreterMode mode, const QString &output, bool error,
                            const QString &stripped = QString()) {
            QTest::newRow(name) << int(mode) << output << error << (stripped.isNull() ? output : stripped);
        };
        const QString banner = QStringLiteral("Enter `quit();' to quit.\n");
        // The prompts the session makes Poly ML and SML/NJ write.
        const QString P = promptsOf(OLPolyML).primary.toString();
        const QString C = promptsOf(OLPolyML).continuation.toString();
        const QString S = promptsOf(OLSmlNJ).primary.toString();
        const QString T = promptsOf(OLSmlNJ).continuation.toString();

        // Moscow ML: the rules as they are.
        row("mosml: two answer marks and a prompt go", OLMosML, "> > val x = 1 : int\n- ", false, "val x = 1 : int\n");
        row("mosml: ! starts an error", OLMosML, "! Toplevel input:\n! foo;\n", true);
        row("mosml: a later ! line does not count", OLMosML, "> val x = 1 : int\n! oops\n", false, "val x = 1 : int\n! oops\n");
        row("mosml: banner line and prompt at the end go", OLMosML, "Moscow ML version 2.10\n" + banner + "- ", false,
            "Moscow ML version 2.10\n");
        row("mosml: banner line goes only once", OLMosML, banner + banner, false, banner);
        row("mosml: a warning with a binding is accepted", OLMosML,
            "! Toplevel input:\n! fun g 0 = 1;\n!     ^^^^^^^\n! Warning: pattern matching is not exhaustive\n\n"
            "> val g = fn : int -> int\n- ",
            false, "! Toplevel input:\n! fun g 0 = 1;\n!     ^^^^^^^\n! Warning: pattern matching is not exhaustive\n\n"
                   "> val g = fn : int -> int\n");
        row("mosml: printed output beginning with ! is output", OLMosML, "!hello\n- ", false, "!hello\n");
        row("mosml: printed output ending like a prompt keeps it", OLMosML, "x- - ", false, "x- ");
        row("mosml: uncaught exception", OLMosML, "! Uncaught exception:\n! Fail  \"boom\"\n- ", true,
            "! Uncaught exception:\n! Fail  \"boom\"\n");
        row("mosml: uncaught exception after output without a newline", OLMosML, "abc! Uncaught exception:\n! Div\n- ",
            true, "abc! Uncaught exception:\n! Div\n");

        // SML of New Jersey, with the real answers of 110.79.
        row("smlnj: unbound variable", OLSmlNJ, "stdIn:2.1-2.4 Error: unbound variable or constructor: foo\n" + S, true,
            "stdIn:2.1-2.4 Error: unbound variable or constructor: foo\n");
        row("smlnj: accepted binding", OLSmlNJ, "val x = 1 : int\n" + S, false, "val x = 1 : int\n");
        row("smlnj: warning before the binding is accepted", OLSmlNJ,
            "stdIn:7.5-7.12 Warning: match nonexhaustive\n          0 => ...\n  \nval g = fn : int -> int\n", false);
        row("smlnj: an error after a warning", OLSmlNJ, "stdIn:1.1 Warning: w\nstdIn:1.5 Error: e\n", true);
        row("smlnj: uncaught exception", OLSmlNJ, "\nuncaught exception Div [divide by zero]\n  raised at: stdIn:1.4-1.7\n",
            true);
        row("smlnj: interrupted", OLSmlNJ, T + "\nInterrupt\n" + S, true, "\nInterrupt\n");
        row("smlnj: continuation prompts before an error go", OLSmlNJ, T + T + "stdIn:3.1 Error: syntax error\n" + S, true,
            "stdIn:3.1 Error: syntax error\n");
        row("smlnj: a string mentioning Interrupt", OLSmlNJ, "val s = \"Interrupt\" : string\n", false);
        row("smlnj: a marker after a prompt in the middle", OLSmlNJ, "val a = 1 : int\n" + S + "stdIn:2.1 Error: e\n" + S, true,
            "val a = 1 : int\nstdIn:2.1 Error: e\n");
        row("smlnj: output that looks like prompts stays", OLSmlNJ, "- \n= x\n" + S, false, "- \n= x\n");

        // Alice ML (its failures are on standard error) and UNKNOWN: never an error.
        row("alice: error-looking output is an answer", OLAliceML, "! stdIn:1 Error\n- ", false, "! stdIn:1 Error\n");
        row("alice: printed output ending like a prompt keeps it", OLAliceML, "x- - ", false, "x- ");
        row("unknown: a lone prompt is shown", OLUnknownMode, "- ", false);

        // Poly ML 5.7.1.
        row("poly: two continuation prompts and a prompt go", OLPolyML, C + C + "structure S: sig val a: int end\n" + P, false,
            "structure S: sig val a: int end\n");
        row("poly: begins with Error", OLPolyML, "Error- in 'x', line 1.\n", true);
        row("poly: ends with Errors and a line feed", OLPolyML, "poly: : error: e\nStatic Errors\n" + P, true,
            "poly: : error: e\nStatic Errors\n");
        row("poly: Errors without the line feed", OLPolyML, "Static Errors", false);
        row("poly: rejection before Static Errors", OLPolyML,
            "poly: : error: Value or constructor (foo) has not been declared Found near foo\n", true);
        row("poly: warning and binding are accepted", OLPolyML,
            "poly: : warning: Matches are not exhaustive. Found near fun g 0 = 1\nval g = fn: int -> int\n", false);
        row("poly: uncaught exception", OLPolyML, "Exception- Div raised\n" + P, true, "Exception- Div raised\n");
        row("poly: uncaught exception, its value on the next lines", OLPolyML, "Exception-\n   Fail \"x\"\n   raised\n", true);
        row("poly: interrupted compilation", OLPolyML, "Compilation interrupted\n\n", true);
        row("poly: a string mentioning Exception-", OLPolyML, "val s = \"Exception- \": string\n", false);
        row("poly: print without newline", OLPolyML, "no newline" + P, false, "no newline");
        row("poly: output that looks like prompts stays", OLPolyML, "> \n# x> " + P, false, "> \n# x> ");
        row("poly: prompts only", OLPolyML, P + P, false, "");
        row("poly: continuation prompt at the end goes", OLPolyML, "poly: : error: x\n" + C, true, "poly: : error: x\n");
        row("poly: a marker after prompts in the middle", OLPolyML, "val a = 1: int\n" + P + C + "Compilation interrupted\n\n" + P,
            true, "val a = 1: int\nCompilation interrupted\n\n");
    }

    void classify()
    {
        QFETCH(int, mode);
        QFETCH(QString, output);
        const OLClassifiedOutput result = classifyOutput(OLInterpreterMode(mode), output);
        QTEST(result.text, "stripped");
        QTEST(result.error, "error");
    }
};

QTEST_GUILESS_MAIN(TestOutputClassifier)
#include "tst_outputclassifier.moc"
