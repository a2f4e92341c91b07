// The document window: opening and saving files byte for byte, the edited
// mark, the close question and its mended save path, failed writes, the title,
// go to line, select-all, orientation, the chooser and the menus.

#include "appfixture.h"

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QSplitter>

#include <sys/stat.h>

using SaveChanges = OLAsker::SaveChanges;

class TestWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripIsByteIdentical_data();
    void roundTripIsByteIdentical();
    void tenMegabyteLineSavesBack();
    void editsKeepTheFilesForm_data();
    void editsKeepTheFilesForm();
    void editedMarkFollowsTheText_data();
    void editedMarkFollowsTheText();
    void closeQuestion_data();
    void closeQuestion();
    void failedSaveKeepsWindowAndText_data();
    void failedSaveKeepsWindowAndText();
    void permissionsAreKept_data();
    void permissionsAreKept();
    void saveAsIntoReadOnlyFolder();
    void saveAsKeepsTitleAndProposesName();
    void symbolicLinkStaysALink();
    void titleShowsTheFileName_data();
    void titleShowsTheFileName();
    void goToLine_data();
    void goToLine();
    void selectAllInConsoleSelectsOnlyInput();
    void orientationIsStoredAndFlipped();
    void chooseModeShowsChooserBesideWindow();
    void everyCommandIsInAMenuWithItsKey();
    void keysReachTheirCommands();
};

void TestWindow::roundTripIsByteIdentical_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("LF") << QByteArray("val x = 1;\nval y = x + 1;\n");
    QTest::newRow("CRLF") << QByteArray("val x = 1;\r\nval y = x + 1;\r\n");
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBFval x = 1;\n");
    QTest::newRow("no final newline") << QByteArray("val x = 1;\nval y = 2;");
    QTest::newRow("NUL byte") << QByteArray("val x = 1;\n(* \0 *)\n", 20);
    QTest::newRow("mixed line ends and CR") << QByteArray("val x = 1;\r\nval y = 2;\nval z = 3;\rval w = 4;\r\n");
    QTest::newRow("non-breaking space") << QByteArray("val\xC2\xA0x = 1;\n");
}

// Opened and saved without an edit, the file is byte for byte what it was,
// and the edited mark never shows.
void TestWindow::roundTripIsByteIdentical()
{
    QFETCH(QByteArray, bytes);

    AppFixture fixture;
    const QString path = fixture.write(QStringLiteral("round.sml"), bytes);
    OLWindowController *window = fixture.app->openDocumentWindow(path);
    QVERIFY(window);
    QTRY_VERIFY_WITH_TIMEOUT(!window->editor()->content().isEmpty(), 10000);
    QVERIFY(!window->fileChanged());
    QVERIFY(!window->isWindowModified());

    // Ctrl+S, as the user saves.
    QVERIFY(QTest::qWaitForWindowActive(window));
    window->jumpToEditor();
    QTest::keyClick(window->editor()->textView(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(readBytes(path), bytes);
    QVERIFY(fixture.asker.alerts.isEmpty());
    QCOMPARE(entriesOf(fixture.dir), QStringList({QStringLiteral("round.sml"), QStringLiteral("settings.ini")}));
}

void TestWindow::tenMegabyteLineSavesBack()
{
    AppFixture fixture;
    const QByteArray bytes = "val s = \"" + QByteArray(10 * 1024 * 1024, 'x') + "\";";
    const QString path = fixture.write(QStringLiteral("long.sml"), bytes);
    OLWindowController *window = fixture.app->openDocumentWindow(path);
    QVERIFY(window);
    QTRY_COMPARE_WITH_TIMEOUT(window->editor()->content().size(), bytes.size(), 60000);
    QVERIFY(!window->isWindowModified());
    QVERIFY(window->saveFile());
    QCOMPARE(readBytes(path), bytes);
}

void TestWindow::editsKeepTheFilesForm_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("expected");

    // Enter at the end of the first line, then "val a = 0;".
    QTest::newRow("CRLF") << QByteArray("val x = 1;\r\nval y = 2;\r\n")
                          << QByteArray("val x = 1;\r\nval a = 0;\r\nval y = 2;\r\n");
    QTest::newRow("byte-order mark and LF") << QByteArray("\xEF\xBB\xBFval x = 1;\nval y = 2;")
                                            << QByteArray("\xEF\xBB\xBFval x = 1;\nval a = 0;\nval y = 2;");
    QTest::newRow("mixed: the new line ends like the line it split")
        << QByteArray("val x = 1;\nval y = 2;\r\nval z = 3;\r\n")
        << QByteArray("val x = 1;\nval a = 0;\nval y = 2;\r\nval z = 3;\r\n");
}

void TestWindow::editsKeepTheFilesForm()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, expected);

    AppFixture fixture;
    const QString path = fixture.write(QStringLiteral("edit.sml"), bytes);
    OLWindowController *window = fixture.app->openDocumentWindow(path);
    QVERIFY(window);
    QTRY_VERIFY_WITH_TIMEOUT(!window->editor()->content().isEmpty(), 10000);
    OLTextView *view = window->editor()->textView();
    view->setFocus();
    QTextCursor cursor(view->document());
    cursor.movePosition(QTextCursor::EndOfBlock);
    view->setTextCursor(cursor);
    QTest::keyClick(view, Qt::Key_Return);
    QTest::keyClicks(view, QStringLiteral("val a = 0;"));
    QVERIFY(window->isWindowModified());

    QVERIFY(window->saveFile());
    QCOMPARE(readBytes(path), expected);
    QVERIFY(!window->isWindowModified());
}

