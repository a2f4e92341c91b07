#include "highlight/OLTextStorage.h"
#include "highlight/OLTextView.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

namespace {
// The regions the viewport paints.
class PaintRecorder : public QObject
{
public:
    QList<QRegion> regions;

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            regions.append(static_cast<QPaintEvent *>(event)->region());
        return false;
    }

    QRegion all() const
    {
        QRegion united;
        for (const QRegion &region : regions)
            united += region;
        return united;
    }
};

// A shown view of `lines` lines of the same text, drawn and coloured, with a
// steady cursor: any later paint comes from what a test does.
struct ShownView {
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
        view.viewport()->installEventFilter(&paints);
    }

    QTextBlock line(int n) const { return view.document()->findBlockByNumber(n); }
    bool drawnColoured(int n) const { return !line(n).layout()->formats().isEmpty(); }
    // The line's place in the viewport.
    QRect lineRect(int n) const
    {
        QTextCursor cursor(line(n));
        return QRect(0, view.cursorRect(cursor).top(), view.viewport()->width(), view.cursorRect(cursor).height());
    }
    void colourLine(int n)
    {
        storage.setForegroundColor({line(n).position(), line(n).length() - 1}, OLColor{0, 0, 1, 1});
    }

    OLTextView view;
    OLTextStorage storage;
    PaintRecorder paints;
};
} // namespace

// The view must refuse every kind of edit that begins before a protected
// boundary, the way the console protects its fixed part.
class TestTextView : public QObject
{
    Q_OBJECT

    static constexpr qsizetype fixedLength = 5;

    void setUpView(OLTextView &view, const QString &text, int cursor)
    {
        view.setPlainText(text);
        view.shouldChangeText = [](qsizetype location) { return location >= fixedLength; };
        QTextCursor c = view.textCursor();
        c.setPosition(cursor);
        view.setTextCursor(c);
    }

    void select(OLTextView &view, int from, int to)
    {
        QTextCursor c = view.textCursor();
        c.setPosition(from);
        c.setPosition(to, QTextCursor::KeepAnchor);
        view.setTextCursor(c);
    }

private Q_SLOTS:
    void keys_data()
    {
        QTest::addColumn<int>("cursor");
        QTest::addColumn<int>("selectTo"); // -1: no selection
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QString>("expected");
        const QString text = QStringLiteral("fixedinput");
        QTest::newRow("typing in the fixed part") << 2 << -1 << QKeySequence(Qt::Key_X) << text;
        QTest::newRow("typing at the boundary") << 5 << -1 << QKeySequence(Qt::Key_X) << QStringLiteral("fixedxinput");
        QTest::newRow("backspace at the boundary") << 5 << -1 << QKeySequence(Qt::Key_Backspace) << text;
        QTest::newRow("backspace after the boundary") << 6 << -1 << QKeySequence(Qt::Key_Backspace) << QStringLiteral("fixednput");
        QTest::newRow("delete before the boundary") << 4 << -1 << QKeySequence(Qt::Key_Delete) << text;
        QTest::newRow("delete at the boundary") << 5 << -1 << QKeySequence(Qt::Key_Delete) << QStringLiteral("fixednput");
        QTest::newRow("word backspace reaching into the fixed part") << 7 << -1 << QKeySequence(QKeySequence::DeleteStartOfWord) << text;
        QTest::newRow("typing over a selection that starts fixed") << 3 << 7 << QKeySequence(Qt::Key_X) << text;
        QTest::newRow("cut of a selection that starts fixed") << 3 << 7 << QKeySequence(QKeySequence::Cut) << text;
        QTest::newRow("cut inside the input") << 6 << 8 << QKeySequence(QKeySequence::Cut) << QStringLiteral("fixediut");
        QTest::newRow("tab in the fixed part") << 0 << -1 << QKeySequence(Qt::Key_Tab) << text;
    }

    void keys()
    {
        QFETCH(int, cursor);
        QFETCH(int, selectTo);
        QFETCH(QKeySequence, keys);
        QFETCH(QString, expected);
        OLTextView view;
        setUpView(view, QStringLiteral("fixedinput"), cursor);
        if (selectTo >= 0)
            select(view, cursor, selectTo);
        QTest::keySequence(&view, keys);
        QCOMPARE(view.toPlainText(), expected);
    }

