// A window's file changed on disk by another program. The window notices and
// asks; unsaved changes are never reloaded or written over without a
// question; the watch survives a replace by rename; the window's own saves
// and a mere touch ask nothing.

#include "appfixture.h"

using ChangedFile = OLAsker::ChangedFile;
using SaveChanges = OLAsker::SaveChanges;

class TestChangedFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
            QVERIFY2(fixture.asker.overwriteQuestions.isEmpty(), row.name);
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
        const QPointer<OLWindowController> guard(window);
        window->closeWindow();
        QCOMPARE(fixture.asker.saveChangesAskedBy, QList<QWidget *>({window}));
        QTRY_VERIFY(!guard);
        QVERIFY(readBytes(path) == "val x = 1;\n" && fixture.asker.overwriteQuestions.isEmpty());
        fixture.app->recovery().waitForDone();
        QCOMPARE(journalsIn(fixture.recoveryFolder()).size(), 1);
    }

    // Saved: written over when the user agrees, else the other program's file
    // stays; closing with Save, refused: the window stays. A refusal is no
    // failed write: no alert, no save panel.
    void savingOverAChangedFileAsksFirst_data()
    {
        QTest::addColumn<bool>("overwrite");
        QTest::addColumn<bool>("byClosing");
        QTest::newRow("agreed") << true << false;
        QTest::newRow("refused") << false << false;
        QTest::newRow("closing, refused") << false << true;
    }
    void savingOverAChangedFileAsksFirst()
    {
        QFETCH(bool, overwrite);
        QFETCH(bool, byClosing);
        AppFixture fixture(catCommandLine);
        OLWindowController *window = fixture.open(QStringLiteral("doc.sml"), "val x = 1;\n");
        QVERIFY(window);
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
        QVERIFY(fixture.app->windows().size() == 1 && window->isWindowModified() != overwrite);
        QCOMPARE(readBytes(window->file()), overwrite ? QByteArray("val x = 1;\nval mine = 0;") : "val theirs = 2;\n");
        QVERIFY(fixture.asker.alerts.isEmpty() && fixture.asker.saveDirectories.isEmpty());
    }

    // Window A saves and its file is touched; window B's file, in another
    // folder, is then changed twice by another program. By B's second question
    // A's look at its own changes has long been taken: it asked nothing.
    void ownSavesAndTouchesAskNothing()
    {
        AppFixture fixture(catCommandLine);
        QVERIFY(QDir(fixture.dir.path()).mkdir(QStringLiteral("a")) && QDir(fixture.dir.path()).mkdir(QStringLiteral("b")));
        OLWindowController *windowA = fixture.open(QStringLiteral("a/a.sml"), "val a = 1;\n");
        OLWindowController *windowB = fixture.open(QStringLiteral("b/b.sml"), "val b = 1;\n");
        typeAtEnd(windowA, QStringLiteral("val a2 = 2;"));
        QVERIFY(windowA->saveFile());
        QVERIFY(windowA->saveFile()); // unedited: the same bytes again
        changeFile(QStringLiteral("touch"), windowA->file());

        changeFile(QStringLiteral("append"), windowB->file(), "val b2 = 2;\n");
        QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.changedFileQuestions.size(), 1, 10000);
        changeFile(QStringLiteral("append"), windowB->file(), "val b3 = 3;\n");
        QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.changedFileQuestions.size(), 2, 10000);
        QVERIFY(fixture.asker.changedFileQuestions[0].first == windowB->file() && fixture.asker.changedFileQuestions[1].first == windowB->file());
        // Nor does saving after the touch.
        typeAtEnd(windowA, QStringLiteral(" "));
        QVERIFY(windowA->saveFile() && fixture.asker.overwriteQuestions.isEmpty());
        QCOMPARE(readBytes(windowA->file()), QByteArray("val a = 1;\nval a2 = 2; "));
    }
};

QTEST_MAIN(TestChangedFile)
#include "tst_changedfile.moc"