void TestWindow::editedMarkFollowsTheText_data()
{
    QTest::addColumn<bool>("withFile");

    QTest::newRow("new document") << false;
    QTest::newRow("CRLF file") << true;
}

// Typing sets the mark; taking the change back by hand clears it again, and
// closing then asks nothing.
void TestWindow::editedMarkFollowsTheText()
{
    QFETCH(bool, withFile);

    AppFixture fixture;
    OLWindowController *window;
    if (withFile) {
        window = fixture.app->openDocumentWindow(fixture.write(QStringLiteral("m.sml"), "val x = 1;\r\n"));
        QVERIFY(window);
        WAIT_FOR_TEXT(window, QStringLiteral("val x = 1;\n"));
    } else {
        fixture.app->newDocument();
        window = fixture.app->windows().constFirst();
    }
    QVERIFY(!window->isWindowModified());
    typeAtEnd(window, QStringLiteral("z"));
    QVERIFY(window->isWindowModified());
    QTest::keyClick(window->editor()->textView(), Qt::Key_Backspace);
    QVERIFY(!window->isWindowModified());

    const QPointer<OLWindowController> guard(window);
    window->closeWindow();
    QVERIFY(fixture.asker.saveChangesAskedBy.isEmpty());
    QTRY_VERIFY(!guard);
}

void TestWindow::closeQuestion_data()
{
    QTest::addColumn<bool>("withFile");
    QTest::addColumn<SaveChanges>("answer");
    QTest::addColumn<QString>("savePanelAnswer");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QByteArray>("onDisk");

    const QByteArray old("val x = 1;\n");
    const QByteArray edited("val x = 1;\nval y = 2;");
    QTest::newRow("Don't Save closes, the file stays") << true << SaveChanges::DontSave << QString() << true << old;
    QTest::newRow("Cancel keeps the window") << true << SaveChanges::Cancel << QString() << false << old;
    QTest::newRow("Save writes and closes") << true << SaveChanges::Save << QString() << true << edited;
    QTest::newRow("Save of a new document, panel confirmed")
        << false << SaveChanges::Save << QStringLiteral("saved.sml") << true << edited;
    QTest::newRow("Save of a new document, panel cancelled, stays open")
        << false << SaveChanges::Save << QString() << false << QByteArray();
}

