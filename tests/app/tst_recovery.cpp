// Crash recovery through the application: a window journals its unsaved text
// within seconds of an edit and drops the journal once the text is safe; an
// Ostrel killed with SIGKILL (ostrel_journal_child: a real child process with
// the real delegate and window) leaves its text, which the next start offers;
// the ostrel program itself keeps a journal until the user answers.

#include "appfixture.h"

#include "settings/OLSettingsKeys.h"

#include <QLabel>
#include <QProcess>
#include <QRegularExpression>

using Recovery = OLAsker::Recovery;
using Origin = OLRecoveredText::Origin;
using SaveChanges = OLAsker::SaveChanges;

namespace {
constexpr int journalTimeout = OLWindowController::journalDelay + 5000;

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
    void journalGoesOnceTheTextIsSafe_data()
    {
        QTest::addColumn<QString>("how");

        QTest::newRow("saved") << QStringLiteral("save");
        QTest::newRow("edit taken back by hand") << QStringLiteral("undo");
        QTest::newRow("closed, changes discarded") << QStringLiteral("close, discard");
        QTest::newRow("new document saved under a name") << QStringLiteral("save as");
    }

    // The other window's journal and lock stay; this one's go. Edited again, a
    // window that stayed journals again.
    void journalGoesOnceTheTextIsSafe()
    {
        QFETCH(QString, how);

        AppFixture fixture;
        fixture.untitled(QStringLiteral("val keep = 0;")); // keeps the application from quitting
        const QString path = fixture.path(QStringLiteral("doc.sml"));
        fixture.asker.saveFileNames.push_back(path);
        OLWindowController *window
            = how == u"save as" ? fixture.untitled() : fixture.open(QStringLiteral("doc.sml"), "val x = 1;\n");
        QVERIFY(window);
        typeAtEnd(window, QStringLiteral("z"));
        QTRY_COMPARE_WITH_TIMEOUT(journalsIn(fixture.recoveryFolder()).size(), 2, journalTimeout);
        const QStringList both = journalsIn(fixture.recoveryFolder());

        const QPointer<OLWindowController> guard(window);
        if (how.startsWith(u"save")) {
            QVERIFY(window->saveFile());
        } else if (how == u"undo") {
            QTest::keyClick(window->editor()->textView(), Qt::Key_Backspace);
            QVERIFY(!window->isWindowModified());
        } else {
            fixture.asker.saveChanges.push_back(SaveChanges::DontSave);
            window->closeWindow();
            QTRY_VERIFY(!guard);
        }
        fixture.app->recovery().waitForDone();
        const QStringList left = journalsIn(fixture.recoveryFolder());
        QCOMPARE(left.size(), 1);
        QVERIFY(both.contains(left.constFirst()));
        QCOMPARE(QDir(fixture.recoveryFolder()).entryList(QDir::Files).size(), 2); // a journal and its lock
        if (guard) {
            QCOMPARE(readBytes(path), how == u"undo" ? QByteArray("val x = 1;\n") : window->content().toUtf8());
            typeAtEnd(window, QStringLiteral("w"));
            QTRY_COMPARE_WITH_TIMEOUT(journalsIn(fixture.recoveryFolder()).size(), 2, journalTimeout);
        }
    }

