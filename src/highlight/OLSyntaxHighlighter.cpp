#include "highlight/OLSyntaxHighlighter.h"

#include "highlight/OLIncrementalHighlight.h"
#include "session/OLWhitespace.h"

#include <QStringView>

#include <algorithm>
#include <array>

namespace {
struct Tables {
    QStringList keywords;
    // Each keyword packed by pack(), sorted.
    std::vector<quint64> packed;
    std::array<bool, 128> asciiSeparators{};
};

// A word of up to 12 letters a to z and underscores as 5 bits per unit; 0 for
// any other word. Keywords are such words, so a word that packs to 0 is none.
quint64 pack(QStringView word)
{
    if (word.size() > 12)
        return 0;
    quint64 key = 0;
    for (const QChar ch : word) {
        const char16_t c = ch.unicode();
        quint64 code;
        if (c >= u'a' && c <= u'z')
            code = c - u'a' + 1;
        else if (c == u'_')
            code = 27;
        else
            return 0;
        key = key << 5 | code;
    }
    return key;
}

const Tables &tables()
{
    static const Tables t = [] {
        Tables t;
        t.keywords = QStringLiteral("abstype , and , andalso , as , case , datatype , do , else , end , "
                                    "exception , fn , fun , handle , if , in , infix , infixr , let , local , "
                                    "nonfix , of , op , open , orelse , raise , rec , then , type , val , "
                                    "with , withtype , while , eqtype , functor , include , sharing , sig , "
                                    "signature , structure , struct , where , any , constructor , fct , from , "
                                    "import , non , pack , unpack , when , withfun , withval , _fn")
                         .split(QStringLiteral(" , "));
        for (const QString &word : std::as_const(t.keywords))
            t.packed.push_back(pack(word));
        std::sort(t.packed.begin(), t.packed.end());
        for (const char c : QByteArrayView("@!{}^#|_:;,.=<>~()"))
            t.asciiSeparators[std::size_t(c)] = true;
        for (char16_t c = 0; c < 128; ++c) {
            if (isWhitespaceOrNewline(QChar(c)))
                t.asciiSeparators[c] = true;
        }
        return t;
    }();
    return t;
}

void colour(OLTextStorage &storage, qsizetype from, qsizetype to, const std::optional<OLColor> &color)
{
    storage.setForegroundColor({from, to - from}, color);
}
} // namespace

const QStringList &OLSyntaxHighlighter::keywords()
{
    return tables().keywords;
}

bool OLSyntaxHighlighter::isKeyword(QStringView word)
{
    const quint64 key = pack(word);
    const auto &packed = tables().packed;
    return key != 0 && std::binary_search(packed.begin(), packed.end(), key);
}

bool OLSyntaxHighlighter::isSeparator(QChar c)
{
    const char16_t u = c.unicode();
    return u < 128 ? tables().asciiSeparators[u] : isWhitespaceOrNewline(c);
}

void OLSyntaxHighlighter::highlightSyntaxFor(OLTextStorage &storage, Range range, const OLStyleSet &styles)
{
    if (range.length == 0)
        return;
    if (range.end() == storage.length()) {
        colourToEnd(storage, range.location, styles, storage.length(), QDeadlineTimer(QDeadlineTimer::Forever));
        return;
    }
    highLigthKeyWords(storage, range, styles);
    highlightStringsAndComments(storage, range, styles);
}

void OLSyntaxHighlighter::highLigthKeyWords(OLTextStorage &storage, Range range, const OLStyleSet &styles)
{
    storage.setForegroundColor(range, styles.regColor);
    const QString &text = storage.string();
    // The words of the range: cut at every separator and at the range's ends.
    qsizetype wordStart = range.location;
    for (qsizetype i = range.location; i <= range.end(); ++i) {
        if (i == range.end() || isSeparator(text[i])) {
            if (isKeyword(QStringView(text).sliced(wordStart, i - wordStart)))
                colour(storage, wordStart, i, styles.keyColor);
            wordStart = i + 1;
        }
    }
}