    void pasteAndDeleteCommands()
    {
        OLTextView view;
        setUpView(view, QStringLiteral("fixedinput"), 2);
        QGuiApplication::clipboard()->setText(QStringLiteral("P"));
        QTest::keySequence(&view, QKeySequence::Paste);
        view.guardedPaste();
        select(view, 1, 3);
        view.guardedDelete();
        view.guardedCut();
        QCOMPARE(view.toPlainText(), QStringLiteral("fixedinput"));

        setUpView(view, QStringLiteral("fixedinput"), 10);
        view.guardedPaste();
        QCOMPARE(view.toPlainText(), QStringLiteral("fixedinputP"));
    }

    void inputMethodCommitInFixedPart()
    {
        OLTextView view;
        setUpView(view, QStringLiteral("fixedinput"), 1);
        QInputMethodEvent event(QString(), {});
        event.setCommitString(QStringLiteral("é"));
        QApplication::sendEvent(&view, &event);
        QCOMPARE(view.toPlainText(), QStringLiteral("fixedinput"));
    }

    void undoIntoTheFixedPartIsRefused()
    {
        OLTextView view;
        view.setPlainText(QStringLiteral("abc"));
        QTextCursor c = view.textCursor();
        c.movePosition(QTextCursor::End);
        view.setTextCursor(c);
        QTest::keyClicks(&view, QStringLiteral("def"));
        // Everything typed so far now counts as protected.
        qsizetype boundary = view.toPlainText().size();
        view.shouldChangeText = [&boundary](qsizetype location) { return location >= boundary; };
        QSignalSpy edits(&view, &OLTextView::contentsEdited);
        QTest::keySequence(&view, QKeySequence::Undo);
        QCOMPARE(view.toPlainText(), QStringLiteral("abcdef"));
        QCOMPARE(edits.count(), 0);

        boundary = 0;
        view.guardedUndo();
        QCOMPARE(view.toPlainText(), QStringLiteral("abc"));
        QVERIFY(edits.count() >= 1);
        view.guardedRedo();
        QCOMPARE(view.toPlainText(), QStringLiteral("abcdef"));
    }

    void contextMenuEntriesAreGuarded()
    {
        OLTextView view;
        setUpView(view, QStringLiteral("fixedinput"), 1);
        select(view, 1, 3);
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(2, 2), view.mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(view.viewport(), &event);
        QMenu *menu = view.findChild<QMenu *>();
        QVERIFY(menu);
        int triggered = 0;
        for (QAction *action : menu->actions()) {
            if (action->objectName() == u"edit-cut" || action->objectName() == u"edit-delete") {
                action->setEnabled(true);
                action->trigger();
                ++triggered;
            }
        }
        QCOMPARE(triggered, 2);
        QCOMPARE(view.toPlainText(), QStringLiteral("fixedinput"));
        menu->close();
    }

    void typingPathAndDirectReplacement()
    {
        OLTextView view;
        setUpView(view, QStringLiteral("fixedinput"), 2);
        QSignalSpy changed(&view, &OLTextView::textDidChange);
        QSignalSpy edits(&view, &OLTextView::contentsEdited);
        QVERIFY(!view.insertTyped(QStringLiteral("x")));
        view.replaceDirect(0, 5, QStringLiteral("FIXED"));
        QCOMPARE(view.toPlainText(), QStringLiteral("FIXEDinput"));
        QCOMPARE(changed.count(), 0);
        QCOMPARE(edits.count(), 1);
        QCOMPARE(edits.at(0).at(0).value<qsizetype>(), 0);

        QTextCursor c = view.textCursor();
        c.movePosition(QTextCursor::End);
        view.setTextCursor(c);
        QVERIFY(view.insertTyped(QStringLiteral("!")));
        QCOMPARE(changed.count(), 1);
    }

