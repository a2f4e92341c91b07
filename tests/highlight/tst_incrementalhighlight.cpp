// The colouring of a range that reaches the end of the text is kept up to date
// incrementally. These tests hold it against the plain passes, run one after
// the other over the same range of an identical storage: after any sequence
// of edits, moves of the range's start, style changes, sliced colouring and
// other foreground writes, the two must agree unit for unit.

#include "highlight/OLSyntaxHighlighter.h"

#include <QRandomGenerator>
#include <QTest>

#include <chrono>

using namespace std::chrono_literals;

namespace {
using Range = OLTextStorage::Range;

OLStyleSet styleSet(int which)
{
    OLStyleSet s;
    switch (which) {
    case 0: // all distinct
        s.regColor = OLColor{0.1, 0.1, 0.1, 1};
        s.keyColor = OLColor{0.2, 0.2, 0.2, 1};
        s.strColor = OLColor{0.3, 0.3, 0.3, 1};
        s.comColor = OLColor{0.4, 0.4, 0.4, 1};
        s.errColor = OLColor{0.5, 0.5, 0.5, 1};
        break;
    case 1: // the same colours with an answer alpha
        s.regColor = OLColor{0.1, 0.1, 0.1, 0.5};
        s.keyColor = OLColor{0.2, 0.2, 0.2, 0.5};
        s.strColor = OLColor{0.3, 0.3, 0.3, 0.5};
        s.comColor = OLColor{0.4, 0.4, 0.4, 0.5};
        s.errColor = OLColor{0.5, 0.5, 0.5, 0.5};
        break;
    default: // shared colours and an absent one
        s.keyColor = OLColor{0.2, 0.2, 0.2, 1};
        s.strColor = OLColor{0.3, 0.3, 0.3, 1};
        s.comColor = OLColor{0.3, 0.3, 0.3, 1};
        s.errColor = OLColor{0.2, 0.2, 0.2, 1};
        break;
    }
    return s;
}

// Pieces of Standard ML and of the things that trip a colourer up.
const QStringList fragments{
    QStringLiteral("val"), QStringLiteral("fun"), QStringLiteral("let"), QStringLiteral("in"),
    QStringLiteral("end"), QStringLiteral("fn"), QStringLiteral("_fn"), QStringLiteral("xval"),
    QStringLiteral("structure"), QStringLiteral("x"), QStringLiteral("foo'"), QStringLiteral("a1"),
    QStringLiteral(" "), QStringLiteral(" "), QStringLiteral("  "), QStringLiteral("\n"), QStringLiteral("\n"),
    QStringLiteral("\t"), QStringLiteral("\""), QStringLiteral("\""), QStringLiteral("(*"), QStringLiteral("*)"),
    QStringLiteral("("), QStringLiteral(")"), QStringLiteral("*"), QStringLiteral("(*)"), QStringLiteral("\\\""),
    QStringLiteral("=>"), QStringLiteral("["), QStringLiteral("]"), QStringLiteral("42"), QStringLiteral(";"),
    QStringLiteral("\"str\""), QStringLiteral("(* c *)"), QStringLiteral("(* (* n *) *)"),
    QString(QChar(0xA0)), QString(QChar(0x2028)), QStringLiteral("=")};

QString randomText(QRandomGenerator &rng, int fragmentsCount)
{
    QString text;
    for (int k = 0; k < fragmentsCount; ++k)
        text += fragments.at(rng.bounded(fragments.size()));
    return text;
}

// Every unit's foreground, as the runs the storage holds.
QList<OLTextStorage::Run> foreground(const OLTextStorage &storage, qsizetype to)
{
    QList<OLTextStorage::Run> runs;
    for (OLTextStorage::Run run : storage.runs(0, to)) {
        run.background.reset();
        run.fontTraits = 0;
        if (!runs.isEmpty() && runs.last().foreground == run.foreground)
            runs.last().length += run.length;
        else
            runs.append(run);
    }
    return runs;
}

// Foreground of each unit of a short text: a letter per colour of the style
// sets above (r, k, s, c, e by their red component; capitals with the alpha).
QString letters(const OLTextStorage &storage)
{
    QString out;
    for (qsizetype i = 0; i < storage.length(); ++i) {
        const auto c = storage.foregroundColorAt(i);
        const QChar letter = !c ? u'.' : QChar(u"?rksce"[qBound(0, qRound(c->red * 10), 5)]);
        out += c && c->alpha < 1 ? letter.toUpper() : letter;
    }
    return out;
}

qsizetype firstDifference(const OLTextStorage &a, const OLTextStorage &b, qsizetype to)
{
    for (qsizetype i = 0; i < to; ++i) {
        if (a.foregroundColorAt(i) != b.foregroundColorAt(i))
            return i;
    }
    return -1;
}

// The incremental storage (`sut`) and the plain one (`ref`), driven alike.
// Work that a sliced colouring leaves pending is done on the text as it is
// when it is done; the plain side does it before its next colouring or write.
struct Pair {
    OLTextStorage sut;
    OLTextStorage ref;
    struct Owed {
        qsizetype location;
        OLStyleSet styles;
    };
    std::optional<Owed> owed;

