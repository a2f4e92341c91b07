#include "highlight/OLSoftBreaks.h"
#include "highlight/OLTextStorage.h"
#include "viewtestsupport.h"

#include <QClipboard>
#include <QPaintEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextLayout>

namespace {
// A shown view of `lines` lines, drawn, with a steady cursor and a record of
// the regions its viewport paints from then on.
struct ShownView : QObject {
    explicit ShownView(int lines)
    {
        QApplication::setCursorFlashTime(0);
        view.resize(300, 200);
        view.setTextStorage(&storage);
        view.setPlainText(QStringLiteral("val x = 1\n").repeated(lines));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_VERIFY(view.isRenderingComplete());
        QCoreApplication::processEvents();
        view.viewport()->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            paints.append(static_cast<QPaintEvent *>(event)->region());
        return false;
    }
    QRegion painted() const
    {
        QRegion all;
        for (const QRegion &region : paints)
            all += region;
        return all;
    }
    QTextBlock line(int n) const { return view.document()->findBlockByNumber(n); }
    bool drawnColoured(int n) const { return !line(n).layout()->formats().isEmpty(); }
    // The line's place in the viewport.
    QRect lineRect(int n) const
    {
        const QRect cursor = view.cursorRect(QTextCursor(line(n)));
        return QRect(0, cursor.top(), view.viewport()->width(), cursor.height());
    }
    void colourLine(int n) { storage.setForegroundColor({line(n).position(), line(n).length() - 1}, OLColor{0, 0, 1, 1}); }

    OLTextView view;
    OLTextStorage storage;
    QList<QRegion> paints;
};

// "fixedinput", whose first five units are protected as the console's fixed part.
void setUpFixed(OLTextView &view, int cursor)
{
    view.setPlainText(QStringLiteral("fixedinput"));
    view.shouldChangeText = [](qsizetype location) { return location >= 5; };
    select(view, cursor);
}
} // namespace