void TestWindow::closeQuestion()
{
    QFETCH(bool, withFile);
    QFETCH(SaveChanges, answer);
    QFETCH(QString, savePanelAnswer);
    QFETCH(bool, closes);
    QFETCH(QByteArray, onDisk);

    AppFixture fixture;
    // A window with text, so that the next one opens beside it and closing
    // that one does not quit.
    fixture.app->newDocument();
    typeAtEnd(fixture.app->windows().constFirst(), QStringLiteral("val keep = 0;"));
    OLWindowController *window;
    QString path;
    if (withFile) {
        path = fixture.write(QStringLiteral("doc.sml"), "val x = 1;\n");
        window = fixture.app->openDocumentWindow(path);
        QVERIFY(window);
        WAIT_FOR_TEXT(window, QStringLiteral("val x = 1;\n"));
        typeAtEnd(window, QStringLiteral("val y = 2;"));
    } else {
        fixture.app->newDocument();
        window = fixture.app->windows().last();
        typeAtEnd(window, QStringLiteral("val x = 1;\nval y = 2;"));
        if (!savePanelAnswer.isEmpty())
            path = fixture.path(savePanelAnswer);
    }
    fixture.asker.saveChanges.push_back(answer);
    fixture.asker.saveFileNames.push_back(path.isEmpty() ? QString() : path);

    const QPointer<OLWindowController> guard(window);
    window->closeWindow();
    QCOMPARE(fixture.asker.saveChangesAskedBy, QList<QWidget *>({window}));
    if (closes) {
        QTRY_VERIFY(!guard);
        QCOMPARE(fixture.app->windows().size(), 1);
    } else {
        QVERIFY(guard && window->isVisible());
        QCOMPARE(fixture.app->windows().size(), 2);
        QVERIFY(window->isWindowModified());
        QVERIFY(window->editor()->content().endsWith(QStringLiteral("val y = 2;")));
    }
    if (!path.isEmpty())
        QCOMPARE(readBytes(path), onDisk);
    QVERIFY(fixture.asker.alerts.isEmpty());
}

void TestWindow::failedSaveKeepsWindowAndText_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason"); // the alert's informative text holds this

    QTest::newRow("disk full (file size limit)") << QStringLiteral("file size limit") << QStringLiteral("File too large");
    QTest::newRow("read-only file") << QStringLiteral("read-only file") << QStringLiteral("not writable");
    QTest::newRow("read-only folder") << QStringLiteral("read-only folder") << QStringLiteral("Permission denied");
    QTest::newRow("folder in place of the file") << QStringLiteral("folder in place") << QStringLiteral("directory");
    QTest::newRow("folder replaced by a file") << QStringLiteral("not a folder") << QStringLiteral("Not a directory");
}

// "Save" in the close question when the write fails: the alert names the
// file and the reason, the save panel comes (cancelled here), and the window
// stays with its text, still marked as edited; the old file is unchanged and
// no temporary file is left. Read-only permissions do not stop root, so
// those rows are skipped when the tests run as root.
void TestWindow::failedSaveKeepsWindowAndText()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);

    AppFixture fixture;
    const QString work = fixture.path(QStringLiteral("work"));
    QVERIFY(QDir().mkdir(work));
    const QString path = fixture.write(QStringLiteral("work/doc.sml"), "val x = 1;\n");
    OLWindowController *window = fixture.app->openDocumentWindow(path);
    QVERIFY(window);
    WAIT_FOR_TEXT(window, QStringLiteral("val x = 1;\n"));
    const QString added = QStringLiteral("val long = \"") + QString(2000, u'x') + QStringLiteral("\";");
    window->editor()->setContent(window->editor()->content() + added);
    QVERIFY(window->isWindowModified());

    std::unique_ptr<FileSizeLimit> limit;
    if (fault == QStringLiteral("file size limit")) {
        limit = std::make_unique<FileSizeLimit>(1000);
    } else if (fault == QStringLiteral("read-only file")) {
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
        SKIP_WHEN_PERMISSIONS_DO_NOT_APPLY(path);
    } else if (fault == QStringLiteral("read-only folder")) {
        QVERIFY(QFile::setPermissions(work, QFile::ReadOwner | QFile::ExeOwner));
        SKIP_WHEN_PERMISSIONS_DO_NOT_APPLY(work);
    } else if (fault == QStringLiteral("folder in place")) {
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkdir(path));
    } else {
        QVERIFY(QDir(work).removeRecursively());
        fixture.write(QStringLiteral("work"), "a file now");
    }
    fixture.asker.saveChanges.push_back(SaveChanges::Save);
    const QPointer<OLWindowController> guard(window);
    window->closeWindow();
    limit.reset();
    QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QCOMPARE(fixture.asker.alerts.size(), 1);
    QCOMPARE(fixture.asker.alerts[0].message, QStringLiteral("Could not write to file doc.sml"));
    QVERIFY2(fixture.asker.alerts[0].informative.contains(reason), qPrintable(fixture.asker.alerts[0].informative));
    QCOMPARE(fixture.asker.saveDirectories.size(), 1); // the panel came, and was cancelled
    QVERIFY(guard && window->isVisible());
    QVERIFY(window->isWindowModified());
    QVERIFY(window->editor()->content().endsWith(added));
    if (fault == QStringLiteral("not a folder")) {
        QCOMPARE(readBytes(work), QByteArray("a file now"));
    } else {
        QCOMPARE(entriesOf(fixture.dir, QStringLiteral("work")), QStringList(QStringLiteral("doc.sml")));
        if (fault == QStringLiteral("folder in place"))
            QCOMPARE(entriesOf(fixture.dir, QStringLiteral("work/doc.sml")), QStringList());
        else
            QCOMPARE(readBytes(path), QByteArray("val x = 1;\n"));
    }
}

