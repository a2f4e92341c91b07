#include "highlight/OLSyntaxHighlighter.h"

#include <QTest>

namespace {
using Range = OLTextStorage::Range;

// Distinct colours, so each unit's colour names its role.
OLStyleSet styles()
{
    OLStyleSet s;
    s.regColor = OLColor{0.1, 0.1, 0.1, 1};
    s.keyColor = OLColor{0.2, 0.2, 0.2, 1};
    s.strColor = OLColor{0.3, 0.3, 0.3, 1};
    s.comColor = OLColor{0.4, 0.4, 0.4, 1};
    s.errColor = OLColor{0.5, 0.5, 0.5, 1};
    return s;
}

// Foreground of each unit: r(eg), k(ey), s(tr), c(om), e(rr), '.' none.
QString roles(const OLTextStorage &storage)
{
    const OLStyleSet s = styles();
    QString letters;
    for (qsizetype i = 0; i < storage.length(); ++i) {
        const auto c = storage.foregroundColorAt(i);
        letters += !c                ? u'.'
                   : c == s.regColor ? u'r'
                   : c == s.keyColor ? u'k'
                   : c == s.strColor ? u's'
                   : c == s.comColor ? u'c'
                   : c == s.errColor ? u'e'
                                     : u'?';
    }
    return letters;
}
} // namespace

