#include "highlight/OLSoftBreaks.h"

#include <QTest>

// Where long lines are cut, and the translation of positions around the cuts.
class TestSoftBreaks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void breaksFor_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("before"); // units of the block before and after the insertion
        QTest::addColumn<int>("after");
        QTest::addColumn<QList<qsizetype>>("breaks"); // with pieces of 8 units
        QTest::newRow("a line within twice the piece stays whole") << QString(16, u'x') << 0 << 0 << QList<qsizetype>{};
        QTest::newRow("a longer line is cut in pieces") << QString(17, u'x') << 0 << 0 << QList<qsizetype>{8};
        QTest::newRow("after white space near the cut") << QStringLiteral("aaaaaa bbbbbbbbbb") << 0 << 0 << QList<qsizetype>{7};
        QTest::newRow("into a full block, at once") << QStringLiteral("x") << 16 << 0 << QList<qsizetype>{0};
        QTest::newRow("before the block's rest when it would not fit") << QStringLiteral("xxxx") << 0 << 14 << QList<qsizetype>{4};
        QTest::newRow("each line on its own") << QStringLiteral("xxxxxxxxxx\nyy") << 10 << 0 << QList<qsizetype>{0};
        QTest::newRow("never inside a surrogate pair") << QString(7, u'a') + "\U0001F600" + QString(8, u'b') << 0 << 0
                                                     << QList<qsizetype>{7};
    }
    void breaksFor()
    {
        QFETCH(QString, text);
        QFETCH(int, before);
        QFETCH(int, after);
        QFETCH(QList<qsizetype>, breaks);
        const std::vector<qsizetype> found = OLSoftBreaks::breaksFor(text, before, after, 8);
        QCOMPARE(QList<qsizetype>(found.begin(), found.end()), breaks);
    }

    // "abc|def|gh", the bars soft breaks at document positions 3 and 7.
    void positions()
    {
        OLSoftBreaks soft;
        soft.add(7);
        soft.add(3);
        const QList<std::pair<qsizetype, qsizetype>> documentToText{{0, 0}, {3, 3}, {4, 3}, {7, 6}, {8, 6}, {10, 8}};
        for (const auto &[document, text] : documentToText)
            QCOMPARE(soft.toText(document), text);
        const QList<std::pair<qsizetype, qsizetype>> textToDocument{{2, 2}, {3, 3}, {4, 5}, {6, 7}, {7, 9}};
        for (const auto &[text, document] : textToDocument)
            QCOMPARE(soft.toDocument(text), document);
        soft.replaced(2, 2, 1); // "ab" + one new unit + "def|gh"
        QCOMPARE(soft.count(), 1);
        QVERIFY(soft.isBreakAt(6));
    }
};

QTEST_MAIN(TestSoftBreaks)
#include "tst_softbreaks.moc"
