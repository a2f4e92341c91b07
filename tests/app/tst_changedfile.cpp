// A window's file changed on disk by another program: appended to, replaced
// by rename, rewritten in place, deleted or moved away. The window notices
// and asks; a window with unsaved changes is never reloaded or written over
// without a question; the watch survives a replace by rename; the window's
// own saves and a mere touch ask nothing.

#include "appfixture.h"

#include <cstdio>

using ChangedFile = OLAsker::ChangedFile;
using SaveChanges = OLAsker::SaveChanges;

namespace {
// Each as another program does it.
void appendTo(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::Append) || file.write(bytes) != bytes.size())
        qFatal("cannot append to %s", qPrintable(path));
}

void rewriteInPlace(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot rewrite %s", qPrintable(path));
}

void replaceByRename(const QString &path, const QByteArray &bytes)
{
    const QString temporary = path + QStringLiteral(".new");
    rewriteInPlace(temporary, bytes);
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0)
        qFatal("cannot rename onto %s", qPrintable(path));
}

void change(const QString &how, const QString &path, const QByteArray &bytes)
{
    if (how == QStringLiteral("append"))
        appendTo(path, bytes);
    else if (how == QStringLiteral("rename"))
        replaceByRename(path, bytes);
    else
        rewriteInPlace(path, bytes);
}

constexpr int noticeTimeout = 10000;
} // namespace

class TestChangedFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void changedByAnotherProgram_data();
    void changedByAnotherProgram();
    void watchSurvivesReplaceByRename();
    void deletedOrMovedFileKeepsTheTextAsUnsaved_data();
    void deletedOrMovedFileKeepsTheTextAsUnsaved();
    void savingOverAChangedFileAsksFirst_data();
    void savingOverAChangedFileAsksFirst();
    void reloadRefusesAFileNoLongerText();
    void ownSavesAndTouchesAskNothing();
};

void TestChangedFile::changedByAnotherProgram_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("edited");
    QTest::addColumn<ChangedFile>("answer");

    for (const char *how : {"append", "rename", "rewrite"}) {
        for (const bool edited : {false, true}) {
            for (const ChangedFile answer : {ChangedFile::Reload, ChangedFile::Keep}) {
                QTest::addRow("%s, %s window, %s", how, edited ? "edited" : "unedited",
                              answer == ChangedFile::Reload ? "reloaded" : "kept")
                    << QString::fromLatin1(how) << edited << answer;
            }
        }
    }
}

void TestChangedFile::changedByAnotherProgram()
{
    QFETCH(QString, how);
    QFETCH(bool, edited);
    QFETCH(ChangedFile, answer);

    AppFixture fixture;
    const QByteArray original("val x = 1;\r\n");
    const QString path = fixture.write(QStringLiteral("doc.sml"), original);
    OLWindowController *window = fixture.app->openDocumentWindow(path);
    QVERIFY(window);
    WAIT_FOR_TEXT(window, QStringLiteral("val x = 1;\n"));
    if (edited)
        typeAtEnd(window, QStringLiteral("val mine = 0;"));
    const QString text = window->content();

    fixture.asker.changedFileAnswers.push_back(answer);
    change(how, path, "val other = 2;\r\n");
    const QByteArray onDisk = readBytes(path);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.changedFileQuestions.size(), 1, noticeTimeout);
    QCOMPARE(fixture.asker.changedFileQuestions[0].path, path);
    QCOMPARE(fixture.asker.changedFileQuestions[0].edited, edited);

    if (answer == ChangedFile::Reload) {
        QString editorText;
        OLLineEnds::split(QString::fromUtf8(onDisk), &editorText);
        QCOMPARE(window->content(), editorText);
        QVERIFY(!window->isWindowModified());
        // Saved unedited, the reloaded file is written back as it is.
        QVERIFY(window->saveFile());
    } else {
        QCOMPARE(window->content(), text);
        QCOMPARE(window->isWindowModified(), edited);
    }
    QCOMPARE(readBytes(path), onDisk);
    QVERIFY(fixture.asker.overwriteQuestions.isEmpty());
    QVERIFY(fixture.asker.alerts.isEmpty());
}

