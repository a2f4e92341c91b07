#include "highlight/OLRunList.h"

#include <algorithm>

namespace {
// Runs per rebuilt chunk. Small enough that rebuilding a few chunks per edit
// is cheap, large enough that the chunk list stays short (a 50,000-line file
// has a few hundred thousand runs, so a few thousand chunks).
constexpr std::size_t chunkRuns = 128;

void append(std::vector<OLRunList::Piece> &seq, qsizetype length, quint32 value)
{
    if (length <= 0)
        return;
    if (!seq.empty() && seq.back().value == value)
        seq.back().length += length;
    else
        seq.push_back({length, value});
}
} // namespace

OLRunList::OLRunList(qsizetype length)
    : m_length(length)
{
    if (length > 0)
        m_chunks.push_back({0, {{0, 0}}});
}

qsizetype OLRunList::runCount() const
{
    qsizetype count = 0;
    for (const Chunk &chunk : m_chunks)
        count += qsizetype(chunk.runs.size());
    return count;
}

qsizetype OLRunList::chunkEnd(std::size_t ci) const
{
    return ci + 1 < m_chunks.size() ? m_chunks[ci + 1].start : m_length;
}

std::size_t OLRunList::chunkAt(qsizetype pos) const
{
    const auto it = std::upper_bound(m_chunks.begin(), m_chunks.end(), pos,
                                     [](qsizetype p, const Chunk &c) { return p < c.start; });
    return it == m_chunks.begin() ? 0 : std::size_t(it - m_chunks.begin() - 1);
}

quint32 OLRunList::valueAt(qsizetype pos) const
{
    Q_ASSERT(pos >= 0 && pos < m_length);
    const Chunk &chunk = m_chunks[chunkAt(pos)];
    const auto it = std::upper_bound(chunk.runs.begin(), chunk.runs.end(), pos - chunk.start,
                                     [](qsizetype p, const Run &r) { return p < r.offset; });
    return (it - 1)->value;
}

void OLRunList::replace(qsizetype from, qsizetype to, qsizetype inserted)
{
    const Piece piece{inserted, 0};
    splice(from, to, inserted > 0 ? std::span<const Piece>(&piece, 1) : std::span<const Piece>());
}

std::optional<OLRunList::Span> OLRunList::assign(qsizetype from, qsizetype to, quint32 value)
{
    if (from == to)
        return std::nullopt;
    const Piece piece{to - from, value};
    return assign(from, to, std::span<const Piece>(&piece, 1));
}

std::optional<OLRunList::Span> OLRunList::assign(qsizetype from, qsizetype to,
                                                 std::span<const Piece> pieces)
{
    Q_ASSERT(from >= 0 && from <= to && to <= m_length);
    Q_ASSERT(std::all_of(pieces.begin(), pieces.end(), [](const Piece &p) { return p.length > 0; }));
    // Walk the old runs and the new pieces side by side to find the first and
    // the last unit whose value changes.
    qsizetype first = -1, last = -1;
    std::size_t pi = 0;
    qsizetype pieceFrom = from;
    forEach(from, to, [&](qsizetype a, qsizetype b, quint32 old) {
        while (a < b) {
            const qsizetype pieceTo = pieceFrom + pieces[pi].length;
            const qsizetype end = qMin(b, pieceTo);
            if (pieces[pi].value != old) {
                if (first < 0)
                    first = a;
                last = end;
            }
            a = end;
            if (end == pieceTo) {
                pieceFrom = pieceTo;
                ++pi;
            }
        }
    });
    if (first < 0)
        return std::nullopt;

    std::vector<Piece> changed;
    pieceFrom = from;
    for (const Piece &p : pieces) {
        const qsizetype pieceTo = pieceFrom + p.length;
        append(changed, qMin(pieceTo, last) - qMax(pieceFrom, first), p.value);
        pieceFrom = pieceTo;
        if (pieceFrom >= last)
            break;
    }
    splice(first, last, changed);
    return Span{first, last};
}