void OLSyntaxHighlighter::highlightStringsAndComments(OLTextStorage &storage, Range range, const OLStyleSet &styles)
{
    const QStringView text(storage.string());
    const qsizetype end = text.size();
    // Only the first two searches stay inside the range.
    const QStringView inRange = text.sliced(range.location, range.length);
    qsizetype quote = inRange.indexOf(u'"');
    qsizetype opener = inRange.indexOf(u"(*");
    if (quote < 0 && opener < 0)
        return;
    if (quote >= 0)
        quote += range.location;
    if (opener >= 0)
        opener += range.location;
    for (;;) {
        if (opener >= 0 && (quote < 0 || opener < quote)) {
            // From opener + 1, so that the opener's "*" may begin the closer.
            qsizetype closer = text.indexOf(u"*)", opener + 1);
            qsizetype inner = text.indexOf(u"(*", opener + 1);
            while (inner >= 0 && closer >= 0 && inner < closer) {
                closer = text.indexOf(u"*)", closer + 1);
                inner = text.indexOf(u"(*", inner + 1);
            }
            if (closer < 0) {
                colour(storage, opener, end, styles.errColor);
                return;
            }
            colour(storage, opener, closer + 2, styles.comColor);
            opener = text.indexOf(u"(*", closer + 1);
            quote = text.indexOf(u'"', closer + 1);
        } else {
            const qsizetype close = text.indexOf(u'"', quote + 1);
            if (close < 0) {
                colour(storage, quote, end, styles.errColor);
                return;
            }
            colour(storage, quote, close + 1, styles.strColor);
            quote = text.indexOf(u'"', close + 1);
            opener = text.indexOf(u"(*", close + 1);
        }
        if (quote < 0 && opener < 0)
            return;
    }
}

void OLSyntaxHighlighter::setBackgroundColorFor(OLTextStorage &storage, Range range, const OLColor &color)
{
    // Setting replaces whatever background was there.
    storage.setBackgroundColor(range, color);
}

void OLSyntaxHighlighter::removeBackgroundColorFor(OLTextStorage &storage, Range range)
{
    storage.setBackgroundColor(range, std::nullopt);
}

void OLSyntaxHighlighter::setErrorForegroundColor(OLTextStorage &storage, Range range, const OLStyleSet &styles)
{
    storage.setForegroundColor(range, styles.errColor);
}

OLColor OLSyntaxHighlighter::lightGreen()
{
    return {0.0, 0.56, 0.21, 0.3};
}

OLColor OLSyntaxHighlighter::lightBlue()
{
    return {0.0, 0.0, 1.0, 0.3};
}

OLColor OLSyntaxHighlighter::lightRed()
{
    return {1.0, 0.0, 0.0, 0.3};
}

std::optional<OLSyntaxHighlighter::Range>
OLSyntaxHighlighter::beginHighlightSyntax(OLTextStorage &storage, qsizetype location, const OLStyleSet &styles,
                                          qsizetype settledUntil, std::chrono::nanoseconds budget)
{
    if (location == storage.length())
        return std::nullopt;
    return colourToEnd(storage, location, styles, settledUntil, QDeadlineTimer(budget));
}

bool OLSyntaxHighlighter::hasPendingHighlight(const OLTextStorage &storage)
{
    return storage.m_highlight && storage.m_highlight->isPending();
}

std::optional<OLSyntaxHighlighter::Range> OLSyntaxHighlighter::continueHighlightSyntax(OLTextStorage &storage,
                                                                                      std::chrono::nanoseconds budget)
{
    if (!hasPendingHighlight(storage))
        return std::nullopt;
    return storage.m_highlight->run(storage, 0, QDeadlineTimer(budget));
}

std::optional<OLSyntaxHighlighter::Range> OLSyntaxHighlighter::colourToEnd(OLTextStorage &storage, qsizetype location,
                                                                          const OLStyleSet &styles,
                                                                          qsizetype settledUntil,
                                                                          const QDeadlineTimer &deadline)
{
    Q_ASSERT(location >= 0 && location < storage.length());
    const OLHighlightColors colors{storage.colorId(styles.regColor), storage.colorId(styles.keyColor),
                                   storage.colorId(styles.strColor), storage.colorId(styles.comColor),
                                   storage.colorId(styles.errColor)};
    auto &state = storage.m_highlight;
    // Work an earlier sliced call left below `location` is still owed.
    if (state && state->isPending() && location > state->firstUnsettled())
        state->run(storage, storage.length(), QDeadlineTimer(QDeadlineTimer::Forever));
    if (!state || !(state->colors() == colors))
        state = std::make_unique<OLIncrementalHighlight>(location, colors);
    else
        state->retarget(location);
    return state->run(storage, settledUntil, deadline);
}
