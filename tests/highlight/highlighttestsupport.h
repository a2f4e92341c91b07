#pragma once

// Styles and colour letters shared by the highlighter, editor and console tests.

#include "highlight/OLSyntaxHighlighter.h"

// Distinct colours whose red component names the role: 0.1 plain, 0.2 keyword,
// 0.3 string, 0.4 comment, 0.5 error; alpha below 1 as for console answers.
inline OLStyleSet testStyles(double alpha = 1)
{
    OLStyleSet s;
    std::optional<OLColor> *roles[] = {&s.regColor, &s.keyColor, &s.strColor, &s.comColor, &s.errColor};
    for (int i = 0; i < 5; ++i)
        *roles[i] = OLColor{0.1 * (i + 1), 0.1 * (i + 1), 0.1 * (i + 1), alpha};
    return s;
}

// The foreground of each unit of [from, to) as a letter of testStyles():
// r(eg), k(ey), s(tr), c(om), e(rr), capital when translucent; '.' for none.
inline QString colourLetters(const OLTextStorage &storage, qsizetype from = 0, qsizetype to = -1)
{
    QString out;
    for (qsizetype i = from; i < (to < 0 ? storage.length() : to); ++i) {
        const std::optional<OLColor> c = storage.foregroundColorAt(i);
        const QChar letter = !c ? u'.' : QChar(u"?rksce"[qBound(0, qRound(c->red * 10), 5)]);
        out += c && c->alpha < 1 ? letter.toUpper() : letter;
    }
    return out;
}

// The letters of [from, end) as the two plain passes over it colour a fresh copy of `text`.
inline QString plainColours(const QString &text, qsizetype from, const OLStyleSet &styles = testStyles())
{
    OLTextStorage fresh(text);
    OLSyntaxHighlighter::highLigthKeyWords(fresh, {from, fresh.length() - from}, styles);
    OLSyntaxHighlighter::highlightStringsAndComments(fresh, {from, fresh.length() - from}, styles);
    return colourLetters(fresh, from);
}
