#pragma once

#include <QtGlobal>

#include <optional>
#include <span>
#include <vector>

// One attribute over a text: a partition of [0, length) into runs, each with a
// small integer value (0 meaning "no attribute"). Neighbouring runs never hold
// the same value, so memory follows the number of runs, not of characters.
//
// Runs are kept in chunks of at most a few hundred, each chunk knowing its
// absolute start: a lookup is two binary searches, and an edit rebuilds only
// the chunks it touches plus the starts of the chunks after it.
class OLRunList
{
public:
    struct Piece {
        qsizetype length;
        quint32 value;
    };
    // A half-open range [from, to).
    struct Span {
        qsizetype from;
        qsizetype to;
        friend bool operator==(const Span &, const Span &) = default;
    };

    explicit OLRunList(qsizetype length = 0);

    qsizetype length() const { return m_length; }
    qsizetype runCount() const;
    quint32 valueAt(qsizetype pos) const;

    // Calls f(from, to, value) for each run overlapping [from, to), clipped to it.
    template<typename F>
    void forEach(qsizetype from, qsizetype to, F &&f) const;

    // A text edit: [from, to) becomes `inserted` units without attribute; the
    // runs after it shift.
    void replace(qsizetype from, qsizetype to, qsizetype inserted);

    // Gives [from, to) the values of `pieces`, whose lengths add up to
    // to - from. Only the part that actually differs is rebuilt; that part is
    // returned (nothing when the values were already there).
    std::optional<Span> assign(qsizetype from, qsizetype to, std::span<const Piece> pieces);
    std::optional<Span> assign(qsizetype from, qsizetype to, quint32 value);

private:
    struct Run {
        qsizetype offset; // from the chunk's start
        quint32 value;
    };
    struct Chunk {
        qsizetype start;
        std::vector<Run> runs;
    };

    qsizetype chunkEnd(std::size_t ci) const;
    std::size_t chunkAt(qsizetype pos) const;
    // Replaces [from, to) by pieces of any total length.
    void splice(qsizetype from, qsizetype to, std::span<const Piece> pieces);

    std::vector<Chunk> m_chunks;
    qsizetype m_length = 0;
};

template<typename F>
void OLRunList::forEach(qsizetype from, qsizetype to, F &&f) const
{
    if (from >= to)
        return;
    for (std::size_t ci = chunkAt(from); ci < m_chunks.size(); ++ci) {
        const Chunk &chunk = m_chunks[ci];
        if (chunk.start >= to)
            return;
        const qsizetype end = chunkEnd(ci);
        const auto &runs = chunk.runs;
        // The first run to visit: the last one starting at or before `from`.
        std::size_t ri = 0;
        if (chunk.start < from) {
            std::size_t lo = 0, hi = runs.size();
            while (hi - lo > 1) {
                const std::size_t mid = (lo + hi) / 2;
                (chunk.start + runs[mid].offset <= from ? lo : hi) = mid;
            }
            ri = lo;
        }
        for (; ri < runs.size(); ++ri) {
            const qsizetype runFrom = chunk.start + runs[ri].offset;
            if (runFrom >= to)
                return;
            const qsizetype runTo = ri + 1 < runs.size() ? chunk.start + runs[ri + 1].offset : end;
            f(qMax(runFrom, from), qMin(runTo, to), runs[ri].value);
        }
    }
}