    void killedOstrelOffersItsText_data()
    {
        QTest::addColumn<QByteArray>("original"); // none: a new document
        QTest::addColumn<QString>("meanwhile");   // what happens to the file before the next start
        QTest::addColumn<Origin>("origin");
        QTest::addColumn<Recovery>("answer");
        const QByteArray lf("val x = 1;\n");
        QTest::newRow("CRLF and byte-order mark: recovered, saved back in the file's form")
            << QByteArray("\xEF\xBB\xBFval x = 1;\r\n") << QString() << Origin::Unchanged << Recovery::Recover;
        QTest::newRow("file changed since: said so, opened as edited, file kept")
            << lf << QStringLiteral("append") << Origin::Changed << Recovery::Recover;
        QTest::newRow("file deleted since: a new document")
            << lf << QStringLiteral("delete") << Origin::Missing << Recovery::Recover;
        QTest::newRow("untitled document") << QByteArray() << QString() << Origin::Untitled << Recovery::Recover;
        QTest::newRow("discarded") << lf << QString() << Origin::Unchanged << Recovery::Discard;
        QTest::newRow("decided later: kept for the next start") << lf << QString() << Origin::Unchanged << Recovery::Later;
    }
    // The typed text comes back at the end of the file's text; saved, it is
    // written in the file's form.
    void killedOstrelOffersItsText()
    {
        QFETCH(QByteArray, original);
        QFETCH(QString, meanwhile);
        QFETCH(Origin, origin);
        QFETCH(Recovery, answer);
        AppFixture fixture;
        fixture.app->defaults().saveShouldReopenFiles(false);
        const QString file = original.isEmpty() ? QString() : fixture.write(QStringLiteral("doc.sml"), original);
        killAfterJournal(fixture, file, QStringLiteral("val y = 2;"));
        if (QTest::currentTestFailed())
            return;
        const QStringList left = journalsIn(fixture.recoveryFolder());
        QCOMPARE(left.size(), 1);
        QVERIFY(QFile::exists(fixture.journal() + QStringLiteral(".lock")));
        QCOMPARE(modeOf(fixture.journal()), mode_t(0600));

        QByteArray onDisk = original;
        if (meanwhile == u"append")
            fixture.write(QStringLiteral("doc.sml"), onDisk += "val other = 0;\n");
        else if (meanwhile == u"delete")
            QVERIFY(QFile::remove(file));

        fixture.asker.recoveries.push_back(answer);
        QVERIFY(fixture.app->applicationDidFinishLaunching());
        QCOMPARE(fixture.asker.offers.size(), 1);
        QCOMPARE(fixture.asker.offers[0].file, file);
        QCOMPARE(fixture.asker.offers[0].origin, origin);
        if (!file.isEmpty() && meanwhile != u"delete")
            QCOMPARE(readBytes(file), onDisk); // never applied blindly
        fixture.app->recovery().waitForDone();
        QCOMPARE(fixture.app->windows().size(), 1);
        OLWindowController *window = fixture.app->windows().constFirst();
        switch (answer) {
        case Recovery::Recover: {
            QCOMPARE(window->file(), origin == Origin::Missing ? QString() : file);
            QString error;
            WAIT_FOR_TEXT(window, OLSourceFile::fromBytes(original, &error)->editorText() + QStringLiteral("val y = 2;"));
            QVERIFY(window->isWindowModified());
            // The window's own journal has taken the old one's place.
            QCOMPARE(journalsIn(fixture.recoveryFolder()).size(), 1);
            QVERIFY(journalsIn(fixture.recoveryFolder()) != left);
            const QString target = window->file().isEmpty() ? fixture.path(QStringLiteral("saved.sml")) : file;
            fixture.asker.saveFileNames.push_back(target);
            QVERIFY(window->saveFile());
            QCOMPARE(readBytes(target), original + "val y = 2;");
            QVERIFY(!window->isWindowModified());
            fixture.app->recovery().waitForDone();
            QCOMPARE(journalsIn(fixture.recoveryFolder()), QStringList());
            break;
        }
        case Recovery::Discard:
            QCOMPARE(QDir(fixture.recoveryFolder()).entryList(QDir::Files), QStringList());
            QVERIFY(window->content().isEmpty());
            break;
        case Recovery::Later:
            QCOMPARE(journalsIn(fixture.recoveryFolder()), left);
            QVERIFY(window->content().isEmpty());
            fixture.relaunch();
            QVERIFY(fixture.app->applicationDidFinishLaunching());
            QCOMPARE(fixture.asker.offers.size(), 2);
            QCOMPARE(fixture.asker.offers[1].text, QString::fromUtf8(original) + QStringLiteral("val y = 2;"));
            break;
        }
        QCOMPARE(fixture.asker.alerts.size(), 0);
    }

