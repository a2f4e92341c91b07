#pragma once

#include "highlight/OLSoftBreaks.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class OLDeferringLayout;
class OLTextStorage;

// The text view under both panes. Every way the user can change the text
// (typing, Enter, Backspace and Delete, cut, paste, drag and drop, undo and
// redo, input methods, the context menu) first asks `shouldChangeText` with
// the position where the affected range begins; a refused edit leaves the
// text as it was. Lines do not wrap unless the owner sets a wrap mode.
//
// The colours and font traits come from an OLTextStorage that the view keeps
// in step with its text and draws as layout formats, so colouring is never an
// edit of the document.
//
// A long line is held in pieces, each a block of the document (see
// OLSoftBreaks): the soft breaks between them are in the document and not in
// the text. The view's own interface (and the storage, and what is copied)
// speaks of text positions; the document and its cursors of document
// positions, which the view translates. A key that deletes next to a soft
// break deletes the text beside it.
class OLTextView : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit OLTextView(QWidget *parent = nullptr);

    // Consulted before every user edit; may have side effects of its own.
    std::function<bool(qsizetype location)> shouldChangeText;
    // Enter; answers whether it handled the key. Unset means a plain line break.
    std::function<bool()> insertNewline;
    // Told before text is typed, pasted or committed by an input method at
    // the selection, before the check; may move the cursor.
    std::function<void()> willInsertText;

    // Inserts at the selection through the typing path: consults the check
    // and ends in the usual change notification.
    bool insertTyped(const QString &text);
    // Types a line break and the tabs that begin the last line of `text`
    // (the view's text), wherever the cursor is.
    void insertNewlineKeepingTabs(QStringView text);
    // Replaces a range of the text without consulting the check. The lines
    // it moves are drawn with the next visible blocks, at the latest on the
    // next turn of the event loop.
    void replaceDirect(qsizetype location, qsizetype length, const QString &text);

    qsizetype textPosition(int documentPosition) const { return m_softBreaks.toText(documentPosition); }
    int documentPosition(qsizetype textPosition) const { return int(m_softBreaks.toDocument(textPosition)); }
    // Selects the text from `anchor` to `position`.
    void selectText(qsizetype anchor, qsizetype position);
    // The start of the selection, in the text.
    qsizetype selectionLocation() const;
    // End of the last block shown in the viewport, in the text.
    qsizetype visibleEnd() const { return textPosition(visibleDocumentEnd()); }
    // The lines of the text (the blocks of the document but for the pieces
    // of long lines), and the line, from 0, that holds a text position.
    qsizetype lineCount() const;
    qsizetype lineAt(qsizetype textPosition) const;
    qsizetype lineOf(const QTextBlock &block) const;
    // The column, from 0, of a text position in its line.
    qsizetype columnAt(qsizetype textPosition) const;
    // The block goes on with the line of the block before it.
    bool continuesLine(const QTextBlock &block) const;

    // The attributes to draw; the view does not own the storage.
    void setTextStorage(OLTextStorage *storage);
    // Draws what changed in the storage since the last call: the visible
    // blocks at once, the rest in idle slices of a few milliseconds.
    void renderStorageChanges();
    // The same, but the visible blocks are drawn at the next frame, so that
    // changes that come faster than frames (the marks of a running
    // evaluation) are drawn together, and after the work that caused them.
    void renderStorageChangesInFrame();
    // Draws the storage's changes in the last blocks, as many as the
    // viewport holds, before anything measures text just appended: formats
    // set on a block laid out have it laid out again, so this way each new
    // line is laid out once, with them.
    void renderAppendedStorageChanges();
    // Takes note of what changed in the storage, to be drawn with the next
    // drawing of the blocks it is in.
    void markStorageChanges();
    // Whether every change has been drawn (the idle slices and the frame
    // are done).
    bool isRenderingComplete() const { return m_dirty.empty() && !m_frameRender->isActive() && m_movedFrom < 0; }
    // Whether a large paste goes in slice by slice between events, so that
    // the window goes on answering (for a view without undo: each slice is
    // an edit of its own). Keys pressed meanwhile wait for the paste; any
    // other edit, and a direct replacement, first completes it.
    void setInsertsInSlices(bool slices) { m_insertsInSlices = slices; }
    bool isInserting() const { return !m_insertion.text.isEmpty(); }
    void finishInsertion();
    // The end of a slice of `text` from `from`, of about `length` units:
    // after its last line feed where it has one, never inside a surrogate
    // pair or a CR LF.
    static qsizetype sliceEnd(QStringView text, qsizetype from, qsizetype length);
    // While held, direct replacements leave the scroll bars as they are;
    // releasing them measures the text once. (A change that moves the
    // lines in view, such as a cut at the start of the text, otherwise has
    // the view scroll, and lay out those lines, each time.)
    void setScrollBarsHeld(bool held);
    // Whether the blocks out of sight are drawn ahead in idle slices (the
    // default). Without, each block is drawn as it comes into view, so a
    // console flooded with output lays out only what is shown.
    void setRendersAhead(bool ahead) { m_rendersAhead = ahead; }

    // Guarded edit commands for menus and the context menu.
    void guardedCut();
    void guardedPaste();
    void guardedDelete();
    void guardedUndo();
    void guardedRedo();

