#include "highlighttestsupport.h"

#include <QTest>

using SH = OLSyntaxHighlighter;

class TestSyntaxHighlighter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keywords()
    {
        QCOMPARE(SH::keywords().size(), 53);
        for (const QString &w : SH::keywords())
            QVERIFY2(SH::isKeyword(w), qPrintable(w));
        for (const char *w : {"VAL", "functo", "valx", "", "constructorss"})
            QVERIFY2(!SH::isKeyword(QString::fromLatin1(w)), w);
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
        QCOMPARE(SH::isSeparator(c), separator);
    }

    // Edge cases of both passes: each unit's colour after colouring the range
    // of an uncoloured text.
    void highlightSyntax_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("location");
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QString &text, qsizetype location, qsizetype length, const char *expected) {
            QTest::newRow(name) << text << location << length << QString::fromLatin1(expected);
        };
        const auto whole = [&](const char *name, const QString &text, const char *expected) { row(name, text, 0, text.size(), expected); };

        row("empty range inside", "val x", 2, 0, ".....");
        whole("val x = 1", "val x = 1", "kkkrrrrrr");
        whole("keyword with apostrophe", "val' x", "rrrrrr");
        whole("after a bracket", "[val]", "rrrrr");
        whole("_fn colours fn", "_fn", "rkk");
        whole("keywords among separators", QString::fromUtf16(u"let;in,end\u00A0fun\u2028in"), "kkkrkkrkkkrkkkrkk");
        row("inner part of a longer word", "xval", 1, 3, ".kkk");
        row("keyword straddling the start", "val", 1, 2, ".rr");
        row("keyword cut at the end", "valx = 1", 0, 3, "kkk.....");

        whole("keyword inside a comment", "(* fun *) x", "cccccccccrr");
        whole("opener followed by ), a closer after the comment", "(*) val *)", "cccrkkkrrr");
        whole("nested comment", "(* a (* b *) c *) d", "cccccccccccccccccrr");
        whole("comment opener inside an opener", "(*(*)", "eeeee");
        whole("unterminated comment", "val x = (* oops", "kkkrrrrreeeeeee");
        whole("unterminated string", "x = \"abc", "rrrreeee");
        row("unterminated string past the range", "\"ab val", 0, 3, "eeeeeee");
        row("unterminated comment past the range", "x (* y", 0, 4, "rreeee");
        whole("backslash does not escape", "\"a\\\"b\"", "ssssre");
        whole("opener inside a string", "\"(*\" x", "ssssrr");
        whole("string across lines", "\"a\nb\" val", "sssssrkkk");
        whole("keyword glued to a string", "val\"x\"val", "rrrsssrrr");
        whole("keyword after a comment", "(*c*)val", "ccccckkk");

        row("string opened before the range", "\"abc\" x", 4, 3, "....eee");
        row("comment opened before the range", "(* a *) b", 3, 6, "...rrrrrr");
        row("strings and comments after the range", "x \"a\" y (*b*) z", 0, 5, "rrsss...ccccc..");
        row("opener straddling the range end", "x (* y *)", 0, 3, "rrr......");
        row("quote at the last unit of the range", "x \"y\" z", 0, 3, "rrsss..");
    }
    void highlightSyntax()
    {
        QFETCH(QString, text);
        QFETCH(qsizetype, location);
        QFETCH(qsizetype, length);
        QFETCH(QString, expected);
        OLTextStorage storage(text);
        SH::highlightSyntaxFor(storage, {location, length}, testStyles());
        QCOMPARE(colourLetters(storage), expected);
        QCOMPARE(storage.string(), text);
        // The two passes one after the other give the same.
        OLTextStorage passes(text);
        SH::highLigthKeyWords(passes, {location, length}, testStyles());
        SH::highlightStringsAndComments(passes, {location, length}, testStyles());
        QCOMPARE(colourLetters(passes), expected);
    }

    // An absent colour removes the foreground; the error colour covers its
    // range whatever was there, and leaves the background alone.
    void foregroundWrites()
    {
        OLStyleSet s = testStyles();
        s.regColor.reset();
        OLTextStorage storage(QStringLiteral("val x = 1"));
        storage.setForegroundColor({0, 9}, s.errColor);
        storage.setBackgroundColor({0, 9}, SH::lightGreen());
        SH::highlightSyntaxFor(storage, {0, 9}, s);
        QCOMPARE(colourLetters(storage), QStringLiteral("kkk......"));
        SH::setErrorForegroundColor(storage, {2, 4}, testStyles());
        QCOMPARE(colourLetters(storage), QStringLiteral("kkeeee..."));
        QCOMPARE(storage.backgroundColorAt(3), SH::lightGreen());
    }
};

QTEST_GUILESS_MAIN(TestSyntaxHighlighter)
#include "tst_syntaxhighlighter.moc"
