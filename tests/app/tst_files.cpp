// Source files: what is read is written back byte for byte, edits keep the
// file's form, and a failed write leaves the old file as it was; file names
// need not be UTF-8; only regular files open. Recovery journals on their own:
// the text comes back exactly, the file is judged against what it was, locks
// keep a running Ostrel's journals from being offered, unreadable journals
// stay, and journals are private. A killed process leaves its journal and
// lock file with nobody holding the lock; leaveJournalBehind makes that state
// while the writer lives on. Crash recovery through the application: a window
// journals its unsaved text within seconds of an edit and drops the journal
// once the text is safe; the journal of an Ostrel that did not end is offered
// at the next start; the ostrel program itself holds a journal's lock while it
// asks, and killed, leaves the journal for the next start.

#include "appfixture.h"
#include "app/OLFileName.h"
#include "settings/OLSettingsKeys.h"

#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>

#include <algorithm>
#include <unistd.h>

using Origin = OLRecoveredText::Origin;
using Recovery = OLAsker::Recovery;

namespace {
bool holdsOpen(qint64 pid, const QString &path)
{
    const QFileInfoList fds = QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    return std::any_of(fds.cbegin(), fds.cend(), [&path](const QFileInfo &fd) { return fd.symLinkTarget() == path; });
}
} // namespace

class TestFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Read, then written back; text added at the end grows the file by its UTF-8.
    void readsAndWritesBack()
    {
        struct Row { const char *name; QByteArray bytes; QString editorText; };
        const QString others = QStringLiteral("x\uFDD2y\uFFFEz\U0010FFFF\u2028w\n");
        const Row rows[]{
            {"NUL byte", QByteArray("a\0b\n", 4), QStringLiteral("a") + QChar(0) + QStringLiteral("b\n")},
            {"mixed line ends", "a\r\nb\nc\rd\r\n", QStringLiteral("a\nb\nc\nd\n")},
            {"paragraph separator, no final newline", "a\xE2\x80\xA9" "b", QStringLiteral("a\nb")},
            {"CR at the very end", "a\r\nb\r", QStringLiteral("a\nb\n")},
            {"byte-order mark only", "\xEF\xBB\xBF", QString()},
            {"a second byte-order mark is text", "\xEF\xBB\xBF\xEF\xBB\xBFx", QStringLiteral("\uFEFFx")},
            // The text view shows these two as line breaks.
            {"U+FDD0, U+FDD1 among CRLF", QStringLiteral("a\uFDD0b\r\nc\uFDD1\r\n").toUtf8(), QStringLiteral("a\nb\nc\n\n")},
            {"other noncharacters, line separator", others.toUtf8(), others}};
        QTemporaryDir dir;
        for (const Row &row : rows) {
            const QString path = writeBytes(dir, QStringLiteral("source.sml"), row.bytes);
            QString error;
            const std::optional<OLSourceFile> source = OLSourceFile::read(path, &error);
            QVERIFY2(source && source->editorText() == row.editorText, row.name);
            const QString added = QStringLiteral(" (* ü *)");
            QVERIFY2(source->encode(row.editorText + added) == row.bytes + added.toUtf8(), row.name);
            QVERIFY2(OLSourceFile::write(path, source->encode(row.editorText), &error) && readBytes(path) == row.bytes, row.name);
        }
    }

    // "/": a folder, "|": a named pipe (refused without waiting for a writer), else a device's path or bytes.
    void refusesWhatIsNoText()
    {
        const QString notUtf8 = QStringLiteral("The file is not valid UTF-8 text.");
        const std::pair<QByteArray, QString> rows[]{
            {"val s = \"\xE4\";\n", notUtf8}, {"val s = \"\xE2\x82", notUtf8}, {"\xEF\xBB\xBF\xFF", notUtf8},
            {"/", QStringLiteral("It is a folder, not a file.")},
            {"|", QStringLiteral("It is a named pipe (FIFO), not a regular file.")},
            {"/dev/zero", QStringLiteral("It is a device, not a regular file.")}};
        for (const auto &[bytes, error] : rows) {
            QTemporaryDir dir;
            const QString path = bytes == "/" ? dir.path() : bytes.startsWith('/') ? QString::fromLatin1(bytes) : dir.filePath("bad");
            if (bytes == "|")
                changeFile(QStringLiteral("fifo"), writeBytes(dir, QStringLiteral("bad"), {}));
            else if (!bytes.startsWith('/'))
                writeBytes(dir, QStringLiteral("bad"), bytes);
            QString reason;
            QVERIFY2(!OLSourceFile::read(path, &reason) && reason == error, bytes.constData());
        }
    }

    // Saved, the edited text is the new unedited state.
    void editsKeepLineEnds()
    {
        struct Row { const char *name; QByteArray bytes; int line, removed; QString edited; QByteArray expected; };
        const QByteArray mixed("a\r\nb\nc\rd\r\n"); // lines ending CRLF, LF, CR, CRLF
        const Row rows[]{
            {"break in the LF line takes LF", mixed, 1, 0, QStringLiteral("a\nb1\nb2\nc\nd\n"), "a\r\nb1\nb2\nc\rd\r\n"},
            {"break in the CR line takes CR", mixed, 2, 0, QStringLiteral("a\nb\nc1\nc2\nd\n"), "a\r\nb\nc1\rc2\rd\r\n"},
            {"joined lines keep the second end", mixed, 0, 1, QStringLiteral("ab\nc\nd\n"), "ab\nc\rd\r\n"},
            {"new last line takes the dominant end", mixed, 4, 0, QStringLiteral("a\nb\nc\nd\ne\n"), "a\r\nb\nc\rd\r\ne\r\n"},
            {"dominant: a tie goes to LF", "a\r\nb\n", 2, 0, QStringLiteral("a\nb\nc\n"), "a\r\nb\nc\n"},
            {"byte-order mark stays", "\xEF\xBB\xBFx\ny", 0, 1, QStringLiteral("xy"), "\xEF\xBB\xBFxy"}};
        for (const Row &row : rows) {
            QString error;
            std::optional<OLSourceFile> source = OLSourceFile::fromBytes(row.bytes, &error);
            source->lineEnds().replace(row.line, row.removed, row.edited.count(u'\n') - source->editorText().count(u'\n') + row.removed);
            QVERIFY2(source->encode(row.edited) == row.expected, row.name);
            source->noteSaved(row.edited, row.expected);
            QVERIFY2(!source->isEdited(row.edited) && source->encode(row.edited) == row.expected, row.name);
        }
    }

    // A link stays a link, the file keeps its mode. A failed write says why,
    // and leaves the old file and its folder as they were, with no temporary
    // file behind. SIGXFSZ is left at its default: the write must not end the program.
    void writes()
    {
        const std::pair<QString, QString> rows[]{
            {QStringLiteral("link 0640"), QString()}, {QStringLiteral("link 0755"), QString()},
            {QStringLiteral("disk full"), QStringLiteral("File too large")},
            {QStringLiteral("folder"), QStringLiteral("Is a directory")}, {QStringLiteral("below"), QStringLiteral("Not a directory")}};
        for (const auto &[fault, error] : rows) {
            QTemporaryDir dir;
            const QString old = writeBytes(dir, QStringLiteral("old.sml"), "old\n");
            QString path = old;
            const mode_t mode = fault.startsWith(u"link") ? fault.mid(5).toUInt(nullptr, 8) : 0644;
            QCOMPARE(::chmod(QFile::encodeName(old).constData(), mode), 0);
            if (fault.startsWith(u"link"))
                QVERIFY(QFile::link(old, path = dir.filePath(QStringLiteral("link.sml"))));
            else if (fault == u"folder")
                changeFile(fault, old);
            else if (fault == u"below")
                path = old + QStringLiteral("/new.sml");
            std::optional<FileSizeLimit> limit;
            if (fault == u"disk full")
                limit.emplace(100), std::signal(SIGXFSZ, SIG_DFL);
            QString reason;
            const bool written = OLSourceFile::write(path, QByteArray(5000, 'x'), &reason);
            limit.reset();
            QVERIFY2(reason == error && written == error.isEmpty(), qPrintable(fault));
            QVERIFY2(entriesOf(dir.path()).join(u' ') == (written ? "link.sml old.sml" : "old.sml"), qPrintable(fault));
            QVERIFY2(modeOf(old) == (fault == u"folder" ? mode_t(0700) : mode), qPrintable(fault));
            QVERIFY2(fault == u"folder" || (QFileInfo(path).isSymLink() == written
                                            && readBytes(old) == (written ? QByteArray(5000, 'x') : "old\n")), qPrintable(fault));
        }
    }

    // Any bytes come back: every pair, alone and after the start of a 3- or
    // 4-byte sequence (whose second half may look like an escaped byte).
    void everyByteStringRoundTrips()
    {
        for (const QByteArray &prefix : {QByteArray(), QByteArray("\xE2"), QByteArray("\xF0\x9F")}) {
            for (int pair = 0; pair < 0x10000; ++pair) {
                const QByteArray bytes = prefix + char(pair >> 8) + char(pair);
                if (OLFileName::encode(OLFileName::decode(bytes)) != bytes)
                    QFAIL(bytes.toHex(' ').constData());
            }
        }
    }

    // The file is judged by content: the size and hash of the bytes the edits
    // started from. Saved through the file's form, the text writes the
    // journal's bytes. Only the journal left behind is offered, not the live
    // one, and only to one store at a time.
    void textComesBackExactly()
    {
        // onDisk none: a document never saved; meanwhile: what happens to the file before the journal is read.
        struct Row { const char *name; QByteArray onDisk; QString edited; QByteArray journalled; QString meanwhile; Origin origin; QByteArray file; };
        const QByteArray lf("val x = 1;\n"), sml("source.sml");
        const QString edited = QStringLiteral("val x = 1;\nval y = 2;\n");
        const Row rows[]{
            {"CRLF, byte-order mark, touched", "\xEF\xBB\xBFval x = 1;\r\n", QStringLiteral("val x = 1;\nval y = 2;"), "\xEF\xBB\xBFval x = 1;\r\nval y = 2;", QStringLiteral("touch"), Origin::Unchanged, sml},
            {"mixed line ends, appended", "a\r\nb\nc", QStringLiteral("a\nb\nc!"), "a\r\nb\nc!", QStringLiteral("append"), Origin::Changed, sml},
            {"NUL, rewritten: same size", "x\n", QStringLiteral("x\n\u00e4") + QChar(0) + QStringLiteral("\U0001F600"), QByteArray("x\n\xC3\xA4\0\xF0\x9F\x98\x80", 9), QStringLiteral("rewrite"), Origin::Changed, sml},
            {"everything deleted, renamed", lf, QString(), QByteArray(), QStringLiteral("rename"), Origin::Changed, sml},
            {"file deleted", lf, edited, edited.toUtf8(), QStringLiteral("delete"), Origin::Missing, sml},
            {"a folder now", lf, edited, edited.toUtf8(), QStringLiteral("folder"), Origin::Missing, sml},
            {"untitled", QByteArray(), edited, edited.toUtf8(), QString(), Origin::Untitled, sml},
            {"file name not UTF-8", lf, edited, edited.toUtf8(), QString(), Origin::Unchanged, "\xFF.sml"}};
        for (const Row &row : rows) {
            QTemporaryDir dir;
            const QString file = row.onDisk.isEmpty() ? QString() : OLFileName::decode(QFile::encodeName(dir.path()) + '/' + row.file);
            QString error;
            if (!file.isEmpty())
                writeBytesAt(OLFileName::encode(file), row.onDisk);
            const auto removal = qScopeGuard([&] { ::unlink(OLFileName::encode(file).constData()); }); // Qt cannot
            OLSourceFile baseline = file.isEmpty() ? OLSourceFile::fromEditorText(QString()) : *OLSourceFile::read(file, &error);
            OLRecoveryStore store(dir.filePath(QStringLiteral("recovery")));
            OLRecoveryJournal journal(store);
            journal.write(file, baseline, row.edited, OLFileStamp::of(file));
            store.waitForDone();
            const QString left = leaveJournalBehind(journal.path());
            if (!row.meanwhile.isEmpty())
                changeFile(row.meanwhile, file, "y\n");

            const std::vector<OLRecoveredText> texts = store.leftBehind();
            QVERIFY2(texts.size() == 1, row.name);
            const OLRecoveredText &text = texts.front();
            QVERIFY2(QFileInfo(text.journal).fileName() == left && text.origin == row.origin && text.file == file, row.name);
            QVERIFY2(text.text.bytes() == row.journalled && text.text.editorText() == row.edited, row.name);
            baseline.adoptForm(text.text);
            QVERIFY2(baseline.encode(text.text.editorText()) == row.journalled, row.name);

            QVERIFY2(OLRecoveryStore(store.folder()).leftBehind().empty(), row.name);
        }
    }

    // A journal is private, written again or not, in a private folder. Its
    // writer's end (a save, a close) removes it, after the writes queued before.
    void journalIsPrivateAndEndsWithItsWriter()
    {
        QTemporaryDir dir;
        const mode_t oldMask = ::umask(0);
        OLRecoveryStore store(dir.filePath(QStringLiteral("state/recovery")));
        {
            OLRecoveryJournal journal(store);
            for (const QString &text : {QStringLiteral("secret"), QStringLiteral("written again")}) {
                journal.write(QString(), OLSourceFile::fromEditorText(QString()), text, OLFileStamp());
                store.waitForDone();
                QCOMPARE(modeOf(journal.path()), mode_t(0600));
            }
            ::umask(oldMask);
            QCOMPARE(modeOf(journal.path() + QStringLiteral(".lock")), mode_t(0600));
            QCOMPARE(modeOf(store.folder()), mode_t(0700));
            for (int i = 0; i < 20; ++i)
                journal.write(QString(), OLSourceFile::fromEditorText(QString()), QString(100000, u'x'), OLFileStamp());
        }
        store.waitForDone();
        QCOMPARE(entriesOf(store.folder()), QStringList());
    }

    // One that cannot be read may still hold the user's text: it stays, with a
    // warning. A lock without its journal goes.
    void unreadableJournalIsLeftAlone()
    {
        const QByteArray header("OSTREL-RECOVERY-JOURNAL 1\n");
        const std::pair<QString, QByteArray> rows[]{
            {QStringLiteral("broken.journal"), QByteArray("\x00\xFF garbage", 10)},
            {QStringLiteral("broken.journal"), header + "{file:\n"},
            {QStringLiteral("broken.journal"), header + "{\"file\":\"\",\"length\":10}\nshort"},
            {QStringLiteral("broken.journal"), header + "{\"file\":\"\",\"length\":2}\n\xFF\xFE"},
            {QStringLiteral("broken.journal"), "OSTREL-RECOVERY-JOURNAL 2\n{\"file\":\"\",\"length\":1}\nx"},
            {QStringLiteral("gone.journal.lock"), QByteArray()}};
        for (const auto &[name, content] : rows) {
            QTemporaryDir dir;
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("recovery")));
            const QString path = writeBytes(dir, QStringLiteral("recovery/") + name, content);
            const bool journal = name.endsWith(QStringLiteral(".journal"));
            if (journal)
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Cannot read the recovery journal.*broken")));
            QVERIFY2(OLRecoveryStore(dir.filePath(QStringLiteral("recovery"))).leftBehind().empty(), content.constData());
            QVERIFY2(readBytes(path) == (journal ? content : QByteArray("<unreadable>")), content.constData());
        }
    }

    // The edit taken back by hand, or the window closed with its changes
    // discarded: this window's journal and lock go, the other window's stay;
    // edited again, the window journals again. (A save drops it too: see the
    // offers below.)
    void journalGoesOnceTheTextIsSafe()
    {
        AppFixture fixture(catCommandLine);
        OLWindowController *other = fixture.untitled(QStringLiteral("val keep = 0;"));
        OLWindowController *window = fixture.open(QStringLiteral("doc.sml"), "val x = 1;\n");
        const auto files = [&] {
            fixture.app->recovery().waitForDone();
            return QDir(fixture.recoveryFolder()).entryList(QDir::Files);
        };
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
    // journal goes. Decided later: the ostrel program itself, started on it,
    // takes the journal's lock to ask about it (no other Ostrel is offered it
    // then); killed while it asks, it leaves the journal for the next start.
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
                fixture.app.reset();
                const QString lock = QFileInfo(QDir(fixture.recoveryFolder()).filePath(left + QStringLiteral(".lock"))).canonicalFilePath();
                QTemporaryDir home;
                const QString configHome = home.filePath(QStringLiteral("config"));
                QSettings(configHome + QStringLiteral("/Ostrel/Ostrel.conf"), QSettings::IniFormat).setValue(OLKey::preferredInterpreter, catCommandLine);
                QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
                for (const auto &[variable, value] : {std::pair(QStringLiteral("HOME"), home.path()), std::pair(QStringLiteral("XDG_STATE_HOME"), fixture.stateHome()),
                                                      std::pair(QStringLiteral("XDG_CONFIG_HOME"), configHome)})
                    environment.insert(variable, value);
                QProcess ostrel;
                ostrel.setProcessEnvironment(environment);
                ostrel.start(QStringLiteral(OSTREL_BINARY), QStringList());
                QTRY_VERIFY_WITH_TIMEOUT(holdsOpen(ostrel.processId(), lock) || ostrel.state() == QProcess::NotRunning, 30000);
                QVERIFY2(ostrel.state() == QProcess::Running && OLRecoveryStore(fixture.recoveryFolder()).leftBehind().empty(), name);
                QVERIFY2(::kill(pid_t(ostrel.processId()), SIGKILL) == 0 && ostrel.waitForFinished(10000), name);
                fixture.relaunch();
                QVERIFY2(fixture.app->applicationDidFinishLaunching() && fixture.asker.offers.size() == 2 && fixture.asker.offers[1].text == recovered, name);
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
};

QTEST_MAIN(TestFiles)
#include "tst_files.moc"
