// The application: the launch check and the chooser, reopening the last
// run's files, files named on the command line, opening into the only empty
// window, the open panel's folder, the broadcasts, quitting (every window
// asked in order, the first refusal cancels) and an unwritable settings file.

#include "appfixture.h"

#include <QSignalSpy>
#include <QSplitter>

using SaveChanges = OLAsker::SaveChanges;

namespace {
QStringList filesOf(const QList<OLWindowController *> &windows)
{
    QStringList files;
    for (const OLWindowController *window : windows)
        files.append(QFileInfo(window->file()).fileName());
    return files;
}

QStringList storedFiles(const OLUserDefaults &defaults)
{
    QStringList files;
    for (const QUrl &url : defaults.loadOpenedFiles())
        files.append(QFileInfo(localPathForUrl(url)).fileName());
    return files;
}
} // namespace

class TestAppDelegate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void launchCheck_data();
    void launchCheck();
    void chooserRejectedEndsLaunch();
    void reopening_data();
    void reopening();
    void commandLineFilesOpenAfterTheCheck();
    void openingIntoTheEmptyWindow_data();
    void openingIntoTheEmptyWindow();
    void unreadableFileIsRefused_data();
    void unreadableFileIsRefused();
    void openPanelStartsInLastFolder();
    void quittingWithCancelInSecondOfThree();
    void quittingStoresTheFilesOfAllWindows();
    void closingTheLastWindowQuits();
    void interpretersRunOnAfterTheirWindowUntilQuit();
    void interpreterThatEndsClosesItsWindow();
    void broadcastsReachEveryWindow();
    void unwritableSettingsAreReportedOnce();
    void corruptSettingsFileStillStarts_data();
    void corruptSettingsFileStillStarts();
};

void TestAppDelegate::launchCheck_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("chooserRuns");

    QTest::newRow("existing executable") << polyCommandLine << false;
    QTest::newRow("existing executable, nonsense arguments") << polyCommandLine + QStringLiteral(" --nonsense -x") << false;
    QTest::newRow("tab before the arguments") << polyCommandLine + QStringLiteral("\t-q") << false;
    QTest::newRow("missing executable") << QStringLiteral("file://localhost/nonexistent/poly") << true;
    QTest::newRow("leading white space names nothing") << QStringLiteral(" ") + polyCommandLine << true;
    QTest::newRow("none stored") << QString() << true;
    QTest::newRow("another host") << QStringLiteral("file://elsewhere/usr/bin/poly") << true;
}

void TestAppDelegate::launchCheck()
{
    QFETCH(QString, commandLine);
    QFETCH(bool, chooserRuns);

    AppFixture fixture(commandLine);
    fixture.asker.chooser = [](OLUserDefaults &defaults) {
        defaults.savePreferredInterpreter(polyCommandLine);
        return true;
    };
    QVERIFY(fixture.app->applicationDidFinishLaunching());
    QCOMPARE(fixture.asker.choosersRun, chooserRuns ? 1 : 0);
    QCOMPARE(fixture.app->windows().size(), 1);
    QCOMPARE(fixture.app->defaults().loadPreferredInterpreterPath(), chooserRuns ? polyCommandLine : commandLine);
}

void TestAppDelegate::chooserRejectedEndsLaunch()
{
    AppFixture fixture(QStringLiteral("file://localhost/nonexistent/poly"));
    const QString file = fixture.write(QStringLiteral("a.sml"), "val a = 1;\n");
    QVERIFY(!fixture.app->applicationDidFinishLaunching({file}));
    QCOMPARE(fixture.asker.choosersRun, 1);
    QVERIFY(fixture.app->windows().isEmpty());
}

