// Crash recovery through the application: a window journals its unsaved
// text within seconds of an edit and drops the journal once the text is
// safe; an Ostrel killed with SIGKILL (a real child process running the real
// delegate and window, ostrel_journal_child) leaves its text, which the next
// start offers, naming the file and saying when the file has changed since;
// and the ostrel program itself keeps a journal until the user answers.

#include "appfixture.h"

#include "settings/OLSettingsKeys.h"

#include <QElapsedTimer>
#include <QProcess>

#include <csignal>
#include <sys/file.h>

using Recovery = OLAsker::Recovery;
using Origin = OLRecoveredText::Origin;
using SaveChanges = OLAsker::SaveChanges;

namespace {
// Starts ostrel_journal_child on `file` (none: a new document), waits until
// it has journalled `typed`, and kills it with SIGKILL.
void killAfterJournal(const AppFixture &fixture, const QString &file, const QString &typed)
{
    const QString settingsFile = fixture.path(QStringLiteral("child.ini"));
    {
        QSettings settings(settingsFile, QSettings::IniFormat);
        OLUserDefaults defaults(settings);
        defaults.savePreferredInterpreter(polyCommandLine);
        defaults.saveShouldReopenFiles(false);
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QStringLiteral(OSTREL_JOURNAL_CHILD), {settingsFile, fixture.recoveryFolder(), file, typed});
    QVERIFY(child.waitForStarted(10000));
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += child.readAllStandardOutput()).contains("journalled")
                                 || child.state() == QProcess::NotRunning,
                             60000);
    QVERIFY2(output.contains("journalled"), output.constData());
    QCOMPARE(::kill(pid_t(child.processId()), SIGKILL), 0);
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
}

// Whether a process holds `path` open.
bool holdsOpen(qint64 pid, const QString &path)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (fd.symLinkTarget() == path)
            return true;
    }
    return false;
}
} // namespace

class TestRecovery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void editIsJournalledWithinSeconds();
    void journalGoesOnceTheTextIsSafe_data();
    void journalGoesOnceTheTextIsSafe();
    void killedOstrelOffersItsText_data();
    void killedOstrelOffersItsText();
    void recoveredFileOpensOnce();
    void ostrelKeepsTheJournalUntilAnswered();
};

