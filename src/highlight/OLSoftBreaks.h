#pragma once

#include <QStringView>

#include <vector>

// A text view lays out each block of its document whole whenever it changes,
// at a cost that grows with the block (about 0.2 ms per 1,000 units here): a
// line of megabytes would take seconds per keystroke. So the view holds a
// long line as several blocks: its document has a block separator, a soft
// break, after each piece, and the text has none there.
//
// This is the record of the soft breaks of one document, by their document
// positions, and the translation between document positions (which count
// them) and text positions (which do not). A text position where a soft break
// stands maps to the document position before it, at the end of the piece.
class OLSoftBreaks
{
public:
    // Long text is cut into pieces of a length, at white space where there
    // is some near the cut; a block may grow to twice that by edits before
    // it is cut again. A view that does not wrap draws every unit of each
    // block in view, shaped anew for each paint, so its pieces are short; a
    // wrapping view shows a cut as an early wrap, so its pieces are long.
    static constexpr qsizetype unwrappedPieceLength = 1024;
    static constexpr qsizetype wrappedPieceLength = 4096;

    bool isEmpty() const { return m_positions.empty(); }
    qsizetype count() const { return qsizetype(m_positions.size()); }
    // The document position of the i-th soft break.
    qsizetype at(qsizetype i) const { return m_positions[size_t(i)]; }
    // Soft breaks at document positions before `documentPosition`.
    qsizetype countBefore(qsizetype documentPosition) const;
    bool isBreakAt(qsizetype documentPosition) const;

    qsizetype toText(qsizetype documentPosition) const { return documentPosition - countBefore(documentPosition); }
    qsizetype toDocument(qsizetype textPosition) const;

    // The document changed: the soft breaks in the removed part are gone,
    // those after it moved.
    void replaced(qsizetype documentPosition, qsizetype removed, qsizetype added);
    // A soft break now stands at this document position.
    void add(qsizetype documentPosition);

    // Where soft breaks go in `text`, inserted into a block after `before`
    // units of it and before `after` units of it: offsets into `text`, a
    // break standing before the unit at its offset (`text.size()`: after the
    // text). A line that fits in twice `pieceLength` is left whole; a longer
    // one is cut into pieces of `pieceLength` units (the last of up to twice
    // that), and the block's old units stay joined to the text's only while
    // the block fits.
    static std::vector<qsizetype> breaksFor(QStringView text, qsizetype before, qsizetype after,
                                            qsizetype pieceLength);

private:
    std::vector<qsizetype> m_positions; // sorted
};