void TestAppDelegate::reopening_data()
{
    QTest::addColumn<bool>("shouldReopen");
    QTest::addColumn<QStringList>("stored");     // names in the temporary folder
    QTest::addColumn<QStringList>("existing");   // those of them that exist, with their text
    QTest::addColumn<QStringList>("windows");    // the windows' file names; "" untitled

    QTest::newRow("reopening off: one untitled window")
        << false << QStringList{QStringLiteral("a.sml")} << QStringList{QStringLiteral("a.sml")} << QStringList{QString()};
    QTest::newRow("empty list: one untitled window") << true << QStringList() << QStringList() << QStringList{QString()};
    QTest::newRow("two files in stored order")
        << true << QStringList{QStringLiteral("b.sml"), QStringLiteral("a.sml")}
        << QStringList{QStringLiteral("a.sml"), QStringLiteral("b.sml")}
        << QStringList{QStringLiteral("b.sml"), QStringLiteral("a.sml")};
    QTest::newRow("gone files are skipped")
        << true << QStringList{QStringLiteral("gone.sml"), QStringLiteral("a.sml")}
        << QStringList{QStringLiteral("a.sml")} << QStringList{QStringLiteral("a.sml")};
    QTest::newRow("all gone: one untitled window, not none")
        << true << QStringList{QStringLiteral("gone.sml")} << QStringList() << QStringList{QString()};
    QTest::newRow("the first of two is empty: its window gives way")
        << true << QStringList{QStringLiteral("empty.sml"), QStringLiteral("a.sml")}
        << QStringList{QStringLiteral("empty.sml"), QStringLiteral("a.sml")} << QStringList{QStringLiteral("a.sml")};
}

void TestAppDelegate::reopening()
{
    QFETCH(bool, shouldReopen);
    QFETCH(QStringList, stored);
    QFETCH(QStringList, existing);
    QFETCH(QStringList, windows);

    AppFixture fixture;
    for (const QString &name : existing)
        fixture.write(name, name == QStringLiteral("empty.sml") ? QByteArray() : ("val x = 1; (* " + name.toUtf8() + " *)"));
    QList<QUrl> urls;
    for (const QString &name : stored)
        urls.append(QUrl::fromLocalFile(fixture.path(name)));
    fixture.app->defaults().saveOpenedFiles(urls);
    fixture.app->defaults().saveShouldReopenFiles(shouldReopen);

    QVERIFY(fixture.app->applicationDidFinishLaunching());
    QCOMPARE(filesOf(fixture.app->windows()), windows);
    QVERIFY(fixture.asker.alerts.isEmpty());
    for (OLWindowController *window : fixture.app->windows())
        QVERIFY(window->isVisible());
}

// Files named on the command line open like files chosen in the open panel:
// after the launch check, into the place of an empty window, with an alert
// for one that cannot be read.
void TestAppDelegate::commandLineFilesOpenAfterTheCheck()
{
    AppFixture fixture(QStringLiteral("file://localhost/nonexistent/poly"));
    const QString a = fixture.write(QStringLiteral("a.sml"), "val a = 1;\n");
    const QString bad = fixture.write(QStringLiteral("bad.sml"), "val s = \"\xFF\";\n");
    const QString b = fixture.write(QStringLiteral("b.sml"), "val b = 2;\n");
    fixture.app->defaults().saveShouldReopenFiles(false);
    int windowsAtCheck = -1;
    fixture.asker.chooser = [&](OLUserDefaults &defaults) {
        windowsAtCheck = int(fixture.app->windows().size());
        defaults.savePreferredInterpreter(polyCommandLine);
        return true;
    };

    QVERIFY(fixture.app->applicationDidFinishLaunching({a, bad, b}));
    QCOMPARE(windowsAtCheck, 0);
    QCOMPARE(filesOf(fixture.app->windows()), (QStringList{QStringLiteral("a.sml"), QStringLiteral("b.sml")}));
    QCOMPARE(fixture.asker.alerts.size(), 1);
    QCOMPARE(fixture.asker.alerts[0].message, QStringLiteral("Could not open file bad.sml"));
    fixture.app->openDocument();
    QCOMPARE(fixture.asker.openDirectories, QStringList(fixture.dir.path()));
}

void TestAppDelegate::openingIntoTheEmptyWindow_data()
{
    QTest::addColumn<QStringList>("before"); // "untitled", "untitled with text", or a file's text
    QTest::addColumn<int>("windowsAfter");

    QTest::newRow("only window untitled and empty: replaced") << QStringList{QStringLiteral("untitled")} << 1;
    QTest::newRow("only window a file with empty text: replaced") << QStringList{QString()} << 1;
    QTest::newRow("only window holds text: kept") << QStringList{QStringLiteral("untitled with text")} << 2;
    QTest::newRow("only window a file with text: kept") << QStringList{QStringLiteral("val a = 1;")} << 2;
    QTest::newRow("two empty windows: both kept")
        << QStringList{QStringLiteral("untitled"), QStringLiteral("untitled")} << 3;
}

