#include "highlight/OLTextView.h"

#include "highlight/OLTextStorage.h"
#include "prefs/OLQtColor.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextLayout>
#include <QtMath>

namespace {
// Translucent marks are drawn run by run; where two runs meet, their
// antialiased edges overlap and show a seam. Blending with the base colour
// first gives the same look without the seams.
QColor blendedOver(const QColor &base, const QColor &mark)
{
    const float a = mark.alphaF();
    return QColor::fromRgbF(mark.redF() * a + base.redF() * (1 - a), mark.greenF() * a + base.greenF() * (1 - a),
                            mark.blueF() * a + base.blueF() * (1 - a));
}

// One idle slice of drawing, with a pane's colouring slice and the drawing
// of the viewport it leaves in the same turn of the event loop, stays under
// 5 ms.
constexpr qint64 idleSliceNs = 2'500'000;
// Changes drawn in frames are drawn at most this often.
constexpr qint64 frameMs = 16;

// Whether the key types its text.
bool typesText(const QKeyEvent *event)
{
    const QString text = event->text();
    return !text.isEmpty()
        && std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isPrint() || c == u'\t'; })
        && !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
}
} // namespace

OLTextView::OLTextView(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::NoWrap);
    connect(document(), &QTextDocument::contentsChange, this, &OLTextView::forwardContentsChange);
    m_idleRender = new QTimer(this);
    m_idleRender->setSingleShot(true);
    m_idleRender->setInterval(0);
    connect(m_idleRender, &QTimer::timeout, this, &OLTextView::renderIdleSlice);
    m_frameRender = new QTimer(this);
    m_frameRender->setSingleShot(true);
    m_frameRender->setTimerType(Qt::PreciseTimer);
    connect(m_frameRender, &QTimer::timeout, this, &OLTextView::renderVisible);
    m_sinceFrame.start();
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &OLTextView::renderVisible);
}

void OLTextView::setTextStorage(OLTextStorage *storage)
{
    m_storage = storage;
    m_dirty.clear();
    if (storage)
        markDirty(0, document()->characterCount());
    renderVisible();
}

void OLTextView::renderStorageChanges()
{
    if (!m_storage)
        return;
    markChangedRange();
    renderVisible();
}

void OLTextView::renderStorageChangesInFrame()
{
    if (!m_storage)
        return;
    if (!m_frameRender->isActive())
        m_frameRender->start(int(qMax<qint64>(0, frameMs - m_sinceFrame.elapsed())));
    markChangedRange();
}

void OLTextView::markChangedRange()
{
    if (const auto changed = m_storage->takeChangedRange())
        markDirty(changed->location, changed->end());
}

void OLTextView::markDirty(qsizetype from, qsizetype to)
{
    // Whole blocks; an empty range still names the block it lies in.
    const QTextBlock first = document()->findBlock(int(from));
    const QTextBlock last = document()->findBlock(int(qMax(from, to - 1)));
    if (!first.isValid())
        return;
    from = first.position();
    to = last.isValid() ? last.position() + last.length() : document()->characterCount();
    // Merge into the sorted, disjoint list.
    auto it = std::lower_bound(m_dirty.begin(), m_dirty.end(), from,
                               [](const Span &s, qsizetype pos) { return s.to < pos; });
    auto end = it;
    while (end != m_dirty.end() && end->from <= to) {
        from = qMin(from, end->from);
        to = qMax(to, end->to);
        ++end;
    }
    it = m_dirty.erase(it, end);
    m_dirty.insert(it, Span{from, to});
    // Behind a frame, the blocks out of sight follow the frame.
    if (m_rendersAhead && !m_idleRender->isActive() && !m_frameRender->isActive())
        m_idleRender->start();
}

bool OLTextView::renderDirty(qsizetype from, qsizetype to, qint64 budgetNs)
{
    QElapsedTimer clock;
    clock.start();
    const Span near = nearViewport();
    // The blocks drawn anew that may be in view are drawn again there, in one.
    QTextBlock firstNear, lastNear;
    bool complete = true;
    auto it = std::lower_bound(m_dirty.begin(), m_dirty.end(), from,
                               [](const Span &s, qsizetype pos) { return s.to <= pos; });
    while (it != m_dirty.end() && it->from < to) {
        const qsizetype begin = qMax(it->from, from);
        const qsizetype stop = qMin(it->to, to);
        qsizetype done = begin;
        for (QTextBlock block = document()->findBlock(int(begin)); block.isValid() && done < stop;
             block = block.next()) {
            if (renderBlock(block) && block.position() < near.to && block.position() + block.length() > near.from) {
                if (!firstNear.isValid())
                    firstNear = block;
                lastNear = block;
            }
            done = block.position() + block.length();
            if (budgetNs >= 0 && clock.nsecsElapsed() > budgetNs)
                break;
        }
        done = qMin(done, stop);
        // Keep what is left of this span on either side of [begin, done).
        const Span span = *it;
        it = m_dirty.erase(it);
        if (done < span.to)
            it = m_dirty.insert(it, Span{done, span.to});
        if (span.from < begin)
            it = std::next(m_dirty.insert(it, Span{span.from, begin}));
        if (budgetNs >= 0 && clock.nsecsElapsed() > budgetNs) {
            complete = false;
            break;
        }
        if (done < span.to)
            ++it;
    }
    if (firstNear.isValid())
        redrawLines(firstNear, lastNear);
    return complete;
}