    void storageFollowsEveryEdit()
    {
        OLTextView view;
        OLTextStorage storage;
        view.setTextStorage(&storage);
        view.setPlainText(QStringLiteral("val x = 1\nval y = 2\n"));
        QCOMPARE(storage.string(), view.toPlainText());
        QTextCursor c = view.textCursor();
        c.setPosition(4);
        view.setTextCursor(c);
        QTest::keyClicks(&view, QStringLiteral("ab"));
        QTest::keyClick(&view, Qt::Key_Return);
        QTest::keyClick(&view, Qt::Key_Backspace);
        QTest::keyClick(&view, Qt::Key_Backspace);
        QCOMPARE(storage.string(), view.toPlainText());
        view.guardedUndo();
        QCOMPARE(storage.string(), view.toPlainText());
        view.replaceDirect(0, 3, QStringLiteral("fun"));
        QCOMPARE(storage.string(), view.toPlainText());
        view.setPlainText(QString());
        QCOMPARE(storage.string(), QString());
    }

    void attributesAreDrawnNotWritten()
    {
        OLTextView view;
        OLTextStorage storage;
        view.setTextStorage(&storage);
        view.setPlainText(QStringLiteral("one\ntwo\n"));
        view.document()->setModified(false);
        const int undoSteps = view.document()->availableUndoSteps();
        QSignalSpy edits(&view, &OLTextView::contentsEdited);
        storage.setBackgroundColor({4, 3}, OLColor{1, 0, 0, 0.3});
        view.renderStorageChanges();
        QCOMPARE(edits.count(), 0);
        QVERIFY(!view.document()->isModified());
        QCOMPARE(view.document()->availableUndoSteps(), undoSteps);
        const QList<QTextLayout::FormatRange> formats = view.document()->findBlockByNumber(1).layout()->formats();
        QCOMPARE(formats.size(), 1);
        QCOMPARE(formats.at(0).start, 0);
        QCOMPARE(formats.at(0).length, 3);
        // Drawn opaque, as the mark would look over the view's base colour.
        const QColor base = view.palette().base().color();
        const QColor drawn = formats.at(0).format.background().color();
        QCOMPARE(drawn.alpha(), 255);
        QCOMPARE(qRound(drawn.redF() * 100), qRound((0.3 + 0.7 * base.redF()) * 100));
        QCOMPARE(qRound(drawn.greenF() * 100), qRound(0.7 * base.greenF() * 100));
        QVERIFY(view.document()->findBlockByNumber(0).layout()->formats().isEmpty());
    }

    void distantChangesAreDrawnInIdleSlices()
    {
        OLTextView view;
        OLTextStorage storage;
        view.resize(300, 200);
        view.setTextStorage(&storage);
        QString text;
        for (int i = 0; i < 20000; ++i)
            text += QStringLiteral("val x = 1\n");
        view.setPlainText(text);
        QTRY_VERIFY(view.isRenderingComplete());
        storage.setForegroundColor({0, storage.length()}, OLColor{0, 0, 1, 1});
        view.renderStorageChanges();
        // The top is drawn at once, the far end only later.
        QVERIFY(!view.document()->firstBlock().layout()->formats().isEmpty());
        QTRY_VERIFY(view.isRenderingComplete());
        QCOMPARE(view.document()->lastBlock().previous().layout()->formats().size(), 1);
    }

    // Only what changed in view is painted again: a change out of sight
    // paints nothing, a colour in view its line, added text the lines from
    // there down.
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
        const QRegion painted = v.paints.all();
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
        QCOMPARE(v.paints.regions.size(), 1);
        QVERIFY(v.paints.regions.first().contains(v.lineRect(0).united(v.lineRect(4))));

        // An edit draws what waits for its frame at once.
        v.colourLine(10);
        v.view.renderStorageChangesInFrame();
        QVERIFY(!v.drawnColoured(10));
        v.view.renderStorageChanges();
        QVERIFY(v.drawnColoured(10));
    }

    void enterGoesToTheHandler()
    {
        OLTextView view;
        setUpView(view, QStringLiteral("fixedinput"), 10);
        int calls = 0;
        view.insertNewline = [&calls] { ++calls; return true; };
        QTest::keyClick(&view, Qt::Key_Return);
        QCOMPARE(calls, 1);
        QCOMPARE(view.toPlainText(), QStringLiteral("fixedinput"));
    }
};

QTEST_MAIN(TestTextView)
#include "tst_textview.moc"
