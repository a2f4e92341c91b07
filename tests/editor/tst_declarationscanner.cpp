#include "editor/OLDeclaration.h"

#include <QTest>

namespace {
// Steps through text as the editor does and collects the pieces it cuts.
QStringList stepThrough(const QString &text)
{
    QStringList pieces;
    qsizetype interpreted = 0;
    while (const std::optional<OLDeclaration> d = nextDeclaration(text, interpreted)) {
        pieces.append(d->text());
        interpreted += qsizetype(d->length());
    }
    return pieces;
}

// The scanner's log lines, kept out of the test output.
QStringList scannerLog;
QtMessageHandler previousHandler = nullptr;
void collectScannerLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "ostrel.scanner") == 0)
        scannerLog.append(message);
    else
        previousHandler(type, context, message);
}
} // namespace

class TestDeclarationScanner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { previousHandler = qInstallMessageHandler(collectScannerLog); }
    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }

    void nextDeclaration_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("interpreted");
        QTest::addColumn<QString>("expected"); // null: none found
        const auto add = [](const char *name, const QString &text, qsizetype from, const QString &expected) {
            QTest::newRow(name) << text << from << expected;
        };
        add("first of two, cut before the next val", "val x = 1\nval y = 2\n", 0, "val x = 1\n");
        add("last keeps its trailing line feed", "val x = 1\nval y = 2\n", 10, "val y = 2\n");
        add("leading blank line and comment travel with the first", "\n(* setup *)\nval a = 1\nval b = 2", 0,
            "\n(* setup *)\nval a = 1\n");
        add("nested structures", "structure S = struct structure T = struct val x = 1 end end\nval y = 2", 0,
            "structure S = struct structure T = struct val x = 1 end end\n");
        add("let ... end nests", "val a = let val b = 1 in b end\nval c = 2", 0, "val a = let val b = 1 in b end\n");
        add("sig ... end nests", "signature S = sig type t val x : t end\ntype u = int", 0, "signature S = sig type t val x : t end\n");
        add("end; is not the closer", "val a = let val b = 1 in b end;\nval c = 2", 0, "val a = let val b = 1 in b end;\nval c = 2");
        add("end) is not the closer", "val a = let in b end)\nval c = 2", 0, "val a = let in b end)\nval c = 2");
        add("(let is not an opener", "val a = (let val b = 1 in b end)", 0, "val a = (let ");
        add("val inside a comment cuts", "val a = 1 (* val b *)\nval c = 2", 0, "val a = 1 (* ");
        add("abstype opens nothing", "abstype t = T with val v = T end\nval w = 1", 0, "abstype t = T with ");
        add("stray end makes the depth negative", "abstype t = T with val v = T end\nval w = 1", 19, "val v = T end\nval w = 1");
        add("local starts no declaration", "val p = 1\nlocal val h = 1 in val k = h end\nval m = 2", 0,
            "val p = 1\nlocal val h = 1 in val k = h end\n");
        add("infixr is not infix", "val q = 1\ninfixr 5 ++\nval r = 2", 0, "val q = 1\ninfixr 5 ++\n");
        add("capitalised Val is no starter", "val a = 1\nVal b\nval c = 2", 0, "val a = 1\nVal b\n");
        add("runs of separators are empty words", "val  a = 1\n\n\nval b = 2", 0, "val  a = 1\n\n\n");
        add("starter as the very last word", "val a = 1\nval", 0, "val a = 1\n");
        add("lone starter at the end", "val a = 1\nval", 10, "val");
        add("tab, line separator and form feed separate", "val\ta = 1\u2028val\fb", 0, "val\ta = 1\u2028");
        add("next line and no-break space separate", "val\u0085a = 1\u00a0val\u0085b", 0, "val\u0085a = 1\u00a0");
        add("zero-width space does not separate", "val a = 1\n\u200bval b = 2", 0, "val a = 1\n\u200bval b = 2");
        add("surrogate pair counts two units", "val s = \"\U0001F600\"\nval t = 1", 0, "val s = \"\U0001F600\"\n");
        add("interpreted inside a word reads the tail as a word", "val x = 1\nval y = 2", 1, "al x = 1\nval y = 2");
        add("no starter word", "1 + 2;\n", 0, QString());
        add("empty rest", "val x = 1\n", 10, QString());
        add("empty text", "", 0, QString());
        add("starters only after a stray end", "end\nval a = 1\nval b = 2", 0, QString());
        add("starter only inside let", "let val a = 1 in a end", 0, QString());
    }
    void nextDeclaration()
    {
        QFETCH(QString, text);
        QFETCH(qsizetype, interpreted);
        QFETCH(QString, expected);
        const std::optional<OLDeclaration> d = ::nextDeclaration(text, interpreted);
        QCOMPARE(d.has_value(), !expected.isNull());
        if (!d)
            return;
        QCOMPARE(d->text(), expected);
        QCOMPARE(d->location(), quint64(interpreted));
        QCOMPARE(d->length(), quint64(expected.size()));
    }

    // Stepping as the editor does covers the whole text after the first
    // piece, and CRLF line ends cut exactly where line feeds do.
    void stepping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("pieces");
        QTest::newRow("mixed file")
            << QString("(* header *)\nstructure S = struct\n  val x = 1\nend\n\ndatatype t = A | B\nfun f A = 1\n  | f B = 2;\n"
                       "f A;\nlocal val h = 1 in val k = h end\nexception E of int\n")
            << QStringList{"(* header *)\nstructure S = struct\n  val x = 1\nend\n\n", "datatype t = A | B\n",
                           "fun f A = 1\n  | f B = 2;\nf A;\nlocal val h = 1 in val k = h end\n", "exception E of int\n"};
        QTest::newRow("every starter word, abstype last")
            << QString("signature S = sig end\nstructure A = struct end\nfunctor F () = struct end\nval a = 1\nfun f x = x\n"
                       "type t = int\ndatatype d = D\nexception E\nopen A\nnonfix +\ninfix 5 ++\nabstype u = U with fun g U = 1 end\nval z = 1")
            << QStringList{"signature S = sig end\n", "structure A = struct end\n", "functor F () = struct end\n", "val a = 1\n",
                           "fun f x = x\n", "type t = int\n", "datatype d = D\n", "exception E\n", "open A\n", "nonfix +\n",
                           "infix 5 ++\n", "abstype u = U with ", "fun g U = 1 end\nval z = 1"};
        QTest::newRow("trailing expression with no starter") << QString("val a = 1;\n1 + 2;\n") << QStringList{"val a = 1;\n1 + 2;\n"};
        QTest::newRow("nothing to evaluate") << QString("(* only a comment *)\n") << QStringList{};
    }
    void stepping()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, pieces);
        QCOMPARE(stepThrough(text), pieces);
        QCOMPARE(stepThrough(QString(text).replace(u'\n', QStringLiteral("\r\n"))),
                 pieces.replaceInStrings(QStringLiteral("\n"), QStringLiteral("\r\n")));
    }

    // A "%1" inside the text stays as it is.
    void description()
    {
        QCOMPARE(OLDeclaration().description(), QStringLiteral("OLDeclaration {\n\t\nat\t0 , 0\n}"));
        OLDeclaration d;
        d.setText(QStringLiteral("val s = \"%1 %2\"\n"));
        d.setLocation(12);
        d.setLength(16);
        QCOMPARE(d.description(), QStringLiteral("OLDeclaration {\n\tval s = \"%1 %2\"\n\nat\t12 , 16\n}"));
    }

    // Only a declaration cut before a following starter word is logged, and
    // its log line is its text as it is (trailing blanks included).
    void logLine()
    {
        scannerLog.clear();
        const QStringList pieces = stepThrough(QStringLiteral("abstype t = T with val v = T end\nval w = 1 "));
        QCOMPARE(pieces.size(), 2);
        QCOMPARE(scannerLog, QStringList{pieces.first()});
    }
};

QTEST_GUILESS_MAIN(TestDeclarationScanner)
#include "tst_declarationscanner.moc"