void OLTextView::redrawLines(const QTextBlock &first, const QTextBlock &last)
{
    const QTextBlock top = firstVisibleBlock();
    if (!top.isValid() || (last.isValid() && last.blockNumber() < top.blockNumber()))
        return;
    // Measured from the top of the viewport at most, down to its bottom at
    // most: blocks out of sight are not laid out for this.
    QTextBlock block = first.isValid() && first.blockNumber() > top.blockNumber() ? first : top;
    const qreal from = blockBoundingGeometry(block).translated(contentOffset()).top();
    const qreal height = viewport()->height();
    qreal to = from;
    if (!last.isValid())
        to = height;
    for (; last.isValid() && block.isValid() && to < height; block = block.next()) {
        to += blockBoundingRect(block).height();
        if (block == last)
            break;
    }
    const QRect lines = QRect(0, qFloor(from), viewport()->width(), qCeil(to) - qFloor(from)) & viewport()->rect();
    if (!lines.isEmpty())
        viewport()->update(lines);
}

OLTextView::Span OLTextView::nearViewport() const
{
    // Lines never wrap, so no more blocks fit in the viewport than lines of
    // half the font's height; counting blocks costs nothing like measuring
    // them.
    const QTextBlock first = firstVisibleBlock();
    if (!first.isValid())
        return {0, 0};
    const int fit = int(2 * viewport()->height() / QFontMetricsF(font()).height()) + 2;
    const QTextBlock last = document()->findBlockByNumber(first.blockNumber() + fit);
    return {first.position(), last.isValid() ? last.position() + last.length() : document()->characterCount()};
}

void OLTextView::renderVisible()
{
    m_frameRender->stop();
    m_sinceFrame.restart();
    if (m_movedFrom >= 0) {
        // A position past the end finds no block: all is drawn again.
        redrawLines(document()->findBlock(int(std::exchange(m_movedFrom, -1))), QTextBlock());
    }
    if (!m_storage || m_dirty.empty())
        return;
    const QTextBlock first = firstVisibleBlock();
    if (first.isValid())
        renderDirty(first.position(), visibleEnd());
    // Idle slices may have stopped at the blocks that waited for the frame.
    if (m_rendersAhead && !m_dirty.empty() && !m_idleRender->isActive())
        m_idleRender->start();
}

qsizetype OLTextView::visibleEnd() const
{
    // Walk down from the first visible block; no cursor is made, so a layout
    // that is still catching up with an edit is never asked for a position.
    QTextBlock block = firstVisibleBlock();
    if (!block.isValid())
        return document()->characterCount();
    qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
    const qreal bottom = viewport()->height();
    qsizetype end = block.position() + block.length();
    for (; block.isValid() && top <= bottom; block = block.next()) {
        end = block.position() + block.length();
        top += blockBoundingRect(block).height();
    }
    return end;
}

void OLTextView::renderIdleSlice()
{
    if (!m_storage || m_dirty.empty())
        return;
    const qsizetype end = document()->characterCount();
    if (!m_frameRender->isActive()) {
        renderDirty(m_dirty.front().from, end, idleSliceNs);
        if (!m_dirty.empty())
            m_idleRender->start();
        return;
    }
    // The viewport waits for its frame: only the blocks out of sight now.
    QElapsedTimer clock;
    clock.start();
    const Span near = nearViewport();
    if (renderDirty(0, near.from, idleSliceNs))
        renderDirty(near.to, end, qMax<qint64>(0, idleSliceNs - clock.nsecsElapsed()));
    if (!m_dirty.empty() && (m_dirty.front().from < near.from || m_dirty.back().to > near.to))
        m_idleRender->start();
}