void TestWindow::permissionsAreKept_data()
{
    QTest::addColumn<int>("mode");

    QTest::newRow("owner only (0600)") << 0600;
    QTest::newRow("group readable (0640)") << 0640;
    QTest::newRow("executable script (0755)") << 0755;
    QTest::newRow("group writable (0664)") << 0664;
}

// An edited file, saved by replacing it, has the permissions it had.
void TestWindow::permissionsAreKept()
{
    QFETCH(int, mode);

    AppFixture fixture;
    const QString path = fixture.write(QStringLiteral("doc.sml"), "val x = 1;\n");
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
    OLWindowController *window = fixture.app->openDocumentWindow(path);
    QVERIFY(window);
    WAIT_FOR_TEXT(window, QStringLiteral("val x = 1;\n"));
    typeAtEnd(window, QStringLiteral("val y = 2;"));
    QVERIFY(window->saveFile());
    QCOMPARE(readBytes(path), QByteArray("val x = 1;\nval y = 2;"));
    struct stat status;
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
    QCOMPARE(int(status.st_mode & 07777), mode);
}

// Save As into a folder without write permission: the alert names the file
// chosen and the reason, the panel opens again, and lastSaved already points
// to the folder chosen first.
void TestWindow::saveAsIntoReadOnlyFolder()
{
    AppFixture fixture;
    const QString locked = fixture.path(QStringLiteral("locked"));
    QVERIFY(QDir().mkdir(locked));
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    SKIP_WHEN_PERMISSIONS_DO_NOT_APPLY(locked);

    fixture.app->newDocument();
    OLWindowController *window = fixture.app->windows().constFirst();
    typeAtEnd(window, QStringLiteral("val x = 1;"));
    fixture.asker.saveFileNames = {locked + QStringLiteral("/first.sml")};
    QVERIFY(!window->saveFileAs());

    QCOMPARE(fixture.asker.alerts.size(), 1);
    QCOMPARE(fixture.asker.alerts[0].message, QStringLiteral("Could not write to file first.sml"));
    QVERIFY2(fixture.asker.alerts[0].informative.contains(QStringLiteral("ermission")),
             qPrintable(fixture.asker.alerts[0].informative));
    QCOMPARE(fixture.asker.saveDirectories, QStringList({QDir::homePath(), locked}));
    QCOMPARE(fixture.app->lastSaved(), locked);
    QVERIFY(window->file().isEmpty());
    QVERIFY(window->isWindowModified());
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(entriesOf(fixture.dir, QStringLiteral("locked")), QStringList());
}

