#include "highlight/OLTextView.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QTextBlock>

OLTextView::OLTextView(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::NoWrap);
    connect(document(), &QTextDocument::contentsChange, this, &OLTextView::forwardContentsChange);
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
    cursor.insertText(text);
}

void OLTextView::forwardContentsChange(int position, int removed, int added)
{
    // Only an undo or redo reaches here unchecked: ask now, at the first
    // change it makes, and take it back below when refused.
    if (m_probe == HistoryProbe::Checking)
        m_probe = allows(position) ? HistoryProbe::Allowed : HistoryProbe::Refused;
    if (m_probe == HistoryProbe::Refused)
        return;
    Q_EMIT contentsEdited(position, removed, added);
    if (!m_direct)
        Q_EMIT textDidChange();
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
    const QString text = event->text();
    const bool types = !text.isEmpty()
        && std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isPrint() || c == u'\t'; })
        && !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));

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
        const qsizetype start = editStartForKey(event);
        if (start >= 0 && !allows(start)) {
            event->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void OLTextView::inputMethodEvent(QInputMethodEvent *event)
{
    const bool edits = !event->commitString().isEmpty() || !event->preeditString().isEmpty()
        || event->replacementLength() > 0;
    if (edits && !isReadOnly() && !allows(selectionLocation())) {
        event->accept();
        return;
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void OLTextView::insertFromMimeData(const QMimeData *source)
{
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
