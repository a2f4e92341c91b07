#pragma once

#include "highlight/OLRunList.h"
#include "settings/OLColor.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class OLIncrementalHighlight;

// The text of a pane with its foreground colour, background colour and font
// traits over UTF-16 ranges. The panes render it (the attributes are drawn as
// formats, never written into the document), so colouring is no edit: it
// makes no undo step and changes neither the text nor any edited mark.
//
// Each attribute is kept as runs (see OLRunList): the runs within [a, b) are
// found in O(log n + k), and a text edit shifts the attributes after it.
// Attribute changes and text edits are summed up in one changed range, which
// the pane takes after each update to re-render only the blocks it covers.
class OLTextStorage
{
public:
    struct Range {
        qsizetype location = 0;
        qsizetype length = 0;
        qsizetype end() const { return location + length; }
        friend bool operator==(const Range &, const Range &) = default;
    };

    // Font traits as stored per unit.
    enum FontTrait : quint32 { Italic = 1, Bold = 2 };

    // The attributes of one stretch of text; neighbours always differ.
    struct Run {
        qsizetype location = 0;
        qsizetype length = 0;
        std::optional<OLColor> foreground;
        std::optional<OLColor> background;
        quint32 fontTraits = 0;
        friend bool operator==(const Run &, const Run &) = default;
    };

    explicit OLTextStorage(const QString &text = QString());
    ~OLTextStorage();
    OLTextStorage(const OLTextStorage &) = delete;
    OLTextStorage &operator=(const OLTextStorage &) = delete;

    const QString &string() const { return m_text; }
    qsizetype length() const { return m_text.size(); }

    // The text edit: [location, location + length) becomes `string`, whose
    // units start without attributes; everything after it shifts.
    void replaceCharacters(qsizetype location, qsizetype length, const QString &string);
    // Room for a text of this length, so that one growing by pieces is not
    // copied each time its string doubles.
    void reserve(qsizetype length) { m_text.reserve(length); }

    // An absent colour removes the attribute.
    void setForegroundColor(Range range, const std::optional<OLColor> &color);
    void setBackgroundColor(Range range, const std::optional<OLColor> &color);
    // Applies a font-trait mask (OLFontTrait bits): italic and bold are added,
    // "not italic" and "not bold" removed.
    void addFontTraits(Range range, qint64 mask);
    // Every colour and trait of the whole text goes.
    void removeAllAttributes();

    std::optional<OLColor> foregroundColorAt(qsizetype pos) const;
    std::optional<OLColor> backgroundColorAt(qsizetype pos) const;
    quint32 fontTraitsAt(qsizetype pos) const;

    // The attribute runs within [from, to), clipped to it.
    QList<Run> runs(qsizetype from, qsizetype to) const;
    // Runs held by the three attributes together.
    qsizetype attributeRunCount() const;

    // The range whose attributes or text changed since the last call, in
    // current positions; an edit that only removed text leaves an empty range
    // at its place. Nothing when nothing changed.
    std::optional<Range> takeChangedRange();

private:
    friend class OLIncrementalHighlight;
    friend class OLSyntaxHighlighter;

    quint32 colorId(const std::optional<OLColor> &color);
    std::optional<OLColor> colorFor(quint32 id) const;
    quint32 foregroundIdAt(qsizetype pos) const { return m_foreground.valueAt(pos); }
    // The highlighter's own writes: they keep its incremental state valid.
    std::optional<OLRunList::Span> writeForeground(qsizetype from, qsizetype to,
                                                   std::span<const OLRunList::Piece> pieces);
    void noteChanged(qsizetype from, qsizetype to);

    QString m_text;
    OLRunList m_foreground;
    OLRunList m_background;
    OLRunList m_fontTraits;
    // Colour ids index this list plus one; 0 is no colour.
    std::vector<OLColor> m_palette;
    std::optional<Range> m_changed;
    std::unique_ptr<OLIncrementalHighlight> m_highlight;
};
