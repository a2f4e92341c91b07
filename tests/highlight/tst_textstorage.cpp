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
    // Random writes of each attribute and edits, on texts long enough for
    // many chunks, against one set of attributes per unit: the runs of a
    // range, and what each write reports as changed.
    void attributesMatchAModel()
    {
        using namespace OLFontTrait;
        struct Unit {
            std::optional<OLColor> fg, bg;
            quint32 traits = 0;
            bool operator==(const Unit &) const = default;
        };
        const std::optional<OLColor> colours[] = {std::nullopt, r, k, s};
        const quint32 I = OLTextStorage::Italic, B = OLTextStorage::Bold;
        const std::tuple<qint64, quint32, quint32> masks[] = {{italic, I, 0}, {bold | notItalic, B, I}, {notBold, 0, B}, {italic | bold, I | B, 0}}; // added, removed
        for (const auto &[seed, length] : {std::pair(1u, 40), std::pair(2u, 20000), std::pair(4u, 0)}) { // short, many chunks, from empty
            QRandomGenerator rng(seed);
            OLTextStorage storage(QString(length, u'x'));
            std::vector<Unit> model(static_cast<std::size_t>(length));
            for (int step = 0; step < 3000; ++step) {
                const qsizetype n = storage.length(), from = rng.bounded(n + 1);
                const qsizetype to = from + rng.bounded(qMin<qsizetype>(n - from, step % 10 == 0 ? n : 40) + 1);
                const int op = rng.bounded(step % 100 == 99 ? 5 : 4); // 4: all attributes removed
                const qsizetype lo = op == 4 ? 0 : from, hi = op == 4 ? n : to;
                const std::vector<Unit> before(model.begin() + lo, model.begin() + hi);
                const auto &colour = colours[rng.bounded(4)];
                const auto &[mask, added, removed] = masks[rng.bounded(4)];
                storage.takeChangedRange();
                switch (op) {
                case 0: {
                    const qsizetype inserted = rng.bounded(30);
                    storage.replaceCharacters(from, to - from, QString(inserted, u'y'));
                    model.erase(model.begin() + from, model.begin() + to);
                    model.insert(model.begin() + from, std::size_t(inserted), Unit());
                    continue;
                }
                case 1: storage.setForegroundColor({from, to - from}, colour); break;
                case 2: storage.setBackgroundColor({from, to - from}, colour); break;
                case 3: storage.addFontTraits({from, to - from}, mask); break;
                case 4: storage.removeAllAttributes(); break;
                }
                qsizetype first = op == 4 ? 0 : n, end = op == 4 ? n : 0; // a reset reports all of it
                for (qsizetype i = lo; i < hi; ++i) {
                    Unit &u = model[std::size_t(i)];
                    op == 1 ? void(u.fg = colour) : op == 2 ? void(u.bg = colour) : op == 3 ? void(u.traits = (u.traits | added) & ~removed) : void(u = Unit());
                    if (u != before[std::size_t(i - lo)])
                        first = qMin(first, i), end = qMax(end, i + 1);
                }
                const Range changed = op == 4 || first < end ? Range{first, end - first} : Range{-1, 0}, taken = storage.takeChangedRange().value_or(Range{-1, 0});
                const qsizetype a = rng.bounded(n + 1), b = a + rng.bounded(qMin<qsizetype>(n - a, step % 50 ? 100 : n) + 1);
                QList<OLTextStorage::Run> runs;
                for (qsizetype i = a; i < b; ++i) {
                    const Unit &u = model[std::size_t(i)];
                    if (runs.isEmpty() || Unit{runs.last().foreground, runs.last().background, runs.last().fontTraits} != u)
                        runs.append({i, 0, u.fg, u.bg, u.traits});
                    ++runs.last().length;
                }
                QVERIFY2(taken.location == changed.location && taken.length == changed.length && storage.runs(a, b) == runs && storage.length() == n, qPrintable(QString::number(step)));
            }
        }
    }

    // Changes until they are taken add up, and move with the text; a
    // deletion leaves an empty range at its place.
    void changedRangeFollowsEdits()
    {
        OLTextStorage storage(QString(50, u'x'));
        storage.setForegroundColor({10, 5}, r);
        storage.setBackgroundColor({40, 2}, s);
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