void OLRunList::splice(qsizetype from, qsizetype to, std::span<const Piece> pieces)
{
    Q_ASSERT(from >= 0 && from <= to && to <= m_length);
    qsizetype inserted = 0;
    for (const Piece &p : pieces)
        inserted += p.length;
    const qsizetype delta = inserted - (to - from);

    // The runs of chunk ci that lie in [a, b), in order.
    const auto appendRuns = [this](std::vector<Piece> &seq, std::size_t ci, qsizetype a, qsizetype b) {
        const Chunk &c = m_chunks[ci];
        for (std::size_t ri = 0; ri < c.runs.size(); ++ri) {
            const qsizetype runFrom = c.start + c.runs[ri].offset;
            const qsizetype runTo = ri + 1 < c.runs.size() ? c.start + c.runs[ri + 1].offset : chunkEnd(ci);
            if (runFrom >= b)
                break;
            if (runTo > a)
                append(seq, qMin(runTo, b) - qMax(runFrom, a), c.runs[ri].value);
        }
    };

    // Only the chunks holding [from, to) are rebuilt. A neighbour joins them
    // where its run meets one of the same value at the seam (neighbouring
    // runs always differ), and the left one also when they would be left with
    // few runs, so that chunks stay reasonably full.
    std::size_t lo = 0, hi = 0;
    qsizetype regionStart = 0;
    std::vector<Piece> seq;
    if (!m_chunks.empty()) {
        lo = chunkAt(from);
        hi = to > from ? chunkAt(to - 1) : lo;
        appendRuns(seq, lo, m_chunks[lo].start, from);
        for (const Piece &p : pieces)
            append(seq, p.length, p.value);
        appendRuns(seq, hi, to, chunkEnd(hi));
        if (lo > 0 && (seq.size() < chunkRuns / 4 || m_chunks[lo - 1].runs.back().value == seq.front().value)) {
            --lo;
            std::vector<Piece> joined;
            appendRuns(joined, lo, m_chunks[lo].start, chunkEnd(lo));
            for (const Piece &p : seq)
                append(joined, p.length, p.value);
            seq = std::move(joined);
        }
        if (hi + 1 < m_chunks.size() && (seq.empty() || m_chunks[hi + 1].runs.front().value == seq.back().value)) {
            ++hi;
            appendRuns(seq, hi, m_chunks[hi].start, chunkEnd(hi));
        }
        regionStart = m_chunks[lo].start;
    } else {
        for (const Piece &p : pieces)
            append(seq, p.length, p.value);
    }

    // Cut the new runs into evenly filled chunks.
    std::vector<Chunk> rebuilt((seq.size() + chunkRuns - 1) / chunkRuns);
    qsizetype pos = regionStart;
    std::size_t si = 0;
    for (std::size_t k = 0; k < rebuilt.size(); ++k) {
        const std::size_t count = (seq.size() - si) / (rebuilt.size() - k);
        Chunk &chunk = rebuilt[k];
        chunk.start = pos;
        chunk.runs.reserve(count);
        for (std::size_t j = 0; j < count; ++j, ++si) {
            chunk.runs.push_back({pos - chunk.start, seq[si].value});
            pos += seq[si].length;
        }
    }

    if (m_chunks.empty()) {
        m_chunks = std::move(rebuilt);
    } else {
        const auto hiIt = m_chunks.begin() + std::ptrdiff_t(hi) + 1;
        for (auto it = hiIt; it != m_chunks.end(); ++it)
            it->start += delta;
        const auto loIt = m_chunks.begin() + std::ptrdiff_t(lo);
        const std::size_t old = hi - lo + 1;
        const std::size_t common = qMin(old, rebuilt.size());
        std::move(rebuilt.begin(), rebuilt.begin() + std::ptrdiff_t(common), loIt);
        if (rebuilt.size() > old)
            m_chunks.insert(hiIt, std::make_move_iterator(rebuilt.begin() + std::ptrdiff_t(common)),
                            std::make_move_iterator(rebuilt.end()));
        else
            m_chunks.erase(loIt + std::ptrdiff_t(common), hiIt);
    }
    m_length += delta;
}