void TestAppDelegate::openingIntoTheEmptyWindow()
{
    QFETCH(QStringList, before);
    QFETCH(int, windowsAfter);

    AppFixture fixture;
    QList<QPointer<OLWindowController>> earlier;
    for (qsizetype i = 0; i < before.size(); ++i) {
        const QString &kind = before[i];
        if (kind.startsWith(QStringLiteral("untitled"))) {
            fixture.app->newDocument();
            if (kind == QStringLiteral("untitled with text"))
                typeAtEnd(fixture.app->windows().last(), QStringLiteral("val x = 1;"));
        } else {
            // Several windows: each opened beside the others.
            QVERIFY(fixture.app->openDocumentWindow(fixture.write(QStringLiteral("old%1.sml").arg(i), kind.toUtf8())));
        }
        earlier.append(fixture.app->windows().last());
    }

    OLWindowController *opened = fixture.app->openDocumentWindow(fixture.write(QStringLiteral("new.sml"), "val n = 1;\n"));
    QVERIFY(opened);
    QCOMPARE(fixture.app->windows().size(), windowsAfter);
    QCOMPARE(fixture.app->windows().last(), opened);
    if (windowsAfter == 1)
        QTRY_VERIFY(!earlier[0]);
    for (const QPointer<OLWindowController> &window : std::as_const(earlier))
        QCOMPARE(bool(window), windowsAfter > 1);
    QVERIFY(fixture.asker.saveChangesAskedBy.isEmpty());
    WAIT_FOR_TEXT(opened, QStringLiteral("val n = 1;\n"));
    QTRY_COMPARE(fixture.app->windows().size(), windowsAfter); // nothing quit on the way
}

void TestAppDelegate::unreadableFileIsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // none: the file does not exist
    QTest::addColumn<QString>("reason");

    QTest::newRow("invalid UTF-8") << QStringLiteral("latin1.sml") << QByteArray("val s = \"\xE4\";\n")
                                   << QStringLiteral("The file is not valid UTF-8 text.");
    QTest::newRow("missing") << QStringLiteral("missing.sml") << QByteArray() << QStringLiteral("No such file or directory");
}

// The alert names the file; the empty window that was open stays open.
void TestAppDelegate::unreadableFileIsRefused()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);

    AppFixture fixture;
    fixture.app->newDocument();
    const QString path = bytes.isEmpty() ? fixture.path(name) : fixture.write(name, bytes);
    QCOMPARE(fixture.app->openDocumentWindow(path), nullptr);
    QCOMPARE(fixture.asker.alerts.size(), 1);
    QCOMPARE(fixture.asker.alerts[0].message, QStringLiteral("Could not open file ") + name);
    QCOMPARE(fixture.asker.alerts[0].informative, reason);
    QCOMPARE(fixture.app->windows().size(), 1);
    QVERIFY(fixture.app->windows()[0]->file().isEmpty());
    if (!bytes.isEmpty())
        QCOMPARE(readBytes(path), bytes);
}

// The open panel starts in the home folder until a file has been chosen in
// it, then in the folder of the last choice, even when that file failed.
void TestAppDelegate::openPanelStartsInLastFolder()
{
    AppFixture fixture;
    QVERIFY(QDir(fixture.dir.path()).mkdir(QStringLiteral("sub")));
    const QString bad = fixture.write(QStringLiteral("sub/bad.sml"), "\xFF");
    fixture.asker.openFileNames = {QString(), bad, fixture.write(QStringLiteral("ok.sml"), "val ok = 1;")};
    fixture.app->openDocument(); // cancelled
    fixture.app->openDocument(); // fails
    fixture.app->openDocument();
    fixture.app->openDocument(); // cancelled
    QCOMPARE(fixture.asker.openDirectories,
             (QStringList{QDir::homePath(), QDir::homePath(), fixture.path(QStringLiteral("sub")), fixture.dir.path()}));
    QCOMPARE(filesOf(fixture.app->windows()), QStringList(QStringLiteral("ok.sml")));
    QCOMPARE(fixture.asker.alerts.size(), 1);
}

