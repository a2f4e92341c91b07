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
    // Keeps the scanner's log lines out of the test output and lets
    // logLine() look at them.
    void initTestCase() { previousHandler = qInstallMessageHandler(collectScannerLog); }
    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }

    void nextDeclaration_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("interpreted");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("expected");

        auto add = [](const char *name, const QString &text, qsizetype p, const QString &expected) {
            QTest::newRow(name) << text << p << true << expected;
        };
        auto none = [](const char *name, const QString &text, qsizetype p) {
            QTest::newRow(name) << text << p << false << QString();
        };

        add("first of two, cut before the next val", "val x = 1\nval y = 2\n", 0, "val x = 1\n");
        add("last keeps its trailing line feed", "val x = 1\nval y = 2\n", 10, "val y = 2\n");
        add("leading blank line and comment travel with the first", "\n(* setup *)\nval a = 1\nval b = 2",
            0, "\n(* setup *)\nval a = 1\n");
        add("structure body at depth one", "structure S = struct\n  val x = 1\n  fun f y = y\nend\nval z = S.x", 0,
            "structure S = struct\n  val x = 1\n  fun f y = y\nend\n");
        add("let ... end nests", "val a = let val b = 1 in b end\nval c = 2", 0,
            "val a = let val b = 1 in b end\n");
        add("end; is not the closer", "val a = let val b = 1 in b end;\nval c = 2", 0,
            "val a = let val b = 1 in b end;\nval c = 2");
        add("end) is not the closer", "val a = let in b end)\nval c = 2", 0, "val a = let in b end)\nval c = 2");
        add("(let is not an opener", "val a = (let val b = 1 in b end)", 0, "val a = (let ");
        add("val inside a comment cuts", "val a = 1 (* val b *)\nval c = 2", 0, "val a = 1 (* ");
        add("abstype opens nothing", "abstype t = T with val v = T end\nval w = 1", 0, "abstype t = T with ");
        add("stray end makes the depth negative", "abstype t = T with val v = T end\nval w = 1", 19,
            "val v = T end\nval w = 1");
        add("local starts no declaration", "val p = 1\nlocal val h = 1 in val k = h end\nval m = 2", 0,
            "val p = 1\nlocal val h = 1 in val k = h end\n");
        add("infixr is not infix", "val q = 1\ninfixr 5 ++\nval r = 2", 0, "val q = 1\ninfixr 5 ++\n");
        add("capitalised Val is no starter", "val a = 1\nVal b\nval c = 2", 0, "val a = 1\nVal b\n");
        add("longer word value is no starter", "val a = 1\nvalue\nval c = 2", 0, "val a = 1\nvalue\n");
        add("nested structures", "structure S = struct structure T = struct val x = 1 end end\nval y = 2", 0,
            "structure S = struct structure T = struct val x = 1 end end\n");
        add("sig ... end nests", "signature S = sig type t val x : t end\ntype u = int", 0,
            "signature S = sig type t val x : t end\n");
        add("runs of separators are empty words", "val  a = 1\n\n\nval b = 2", 0, "val  a = 1\n\n\n");
        add("separators before the first starter", "\n\n  val a = 1", 0, "\n\n  val a = 1");
        add("starter as the very last word", "val a = 1\nval", 0, "val a = 1\n");
        add("lone starter at the end", "val a = 1\nval", 10, "val");
        add("no-break space separates", QString::fromUtf8("val\u00a0x = 1\nval\u00a0y = 2"), 0,
            QString::fromUtf8("val\u00a0x = 1\n"));
        add("tab separates", "val\tx = 1\nval\ty = 2", 0, "val\tx = 1\n");
        add("ideographic space and line separator", QString::fromUtf8("val\u3000a = 1\u2028val b = 2"), 0,
            QString::fromUtf8("val\u3000a = 1\u2028"));
        add("next line and form feed separate", QString::fromUtf8("val a = 1\u0085val b\fval c"), 10,
            QString::fromUtf8("val b\f"));
        add("zero-width space does not separate", QString::fromUtf8("val a = 1\n\u200bval b = 2"), 0,
            QString::fromUtf8("val a = 1\n\u200bval b = 2"));
        add("surrogate pair counts two units", QString::fromUtf8("val s = \"\U0001F600\"\nval t = 1"), 0,
            QString::fromUtf8("val s = \"\U0001F600\"\n"));
        add("CRLF: the pair stays with the first", "val x = 1\r\nval y = 2\r\n", 0, "val x = 1\r\n");
        add("CRLF: second starts after both units", "val x = 1\r\nval y = 2\r\n", 11, "val y = 2\r\n");
        add("interpreted inside a word reads the tail as a word", "val x = 1\nval y = 2", 1,
            "al x = 1\nval y = 2");

        none("no starter word", "1 + 2;\n", 0);
        none("empty rest", "val x = 1\n", 10);
        none("empty text", "", 0);
        none("starters only after a stray end", "end\nval a = 1\nval b = 2", 0);
        none("starter only inside let", "let val a = 1 in a end", 0);
    }

    void nextDeclaration()
    {
        QFETCH(QString, text);
        QFETCH(qsizetype, interpreted);
        QFETCH(bool, found);
        QFETCH(QString, expected);

        const std::optional<OLDeclaration> d = ::nextDeclaration(text, interpreted);
        QCOMPARE(d.has_value(), found);
        if (!found)
            return;
        QCOMPARE(d->text(), expected);
        QCOMPARE(d->location(), quint64(interpreted));
        QCOMPARE(d->length(), quint64(expected.size()));
        QCOMPARE(text.sliced(qsizetype(d->location()), qsizetype(d->length())), d->text());
    }

    // Stepping as the editor does covers the whole text after the first
    // piece, and CRLF line ends cut exactly where line feeds do.
    void stepping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("pieces");

        QTest::newRow("two vals") << QString("val x = 1\nval y = 2\n")
                                  << QStringList{"val x = 1\n", "val y = 2\n"};
        QTest::newRow("abstype then negative depth")
            << QString("abstype t = T with val v = T end\nval w = 1\nval z = 2")
            << QStringList{"abstype t = T with ", "val v = T end\nval w = 1\nval z = 2"};
        QTest::newRow("mixed file")
            << QString("(* header *)\nstructure S = struct\n  val x = 1\nend\n\n"
                       "datatype t = A | B\nfun f A = 1\n  | f B = 2;\nf A;\nlocal val h = 1 in val k = h end\n"
                       "exception E of int\n")
            << QStringList{"(* header *)\nstructure S = struct\n  val x = 1\nend\n\n", "datatype t = A | B\n",
                           "fun f A = 1\n  | f B = 2;\nf A;\nlocal val h = 1 in val k = h end\n",
                           "exception E of int\n"};
        QTest::newRow("every starter word, abstype last")
            << QString("signature S = sig end\nstructure A = struct end\nfunctor F () = struct end\nval a = 1\n"
                       "fun f x = x\ntype t = int\ndatatype d = D\nexception E\nopen A\nnonfix +\ninfix 5 ++\n"
                       "abstype u = U with fun g U = 1 end\nval z = 1")
            << QStringList{"signature S = sig end\n", "structure A = struct end\n", "functor F () = struct end\n",
                           "val a = 1\n", "fun f x = x\n", "type t = int\n", "datatype d = D\n", "exception E\n",
                           "open A\n", "nonfix +\n", "infix 5 ++\n", "abstype u = U with ",
                           "fun g U = 1 end\nval z = 1"};
        QTest::newRow("trailing expression with no starter") << QString("val a = 1;\n1 + 2;\n")
                                                             << QStringList{"val a = 1;\n1 + 2;\n"};
        QTest::newRow("nothing to evaluate") << QString("(* only a comment *)\n") << QStringList{};
    }

    void stepping()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, pieces);

        QCOMPARE(stepThrough(text), pieces);

        QString crlf = text;
        crlf.replace(u'\n', QStringLiteral("\r\n"));
        QStringList crlfPieces = pieces;
        for (QString &piece : crlfPieces)
            piece.replace(u'\n', QStringLiteral("\r\n"));
        QCOMPARE(stepThrough(crlf), crlfPieces);
    }

    void description_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint64>("location");
        QTest::addColumn<quint64>("length");
        QTest::addColumn<QString>("expected");

        QTest::newRow("fresh") << QString() << quint64(0) << quint64(0) << QString("OLDeclaration {\n\t\nat\t0 , 0\n}");
        QTest::newRow("placeholders in the text stay") << QString("val s = \"%1 %2\"\n") << quint64(12)
                                                       << quint64(16)
                                                       << QString("OLDeclaration {\n\tval s = \"%1 %2\"\n\nat\t12 , 16\n}");
    }

    void description()
    {
        QFETCH(QString, text);
        QFETCH(quint64, location);
        QFETCH(quint64, length);
        QFETCH(QString, expected);

        OLDeclaration d;
        if (!text.isNull()) {
            d.setText(text);
            d.setLocation(location);
            d.setLength(length);
        }
        QCOMPARE(d.description(), expected);
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
