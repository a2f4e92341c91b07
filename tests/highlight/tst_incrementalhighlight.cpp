// The colouring of a range that reaches the end of the text is kept up to date
// incrementally. These tests hold it against the plain passes, run one after
// the other over the same range of an identical storage: after any sequence
// of edits, moves of the range's start, style changes, sliced colouring and
// other foreground writes, the two must agree unit for unit.

#include "highlighttestsupport.h"

#include <QRandomGenerator>
#include <QTest>

#include <chrono>

using namespace std::chrono_literals;

namespace {
using Range = OLTextStorage::Range;
using SH = OLSyntaxHighlighter;

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
const QStringList fragments{"val", "fun", "let", "in", "end", "fn", "_fn", "xval", "structure", "x", "foo'", "a1",
                            " ", " ", "  ", "\n", "\n", "\t", "\"", "\"", "(*", "*)", "(", ")", "*", "(*)", "\\\"",
                            "=>", "[", "]", "42", ";", "\"str\"", "(* c *)", "(* (* n *) *)", QString(QChar(0xA0)),
                            QString(QChar(0x2028)), "="};

QString randomText(QRandomGenerator &rng, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += fragments.at(rng.bounded(fragments.size()));
    return text;
}

// The incremental storage (`sut`) and the plain one (`ref`), driven alike.
// Work that a sliced colouring leaves pending is done on the text as it is
// when it is done; the plain side does it before its next colouring or write.
struct Pair {
    OLTextStorage sut;
    OLTextStorage ref;
    std::optional<std::pair<qsizetype, OLStyleSet>> owed; // where the pending colouring starts, and how

    explicit Pair(const QString &text) : sut(text), ref(text) {}
    qsizetype length() const { return sut.length(); }
    void edit(qsizetype location, qsizetype length, const QString &text)
    {
        sut.replaceCharacters(location, length, text);
        ref.replaceCharacters(location, length, text);
        // The owed colouring starts where its first unit went.
        if (owed && location < owed->first)
            owed->first = location + length > owed->first ? location : owed->first + text.size() - length;
    }
    void payOwed()
    {
        if (owed)
            plainPasses({owed->first, ref.length() - owed->first}, owed->second);
        owed.reset();
    }
    void plainPasses(Range range, const OLStyleSet &styles)
    {
        SH::highLigthKeyWords(ref, range, styles);
        SH::highlightStringsAndComments(ref, range, styles);
    }
    void highlight(Range range, const OLStyleSet &styles)
    {
        SH::highlightSyntaxFor(sut, range, styles);
        if (range.length > 0)
            payOwed();
        plainPasses(range, styles);
    }
    void sliced(qsizetype location, const OLStyleSet &styles, qsizetype settled)
    {
        SH::beginHighlightSyntax(sut, location, styles, settled, 0ns);
        if (location == ref.length())
            return; // an empty range: nothing changes
        payOwed();
        plainPasses({location, ref.length() - location}, styles);
        if (SH::hasPendingHighlight(sut))
            owed = {location, styles};
    }
    void finishSlices()
    {
        while (SH::hasPendingHighlight(sut))
            SH::continueHighlightSyntax(sut, 0ns);
        payOwed();
    }
};
} // namespace

// [0, to) of both agrees (no other attribute is set, so equal runs are equal colours).
#define AGREE(p, to) \
    do { \
        if ((p).sut.runs(0, (to)) != (p).ref.runs(0, (to))) \
            QCOMPARE(colourLetters((p).sut, 0, (to)), colourLetters((p).ref, 0, (to))); \
    } while (false)

