// The application: the launch check and the chooser, files named on the
// command line, reopening the last run's files, opening into the only empty
// window, a file already open, the windows' places, quitting (every window
// asked in order, the first refusal cancels). The document window: saving in
// the file's form, the edited mark, the close question and its save path,
// failed writes, Save As, window-wide keys. Its file changed on disk by
// another program: the window notices and asks; unsaved changes are never
// reloaded or written over without a question; the watch survives a replace
// by rename; its own saves and a touch ask nothing.

#include "appfixture.h"
#include "app/OLFileName.h"
#include "highlight/OLSoftBreaks.h"
#include "settings/OLSettingsKeys.h"

#include <QScopeGuard>
#include <QSignalSpy>

using ChangedFile = OLAsker::ChangedFile;
using SaveChanges = OLAsker::SaveChanges;

namespace {
QStringList storedFiles(const OLUserDefaults &defaults)
{
    QStringList files;
    for (const QUrl &url : defaults.loadOpenedFiles())
        files.append(url.fileName());
    return files;
}

qsizetype livePolys() { return liveChildren(QStringLiteral("poly")).size(); }
} // namespace

class TestWindow : public QObject
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
            QVERIFY2(fixture.app->windows().size() == (row.chosen ? 1 : 0) && (!row.chosen || fixture.app->windows()[0]->file() == files[0]), row.name);
            if (!row.chosen)
                continue;
            const bool stored = row.chooserRuns || !row.commandLine.isNull(); // a default is never stored
            QVERIFY2(fixture.app->defaults().loadPreferredInterpreterPath() == (row.chooserRuns || row.commandLine.isNull() ? polyCommandLine : row.commandLine), row.name);
            QVERIFY2(fixture.settings.contains(OLKey::preferredInterpreter) == stored, row.name);
            QVERIFY2(fixture.asker.alerts == QStringList(QStringLiteral("Could not open file bad.sml|The file is not valid UTF-8 text.")), row.name);
        }
    }

    // Opening a file replaces only the only window when it is empty; before:
    // untitled windows with this text typed into each. A file already open,
    // under whatever name, gives its window.
    void openingIntoTheEmptyWindow()
    {
        const std::pair<QStringList, int> rows[]{{{""}, 1}, {{"val x = 1;"}, 2}, {{"", ""}, 3}};
        for (const auto &[typed, windowsAfter] : rows) {
            AppFixture fixture(catCommandLine);
            QList<QPointer<OLWindowController>> earlier;
            for (const QString &text : typed)
                earlier.append(fixture.untitled(text));
            OLWindowController *opened = fixture.open(QStringLiteral("new.sml"), "val n = 1;\n");
            QVERIFY(opened && fixture.app->windows().last() == opened && QFile::link(opened->file(), fixture.path(QStringLiteral("link"))));
            QVERIFY(fixture.app->openDocumentWindow(fixture.path(QStringLiteral(".//link"))) == opened);
            for (const QPointer<OLWindowController> &window : std::as_const(earlier))
                QTRY_COMPARE(bool(window), windowsAfter > 1);
            QVERIFY(fixture.asker.saveChangesAskedBy.isEmpty() && fixture.app->windows().size() == windowsAfter); // nothing quit on the way
        }
    }

    // A file name that is not UTF-8 opens, saves and reopens that very file;
    // the file Qt would take it for ("\uFFFD.sml") stays as it was, and opens
    // in a window of its own. The next start reopens the files in their order,
    // without one that has gone since.
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
        QVERIFY(fixture.open(QStringLiteral("gone.sml"), "val gone = 0;\n"));
        fixture.app->terminate();
        QVERIFY(QFile::remove(fixture.path(QStringLiteral("gone.sml"))));
        fixture.relaunch();
        QVERIFY(fixture.app->applicationDidFinishLaunching() && fixture.app->windows().size() == 2 && fixture.asker.alerts.isEmpty());
        QVERIFY(fixture.app->windows().constFirst()->file() == path && fixture.app->windows().constLast()->file() == decoy);
    }

    // Quitting asks the windows in order: the first is saved, the second
    // cancels, the third is never asked, nothing quits and the stored files
    // stay. The next quit stores every window's file, the one saved under a
    // name in the question too, and the last window's history. A closed
    // window's interpreter ends with it; the quit ends every other. A new
    // window takes the stored place, a step down and right from one there.
    void quitting()
    {
        QTRY_COMPARE_WITH_TIMEOUT(livePolys(), 0, 10000); // those of earlier tests
        AppFixture fixture;
        fixture.app->defaults().saveOpenedFiles({QUrl::fromLocalFile(fixture.path(QStringLiteral("earlier.sml")))});
        fixture.app->defaults().saveWindowGeometry(QRect(120, 90, 500, 300));
        QList<OLWindowController *> windows;
        for (const QString &name : {QStringLiteral("one.sml"), QStringLiteral("two.sml"), QStringLiteral("three.sml")})
            windows.append(fixture.open(name, "val x = 1;\n")), typeAtEnd(windows.last(), QStringLiteral("val y = 2;"));
        windows.append(fixture.untitled(QStringLiteral("val b = 2;")));
        const QPointer<OLWindowController> closed = fixture.untitled();
        OLWindowController *last = fixture.untitled();
        windows.append(last);
        QVERIFY(windows[0]->pos() == QPoint(120, 90) && windows[1]->pos() == QPoint(148, 118));
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
        // History recall and Clear Console reach their commands with the
        // focus in the console, which takes many Ctrl combinations for itself.
        last->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(last));
        QTRY_VERIFY_WITH_TIMEOUT(consoleShows(last, QStringLiteral("val c = 3: int")), 10000);
        QTest::keyClick(last->console()->textView(), Qt::Key_Up, Qt::ControlModifier);
        const bool recalled = last->console()->textStorage().string().endsWith(QStringLiteral("val c = 3;"));
        QTest::keyClick(last->console()->textView(), Qt::Key_Down, Qt::ControlModifier);
        QTest::keyClick(last->console()->textView(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(recalled && last->console()->fixedLength() == 0 && last->console()->textStorage().string().isEmpty());
        fixture.app->terminate();
        QVERIFY(terminated.count() == 1 && fixture.asker.saveChangesAskedBy.size() == 5);
        QCOMPARE(storedFiles(fixture.app->defaults()), QStringList({"one.sml", "two.sml", "three.sml", "b.sml"}));
        QVERIFY(readBytes(fixture.path(QStringLiteral("b.sml"))) == "val b = 2;" && fixture.app->defaults().loadCommitHistory() == QStringList(QStringLiteral("val c = 3;")));
        QTRY_COMPARE_WITH_TIMEOUT(livePolys(), 0, 10000);
    }

    // The only window at launch keeps an interpreter that fails as it
    // starts, with the failure in its console; nothing quits. Closed, the last
    // window quits and stores an empty list.
    void lastWindow()
    {
        AppFixture fixture;
        const QString script = fixture.write(QStringLiteral("poly"), "#!/bin/sh\nexec /nonexistent/poly\n");
        QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner));
        fixture.app->defaults().savePreferredInterpreter(commandLineForExecutable(script));
        fixture.app->defaults().saveOpenedFiles({QUrl::fromLocalFile(fixture.path(QStringLiteral("earlier.sml")))});
        QSignalSpy terminated(fixture.app.get(), &OLAppDelegate::terminated);
        QVERIFY(fixture.app->applicationDidFinishLaunching());
        OLWindowController *window = fixture.app->windows().value(0);
        QTRY_VERIFY_WITH_TIMEOUT(consoleShows(window, QStringLiteral("(exit status 127)")), 10000);
        QVERIFY(fixture.app->windows().size() == 1 && terminated.isEmpty() && QTest::qWaitForWindowActive(window));
        QTest::keyClick(window->editor()->textView(), Qt::Key_W, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(terminated.count(), 1, 10000);
        QVERIFY(fixture.app->windows().isEmpty() && fixture.app->defaults().loadOpenedFiles().isEmpty());
    }

    // Saved with Ctrl+S after Enter and a line typed at the end of the first
    // line (none typed: unedited).
    void savesInTheFilesForm()
    {
        const QByteArray longLine = "val s = \"" + QByteArray(5000, 'x') + "\";\r\nval y = 2;\r\n";
        const qsizetype piece = OLSoftBreaks::unwrappedPieceLength;
        const QByteArray odd = QStringLiteral("val s = \"\uFDD0\uFDD1\uFFFF\uFEFF\0\";\r(* \r\n *)\n").toUtf8();
        const std::tuple<const char *, QByteArray, QByteArray> rows[]{
            {"byte-order mark and CRLF", "\xEF\xBB\xBFval x = 1;\r\nval y = 2;\r\n", "\xEF\xBB\xBFval x = 1;\r\nval a = 0;\r\nval y = 2;\r\n"},
            {"noncharacters, NUL, CR alone, byte-order mark inside, unedited", odd, odd},
            {"U+FDD0: a line break typed in its line is LF", QStringLiteral("val x = 1;\uFDD0val y = 2;\n").toUtf8(), QStringLiteral("val x = 1;\nval a = 0;\uFDD0val y = 2;\n").toUtf8()},
            {"CRLF, a line added at the end of a long line's first piece", longLine, longLine.left(piece) + "\r\nval a = 0;" + longLine.mid(piece)},
            {"mixed: the new line ends like the line it split", "val x = 1;\nval y = 2;\r\nval z = 3;\r\n", "val x = 1;\nval a = 0;\nval y = 2;\r\nval z = 3;\r\n"}};
        for (const auto &[name, bytes, expected] : rows) {
            AppFixture fixture(catCommandLine);
            OLWindowController *window = fixture.open(QStringLiteral("doc.sml"), bytes);
            QVERIFY2(window && QTest::qWaitForWindowActive(window), name);
            window->jumpToEditor();
            OLTextView *view = window->editor()->textView();
            if (bytes != expected) {
                view->moveCursor(QTextCursor::Start);
                view->moveCursor(QTextCursor::EndOfBlock);
                typeInto(view, QStringLiteral("\nval a = 0;"));
            }
            QTest::keyClick(view, Qt::Key_S, Qt::ControlModifier);
            QVERIFY2(readBytes(window->file()) == expected && !window->isWindowModified() && fixture.asker.alerts.isEmpty(), name);
        }
    }

    // The window closes after the question only when the text is safe. A
    // failed write names the file and the reason, and offers the save panel
    // again; the old file is unchanged and no temporary file is left. (What
    // each answer does is the quitting test's matter.)
    void closeQuestion()
    {
        // takenBack: the edit deleted again by hand, no question; savePanel: the names chosen
        // there in turn ("": cancelled); diskFull: the save's write fails; onDisk none: the window stays.
        struct Row { const char *name; bool withFile, takenBack; SaveChanges answer; QStringList savePanel; bool diskFull; QByteArray onDisk; QString alert; };
        const QByteArray old("val x = 1;\r\n");
        const Row rows[]{
            {"edit taken back in a CRLF file", true, true, SaveChanges::Cancel, {}, false, old, ""},
            {"Don't Save closes, the file stays", true, false, SaveChanges::DontSave, {}, false, old, ""},
            {"Save on a full disk: alert, panel cancelled, stays", true, false, SaveChanges::Save, {""}, true, QByteArray(), "Could not write to file doc.sml|File too large"},
            {"Save of a new document, unwritable choice: alert, panel again", false, false, SaveChanges::Save, {"plain/first.sml", "saved.sml"}, false,
             "val x = 1;\nval y = 2;", "Could not write to file first.sml|Not a directory"},
            {"Save of a new document, panel cancelled, stays", false, false, SaveChanges::Save, {""}, false, QByteArray(), ""}};
        for (const Row &row : rows) {
            AppFixture fixture(catCommandLine);
            fixture.write(QStringLiteral("plain"), "a file");
            fixture.untitled(QStringLiteral("val keep = 0;")); // closing the other one does not quit
            OLWindowController *window = row.withFile ? fixture.open(QStringLiteral("doc.sml"), old) : fixture.untitled();
            QVERIFY2(window, row.name);
            typeAtEnd(window, row.withFile ? QStringLiteral("val y = 2;") : QStringLiteral("val x = 1;\nval y = 2;"));
            for (int i = 0; row.takenBack && i < 10; ++i)
                QTest::keyClick(window->editor()->textView(), Qt::Key_Backspace);
            QVERIFY2(window->isWindowModified() != row.takenBack, row.name);
            fixture.asker.saveChanges.push_back(row.answer);
            for (const QString &name : row.savePanel)
                fixture.asker.saveFileNames.push_back(name.isEmpty() ? QString() : fixture.path(name));
            const QPointer<OLWindowController> guard(window);
            {
                const FileSizeLimit limit(row.diskFull ? 10 : RLIM_INFINITY);
                window->closeWindow();
            }
            QVERIFY2(fixture.asker.saveChangesAskedBy == (row.takenBack ? QList<QWidget *>() : QList<QWidget *>({window})), row.name);
            QVERIFY2(!row.onDisk.isNull() || (guard && window->isVisible() && window->isWindowModified()
                                              && window->editor()->content().endsWith(QStringLiteral("val y = 2;"))), row.name);
            QTRY_VERIFY2(fixture.app->windows().size() == (row.onDisk.isNull() ? 2 : 1), row.name);
            const QStringList files = entriesOf(fixture.dir.path()).filter(QStringLiteral(".sml"));
            QVERIFY2(files == QStringList(row.withFile ? QStringLiteral("doc.sml") : row.savePanel.value(1)).filter(QStringLiteral(".sml")), row.name);
            QVERIFY2(files.isEmpty() || readBytes(fixture.path(files[0])) == (row.onDisk.isNull() ? old : row.onDisk), row.name);
            QVERIFY2(fixture.asker.alerts == (row.alert.isEmpty() ? QStringList() : QStringList(row.alert)), row.name);
            QVERIFY2(fixture.asker.saveDirectories.size() == row.savePanel.size(), row.name);
        }
    }

    // Reloaded, the window shows the file unedited and saves it back as it is;
    // kept, or refused with the open alert, the window's text stays. A
    // replacement by rename afterwards is noticed too: each one ends the watch
    // of the file it replaced, and the window watches the new one.
    void changedByAnotherProgram()
    {
        // refusal: the open alert's reason (a named pipe without waiting for a writer); none: not refused.
        struct Row { const char *name; QString how; QByteArray theirs; bool edited; ChangedFile answer; QString refusal; };
        const QByteArray theirs("val other = 2;\r\n");
        const Row rows[]{
            {"appended, unedited window, reloaded", "append", theirs, false, ChangedFile::Reload, ""},
            {"replaced by rename, edited window, kept", "rename", theirs, true, ChangedFile::Keep, ""},
            {"rewritten, edited window, reloaded", "rewrite", theirs, true, ChangedFile::Reload, ""},
            {"rewritten, unedited window, kept", "rewrite", theirs, false, ChangedFile::Keep, ""},
            {"rewritten as Latin-1, reload refused", "rewrite", "val s = \"\xE4\";\n", false, ChangedFile::Reload, "The file is not valid UTF-8 text."},
            {"a named pipe in its place, reload refused", "fifo", QByteArray(), false, ChangedFile::Reload, "It is a named pipe (FIFO), not a regular file."}};
        for (const Row &row : rows) {
            AppFixture fixture(catCommandLine);
            OLWindowController *window = fixture.open(QStringLiteral("doc.sml"), "val x = 1;\r\n");
            QVERIFY2(window, row.name);
            if (row.edited)
                typeAtEnd(window, QStringLiteral("val mine = 0;"));
            const QString text = window->content();
            fixture.asker.changedFileAnswers.push_back(row.answer);
            changeFile(row.how, window->file(), row.theirs);
            const QByteArray onDisk = row.how == u"fifo" ? QByteArray() : readBytes(window->file());
            QTRY_VERIFY2_WITH_TIMEOUT(fixture.asker.changedFileQuestions.size() == 1, row.name, 10000);
            QVERIFY2(fixture.asker.changedFileQuestions[0] == std::pair(window->file(), row.edited), row.name);
            const bool reloaded = row.answer == ChangedFile::Reload && row.refusal.isEmpty();
            QVERIFY2(window->content() == (reloaded ? editorTextOf(onDisk) : text) && window->isWindowModified() == (row.edited && !reloaded), row.name);
            QVERIFY2(!reloaded || window->saveFile(), row.name);
            QVERIFY2(row.how == u"fifo" || readBytes(window->file()) == onDisk, row.name);
            QVERIFY2(fixture.asker.alerts == (row.refusal.isEmpty() ? QStringList() : QStringList(QStringLiteral("Could not open file doc.sml|") + row.refusal)), row.name);
            changeFile(QStringLiteral("rename"), window->file(), "val again = 3;\n");
            QTRY_VERIFY2_WITH_TIMEOUT(fixture.asker.changedFileQuestions.size() == 2, row.name, 10000);
        }
    }

    // The text lives only in the window now: it is marked as unsaved, goes to
    // the recovery journal, and closing asks to save it, which writes the file
    // again.
    void deletedFileKeepsTheTextAsUnsaved()
    {
        AppFixture fixture(catCommandLine);
        fixture.untitled(QStringLiteral("val keep = 0;")); // keeps the application from quitting
        OLWindowController *window = fixture.open(QStringLiteral("doc.sml"), "val x = 1;\n");
        const QString path = window->file();
        QVERIFY(QFile::remove(path));
        QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.alerts.size(), 1, 10000);
        QVERIFY(fixture.asker.alerts[0].startsWith(QStringLiteral("The file doc.sml has been deleted or moved by another program.|")));
        QVERIFY(window->isWindowModified() && window->content() == u"val x = 1;\n" && fixture.asker.changedFileQuestions.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(journalsIn(fixture.recoveryFolder()).size(), 2, OLWindowController::journalDelay + 5000);
        fixture.asker.saveChanges.push_back(SaveChanges::Save);
        window->closeWindow();
        QCOMPARE(fixture.asker.saveChangesAskedBy, QList<QWidget *>({window}));
        QVERIFY(readBytes(path) == "val x = 1;\n" && fixture.asker.overwriteQuestions.isEmpty());
        fixture.app->recovery().waitForDone();
        QCOMPARE(journalsIn(fixture.recoveryFolder()).size(), 1);
    }

    // Saved: written over when the user agrees, else the other program's file
    // stays; closing with Save, refused: the window stays. A refusal is no
    // failed write: no alert, no save panel. Window B's own save and a touch
    // of its file ask nothing: A's second question comes after B's look.
    void savingOverAChangedFileAsksFirst()
    {
        for (const auto &[overwrite, byClosing] : {std::pair(true, false), std::pair(false, false), std::pair(false, true)}) {
            AppFixture fixture(catCommandLine);
            QVERIFY(QDir(fixture.dir.path()).mkdir(QStringLiteral("b")));
            OLWindowController *window = fixture.open(QStringLiteral("doc.sml"), "val x = 1;\n");
            OLWindowController *other = fixture.open(QStringLiteral("b/b.sml"), "val b = 1;\n");
            typeAtEnd(other, QStringLiteral("val b2 = 2;"));
            QVERIFY(other->saveFile() && other->saveFile()); // unedited: the same bytes again
            changeFile(QStringLiteral("touch"), other->file());
            typeAtEnd(window, QStringLiteral("val mine = 0;"));
            changeFile(QStringLiteral("rewrite"), window->file(), "val theirs = 2;\n");
            QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.changedFileQuestions.size(), 1, 10000); // kept
            fixture.asker.overwriteAnswers.push_back(overwrite);
            fixture.asker.saveChanges.push_back(SaveChanges::Save);
            if (byClosing)
                window->closeWindow();
            else
                QCOMPARE(window->saveFile(), overwrite);
            QCOMPARE(fixture.asker.overwriteQuestions, QStringList(window->file()));
            QVERIFY(fixture.app->windows().size() == 2 && window->isWindowModified() != overwrite);
            QCOMPARE(readBytes(window->file()), overwrite ? QByteArray("val x = 1;\nval mine = 0;") : "val theirs = 2;\n");
            QVERIFY(fixture.asker.alerts.isEmpty() && fixture.asker.saveDirectories.isEmpty());
            QCOMPARE(fixture.asker.changedFileQuestions.constFirst().first, window->file());
            typeAtEnd(other, QStringLiteral(" "));
            QVERIFY(other->saveFile() && fixture.asker.overwriteQuestions.size() == 1);
        }
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