    qsizetype length() const { return sut.length(); }
    void edit(qsizetype location, qsizetype length, const QString &text)
    {
        sut.replaceCharacters(location, length, text);
        ref.replaceCharacters(location, length, text);
        if (owed && location < owed->location) {
            // The owed colouring starts where its first unit went.
            owed->location = location + length > owed->location ? location
                                                                 : owed->location + text.size() - length;
        }
    }
    void payOwed()
    {
        if (owed)
            plainPasses({owed->location, ref.length() - owed->location}, owed->styles);
        owed.reset();
    }
    void plainPasses(Range range, const OLStyleSet &styles)
    {
        OLSyntaxHighlighter::highLigthKeyWords(ref, range, styles);
        OLSyntaxHighlighter::highlightStringsAndComments(ref, range, styles);
    }
    void highlight(Range range, const OLStyleSet &styles)
    {
        OLSyntaxHighlighter::highlightSyntaxFor(sut, range, styles);
        if (range.length > 0)
            payOwed();
        plainPasses(range, styles);
    }
    void sliced(qsizetype location, const OLStyleSet &styles, qsizetype settled)
    {
        OLSyntaxHighlighter::beginHighlightSyntax(sut, location, styles, settled, 0ns);
        if (location == ref.length())
            return; // an empty range: nothing changes
        payOwed();
        plainPasses({location, ref.length() - location}, styles);
        if (OLSyntaxHighlighter::hasPendingHighlight(sut))
            owed = Owed{location, styles};
    }
    void finishSlices()
    {
        while (OLSyntaxHighlighter::hasPendingHighlight(sut))
            OLSyntaxHighlighter::continueHighlightSyntax(sut, 0ns);
        payOwed();
    }
    // Checks [0, to); describes the first difference on failure.
    bool agree(qsizetype to, QByteArray *why) const
    {
        if (foreground(sut, to) == foreground(ref, to))
            return true;
        const qsizetype at = firstDifference(sut, ref, to);
        *why = QStringLiteral("first difference at %1 in\n%2\n%3 (incremental)\n%4 (passes)")
                   .arg(at)
                   .arg(QString(sut.string()).replace(u'\n', u'N').replace(u'\t', u'T'), letters(sut), letters(ref))
                   .toUtf8();
        return false;
    }
};
} // namespace

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
        const QString text = randomText(rng, fragmentsCount);
        Pair p{OLTextStorage(text), OLTextStorage(text), std::nullopt};
        int styles = 0;
        qsizetype location = 0;
        p.highlight({0, p.length()}, styleSet(styles));
        QByteArray why;
        QVERIFY2(p.agree(p.length(), &why), why.constData());

        for (int step = 0; step < 300; ++step) {
            const qsizetype n = p.length();
            // An edit: mostly a few units, sometimes a large stretch.
            const qsizetype at = rng.bounded(n + 1);
            const qsizetype removed = rng.bounded(qMin<qsizetype>(n - at, rng.bounded(10) == 0 ? n : 4) + 1);
            p.edit(at, removed, randomText(rng, rng.bounded(3)));

            // Where the colouring starts: mostly kept, sometimes moved, as the
            // evaluated prefix of the editor moves.
            switch (rng.bounded(8)) {
            case 0:
                location = rng.bounded(p.length() + 1);
                break;
            case 1:
                location = 0;
                break;
            default:
                location = qMin(location, p.length());
                break;
            }
            if (rng.bounded(20) == 0)
                styles = rng.bounded(3);
            const Range rest{location, p.length() - location};

            if (rng.bounded(3) == 0) {
                // Sliced: the part before `settled` is right at once, the rest
                // after the slices.
                const qsizetype settled = location + rng.bounded(rest.length + 1);
                p.sliced(location, styleSet(styles), settled);
                // (An empty range leaves earlier slices pending.)
                if (location < p.length())
                    QVERIFY2(p.agree(settled, &why), why.constData());
                if (rng.bounded(2) == 0) {
                    p.finishSlices();
                    QVERIFY2(p.agree(p.length(), &why), why.constData());
                }
                // Otherwise the slices stay pending into what follows.
            } else {
                p.highlight(rest, styleSet(styles));
                // An empty range leaves earlier slices pending.
                if (!OLSyntaxHighlighter::hasPendingHighlight(p.sut))
                    QVERIFY2(p.agree(p.length(), &why), why.constData());
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
                OLSyntaxHighlighter::setErrorForegroundColor(p.sut, middle, styleSet(styles));
                p.payOwed();
                OLSyntaxHighlighter::setErrorForegroundColor(p.ref, middle, styleSet(styles));
                break;
            case 2:
                p.sut.removeAllAttributes();
                p.ref.removeAllAttributes();
                p.owed.reset();
                break;
            default:
                continue;
            }
            if (!OLSyntaxHighlighter::hasPendingHighlight(p.sut))
                QVERIFY2(p.agree(p.length(), &why), why.constData());
        }
        p.finishSlices();
        QVERIFY2(p.agree(p.length(), &why), why.constData());
        p.highlight({location, p.length() - location}, styleSet(styles));
        QVERIFY2(p.agree(p.length(), &why), why.constData());
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
        for (int k = 0; k < 3000; ++k)
            text += QStringLiteral("val x%1 = \"s\" (* note *) fun f y = y\n").arg(k);
        const qsizetype middle = text.indexOf(QStringLiteral("val x1500"));
        text.insert(middle, before);
        Pair p{OLTextStorage(text), OLTextStorage(text), std::nullopt};
        const OLStyleSet styles = styleSet(0);
        p.highlight({0, p.length()}, styles);
        p.sut.takeChangedRange();

        p.edit(middle + before.size(), 0, typed);
        p.plainPasses({0, p.length()}, styles);
        const qsizetype visibleEnd = middle + 2000;
        const auto first = OLSyntaxHighlighter::beginHighlightSyntax(p.sut, 0, styles, visibleEnd, 0ns);
        QByteArray why;
        QVERIFY2(p.agree(visibleEnd, &why), why.constData());
        QVERIFY(first);
        QVERIFY(first->location <= middle + before.size());
        QVERIFY(first->end() >= visibleEnd);
        QCOMPARE(OLSyntaxHighlighter::hasPendingHighlight(p.sut), sliced);

        int slices = 0;
        qsizetype reached = first->end();
        while (OLSyntaxHighlighter::hasPendingHighlight(p.sut)) {
            // A slice that stops inside a string changes nothing yet.
            const auto slice = OLSyntaxHighlighter::continueHighlightSyntax(p.sut, 0ns);
            ++slices;
            if (!slice)
                continue;
            // Slices move forward and leave the settled front alone.
            QVERIFY(slice->location >= reached);
            reached = slice->end();
        }
        QCOMPARE(slices > 1, sliced);
        QCOMPARE(reached, p.length());
        QVERIFY2(p.agree(p.length(), &why), why.constData());
    }

    // Colouring the same text again finds nothing to do, and a one-unit edit
    // changes only what that unit affects.
    void editChangesOnlyItsNeighbourhood()
    {
        QString text;
        for (int k = 0; k < 2000; ++k)
            text += QStringLiteral("val x = \"s\" (* c *)\n");
        OLTextStorage storage(text);
        const OLStyleSet styles = styleSet(0);
        OLSyntaxHighlighter::highlightSyntaxFor(storage, {0, storage.length()}, styles);
        storage.takeChangedRange();
        OLSyntaxHighlighter::highlightSyntaxFor(storage, {0, storage.length()}, styles);
        QCOMPARE(storage.takeChangedRange(), std::nullopt);

        // "val" becomes "vl", no keyword.
        const qsizetype at = 1000 * 20 + 1;
        storage.replaceCharacters(at, 1, QString());
        storage.takeChangedRange();
        OLSyntaxHighlighter::highlightSyntaxFor(storage, {0, storage.length()}, styles);
        QCOMPARE(storage.takeChangedRange(), (Range{at - 1, 2}));
    }
};

QTEST_GUILESS_MAIN(TestIncrementalHighlight)
#include "tst_incrementalhighlight.moc"