Q_SIGNALS:
    // Every change of the text, direct replacements included, in document
    // order; the panes keep their attribute storage in step with it.
    void contentsEdited(qsizetype position, qsizetype removed, qsizetype added);
    // After every change made through the typing path or another user edit.
    void textDidChange();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
    QMimeData *createMimeDataFromSelection() const override;
    void dropEvent(QDropEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    bool allows(qsizetype location) const;
    // Inserts at the cursor, in place of its selection, with soft breaks in
    // lines that would grow too long.
    void insertText(QTextCursor &cursor, const QString &text);
    // Cuts the block into pieces when an input method made it too long (an
    // undo step of its own).
    void cutLongBlock(const QTextBlock &block);
    // The length of the pieces of long lines, by the wrap mode.
    qsizetype pieceLength() const;
    // Goes on with the paste for about `budgetNs` (all of it when negative).
    void insertSlices(qint64 budgetNs);
    // The text of the document range [from, to).
    QString textBetween(int from, int to) const;
    // A key that deletes next to a soft break moves the cursor over it first.
    void stepOverSoftBreak(QKeyEvent *event);
    // Start of the range a key press would change, or -1 when it changes none.
    qsizetype editStartForKey(QKeyEvent *event) const;
    void undoOrRedo(bool undo);
    void forwardContentsChange(int position, int removed, int added);
    void markDirty(qsizetype from, qsizetype to);
    // Moves the marks of blocks not drawn yet along with a text edit.
    void shiftDirty(qsizetype position, qsizetype removed, qsizetype added);
    struct Span {
        qsizetype from;
        qsizetype to;
    };
    // The blocks in the viewport, and some more below.
    Span nearViewport() const;
    int blocksInViewport() const;
    int visibleDocumentEnd() const;
    // Draws the dirty blocks that meet [from, to) and drops them from m_dirty;
    // false when the budget ran out first.
    bool renderDirty(qsizetype from, qsizetype to, qint64 budgetNs = -1);
    void renderVisible();
    void renderIdleSlice();
    // Whether the block's formats changed.
    bool renderBlock(const QTextBlock &block);
    // Draws again the lines of the blocks from `first` to `last` that are in
    // the viewport; an invalid `first` stands for the top, an invalid `last`
    // for the bottom.
    void redrawLines(const QTextBlock &first, const QTextBlock &last);

    enum class HistoryProbe { None, Checking, Allowed, Refused };
    HistoryProbe m_probe = HistoryProbe::None;
    bool m_direct = false;
    bool m_scrollBarsHeld = false;
    OLDeferringLayout *m_layout;
    OLSoftBreaks m_softBreaks;
    int m_documentLength = 0; // as the last change left it
    // The change being made adds soft breaks: the view's own, or undo and
    // redo, which bring back the soft breaks they took.
    bool m_addsSoftBreaks = false;
    bool m_inHistory = false;
    // The text that insertText() puts in, for the change it is about to make.
    // A shared copy, not a pointer: a drop ends its edit block (and so
    // reports the change) after the text it inserted is gone.
    struct Inserted {
        QString text;
        int position;
        int length; // in the document, soft breaks included
    };
    std::optional<Inserted> m_inserted;
    bool m_insertsInSlices = false;
    struct Insertion {
        QString text;
        qsizetype done = 0;
        QTextCursor cursor; // where the rest goes
    };
    Insertion m_insertion;
    QTimer *m_insertionSlices;
    std::vector<std::unique_ptr<QKeyEvent>> m_waitingKeys;

    OLTextStorage *m_storage = nullptr;
    std::vector<Span> m_dirty; // document positions, sorted, disjoint
    QTimer *m_idleRender;
    QTimer *m_frameRender;     // runs while the viewport waits for its frame
    QElapsedTimer m_sinceFrame; // since the viewport was last drawn for a frame
    qsizetype m_movedFrom = -1; // text from here down moved and is not drawn yet
    bool m_rendersAhead = true;
};