// The view must refuse every kind of edit that begins before a protected boundary.
class TestTextView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void edits_data()
    {
        QTest::addColumn<int>("cursor");
        QTest::addColumn<int>("selectTo"); // -1: no selection
        QTest::addColumn<UserEdit>("edit");
        QTest::addColumn<QString>("expected");
        const QString same = QStringLiteral("fixedinput");
        QTest::newRow("typing in the fixed part") << 2 << -1 << UserEdit(Qt::Key_X) << same;
        QTest::newRow("typing at the boundary") << 5 << -1 << UserEdit(Qt::Key_X) << "fixedxinput";
        QTest::newRow("tab in the fixed part") << 0 << -1 << UserEdit(Qt::Key_Tab) << same;
        QTest::newRow("backspace at the boundary") << 5 << -1 << UserEdit(Qt::Key_Backspace) << same;
        QTest::newRow("backspace after the boundary") << 6 << -1 << UserEdit(Qt::Key_Backspace) << "fixednput";
        QTest::newRow("delete before the boundary") << 4 << -1 << UserEdit(Qt::Key_Delete) << same;
        QTest::newRow("delete at the boundary") << 5 << -1 << UserEdit(Qt::Key_Delete) << "fixednput";
        QTest::newRow("word backspace reaching into the fixed part") << 7 << -1 << UserEdit(QKeySequence::DeleteStartOfWord) << same;
        QTest::newRow("typing over a selection that starts fixed") << 3 << 7 << UserEdit(Qt::Key_X) << same;
        QTest::newRow("cut of a selection that starts fixed") << 3 << 7 << UserEdit(QKeySequence::Cut) << same;
        QTest::newRow("cut inside the input") << 6 << 8 << UserEdit(QKeySequence::Cut) << "fixediut";
        QTest::newRow("paste in the fixed part") << 2 << -1 << UserEdit(QKeySequence::Paste) << same;
        QTest::newRow("menu paste in the fixed part") << 2 << -1 << UserEdit("edit-paste") << same;
        QTest::newRow("menu paste at the end") << 10 << -1 << UserEdit("edit-paste") << "fixedinputP";
        QTest::newRow("menu cut of a selection that starts fixed") << 1 << 3 << UserEdit("edit-cut") << same;
        QTest::newRow("menu delete of a selection that starts fixed") << 1 << 6 << UserEdit("edit-delete") << same;
        QTest::newRow("menu delete inside the input") << 6 << 8 << UserEdit("edit-delete") << "fixediut";
        QTest::newRow("input method in the fixed part") << 1 << -1 << UserEdit("input method") << same;
        QTest::newRow("input method in the input") << 7 << -1 << UserEdit("input method") << "fixedin\u00e9put";
        QTest::newRow("drop in the fixed part") << 2 << -1 << UserEdit("drop") << same;
        QTest::newRow("drop in the input") << 7 << -1 << UserEdit("drop") << "fixedinDput";
    }
    void edits()
    {
        QFETCH(int, cursor);
        QFETCH(int, selectTo);
        QFETCH(UserEdit, edit);
        QFETCH(QString, expected);
        OLTextView view;
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QGuiApplication::clipboard()->setText(QStringLiteral("P"));
        setUpFixed(view, cursor);
        if (selectTo >= 0)
            select(view, cursor, selectTo);
        QVERIFY(edit.apply(view));
        QCOMPARE(view.toPlainText(), expected);
    }

    // An undo or redo whose change begins in the fixed part is refused, without an edit.
    void undoAndRedoIntoTheFixedPart()
    {
        OLTextView view;
        view.setPlainText(QStringLiteral("abc"));
        select(view, 3);
        QTest::keyClicks(&view, QStringLiteral("def"));
        qsizetype boundary = 6; // what was typed is now fixed
        view.shouldChangeText = [&boundary](qsizetype location) { return location >= boundary; };
        QSignalSpy edits(&view, &OLTextView::contentsEdited);
        QTest::keySequence(&view, QKeySequence::Undo);
        QCOMPARE(view.toPlainText(), QStringLiteral("abcdef"));
        QCOMPARE(edits.count(), 0);
        boundary = 0;
        view.guardedUndo();
        QCOMPARE(view.toPlainText(), QStringLiteral("abc"));
        boundary = 6;
        QTest::keySequence(&view, QKeySequence::Redo);
        QCOMPARE(view.toPlainText(), QStringLiteral("abc"));
        boundary = 0;
        view.guardedRedo();
        QCOMPARE(view.toPlainText(), QStringLiteral("abcdef"));
        QCOMPARE(edits.count(), 2);
    }

    // The typing path asks and notifies; a direct replacement does neither,
    // but is reported as an edit. The storage follows every change.
    void typingPathAndDirectReplacement()
    {
        OLTextView view;
        OLTextStorage storage;
        view.setTextStorage(&storage);
        setUpFixed(view, 2);
        QSignalSpy changed(&view, &OLTextView::textDidChange);
        QSignalSpy edits(&view, &OLTextView::contentsEdited);
        QVERIFY(!view.insertTyped(QStringLiteral("x")));
        view.replaceDirect(0, 5, QStringLiteral("FIXED"));
        QCOMPARE(view.toPlainText(), QStringLiteral("FIXEDinput"));
        QCOMPARE(changed.count(), 0);
        QCOMPARE(edits.count(), 1);
        QCOMPARE(edits.at(0).at(0).value<qsizetype>(), 0);
        select(view, 10);
        QVERIFY(view.insertTyped(QStringLiteral("!")));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(storage.string(), view.toPlainText());
        select(view, 7);
        for (Qt::Key key : {Qt::Key_A, Qt::Key_Return, Qt::Key_Backspace, Qt::Key_Backspace})
            QTest::keyClick(&view, key);
        QCOMPARE(storage.string(), view.toPlainText());
        view.guardedUndo();
        QCOMPARE(storage.string(), view.toPlainText());
        view.setPlainText(QString());
        QCOMPARE(storage.string(), QString());
    }

    // A long line is held in pieces, its soft breaks never in the text: the
    // keys beside a break act on the text, a copy is the text, undo and redo
    // bring the breaks back. The edit is made at the first break, from the
    // end of its piece or the start of the next, and replaces `removed`
    // units from the break on (`from` units away) with `inserted`.
    void softBreaksStayOutOfTheText_data()
    {
        QTest::addColumn<bool>("nextPiece");
        QTest::addColumn<int>("selection"); // units before the break to after it
        QTest::addColumn<UserEdit>("edit");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("removed");
        QTest::addColumn<QString>("inserted");
        const QString pasted(3000, u'p');
        QTest::newRow("backspace at the start of a piece") << true << 0 << UserEdit(Qt::Key_Backspace) << -1 << 1 << "";
        QTest::newRow("delete at the end of a piece") << false << 0 << UserEdit(Qt::Key_Delete) << 0 << 1 << "";
        QTest::newRow("typing at the start of a piece") << true << 0 << UserEdit(Qt::Key_X) << 0 << 0 << "x";
        QTest::newRow("a line break") << true << 0 << UserEdit(Qt::Key_Return) << 0 << 0 << "\n";
        QTest::newRow("cut across the break") << false << 2 << UserEdit(QKeySequence::Cut) << -2 << 4 << "";
        QTest::newRow("paste of a long line") << true << 0 << UserEdit(QKeySequence::Paste) << 0 << 0 << pasted;
    }
    void softBreaksStayOutOfTheText()
    {
        QFETCH(bool, nextPiece);
        QFETCH(int, selection);
        QFETCH(UserEdit, edit);
        QFETCH(int, from);
        QFETCH(int, removed);
        QFETCH(QString, inserted);
        OLTextView view;
        OLTextStorage storage;
        view.setTextStorage(&storage);
        const QString line = QStringLiteral("val x = 1, ").repeated(320);
        view.replaceDirect(0, 0, line);
        QVERIFY(view.document()->blockCount() > 2);
        const int softBreak = view.document()->firstBlock().length() - 1;
        const qsizetype at = view.textPosition(softBreak);
        select(view, softBreak + (nextPiece ? 1 : 0));
        if (selection > 0)
            select(view, view.documentPosition(at - selection), view.documentPosition(at + selection));
        QGuiApplication::clipboard()->setText(inserted);
        QVERIFY(edit.apply(view));
        const QString expected = QString(line).replace(at + from, removed, inserted);
        const auto sameText = [&](const QString &text) {
            QCOMPARE(storage.string(), text);
            QCOMPARE(view.lineCount(), text.count(u'\n') + 1);
            for (QTextBlock block = view.document()->firstBlock(); block.isValid(); block = block.next())
                QVERIFY(block.length() <= 2 * OLSoftBreaks::unwrappedPieceLength + 1);
            view.selectAll();
            view.copy();
            QCOMPARE(QGuiApplication::clipboard()->text(), text);
        };
        sameText(expected);
        view.guardedUndo();
        sameText(line);
        view.guardedRedo();
        sameText(expected);
    }

    void aBlockThatGrowsTooLongIsCut()
    {
        OLTextView view;
        OLTextStorage storage;
        view.setTextStorage(&storage);
        const QString full(2 * OLSoftBreaks::unwrappedPieceLength, u'x');
        view.replaceDirect(0, 0, full);
        view.document()->clearUndoRedoStacks();
        QCOMPARE(view.document()->blockCount(), 1);
        select(view, int(full.size()));
        QTest::keyClick(&view, Qt::Key_Y);
        QCOMPARE(view.document()->blockCount(), 2);
        QCOMPARE(storage.string(), full + u'y');
        view.guardedUndo();
        QCOMPARE(view.document()->blockCount(), 1);
        QCOMPARE(storage.string(), full);
    }

    // Attributes are drawn as layout formats, never written: no edit, no undo
    // step. The top is drawn at once, the far end in idle slices.
    void attributesAreDrawnNotWritten()
    {
        OLTextView view;
        OLTextStorage storage;
        view.resize(300, 200);
        view.setTextStorage(&storage);
        view.setPlainText(QStringLiteral("val x = 1\n").repeated(20000));
        QTRY_VERIFY(view.isRenderingComplete());
        view.document()->setModified(false);
        const int undoSteps = view.document()->availableUndoSteps();
        QSignalSpy edits(&view, &OLTextView::contentsEdited);
        storage.setBackgroundColor({10, 3}, OLColor{1, 0, 0, 0.3});
        storage.setForegroundColor({20, storage.length() - 20}, OLColor{0, 0, 1, 1});
        view.renderStorageChanges();
        QCOMPARE(edits.count(), 0);
        QVERIFY(!view.document()->isModified());
        QCOMPARE(view.document()->availableUndoSteps(), undoSteps);
        QVERIFY(view.document()->firstBlock().layout()->formats().isEmpty());
        const QList<QTextLayout::FormatRange> formats = view.document()->findBlockByNumber(1).layout()->formats();
        QCOMPARE(formats.size(), 1);
        QCOMPARE(std::pair(formats.at(0).start, formats.at(0).length), std::pair(0, 3));
        // Drawn opaque, as the mark would look over the view's base colour.
        const QColor base = view.palette().base().color(), drawn = formats.at(0).format.background().color();
        QCOMPARE(drawn.alpha(), 255);
        QCOMPARE(qRound(drawn.redF() * 100), qRound((0.3 + 0.7 * base.redF()) * 100));
        QCOMPARE(qRound(drawn.greenF() * 100), qRound(0.7 * base.greenF() * 100));
        QCOMPARE(view.document()->findBlockByNumber(2).layout()->formats().size(), 1);
        QTRY_VERIFY(view.isRenderingComplete());
        QCOMPARE(view.document()->lastBlock().previous().layout()->formats().size(), 1);
    }

    // Only what changed in view is painted again: a change out of sight
    // paints nothing, a colour in view its line, added text the lines from there down.
    void drawingCostsWhatChangedInView_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<bool>("addText"); // else the line is coloured
        QTest::newRow("colour out of sight") << 5000 << false;
        QTest::newRow("colour in view") << 3 << false;
        QTest::newRow("text added out of sight") << 5000 << true;
        QTest::newRow("text added in view") << 3 << true;
    }
    void drawingCostsWhatChangedInView()
    {
        QFETCH(int, line);
        QFETCH(bool, addText);
        ShownView v(6000);
        const QRect lineRect = v.lineRect(line);
        const bool inView = lineRect.intersects(v.view.viewport()->rect());
        QCOMPARE(inView, line < 5000);
        if (addText) {
            v.view.replaceDirect(v.line(line).position(), 0, QStringLiteral("val added = 2\n"));
        } else {
            v.colourLine(line);
            v.view.renderStorageChanges();
        }
        QTRY_VERIFY(v.view.isRenderingComplete());
        QVERIFY(addText || v.drawnColoured(line));
        QCoreApplication::processEvents();
        const QRegion painted = v.painted();
        if (!inView) {
            QVERIFY2(painted.isEmpty(), "a change out of sight paints nothing");
            return;
        }
        QVERIFY(painted.contains(lineRect));
        QVERIFY(!painted.intersects(v.lineRect(0)));
        if (addText)
            QVERIFY(painted.contains(QRect(0, lineRect.top(), 1, v.view.viewport()->height() - lineRect.top())));
        else
            QVERIFY(!painted.intersects(v.lineRect(line + 1)));
    }

    void changesForAFrameAreDrawnTogether()
    {
        ShownView v(100);
        for (int line = 0; line < 5; ++line) {
            v.colourLine(line);
            v.view.renderStorageChangesInFrame();
        }
        // Drawn with the frame, after what made the changes.
        QVERIFY(!v.drawnColoured(0));
        QTRY_VERIFY(v.drawnColoured(4));
        QCoreApplication::processEvents();
        QCOMPARE(v.paints.size(), 1);
        QVERIFY(v.paints.first().contains(v.lineRect(0).united(v.lineRect(4))));
        // An edit draws what waits for its frame at once.
        v.colourLine(10);
        v.view.renderStorageChangesInFrame();
        QVERIFY(!v.drawnColoured(10));
        v.view.renderStorageChanges();
        QVERIFY(v.drawnColoured(10));
    }

    // The scroll bar is drawn again when what it shows changes, not at every
    // change of its range.
    void scrollBarDrawnWhenItsLookChanges()
    {
        ShownView v(5000);
        QScrollBar *bar = v.view.verticalScrollBar();
        v.view.viewport()->removeEventFilter(&v);
        bar->installEventFilter(&v);
        const int maximum = bar->maximum();
        v.view.replaceDirect(v.storage.length(), 0, QStringLiteral("val y = 2\n"));
        for (int turn = 0; turn < 3; ++turn)
            QCoreApplication::processEvents();
        QCOMPARE(bar->maximum(), maximum + 1);
        QVERIFY(v.paints.isEmpty());
        bar->setValue(maximum / 2);
        QTRY_VERIFY(!v.paints.isEmpty());
    }
};

QTEST_MAIN(TestTextView)
#include "tst_textview.moc"
