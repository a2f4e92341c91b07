#pragma once

#include "highlight/OLTextStorage.h"

#include <QDeadlineTimer>

#include <limits>
#include <vector>

// Colour ids (of one text storage's palette) of a style set.
struct OLHighlightColors {
    quint32 reg = 0;
    quint32 key = 0;
    quint32 str = 0;
    quint32 com = 0;
    quint32 err = 0;
    friend bool operator==(const OLHighlightColors &, const OLHighlightColors &) = default;
};

// Keeps the colouring of [location, end of text) up to date at the cost of
// what changed. With the range reaching the end of the text, the keyword and
// strings-and-comments passes give a pure function of the text from
// `location` on: words are local, and the strings and comments come from a
// left-to-right scan whose state (outside, in a string, in a comment of some
// depth) is recorded at checkpoints. After an edit the scan restarts at the
// checkpoint before it and stops at the first old checkpoint after it whose
// state it meets again; from there on the old colours are still right.
//
// The state lives in the text storage, which reports its text edits and all
// other foreground writes here.
class OLIncrementalHighlight
{
public:
    OLIncrementalHighlight(qsizetype location, const OLHighlightColors &colors);

    const OLHighlightColors &colors() const { return m_colors; }
    // True while a sliced colouring has stopped before its end.
    bool isPending() const { return m_pending; }
    // The first position whose colour may be out of date: a string or
    // comment that runs into an edit may change from its start on.
    qsizetype firstUnsettled() const;

    // The colouring to keep from now on starts at `location`.
    void retarget(qsizetype location);
    // Colours what is out of date. Stops early only at a point past
    // `settledUntil` once `deadline` has expired; then the work is pending.
    std::optional<OLTextStorage::Range> run(OLTextStorage &storage, qsizetype settledUntil,
                                            const QDeadlineTimer &deadline);

    void textReplaced(qsizetype location, qsizetype removed, qsizetype inserted);
    // Another writer changed the foreground over [from, to).
    void foregroundChanged(qsizetype from, qsizetype to);

    enum class Mode : quint8 { Outside, String, Comment };
    struct State {
        Mode mode = Mode::Outside;
        qsizetype depth = 0;     // of a comment
        qsizetype spanStart = 0; // of the string or comment
        // Equal states scan the rest of the text alike.
        bool sameCourse(const State &o) const { return mode == o.mode && depth == o.depth; }
    };
    struct Checkpoint {
        qsizetype pos;
        State state;
    };

private:
    struct Resume {
        std::size_t kept; // checkpoints before the resume point, itself included
        qsizetype pos;
        State state;
    };
    Resume resumePoint() const;

    static constexpr qsizetype clean = std::numeric_limits<qsizetype>::max();

    bool isDirty() const { return m_staleFrom != clean; }

    qsizetype m_location;
    OLHighlightColors m_colors;
    // Sorted; at positions after a separator, so no word crosses them.
    // Those before m_staleFrom hold the true scan state; the later ones hold
    // the state of the scan that wrote the colours there.
    std::vector<Checkpoint> m_checkpoints;
    // Where the text or colours changed first since the last complete scan;
    // `clean` when nothing did.
    qsizetype m_staleFrom;
    // The scan may take over old colours only from here on.
    qsizetype m_convergeFrom;
    bool m_pending = false;
    // Marks the span start of checkpoints whose opener an edit removed; each
    // edit takes a new value, so no two spans share one.
    qsizetype m_lostStart = -1;
};
