// The application: the launch check and the chooser, files named on the
// command line, reopening the last run's files, opening into the only empty
// window, a file already open, the windows' places, quitting (every window
// asked in order, the first refusal cancels).

#include "appfixture.h"
#include "app/OLFileName.h"
#include "settings/OLSettingsKeys.h"

#include <QScopeGuard>
#include <QSignalSpy>

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
        files.append(url.fileName());
    return files;
}

qsizetype livePolys() { return liveChildren(QStringLiteral("poly")).size(); }
} // namespace

class TestAppDelegate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Which command lines name an executable is the session tests' matter.
    // Files named on the command line open after the check, with an alert for
    // one that cannot be read.
    void launchCheck()
    {
        // chosen: the user picks Poly ML in the chooser; registered: given with --default-interpreter.
        struct Row { const char *name; QString commandLine; bool chooserRuns, chosen; QString registered; };
        const QString missing = QStringLiteral("file://localhost/nonexistent/poly"), poly = QStringLiteral("/usr/bin/poly");
        const Row rows[]{{"missing executable", missing, true, true, ""}, {"none stored", QString(), true, true, ""},
                         {"chooser closed without a choice: no window", missing, true, false, ""},
                         {"none stored, a default given", QString(), false, true, poly},
                         {"the stored one wins over a default", missing, true, true, poly}};
        for (const Row &row : rows) {
            AppFixture fixture(row.commandLine);
            fixture.app->defaults().saveShouldReopenFiles(false);
            if (!row.registered.isEmpty())
                fixture.app->registerDefaultInterpreter(row.registered);
            int windowsAtCheck = -1;
            fixture.asker.chooser = [&](OLUserDefaults &defaults) {
                windowsAtCheck = int(fixture.app->windows().size());
                return defaults.savePreferredInterpreter(polyCommandLine), row.chosen;
            };
            const QStringList files{fixture.write(QStringLiteral("a.sml"), "val a = 1;\n"),
                                    fixture.write(QStringLiteral("bad.sml"), "val s = \"\xFF\";\n")};
            QVERIFY2(fixture.app->applicationDidFinishLaunching(files) == row.chosen, row.name);
            QVERIFY2(fixture.asker.choosersRun == (row.chooserRuns ? 1 : 0) && windowsAtCheck == (row.chooserRuns ? 0 : -1), row.name);
            QVERIFY2(filesOf(fixture.app->windows()) == (row.chosen ? QStringList(QStringLiteral("a.sml")) : QStringList()), row.name);
            if (!row.chosen)
                continue;
            const bool stored = row.chooserRuns || !row.commandLine.isNull(); // a default is never stored
            QVERIFY2(fixture.app->defaults().loadPreferredInterpreterPath() == (row.chooserRuns || row.commandLine.isNull() ? polyCommandLine : row.commandLine), row.name);
            QVERIFY2(fixture.settings.contains(OLKey::preferredInterpreter) == stored, row.name);
            QVERIFY2(fixture.asker.alerts == QStringList(QStringLiteral("Could not open file bad.sml|The file is not valid UTF-8 text.")), row.name);
        }
    }

    // The only window at launch keeps an interpreter that fails as it
    // starts, with the failure in its console; nothing quits.
    void interpreterFailingAtLaunch()
    {
        AppFixture fixture;
        const QString script = fixture.write(QStringLiteral("poly"), "#!/bin/sh\nexec /nonexistent/poly\n");
        QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner));
        fixture.app->defaults().savePreferredInterpreter(commandLineForExecutable(script));
        QSignalSpy terminated(fixture.app.get(), &OLAppDelegate::terminated);
        QVERIFY(fixture.app->applicationDidFinishLaunching());
        OLWindowController *window = fixture.app->windows().value(0);
        QTRY_VERIFY_WITH_TIMEOUT(consoleShows(window, QStringLiteral("(exit status 127)")), 10000);
        QVERIFY(fixture.app->windows().size() == 1 && window->isVisible() && terminated.isEmpty());
    }

    // Stored names in the temporary folder, those of them that exist, and the windows' file names ("" untitled).
    void reopening()
    {
        struct Row { const char *name; bool shouldReopen; QStringList stored, existing, windows; };
        const QString a = QStringLiteral("a.sml"), b = QStringLiteral("b.sml"), gone = QStringLiteral("gone.sml"), empty = QStringLiteral("empty.sml");
        const Row rows[]{{"reopening off: one untitled window", false, {a}, {a}, {QString()}},
                         {"two files in stored order", true, {b, a}, {a, b}, {b, a}},
                         {"gone files are skipped", true, {gone, a}, {a}, {a}},
                         {"all gone: one untitled window, not none", true, {gone}, {}, {QString()}},
                         {"the first of two is empty: its window gives way", true, {empty, a}, {empty, a}, {a}}};
        for (const Row &row : rows) {
            AppFixture fixture(catCommandLine);
            for (const QString &name : row.existing)
                fixture.write(name, name == empty ? QByteArray() : "val x = 1;");
            QList<QUrl> urls;
            for (const QString &name : row.stored)
                urls.append(QUrl::fromLocalFile(fixture.path(name)));
            fixture.app->defaults().saveOpenedFiles(urls);
            fixture.app->defaults().saveShouldReopenFiles(row.shouldReopen);
            QVERIFY2(fixture.app->applicationDidFinishLaunching(), row.name);
            QVERIFY2(filesOf(fixture.app->windows()) == row.windows && fixture.asker.alerts.isEmpty(), row.name);
            QVERIFY2(fixture.app->windows().constLast()->isVisible(), row.name);
        }
    }

    // Opening a file replaces only the only window when it is empty; before:
    // untitled windows with this text typed into each.
    void openingIntoTheEmptyWindow()
    {
        const std::pair<QStringList, int> rows[]{{{""}, 1}, {{"val x = 1;"}, 2}, {{"", ""}, 3}};
        for (const auto &[typed, windowsAfter] : rows) {
            AppFixture fixture(catCommandLine);
            QList<QPointer<OLWindowController>> earlier;
            for (const QString &text : typed)
                earlier.append(fixture.untitled(text));
            OLWindowController *opened = fixture.open(QStringLiteral("new.sml"), "val n = 1;\n");
            QVERIFY(opened && fixture.app->windows().last() == opened);
            for (const QPointer<OLWindowController> &window : std::as_const(earlier))
                QTRY_COMPARE(bool(window), windowsAfter > 1);
            QVERIFY(fixture.asker.saveChangesAskedBy.isEmpty() && fixture.app->windows().size() == windowsAfter); // nothing quit on the way
        }
    }

    // A file already open, under whatever name, brings its window forward.
    void fileAlreadyOpen()
    {
        AppFixture fixture(catCommandLine);
        OLWindowController *window = fixture.open(QStringLiteral("ok.sml"), "val ok = 1;");
        QVERIFY(QDir(fixture.dir.path()).mkdir(QStringLiteral("a")) && QFile::link(window->file(), fixture.path(QStringLiteral("a/link"))));
        fixture.asker.openFileNames = {fixture.path(QStringLiteral("a/.//link"))};
        OLWindowController *other = fixture.open(QStringLiteral("other.sml"), "val other = 1;\n");
        QVERIFY(other && QTest::qWaitForWindowActive(other));
        QTest::keyClick(other->editor()->textView(), Qt::Key_O, Qt::ControlModifier);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QCOMPARE(filesOf(fixture.app->windows()), QStringList({"ok.sml", "other.sml"}));
    }

    // A file name that is not UTF-8 opens, saves and reopens that very file;
    // the file Qt would take it for ("\uFFFD.sml") stays as it was, and opens
    // in a window of its own.
    void fileNameThatIsNotUtf8()
    {
        AppFixture fixture(catCommandLine);
        const QString decoy = fixture.write(QStringLiteral("\uFFFD.sml"), "val decoy = 0;\n");
        const QByteArray bytesPath = QFile::encodeName(fixture.dir.path()) + "/\xFF.sml";
        writeBytesAt(bytesPath, "val mine = 1;\n");
        const auto removal = qScopeGuard([&] { ::unlink(bytesPath.constData()); }); // Qt cannot remove it
        const QString path = OLFileName::decode(bytesPath);
        QVERIFY(fixture.app->applicationDidFinishLaunching({path}));
        OLWindowController *window = fixture.app->windows().constLast();
        WAIT_FOR_TEXT(window, QStringLiteral("val mine = 1;\n"));
        typeAtEnd(window, QStringLiteral("val more = 2;"));
        QVERIFY(window->saveFile() && fixture.app->openDocumentWindow(decoy) != window);
        QVERIFY(readBytesAt(bytesPath) == "val mine = 1;\nval more = 2;" && readBytes(decoy) == "val decoy = 0;\n");
        fixture.app->terminate();
        fixture.relaunch();
        QVERIFY(fixture.app->applicationDidFinishLaunching());
        QVERIFY(fixture.app->windows().constFirst()->file() == path && fixture.app->windows().constLast()->file() == decoy);
    }

    // A new window takes the size and place of the window closed last, a step
    // down and right from a window already there.
    void windowPlaces()
    {
        AppFixture fixture(catCommandLine);
        OLWindowController *kept = fixture.untitled(QStringLiteral("val k = 1;"));
        OLWindowController *closed = fixture.untitled();
        closed->resize(500, 300);
        closed->move(120, 90);
        closed->closeWindow();
        kept->move(120, 250);
        const OLWindowController *first = fixture.untitled();
        const OLWindowController *second = fixture.untitled();
        QCOMPARE(QRect(first->pos(), first->size()).united(QRect(second->pos(), second->size())), QRect(120, 90, 528, 328));
    }

    // Quitting asks the windows in order: the first is saved, the second
    // cancels, the third is never asked, nothing quits and the stored files
    // stay. The next quit stores every window's file, the one saved under a
    // name in the question too, and the last window's history. A closed
    // window's interpreter ends with it; the quit ends every other.
    void quitting()
    {
        QTRY_COMPARE_WITH_TIMEOUT(livePolys(), 0, 10000); // those of earlier tests
        AppFixture fixture;
        fixture.app->defaults().saveOpenedFiles({QUrl::fromLocalFile(fixture.path(QStringLiteral("earlier.sml")))});
        QList<OLWindowController *> windows;
        for (const QString &name : {QStringLiteral("one.sml"), QStringLiteral("two.sml"), QStringLiteral("three.sml")})
            windows.append(fixture.open(name, "val x = 1;\n")), typeAtEnd(windows.last(), QStringLiteral("val y = 2;"));
        windows.append(fixture.untitled(QStringLiteral("val b = 2;")));
        const QPointer<OLWindowController> closed = fixture.untitled();
        OLWindowController *last = fixture.untitled();
        windows.append(last);
        QTRY_COMPARE_WITH_TIMEOUT(livePolys(), 6, 10000);
        closed->closeWindow();
        QTRY_VERIFY_WITH_TIMEOUT(!closed && livePolys() == 5, 10000);

        fixture.asker.saveChanges = {SaveChanges::Save, SaveChanges::Cancel};
        QSignalSpy terminated(fixture.app.get(), &OLAppDelegate::terminated);
        windows[1]->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(windows[1]));
        QTest::keyClick(windows[1]->editor()->textView(), Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(fixture.asker.saveChangesAskedBy, (QList<QWidget *>{windows[0], windows[1]}));
        QVERIFY(terminated.isEmpty() && fixture.app->windows() == windows && windows[1]->isWindowModified());
        QVERIFY(readBytes(fixture.path(QStringLiteral("one.sml"))) == "val x = 1;\nval y = 2;" && readBytes(fixture.path(QStringLiteral("two.sml"))) == "val x = 1;\n");
        QCOMPARE(storedFiles(fixture.app->defaults()), QStringList(QStringLiteral("earlier.sml")));

        fixture.asker.saveChanges = {SaveChanges::DontSave, SaveChanges::DontSave, SaveChanges::Save};
        fixture.asker.saveFileNames = {fixture.path(QStringLiteral("b.sml"))};
        fixture.app->defaults().saveCommitHistory({});
        QVERIFY(waitForBanner(last));
        typeAtEnd(last, QStringLiteral("val c = 3;\n"), true);
        fixture.app->terminate();
        QVERIFY(terminated.count() == 1 && fixture.asker.saveChangesAskedBy.size() == 5);
        QCOMPARE(storedFiles(fixture.app->defaults()), QStringList({"one.sml", "two.sml", "three.sml", "b.sml"}));
        QVERIFY(readBytes(fixture.path(QStringLiteral("b.sml"))) == "val b = 2;" && fixture.app->defaults().loadCommitHistory() == QStringList(QStringLiteral("val c = 3;")));
        QTRY_COMPARE_WITH_TIMEOUT(livePolys(), 0, 10000);
    }

    // An interpreter that ends by itself closes its unedited window without a
    // question (an edited one asks: the activity test's matter). The last
    // window closed quits and stores an empty list.
    void closingWindowsAndTheLast()
    {
        AppFixture fixture;
        fixture.app->defaults().saveShouldReopenFiles(true);
        OLWindowController *edited = fixture.open(QStringLiteral("a.sml"), "val a = 1;\n");
        typeAtEnd(edited, QStringLiteral("val x = 1;"));
        const QPointer<OLWindowController> plain = fixture.untitled();
        QVERIFY(waitForBanner(plain));
        typeAtEnd(plain, QStringLiteral("OS.Process.exit OS.Process.success;\n"), true);
        QTRY_VERIFY_WITH_TIMEOUT(!plain && fixture.asker.saveChangesAskedBy.isEmpty(), 10000);
        fixture.asker.saveChanges = {SaveChanges::DontSave};
        QSignalSpy terminated(fixture.app.get(), &OLAppDelegate::terminated);
        edited->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(edited));
        QTest::keyClick(edited->editor()->textView(), Qt::Key_W, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(terminated.count(), 1, 10000);
        QVERIFY(fixture.app->windows().isEmpty() && fixture.app->defaults().loadOpenedFiles().isEmpty());
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_appdelegate.moc"
