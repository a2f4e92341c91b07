#include "highlight/OLSoftBreaks.h"
#include "highlighttestsupport.h"

#include <QRandomGenerator>
#include <QTest>

using namespace std::chrono_literals;
using SH = OLSyntaxHighlighter;
using Range = OLTextStorage::Range;

namespace {
const OLColor r = *testStyles().regColor, k = *testStyles().keyColor, s = *testStyles().strColor;

// 0: all distinct; 1: the same with an answer alpha; 2: shared colours and an absent one.
OLStyleSet styleSet(int which)
{
    if (which < 2)
        return testStyles(which == 0 ? 1 : 0.5);
    OLStyleSet s = testStyles();
    s.regColor.reset();
    s.comColor = s.strColor;
    s.errColor = s.keyColor;
    return s;
}

// Pieces of Standard ML and of the things that trip a colourer up.
QString randomText(QRandomGenerator &rng, int count)
{
    static const QStringList fragments{"val", "fun", "let", "in", "end", "fn", "_fn", "xval", "structure", "x", "foo'", "a1",
                                       " ", " ", "  ", "\n", "\n", "\t", "\"", "\"", "(*", "*)", "(", ")", "*", "(*)", "\\\"",
                                       "=>", "[", "]", "42", ";", "\"str\"", "(* c *)", "(* (* n *) *)", QString(QChar(0xA0)),
                                       QString(QChar(0x2028)), "="};
    QString text;
    for (int i = 0; i < count; ++i)
        text += fragments.at(rng.bounded(fragments.size()));
    return text;
}
} // namespace