// The first window is asked (and saved), the second cancels, the third is
// never asked; nothing quits and the stored list of files stays as it was.
void TestAppDelegate::quittingWithCancelInSecondOfThree()
{
    AppFixture fixture;
    fixture.app->defaults().saveOpenedFiles({QUrl::fromLocalFile(fixture.path(QStringLiteral("earlier.sml")))});
    QList<OLWindowController *> windows;
    for (const char *name : {"one.sml", "two.sml", "three.sml"}) {
        OLWindowController *window
            = fixture.app->openDocumentWindow(fixture.write(QString::fromLatin1(name), "val x = 1;\n"));
        QVERIFY(window);
        WAIT_FOR_TEXT(window, QStringLiteral("val x = 1;\n"));
        typeAtEnd(window, QStringLiteral("val y = 2;"));
        windows.append(window);
    }
    fixture.asker.saveChanges = {SaveChanges::Save, SaveChanges::Cancel, SaveChanges::DontSave};
    QSignalSpy terminated(fixture.app.get(), &OLAppDelegate::terminated);

    windows[1]->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(windows[1]));
    QTest::keyClick(windows[1]->editor()->textView(), Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(fixture.asker.saveChangesAskedBy, (QList<QWidget *>{windows[0], windows[1]}));
    QCOMPARE(terminated.count(), 0);
    QCOMPARE(fixture.app->windows(), windows);
    QCOMPARE(readBytes(fixture.path(QStringLiteral("one.sml"))), QByteArray("val x = 1;\nval y = 2;"));
    QCOMPARE(readBytes(fixture.path(QStringLiteral("two.sml"))), QByteArray("val x = 1;\n"));
    QVERIFY(!windows[0]->isWindowModified());
    QVERIFY(windows[1]->isWindowModified() && windows[2]->isWindowModified());
    QCOMPARE(storedFiles(fixture.app->defaults()), QStringList(QStringLiteral("earlier.sml")));
}

// An untitled window adds nothing; a window saved under a name in the
// question adds its new file. Every interpreter started ends.
void TestAppDelegate::quittingStoresTheFilesOfAllWindows()
{
    AppFixture fixture;
    QVERIFY(fixture.app->openDocumentWindow(fixture.write(QStringLiteral("a.sml"), "val a = 1;\n")));
    fixture.app->newDocument();
    typeAtEnd(fixture.app->windows().last(), QStringLiteral("val b = 2;"));
    fixture.app->newDocument();
    fixture.asker.saveChanges = {SaveChanges::Save};
    fixture.asker.saveFileNames = {fixture.path(QStringLiteral("b.sml"))};
    fixture.app->defaults().saveCommitHistory({});
    OLInterpreterViewController *lastConsole = fixture.app->windows().last()->console();
    QTRY_VERIFY_WITH_TIMEOUT(lastConsole->fixedLength() > 0, 10000);
    lastConsole->textView()->moveCursor(QTextCursor::End);
    typeInto(lastConsole->textView(), QStringLiteral("val c = 3;\n"));
    QSignalSpy terminated(fixture.app.get(), &OLAppDelegate::terminated);

    fixture.app->terminate();
    QCOMPARE(terminated.count(), 1);
    QCOMPARE(fixture.asker.saveChangesAskedBy.size(), 1);
    QCOMPARE(storedFiles(fixture.app->defaults()), (QStringList{QStringLiteral("a.sml"), QStringLiteral("b.sml")}));
    QCOMPARE(readBytes(fixture.path(QStringLiteral("b.sml"))), QByteArray("val b = 2;"));
    // As if the windows closed in order: the last one's history is kept.
    QCOMPARE(fixture.app->defaults().loadCommitHistory(), QStringList(QStringLiteral("val c = 3;")));
}

// The last window closes: the application quits and stores an empty list, so
// the next launch opens one untitled window.
void TestAppDelegate::closingTheLastWindowQuits()
{
    AppFixture fixture;
    fixture.app->defaults().saveShouldReopenFiles(true);
    OLWindowController *window = fixture.app->openDocumentWindow(fixture.write(QStringLiteral("a.sml"), "val a = 1;\n"));
    QVERIFY(window);
    QSignalSpy terminated(fixture.app.get(), &OLAppDelegate::terminated);
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window->editor()->textView(), Qt::Key_W, Qt::ControlModifier);
    QVERIFY(terminated.wait(10000));
    QVERIFY(fixture.app->windows().isEmpty());
    QCOMPARE(fixture.app->defaults().loadOpenedFiles(), QList<QUrl>());

    fixture.app = std::make_unique<OLAppDelegate>(*fixture.settings, fixture.asker, fixture.recoveryFolder());
    QVERIFY(fixture.app->applicationDidFinishLaunching());
    QCOMPARE(filesOf(fixture.app->windows()), QStringList(QString()));
}