class TestSyntaxHighlighter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keywordList()
    {
        const QStringList &words = OLSyntaxHighlighter::keywords();
        QCOMPARE(words.size(), 53);
        QCOMPARE(words.first(), QStringLiteral("abstype"));
        QCOMPARE(words.at(31), QStringLiteral("while"));
        QCOMPARE(words.last(), QStringLiteral("_fn"));
        for (const QString &w : words)
            QVERIFY2(OLSyntaxHighlighter::isKeyword(w), qPrintable(w));
    }

    void keywordMatch_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<bool>("keyword");
        QTest::newRow("val") << "val" << true;
        QTest::newRow("longest, constructor") << "constructor" << true;
        QTest::newRow("capitals") << "VAL" << false;
        QTest::newRow("prefix of a keyword") << "functo" << false;
        QTest::newRow("keyword with a tail") << "valx" << false;
        QTest::newRow("apostrophe") << "val'" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("a single letter") << "a" << false;
        QTest::newRow("thirteen letters") << "constructorss" << false;
    }
    void keywordMatch()
    {
        QFETCH(QString, word);
        QFETCH(bool, keyword);
        QCOMPARE(OLSyntaxHighlighter::isKeyword(word), keyword);
    }

    void separators_data()
    {
        QTest::addColumn<QChar>("c");
        QTest::addColumn<bool>("separator");
        for (const QChar c : QStringLiteral("@!{}^#|_:;,.=<>~()"))
            QTest::addRow("punctuation %c", c.toLatin1()) << c << true;
        for (const char16_t c : {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x200A, 0x2028,
                                 0x2029, 0x202F, 0x205F, 0x3000})
            QTest::addRow("space U+%04X", unsigned(c)) << QChar(c) << true;
        for (const QChar c : QStringLiteral("'\"*+-/[]$%&?\\`azAZ09"))
            QTest::addRow("word unit %c", c.toLatin1()) << c << false;
        QTest::newRow("zero width space") << QChar(0x200B) << false;
        QTest::newRow("letter e acute") << QChar(0xE9) << false;
    }
    void separators()
    {
        QFETCH(QChar, c);
        QFETCH(bool, separator);
        QCOMPARE(OLSyntaxHighlighter::isSeparator(c), separator);
    }

    // Edge cases of both passes. `expected` gives each unit's colour after
    // highlightSyntaxFor on an uncoloured text.
    void highlightSyntax_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("location");
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, const QString &text, qsizetype location, qsizetype length,
                      const QString &expected) {
            QTest::newRow(name) << text << location << length << expected;
        };
        auto whole = [&](const char *name, const QString &text, const QString &expected) {
            row(name, text, 0, text.size(), expected);
        };

        row("empty range inside", "val x", 2, 0, ".....");
        row("empty range at the end", "val x", 5, 0, ".....");
        whole("val x = 1", "val x = 1", "kkkrrrrrr");
        whole("keyword before (", "fn(x)", "kkrrr");
        whole("keyword with apostrophe", "val' x", "rrrrrr");
        whole("keyword with plus", "val+ x", "rrrrrr");
        whole("capitals", "VAL x", "rrrrr");
        whole("after a bracket", "[val]", "rrrrr");
        whole("_fn colours fn", "_fn", "rkk");
        whole("keywords among separators", "let;in,end", "kkkrkkrkkk");
        whole("unicode spaces separate", QString::fromUtf16(u"val\u00A0fun\u2028in"), "kkkrkkkrkk");

        row("inner part of a longer word", "xval", 1, 3, ".kkk");
        row("keyword straddling the start", "val", 1, 2, ".rr");
        row("keyword straddling the end", "val x", 0, 2, "rr...");
        row("keyword cut at the end", "valx = 1", 0, 3, "kkk.....");

        whole("keyword inside a comment", "(* fun *) x", "cccccccccrr");
        whole("opener followed by )", "(*) val", "cccrkkk");
        whole("nested comment", "(* a (* b *) c *) d", "cccccccccccccccccrr");
        whole("opener with two closers", "(* a *) b *)", "cccccccrrrrr");
        whole("comment opener inside an opener", "(*(*)", "eeeee");
        whole("unterminated comment", "val x = (* oops", "kkkrrrrreeeeeee");
        whole("unterminated string", "x = \"abc", "rrrreeee");
        row("unterminated string past the range", "\"ab val", 0, 3, "eeeeeee");
        row("unterminated comment past the range", "x (* y", 0, 4, "rreeee");
        whole("backslash does not escape", "\"a\\\"b\"", "ssssre");
        whole("quote inside a comment", "(* \" *) x", "cccccccrr");
        whole("opener inside a string", "\"(*\" x", "ssssrr");
        whole("string across lines", "\"a\nb\" val", "sssssrkkk");
        whole("keyword glued to a string", "val\"x\"val", "rrrsssrrr");
        whole("keyword after a comment", "(*c*)val", "ccccckkk");

        row("string opened before the range", "\"abc\" x", 4, 3, "....eee");
        row("comment opened before the range", "(* a *) b", 3, 6, "...rrrrrr");
        row("strings after the range", "x \"a\" y \"b\" z", 0, 5, "rrsss...sss..");
        row("comments after the range", "x (*a*) y (*b*) z", 0, 5, "rrccccc...ccccc..");
        row("opener straddling the range end", "x (* y *)", 0, 3, "rrr......");
        row("quote at the last unit of the range", "x \"y\" z", 0, 3, "rrsss..");
        row("nothing opens in the range", "x y \"z\"", 0, 3, "rrr....");
    }
    void highlightSyntax()
    {
        QFETCH(QString, text);
        QFETCH(qsizetype, location);
        QFETCH(qsizetype, length);
        QFETCH(QString, expected);

        OLTextStorage storage(text);
        OLSyntaxHighlighter::highlightSyntaxFor(storage, {location, length}, styles());
        QCOMPARE(roles(storage), expected);
        QCOMPARE(storage.string(), text);

        // The two passes one after the other give the same.
        OLTextStorage passes(text);
        OLSyntaxHighlighter::highLigthKeyWords(passes, {location, length}, styles());
        OLSyntaxHighlighter::highlightStringsAndComments(passes, {location, length}, styles());
        QCOMPARE(roles(passes), expected);
    }

    void passesAlone_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("keywords");
        QTest::addColumn<QString>("expected");
        // The text starts all in the error colour; the range leaves out the
        // first unit and the last two.
        QTest::newRow("keyword pass") << "in \"a\" (* fn *)" << true << "errrrrrrrrkkree";
        QTest::newRow("strings and comments pass") << "in \"a\" (* fn *)" << false << "eeesssecccccccc";
    }
    void passesAlone()
    {
        QFETCH(QString, text);
        QFETCH(bool, keywords);
        QFETCH(QString, expected);
        OLTextStorage storage(text);
        storage.setForegroundColor({0, storage.length()}, styles().errColor);
        const Range range{1, storage.length() - 3};
        if (keywords)
            OLSyntaxHighlighter::highLigthKeyWords(storage, range, styles());
        else
            OLSyntaxHighlighter::highlightStringsAndComments(storage, range, styles());
        QCOMPARE(roles(storage), expected);
    }

    void absentColourRemovesTheForeground()
    {
        OLStyleSet s = styles();
        s.regColor.reset();
        OLTextStorage storage(QStringLiteral("val x"));
        storage.setForegroundColor({0, 5}, s.errColor);
        OLSyntaxHighlighter::highlightSyntaxFor(storage, {0, 5}, s);
        QCOMPARE(roles(storage), QStringLiteral("kkk.."));
    }

    void marks_data()
    {
        QTest::addColumn<OLColor>("color");
        QTest::addColumn<OLColor>("expected");
        QTest::newRow("lightGreen") << OLSyntaxHighlighter::lightGreen() << OLColor{0.0, 0.56, 0.21, 0.3};
        QTest::newRow("lightBlue") << OLSyntaxHighlighter::lightBlue() << OLColor{0, 0, 1, 0.3};
        QTest::newRow("lightRed") << OLSyntaxHighlighter::lightRed() << OLColor{1, 0, 0, 0.3};
    }
    void marks()
    {
        QFETCH(OLColor, color);
        QFETCH(OLColor, expected);
        QCOMPARE(color, expected);
    }

    void backgroundMarks()
    {
        OLTextStorage storage(QStringLiteral("val x = 1; val y = 2;"));
        OLSyntaxHighlighter::setBackgroundColorFor(storage, {0, 10}, OLSyntaxHighlighter::lightGreen());
        OLSyntaxHighlighter::setBackgroundColorFor(storage, {10, 11}, OLSyntaxHighlighter::lightBlue());
        // Replacing a mark over part of another.
        OLSyntaxHighlighter::setBackgroundColorFor(storage, {5, 10}, OLSyntaxHighlighter::lightRed());
        QCOMPARE(storage.backgroundColorAt(4), OLSyntaxHighlighter::lightGreen());
        QCOMPARE(storage.backgroundColorAt(5), OLSyntaxHighlighter::lightRed());
        QCOMPARE(storage.backgroundColorAt(14), OLSyntaxHighlighter::lightRed());
        QCOMPARE(storage.backgroundColorAt(15), OLSyntaxHighlighter::lightBlue());
        OLSyntaxHighlighter::removeBackgroundColorFor(storage, {3, 14});
        QCOMPARE(storage.backgroundColorAt(2), OLSyntaxHighlighter::lightGreen());
        QCOMPARE(storage.backgroundColorAt(3), std::nullopt);
        QCOMPARE(storage.backgroundColorAt(16), std::nullopt);
        QCOMPARE(storage.backgroundColorAt(17), OLSyntaxHighlighter::lightBlue());
        // The foreground is left alone.
        QCOMPARE(storage.foregroundColorAt(0), std::nullopt);
    }

    void errorForeground()
    {
        OLTextStorage storage(QStringLiteral("val x = 1"));
        OLSyntaxHighlighter::highlightSyntaxFor(storage, {0, 9}, styles());
        OLSyntaxHighlighter::setErrorForegroundColor(storage, {2, 4}, styles());
        QCOMPARE(roles(storage), QStringLiteral("kkeeeerrr"));
        QCOMPARE(storage.backgroundColorAt(3), std::nullopt);
    }

    // Colouring touches attributes only: the text stays, and the changed
    // range covers no more than the units whose colour changed.
    void colouringIsNoEdit()
    {
        const QString text = QStringLiteral("val x = \"s\" (* c *)\nfun f y = y");
        OLTextStorage storage(text);
        storage.takeChangedRange();
        OLSyntaxHighlighter::highlightSyntaxFor(storage, {0, text.size()}, styles());
        QCOMPARE(storage.string(), text);
        QCOMPARE(storage.takeChangedRange(), (Range{0, text.size()}));
        OLSyntaxHighlighter::highlightSyntaxFor(storage, {0, text.size()}, styles());
        QCOMPARE(storage.takeChangedRange(), std::nullopt);
        OLSyntaxHighlighter::highlightSyntaxFor(storage, {4, 3}, styles());
        QCOMPARE(storage.takeChangedRange(), std::nullopt);
        QCOMPARE(storage.string(), text);
    }
};

QTEST_GUILESS_MAIN(TestSyntaxHighlighter)
#include "tst_syntaxhighlighter.moc"
