#include "highlight/OLIncrementalHighlight.h"

#include "highlight/OLSyntaxHighlighter.h"

#include <algorithm>

namespace {
// Checkpoints are this many UTF-16 units apart (or a little more, as they sit
// after separators): an edit rescans about twice this much.
constexpr qsizetype checkpointGap = 256;
// How often the clock is read while a deadline runs.
constexpr qsizetype clockGap = 2048;

// The colours of one scan, neighbours with equal values merged.
class PieceBuilder
{
public:
    explicit PieceBuilder(qsizetype from)
        : m_to(from)
    {
    }
    void colourTo(qsizetype to, quint32 value)
    {
        if (to <= m_to)
            return;
        if (!pieces.empty() && pieces.back().value == value)
            pieces.back().length += to - m_to;
        else
            pieces.push_back({to - m_to, value});
        m_to = to;
    }
    std::vector<OLRunList::Piece> pieces;

private:
    qsizetype m_to;
};
} // namespace

OLIncrementalHighlight::OLIncrementalHighlight(qsizetype location, const OLHighlightColors &colors)
    : m_location(location)
    , m_colors(colors)
    , m_staleFrom(location)
    , m_convergeFrom(location)
{
}

void OLIncrementalHighlight::retarget(qsizetype location)
{
    if (location == m_location)
        return;
    // The old colours can be taken over only where the old colouring reached.
    const qsizetype covered = qMax(location, m_location);
    if (location > m_location) {
        m_checkpoints.erase(m_checkpoints.begin(),
                            std::lower_bound(m_checkpoints.begin(), m_checkpoints.end(), location,
                                             [](const Checkpoint &c, qsizetype p) { return c.pos < p; }));
    }
    m_convergeFrom = isDirty() ? qMax(m_convergeFrom, covered) : covered;
    // The scan starts afresh at the new location: no checkpoint state is
    // known to hold for it.
    m_staleFrom = location;
    m_location = location;
}

void OLIncrementalHighlight::textReplaced(qsizetype location, qsizetype removed, qsizetype inserted)
{
    const qsizetype end = location + removed;
    const qsizetype delta = inserted - removed;
    if (location < m_location && end > m_location) {
        // The start of the coloured part is gone: start over.
        m_location = location;
        m_checkpoints.clear();
        m_staleFrom = m_convergeFrom = location;
        return;
    }
    if (location < m_location) {
        // Wholly before the coloured part, which depends only on its own text.
        m_location += delta;
        for (Checkpoint &cp : m_checkpoints) {
            cp.pos += delta;
            if (cp.state.spanStart >= 0)
                cp.state.spanStart += delta;
        }
        if (isDirty()) {
            m_staleFrom += delta;
            m_convergeFrom += delta;
        }
        return;
    }
    const qsizetype lost = --m_lostStart;
    std::size_t kept = 0;
    for (Checkpoint cp : m_checkpoints) {
        if (cp.pos >= location && cp.pos < end)
            continue;
        if (cp.pos >= end) {
            cp.pos += delta;
            if (cp.state.spanStart >= end)
                cp.state.spanStart += delta;
            else if (cp.state.mode != Mode::Outside && cp.state.spanStart >= location)
                cp.state.spanStart = lost;
        }
        m_checkpoints[kept++] = cp;
    }
    m_checkpoints.resize(kept);
    const qsizetype afterEdit = location + inserted;
    m_convergeFrom = isDirty() ? qMax(m_convergeFrom >= end ? m_convergeFrom + delta : afterEdit, afterEdit)
                               : afterEdit;
    // A checkpoint right at the edit is not trusted either: the scan looks one
    // unit ahead, so its state may depend on the edited text.
    m_staleFrom = qMin(m_staleFrom, location);
}

void OLIncrementalHighlight::foregroundChanged(qsizetype from, qsizetype to)
{
    if (to <= m_location)
        return;
    m_convergeFrom = isDirty() ? qMax(m_convergeFrom, to) : to;
    m_staleFrom = qMin(m_staleFrom, qMax(from, m_location));
}

OLIncrementalHighlight::Resume OLIncrementalHighlight::resumePoint() const
{
    // The last checkpoint whose state is known to be true.
    const auto it = std::lower_bound(m_checkpoints.begin(), m_checkpoints.end(), m_staleFrom,
                                     [](const Checkpoint &c, qsizetype p) { return c.pos < p; });
    if (it == m_checkpoints.begin())
        return {0, m_location, State()};
    return {std::size_t(it - m_checkpoints.begin()), (it - 1)->pos, (it - 1)->state};
}

qsizetype OLIncrementalHighlight::firstUnsettled() const
{
    if (!isDirty())
        return clean;
    const Resume resume = resumePoint();
    return resume.state.mode == Mode::Outside ? resume.pos : resume.state.spanStart;
}

