#include "session/OLOutputClassifier.h"

#include <QTest>

class TestOutputClassifier : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void classify_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("stripped");
        QTest::addColumn<bool>("error");

        const auto row = [](const char *name, OLInterpreterMode mode, const QString &output,
                            const QString &stripped, bool error) {
            QTest::newRow(name) << int(mode) << output << stripped << error;
        };
        const QString banner = QStringLiteral("Enter `quit();' to quit.\n");

        // Moscow ML: the rules as they are.
        row("mosml: two answer marks and a prompt go", OLMosML, "> > val x = 1 : int\n- ", "val x = 1 : int\n", false);
        row("mosml: ! starts an error", OLMosML, "! Toplevel input:\n! foo;\n", "! Toplevel input:\n! foo;\n", true);
        row("mosml: a later ! line does not count", OLMosML, "> val x = 1 : int\n! oops\n", "val x = 1 : int\n! oops\n", false);
        row("mosml: banner line and prompt at the end go", OLMosML, "Moscow ML version 2.10\n" + banner + "- ",
            "Moscow ML version 2.10\n", false);
        row("mosml: banner line in the middle stays", OLMosML, banner + "more\n- ", banner + "more\n", false);
        row("mosml: banner line goes only once", OLMosML, banner + banner, banner, false);
        row("mosml: prompts only", OLMosML, "- - ", "", false);
        row("mosml: a warning is an error", OLMosML, "! Warning: pattern matching is not exhaustive\n> val f = fn : int -> int\n",
            "! Warning: pattern matching is not exhaustive\n> val f = fn : int -> int\n", true);

        // SML of New Jersey, with the real answers of 110.79.
        row("smlnj: stdIn starts an error whatever follows", OLSmlNJ, "stdIn", "stdIn", true);
        row("smlnj: unbound variable", OLSmlNJ, "stdIn:2.1-2.4 Error: unbound variable or constructor: foo\n- ",
            "stdIn:2.1-2.4 Error: unbound variable or constructor: foo\n", true);
        row("smlnj: a lone prompt empties", OLSmlNJ, "- ", "", false);
        row("smlnj: accepted binding", OLSmlNJ, "val x = 1 : int\n- ", "val x = 1 : int\n", false);
        row("smlnj: warning before the binding is accepted", OLSmlNJ,
            "stdIn:7.5-7.12 Warning: match nonexhaustive\n          0 => ...\n  \nval g = fn : int -> int\n- ",
            "stdIn:7.5-7.12 Warning: match nonexhaustive\n          0 => ...\n  \nval g = fn : int -> int\n", false);
        row("smlnj: an error after a warning", OLSmlNJ, "stdIn:1.1 Warning: w\nstdIn:1.5 Error: e\n",
            "stdIn:1.1 Warning: w\nstdIn:1.5 Error: e\n", true);
        row("smlnj: an error after a binding", OLSmlNJ, "val a = 1 : int\nstdIn:1.20-1.23 Error: unbound variable\n",
            "val a = 1 : int\nstdIn:1.20-1.23 Error: unbound variable\n", true);
        row("smlnj: uncaught exception", OLSmlNJ, "\nuncaught exception Div [divide by zero]\n  raised at: stdIn:1.4-1.7\n- ",
            "\nuncaught exception Div [divide by zero]\n  raised at: stdIn:1.4-1.7\n", true);
        row("smlnj: warning, then uncaught exception", OLSmlNJ,
            "stdIn:1.6-1.27 Warning: type vars not generalized because of\n   value restriction are instantiated to dummy types (X1,X2,...)\n"
            "\nuncaught exception Fail [Fail: boom]\n  raised at: stdIn:1.16-1.27\n- ",
            "stdIn:1.6-1.27 Warning: type vars not generalized because of\n   value restriction are instantiated to dummy types (X1,X2,...)\n"
            "\nuncaught exception Fail [Fail: boom]\n  raised at: stdIn:1.16-1.27\n", true);
        row("smlnj: interrupted", OLSmlNJ, "= \nInterrupt\n- ", "\nInterrupt\n", true);
        row("smlnj: continuation prompts before an error go", OLSmlNJ, "= = stdIn:3.1 Error: syntax error\n- ",
            "stdIn:3.1 Error: syntax error\n", true);
        row("smlnj: autoloading and opening", OLSmlNJ, "[autoloading]\n[library $SMLNJ-BASIS/basis.cm is stable]\nopening List\n",
            "[autoloading]\n[library $SMLNJ-BASIS/basis.cm is stable]\nopening List\n", false);
        row("smlnj: a string mentioning Interrupt", OLSmlNJ, "val s = \"Interrupt\" : string\n- ",
            "val s = \"Interrupt\" : string\n", false);
        row("smlnj: print without newline", OLSmlNJ, "no newline- ", "no newline", false);

        // Alice ML and UNKNOWN: never an error.
        row("alice: error-looking output is an answer", OLAliceML, "! stdIn:1 Error\n- ", "! stdIn:1 Error\n", false);
        row("alice: prompts only", OLAliceML, "- - ", "", false);
        row("unknown: a lone prompt is shown", OLUnknownMode, "- ", "- ", false);
        row("unknown: ! is an answer", OLUnknownMode, "! oops\n", "! oops\n", false);

        // Poly ML 5.7.1.
        row("poly: two continuation prompts and a prompt go", OLPolyML, "# # structure S: sig val a: int end\n> ",
            "structure S: sig val a: int end\n", false);
        row("poly: banner", OLPolyML, "Poly/ML 5.7.1 Release\n> ", "Poly/ML 5.7.1 Release\n", false);
        row("poly: begins with Error", OLPolyML, "Error- in 'x', line 1.\n", "Error- in 'x', line 1.\n", true);
        row("poly: ends with Errors and a line feed", OLPolyML, "poly: : error: e\nStatic Errors\n> ",
            "poly: : error: e\nStatic Errors\n", true);
        row("poly: Errors without the line feed", OLPolyML, "Static Errors", "Static Errors", false);
        row("poly: rejection before Static Errors", OLPolyML,
            "poly: : error: Value or constructor (foo) has not been declared Found near foo\n",
            "poly: : error: Value or constructor (foo) has not been declared Found near foo\n", true);
        row("poly: warning and binding are accepted", OLPolyML,
            "# poly: : warning: Matches are not exhaustive. Found near fun g 0 = 1\nval g = fn: int -> int\n> ",
            "poly: : warning: Matches are not exhaustive. Found near fun g 0 = 1\nval g = fn: int -> int\n", false);
        row("poly: uncaught exception", OLPolyML, "Exception- Div raised\n> ", "Exception- Div raised\n", true);
        row("poly: exception after printed output", OLPolyML, "hi\nException- Fail \"boom\" raised\n",
            "hi\nException- Fail \"boom\" raised\n", true);
        row("poly: interrupted compilation", OLPolyML, "Compilation interrupted\n\n> ", "Compilation interrupted\n\n", true);
        row("poly: a string mentioning Exception-", OLPolyML, "val s = \"Exception- \": string\n> ",
            "val s = \"Exception- \": string\n", false);
        row("poly: print without newline", OLPolyML, "no newline> ", "no newline", false);
        row("poly: prompts only", OLPolyML, "> > ", "", false);
        row("poly: stray prompt before an answer goes", OLPolyML, "> val x = 1: int\n> ", "val x = 1: int\n", false);
        row("poly: continuation prompt at the end goes", OLPolyML, "poly: : error: x\n# ", "poly: : error: x\n", true);
        row("poly: a marker after prompts in the middle", OLPolyML, "val a = 1: int\n> # Compilation interrupted\n\n> ",
            "val a = 1: int\n> # Compilation interrupted\n\n", true);
        row("smlnj: a marker after a prompt in the middle", OLSmlNJ, "val a = 1 : int\n- stdIn:2.1 Error: e\n- ",
            "val a = 1 : int\n- stdIn:2.1 Error: e\n", true);
        row("poly: prompt in the middle stays", OLPolyML, "val f = fn: int -> int\n> val it = 3: int\n> > ",
            "val f = fn: int -> int\n> val it = 3: int\n", false);
    }

    void classify()
    {
        QFETCH(int, mode);
        QFETCH(QString, output);
        QFETCH(QString, stripped);
        QFETCH(bool, error);
        const OLClassifiedOutput result = classifyOutput(OLInterpreterMode(mode), output);
        QCOMPARE(result.text, stripped);
        QCOMPARE(result.error, error);
    }
};

QTEST_GUILESS_MAIN(TestOutputClassifier)
#include "tst_outputclassifier.moc"