void TestWindow::saveAsKeepsTitleAndProposesName()
{
    AppFixture fixture;
    fixture.app->newDocument();
    OLWindowController *window = fixture.app->windows().constFirst();
    typeAtEnd(window, QStringLiteral("val x = 1;"));
    const QString path = fixture.path(QStringLiteral("named.sml"));
    fixture.asker.saveFileNames = {path};
    QVERIFY(window->saveFileAs());

    QCOMPARE(fixture.asker.proposedNames, QStringList(QStringLiteral("newDocument.sml")));
    QCOMPARE(window->file(), path);
    QCOMPARE(readBytes(path), QByteArray("val x = 1;"));
    QCOMPARE(fixture.app->lastSaved(), fixture.dir.path());
    QVERIFY(!window->isWindowModified());
    QCOMPARE(window->windowTitle(), QStringLiteral("Ostrel[*]"));

    // The next save goes to the file without a panel, and the next panel
    // starts in the folder of the last one.
    typeAtEnd(window, QStringLiteral("\nval y = 2;"));
    QVERIFY(window->saveFile());
    QCOMPARE(readBytes(path), QByteArray("val x = 1;\nval y = 2;"));
    QCOMPARE(fixture.asker.saveDirectories, QStringList(QDir::homePath()));
    window->saveFileAs();
    QCOMPARE(fixture.asker.saveDirectories.last(), fixture.dir.path());
}

void TestWindow::symbolicLinkStaysALink()
{
    AppFixture fixture;
    const QString target = fixture.write(QStringLiteral("target.sml"), "val x = 1;\n");
    QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QString link = fixture.path(QStringLiteral("link.sml"));
    QVERIFY(QFile::link(target, link));

    OLWindowController *window = fixture.app->openDocumentWindow(link);
    QVERIFY(window);
    WAIT_FOR_TEXT(window, QStringLiteral("val x = 1;\n"));
    typeAtEnd(window, QStringLiteral("val y = 2;"));
    QVERIFY(window->saveFile());
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readBytes(target), QByteArray("val x = 1;\nval y = 2;"));
    QCOMPARE(QFileInfo(target).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
}

void TestWindow::titleShowsTheFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");

    QTest::newRow("plain") << QStringLiteral("a.sml") << QStringLiteral("a.sml[*] - Ostrel");
    QTest::newRow("blank") << QStringLiteral("my file.sml") << QStringLiteral("my file.sml[*] - Ostrel");
    QTest::newRow("percent sign kept") << QStringLiteral("my%20file.sml") << QStringLiteral("my%20file.sml[*] - Ostrel");
    QTest::newRow("non-ASCII") << QStringLiteral("übung.sml") << QStringLiteral("übung.sml[*] - Ostrel");
}

void TestWindow::titleShowsTheFileName()
{
    QFETCH(QString, name);
    QFETCH(QString, title);

    AppFixture fixture;
    OLWindowController *window = fixture.app->openDocumentWindow(fixture.write(name, "val x = 1;\n"));
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), title);
}

void TestWindow::goToLine_data()
{
    QTest::addColumn<QString>("entered");
    QTest::addColumn<QString>("selected"); // empty: refused
    QTest::addColumn<QString>("alert");

    QTest::newRow("line 2") << QStringLiteral("2") << QStringLiteral("val y = 2;") << QString();
    QTest::newRow("empty line after the last line break") << QStringLiteral("4") << QString() << QString();
    QTest::newRow("zero") << QStringLiteral("0") << QString() << QStringLiteral("Invalid line number 0");
    QTest::newRow("negative") << QStringLiteral("-3") << QString() << QStringLiteral("Invalid line number -3");
    QTest::newRow("beyond the last line") << QStringLiteral("5") << QString() << QStringLiteral("Invalid line number 5");
    QTest::newRow("not a number") << QStringLiteral("two") << QString() << QStringLiteral("Invalid line number 0");
}