class TestIncrementalHighlight : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Random texts, random edits, each followed by a colouring to the end as
    // the panes do after every change, with random other operations between.
    void agreesWithThePlainPasses_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("fragmentsCount");
        for (quint32 seed = 1; seed <= 60; ++seed)
            QTest::addRow("short text, seed %u", seed) << seed << 30;
        for (quint32 seed = 100; seed <= 110; ++seed)
            QTest::addRow("long text, seed %u", seed) << seed << 3000;
    }
    void agreesWithThePlainPasses()
    {
        QFETCH(quint32, seed);
        QFETCH(int, fragmentsCount);
        QRandomGenerator rng(seed);
        Pair p(randomText(rng, fragmentsCount));
        int styles = 0;
        qsizetype location = 0;
        p.highlight({0, p.length()}, styleSet(styles));
        AGREE(p, p.length());

        for (int step = 0; step < 300; ++step) {
            // An edit: mostly a few units, sometimes a large stretch.
            const qsizetype at = rng.bounded(p.length() + 1);
            const qsizetype removed = rng.bounded(qMin<qsizetype>(p.length() - at, rng.bounded(10) == 0 ? p.length() : 4) + 1);
            p.edit(at, removed, randomText(rng, rng.bounded(3)));

            // Where the colouring starts: mostly kept, sometimes moved, as the
            // evaluated prefix of the editor moves.
            const int move = rng.bounded(8);
            location = move == 0 ? rng.bounded(p.length() + 1) : move == 1 ? 0 : qMin(location, p.length());
            if (rng.bounded(20) == 0)
                styles = rng.bounded(3);
            const Range rest{location, p.length() - location};

            if (rng.bounded(3) == 0) {
                // Sliced: the part before `settled` is right at once, the rest after the slices.
                const qsizetype settled = location + rng.bounded(rest.length + 1);
                p.sliced(location, styleSet(styles), settled);
                if (location < p.length()) // an empty range leaves earlier slices pending
                    AGREE(p, settled);
                if (rng.bounded(2) == 0) {
                    p.finishSlices();
                    AGREE(p, p.length());
                } // otherwise the slices stay pending into what follows
            } else {
                p.highlight(rest, styleSet(styles));
                if (!SH::hasPendingHighlight(p.sut)) // an empty range leaves earlier slices pending
                    AGREE(p, p.length());
            }

            // Other writers between edits: a range in the middle, an error
            // colour (both complete pending slices first), or a reset.
            const qsizetype a = rng.bounded(p.length() + 1);
            const Range middle{a, rng.bounded(p.length() - a + 1)};
            switch (rng.bounded(10)) {
            case 0:
                p.highlight(middle, styleSet(rng.bounded(3)));
                break;
            case 1:
                SH::setErrorForegroundColor(p.sut, middle, styleSet(styles));
                p.payOwed();
                SH::setErrorForegroundColor(p.ref, middle, styleSet(styles));
                break;
            case 2:
                p.sut.removeAllAttributes();
                p.ref.removeAllAttributes();
                p.owed.reset();
                break;
            default:
                continue;
            }
            if (!SH::hasPendingHighlight(p.sut))
                AGREE(p, p.length());
        }
        p.finishSlices();
        AGREE(p, p.length());
        p.highlight({location, p.length() - location}, styleSet(styles));
        AGREE(p, p.length());
    }

    // Typing into a long text what changes the colour of all the rest: the
    // front is right at once, and the slices, each reporting what it changed,
    // finish the rest.
    void slicedColouring_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("sliced");
        // The comments after it nest, so the rest becomes one unterminated
        // comment: one cheap scan, nothing left for later.
        QTest::newRow("comment opener") << QString() << "(*" << false;
        QTest::newRow("quote") << QString() << "\"" << true;
        QTest::newRow("closing the opener, (*)") << "(*" << ")" << true;
    }
    void slicedColouring()
    {
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QFETCH(bool, sliced);
        QString text;
        for (int i = 0; i < 3000; ++i)
            text += QStringLiteral("val x%1 = \"s\" (* note *) fun f y = y\n").arg(i);
        const qsizetype middle = text.indexOf(QStringLiteral("val x1500"));
        text.insert(middle, before);
        Pair p(text);
        p.highlight({0, p.length()}, testStyles());
        p.sut.takeChangedRange();

        p.edit(middle + before.size(), 0, typed);
        p.plainPasses({0, p.length()}, testStyles());
        const qsizetype visibleEnd = middle + 2000;
        const auto first = SH::beginHighlightSyntax(p.sut, 0, testStyles(), visibleEnd, 0ns);
        AGREE(p, visibleEnd);
        QVERIFY(first);
        QVERIFY(first->location <= middle + before.size());
        QVERIFY(first->end() >= visibleEnd);
        QCOMPARE(SH::hasPendingHighlight(p.sut), sliced);

        int slices = 0;
        qsizetype reached = first->end();
        for (; SH::hasPendingHighlight(p.sut); ++slices) {
            // A slice that stops inside a string changes nothing yet; slices
            // move forward and leave the settled front alone.
            if (const auto slice = SH::continueHighlightSyntax(p.sut, 0ns)) {
                QVERIFY(slice->location >= reached);
                reached = slice->end();
            }
        }
        QCOMPARE(slices > 1, sliced);
        QCOMPARE(reached, p.length());
        AGREE(p, p.length());
    }

    // Colouring the same text again finds nothing to do, and a one-unit edit
    // changes only what that unit affects.
    void editChangesOnlyItsNeighbourhood()
    {
        OLTextStorage storage(QStringLiteral("val x = \"s\" (* c *)\n").repeated(2000));
        SH::highlightSyntaxFor(storage, {0, storage.length()}, testStyles());
        storage.takeChangedRange();
        SH::highlightSyntaxFor(storage, {0, storage.length()}, testStyles());
        QCOMPARE(storage.takeChangedRange(), std::nullopt);
        // "val" becomes "vl", no keyword.
        const qsizetype at = 1000 * 20 + 1;
        storage.replaceCharacters(at, 1, QString());
        storage.takeChangedRange();
        SH::highlightSyntaxFor(storage, {0, storage.length()}, testStyles());
        QCOMPARE(storage.takeChangedRange(), (Range{at - 1, 2}));
    }

    // A checkpoint follows each 256 units or so, after a separator; the
    // scan looks one unit past it. Deleting the "(" of "(*" just before one
    // leaves the checkpoint at the edit, holding a comment that is gone.
    void editRightBeforeACheckpoint()
    {
        Pair p(QString(255, u'x') + QStringLiteral("(*y*) val z"));
        p.highlight({0, p.length()}, testStyles());
        p.edit(255, 1, QString());
        p.highlight({0, p.length()}, testStyles());
        AGREE(p, p.length());
    }
};

QTEST_GUILESS_MAIN(TestIncrementalHighlight)
#include "tst_incrementalhighlight.moc"
