#include "highlight/OLSoftBreaks.h"
#include "highlight/OLTextStorage.h"
#include "viewtestsupport.h"

#include <QClipboard>
#include <QTextBlock>

namespace {
// A view over its storage.
struct View {
    explicit View(const QString &text = QString())
    {
        view.setTextStorage(&storage);
        view.setPlainText(text);
    }

    OLTextView view;
    OLTextStorage storage;
};
} // namespace

class TestTextView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every way of editing that begins before a protected boundary is
    // refused: here the first five units of "fixedinput". What is let
    // through reaches the storage (a drop reports its change late).
    void edits()
    {
        const QString same = QStringLiteral("fixedinput");
        const struct { int cursor, selectTo; UserEdit edit; QString expected; } rows[] = { // selectTo -1: no selection
            {2, -1, Qt::Key_X, same}, {5, -1, Qt::Key_X, "fixedxinput"}, {0, -1, Qt::Key_Tab, same}, {5, -1, Qt::Key_Backspace, same},
            {6, -1, Qt::Key_Backspace, "fixednput"}, {4, -1, Qt::Key_Delete, same}, {5, -1, Qt::Key_Delete, "fixednput"},
            {7, -1, QKeySequence::DeleteStartOfWord, same}, {3, 7, Qt::Key_X, same}, {3, 7, QKeySequence::Cut, same},
            {2, -1, QKeySequence::Paste, same}, {2, -1, "edit-paste", same}, {10, -1, "edit-paste", "fixedinputP"}, {1, 3, "edit-cut", same},
            {1, 6, "edit-delete", same}, {6, 8, "edit-delete", "fixediut"}, {1, -1, "input method", same},
            {7, -1, "input method", "fixedin\u00e9put"}, {2, -1, "drop", same}, {7, -1, "drop", "fixedinDput"}};
        for (const auto &[cursor, selectTo, edit, expected] : rows) {
            View v(same);
            v.view.shouldChangeText = [](qsizetype location) { return location >= 5; };
            QGuiApplication::clipboard()->setText(QStringLiteral("P"));
            select(v.view, cursor, selectTo);
            QVERIFY(edit.apply(v.view));
            QVERIFY2(v.view.toPlainText() == expected && v.storage.string() == expected, qPrintable(QStringLiteral("%1 at %2: %3").arg(edit.keys.toString(), edit.other).arg(cursor).arg(v.storage.string())));
        }
    }

    // A long line is held in pieces, its soft breaks never in the text: the
    // keys beside a break act on the text, a copy is the text, undo and redo
    // bring the breaks back. The edit is made at the first break, from the
    // end of its piece or the start of the next, and replaces `removed`
    // units from the break on (`from` units away) with `inserted`.
    void softBreaksStayOutOfTheText()
    {
        const struct { bool nextPiece; int selection; UserEdit edit; int from, removed; QString inserted; } rows[] = { // selection: units either side of the break
            {true, 0, Qt::Key_Backspace, -1, 1, ""}, {false, 0, Qt::Key_Delete, 0, 1, ""}, {true, 0, Qt::Key_Return, 0, 0, "\n"},
            {false, 2, QKeySequence::Cut, -2, 4, ""}, {true, 0, QKeySequence::Paste, 0, 0, QString(3000, u'p')}};
        for (const auto &[nextPiece, selection, edit, from, removed, inserted] : rows) {
            const QString line = QStringLiteral("val x = 1, ").repeated(320);
            View v;
            v.view.replaceDirect(0, 0, line);
            QVERIFY(v.view.document()->blockCount() > 2);
            const int softBreak = v.view.document()->firstBlock().length() - 1;
            const qsizetype at = v.view.textPosition(softBreak);
            select(v.view, softBreak + (nextPiece ? 1 : 0));
            if (selection > 0)
                select(v.view, v.view.documentPosition(at - selection), v.view.documentPosition(at + selection));
            QGuiApplication::clipboard()->setText(inserted);
            QVERIFY(edit.apply(v.view));
            const QString expected = QString(line).replace(at + from, removed, inserted);
            for (const QString &text : {expected, line, expected}) {
                v.view.selectAll();
                v.view.copy();
                QCOMPARE(std::tuple(v.storage.string(), QGuiApplication::clipboard()->text(), v.view.lineCount()), std::tuple(text, text, text.count(u'\n') + 1));
                for (QTextBlock block = v.view.document()->firstBlock(); block.isValid(); block = block.next())
                    QVERIFY(block.length() <= 2 * OLSoftBreaks::unwrappedPieceLength + 1);
                text == line ? v.view.guardedRedo() : v.view.guardedUndo();
            }
        }
    }
};

QTEST_MAIN(TestTextView)
#include "tst_textview.moc"