bool OLTextView::renderBlock(const QTextBlock &block)
{
    const qsizetype start = block.position();
    const qsizetype end = qMin<qsizetype>(start + block.length() - 1, m_storage->length());
    const QColor base = palette().base().color();
    QList<QTextLayout::FormatRange> formats;
    if (start < end) {
        for (const OLTextStorage::Run &run : m_storage->runs(start, end)) {
            if (!run.foreground && !run.background && !run.fontTraits)
                continue;
            QTextLayout::FormatRange range;
            range.start = int(run.location - start);
            range.length = int(run.length);
            if (run.foreground)
                range.format.setForeground(toQColor(*run.foreground));
            if (run.background)
                range.format.setBackground(blendedOver(base, toQColor(*run.background)));
            if (run.fontTraits & OLTextStorage::Bold)
                range.format.setFontWeight(QFont::Bold);
            if (run.fontTraits & OLTextStorage::Italic)
                range.format.setFontItalic(true);
            formats.append(range);
        }
    }
    QTextLayout *layout = block.layout();
    if (formats.isEmpty() && layout->formats().isEmpty())
        return false;
    layout->setFormats(formats);
    // The document's layout takes this for a change that may move the blocks
    // below and would have the whole viewport drawn again. The block is laid
    // out anew when it is drawn, and the caller has only it drawn.
    const QSignalBlocker quiet(document()->documentLayout());
    document()->markContentsDirty(block.position(), block.length());
    return true;
}

bool OLTextView::allows(qsizetype location) const
{
    return !shouldChangeText || shouldChangeText(location);
}

qsizetype OLTextView::selectionLocation() const
{
    return textCursor().selectionStart();
}

bool OLTextView::insertTyped(const QString &text)
{
    if (!allows(selectionLocation()))
        return false;
    textCursor().insertText(text);
    ensureCursorVisible();
    return true;
}

void OLTextView::replaceDirect(qsizetype location, qsizetype length, const QString &text)
{
    const QScopedValueRollback direct(m_direct, true);
    QTextCursor cursor(document());
    cursor.setPosition(int(location));
    cursor.setPosition(int(location + length), QTextCursor::KeepAnchor);
    // The document's layout has the whole viewport drawn again after any
    // change of more than one line. Only the lines from the change down can
    // have moved: output added at the end of the console draws the new lines
    // only (what scrolls is moved, not drawn). The viewport is drawn from
    // the highest change down when it is next drawn, so a run of changes
    // (the pieces of output of one frame) measures the lines once.
    QAbstractTextDocumentLayout *layout = document()->documentLayout();
    const QSizeF size = layout->documentSize();
    {
        const QSignalBlocker quiet(layout);
        cursor.insertText(text);
    }
    if (layout->documentSize() != size)
        Q_EMIT layout->documentSizeChanged(layout->documentSize());
    m_movedFrom = m_movedFrom < 0 ? location : qMin(m_movedFrom, location);
    if (!m_frameRender->isActive())
        m_frameRender->start(0);
}

void OLTextView::forwardContentsChange(int position, int removed, int added)
{
    // Only an undo or redo reaches here unchecked: ask now, at the first
    // change it makes, and take it back below when refused.
    if (m_probe == HistoryProbe::Checking)
        m_probe = allows(position) ? HistoryProbe::Allowed : HistoryProbe::Refused;
    if (m_probe == HistoryProbe::Refused)
        return;
    if (m_storage) {
        // Whole-document changes count the final block separator, which
        // the plain text does not hold.
        const int textEnd = document()->characterCount() - 1;
        const int addedEnd = qMin(position + added, textEnd);
        QTextCursor inserted(document());
        inserted.setPosition(position);
        inserted.setPosition(addedEnd, QTextCursor::KeepAnchor);
        QString text = inserted.selectedText();
        text.replace(QChar::ParagraphSeparator, u'\n');
        const qsizetype removedInStorage = qMin<qsizetype>(removed, m_storage->length() - position);
        m_storage->replaceCharacters(position, removedInStorage, text);
        shiftDirty(position, removedInStorage, text.size());
    }
    Q_EMIT contentsEdited(position, removed, added);
    if (!m_direct)
        Q_EMIT textDidChange();
}

void OLTextView::shiftDirty(qsizetype position, qsizetype removed, qsizetype added)
{
    // Blocks not drawn yet stay marked where their text now is.
    const qsizetype removedEnd = position + removed;
    const auto shift = [&](qsizetype p) {
        return p <= position ? p : p >= removedEnd ? p + added - removed : position + added;
    };
    std::vector<Span> moved;
    moved.reserve(m_dirty.size());
    for (const Span &span : m_dirty) {
        if (const Span s{shift(span.from), shift(span.to)}; s.from < s.to)
            moved.push_back(s);
    }
    m_dirty = std::move(moved);
}

