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
        if (d->location() != quint64(interpreted) || d->length() == 0 || d->text() != text.sliced(interpreted, qsizetype(d->length())))
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

    // The pieces stepping as the editor does cuts a text into, parted by "|"
    // (the text is all of them); CRLF line ends cut exactly where line feeds do.
    void stepping_data()
    {
        QTest::addColumn<QString>("pieces");
        const auto add = [](const char *name, const QString &pieces) { QTest::newRow(name) << pieces; };
        // What travels with which declaration.
        add("last keeps its trailing line feed", "val x = 1\n|val y = 2\n");
        add("leading blank line and comment travel with the first", "\n(* setup *)\nval a = 1\n|val b = 2");
        // Comments and strings hide what they hold.
        add("nested comment", "val a = 1 (* (* val b *) end val c *)\n|val d = 2");
        add("quote in a comment", "(* it's \"quoted *)\nval a = 1\n|val b = 2");
        add("end and comment opener in strings", "val s = \"the end (* is near\"\n|val t = let");
        add("escaped quote and backslash", "val s = \"a\\\" val\\\\\"\n|val t = 1");
        add("gap across lines", "val s = \"one \\\n   \\\" ^ \"two val\"\n|val t = 1");
        add("control, decimal and unicode escapes", "val s = \"\\^\\\" ^ \"let\\065\\u0041\"\n|val t = 1");
        add("character literals", "val q = #\"\\\"\"\n|val p = #\"(\"\n|val t = 1");
        add("a string ends at its line end", "val s = \"no end\n|val t = 1");
        // Identifiers, symbols and numbers.
        add("op with symbolic identifiers", "val f = (op *)\n|val g = op*\n|val h = 1");
        add("long identifiers, numbers, type variables", "fun 'a f (x : 'a) = Int.+ (0xFF, ~1) + floor 1.5e~3 + Word.toInt 0w1\n|val endv = 1");
        // Nesting.
        add("nested structures", "structure S = struct structure T = struct val x = 1 end end\n|val y = 2");
        add("end, and end) close", "val p = (let in 1 end, let in 2 end)\n|val q = 3");
        add("functor parameter list", "functor F (val n : int  val k : int) = struct val m = n end\n|structure A = F (val n = 1 val k = 2)\n|val z = 1");
        add("abstype with ... end", "abstype t = T with val v = T fun get T = 1 end\n|val w = 1");
        add("where type ... and type", "signature T = S where type t = int and type u = bool\n|val x = 1");
        add("withtype", "datatype t = A of u withtype u = int list\n|val x = 1");
        add("sharing type", "signature S = sig structure A : T structure B : T sharing type A.t = B.t end\n|val x = 1");
        add("datatype replication", "datatype u = datatype t\n|val x = 1");
        add("local travels with the declaration before it", "val p = 1\nlocal val h = 1 in val k = h end\n|val m = 2");
        // Closers that do not match.
        add("stray end first", "end\nval a = 1\n|val b = 2");
        add("a closer closes what is open inside it", "val a = (let val b = 1 in b)\n|val c = 2");
        add("end closes the brackets inside its block", "structure S = struct val x = (1 end\n|val y = 2");
        // Semicolons and top-level expressions.
        add("two on one line", "val x = 1; |fact x;");
        add("comments after a semicolon travel with it", "val a = 1; (* note *)\n\n(* next *)\n|val b = 2");
        add("an expression runs to its semicolon", "print \"a\"\nval y = 2;\n|val z = 3");
        add("an unclosed comment after a semicolon is its own", "val a = 1;\n|(* val b = 2;\n");
        // White space.
        add("tab, line separator, form feed, next line and no-break space separate", "val\ta = 1\u2028|val\fb = 1\u00a0|val\u0085c");
        add("every starter word", "signature S = sig end\n|structure A = struct end\n|functor F () = struct end\n|val a = 1\n|fun f x = x\n|"
                                  "type t = int\n|datatype d = D\n|exception E\n|open A\n|nonfix +\n|infix 5 ++\n|infixr 5 **\n|"
                                  "abstype u = U with fun g U = 1 end\n|val z = 1");
    }
    void stepping()
    {
        QFETCH(QString, pieces);
        for (const QString &lineEnd : {QStringLiteral("\n"), QStringLiteral("\r\n")}) {
            const QString cut = QString(pieces).replace(u'\n', lineEnd);
            QCOMPARE(stepThrough(QString(cut).remove(u'|')), cut.split(u'|'));
        }
    }

    // What a declaration leaves open at the end of the text, or a string not
    // closed on its line: the first declaration's; and where it points the
    // student to, in the whole text from the declaration's first line.
    void unclosed()
    {
        const struct { const char *text; int kind, location; const char *reason = ""; } rows[] = { // kind -1: nothing open
            {"val a = 1 (* val b = 2\nval c = 3", int(Kind::Comment), 10, "comment opened at line 1, column 11 is never closed"},
            {"val s = \"abc\nval t = 1", int(Kind::String), 8},
            {"val c = #\"a\n", int(Kind::Character), 8},
            {"val x = (1 + 2;\nval y = 3", int(Kind::Parenthesis), 8},
            {"val x = [1, 2", int(Kind::Bracket), 8},
            {"val x = {a = 1", int(Kind::Brace), 8},
            {"val x = let val y = 1 in y", int(Kind::Let), 8, "the \"let\" opened at line 1, column 9 has no matching \"end\""},
            {"local val y = 1 in val z = y", int(Kind::Local), 0},
            {"structure S = struct val y = 1", int(Kind::Struct), 14},
            {"signature S = sig val y : int", int(Kind::Sig), 14},
            {"abstype t = T with val v = T", int(Kind::Abstype), 0},
            {"structure S = struct val x = (1", int(Kind::Parenthesis), 29},
            {"val \U0001F600 = (1", int(Kind::Parenthesis), 9, "\"(\" opened at line 1, column 9"}, // columns count characters
            {"val s = (\"a\\\\\", (* c *) let in [#\")\"] end, \"a\\\n  \\\")", -1, 0},
        };
        for (const auto &[text, kind, location, reason] : rows) {
            const std::optional<OLDeclaration> d = nextDeclaration(QString::fromUtf8(text), 0);
            QVERIFY2(d && (d->unclosed() ? int(d->unclosed()->kind) : -1) == kind && (d->unclosed() ? int(d->unclosed()->location) : 0) == location, text);
            QVERIFY2(*reason ? d->incompleteReason(1).contains(QString::fromUtf8(reason)) : kind >= 0 || d->incompleteReason(1).isEmpty(), qPrintable(d->incompleteReason(1)));
        }
    }

    // Random texts made of the tokens that nest, hide or cut: stepping ends,
    // and its pieces make up the text.
    void randomTexts()
    {
        QVERIFY(stepThrough(QStringLiteral("(* only a comment *)\n")).isEmpty());
        const QStringList parts{"val", "end", "let", "abstype", "where", "local", "(*", "*)", "\"", "\\", "#\"", "(", ")",
                                "[", "}", ";", "=", " ", "\n", "x", "op*", "type"};
        QRandomGenerator random(11);
        for (int i = 0; i < 3000; ++i) {
            QString text;
            for (int n = int(random.bounded(30)); n > 0; --n)
                text += parts.at(random.bounded(parts.size()));
            const QStringList pieces = stepThrough(text);
            QVERIFY2(pieces.isEmpty() || pieces.join(QString()) == text, qPrintable(text));
        }
    }
};

QTEST_GUILESS_MAIN(TestDeclarationScanner)
#include "tst_declarationscanner.moc"