void TestWindow::goToLine()
{
    QFETCH(QString, entered);
    QFETCH(QString, selected);
    QFETCH(QString, alert);

    AppFixture fixture;
    OLWindowController *window
        = fixture.app->openDocumentWindow(fixture.write(QStringLiteral("g.sml"), "val x = 1;\nval y = 2;\nval z = 3;\n"));
    QVERIFY(window);
    WAIT_FOR_TEXT(window, QStringLiteral("val x = 1;\nval y = 2;\nval z = 3;\n"));

    QVERIFY(QTest::qWaitForWindowActive(window));
    window->jumpToEditor();
    QTest::keyClick(window->editor()->textView(), Qt::Key_L, Qt::ControlModifier);
    QPointer<QDialog> sheet = window->findSheet();
    QVERIFY(sheet);
    QCOMPARE(sheet->windowModality(), Qt::WindowModal);
    window->openGoToLineSheet(); // a second one does nothing
    QCOMPARE(window->findSheet(), sheet.get());

    window->findSheetTextField()->setText(entered);
    QTest::keyClick(window->findSheetTextField(), Qt::Key_Return);
    if (alert.isEmpty()) {
        QVERIFY(fixture.asker.alerts.isEmpty());
        QTRY_VERIFY(!sheet);
        QCOMPARE(window->findSheet(), nullptr);
        QCOMPARE(window->editor()->textView()->textCursor().selectedText(), selected);
    } else {
        QCOMPARE(fixture.asker.alerts.size(), 1);
        QCOMPARE(fixture.asker.alerts[0].message, alert);
        QVERIFY(sheet && sheet->isVisible());
        // Escape gives up.
        QTest::keyClick(window->findSheetTextField(), Qt::Key_Escape);
        QTRY_VERIFY(!sheet);
        QCOMPARE(window->findSheet(), nullptr);
    }
}