// The colouring of the text, and the attributes and pieces it is held in.
class TestSyntaxHighlighter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each unit's colour after colouring the range of an uncoloured text
    // (length -1: the whole), with both passes at once and one after the other.
    void highlightSyntax()
    {
        const struct { QString text; qsizetype location, length; const char *expected; } rows[] = {
            {"val x", 2, 0, "....."}, // an empty range inside
            {"val' [val]", 0, -1, "rrrrrrrrrr"}, // keyword with apostrophe, after a bracket
            {"_fn", 0, -1, "rkk"},
            {QString::fromUtf16(u"let;in,end\u00A0fun\u2028in VAL"), 0, -1, "kkkrkkrkkkrkkkrkkrrrr"}, // keywords among separators
            {"xval", 1, 3, ".kkk"}, // the inner part of a longer word
            {"valx = 1", 0, 3, "kkk....."}, // a keyword cut at the end
            {"(*) val *)", 0, -1, "cccrkkkrrr"}, // an opener followed by ), a closer after the comment
            {"(* a (* b *) c *) d", 0, -1, "cccccccccccccccccrr"},
            {"(*(*)", 0, -1, "eeeee"}, // a comment opener inside an opener
            {"\"ab val", 0, 3, "eeeeeee"}, // an unterminated string past the range
            {"\"a\\\"b\"", 0, -1, "ssssre"}, // backslash does not escape
            {"\"(*\" x", 0, -1, "ssssrr"},
            {"\"a\nb\" val", 0, -1, "sssssrkkk"},
            {"val\"x\"val(*c*)val", 0, -1, "rrrsssrrrccccckkk"}, // keywords glued to a string or after a comment
            {"\"abc\" x", 4, 3, "....eee"}, // a string opened before the range
            {"x \"a\" y (*b*) z", 0, 5, "rrsss...ccccc.."}, // strings and comments after the range
            {"x (* y *)", 0, 3, "rrr......"}, // an opener straddling the range end
        };
        for (const auto &[text, location, length, expected] : rows) {
            const Range range{location, length < 0 ? text.size() : length};
            OLTextStorage storage(text), passes(text);
            SH::highlightSyntaxFor(storage, range, testStyles());
            SH::highLigthKeyWords(passes, range, testStyles());
            SH::highlightStringsAndComments(passes, range, testStyles());
            QVERIFY2(colourLetters(storage) == QLatin1String(expected) && colourLetters(passes) == QLatin1String(expected) && storage.string() == text, qPrintable(text));
        }
    }

    // The colouring of the rest of a text is kept up to date incrementally:
    // after random edits, moves of the rest's start, style changes, sliced
    // colouring and other foreground writes, the rest is coloured as the
    // plain passes colour it.
    void incrementalAgreesWithThePlainPasses_data()
    {
        QTest::addColumn<quint32>("seed"); // long texts from 100 on
        for (quint32 seed = 1; seed <= 60; ++seed)
            QTest::addRow("short text, seed %u", seed) << seed;
        for (quint32 seed = 100; seed <= 110; ++seed)
            QTest::addRow("long text, seed %u", seed) << seed;
    }
    void incrementalAgreesWithThePlainPasses()
    {
        QFETCH(quint32, seed);
        QRandomGenerator rng(seed);
        OLTextStorage storage(randomText(rng, seed < 100 ? 30 : 3000));
        OLStyleSet styles = styleSet(0);
        qsizetype location = 0;
        for (int step = 0; step < 300; ++step) {
            // An edit: mostly a few units, sometimes a large stretch.
            const qsizetype at = rng.bounded(storage.length() + 1);
            const qsizetype removed = rng.bounded(qMin<qsizetype>(storage.length() - at, rng.bounded(10) == 0 ? storage.length() : 4) + 1);
            storage.replaceCharacters(at, removed, randomText(rng, rng.bounded(3)));
            // The rest's start mostly kept, sometimes moved, as the editor's evaluated part moves.
            const int move = rng.bounded(8);
            location = move == 0 ? rng.bounded(storage.length() + 1) : move == 1 ? 0 : qMin(location, storage.length());
            if (rng.bounded(20) == 0)
                styles = styleSet(rng.bounded(3));
            qsizetype settled = storage.length();
            if (rng.bounded(3) == 0) {
                // Sliced: right before `settled` at once, the rest after the slices (now, or left pending).
                settled = location + rng.bounded(storage.length() - location + 1);
                SH::beginHighlightSyntax(storage, location, styles, settled, 0ns);
                for (const bool finish = rng.bounded(2); finish && SH::hasPendingHighlight(storage);)
                    SH::continueHighlightSyntax(storage, 0ns);
                settled = SH::hasPendingHighlight(storage) ? settled : storage.length();
            } else {
                SH::highlightSyntaxFor(storage, {location, storage.length() - location}, styles);
            }
            QCOMPARE(colourLetters(storage, location, settled), plainColours(storage.string(), location, styles).first(settled - location));
            // Other writers between edits: a range in the middle, an error colour, or a reset.
            const qsizetype a = rng.bounded(storage.length() + 1);
            const Range middle{a, rng.bounded(storage.length() - a + 1)};
            switch (rng.bounded(10)) {
            case 0: SH::highlightSyntaxFor(storage, middle, styleSet(rng.bounded(3))); break;
            case 1: SH::setErrorForegroundColor(storage, middle, styles); break;
            case 2: storage.removeAllAttributes(); break;
            }
        }
        SH::highlightSyntaxFor(storage, {location, storage.length() - location}, styles);
        QCOMPARE(colourLetters(storage, location), plainColours(storage.string(), location, styles));
    }

    // An edit right before a checkpoint (one follows 256 units, after a
    // separator) leaves it holding a comment that is gone.
    void editBeforeACheckpoint()
    {
        OLTextStorage storage(QString(255, u'x') + "(*y*) val z");
        SH::highlightSyntaxFor(storage, {0, storage.length()}, testStyles());
        storage.replaceCharacters(255, 1, QString());
        SH::highlightSyntaxFor(storage, {0, storage.length()}, testStyles());
        QCOMPARE(colourLetters(storage), plainColours(storage.string(), 0));
    }

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
                    u = op == 4 ? Unit() : Unit{op == 1 ? colour : u.fg, op == 2 ? colour : u.bg, op == 3 ? (u.traits | added) & ~removed : u.traits};
                    if (u != before[std::size_t(i - lo)]) {
                        first = qMin(first, i);
                        end = qMax(end, i + 1);
                    }
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

    // A soft break never falls inside a surrogate pair.
    void softBreakKeepsSurrogatePairs()
    {
        QCOMPARE(OLSoftBreaks::breaksFor(QString(7, u'a') + "\U0001F600" + QString(8, u'b'), 0, 0, 8), std::vector<qsizetype>{7});
    }
};

QTEST_GUILESS_MAIN(TestSyntaxHighlighter)
#include "tst_syntaxhighlighter.moc"
