// Crash recovery through the application: a window journals its unsaved text
// within seconds of an edit and drops the journal once the text is safe; the
// journal of an Ostrel that did not end (left behind, unlocked) is offered at
// the next start; the ostrel program itself holds a journal's lock while it
// asks, and killed, leaves the journal for the next start.

#include "appfixture.h"

#include "settings/OLSettingsKeys.h"

#include <QLabel>
#include <QProcess>
#include <QRegularExpression>

using Recovery = OLAsker::Recovery;
using Origin = OLRecoveredText::Origin;

namespace {
bool holdsOpen(qint64 pid, const QString &path)
{
    for (const QFileInfo &fd : QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
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
    // The edit taken back by hand, or the window closed with its changes
    // discarded: this window's journal and lock go, the other window's stay;
    // edited again, the window journals again. (A save drops it too: see the
    // offers below.)
    void journalGoesOnceTheTextIsSafe()
    {
        AppFixture fixture(catCommandLine);
        OLWindowController *other = fixture.untitled(QStringLiteral("val keep = 0;"));
        OLWindowController *window = fixture.open(QStringLiteral("doc.sml"), "val x = 1;\n");
        const auto files = [&] { return fixture.app->recovery().waitForDone(), QDir(fixture.recoveryFolder()).entryList(QDir::Files); };
        typeAtEnd(window, QStringLiteral("z"));
        other->journalNow();
        window->journalNow();
        const QStringList both = files();
        QTest::keyClick(window->editor()->textView(), Qt::Key_Backspace);
        const QStringList left = files();
        typeAtEnd(window, QStringLiteral("w"));
        window->journalNow();
        QCOMPARE(files().size(), 4);
        fixture.asker.saveChanges.push_back(OLAsker::SaveChanges::DontSave);
        window->closeWindow();
        QVERIFY(both.size() == 4 && left.size() == 2 && both.contains(left[0]) && both.contains(left[1]));
        QCOMPARE(files(), left);
    }

    // The typed text comes back at the end of the file's text, in a window
    // of its own even when its file is named on the command line and in the
    // last run's list; saved, it is written in the file's form, and its
    // journal goes.
    void offeredAtTheNextStart()
    {
        // The file's bytes (none: a new document), and what happens to it before the next start.
        struct Row { const char *name; QByteArray original; QString meanwhile; Origin origin; Recovery answer; };
        const QByteArray lf("val x = 1;\n");
        const Row rows[]{
            {"CRLF and byte-order mark, saved back in the file's form", "\xEF\xBB\xBFval x = 1;\r\n", "", Origin::Unchanged, Recovery::Recover},
            {"file changed since: opened as edited, file kept", lf, "append", Origin::Changed, Recovery::Recover},
            {"file deleted since: a new document", lf, "delete", Origin::Missing, Recovery::Recover},
            {"untitled document", QByteArray(), "", Origin::Untitled, Recovery::Recover},
            {"discarded", lf, "", Origin::Unchanged, Recovery::Discard},
            {"decided later: kept for the next start", lf, "", Origin::Unchanged, Recovery::Later}};
        for (const auto &[name, original, meanwhile, origin, answer] : rows) {
            AppFixture fixture(catCommandLine);
            const QString file = original.isEmpty() ? QString() : fixture.write(QStringLiteral("doc.sml"), original);
            OLWindowController *window = file.isEmpty() ? fixture.untitled() : fixture.open(file);
            typeAtEnd(window, QStringLiteral("val y = 2;"));
            window->journalNow();
            fixture.app->recovery().waitForDone();
            const QString left = leaveJournalBehind(fixture.journal());
            fixture.app->defaults().saveShouldReopenFiles(true);
            fixture.app->defaults().saveOpenedFiles(file.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl::fromLocalFile(file)});
            fixture.relaunch(); // the window's own journal goes with it
            if (!meanwhile.isEmpty())
                changeFile(meanwhile, file, "val other = 0;\n");
            const QByteArray onDisk = original + (meanwhile == u"append" ? "val other = 0;\n" : "");
            fixture.asker.recoveries.push_back(answer);
            QVERIFY2(fixture.app->applicationDidFinishLaunching(file.isEmpty() || meanwhile == u"delete" ? QStringList() : QStringList(file)), name);
            const QString recovered = editorTextOf(original) + QStringLiteral("val y = 2;");
            QVERIFY2(fixture.asker.offers.size() == 1 && fixture.asker.offers[0].file == file && fixture.asker.offers[0].origin == origin
                         && fixture.asker.offers[0].text == recovered, name);
            window = fixture.app->windows().constFirst();
            QVERIFY2(fixture.app->windows().size() == 1 && window->file() == (meanwhile == u"delete" ? QString() : file), name);
            WAIT_FOR_TEXT(window, answer == Recovery::Recover ? recovered : editorTextOf(original));
            QVERIFY2(window->isWindowModified() == (answer == Recovery::Recover), name);
            QVERIFY2(file.isEmpty() || meanwhile == u"delete" || readBytes(file) == onDisk, name); // never applied blindly
            fixture.app->recovery().waitForDone();
            QVERIFY2(journalsIn(fixture.recoveryFolder()).contains(left) == (answer == Recovery::Later) && fixture.asker.alerts.isEmpty(), name);
            if (answer == Recovery::Recover) {
                const QString target = window->file().isEmpty() ? fixture.path(QStringLiteral("saved.sml")) : file;
                fixture.asker.saveFileNames.push_back(target);
                QVERIFY2(window->saveFile() && readBytes(target) == original + "val y = 2;", name);
                fixture.app->recovery().waitForDone();
                QVERIFY2(entriesOf(fixture.recoveryFolder()).isEmpty(), name);
            } else if (answer == Recovery::Later) {
                fixture.relaunch();
                QVERIFY2(fixture.app->applicationDidFinishLaunching() && fixture.asker.offers.size() == 2, name);
            }
        }
    }

    // A journal that cannot be written, even by root (a file is where its
    // folder would be made), is said in the window's status bar and once in
    // the log, not in an alert; a later edit tries again, and the notice goes
    // once it is written.
    void unwritableJournalIsSaidInTheWindow()
    {
        AppFixture fixture(catCommandLine);
        fixture.write(QStringLiteral("state"), "a file");
        OLWindowController *window = fixture.untitled(QStringLiteral("val a = 1;"));
        const auto *notice = window->findChild<QLabel *>(QStringLiteral("journalNotice"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Cannot write the recovery journal")));
        QTest::failOnWarning(QRegularExpression(QStringLiteral("recovery journal")));
        QVERIFY(journalsIn(fixture.recoveryFolder()).isEmpty()); // not on the keystroke
        QTRY_VERIFY_WITH_TIMEOUT(!notice->isHidden(), OLWindowController::journalDelay + 5000);
        QVERIFY2(notice->text().contains(fixture.recoveryFolder()), qPrintable(notice->text()));
        window->journalNow();
        fixture.app->recovery().waitForDone();
        QVERIFY(fixture.asker.alerts.isEmpty() && QFile::remove(fixture.stateHome()));
        typeAtEnd(window, QStringLiteral(" val b = 2;"));
        QTRY_VERIFY_WITH_TIMEOUT(notice->isHidden() && journalsIn(fixture.recoveryFolder()).size() == 1, OLWindowController::journalDelay + 5000);
    }

    // The program itself, started on a folder holding a journal left behind,
    // takes the journal's lock to ask about it (no other Ostrel is offered it
    // then); killed while the question is open, it leaves the journal, which
    // the next start offers.
    void ostrelKeepsTheJournalUntilAnswered()
    {
        AppFixture fixture(catCommandLine);
        typeAtEnd(fixture.untitled(), QStringLiteral("val y = 2;"));
        fixture.app->windows().constFirst()->journalNow();
        fixture.app->recovery().waitForDone();
        const QString left = leaveJournalBehind(fixture.journal());
        fixture.relaunch();
        QCOMPARE(journalsIn(fixture.recoveryFolder()), QStringList(left));
        const QString lock = QFileInfo(QDir(fixture.recoveryFolder()).filePath(left + QStringLiteral(".lock"))).canonicalFilePath();

        QTemporaryDir home;
        const QString configHome = home.filePath(QStringLiteral("config"));
        QSettings(configHome + QStringLiteral("/Ostrel/Ostrel.conf"), QSettings::IniFormat).setValue(OLKey::preferredInterpreter, polyCommandLine);
        QProcess ostrel;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const auto &[name, value] : {std::pair(QStringLiteral("HOME"), home.path()), std::pair(QStringLiteral("XDG_STATE_HOME"), fixture.stateHome()),
                                          std::pair(QStringLiteral("XDG_CONFIG_HOME"), configHome), std::pair(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"))})
            environment.insert(name, value);
        ostrel.setProcessEnvironment(environment);
        ostrel.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        ostrel.start(QStringLiteral(OSTREL_BINARY), QStringList());
        QVERIFY(ostrel.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(holdsOpen(ostrel.processId(), lock) || ostrel.state() == QProcess::NotRunning, 30000);
        QVERIFY(ostrel.state() == QProcess::Running && OLRecoveryStore(fixture.recoveryFolder()).leftBehind().empty());
        QVERIFY(::kill(pid_t(ostrel.processId()), SIGKILL) == 0 && ostrel.waitForFinished(10000));

        QVERIFY(fixture.app->applicationDidFinishLaunching() && fixture.asker.offers.size() == 1);
        QCOMPARE(fixture.asker.offers[0].text, QStringLiteral("val y = 2;"));
    }
};

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