// Select All in the console selects the input typed after the fixed text
// only, by menu and by key; in the editor it selects everything.
void TestWindow::selectAllInConsoleSelectsOnlyInput()
{
    AppFixture fixture;
    fixture.app->newDocument();
    OLWindowController *window = fixture.app->windows().constFirst();
    OLInterpreterViewController *console = window->console();
    QTRY_VERIFY_WITH_TIMEOUT(console->fixedLength() > 0, 10000); // Poly ML's banner
    QVERIFY(QTest::qWaitForWindowActive(window));
    window->jumpToInterpreter();
    console->textView()->moveCursor(QTextCursor::End);
    QTest::keyClicks(console->textView(), QStringLiteral("1 + 1"));

    QTest::keyClick(console->textView(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(console->textView()->textCursor().selectedText(), QStringLiteral("1 + 1"));
    console->textView()->moveCursor(QTextCursor::End);
    window->mySelectAll();
    QCOMPARE(console->textView()->textCursor().selectedText(), QStringLiteral("1 + 1"));

    typeAtEnd(window, QStringLiteral("val x = 1;"));
    QTest::keyClick(window->editor()->textView(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(window->editor()->textView()->textCursor().selectedText(), QStringLiteral("val x = 1;"));
}

void TestWindow::orientationIsStoredAndFlipped()
{
    AppFixture fixture;
    fixture.app->defaults().saveVerticalOrientation(true);
    fixture.app->newDocument();
    OLWindowController *first = fixture.app->windows().constFirst();
    QCOMPARE(first->splitView()->orientation(), Qt::Horizontal);
    QCOMPARE(first->splitView()->widget(0), static_cast<QWidget *>(first->editor()));

    first->changeOrientation();
    QCOMPARE(first->splitView()->orientation(), Qt::Vertical);
    QVERIFY(!fixture.app->defaults().loadVerticalOrientation());

    fixture.app->newDocument();
    QCOMPARE(fixture.app->windows().last()->splitView()->orientation(), Qt::Vertical);
    first->changeOrientation();
    QCOMPARE(first->splitView()->orientation(), Qt::Horizontal);
    QVERIFY(fixture.app->defaults().loadVerticalOrientation());
}

void TestWindow::chooseModeShowsChooserBesideWindow()
{
    AppFixture fixture;
    fixture.app->newDocument();
    OLWindowController *window = fixture.app->windows().constFirst();
    window->chooseMode();
    QPointer<OLModeChooserWindowController> chooser = window->modeChooser();
    QVERIFY(chooser);
    QVERIFY(chooser->isVisible());
    QVERIFY(!chooser->isModal());
    QVERIFY(!window->centralWidget()->isVisible());
    window->chooseMode(); // one at a time
    QCOMPARE(window->modeChooser(), chooser.get());

    // Closed without a choice: the window and its interpreter go on.
    chooser->close();
    QTRY_VERIFY(!chooser);
    QVERIFY(window->centralWidget()->isVisible());
    QCOMPARE(fixture.app->defaults().loadPreferredInterpreterPath(), polyCommandLine);
    QCOMPARE(fixture.app->windows().size(), 1);
}

// Every command of the window is in a menu, with a key.
void TestWindow::everyCommandIsInAMenuWithItsKey()
{
    AppFixture fixture;
    fixture.app->newDocument();
    OLWindowController *window = fixture.app->windows().constFirst();
    QHash<QString, QKeySequence> keys;
    for (QAction *menu : window->menuBar()->actions()) {
        for (QAction *action : menu->menu()->actions()) {
            if (!action->isSeparator())
                keys.insert(action->text().remove(u'&'), action->shortcut());
        }
    }
    const QList<std::pair<const char *, const char *>> expected{
        {"New", "Ctrl+N"}, {"Open...", "Ctrl+O"}, {"Save", "Ctrl+S"}, {"Save As...", "Ctrl+Shift+S"},
        {"Close", "Ctrl+W"}, {"Quit", "Ctrl+Q"}, {"Undo", "Ctrl+Z"}, {"Find...", "Ctrl+F"},
        {"Go to Line...", "Ctrl+L"}, {"Next Step", "Ctrl+Return"}, {"To Cursor", "Ctrl+Shift+Return"},
        {"Whole File", "Ctrl+Shift+E"}, {"Interrupt", "Ctrl+I"}, {"Reset Interpreter", "Ctrl+R"},
        {"History Back", "Ctrl+Up"}, {"History Forward", "Ctrl+Down"}, {"Jump to Editor", "Ctrl+1"},
        {"Jump to Console", "Ctrl+2"}, {"Select All", "Ctrl+A"}, {"Preferences...", "Ctrl+,"},
        {"Change Orientation", "Ctrl+Shift+O"}, {"Choose Interpreter...", ""}};
    for (const auto &[title, key] : expected) {
        QVERIFY2(keys.contains(QString::fromLatin1(title)), title);
        QCOMPARE(keys.value(QString::fromLatin1(title)), QKeySequence(QString::fromLatin1(key)));
    }
    // No two commands share a key.
    QSet<QKeySequence> distinct;
    for (const QKeySequence &key : std::as_const(keys)) {
        if (!key.isEmpty())
            QVERIFY2(!distinct.contains(key), qPrintable(key.toString()));
        distinct.insert(key);
    }
}

// Window-wide keys work with the focus in either text view, which takes many
// Ctrl combinations for itself.
void TestWindow::keysReachTheirCommands()
{
    AppFixture fixture;
    fixture.app->defaults().saveCommitHistory({QStringLiteral("val remembered = 1;")});
    fixture.app->newDocument();
    OLWindowController *window = fixture.app->windows().constFirst();
    OLInterpreterViewController *console = window->console();
    QTRY_VERIFY_WITH_TIMEOUT(console->fixedLength() > 0, 10000);
    QVERIFY(QTest::qWaitForWindowActive(window));

    window->jumpToInterpreter();
    QTest::keyClick(console->textView(), Qt::Key_Up, Qt::ControlModifier);
    QVERIFY(console->textStorage().string().endsWith(QStringLiteral("val remembered = 1;")));
    QTest::keyClick(console->textView(), Qt::Key_Down, Qt::ControlModifier);
    QVERIFY(!console->textStorage().string().endsWith(QStringLiteral("val remembered = 1;")));

    QTest::keyClick(console->textView(), Qt::Key_1, Qt::ControlModifier);
    QCOMPARE(window->focusWidget(), window->editor()->textView());
    QTest::keyClick(window->editor()->textView(), Qt::Key_2, Qt::ControlModifier);
    QCOMPARE(window->focusWidget(), console->textView());

    typeAtEnd(window, QStringLiteral("val x = 1;"));
    QTest::keyClick(window->editor()->textView(), Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(window->editor()->pending().location, 0u);
    QTRY_VERIFY_WITH_TIMEOUT(window->editor()->interpreted() > 0, 10000);
    QVERIFY(!window->editor()->pending().isSet());
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
