#include "highlight/OLTextStorage.h"

#include "highlight/OLIncrementalHighlight.h"
#include "settings/OLUserDefaults.h"

#include <algorithm>

OLTextStorage::OLTextStorage(const QString &text)
    : m_text(text)
    , m_foreground(text.size())
    , m_background(text.size())
    , m_fontTraits(text.size())
{
}

OLTextStorage::~OLTextStorage() = default;

void OLTextStorage::replaceCharacters(qsizetype location, qsizetype length, const QString &string)
{
    Q_ASSERT(location >= 0 && length >= 0 && location + length <= m_text.size());
    // An insertion grows the string's capacity ahead; a replacement would
    // reallocate it every time. At the end, appending grows it in place
    // where the allocator can (inserting there copies it to new memory).
    if (length == 0 && location == m_text.size()) {
        // A loaded text gets its own buffer with room to grow: shared with
        // the caller's, or full, the first keystroke would copy it all.
        if (m_text.isEmpty())
            m_text.reserve(string.size() + string.size() / 16);
        m_text.append(string);
    } else if (length == 0) {
        m_text.insert(location, string);
    } else {
        m_text.replace(location, length, string);
    }
    const qsizetype to = location + length;
    m_foreground.replace(location, to, string.size());
    m_background.replace(location, to, string.size());
    m_fontTraits.replace(location, to, string.size());
    if (m_highlight)
        m_highlight->textReplaced(location, length, string.size());
    if (m_changed) {
        // Keep the earlier changes where their text now is.
        const qsizetype delta = string.size() - length;
        const auto shift = [&](qsizetype p) { return p < location ? p : (p >= to ? p + delta : location); };
        const qsizetype from = shift(m_changed->location);
        m_changed = Range{from, shift(m_changed->end()) - from};
    }
    noteChanged(location, location + string.size());
}

void OLTextStorage::setForegroundColor(Range range, const std::optional<OLColor> &color)
{
    // Pending colouring belongs before this write.
    if (m_highlight && m_highlight->isPending())
        m_highlight->run(*this, m_text.size(), QDeadlineTimer(QDeadlineTimer::Forever));
    if (const auto span = m_foreground.assign(range.location, range.end(), colorId(color))) {
        noteChanged(span->from, span->to);
        if (m_highlight)
            m_highlight->foregroundChanged(span->from, span->to);
    }
}

void OLTextStorage::setBackgroundColor(Range range, const std::optional<OLColor> &color)
{
    if (const auto span = m_background.assign(range.location, range.end(), colorId(color)))
        noteChanged(span->from, span->to);
}

void OLTextStorage::addFontTraits(Range range, qint64 mask)
{
    quint32 add = 0, remove = 0;
    if (mask & OLFontTrait::italic)
        add |= Italic;
    if (mask & OLFontTrait::bold)
        add |= Bold;
    if (mask & OLFontTrait::notItalic)
        remove |= Italic;
    if (mask & OLFontTrait::notBold)
        remove |= Bold;
    std::vector<OLRunList::Piece> pieces;
    m_fontTraits.forEach(range.location, range.end(), [&](qsizetype a, qsizetype b, quint32 traits) {
        pieces.push_back({b - a, (traits | add) & ~remove});
    });
    if (const auto span = m_fontTraits.assign(range.location, range.end(), pieces))
        noteChanged(span->from, span->to);
}

void OLTextStorage::removeAllAttributes()
{
    m_highlight.reset();
    m_foreground = OLRunList(m_text.size());
    m_background = OLRunList(m_text.size());
    m_fontTraits = OLRunList(m_text.size());
    noteChanged(0, m_text.size());
}

std::optional<OLColor> OLTextStorage::foregroundColorAt(qsizetype pos) const
{
    return colorFor(m_foreground.valueAt(pos));
}

std::optional<OLColor> OLTextStorage::backgroundColorAt(qsizetype pos) const
{
    return colorFor(m_background.valueAt(pos));
}

quint32 OLTextStorage::fontTraitsAt(qsizetype pos) const
{
    return m_fontTraits.valueAt(pos);
}

QList<OLTextStorage::Run> OLTextStorage::runs(qsizetype from, qsizetype to) const
{
    // Collect each attribute's runs, then cut at every boundary of any of them.
    struct Edge {
        qsizetype to;
        quint32 value;
    };
    std::vector<Edge> layers[3];
    const OLRunList *lists[3] = {&m_foreground, &m_background, &m_fontTraits};
    for (int l = 0; l < 3; ++l)
        lists[l]->forEach(from, to, [&](qsizetype, qsizetype b, quint32 v) { layers[l].push_back({b, v}); });

    QList<Run> result;
    std::size_t index[3] = {0, 0, 0};
    for (qsizetype pos = from; pos < to;) {
        const qsizetype end = std::min({layers[0][index[0]].to, layers[1][index[1]].to, layers[2][index[2]].to});
        result.append(Run{pos, end - pos, colorFor(layers[0][index[0]].value),
                          colorFor(layers[1][index[1]].value), layers[2][index[2]].value});
        for (int l = 0; l < 3; ++l) {
            if (layers[l][index[l]].to == end)
                ++index[l];
        }
        pos = end;
    }
    return result;
}

qsizetype OLTextStorage::attributeRunCount() const
{
    return m_foreground.runCount() + m_background.runCount() + m_fontTraits.runCount();
}

std::optional<OLTextStorage::Range> OLTextStorage::takeChangedRange()
{
    return std::exchange(m_changed, std::nullopt);
}

quint32 OLTextStorage::colorId(const std::optional<OLColor> &color)
{
    if (!color)
        return 0;
    // A handful of colours per style set: a linear search beats hashing.
    const auto it = std::find(m_palette.begin(), m_palette.end(), *color);
    if (it != m_palette.end())
        return quint32(it - m_palette.begin()) + 1;
    m_palette.push_back(*color);
    return quint32(m_palette.size());
}

std::optional<OLColor> OLTextStorage::colorFor(quint32 id) const
{
    if (id == 0)
        return std::nullopt;
    return m_palette[id - 1];
}

std::optional<OLRunList::Span> OLTextStorage::writeForeground(qsizetype from, qsizetype to,
                                                             std::span<const OLRunList::Piece> pieces)
{
    const auto span = m_foreground.assign(from, to, pieces);
    if (span)
        noteChanged(span->from, span->to);
    return span;
}

void OLTextStorage::noteChanged(qsizetype from, qsizetype to)
{
    if (m_changed) {
        from = qMin(from, m_changed->location);
        to = qMax(to, m_changed->end());
    }
    m_changed = Range{from, to - from};
}
