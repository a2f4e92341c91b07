#include "highlight/OLRunList.h"
#include "highlight/OLSoftBreaks.h"
#include "highlighttestsupport.h"

#include <QRandomGenerator>
#include <QTest>

namespace {
using Range = OLTextStorage::Range;
const OLColor r = *testStyles().regColor, k = *testStyles().keyColor, s = *testStyles().strColor;
} // namespace

// The attribute runs of a text, and the pieces its long lines are held in.
class TestTextStorage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Random assignments and edits, on lists long enough for many chunks,
    // against one value per unit; an assignment reports exactly what it changed.
    void runListMatchesModel()
    {
        for (const auto &[seed, length] : {std::pair(1u, 40), std::pair(2u, 20000), std::pair(4u, 0)}) { // short, many chunks, from empty
            QRandomGenerator rng(seed);
            OLRunList list(length);
            std::vector<quint32> model(std::size_t(length), 0);
            for (int step = 0; step < 3000; ++step) {
                const qsizetype n = qsizetype(model.size()), from = rng.bounded(n + 1);
                const qsizetype to = from + rng.bounded(qMin<qsizetype>(n - from, step % 10 == 0 ? n : 40) + 1);
                if (rng.bounded(3) == 0) {
                    const qsizetype inserted = rng.bounded(30);
                    list.replace(from, to, inserted);
                    model.erase(model.begin() + from, model.begin() + to);
                    model.insert(model.begin() + from, std::size_t(inserted), 0u);
                } else {
                    std::vector<OLRunList::Piece> pieces;
                    std::optional<OLRunList::Span> changed;
                    for (qsizetype pos = from; pos < to; pos += pieces.back().length) {
                        pieces.push_back({qMin<qsizetype>(to - pos, 1 + rng.bounded(8)), quint32(rng.bounded(3))});
                        for (qsizetype i = pos; i < pos + pieces.back().length; ++i) {
                            if (std::exchange(model[std::size_t(i)], pieces.back().value) != pieces.back().value)
                                changed = OLRunList::Span{changed ? changed->from : i, i + 1};
                        }
                    }
                    QVERIFY(list.assign(from, to, pieces) == changed);
                }
                if (step % 50 && model.size() > 100 && step < 2999)
                    continue;
                std::vector<quint32> units;
                list.forEach(0, list.length(), [&](qsizetype a, qsizetype b, quint32 v) { units.insert(units.end(), std::size_t(b - a), v); });
                qsizetype runs = model.empty() ? 0 : 1;
                for (std::size_t i = 1; i < model.size(); ++i)
                    runs += model[i] != model[i - 1];
                QVERIFY2(units == model && list.runCount() == runs && (model.empty() || list.valueAt(qsizetype(model.size() / 2)) == model[model.size() / 2]), qPrintable(QString::number(step)));
            }
        }
    }

    // Before each edit: "abcdefgh" coloured "rrkkss..". Runs are clipped to
    // the range asked for; removing all attributes leaves the text.
    void attributes()
    {
        for (const auto &[at, removed, inserted, expected] : {std::tuple(3, 0, "X", "abcXdefgh|rrk.kss.."), std::tuple(1, 4, "", "afgh|rs.."), std::tuple(2, 2, "XYZ", "abXYZefgh|rr...ss..")}) {
            OLTextStorage storage(QStringLiteral("abcdefgh"));
            storage.setForegroundColor({0, 2}, r);
            storage.setForegroundColor({2, 2}, k);
            storage.setForegroundColor({4, 2}, s);
            storage.replaceCharacters(at, removed, QString::fromLatin1(inserted));
            QCOMPARE(storage.string() + u'|' + colourLetters(storage), QLatin1String(expected));
        }
        OLTextStorage storage(QStringLiteral("0123456789"));
        storage.setForegroundColor({0, 6}, r);
        storage.setBackgroundColor({4, 4}, s);
        storage.addFontTraits({5, 5}, OLFontTrait::bold);
        const quint32 B = OLTextStorage::Bold;
        QCOMPARE(storage.runs(1, 9), (QList<OLTextStorage::Run>{{1, 3, r, std::nullopt, 0}, {4, 1, r, s, 0}, {5, 1, r, s, B},
                                                                 {6, 2, std::nullopt, s, B}, {8, 1, std::nullopt, std::nullopt, B}}));
        QVERIFY(storage.runs(3, 3).isEmpty());
        storage.removeAllAttributes();
        QCOMPARE(storage.runs(0, 10), (QList<OLTextStorage::Run>{{0, 10, std::nullopt, std::nullopt, 0}}));
        QCOMPARE(storage.string(), QStringLiteral("0123456789"));
    }

    // A mask adds traits and takes away those it says "not".
    void fontTraitMask()
    {
        using namespace OLFontTrait;
        const quint32 I = OLTextStorage::Italic, B = OLTextStorage::Bold;
        for (const auto &[before, mask, after] : {std::tuple(qint64(0), qint64(italic), I), std::tuple(italic | bold, notBold, I), std::tuple(italic, notItalic | bold, B)}) {
            OLTextStorage storage(QStringLiteral("abc"));
            storage.addFontTraits({0, 3}, before);
            storage.addFontTraits({1, 1}, mask);
            QCOMPARE(storage.fontTraitsAt(1), after);
        }
    }

    // Only units whose attributes differ count; a change moves with its text,
    // a deletion leaves an empty range at its place.
    void changedRange()
    {
        OLTextStorage storage(QString(50, u'x'));
        QCOMPARE(storage.takeChangedRange(), std::nullopt);
        storage.setForegroundColor({10, 5}, std::nullopt);
        QCOMPARE(storage.takeChangedRange(), std::nullopt);
        storage.setForegroundColor({10, 5}, r);
        storage.setBackgroundColor({30, 2}, s);
        QCOMPARE(storage.takeChangedRange(), (Range{10, 22}));
        storage.setForegroundColor({0, 25}, r);
        QCOMPARE(storage.takeChangedRange(), (Range{0, 25}));
        storage.setForegroundColor({40, 2}, k);
        storage.replaceCharacters(0, 10, QString());
        QCOMPARE(storage.takeChangedRange(), (Range{0, 32}));
        storage.replaceCharacters(3, 2, QString());
        QCOMPARE(storage.takeChangedRange(), (Range{3, 0}));
    }

    // Soft breaks, with pieces of 8 units, in text inserted between `before` and `after` units of its block.
    void softBreaksFor()
    {
        const struct { QString text; int before, after; QList<qsizetype> breaks; } rows[] = {
            {QString(16, u'x'), 0, 0, {}}, // a line within twice the piece stays whole
            {QString(17, u'x'), 0, 0, {8}},
            {"aaaaaa bbbbbbbbbb", 0, 0, {7}}, // after white space near the cut
            {"x", 16, 0, {0}}, // into a full block, at once
            {"xxxx", 0, 14, {4}}, // before the block's rest when it would not fit
            {"xxxxxxxxxx\nyy", 10, 0, {0}}, // each line on its own
            {QString(7, u'a') + "\U0001F600" + QString(8, u'b'), 0, 0, {7}}, // never inside a surrogate pair
        };
        for (const auto &[text, before, after, breaks] : rows) {
            const std::vector<qsizetype> found = OLSoftBreaks::breaksFor(text, before, after, 8);
            QCOMPARE(QList<qsizetype>(found.begin(), found.end()), breaks);
        }
    }
};

QTEST_GUILESS_MAIN(TestTextStorage)
#include "tst_textstorage.moc"