// Not on the keystroke itself, but within seconds; the journal holds the
// window's text in the file's form.
void TestRecovery::editIsJournalledWithinSeconds()
{
    AppFixture fixture;
    const QString path = fixture.write(QStringLiteral("doc.sml"), "val x = 1;\r\n");
    OLWindowController *window = fixture.app->openDocumentWindow(path);
    QVERIFY(window);
    WAIT_FOR_TEXT(window, QStringLiteral("val x = 1;\n"));
    QElapsedTimer sinceEdit;
    typeAtEnd(window, QStringLiteral("val y = 2;"));
    sinceEdit.start();
    QVERIFY(journalsIn(fixture.recoveryFolder()).isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(journalsIn(fixture.recoveryFolder()).size(), 1,
                              OLWindowController::journalDelay + 5000);
    qInfo("journalled %lld ms after the edit", qint64(sinceEdit.elapsed()));
    fixture.app->recovery().waitForDone();
    leaveJournalBehind(QDir(fixture.recoveryFolder()).filePath(journalsIn(fixture.recoveryFolder()).constFirst()));
    OLRecoveryStore other(fixture.recoveryFolder());
    const std::vector<OLRecoveredText> texts = other.leftBehind();
    QCOMPARE(texts.size(), size_t(1)); // the window's own is locked
    QCOMPARE(texts.front().file, path);
    QCOMPARE(texts.front().text.bytes(), QByteArray("val x = 1;\r\nval y = 2;"));
    QCOMPARE(texts.front().origin, Origin::Unchanged);
    other.discard(texts.front());
}

void TestRecovery::journalGoesOnceTheTextIsSafe_data()
{
    QTest::addColumn<QString>("how");

    QTest::newRow("saved") << QStringLiteral("save");
    QTest::newRow("edit taken back by hand") << QStringLiteral("undo");
    QTest::newRow("closed, changes saved") << QStringLiteral("close, save");
    QTest::newRow("closed, changes discarded") << QStringLiteral("close, discard");
    QTest::newRow("new document saved under a name") << QStringLiteral("save as");
}

void TestRecovery::journalGoesOnceTheTextIsSafe()
{
    QFETCH(QString, how);

    AppFixture fixture;
    // A second window keeps the application from quitting when one closes.
    fixture.app->newDocument();
    typeAtEnd(fixture.app->windows().constFirst(), QStringLiteral("val keep = 0;"));
    OLWindowController *window;
    const QString path = fixture.path(QStringLiteral("doc.sml"));
    if (how == QStringLiteral("save as")) {
        fixture.app->newDocument();
        window = fixture.app->windows().constLast();
        fixture.asker.saveFileNames.push_back(path);
    } else {
        fixture.write(QStringLiteral("doc.sml"), "val x = 1;\n");
        window = fixture.app->openDocumentWindow(path);
        QVERIFY(window);
        WAIT_FOR_TEXT(window, QStringLiteral("val x = 1;\n"));
    }
    typeAtEnd(window, QStringLiteral("z"));
    QTRY_COMPARE_WITH_TIMEOUT(journalsIn(fixture.recoveryFolder()).size(), 2, OLWindowController::journalDelay + 5000);
    const QStringList both = journalsIn(fixture.recoveryFolder());

    const QPointer<OLWindowController> guard(window);
    if (how == QStringLiteral("save") || how == QStringLiteral("save as")) {
        QVERIFY(window->saveFile());
    } else if (how == QStringLiteral("undo")) {
        QTest::keyClick(window->editor()->textView(), Qt::Key_Backspace);
        QVERIFY(!window->isWindowModified());
    } else {
        fixture.asker.saveChanges.push_back(how.endsWith(QStringLiteral("save")) ? SaveChanges::Save : SaveChanges::DontSave);
        window->closeWindow();
        QTRY_VERIFY(!guard);
    }
    fixture.app->recovery().waitForDone();
    // The other window's journal stays; this one's and its lock are gone.
    const QStringList left = journalsIn(fixture.recoveryFolder());
    QCOMPARE(left.size(), 1);
    QVERIFY(both.contains(left.constFirst()));
    QCOMPARE(QDir(fixture.recoveryFolder()).entryList(QDir::Files).size(), 2); // a journal and its lock
    if (guard) {
        QCOMPARE(readBytes(path), how == QStringLiteral("undo") ? QByteArray("val x = 1;\n") : window->content().toUtf8());
        // Edited again, it journals again.
        typeAtEnd(window, QStringLiteral("w"));
        QTRY_COMPARE_WITH_TIMEOUT(journalsIn(fixture.recoveryFolder()).size(), 2,
                                  OLWindowController::journalDelay + 5000);
    }
}

void TestRecovery::killedOstrelOffersItsText_data()
{
    QTest::addColumn<QByteArray>("original"); // none: a new document
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("meanwhile");   // what happens to the file before the next start
    QTest::addColumn<Origin>("origin");
    QTest::addColumn<Recovery>("answer");
    QTest::addColumn<QString>("recovered");   // the recovered window's text
    QTest::addColumn<QByteArray>("saved");    // what saving it writes

    const QByteArray lf("val x = 1;\n");
    QTest::newRow("file unchanged: recovered, then saved")
        << lf << QStringLiteral("val y = 2;") << QString() << Origin::Unchanged << Recovery::Recover
        << QStringLiteral("val x = 1;\nval y = 2;") << QByteArray("val x = 1;\nval y = 2;");
    QTest::newRow("CRLF and byte-order mark: saved back in the file's form")
        << QByteArray("\xEF\xBB\xBFval x = 1;\r\n") << QStringLiteral("val y = 2;\nval z = 3;") << QString()
        << Origin::Unchanged << Recovery::Recover << QStringLiteral("val x = 1;\nval y = 2;\nval z = 3;")
        << QByteArray("\xEF\xBB\xBFval x = 1;\r\nval y = 2;\r\nval z = 3;");
    QTest::newRow("file changed since: said so, opened as edited, file kept")
        << lf << QStringLiteral("val y = 2;") << QStringLiteral("append") << Origin::Changed << Recovery::Recover
        << QStringLiteral("val x = 1;\nval y = 2;") << QByteArray("val x = 1;\nval y = 2;");
    QTest::newRow("file deleted since: a new document")
        << lf << QStringLiteral("val y = 2;") << QStringLiteral("delete") << Origin::Missing << Recovery::Recover
        << QStringLiteral("val x = 1;\nval y = 2;") << QByteArray("val x = 1;\nval y = 2;");
    QTest::newRow("untitled document") << QByteArray() << QStringLiteral("fun f x = x;") << QString()
                                       << Origin::Untitled << Recovery::Recover << QStringLiteral("fun f x = x;")
                                       << QByteArray("fun f x = x;");
    QTest::newRow("discarded") << lf << QStringLiteral("val y = 2;") << QString() << Origin::Unchanged
                               << Recovery::Discard << QString() << QByteArray();
    QTest::newRow("decided later: kept for the next start")
        << lf << QStringLiteral("val y = 2;") << QString() << Origin::Unchanged << Recovery::Later << QString()
        << QByteArray();
}

void TestRecovery::killedOstrelOffersItsText()
{
    QFETCH(QByteArray, original);
    QFETCH(QString, typed);
    QFETCH(QString, meanwhile);
    QFETCH(Origin, origin);
    QFETCH(Recovery, answer);
    QFETCH(QString, recovered);
    QFETCH(QByteArray, saved);

    AppFixture fixture;
    fixture.app->defaults().saveShouldReopenFiles(false);
    const QString file = original.isEmpty() ? QString() : fixture.write(QStringLiteral("doc.sml"), original);
    killAfterJournal(fixture, file, typed);
    if (QTest::currentTestFailed())
        return;
    const QStringList left = journalsIn(fixture.recoveryFolder());
    QCOMPARE(left.size(), 1);
    const QString journal = QDir(fixture.recoveryFolder()).filePath(left.constFirst());
    QVERIFY(QFile::exists(journal + QStringLiteral(".lock")));
    QCOMPARE(QFileInfo(journal).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner);

    QByteArray onDisk = original;
    if (meanwhile == QStringLiteral("append")) {
        onDisk += "val other = 0;\n";
        fixture.write(QStringLiteral("doc.sml"), onDisk);
    } else if (meanwhile == QStringLiteral("delete")) {
        QVERIFY(QFile::remove(file));
    }

    fixture.asker.recoveries.push_back(answer);
    QVERIFY(fixture.app->applicationDidFinishLaunching());
    QCOMPARE(fixture.asker.offers.size(), 1);
    QCOMPARE(fixture.asker.offers[0].file, file);
    QCOMPARE(fixture.asker.offers[0].origin, origin);
    if (!file.isEmpty() && meanwhile != QStringLiteral("delete"))
        QCOMPARE(readBytes(file), onDisk); // never applied blindly

    fixture.app->recovery().waitForDone();
    switch (answer) {
    case Recovery::Recover: {
        QCOMPARE(fixture.app->windows().size(), 1);
        OLWindowController *window = fixture.app->windows().constFirst();
        QCOMPARE(window->file(), origin == Origin::Missing ? QString() : file);
        WAIT_FOR_TEXT(window, recovered);
        QVERIFY(window->isWindowModified());
        // The window's own journal has taken the old one's place.
        const QStringList now = journalsIn(fixture.recoveryFolder());
        QCOMPARE(now.size(), 1);
        QVERIFY(now.constFirst() != left.constFirst());

        const QString target = window->file().isEmpty() ? fixture.path(QStringLiteral("saved.sml")) : file;
        fixture.asker.saveFileNames.push_back(target);
        QVERIFY(window->saveFile());
        QCOMPARE(readBytes(target), saved);
        QVERIFY(!window->isWindowModified());
        fixture.app->recovery().waitForDone();
        QCOMPARE(journalsIn(fixture.recoveryFolder()), QStringList());
        break;
    }
    case Recovery::Discard:
        QCOMPARE(journalsIn(fixture.recoveryFolder()), QStringList());
        QCOMPARE(QDir(fixture.recoveryFolder()).entryList(QDir::Files), QStringList());
        QCOMPARE(fixture.app->windows().size(), 1);
        QVERIFY(fixture.app->windows().constFirst()->content().isEmpty());
        break;
    case Recovery::Later:
        QCOMPARE(journalsIn(fixture.recoveryFolder()), left);
        QVERIFY(fixture.app->windows().constFirst()->content().isEmpty());
        // The next start asks again.
        fixture.app = std::make_unique<OLAppDelegate>(*fixture.settings, fixture.asker, fixture.recoveryFolder());
        QVERIFY(fixture.app->applicationDidFinishLaunching());
        QCOMPARE(fixture.asker.offers.size(), 2);
        QCOMPARE(fixture.asker.offers[1].text, QString::fromUtf8(original) + typed);
        break;
    }
    QCOMPARE(fixture.asker.alerts.size(), 0);
}

// A recovered file named on the command line or in the last run's list
// stays in its recovered window, not opened a second time.
void TestRecovery::recoveredFileOpensOnce()
{
    AppFixture fixture;
    const QString path = fixture.write(QStringLiteral("doc.sml"), "val x = 1;\n");
    OLWindowController *window = fixture.app->openDocumentWindow(path);
    QVERIFY(window);
    WAIT_FOR_TEXT(window, QStringLiteral("val x = 1;\n"));
    typeAtEnd(window, QStringLiteral("val y = 2;"));
    window->journalNow();
    fixture.app->recovery().waitForDone();
    leaveJournalBehind(QDir(fixture.recoveryFolder()).filePath(journalsIn(fixture.recoveryFolder()).constFirst()));
    fixture.app->defaults().saveOpenedFiles({QUrl::fromLocalFile(path)});
    fixture.app->defaults().saveShouldReopenFiles(true);

    // The next start, after the window's own journal has gone with it.
    fixture.app = std::make_unique<OLAppDelegate>(*fixture.settings, fixture.asker, fixture.recoveryFolder());
    fixture.asker.recoveries.push_back(Recovery::Recover);
    QVERIFY(fixture.app->applicationDidFinishLaunching({path}));
    QCOMPARE(fixture.asker.offers.size(), 1);
    QCOMPARE(fixture.app->windows().size(), 1);
    WAIT_FOR_TEXT(fixture.app->windows().constFirst(), QStringLiteral("val x = 1;\nval y = 2;"));
}

// The program itself, started on a folder holding a killed Ostrel's
// journal, takes the journal's lock to ask about it; killed while the
// question is open, it leaves the journal for the next start.
void TestRecovery::ostrelKeepsTheJournalUntilAnswered()
{
    AppFixture fixture;
    QTemporaryDir home;
    const QString configHome = home.filePath(QStringLiteral("config"));
    {
        QSettings settings(configHome + QStringLiteral("/Ostrel/Ostrel.conf"), QSettings::IniFormat);
        settings.setValue(OLKey::preferredInterpreter, polyCommandLine);
        settings.setValue(OLKey::shouldReopenFiles, false);
    }
    const QString file = fixture.write(QStringLiteral("doc.sml"), "val x = 1;\n");
    killAfterJournal(fixture, file, QStringLiteral("val y = 2;"));
    if (QTest::currentTestFailed())
        return;
    const QStringList left = journalsIn(fixture.recoveryFolder());
    QCOMPARE(left.size(), 1);
    const QString lock = QDir(fixture.recoveryFolder()).filePath(left.constFirst()) + QStringLiteral(".lock");

    QProcess ostrel;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_STATE_HOME"), fixture.stateHome());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    ostrel.setProcessEnvironment(environment);
    ostrel.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ostrel.start(QStringLiteral(OSTREL_BINARY), QStringList());
    QVERIFY(ostrel.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(holdsOpen(ostrel.processId(), QFileInfo(lock).canonicalFilePath())
                                 || ostrel.state() == QProcess::NotRunning,
                             30000);
    QCOMPARE(ostrel.state(), QProcess::Running);
    QCOMPARE(::kill(pid_t(ostrel.processId()), SIGKILL), 0);
    QVERIFY(ostrel.waitForFinished(10000));

    QCOMPARE(journalsIn(fixture.recoveryFolder()), left);
    fixture.asker.recoveries.push_back(Recovery::Discard);
    QVERIFY(fixture.app->applicationDidFinishLaunching());
    QCOMPARE(fixture.asker.offers.size(), 1);
    QCOMPARE(fixture.asker.offers[0].text, QStringLiteral("val x = 1;\nval y = 2;"));
}

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
