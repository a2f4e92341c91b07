// The document window: saving in the file's form, the edited mark, the close
// question and its save path, failed writes, Save As, the title, go to line,
// orientation, the chooser, the menus and their keys, the status bar.

#include "appfixture.h"
#include "../highlight/viewtestsupport.h"
#include "highlight/OLSoftBreaks.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSplitter>
#include <QTableWidget>

using SaveChanges = OLAsker::SaveChanges;

class TestWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void savesInTheFilesForm_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("typed"); // after Enter at the end of the first line; none: unedited
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("byte-order mark and CRLF, a line added")
            << QByteArray("\xEF\xBB\xBFval x = 1;\r\nval y = 2;\r\n") << QStringLiteral("val a = 0;")
            << QByteArray("\xEF\xBB\xBFval x = 1;\r\nval a = 0;\r\nval y = 2;\r\n");
        const QByteArray odd = QStringLiteral("val s = \"\uFDD0\uFDD1\uFFFF\uFEFF\0\";\r(* \r\n *)\n").toUtf8();
        QTest::newRow("noncharacters, NUL, CR alone, byte-order mark inside, unedited") << odd << QString() << odd;
        QTest::newRow("U+FDD0: a line break typed in its line is LF")
            << QStringLiteral("val x = 1;\uFDD0val y = 2;\n").toUtf8() << QStringLiteral("val a = 0;")
            << QStringLiteral("val x = 1;\nval a = 0;\uFDD0val y = 2;\n").toUtf8();
        const QByteArray longLine = "val s = \"" + QByteArray(5000, 'x') + "\";\r\nval y = 2;\r\n";
        const qsizetype piece = OLSoftBreaks::unwrappedPieceLength;
        QTest::newRow("CRLF, a line added at the end of a long line's first piece")
            << longLine << QStringLiteral("val a = 0;") << longLine.left(piece) + "\r\nval a = 0;" + longLine.mid(piece);
        QTest::newRow("mixed: the new line ends like the line it split")
            << QByteArray("val x = 1;\nval y = 2;\r\nval z = 3;\r\n") << QStringLiteral("val a = 0;")
            << QByteArray("val x = 1;\nval a = 0;\nval y = 2;\r\nval z = 3;\r\n");
    }
    // Saved with Ctrl+S, no temporary file left.
    void savesInTheFilesForm()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, typed);
        QFETCH(QByteArray, expected);
        AppFixture fixture(catCommandLine);
        OLWindowController *window = fixture.open(QStringLiteral("doc.sml"), bytes);
        QVERIFY(window && !window->isWindowModified());
        QVERIFY(QTest::qWaitForWindowActive(window));
        window->jumpToEditor();
        OLTextView *view = window->editor()->textView();
        if (!typed.isEmpty()) {
            view->moveCursor(QTextCursor::Start);
            view->moveCursor(QTextCursor::EndOfBlock);
            typeInto(view, QLatin1Char('\n') + typed);
            QVERIFY(window->isWindowModified());
        }
        QTest::keyClick(view, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(readBytes(window->file()), expected);
        QVERIFY(!window->isWindowModified() && fixture.asker.alerts.isEmpty());
        QCOMPARE(entriesOf(fixture.dir.path()).filter(QStringLiteral("doc")), QStringList(QStringLiteral("doc.sml")));
    }

    void closeQuestion_data()
    {
        QTest::addColumn<bool>("withFile");      // else a new document
        QTest::addColumn<bool>("takenBack");     // the edit deleted again by hand: no question
        QTest::addColumn<SaveChanges>("answer"); // to the close question
        QTest::addColumn<QString>("savePanel");  // the name chosen in the save panel; none: cancelled
        QTest::addColumn<bool>("diskFull");      // the save's write fails part way
        QTest::addColumn<QByteArray>("onDisk");  // none: the window stays open
        const QByteArray old("val x = 1;\r\n");
        QTest::newRow("edit taken back in a CRLF file") << true << true << SaveChanges::Cancel << "" << false << old;
        QTest::newRow("Don't Save closes, the file stays") << true << false << SaveChanges::DontSave << "" << false << old;
        QTest::newRow("Cancel keeps the window") << true << false << SaveChanges::Cancel << "" << false << QByteArray();
        QTest::newRow("Save writes and closes") << true << false << SaveChanges::Save << "" << false << old + "val y = 2;";
        QTest::newRow("Save on a full disk: alert and save panel (cancelled), stays open")
            << true << false << SaveChanges::Save << "" << true << QByteArray();
        QTest::newRow("Save of a new document, panel confirmed")
            << false << false << SaveChanges::Save << "saved.sml" << false << QByteArray("val x = 1;\nval y = 2;");
        QTest::newRow("Save of a new document, panel cancelled, stays open")
            << false << false << SaveChanges::Save << "" << false << QByteArray();
    }
    // The window closes after the question only when the text is safe. A
    // failed write names the file and the reason, and offers the save panel;
    // the old file is unchanged and no temporary file is left.
    void closeQuestion()
    {
        QFETCH(bool, withFile);
        QFETCH(bool, takenBack);
        QFETCH(SaveChanges, answer);
        QFETCH(QString, savePanel);
        QFETCH(bool, diskFull);
        QFETCH(QByteArray, onDisk);
        AppFixture fixture(catCommandLine);
        fixture.untitled(QStringLiteral("val keep = 0;")); // closing the other one does not quit
        OLWindowController *window = withFile ? fixture.open(QStringLiteral("doc.sml"), "val x = 1;\r\n") : fixture.untitled();
        QVERIFY(window && !window->isWindowModified());
        typeAtEnd(window, withFile ? QStringLiteral("val y = 2;") : QStringLiteral("val x = 1;\nval y = 2;"));
        QVERIFY(window->isWindowModified());
        for (int i = 0; takenBack && i < 10; ++i)
            QTest::keyClick(window->editor()->textView(), Qt::Key_Backspace);
        QCOMPARE(window->isWindowModified(), !takenBack);
        fixture.asker.saveChanges.push_back(answer);
        fixture.asker.saveFileNames.push_back(savePanel.isEmpty() ? QString() : fixture.path(savePanel));
        const QPointer<OLWindowController> guard(window);
        {
            std::optional<FileSizeLimit> limit;
            if (diskFull)
                limit.emplace(10);
            window->closeWindow();
        }
        QCOMPARE(fixture.asker.saveChangesAskedBy, takenBack ? QList<QWidget *>() : QList<QWidget *>({window}));
        if (onDisk.isNull()) {
            QVERIFY(guard && window->isVisible() && window->isWindowModified());
            QVERIFY(window->editor()->content().endsWith(QStringLiteral("val y = 2;")));
        }
        QTRY_COMPARE(fixture.app->windows().size(), onDisk.isNull() ? 2 : 1);
        const QStringList files = entriesOf(fixture.dir.path()).filter(QStringLiteral(".sml"));
        QCOMPARE(files, QStringList(withFile ? QStringLiteral("doc.sml") : savePanel).filter(QStringLiteral(".sml")));
        if (!files.isEmpty())
            QCOMPARE(readBytes(fixture.path(files[0])), onDisk.isNull() ? QByteArray("val x = 1;\r\n") : onDisk);
        QCOMPARE(fixture.asker.alerts, diskFull ? QStringList(QStringLiteral("Could not write to file doc.sml|File too large")) : QStringList());
        QCOMPARE(fixture.asker.saveDirectories.size(), diskFull || !withFile ? 1 : 0);
    }

    // A Save As that cannot write shows the alert and the panel again, in the
    // folder chosen; the next choice is saved, the title names it as it is,
    // and later saves and panels follow the file.
    void saveAsAfterAFailedWrite()
    {
        AppFixture fixture(catCommandLine);
        const QString notAFolder = fixture.write(QStringLiteral("plain"), "a file");
        const QString path = fixture.path(QStringLiteral("my%20 übung.sml"));
        OLWindowController *window = fixture.untitled(QStringLiteral("val x = 1;"));
        fixture.asker.saveFileNames = {notAFolder + QStringLiteral("/first.sml"), path};
        QVERIFY(window->saveFileAs());
        QCOMPARE(fixture.asker.alerts, QStringList(QStringLiteral("Could not write to file first.sml|Not a directory")));
        QCOMPARE(fixture.asker.saveDirectories, QStringList({QDir::homePath(), notAFolder}));
        QCOMPARE(fixture.asker.proposedNames.constFirst(), QStringLiteral("newDocument.sml"));
        QCOMPARE(window->file(), path);
        QCOMPARE(readBytes(path), QByteArray("val x = 1;"));
        QVERIFY(!window->isWindowModified());
        QCOMPARE(window->windowTitle(), QStringLiteral("my%20 übung.sml[*] - Ostrel"));

        typeAtEnd(window, QStringLiteral("\nval y = 2;"));
        QVERIFY(window->saveFile());
        QCOMPARE(readBytes(path), QByteArray("val x = 1;\nval y = 2;"));
        QCOMPARE(fixture.asker.saveDirectories.size(), 2);
        window->saveFileAs();
        QCOMPARE(fixture.asker.saveDirectories.last(), fixture.dir.path());
    }

    // Ctrl+L opens one window-modal sheet; a refused number alerts and the
    // sheet stays; a line number in the file selects the line. Which lines
    // exist is the editor tests' matter.
    void goToLine()
    {
        AppFixture fixture(catCommandLine);
        OLWindowController *window = fixture.open(QStringLiteral("g.sml"), "val x = 1;\nval y = 2;\nval z = 3;\n");
        QVERIFY(window && QTest::qWaitForWindowActive(window));
        window->jumpToEditor();
        QTest::keyClick(window->editor()->textView(), Qt::Key_L, Qt::ControlModifier);
        QPointer<QDialog> sheet = window->findSheet();
        QVERIFY(sheet && sheet->windowModality() == Qt::WindowModal);
        window->openGoToLineSheet();
        QCOMPARE(window->findSheet(), sheet.get());
        for (const QString &entered : {QStringLiteral("two"), QStringLiteral("5"), QStringLiteral("2")}) {
            window->findSheetTextField()->setText(entered);
            QTest::keyClick(window->findSheetTextField(), Qt::Key_Return);
            QVERIFY(sheet || entered == u"2");
        }
        QCOMPARE(fixture.asker.alerts, QStringList({"Invalid line number 0|", "Invalid line number 5|"}));
        QTRY_VERIFY(!sheet);
        QCOMPARE(window->editor()->textView()->textCursor().selectedText(), QStringLiteral("val y = 2;"));
    }

    // The orientation is stored for new windows; the chooser is one non-modal
    // window in place of the panes, and closed without a choice, changes
    // nothing. Every command is in a menu, each with a key of its own but the
    // chooser and About; the list of keys is made from the menus as they are.
    void panesMenusAndKeys()
    {
        AppFixture fixture(catCommandLine);
        fixture.app->defaults().saveVerticalOrientation(true);
        OLWindowController *window = fixture.untitled();
        QCOMPARE(window->splitView()->orientation(), Qt::Horizontal);
        QCOMPARE(window->splitView()->widget(0), static_cast<QWidget *>(window->editor()));
        window->changeOrientation();
        QCOMPARE(window->splitView()->orientation(), Qt::Vertical);
        QVERIFY(!fixture.app->defaults().loadVerticalOrientation());
        QCOMPARE(fixture.untitled()->splitView()->orientation(), Qt::Vertical);

        window->chooseMode();
        QPointer<OLModeChooserWindowController> chooser = window->modeChooser();
        QVERIFY(chooser && chooser->isVisible() && !chooser->isModal() && !window->centralWidget()->isVisible());
        window->chooseMode();
        QCOMPARE(window->modeChooser(), chooser.get());
        chooser->close();
        QTRY_VERIFY(!chooser);
        QVERIFY(window->centralWidget()->isVisible());
        QCOMPARE(fixture.app->defaults().loadPreferredInterpreterPath(), catCommandLine);

        window->menuBar()->addMenu(QStringLiteral("Extra"))->addAction(QStringLiteral("Later"))->setShortcut(Qt::Key_F9);
        QSet<QKeySequence> keys;
        QStringList expected;
        for (QAction *menu : window->menuBar()->actions()) {
            for (const QAction *action : menu->menu()->actions()) {
                if (action->isSeparator())
                    continue;
                expected.append(menu->text().remove(u'&') + QStringLiteral(" › ") + action->text().remove(u'&') + u'='
                                + action->shortcut().toString(QKeySequence::NativeText));
                if (action->text() == QStringLiteral("Choose Interpreter...") || action->text() == QStringLiteral("&About Ostrel"))
                    continue;
                QVERIFY2(!action->shortcut().isEmpty() && !keys.contains(action->shortcut()), qPrintable(action->text()));
                keys.insert(action->shortcut());
            }
        }
        window->showKeyboardShortcuts();
        auto *table = window->findChild<QDialog *>(QStringLiteral("keyboardShortcuts"))->findChild<QTableWidget *>();
        QStringList listed;
        for (int row = 0; row < table->rowCount(); ++row)
            listed.append(table->item(row, 0)->text() + u'=' + table->item(row, 1)->text());
        QCOMPARE(listed, expected);
        QVERIFY(listed.contains(QStringLiteral("Extra › Later=F9")) && listed.contains(QStringLiteral("Help › About Ostrel=")));
    }

    // Window-wide keys work with the focus in either text view, which takes
    // many Ctrl combinations for itself: history recall, Clear Console, the
    // jumps between the panes, the next step. Select All in the console
    // selects only the input after the fixed text, by key and by menu; in the
    // editor, all. The status bar names the interpreter (an unknown kind by its
    // program), the new one after a reset, and the editor cursor's place.
    void keysReachTheirCommands()
    {
        AppFixture fixture;
        fixture.app->defaults().saveCommitHistory({QStringLiteral("val remembered = 1;")});
        OLWindowController *window = fixture.untitled();
        OLTextView *console = window->console()->textView();
        OLTextView *editor = window->editor()->textView();
        QVERIFY(waitForBanner(window) && QTest::qWaitForWindowActive(window));
        window->jumpToInterpreter();
        QTest::keyClick(console, Qt::Key_Up, Qt::ControlModifier);
        QVERIFY(window->console()->textStorage().string().endsWith(QStringLiteral("val remembered = 1;")));
        QTest::keyClick(console, Qt::Key_Down, Qt::ControlModifier);
        QVERIFY(!window->console()->textStorage().string().endsWith(QStringLiteral("val remembered = 1;")));
        QTest::keyClick(console, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(window->console()->fixedLength(), 0);

        console->moveCursor(QTextCursor::End);
        QTest::keyClicks(console, QStringLiteral("1 + 1"));
        QTest::keyClick(console, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(console->textCursor().selectedText(), QStringLiteral("1 + 1"));
        console->moveCursor(QTextCursor::End);
        window->mySelectAll();
        QCOMPARE(console->textCursor().selectedText(), QStringLiteral("1 + 1"));

        QTest::keyClick(console, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(window->focusWidget(), editor);
        QTest::keyClick(editor, Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(window->focusWidget(), console);

        typeAtEnd(window, QStringLiteral("val x = 1;"));
        QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(window->editor()->pending().location, 0u);
        QTRY_VERIFY_WITH_TIMEOUT(window->editor()->interpreted() > 0, 10000);
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(editor->textCursor().selectedText(), QStringLiteral("val x = 1;"));

        const auto label = [window](const char *name) { return window->findChild<QLabel *>(QLatin1StringView(name))->text(); };
        QCOMPARE(label("interpreterName"), QStringLiteral("Poly ML"));
        fixture.app->defaults().savePreferredInterpreter(catCommandLine);
        window->resetEnvironment();
        QCOMPARE(label("interpreterName"), QStringLiteral("cat"));
        typeAtEnd(window, QStringLiteral("\n\tval yy = 2;"));
        for (const auto &[position, shown] : {std::pair(0, "1:1"), std::pair(10, "1:11"), std::pair(13, "2:3"), std::pair(23, "2:13")}) {
            select(*editor, position);
            QCOMPARE(label("cursorPosition"), QLatin1StringView(shown));
        }
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