// A closed window's interpreter is not stopped; quitting ends every one.
void TestAppDelegate::interpretersRunOnAfterTheirWindowUntilQuit()
{
    // Those of the tests before have ended.
    QTRY_VERIFY_WITH_TIMEOUT(liveChildren(QStringLiteral("poly")).isEmpty(), 10000);
    AppFixture fixture;
    fixture.app->newDocument();
    typeAtEnd(fixture.app->windows().last(), QStringLiteral("val keep = 1;"));
    fixture.app->newDocument();
    QTRY_COMPARE_WITH_TIMEOUT(liveChildren(QStringLiteral("poly")).size(), 2, 10000);
    const QList<qint64> started = liveChildren(QStringLiteral("poly"));

    const QPointer<OLWindowController> closed = fixture.app->windows().last();
    closed->closeWindow();
    QTRY_VERIFY(!closed);
    QCOMPARE(liveChildren(QStringLiteral("poly")), started);

    fixture.asker.saveChanges = {SaveChanges::DontSave};
    QSignalSpy terminated(fixture.app.get(), &OLAppDelegate::terminated);
    fixture.app->terminate();
    QCOMPARE(terminated.count(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(liveChildren(QStringLiteral("poly")).isEmpty(), 10000);
}

// An interpreter that ends by itself closes its window the ordinary way:
// an unedited window goes; an edited one asks first.
void TestAppDelegate::interpreterThatEndsClosesItsWindow()
{
    AppFixture fixture;
    fixture.app->newDocument();
    fixture.app->newDocument();
    OLWindowController *edited = fixture.app->windows()[0];
    const QPointer<OLWindowController> plain = fixture.app->windows()[1];
    typeAtEnd(edited, QStringLiteral("val x = 1;"));
    const auto quitInterpreter = [](OLWindowController *window) {
        OLInterpreterViewController *console = window->console();
        QTRY_VERIFY_WITH_TIMEOUT(console->fixedLength() > 0, 10000);
        console->textView()->setFocus();
        console->textView()->moveCursor(QTextCursor::End);
        typeInto(console->textView(), QStringLiteral("OS.Process.exit OS.Process.success;\n"));
    };

    quitInterpreter(plain);
    QTRY_VERIFY_WITH_TIMEOUT(!plain, 10000);
    QVERIFY(fixture.asker.saveChangesAskedBy.isEmpty());

    fixture.asker.saveChanges = {SaveChanges::Cancel};
    quitInterpreter(edited);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.saveChangesAskedBy, QList<QWidget *>({edited}), 10000);
    QCOMPARE(fixture.app->windows(), QList<OLWindowController *>({edited}));
    // A reset starts a new interpreter in the window that stayed.
    edited->resetEnvironment();
    QTRY_COMPARE_WITH_TIMEOUT(liveChildren(QStringLiteral("poly")).size(), 1, 10000);
}

void TestAppDelegate::broadcastsReachEveryWindow()
{
    AppFixture fixture;
    fixture.app->newDocument();
    fixture.app->newDocument();
    const QList<OLWindowController *> windows = fixture.app->windows();
    for (OLWindowController *window : windows)
        QTRY_VERIFY_WITH_TIMEOUT(window->console()->fixedLength() > 0, 10000);

    OLStyleSet styles = fixture.app->defaults().loadFontAttributes(true);
    styles.size = 23;
    fixture.app->defaults().saveFontAttributes(styles);
    fixture.app->updateAllFontAttributes();
    for (OLWindowController *window : windows) {
        QCOMPARE(window->editor()->fontAttributes().size.toInt(), 23);
        QCOMPARE(window->console()->fontAttributes().size.toInt(), 23);
        QCOMPARE(window->editor()->textView()->font().pointSize(), 23);
    }

    fixture.app->defaults().saveCommitHistory({QStringLiteral("val stored = 1;")});
    fixture.app->clearAllHistory();
    for (OLWindowController *window : windows)
        QCOMPARE(window->console()->history().createArray(), QStringList(QStringLiteral("val stored = 1;")));

    // The preferences window is one, shown again when asked again.
    fixture.app->openPreferences();
    QPointer<OLPreferencesWindowController> preferences = fixture.app->preferencesWindowController();
    QVERIFY(preferences && preferences->isVisible());
    fixture.app->openPreferences();
    QCOMPARE(fixture.app->preferencesWindowController(), preferences.get());

    fixture.app->resetAllEnvironments();
    for (OLWindowController *window : windows)
        QTRY_VERIFY(window->console()->textStorage().string().contains(QStringLiteral("###reset environment")));
    // The stopped interpreters end; their windows stay.
    QTRY_VERIFY_WITH_TIMEOUT(!windows[0]->session().willReset() && !windows[1]->session().willReset(), 10000);
    QCOMPARE(fixture.app->windows(), windows);
}

// A settings file that cannot be written is reported once, and work goes on.
void TestAppDelegate::unwritableSettingsAreReportedOnce()
{
    QTemporaryDir dir;
    const QString notAFolder = writeBytes(dir, QStringLiteral("plain-file"), "x");
    QSettings settings(notAFolder + QStringLiteral("/settings.ini"), QSettings::IniFormat);
    ScriptedAsker asker;
    OLAppDelegate app(settings, asker, dir.filePath(QStringLiteral("recovery")));
    app.defaults().savePreferredInterpreter(polyCommandLine);

    QVERIFY(app.applicationDidFinishLaunching());
    QCOMPARE(asker.alerts.size(), 1);
    QCOMPARE(asker.alerts[0].message, QStringLiteral("Could not save the settings"));
    QVERIFY(asker.alerts[0].informative.contains(notAFolder));
    app.windows().constFirst()->changeOrientation();
    app.newDocument();
    app.windows().constFirst()->closeWindow();
    QCOMPARE(asker.alerts.size(), 1);
    QCOMPARE(app.windows().size(), 1);
    PXShellWrapper::terminateAll();
}

void TestAppDelegate::corruptSettingsFileStillStarts_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("binary garbage") << QByteArray("\x00\xFF\xFE[\x01=\x02\n\xC3(\x00", 12);
    QTest::newRow("cut off in a section header") << QByteArray("[General\nverticalOrientation=fal");
    QTest::newRow("hand-edited values of the wrong type")
        << QByteArray("[General]\nverticalOrientation=banana\nshouldReopenFiles=maybe\n"
                      "maximumCommitHistoryLength=lots\nopenedFiles=@Variant(\\0\\0\\0garbage)\n"
                      "commitHistory=@ByteArray(\npreferredInterpreter=@Invalid()\n");
    QTest::newRow("empty") << QByteArray();
}