    // An edit is journalled not on the keystroke but within seconds, in the
    // file's form, and another store sees only the journal left behind. The
    // recovered file, named on the command line or in the last run's list,
    // stays in its recovered window, not opened a second time.
    void editIsJournalledAndItsFileOpensOnce()
    {
        AppFixture fixture;
        OLWindowController *window = fixture.open(QStringLiteral("doc.sml"), "val x = 1;\r\n");
        QVERIFY(window);
        const QString path = window->file();
        typeAtEnd(window, QStringLiteral("val y = 2;"));
        QVERIFY(journalsIn(fixture.recoveryFolder()).isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(journalsIn(fixture.recoveryFolder()).size(), 1, journalTimeout);
        fixture.app->recovery().waitForDone();
        leaveJournalBehind(fixture.journal());
        {
            OLRecoveryStore other(fixture.recoveryFolder());
            const std::vector<OLRecoveredText> texts = other.leftBehind();
            QCOMPARE(texts.size(), size_t(1));
            QCOMPARE(texts.front().file, path);
            QCOMPARE(texts.front().text.bytes(), QByteArray("val x = 1;\r\nval y = 2;"));
            QCOMPARE(texts.front().origin, Origin::Unchanged);
        }
        fixture.app->defaults().saveOpenedFiles({QUrl::fromLocalFile(path)});
        fixture.app->defaults().saveShouldReopenFiles(true);

        fixture.relaunch(); // the window's own journal goes with it
        fixture.asker.recoveries.push_back(Recovery::Recover);
        QVERIFY(fixture.app->applicationDidFinishLaunching({path}));
        QCOMPARE(fixture.asker.offers.size(), 1);
        QCOMPARE(fixture.app->windows().size(), 1);
        WAIT_FOR_TEXT(fixture.app->windows().constFirst(), QStringLiteral("val x = 1;\nval y = 2;"));
    }

    // A journal that cannot be written, even by root (a file is where its
    // folder would be made), is said in the window's status bar, not in an
    // alert; a later edit tries again, and the notice goes once it is written.
    void unwritableJournalIsSaidInTheWindow()
    {
        AppFixture fixture;
        fixture.write(QStringLiteral("state"), "a file");
        OLWindowController *window = fixture.untitled(QStringLiteral("val a = 1;"));
        const auto *notice = window->findChild<QLabel *>(QStringLiteral("journalNotice"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Cannot write the recovery journal")));
        QTRY_VERIFY_WITH_TIMEOUT(!notice->isHidden(), journalTimeout);
        QVERIFY2(notice->text().contains(fixture.recoveryFolder()), qPrintable(notice->text()));
        QVERIFY(fixture.asker.alerts.isEmpty());
        QVERIFY(QFile::remove(fixture.stateHome()));
        typeAtEnd(window, QStringLiteral(" val b = 2;"));
        QTRY_VERIFY_WITH_TIMEOUT(notice->isHidden(), journalTimeout);
        QCOMPARE(journalsIn(fixture.recoveryFolder()).size(), 1);
    }

    // The program itself, started on a folder holding a killed Ostrel's journal,
    // takes the journal's lock to ask about it; killed while the question is
    // open, it leaves the journal for the next start.
    void ostrelKeepsTheJournalUntilAnswered()
    {
        AppFixture fixture;
        QTemporaryDir home;
        const QString configHome = home.filePath(QStringLiteral("config"));
        {
            QSettings settings(configHome + QStringLiteral("/Ostrel/Ostrel.conf"), QSettings::IniFormat);
            settings.setValue(OLKey::preferredInterpreter, polyCommandLine);
            settings.setValue(OLKey::shouldReopenFiles, false);
        }
        killAfterJournal(fixture, fixture.write(QStringLiteral("doc.sml"), "val x = 1;\n"), QStringLiteral("val y = 2;"));
        if (QTest::currentTestFailed())
            return;
        const QStringList left = journalsIn(fixture.recoveryFolder());
        QCOMPARE(left.size(), 1);
        const QString lock = QFileInfo(fixture.journal() + QStringLiteral(".lock")).canonicalFilePath();

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
        QTRY_VERIFY_WITH_TIMEOUT(holdsOpen(ostrel.processId(), lock) || ostrel.state() == QProcess::NotRunning, 30000);
        QCOMPARE(ostrel.state(), QProcess::Running);
        QCOMPARE(::kill(pid_t(ostrel.processId()), SIGKILL), 0);
        QVERIFY(ostrel.waitForFinished(10000));

        QCOMPARE(journalsIn(fixture.recoveryFolder()), left);
        fixture.asker.recoveries.push_back(Recovery::Discard);
        QVERIFY(fixture.app->applicationDidFinishLaunching());
        QCOMPARE(fixture.asker.offers.size(), 1);
        QCOMPARE(fixture.asker.offers[0].text, QStringLiteral("val x = 1;\nval y = 2;"));
    }
};

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