// Each replacement ends the watch of the file it replaced; the window
// watches the new one and notices every later change.
void TestChangedFile::watchSurvivesReplaceByRename()
{
    AppFixture fixture;
    const QString path = fixture.write(QStringLiteral("doc.sml"), "val x = 1;\n");
    OLWindowController *window = fixture.app->openDocumentWindow(path);
    QVERIFY(window);
    WAIT_FOR_TEXT(window, QStringLiteral("val x = 1;\n"));

    replaceByRename(path, "val x = 2;\n");
    QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.changedFileQuestions.size(), 1, noticeTimeout);
    appendTo(path, "val y = 3;\n");
    QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.changedFileQuestions.size(), 2, noticeTimeout);
    replaceByRename(path, "val x = 4;\n");
    QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.changedFileQuestions.size(), 3, noticeTimeout);
    fixture.asker.changedFileAnswers.push_back(ChangedFile::Reload);
    rewriteInPlace(path, "val x = 5;\n");
    QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.changedFileQuestions.size(), 4, noticeTimeout);
    QCOMPARE(window->content(), QStringLiteral("val x = 5;\n"));
}

void TestChangedFile::deletedOrMovedFileKeepsTheTextAsUnsaved_data()
{
    QTest::addColumn<bool>("moved");

    QTest::newRow("deleted") << false;
    QTest::newRow("moved away") << true;
}

// The text lives only in the window now: it is marked as unsaved, goes to
// the recovery journal, and closing asks to save it, which writes the file
// again.
void TestChangedFile::deletedOrMovedFileKeepsTheTextAsUnsaved()
{
    QFETCH(bool, moved);

    AppFixture fixture;
    fixture.app->newDocument(); // keeps the application from quitting
    typeAtEnd(fixture.app->windows().constFirst(), QStringLiteral("val keep = 0;"));
    const QString path = fixture.write(QStringLiteral("doc.sml"), "val x = 1;\n");
    OLWindowController *window = fixture.app->openDocumentWindow(path);
    QVERIFY(window);
    WAIT_FOR_TEXT(window, QStringLiteral("val x = 1;\n"));
    QVERIFY(!window->isWindowModified());

    if (moved)
        QVERIFY(QFile::rename(path, fixture.path(QStringLiteral("elsewhere.sml"))));
    else
        QVERIFY(QFile::remove(path));
    QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.alerts.size(), 1, noticeTimeout);
    QCOMPARE(fixture.asker.alerts[0].message, QStringLiteral("The file doc.sml has been deleted or moved by another program."));
    QVERIFY(window->isWindowModified());
    QCOMPARE(window->content(), QStringLiteral("val x = 1;\n"));
    QVERIFY(fixture.asker.changedFileQuestions.isEmpty());
    // Both windows' texts are journalled.
    QTRY_COMPARE_WITH_TIMEOUT(journalsIn(fixture.recoveryFolder()).size(), 2, OLWindowController::journalDelay + 5000);

    fixture.asker.saveChanges.push_back(SaveChanges::Save);
    const QPointer<OLWindowController> guard(window);
    window->closeWindow();
    QCOMPARE(fixture.asker.saveChangesAskedBy, QList<QWidget *>({window}));
    QTRY_VERIFY(!guard);
    QCOMPARE(readBytes(path), QByteArray("val x = 1;\n"));
    QVERIFY(fixture.asker.overwriteQuestions.isEmpty());
    fixture.app->recovery().waitForDone();
    QCOMPARE(journalsIn(fixture.recoveryFolder()).size(), 1);
}

void TestChangedFile::savingOverAChangedFileAsksFirst_data()
{
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<bool>("byClosing");

    QTest::newRow("Save: written over when the user agrees") << true << false;
    QTest::newRow("Save: refused, the other program's file stays") << false << false;
    QTest::newRow("closing with Save: refused, the window stays") << false << true;
}