// Whatever the file holds, Ostrel starts with a window to edit in; every
// value it cannot read is the registered default (side by side, reopening
// on, a history of 100).
void TestAppDelegate::corruptSettingsFileStillStarts()
{
    QFETCH(QByteArray, content);

    QTemporaryDir dir;
    QSettings settings(writeBytes(dir, QStringLiteral("settings.ini"), content), QSettings::IniFormat);
    ScriptedAsker asker;
    asker.chooser = [](OLUserDefaults &defaults) {
        defaults.savePreferredInterpreter(polyCommandLine);
        return true;
    };
    OLAppDelegate app(settings, asker, dir.filePath(QStringLiteral("recovery")));
    QVERIFY(app.applicationDidFinishLaunching());
    QCOMPARE(app.windows().size(), 1);
    OLWindowController *window = app.windows().constFirst();
    QCOMPARE(app.defaults().loadVerticalOrientation(), true);
    QCOMPARE(window->splitView()->orientation(), Qt::Horizontal);
    QCOMPARE(app.defaults().loadShouldReopenFiles(), true);
    QCOMPARE(app.defaults().loadMaximumCommitHistoryLength(), qint64(100));
    QCOMPARE(app.defaults().loadOpenedFiles(), QList<QUrl>());
    QVERIFY(asker.alerts.isEmpty());

    typeAtEnd(window, QStringLiteral("val x = 1;"));
    QVERIFY(window->isWindowModified());
    QCOMPARE(app.defaults().loadPreferredInterpreterPath(), polyCommandLine);
    PXShellWrapper::terminateAll();
}

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