std::optional<OLTextStorage::Range> OLIncrementalHighlight::run(OLTextStorage &storage, qsizetype settledUntil,
                                                                const QDeadlineTimer &deadline)
{
    if (!isDirty()) {
        m_pending = false;
        return std::nullopt;
    }
    const QString &text = storage.string();
    const qsizetype n = text.size();
    const QChar *t = text.constData();
    auto &cps = m_checkpoints;

    const Resume resume = resumePoint();
    const std::size_t kept = resume.kept;
    const qsizetype r = resume.pos;
    State state = resume.state;
    const qsizetype from = firstUnsettled();
    PieceBuilder out(from);
    std::vector<Checkpoint> fresh;

    qsizetype i = r;
    qsizetype wordStart = state.mode == Mode::Outside ? r : -1; // -1: the word holds a quote
    qsizetype lastCheckpoint = r;
    const bool timed = !deadline.isForever();
    // Stopping only past the stale point makes every slice move forward.
    qsizetype nextClock = qMax(settledUntil, m_staleFrom + 1);
    std::size_t oi = kept; // the next old checkpoint that the scan may meet
    // The next position where the scan must look up: an old checkpoint, the
    // next checkpoint to record, or a clock reading.
    const auto nextStop = [&]() {
        const qsizetype after = i + 1;
        while (oi < cps.size() && cps[oi].pos < qMax(after, m_convergeFrom))
            ++oi;
        qsizetype next = lastCheckpoint + checkpointGap;
        if (oi < cps.size())
            next = qMin(next, cps[oi].pos);
        if (timed && (state.mode == Mode::Outside || state.spanStart >= settledUntil))
            next = qMin(next, nextClock);
        return qMax(next, after);
    };
    qsizetype stop = nextStop();

    enum class End { Text, Converged, Paused } how = End::Text;
    while (i < n) {
        if (i >= stop) {
            if (i > r && OLSyntaxHighlighter::isSeparator(t[i - 1])) {
                if (oi < cps.size() && cps[oi].pos == i && i >= m_convergeFrom && cps[oi].state.sameCourse(state)) {
                    how = End::Converged;
                    break;
                }
                if (i - lastCheckpoint >= checkpointGap) {
                    fresh.push_back({i, state});
                    lastCheckpoint = i;
                }
                // A stop inside a string or comment leaves its colour for
                // later, so only one that opened past `settledUntil`.
                if (timed && i >= nextClock && (state.mode == Mode::Outside || state.spanStart >= settledUntil)) {
                    if (deadline.hasExpired()) {
                        how = End::Paused;
                        break;
                    }
                    nextClock = i + clockGap;
                }
            }
            stop = nextStop();
        }
        const char16_t c = t[i].unicode();
        switch (state.mode) {
        case Mode::Outside:
            if (c == u'"') {
                out.colourTo(i, m_colors.reg);
                state = {Mode::String, 0, i};
                wordStart = -1;
            } else if (OLSyntaxHighlighter::isSeparator(t[i])) {
                if (wordStart >= 0 && OLSyntaxHighlighter::isKeyword(QStringView(t + wordStart, i - wordStart))) {
                    out.colourTo(wordStart, m_colors.reg);
                    out.colourTo(i, m_colors.key);
                }
                wordStart = i + 1;
                if (c == u'(' && i + 1 < n && t[i + 1] == u'*') {
                    out.colourTo(i, m_colors.reg);
                    state = {Mode::Comment, 1, i};
                }
            }
            ++i;
            break;
        case Mode::String:
            ++i;
            if (c == u'"') {
                out.colourTo(i, m_colors.str);
                state = {};
                stop = qMin(stop, i);
            }
            break;
        case Mode::Comment:
            if (c == u'(' && i + 1 < n && t[i + 1] == u'*') {
                // Step onto the "*" only: it may begin a closer, "(*)".
                ++state.depth;
                ++i;
            } else if (c == u'*' && i + 1 < n && t[i + 1] == u')') {
                i += 2;
                if (--state.depth == 0) {
                    out.colourTo(i, m_colors.com);
                    state = {};
                    wordStart = i;
                    stop = qMin(stop, i);
                }
            } else {
                ++i;
            }
            break;
        }
    }

    std::size_t oldFrom = cps.size(); // the old checkpoints kept after the scan
    switch (how) {
    case End::Text:
        if (state.mode != Mode::Outside) {
            out.colourTo(n, m_colors.err);
        } else {
            if (wordStart >= 0 && OLSyntaxHighlighter::isKeyword(QStringView(t + wordStart, n - wordStart))) {
                out.colourTo(wordStart, m_colors.reg);
                out.colourTo(n, m_colors.key);
            }
            out.colourTo(n, m_colors.reg);
        }
        m_staleFrom = clean;
        break;
    case End::Converged:
        // From here on the old colours hold. A string or comment open here
        // ends as the old one did, so it takes the old colour.
        if (state.mode != Mode::Outside) {
            out.colourTo(i, storage.foregroundIdAt(i));
            const qsizetype oldStart = cps[oi].state.spanStart;
            for (std::size_t k = oi; k < cps.size() && cps[k].state.mode != Mode::Outside
                                     && cps[k].state.spanStart == oldStart;
                 ++k)
                cps[k].state.spanStart = state.spanStart;
        } else {
            out.colourTo(i, m_colors.reg);
        }
        oldFrom = oi;
        m_staleFrom = clean;
        break;
    case End::Paused:
        if (state.mode == Mode::Outside)
            out.colourTo(i, m_colors.reg);
        // The colours from here on are the old ones: only the old checkpoints
        // describe them.
        if (!fresh.empty() && fresh.back().pos == i)
            fresh.pop_back();
        oldFrom = std::size_t(std::lower_bound(cps.begin(), cps.end(), i,
                                               [](const Checkpoint &c, qsizetype p) { return c.pos < p; })
                              - cps.begin());
        m_staleFrom = i;
        m_convergeFrom = qMax(m_convergeFrom, i);
        break;
    }
    m_pending = how == End::Paused;

    // The scanned stretch gets the new checkpoints.
    cps.erase(cps.begin() + std::ptrdiff_t(kept), cps.begin() + std::ptrdiff_t(oldFrom));
    cps.insert(cps.begin() + std::ptrdiff_t(kept), fresh.begin(), fresh.end());

    const qsizetype to = how == End::Paused && state.mode != Mode::Outside ? state.spanStart : qMin(i, n);
    const auto span = storage.writeForeground(from, to, out.pieces);
    if (!span)
        return std::nullopt;
    return OLTextStorage::Range{span->from, span->to - span->from};
}
