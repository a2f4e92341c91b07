#include "editor/OLDeclaration.h"

#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTest>

namespace {
using Kind = OLUnclosed::Kind;

// Steps through text as the editor does and collects the pieces it cuts,
// each checked to stand where the step began.
QStringList stepThrough(const QString &text)
{
    QStringList pieces;
    qsizetype interpreted = 0;
    while (const std::optional<OLDeclaration> d = nextDeclaration(text, interpreted)) {
        if (d->location() != quint64(interpreted) || d->length() == 0
            || d->text() != text.sliced(interpreted, qsizetype(d->length())))
            return {QStringLiteral("wrong piece at %1").arg(interpreted)};
        pieces.append(d->text());
        interpreted += qsizetype(d->length());
    }
    return pieces;
}
} // namespace

class TestDeclarationScanner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The scanner's log of each cut stays out of the test output.
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("ostrel.scanner.debug=false")); }

    // Stepping as the editor does covers the whole text after the first
    // piece, and CRLF line ends cut exactly where line feeds do.
    void stepping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("pieces");
        const auto add = [](const char *name, const QString &text, const QStringList &pieces) {
            QTest::newRow(name) << text << pieces;
        };
        // What travels with which declaration.
        add("last keeps its trailing line feed", "val x = 1\nval y = 2\n", {"val x = 1\n", "val y = 2\n"});
        add("leading blank line and comment travel with the first", "\n(* setup *)\nval a = 1\nval b = 2",
            {"\n(* setup *)\nval a = 1\n", "val b = 2"});
        add("nothing but comments", "(* only a comment *)\n", {});
        // Comments and strings hide what they hold.
        add("nested comment", "val a = 1 (* (* val b *) end val c *)\nval d = 2",
            {"val a = 1 (* (* val b *) end val c *)\n", "val d = 2"});
        add("quote in a comment", "(* it's \"quoted *)\nval a = 1\nval b = 2", {"(* it's \"quoted *)\nval a = 1\n", "val b = 2"});
        add("end and comment opener in strings", "val s = \"the end (* is near\"\nval t = let", {"val s = \"the end (* is near\"\n", "val t = let"});
        add("escaped quote and backslash", "val s = \"a\\\" val\\\\\"\nval t = 1", {"val s = \"a\\\" val\\\\\"\n", "val t = 1"});
        add("gap across lines", "val s = \"one \\\n   \\\" ^ \"two val\"\nval t = 1", {"val s = \"one \\\n   \\\" ^ \"two val\"\n", "val t = 1"});
        add("control, decimal and unicode escapes", "val s = \"\\^\\\" ^ \"let\\065\\u0041\"\nval t = 1", {"val s = \"\\^\\\" ^ \"let\\065\\u0041\"\n", "val t = 1"});
        add("character literals", "val q = #\"\\\"\"\nval p = #\"(\"\nval t = 1", {"val q = #\"\\\"\"\n", "val p = #\"(\"\n", "val t = 1"});
        add("a string ends at its line end", "val s = \"no end\nval t = 1", {"val s = \"no end\n", "val t = 1"});
        // Identifiers, symbols and numbers.
        add("op with symbolic identifiers", "val f = (op *)\nval g = op*\nval h = 1", {"val f = (op *)\n", "val g = op*\n", "val h = 1"});
        add("long identifiers, numbers, type variables", "fun 'a f (x : 'a) = Int.+ (0xFF, ~1) + floor 1.5e~3 + Word.toInt 0w1\nval endv = 1",
            {"fun 'a f (x : 'a) = Int.+ (0xFF, ~1) + floor 1.5e~3 + Word.toInt 0w1\n", "val endv = 1"});
        add("capitalised Val is no starter", "val a = 1\nVal b\nval c = 2", {"val a = 1\nVal b\n", "val c = 2"});
        // Nesting.
        add("nested structures", "structure S = struct structure T = struct val x = 1 end end\nval y = 2",
            {"structure S = struct structure T = struct val x = 1 end end\n", "val y = 2"});
        add("end, and end) close", "val p = (let in 1 end, let in 2 end)\nval q = 3", {"val p = (let in 1 end, let in 2 end)\n", "val q = 3"});
        add("functor parameter list", "functor F (val n : int  val k : int) = struct val m = n end\nstructure A = F (val n = 1 val k = 2)\nval z = 1",
            {"functor F (val n : int  val k : int) = struct val m = n end\n", "structure A = F (val n = 1 val k = 2)\n", "val z = 1"});
        add("abstype with ... end", "abstype t = T with val v = T fun get T = 1 end\nval w = 1", {"abstype t = T with val v = T fun get T = 1 end\n", "val w = 1"});
        add("where type ... and type", "signature T = S where type t = int and type u = bool\nval x = 1",
            {"signature T = S where type t = int and type u = bool\n", "val x = 1"});
        add("withtype", "datatype t = A of u withtype u = int list\nval x = 1", {"datatype t = A of u withtype u = int list\n", "val x = 1"});
        add("sharing type", "signature S = sig structure A : T structure B : T sharing type A.t = B.t end\nval x = 1",
            {"signature S = sig structure A : T structure B : T sharing type A.t = B.t end\n", "val x = 1"});
        add("datatype replication", "datatype u = datatype t\nval x = 1", {"datatype u = datatype t\n", "val x = 1"});
        add("local travels with the declaration before it", "val p = 1\nlocal val h = 1 in val k = h end\nval m = 2",
            {"val p = 1\nlocal val h = 1 in val k = h end\n", "val m = 2"});
        // Closers that do not match.
        add("stray end first", "end\nval a = 1\nval b = 2", {"end\nval a = 1\n", "val b = 2"});
        add("a closer closes what is open inside it", "val a = (let val b = 1 in b)\nval c = 2", {"val a = (let val b = 1 in b)\n", "val c = 2"});
        add("end closes the brackets inside its block", "structure S = struct val x = (1 end\nval y = 2", {"structure S = struct val x = (1 end\n", "val y = 2"});
        // Semicolons and top-level expressions.
        add("two on one line", "val x = 1; fact x;", {"val x = 1; ", "fact x;"});
        add("repeated semicolons", "val a = 1;;\n;\nval b = 2", {"val a = 1;;\n;\n", "val b = 2"});
        add("comments after a semicolon travel with it", "val a = 1; (* note *)\n\n(* next *)\nval b = 2",
            {"val a = 1; (* note *)\n\n(* next *)\n", "val b = 2"});
        add("an expression runs to its semicolon", "print \"a\"\nval y = 2;\nval z = 3", {"print \"a\"\nval y = 2;\n", "val z = 3"});
        add("an unclosed comment after a semicolon is its own", "val a = 1;\n(* val b = 2;\n", {"val a = 1;\n", "(* val b = 2;\n"});
        // White space.
        add("tab, line separator, form feed, next line and no-break space separate", "val\ta = 1\u2028val\fb = 1\u00a0val\u0085c",
            {"val\ta = 1\u2028", "val\fb = 1\u00a0", "val\u0085c"});
        add("zero-width space does not separate", "val a = 1\n\u200bval b = 2", {"val a = 1\n\u200bval b = 2"});
        add("surrogate pair counts two units", "val s = \"\U0001F600\"\nval t = 1", {"val s = \"\U0001F600\"\n", "val t = 1"});
        add("every starter word",
            "signature S = sig end\nstructure A = struct end\nfunctor F () = struct end\nval a = 1\nfun f x = x\ntype t = int\n"
            "datatype d = D\nexception E\nopen A\nnonfix +\ninfix 5 ++\ninfixr 5 **\nabstype u = U with fun g U = 1 end\nval z = 1",
            {"signature S = sig end\n", "structure A = struct end\n", "functor F () = struct end\n", "val a = 1\n", "fun f x = x\n",
             "type t = int\n", "datatype d = D\n", "exception E\n", "open A\n", "nonfix +\n", "infix 5 ++\n", "infixr 5 **\n",
             "abstype u = U with fun g U = 1 end\n", "val z = 1"});
    }
    void stepping()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, pieces);
        QCOMPARE(stepThrough(text), pieces);
        QCOMPARE(stepThrough(QString(text).replace(u'\n', QStringLiteral("\r\n"))),
                 pieces.replaceInStrings(QStringLiteral("\n"), QStringLiteral("\r\n")));
    }

    // What a declaration leaves open at the end of the text, or a string
    // not closed on its line: the first declaration of the text.
    void unclosed_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind"); // -1: nothing open
        QTest::addColumn<int>("location");
        const auto add = [](const char *name, const QString &text, int kind, int location) {
            QTest::newRow(name) << text << kind << location;
        };
        add("comment", "val a = 1 (* val b = 2\nval c = 3", int(Kind::Comment), 10);
        add("string at its line end", "val s = \"abc\nval t = 1", int(Kind::String), 8);
        add("string at the end of the text", "val s = \"abc\\\"", int(Kind::String), 8);
        add("character literal", "val c = #\"a\n", int(Kind::Character), 8);
        add("parenthesis", "val x = (1 + 2;\nval y = 3", int(Kind::Parenthesis), 8);
        add("bracket", "val x = [1, 2", int(Kind::Bracket), 8);
        add("brace", "val x = {a = 1", int(Kind::Brace), 8);
        add("let", "val x = let val y = 1 in y", int(Kind::Let), 8);
        add("local", "local val y = 1 in val z = y", int(Kind::Local), 0);
        add("struct", "structure S = struct val y = 1", int(Kind::Struct), 14);
        add("sig", "signature S = sig val y : int", int(Kind::Sig), 14);
        add("abstype", "abstype t = T with val v = T", int(Kind::Abstype), 0);
        add("the innermost", "structure S = struct val x = (1", int(Kind::Parenthesis), 29);
        add("all closed", "val s = (\"a\\\\\", (* c *) let in [#\")\"] end, \"a\\\n  \\\")", -1, 0);
        add("closers with nothing to close", "val x = 1) end", -1, 0);
    }
    void unclosed()
    {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(int, location);
        const std::optional<OLDeclaration> d = nextDeclaration(text, 0);
        QVERIFY(d);
        QCOMPARE(d->unclosed() ? int(d->unclosed()->kind) : -1, kind);
        QCOMPARE(d->unclosed() ? int(d->unclosed()->location) : 0, location);
    }

    // The line and column a student is pointed to, counted in the whole
    // text from the declaration's first line.
    void incompleteReason_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("interpreted");
        QTest::addColumn<qsizetype>("firstLine");
        QTest::addColumn<QString>("expected"); // a part of the reason
        QTest::newRow("comment on a later line") << QStringLiteral("val a = 1;\n\nval b = 2\n  (* gone") << qsizetype(11)
                                                 << qsizetype(2) << QStringLiteral("comment opened at line 4, column 3 is never closed");
        QTest::newRow("column counts characters") << QStringLiteral("val \U0001F600 = (1") << qsizetype(0) << qsizetype(1)
                                                  << QStringLiteral("\"(\" opened at line 1, column 9");
        QTest::newRow("block named") << QStringLiteral("val x = let in 1") << qsizetype(0) << qsizetype(1)
                                     << QStringLiteral("the \"let\" opened at line 1, column 9 has no matching \"end\"");
        QTest::newRow("nothing open") << QStringLiteral("val x = 1") << qsizetype(0) << qsizetype(1) << QString();
    }
    void incompleteReason()
    {
        QFETCH(QString, text);
        QFETCH(qsizetype, interpreted);
        QFETCH(qsizetype, firstLine);
        QFETCH(QString, expected);
        const QString reason = nextDeclaration(text, interpreted)->incompleteReason(firstLine);
        QVERIFY2(expected.isEmpty() ? reason.isEmpty() : reason.contains(expected), qPrintable(reason));
    }

    // Random texts made of the tokens that nest, hide or cut: stepping ends,
    // and its pieces make up the text; no piece starts outside the text.
    void randomTexts()
    {
        const QStringList parts{"val", "end", "let", "abstype", "where", "local", "(*", "*)", "\"", "\\", "#\"", "(", ")",
                                "[", "}", ";", "=", " ", "\n", "x", "op*", "type"};
        QRandomGenerator random(11);
        for (int i = 0; i < 3000; ++i) {
            QString text;
            for (int n = int(random.bounded(30)); n > 0; --n)
                text += parts.at(random.bounded(parts.size()));
            const QStringList pieces = stepThrough(text);
            QVERIFY2(pieces.isEmpty() || pieces.join(QString()) == text, qPrintable(text));
            QVERIFY(!nextDeclaration(text, -1) && !nextDeclaration(text, text.size()) && !nextDeclaration(text, text.size() + 1));
            for (qsizetype at = 0; at < text.size(); ++at)
                nextDeclaration(text, at);
        }
    }
};

QTEST_GUILESS_MAIN(TestDeclarationScanner)
#include "tst_declarationscanner.moc"
