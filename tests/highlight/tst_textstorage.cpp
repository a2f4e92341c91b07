#include "highlight/OLRunList.h"
#include "highlight/OLTextStorage.h"
#include "highlighttestsupport.h"

#include <QRandomGenerator>
#include <QTest>

#include <vector>

namespace {
using Range = OLTextStorage::Range;
const OLColor r = *testStyles().regColor, k = *testStyles().keyColor, s = *testStyles().strColor;

// One value per unit: the plain model the run list must agree with.
std::vector<quint32> expand(const OLRunList &list)
{
    std::vector<quint32> units;
    list.forEach(0, list.length(), [&](qsizetype a, qsizetype b, quint32 v) { units.insert(units.end(), std::size_t(b - a), v); });
    return units;
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
                for (qsizetype pos = from; pos < to; pos += pieces.back().length) {
                    pieces.push_back({qMin<qsizetype>(to - pos, 1 + rng.bounded(8)), quint32(rng.bounded(values))});
                    units.insert(units.end(), std::size_t(pieces.back().length), pieces.back().value);
                }
                // The reported range is exactly the units whose value changed.
                qsizetype first = -1, last = -1;
                for (qsizetype i = from; i < to; ++i) {
                    if (model[std::size_t(i)] != units[std::size_t(i - from)]) {
                        first = first < 0 ? i : first;
                        last = i + 1;
                    }
                }
                const auto changed = list.assign(from, to, pieces);
                QCOMPARE(changed, first < 0 ? std::nullopt : std::optional(OLRunList::Span{first, last}));
                std::copy(units.begin(), units.end(), model.begin() + from);
            }
            QCOMPARE(list.length(), qsizetype(model.size()));
            if (step % 50 == 0 || model.size() < 100) {
                QCOMPARE(expand(list), model);
                qsizetype runs = model.empty() ? 0 : 1;
                for (std::size_t i = 1; i < model.size(); ++i)
                    runs += model[i] != model[i - 1];
                QCOMPARE(list.runCount(), runs);
            }
        }
        QCOMPARE(expand(list), model);
        for (qsizetype i = 0; i < qsizetype(model.size()); i += 7)
            QCOMPARE(list.valueAt(i), model[std::size_t(i)]);
    }

    void editShiftsAttributes_data()
    {
        QTest::addColumn<qsizetype>("location");
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("colours");
        // Before the edit: "abcdefgh" coloured "rrkkss..".
        QTest::newRow("insert inside a run") << qsizetype(3) << qsizetype(0) << "X" << "abcXdefgh" << "rrk.kss..";
        QTest::newRow("delete across runs") << qsizetype(1) << qsizetype(4) << "" << "afgh" << "rs..";
        QTest::newRow("replace a whole run") << qsizetype(2) << qsizetype(2) << "XYZ" << "abXYZefgh" << "rr...ss..";
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
        storage.setForegroundColor({0, 2}, r);
        storage.setForegroundColor({2, 2}, k);
        storage.setForegroundColor({4, 2}, s);
        storage.replaceCharacters(location, length, replacement);
        QCOMPARE(storage.string(), text);
        QCOMPARE(colourLetters(storage), colours);
    }

    // Runs are clipped to the asked range; removing all attributes leaves the text.
    void runsCombineTheAttributes()
    {
        OLTextStorage storage(QStringLiteral("0123456789"));
        storage.setForegroundColor({0, 6}, r);
        storage.setBackgroundColor({4, 4}, s);
        storage.addFontTraits({5, 5}, OLFontTrait::bold);
        const QList<OLTextStorage::Run> expected{{1, 3, r, std::nullopt, 0}, {4, 1, r, s, 0},
                                                {5, 1, r, s, OLTextStorage::Bold}, {6, 2, std::nullopt, s, OLTextStorage::Bold},
                                                {8, 1, std::nullopt, std::nullopt, OLTextStorage::Bold}};
        QCOMPARE(storage.runs(1, 9), expected);
        QVERIFY(storage.runs(3, 3).isEmpty());
        storage.removeAllAttributes();
        QCOMPARE(storage.runs(0, 10), (QList<OLTextStorage::Run>{{0, 10, std::nullopt, std::nullopt, 0}}));
        QCOMPARE(storage.string(), QStringLiteral("0123456789"));
    }

    void fontTraitMask_data()
    {
        QTest::addColumn<qint64>("before");
        QTest::addColumn<qint64>("mask");
        QTest::addColumn<quint32>("after");
        using namespace OLFontTrait;
        const quint32 I = OLTextStorage::Italic, B = OLTextStorage::Bold;
        QTest::newRow("italic added") << qint64(0) << italic << I;
        QTest::newRow("not bold removes bold") << (italic | bold) << notBold << I;
        QTest::newRow("not italic with bold") << italic << (notItalic | bold) << B;
    }
    void fontTraitMask()
    {
        QFETCH(qint64, before);
        QFETCH(qint64, mask);
        QFETCH(quint32, after);
        OLTextStorage storage(QStringLiteral("abc"));
        storage.addFontTraits({0, 3}, before);
        storage.addFontTraits({1, 1}, mask);
        const quint32 unchanged = (before & OLFontTrait::italic ? quint32(OLTextStorage::Italic) : 0u) | (before & OLFontTrait::bold ? quint32(OLTextStorage::Bold) : 0u);
        QCOMPARE(storage.fontTraitsAt(0), unchanged);
        QCOMPARE(storage.fontTraitsAt(1), after);
    }

    void changedRange()
    {
        OLTextStorage storage(QString(50, u'x'));
        QCOMPARE(storage.takeChangedRange(), std::nullopt);
        // Setting what is already there changes nothing.
        storage.setForegroundColor({10, 5}, std::nullopt);
        QCOMPARE(storage.takeChangedRange(), std::nullopt);
        storage.setForegroundColor({10, 5}, r);
        storage.setBackgroundColor({30, 2}, s);
        QCOMPARE(storage.takeChangedRange(), (Range{10, 22}));
        QCOMPARE(storage.takeChangedRange(), std::nullopt);
        // Only the part that differs counts.
        storage.setForegroundColor({5, 20}, r);
        QCOMPARE(storage.takeChangedRange(), (Range{5, 20}));
        storage.setForegroundColor({0, 25}, r);
        QCOMPARE(storage.takeChangedRange(), (Range{0, 5}));
        // A change moves with its text; a deletion leaves an empty range at its place.
        storage.setForegroundColor({40, 2}, k);
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
