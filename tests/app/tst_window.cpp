// The document window: saving in the file's form, the edited mark, the close
// question and its save path, failed writes, Save As, the title, go to line,
// orientation, the chooser, the menus and the keys, the list of keys and the
// status bar.

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

namespace {
struct CloseCase {
    bool withFile;       // else a new document
    bool takenBack;      // the edit deleted again by hand
    SaveChanges answer;  // to the close question
    QString savePanel;   // the name chosen in the save panel; none: cancelled
    bool closes;
    QByteArray onDisk;
    bool diskFull = false; // the save's write fails part way
};
} // namespace
Q_DECLARE_METATYPE(CloseCase)

class TestWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void savesInTheFilesForm_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("typed"); // after Enter at the end of the first line; none: unedited
        QTest::addColumn<QByteArray>("expected");
        const auto unedited = [](const char *name, const QByteArray &bytes) {
            QTest::newRow(name) << bytes << QString() << bytes;
        };
        unedited("NUL byte", QByteArray("val x = 1;\n(* \0 *)\n", 20));
        unedited("non-breaking space", "val\xC2\xA0x = 1;\n");
        unedited("ten-megabyte line", "val s = \"" + QByteArray(10 * 1024 * 1024, 'x') + "\";");
        QTest::newRow("byte-order mark and CRLF, a line added")
            << QByteArray("\xEF\xBB\xBFval x = 1;\r\nval y = 2;\r\n") << QStringLiteral("val a = 0;")
            << QByteArray("\xEF\xBB\xBFval x = 1;\r\nval a = 0;\r\nval y = 2;\r\n");
        unedited("noncharacters, CR alone, byte-order mark inside",
                 QStringLiteral("val s = \"\uFDD0\uFDD1\uFDEF\uFFFE\uFFFF\U0010FFFF\uFEFF\";\r(* \r\n *)\n").toUtf8());
        QTest::newRow("U+FDD0: a line break typed in its line is LF")
            << QStringLiteral("val x = 1;\uFDD0val y = 2;\n").toUtf8() << QStringLiteral("val a = 0;")
            << QStringLiteral("val x = 1;\nval a = 0;\uFDD0val y = 2;\n").toUtf8();
        const QByteArray longLine = "val s = \"" + QByteArray(5000, 'x') + "\";\r\nval y = 2;\r\n";
        QTest::newRow("CRLF, a line added at the end of a long line's first piece")
            << longLine << QStringLiteral("val a = 0;")
            << longLine.left(OLSoftBreaks::unwrappedPieceLength) + "\r\nval a = 0;" + longLine.mid(OLSoftBreaks::unwrappedPieceLength);
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
        AppFixture fixture;
        OLWindowController *window = fixture.open(QStringLiteral("doc.sml"), bytes);
        QVERIFY(window);
        QVERIFY(!window->fileChanged() && !window->isWindowModified());
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
        QVERIFY(!window->isWindowModified());
        QVERIFY(fixture.asker.alerts.isEmpty());
        QCOMPARE(entriesOf(fixture.dir).filter(QStringLiteral("doc.sml")), QStringList(QStringLiteral("doc.sml")));
    }

    void closeQuestion_data()
    {
        QTest::addColumn<CloseCase>("c");
        const QByteArray old("val x = 1;\r\n"), edited("val x = 1;\r\nval y = 2;");
        QTest::newRow("edit taken back in a CRLF file: no question") << CloseCase{true, true, {}, {}, true, old};
        QTest::newRow("edit taken back in a new document: no question") << CloseCase{false, true, {}, {}, true, {}};
        QTest::newRow("Don't Save closes, the file stays") << CloseCase{true, false, SaveChanges::DontSave, {}, true, old};
        QTest::newRow("Cancel keeps the window") << CloseCase{true, false, SaveChanges::Cancel, {}, false, old};
        QTest::newRow("Save writes and closes") << CloseCase{true, false, SaveChanges::Save, {}, true, edited};
        QTest::newRow("Save on a full disk: alert and save panel (cancelled), stays open")
            << CloseCase{true, false, SaveChanges::Save, {}, false, old, true};
        QTest::newRow("Save of a new document, panel confirmed")
            << CloseCase{false, false, SaveChanges::Save, QStringLiteral("saved.sml"), true, "val x = 1;\nval y = 2;"};
        QTest::newRow("Save of a new document, panel cancelled, stays open")
            << CloseCase{false, false, SaveChanges::Save, {}, false, {}};
    }
    // The window closes after the question only when the text is safe. A
    // failed write names the file and the reason, and offers the save panel;
    // the old file is unchanged and no temporary file is left.
    void closeQuestion()
    {
        QFETCH(CloseCase, c);
        AppFixture fixture;
        fixture.untitled(QStringLiteral("val keep = 0;")); // closing the other one does not quit
        OLWindowController *window
            = c.withFile ? fixture.open(QStringLiteral("doc.sml"), "val x = 1;\r\n") : fixture.untitled();
        QVERIFY(window);
        QVERIFY(!window->isWindowModified());
        const QString path = c.withFile ? window->file() : c.savePanel.isEmpty() ? QString() : fixture.path(c.savePanel);
        typeAtEnd(window, c.withFile ? QStringLiteral("val y = 2;") : QStringLiteral("val x = 1;\nval y = 2;"));
        QVERIFY(window->isWindowModified());
        if (c.takenBack) {
            const qsizetype typed = window->content().size() - (c.withFile ? 11 : 0);
            for (qsizetype i = 0; i < typed; ++i)
                QTest::keyClick(window->editor()->textView(), Qt::Key_Backspace);
            QVERIFY(!window->isWindowModified());
        }
        fixture.asker.saveChanges.push_back(c.answer);
        fixture.asker.saveFileNames.push_back(c.withFile ? QString() : path);

        const QPointer<OLWindowController> guard(window);
        {
            std::optional<FileSizeLimit> limit;
            if (c.diskFull)
                limit.emplace(10);
            window->closeWindow();
        }
        QCOMPARE(fixture.asker.saveChangesAskedBy, c.takenBack ? QList<QWidget *>() : QList<QWidget *>({window}));
        if (c.closes) {
            QTRY_VERIFY(!guard);
        } else {
            QVERIFY(guard && window->isVisible() && window->isWindowModified());
            QVERIFY(window->editor()->content().endsWith(QStringLiteral("val y = 2;")));
        }
        QCOMPARE(fixture.app->windows().size(), c.closes ? 1 : 2);
        if (!path.isEmpty())
            QCOMPARE(readBytes(path), c.onDisk);
        const QStringList saved = path.isEmpty() ? QStringList() : QStringList(QFileInfo(path).fileName());
        QCOMPARE(entriesOf(fixture.dir).filter(QStringLiteral(".sml")), saved);
        QCOMPARE(fixture.asker.alerts.size(), c.diskFull ? 1 : 0);
        if (c.diskFull) {
            QCOMPARE(fixture.asker.alerts[0].message, QStringLiteral("Could not write to file doc.sml"));
            QCOMPARE(fixture.asker.alerts[0].informative, QStringLiteral("File too large"));
            QCOMPARE(fixture.asker.saveDirectories.size(), 1);
        }
    }

    // A Save As that cannot write shows the alert and the panel again, in the
    // folder chosen; the next choice is saved, the title names it, and later
    // saves and panels follow the file.
    void saveAsAfterAFailedWrite()
    {
        AppFixture fixture;
        const QString notAFolder = fixture.write(QStringLiteral("plain"), "a file");
        const QString path = fixture.path(QStringLiteral("named.sml"));
        OLWindowController *window = fixture.untitled(QStringLiteral("val x = 1;"));
        fixture.asker.saveFileNames = {notAFolder + QStringLiteral("/first.sml"), path};
        QVERIFY(window->saveFileAs());
        QCOMPARE(fixture.asker.alerts.size(), 1);
        QCOMPARE(fixture.asker.alerts[0].message, QStringLiteral("Could not write to file first.sml"));
        QCOMPARE(fixture.asker.alerts[0].informative, QStringLiteral("Not a directory"));
        QCOMPARE(fixture.asker.saveDirectories, QStringList({QDir::homePath(), notAFolder}));
        QCOMPARE(fixture.asker.proposedNames.constFirst(), QStringLiteral("newDocument.sml"));
        QCOMPARE(window->file(), path);
        QCOMPARE(readBytes(path), QByteArray("val x = 1;"));
        QVERIFY(!window->isWindowModified());
        QCOMPARE(window->windowTitle(), QStringLiteral("named.sml[*] - Ostrel"));

        typeAtEnd(window, QStringLiteral("\nval y = 2;"));
        QVERIFY(window->saveFile());
        QCOMPARE(readBytes(path), QByteArray("val x = 1;\nval y = 2;"));
        QCOMPARE(fixture.asker.saveDirectories.size(), 2);
        window->saveFileAs();
        QCOMPARE(fixture.asker.saveDirectories.last(), fixture.dir.path());
    }

    void titleShowsTheFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("blank and percent sign kept") << QStringLiteral("my%20 file.sml");
        QTest::newRow("non-ASCII") << QStringLiteral("übung.sml");
    }
    void titleShowsTheFileName()
    {
        QFETCH(QString, name);
        AppFixture fixture;
        OLWindowController *window = fixture.app->openDocumentWindow(fixture.write(name, "val x = 1;\n"));
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), name + QStringLiteral("[*] - Ostrel"));
    }

    void goToLine_data()
    {
        QTest::addColumn<QString>("entered");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("alert"); // none: accepted
        QTest::newRow("line 2") << QStringLiteral("2") << QStringLiteral("val y = 2;") << QString();
        QTest::newRow("beyond the last line") << QStringLiteral("5") << QString() << QStringLiteral("Invalid line number 5");
        QTest::newRow("not a number") << QStringLiteral("two") << QString() << QStringLiteral("Invalid line number 0");
    }
    // Ctrl+L opens one window-modal sheet; a refused number alerts and the
    // sheet stays until Escape. Which lines exist is the editor tests' matter.
    void goToLine()
    {
        QFETCH(QString, entered);
        QFETCH(QString, selected);
        QFETCH(QString, alert);
        AppFixture fixture;
        OLWindowController *window = fixture.open(QStringLiteral("g.sml"), "val x = 1;\nval y = 2;\nval z = 3;\n");
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        window->jumpToEditor();
        QTest::keyClick(window->editor()->textView(), Qt::Key_L, Qt::ControlModifier);
        QPointer<QDialog> sheet = window->findSheet();
        QVERIFY(sheet);
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        window->openGoToLineSheet();
        QCOMPARE(window->findSheet(), sheet.get());

        window->findSheetTextField()->setText(entered);
        QTest::keyClick(window->findSheetTextField(), Qt::Key_Return);
        if (!alert.isEmpty()) {
            QCOMPARE(fixture.asker.alerts.size(), 1);
            QCOMPARE(fixture.asker.alerts[0].message, alert);
            QVERIFY(sheet && sheet->isVisible());
            QTest::keyClick(window->findSheetTextField(), Qt::Key_Escape);
        }
        QTRY_VERIFY(!sheet);
        QCOMPARE(window->findSheet(), nullptr);
        QCOMPARE(fixture.asker.alerts.size(), alert.isEmpty() ? 0 : 1);
        QCOMPARE(window->editor()->textView()->textCursor().selectedText(), selected);
    }

    void orientationIsStoredAndFlipped()
    {
        AppFixture fixture;
        fixture.app->defaults().saveVerticalOrientation(true);
        OLWindowController *first = fixture.untitled();
        QCOMPARE(first->splitView()->orientation(), Qt::Horizontal);
        QCOMPARE(first->splitView()->widget(0), static_cast<QWidget *>(first->editor()));
        first->changeOrientation();
        QCOMPARE(first->splitView()->orientation(), Qt::Vertical);
        QVERIFY(!fixture.app->defaults().loadVerticalOrientation());
        QCOMPARE(fixture.untitled()->splitView()->orientation(), Qt::Vertical);
        first->changeOrientation();
        QCOMPARE(first->splitView()->orientation(), Qt::Horizontal);
        QVERIFY(fixture.app->defaults().loadVerticalOrientation());
    }

    // One non-modal chooser in place of the window's panes; closed without a
    // choice, the window and its interpreter go on.
    void chooseModeShowsChooserBesideWindow()
    {
        AppFixture fixture;
        OLWindowController *window = fixture.untitled();
        window->chooseMode();
        QPointer<OLModeChooserWindowController> chooser = window->modeChooser();
        QVERIFY(chooser && chooser->isVisible() && !chooser->isModal());
        QVERIFY(!window->centralWidget()->isVisible());
        window->chooseMode();
        QCOMPARE(window->modeChooser(), chooser.get());
        chooser->close();
        QTRY_VERIFY(!chooser);
        QVERIFY(window->centralWidget()->isVisible());
        QCOMPARE(fixture.app->defaults().loadPreferredInterpreterPath(), polyCommandLine);
        QCOMPARE(fixture.app->windows().size(), 1);
    }

    // Every command of the window is in a menu, each with a key of its own
    // but the chooser and About, which are seldom needed.
    void everyCommandIsInAMenuWithItsOwnKey()
    {
        AppFixture fixture;
        QSet<QKeySequence> keys;
        for (QAction *menu : fixture.untitled()->menuBar()->actions()) {
            for (const QAction *action : menu->menu()->actions()) {
                if (action->isSeparator() || action->text() == QStringLiteral("Choose Interpreter...")
                    || action->text() == QStringLiteral("&About Ostrel"))
                    continue;
                QVERIFY2(!action->shortcut().isEmpty() && !keys.contains(action->shortcut()), qPrintable(action->text()));
                keys.insert(action->shortcut());
            }
        }
        QVERIFY(!keys.isEmpty());
    }

    // The list of keys is made from the menus as they are: every command
    // with its key, one added later too.
    void keyboardShortcutsComeFromTheMenus()
    {
        AppFixture fixture;
        OLWindowController *window = fixture.untitled();
        window->menuBar()->addMenu(QStringLiteral("Extra"))->addAction(QStringLiteral("Later"))->setShortcut(Qt::Key_F9);
        window->showKeyboardShortcuts();
        auto *table = window->findChild<QDialog *>(QStringLiteral("keyboardShortcuts"))->findChild<QTableWidget *>();
        QStringList listed, expected;
        for (int row = 0; row < table->rowCount(); ++row)
            listed.append(table->item(row, 0)->text() + u'=' + table->item(row, 1)->text());
        for (QAction *menu : window->menuBar()->actions()) {
            for (const QAction *action : menu->menu()->actions()) {
                if (!action->isSeparator())
                    expected.append(menu->text().remove(u'&') + QStringLiteral(" › ") + action->text().remove(u'&') + u'='
                                    + action->shortcut().toString(QKeySequence::NativeText));
            }
        }
        QCOMPARE(listed, expected);
        QVERIFY(listed.contains(QStringLiteral("Extra › Later=F9")) && listed.contains(QStringLiteral("Help › About Ostrel=")));
    }

    // The status bar names the interpreter (an unknown kind by its program),
    // the new one after a reset, and shows the editor cursor's line and column.
    void statusBar_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QString>("name");
        QTest::newRow("SML of New Jersey") << smlnjCommandLine << "SML of New Jersey";
        QTest::newRow("of no known kind") << QStringLiteral("file://localhost/bin/cat") << "cat";
    }
    void statusBar()
    {
        QFETCH(QString, commandLine);
        QFETCH(QString, name);
        AppFixture fixture;
        OLWindowController *window = fixture.open(QStringLiteral("s.sml"), "val x = 1;\n\tval yy = 2;\n");
        QVERIFY(window);
        const auto label = [window](const char *object) { return window->findChild<QLabel *>(QLatin1StringView(object))->text(); };
        QCOMPARE(label("interpreterName"), QStringLiteral("Poly ML"));
        fixture.app->defaults().savePreferredInterpreter(commandLine);
        window->resetEnvironment();
        QCOMPARE(label("interpreterName"), name);
        for (const auto &[position, shown] : {std::pair(0, "1:1"), std::pair(10, "1:11"), std::pair(13, "2:3"), std::pair(24, "3:1")}) {
            select(*window->editor()->textView(), position);
            QCOMPARE(label("cursorPosition"), QLatin1StringView(shown));
        }
    }

    // Window-wide keys work with the focus in either text view, which takes
    // many Ctrl combinations for itself. Select All in the console selects only
    // the input after the fixed text, by key and by menu; in the editor, all.
    void keysReachTheirCommands()
    {
        AppFixture fixture;
        fixture.app->defaults().saveCommitHistory({QStringLiteral("val remembered = 1;")});
        OLWindowController *window = fixture.untitled();
        OLTextView *console = window->console()->textView();
        OLTextView *editor = window->editor()->textView();
        QVERIFY(waitForBanner(window));
        QVERIFY(QTest::qWaitForWindowActive(window));
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
        QVERIFY(!window->editor()->pending().isSet());
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(editor->textCursor().selectedText(), QStringLiteral("val x = 1;"));
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