void OLTextView::undoOrRedo(bool undo)
{
    if (undo ? !document()->isUndoAvailable() : !document()->isRedoAvailable())
        return;
    m_probe = HistoryProbe::Checking;
    if (undo)
        document()->undo();
    else
        document()->redo();
    if (m_probe == HistoryProbe::Refused) {
        if (undo)
            document()->redo();
        else
            document()->undo();
    }
    m_probe = HistoryProbe::None;
}

void OLTextView::guardedUndo() { undoOrRedo(true); }
void OLTextView::guardedRedo() { undoOrRedo(false); }

void OLTextView::guardedCut()
{
    if (isReadOnly() || !textCursor().hasSelection() || !allows(selectionLocation()))
        return;
    cut();
}

void OLTextView::guardedPaste()
{
    if (!isReadOnly() && canPaste())
        paste(); // checked in insertFromMimeData
}

void OLTextView::guardedDelete()
{
    QTextCursor cursor = textCursor();
    if (isReadOnly() || !cursor.hasSelection() || !allows(cursor.selectionStart()))
        return;
    cursor.removeSelectedText();
}

qsizetype OLTextView::editStartForKey(QKeyEvent *event) const
{
    const QTextCursor cursor = textCursor();
    const bool deletesBack = event->matches(QKeySequence::DeleteStartOfWord)
        || (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)));
    const bool deletesForward = event->matches(QKeySequence::Delete)
        || event->matches(QKeySequence::DeleteEndOfWord) || event->matches(QKeySequence::DeleteEndOfLine)
        || event->matches(QKeySequence::DeleteCompleteLine);
    const bool cuts = event->matches(QKeySequence::Cut);
    const bool types = typesText(event);

    if (!deletesBack && !deletesForward && !cuts && !types)
        return -1;
    if (cursor.hasSelection())
        return cursor.selectionStart();
    if (cuts)
        return -1;
    if (deletesBack) {
        if (event->matches(QKeySequence::DeleteStartOfWord)) {
            QTextCursor word = cursor;
            word.movePosition(QTextCursor::PreviousWord);
            return word.position();
        }
        return cursor.position() > 0 ? cursor.position() - 1 : -1;
    }
    if (event->matches(QKeySequence::DeleteCompleteLine))
        return cursor.block().position();
    return cursor.position();
}

void OLTextView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
        if (!isReadOnly())
            undoOrRedo(event->matches(QKeySequence::Undo));
        event->accept();
        return;
    }
    const bool enter = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (enter && !isReadOnly()) {
        if (!insertNewline || !insertNewline())
            insertTyped(QStringLiteral("\n"));
        event->accept();
        return;
    }
    if (!isReadOnly()) {
        if (willInsertText && typesText(event))
            willInsertText();
        const qsizetype start = editStartForKey(event);
        if (start >= 0 && !allows(start)) {
            event->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void OLTextView::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    // A taller view shows blocks that may not be drawn yet.
    renderVisible();
}

void OLTextView::inputMethodEvent(QInputMethodEvent *event)
{
    const bool edits = !event->commitString().isEmpty() || !event->preeditString().isEmpty()
        || event->replacementLength() > 0;
    if (edits && !isReadOnly() && willInsertText)
        willInsertText();
    if (edits && !isReadOnly() && !allows(selectionLocation())) {
        event->accept();
        return;
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void OLTextView::insertFromMimeData(const QMimeData *source)
{
    if (willInsertText)
        willInsertText();
    if (allows(selectionLocation()))
        QPlainTextEdit::insertFromMimeData(source);
}

void OLTextView::dropEvent(QDropEvent *event)
{
    // A move within the view also removes the dragged selection.
    const qsizetype target = cursorForPosition(event->position().toPoint()).position();
    const bool movesOwnText = event->source() == this && event->proposedAction() == Qt::MoveAction;
    if (isReadOnly() || !allows(target) || (movesOwnText && !allows(selectionLocation()))) {
        event->ignore();
        return;
    }
    QPlainTextEdit::dropEvent(event);
}

void OLTextView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu(event->pos());
    // Route the editing entries through the guarded commands.
    const std::pair<const char *, void (OLTextView::*)()> guarded[] = {
        {"edit-undo", &OLTextView::guardedUndo}, {"edit-redo", &OLTextView::guardedRedo},
        {"edit-cut", &OLTextView::guardedCut},   {"edit-paste", &OLTextView::guardedPaste},
        {"edit-delete", &OLTextView::guardedDelete}};
    for (QAction *action : menu->actions()) {
        for (const auto &[name, command] : guarded) {
            if (action->objectName() == QLatin1StringView(name)) {
                action->disconnect();
                connect(action, &QAction::triggered, this, command);
            }
        }
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
