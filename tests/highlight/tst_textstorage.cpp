#include "highlight/OLRunList.h"
#include "highlight/OLTextStorage.h"
#include "settings/OLUserDefaults.h"

#include <QRandomGenerator>
#include <QTest>

#include <vector>

namespace {
using Range = OLTextStorage::Range;

const OLColor red{1, 0, 0, 1};
const OLColor green{0, 1, 0, 1};
const OLColor blue{0, 0, 1, 1};

// One value per unit: the plain model the run list must agree with.
std::vector<quint32> expand(const OLRunList &list)
{
    std::vector<quint32> units;
    list.forEach(0, list.length(), [&](qsizetype a, qsizetype b, quint32 v) { units.insert(units.end(), std::size_t(b - a), v); });
    return units;
}

qsizetype changesIn(const std::vector<quint32> &units)
{
    qsizetype runs = units.empty() ? 0 : 1;
    for (std::size_t k = 1; k < units.size(); ++k)
        runs += units[k] != units[k - 1];
    return runs;
}

// Foreground colour of each unit as a letter: r, g, b, or '.' for none.
QString foregroundLetters(const OLTextStorage &storage)
{
    QString letters;
    for (qsizetype i = 0; i < storage.length(); ++i) {
        const auto c = storage.foregroundColorAt(i);
        letters += !c ? u'.' : *c == red ? u'r' : *c == green ? u'g' : *c == blue ? u'b' : u'?';
    }
    return letters;
}
} // namespace

