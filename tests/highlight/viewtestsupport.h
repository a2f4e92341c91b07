#pragma once

// Driving an OLTextView as a user does; shared by the text view, editor and console tests.

#include "highlight/OLTextView.h"

#include <QApplication>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QTest>

#include <memory>

// Selects from `anchor` to `position`; a bare cursor without `position`.
inline void select(QPlainTextEdit &view, int anchor, int position = -1)
{
    QTextCursor cursor = view.textCursor();
    cursor.setPosition(anchor);
    cursor.setPosition(position < 0 ? anchor : position, QTextCursor::KeepAnchor);
    view.setTextCursor(cursor);
}

// One way a user changes the text, at the view's cursor or selection: keys,
// or "drop" (of "D"), "input method" (a commit of "é"), or the context-menu
// entry of that name ("edit-cut", "edit-paste", "edit-delete", "edit-undo", "edit-redo").
struct UserEdit {
    UserEdit() = default;
    UserEdit(QKeySequence keys) : keys(keys) {}
    UserEdit(Qt::Key key) : keys(key) {}
    UserEdit(QKeySequence::StandardKey key) : keys(key) {}
    UserEdit(const char *other) : other(QString::fromUtf8(other)) {}

    // False when the way could not be taken (no such menu entry).
    bool apply(OLTextView &view) const
    {
        const QPoint at = view.cursorRect().center();
        if (other.isEmpty()) {
            QTest::keySequence(&view, keys);
        } else if (other == u"drop") {
            QMimeData data;
            data.setText(QStringLiteral("D"));
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(view.viewport(), &enter); // a drop goes only where the drag entered
            QApplication::sendEvent(view.viewport(), &drop);
        } else if (other == u"input method") {
            QInputMethodEvent event(QString(), {});
            event.setCommitString(QStringLiteral("é"));
            QApplication::sendEvent(&view, &event);
        } else {
            QContextMenuEvent event(QContextMenuEvent::Keyboard, at, view.viewport()->mapToGlobal(at));
            QApplication::sendEvent(view.viewport(), &event);
            const std::unique_ptr<QMenu> menu(view.findChild<QMenu *>());
            QAction *action = menu ? menu->findChild<QAction *>(other) : nullptr;
            if (!action)
                return false;
            action->setEnabled(true);
            action->trigger();
        }
        return true;
    }

    QKeySequence keys;
    QString other;
};
