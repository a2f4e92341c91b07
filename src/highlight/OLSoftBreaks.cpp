#include "highlight/OLSoftBreaks.h"

#include <algorithm>

namespace {
// What the text document takes as the end of a block.
bool endsLine(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator;
}

// A cut at `cut`, moved to just after white space in the last quarter of the
// piece when there is some (a wrapping view then shows the break as it would
// show a wrap), and never between the halves of a surrogate pair.
qsizetype niceCut(QStringView text, qsizetype pieceStart, qsizetype cut, qsizetype pieceLength)
{
    for (qsizetype i = cut - 1; i > pieceStart && i >= cut - pieceLength / 4; --i) {
        if (text[i].isSpace())
            return i + 1;
    }
    if (cut < text.size() && text[cut].isLowSurrogate())
        return cut - 1 > pieceStart ? cut - 1 : cut + 1;
    return cut;
}
} // namespace

qsizetype OLSoftBreaks::countBefore(qsizetype documentPosition) const
{
    return std::lower_bound(m_positions.begin(), m_positions.end(), documentPosition) - m_positions.begin();
}

bool OLSoftBreaks::isBreakAt(qsizetype documentPosition) const
{
    return std::binary_search(m_positions.begin(), m_positions.end(), documentPosition);
}

qsizetype OLSoftBreaks::toDocument(qsizetype textPosition) const
{
    // The i-th break stands before text position positions[i] - i; those
    // text positions never decrease.
    qsizetype low = 0, high = count();
    while (low < high) {
        const qsizetype mid = (low + high) / 2;
        if (m_positions[size_t(mid)] - mid < textPosition)
            low = mid + 1;
        else
            high = mid;
    }
    return textPosition + low;
}

void OLSoftBreaks::replaced(qsizetype documentPosition, qsizetype removed, qsizetype added)
{
    const auto first = std::lower_bound(m_positions.begin(), m_positions.end(), documentPosition);
    const auto last = std::lower_bound(first, m_positions.end(), documentPosition + removed);
    const auto rest = m_positions.erase(first, last);
    for (auto it = rest; it != m_positions.end(); ++it)
        *it += added - removed;
}

void OLSoftBreaks::add(qsizetype documentPosition)
{
    const auto it = std::lower_bound(m_positions.begin(), m_positions.end(), documentPosition);
    if (it == m_positions.end() || *it != documentPosition)
        m_positions.insert(it, documentPosition);
}

std::vector<qsizetype> OLSoftBreaks::breaksFor(QStringView text, qsizetype before, qsizetype after,
                                               qsizetype pieceLength)
{
    const qsizetype longestBlock = 2 * pieceLength;
    std::vector<qsizetype> breaks;
    qsizetype run = before; // units of the block before the line's start
    for (qsizetype start = 0; start <= text.size();) {
        qsizetype end = start;
        while (end < text.size() && !endsLine(text[end]))
            ++end;
        const qsizetype tail = end == text.size() ? after : 0;
        qsizetype at = start;
        while (run + (end - at) + tail > longestBlock) {
            // Where this piece reaches its length; at the end of the line when
            // only the block's old units make it too long.
            qsizetype cut = at + qMax<qsizetype>(0, pieceLength - run);
            cut = cut >= end ? end : run > 0 && cut == at ? at : niceCut(text, at, cut, pieceLength);
            breaks.push_back(cut);
            run = 0;
            at = cut;
            if (cut == end)
                break;
        }
        run = 0;
        start = end + 1;
    }
    return breaks;
}