class TestTextStorage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Random assignments and text edits against a value-per-unit model, on
    // texts long enough to need many chunks.
    void runListMatchesModel_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("values");
        QTest::newRow("short, two values") << 1u << 40 << 2;
        QTest::newRow("long, many runs") << 2u << 20000 << 5;
        QTest::newRow("long, few values") << 3u << 5000 << 2;
        QTest::newRow("grows from empty") << 4u << 0 << 3;
    }
    void runListMatchesModel()
    {
        QFETCH(quint32, seed);
        QFETCH(int, length);
        QFETCH(int, values);
        QRandomGenerator rng(seed);
        OLRunList list(length);
        std::vector<quint32> model(std::size_t(length), 0);
        for (int step = 0; step < 3000; ++step) {
            const qsizetype n = qsizetype(model.size());
            const qsizetype from = rng.bounded(n + 1);
            const qsizetype to = from + rng.bounded(qMin<qsizetype>(n - from, step % 10 == 0 ? n : 40) + 1);
            if (rng.bounded(3) == 0) {
                const qsizetype inserted = rng.bounded(30);
                list.replace(from, to, inserted);
                model.erase(model.begin() + from, model.begin() + to);
                model.insert(model.begin() + from, std::size_t(inserted), 0u);
            } else {
                std::vector<OLRunList::Piece> pieces;
                std::vector<quint32> units;
                for (qsizetype pos = from; pos < to;) {
                    const qsizetype len = qMin<qsizetype>(to - pos, 1 + rng.bounded(8));
                    const quint32 v = rng.bounded(values);
                    pieces.push_back({len, v});
                    units.insert(units.end(), std::size_t(len), v);
                    pos += len;
                }
                // The reported range is exactly the units whose value changed.
                qsizetype first = -1, last = -1;
                for (qsizetype k = from; k < to; ++k) {
                    if (model[std::size_t(k)] != units[std::size_t(k - from)]) {
                        if (first < 0)
                            first = k;
                        last = k + 1;
                    }
                }
                const auto changed = list.assign(from, to, pieces);
                if (first < 0)
                    QVERIFY(!changed);
                else
                    QCOMPARE(changed, (OLRunList::Span{first, last}));
                std::copy(units.begin(), units.end(), model.begin() + from);
            }
            QCOMPARE(list.length(), qsizetype(model.size()));
            if (step % 50 == 0 || model.size() < 100) {
                QCOMPARE(expand(list), model);
                QCOMPARE(list.runCount(), changesIn(model));
            }
        }
        QCOMPARE(expand(list), model);
        for (qsizetype k = 0; k < qsizetype(model.size()); k += 7)
            QCOMPARE(list.valueAt(k), model[std::size_t(k)]);
    }

    void forEachClipsToTheRange()
    {
        OLRunList list(10);
        list.assign(2, 5, 1);
        list.assign(5, 8, 2);
        std::vector<std::tuple<qsizetype, qsizetype, quint32>> seen;
        list.forEach(3, 7, [&](qsizetype a, qsizetype b, quint32 v) { seen.emplace_back(a, b, v); });
        const std::vector<std::tuple<qsizetype, qsizetype, quint32>> expected{{3, 5, 1}, {5, 7, 2}};
        QCOMPARE(seen, expected);
    }

    void editShiftsAttributes_data()
    {
        QTest::addColumn<qsizetype>("location");
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("colours");

        // Before the edit: "abcdefgh" coloured "rrggbb.." .
        QTest::newRow("insert before all") << qsizetype(0) << qsizetype(0) << "XY" << "XYabcdefgh" << "..rrggbb..";
        QTest::newRow("insert inside a run") << qsizetype(3) << qsizetype(0) << "X" << "abcXdefgh" << "rrg.gbb..";
        QTest::newRow("delete across runs") << qsizetype(1) << qsizetype(4) << "" << "afgh" << "rb..";
        QTest::newRow("replace a whole run") << qsizetype(2) << qsizetype(2) << "XYZ" << "abXYZefgh" << "rr...bb..";
        QTest::newRow("append at the end") << qsizetype(8) << qsizetype(0) << "!" << "abcdefgh!" << "rrggbb...";
        QTest::newRow("delete everything") << qsizetype(0) << qsizetype(8) << "" << "" << "";
    }
    void editShiftsAttributes()
    {
        QFETCH(qsizetype, location);
        QFETCH(qsizetype, length);
        QFETCH(QString, replacement);
        QFETCH(QString, text);
        QFETCH(QString, colours);
        OLTextStorage storage(QStringLiteral("abcdefgh"));
        storage.setForegroundColor({0, 2}, red);
        storage.setForegroundColor({2, 2}, green);
        storage.setForegroundColor({4, 2}, blue);
        storage.replaceCharacters(location, length, replacement);
        QCOMPARE(storage.string(), text);
        QCOMPARE(foregroundLetters(storage), colours);
    }

    void runsCombineTheAttributes()
    {
        OLTextStorage storage(QStringLiteral("0123456789"));
        storage.setForegroundColor({0, 6}, red);
        storage.setBackgroundColor({4, 4}, blue);
        storage.addFontTraits({5, 5}, OLFontTrait::bold);
        const QList<OLTextStorage::Run> expected{
            {1, 3, red, std::nullopt, 0},
            {4, 1, red, blue, 0},
            {5, 1, red, blue, OLTextStorage::Bold},
            {6, 2, std::nullopt, blue, OLTextStorage::Bold},
            {8, 1, std::nullopt, std::nullopt, OLTextStorage::Bold},
        };
        QCOMPARE(storage.runs(1, 9), expected);
        QVERIFY(storage.runs(3, 3).isEmpty());
    }

    void equalNeighboursMerge()
    {
        OLTextStorage storage(QString(100, u'x'));
        for (qsizetype i = 0; i < 100; i += 2)
            storage.setForegroundColor({i, 1}, red);
        QCOMPARE(storage.attributeRunCount(), 100 + 1 + 1);
        storage.setForegroundColor({0, 100}, red);
        QCOMPARE(storage.attributeRunCount(), 3);
        storage.setForegroundColor({10, 5}, std::nullopt);
        storage.setForegroundColor({10, 5}, red);
        QCOMPARE(storage.attributeRunCount(), 3);
    }

    void fontTraitMask_data()
    {
        QTest::addColumn<quint32>("before");
        QTest::addColumn<qint64>("mask");
        QTest::addColumn<quint32>("after");
        const quint32 italic = OLTextStorage::Italic, bold = OLTextStorage::Bold;
        QTest::newRow("italic added") << 0u << OLFontTrait::italic << italic;
        QTest::newRow("bold added to italic") << italic << OLFontTrait::bold << (italic | bold);
        QTest::newRow("not bold removes bold") << (italic | bold) << OLFontTrait::notBold << italic;
        QTest::newRow("not italic with bold") << italic << (OLFontTrait::notItalic | OLFontTrait::bold) << bold;
        QTest::newRow("empty mask keeps") << bold << qint64(0) << bold;
    }
    void fontTraitMask()
    {
        QFETCH(quint32, before);
        QFETCH(qint64, mask);
        QFETCH(quint32, after);
        OLTextStorage storage(QStringLiteral("abc"));
        storage.addFontTraits({0, 3}, before & OLTextStorage::Italic ? OLFontTrait::italic : 0);
        storage.addFontTraits({0, 3}, before & OLTextStorage::Bold ? OLFontTrait::bold : 0);
        storage.addFontTraits({1, 1}, mask);
        QCOMPARE(storage.fontTraitsAt(0), before);
        QCOMPARE(storage.fontTraitsAt(1), after);
    }

    void removeAllAttributes()
    {
        OLTextStorage storage(QStringLiteral("abcdef"));
        storage.setForegroundColor({0, 3}, red);
        storage.setBackgroundColor({2, 3}, blue);
        storage.addFontTraits({1, 4}, OLFontTrait::italic);
        storage.removeAllAttributes();
        const QList<OLTextStorage::Run> plain{{0, 6, std::nullopt, std::nullopt, 0}};
        QCOMPARE(storage.runs(0, 6), plain);
        QCOMPARE(storage.string(), QStringLiteral("abcdef"));
    }

    void changedRange()
    {
        OLTextStorage storage(QString(50, u'x'));
        QCOMPARE(storage.takeChangedRange(), std::nullopt);

        // Setting what is already there changes nothing.
        storage.setForegroundColor({10, 5}, std::nullopt);
        QCOMPARE(storage.takeChangedRange(), std::nullopt);

        storage.setForegroundColor({10, 5}, red);
        storage.setBackgroundColor({30, 2}, blue);
        QCOMPARE(storage.takeChangedRange(), (Range{10, 22}));
        QCOMPARE(storage.takeChangedRange(), std::nullopt);

        // Only the part that differs counts.
        storage.setForegroundColor({5, 20}, red);
        QCOMPARE(storage.takeChangedRange(), (Range{5, 20}));
        storage.setForegroundColor({0, 25}, red);
        QCOMPARE(storage.takeChangedRange(), (Range{0, 5}));

        // A change after an edit moves with its text; a deletion leaves an
        // empty range at its place.
        storage.setForegroundColor({40, 2}, green);
        storage.replaceCharacters(0, 10, QString());
        QCOMPARE(storage.takeChangedRange(), (Range{0, 32}));
        storage.replaceCharacters(3, 2, QString());
        QCOMPARE(storage.takeChangedRange(), (Range{3, 0}));
        storage.replaceCharacters(3, 0, QStringLiteral("abc"));
        QCOMPARE(storage.takeChangedRange(), (Range{3, 3}));
    }
};

QTEST_GUILESS_MAIN(TestTextStorage)
#include "tst_textstorage.moc"