void TestChangedFile::savingOverAChangedFileAsksFirst()
{
    QFETCH(bool, overwrite);
    QFETCH(bool, byClosing);

    AppFixture fixture;
    const QString path = fixture.write(QStringLiteral("doc.sml"), "val x = 1;\n");
    OLWindowController *window = fixture.app->openDocumentWindow(path);
    QVERIFY(window);
    WAIT_FOR_TEXT(window, QStringLiteral("val x = 1;\n"));
    typeAtEnd(window, QStringLiteral("val mine = 0;"));
    const QByteArray theirs("val theirs = 2;\n");
    rewriteInPlace(path, theirs);
    QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.changedFileQuestions.size(), 1, noticeTimeout); // kept

    fixture.asker.overwriteAnswers.push_back(overwrite);
    const QPointer<OLWindowController> guard(window);
    if (byClosing) {
        fixture.asker.saveChanges.push_back(SaveChanges::Save);
        window->closeWindow();
    } else {
        QCOMPARE(window->saveFile(), overwrite);
    }
    QCOMPARE(fixture.asker.overwriteQuestions, QStringList(path));
    QVERIFY(guard);
    QCOMPARE(window->isWindowModified(), !overwrite);
    QCOMPARE(readBytes(path), overwrite ? QByteArray("val x = 1;\nval mine = 0;") : theirs);
    // A refusal is no failed write: no alert, no save panel.
    QVERIFY(fixture.asker.alerts.isEmpty());
    QVERIFY(fixture.asker.saveDirectories.isEmpty());
}

// Rewritten as Latin-1: "Reload" shows the open alert and keeps the text.
void TestChangedFile::reloadRefusesAFileNoLongerText()
{
    AppFixture fixture;
    const QString path = fixture.write(QStringLiteral("doc.sml"), "val s = \"a\";\n");
    OLWindowController *window = fixture.app->openDocumentWindow(path);
    QVERIFY(window);
    WAIT_FOR_TEXT(window, QStringLiteral("val s = \"a\";\n"));
    fixture.asker.changedFileAnswers.push_back(ChangedFile::Reload);
    rewriteInPlace(path, "val s = \"\xE4\";\n");
    QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.alerts.size(), 1, noticeTimeout);
    QCOMPARE(fixture.asker.alerts[0].message, QStringLiteral("Could not open file doc.sml"));
    QCOMPARE(fixture.asker.alerts[0].informative, QStringLiteral("The file is not valid UTF-8 text."));
    QCOMPARE(window->content(), QStringLiteral("val s = \"a\";\n"));
    QCOMPARE(readBytes(path), QByteArray("val s = \"\xE4\";\n"));
}

// Window A saves and its file is touched; window B's file, in another
// folder, is then changed twice by another program. By B's second question
// A's look at its own changes has long been taken: it asked nothing.
void TestChangedFile::ownSavesAndTouchesAskNothing()
{
    AppFixture fixture;
    QVERIFY(QDir(fixture.dir.path()).mkdir(QStringLiteral("a")));
    QVERIFY(QDir(fixture.dir.path()).mkdir(QStringLiteral("b")));
    const QString a = fixture.write(QStringLiteral("a/a.sml"), "val a = 1;\n");
    const QString b = fixture.write(QStringLiteral("b/b.sml"), "val b = 1;\n");
    OLWindowController *windowA = fixture.app->openDocumentWindow(a);
    OLWindowController *windowB = fixture.app->openDocumentWindow(b);
    QVERIFY(windowA && windowB);
    WAIT_FOR_TEXT(windowA, QStringLiteral("val a = 1;\n"));
    WAIT_FOR_TEXT(windowB, QStringLiteral("val b = 1;\n"));

    typeAtEnd(windowA, QStringLiteral("val a2 = 2;"));
    QVERIFY(windowA->saveFile());
    QVERIFY(windowA->saveFile()); // unedited: the same bytes again
    QFile touched(a);
    QVERIFY(touched.open(QIODevice::ReadWrite));
    QVERIFY(touched.setFileTime(QDateTime::currentDateTimeUtc().addSecs(60), QFileDevice::FileModificationTime));
    touched.close();

    appendTo(b, "val b2 = 2;\n");
    QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.changedFileQuestions.size(), 1, noticeTimeout);
    appendTo(b, "val b3 = 3;\n");
    QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.changedFileQuestions.size(), 2, noticeTimeout);
    for (const ScriptedAsker::ChangedFileQuestion &question : std::as_const(fixture.asker.changedFileQuestions))
        QCOMPARE(question.path, b);
    QVERIFY(fixture.asker.overwriteQuestions.isEmpty());
    // Nor does saving after the touch.
    typeAtEnd(windowA, QStringLiteral(" "));
    QVERIFY(windowA->saveFile());
    QVERIFY(fixture.asker.overwriteQuestions.isEmpty());
    QCOMPARE(readBytes(a), QByteArray("val a = 1;\nval a2 = 2; "));
}

QTEST_MAIN(TestChangedFile)
#include "tst_changedfile.moc"
