// Recovery journals on their own: what a journal holds and how exactly the
// text comes back, the file it belongs to judged against what it was, the
// locks that keep a running Ostrel's journals from being offered, journals
// that cannot be read, and the journal's privacy.
//
// A process that is killed leaves its journal and the journal's lock file,
// with nobody holding the lock. Copying both under a new name makes exactly
// that state while the journal's writer lives on; tst_recovery kills real
// processes.

#include "app/OLRecoveryJournal.h"

#include "apptestsupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <cstdio>
#include <sys/stat.h>

namespace {
const QString lockSuffix = QStringLiteral(".lock");

mode_t modeOf(const QString &path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}
} // namespace

class TestRecoveryJournal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textComesBackExactly_data();
    void textComesBackExactly();
    void originOfTheFile_data();
    void originOfTheFile();
    void runningJournalIsNotOffered();
    void journalIsPrivate();
    void discardRemovesJournalAndLock();
    void journalEndsWithItsWriter();
    void unreadableJournalIsLeftAlone_data();
    void unreadableJournalIsLeftAlone();
    void lockWithoutJournalIsRemoved();
    void unwritableFolderIsReportedInTheLog();
    void standardFolderFollowsXdgStateHome_data();
    void standardFolderFollowsXdgStateHome();
};

void TestRecoveryJournal::textComesBackExactly_data()
{
    QTest::addColumn<QByteArray>("onDisk");     // none: a document never saved
    QTest::addColumn<QString>("edited");        // the editor's text
    QTest::addColumn<QByteArray>("journalled"); // as saving would write it

    QTest::newRow("LF file") << QByteArray("val x = 1;\n") << QStringLiteral("val x = 1;\nval y = 2;\n")
                             << QByteArray("val x = 1;\nval y = 2;\n");
    QTest::newRow("CRLF file with byte-order mark")
        << QByteArray("\xEF\xBB\xBFval x = 1;\r\n") << QStringLiteral("val x = 1;\nval y = 2;")
        << QByteArray("\xEF\xBB\xBFval x = 1;\r\nval y = 2;");
    QTest::newRow("mixed line ends, no final newline")
        << QByteArray("a\r\nb\nc") << QStringLiteral("a\nb\nc!") << QByteArray("a\r\nb\nc!");
    QTest::newRow("NUL and non-ASCII") << QByteArray("x\n") << QStringLiteral("x\n\u00e4") + QChar(0) + QStringLiteral("\U0001F600")
                                       << QByteArray("x\n\xC3\xA4\0\xF0\x9F\x98\x80", 9);
    QTest::newRow("untitled") << QByteArray() << QStringLiteral("fun f x = x;\n") << QByteArray("fun f x = x;\n");
    QTest::newRow("everything deleted") << QByteArray("val x = 1;\n") << QString() << QByteArray();
}

void TestRecoveryJournal::textComesBackExactly()
{
    QFETCH(QByteArray, onDisk);
    QFETCH(QString, edited);
    QFETCH(QByteArray, journalled);

    QTemporaryDir dir;
    const bool untitled = onDisk.isEmpty();
    const QString file = untitled ? QString() : writeBytes(dir, QStringLiteral("source.sml"), onDisk);
    QString error;
    const OLSourceFile source = untitled ? OLSourceFile::fromEditorText(QString()) : *OLSourceFile::read(file, &error);
    const OLFileStamp stamp = OLFileStamp::of(file);

    OLRecoveryStore store(dir.filePath(QStringLiteral("recovery")));
    OLRecoveryJournal journal(store);
    const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-1);
    journal.write(file, source, edited, stamp);
    store.waitForDone();
    QCOMPARE(journalsIn(store.folder()).size(), 1);
    leaveJournalBehind(journal.path());

    std::vector<OLRecoveredText> texts = store.leftBehind();
    QCOMPARE(texts.size(), size_t(1));
    const OLRecoveredText &text = texts.front();
    QCOMPARE(text.file, file);
    QCOMPARE(text.text.bytes(), journalled);
    QCOMPARE(text.text.editorText(), edited);
    QCOMPARE(text.origin, untitled ? OLRecoveredText::Origin::Untitled : OLRecoveredText::Origin::Unchanged);
    QVERIFY(text.written >= before && text.written <= QDateTime::currentDateTimeUtc());
    if (!untitled) {
        QCOMPARE(text.fileSize, onDisk.size());
        QCOMPARE(text.fileModified, stamp.modified());
        QCOMPARE(text.fileSha256, QCryptographicHash::hash(onDisk, QCryptographicHash::Sha256));
    }
    // Saved through the file's own form, the recovered text writes the bytes
    // the journal holds.
    OLSourceFile baseline = untitled ? OLSourceFile::fromEditorText(QString()) : *OLSourceFile::read(file, &error);
    baseline.adoptForm(text.text);
    QCOMPARE(baseline.encode(text.text.editorText()), journalled);
}

void TestRecoveryJournal::originOfTheFile_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<OLRecoveredText::Origin>("origin");

    QTest::newRow("untouched") << QString() << OLRecoveredText::Origin::Unchanged;
    QTest::newRow("touched, same bytes") << QStringLiteral("touch") << OLRecoveredText::Origin::Unchanged;
    QTest::newRow("appended") << QStringLiteral("append") << OLRecoveredText::Origin::Changed;
    QTest::newRow("same size, other bytes") << QStringLiteral("same size") << OLRecoveredText::Origin::Changed;
    QTest::newRow("replaced by rename") << QStringLiteral("rename") << OLRecoveredText::Origin::Changed;
    QTest::newRow("deleted") << QStringLiteral("delete") << OLRecoveredText::Origin::Missing;
    QTest::newRow("a folder now") << QStringLiteral("folder") << OLRecoveredText::Origin::Missing;
}

// Judged by content: the size and hash of the bytes the edits started from.
void TestRecoveryJournal::originOfTheFile()
{
    QFETCH(QString, change);
    QFETCH(OLRecoveredText::Origin, origin);

    QTemporaryDir dir;
    const QString file = writeBytes(dir, QStringLiteral("source.sml"), "val x = 1;\n");
    QString error;
    const OLSourceFile source = *OLSourceFile::read(file, &error);
    OLRecoveryStore store(dir.filePath(QStringLiteral("recovery")));
    OLRecoveryJournal journal(store);
    journal.write(file, source, QStringLiteral("val x = 2;\n"), OLFileStamp::of(file));
    store.waitForDone();
    leaveJournalBehind(journal.path());

    if (change == QStringLiteral("touch")) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTimeUtc().addSecs(60), QFileDevice::FileModificationTime));
    } else if (change == QStringLiteral("append")) {
        QFile f(file);
        QVERIFY(f.open(QIODevice::Append));
        f.write("val y = 2;\n");
    } else if (change == QStringLiteral("same size")) {
        writeBytes(dir, QStringLiteral("source.sml"), "val x = 9;\n");
    } else if (change == QStringLiteral("rename")) {
        const QString replacement = writeBytes(dir, QStringLiteral("new.sml"), "val z = 3;\n");
        QVERIFY(::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(file).constData()) == 0);
    } else if (change == QStringLiteral("delete")) {
        QVERIFY(QFile::remove(file));
    } else if (change == QStringLiteral("folder")) {
        QVERIFY(QFile::remove(file));
        QVERIFY(QDir().mkdir(file));
    }

    const std::vector<OLRecoveredText> texts = store.leftBehind();
    QCOMPARE(texts.size(), size_t(1));
    QCOMPARE(texts.front().origin, origin);
    QCOMPARE(texts.front().text.editorText(), QStringLiteral("val x = 2;\n"));
}

// A journal whose writer runs (here: this process, through another open
// file) holds its lock: no one else offers it.
void TestRecoveryJournal::runningJournalIsNotOffered()
{
    QTemporaryDir dir;
    OLRecoveryStore store(dir.filePath(QStringLiteral("recovery")));
    OLRecoveryJournal journal(store);
    journal.write(QString(), OLSourceFile::fromEditorText(QString()), QStringLiteral("typed"), OLFileStamp());
    store.waitForDone();
    QCOMPARE(journalsIn(store.folder()), QStringList(QFileInfo(journal.path()).fileName()));

    OLRecoveryStore other(store.folder());
    QVERIFY(other.leftBehind().empty());
    QVERIFY(QFile::exists(journal.path()));
}

void TestRecoveryJournal::journalIsPrivate()
{
    QTemporaryDir dir;
    const mode_t oldMask = ::umask(0);
    OLRecoveryStore store(dir.filePath(QStringLiteral("state/recovery")));
    {
        OLRecoveryJournal journal(store);
        journal.write(QString(), OLSourceFile::fromEditorText(QString()), QStringLiteral("secret"), OLFileStamp());
        store.waitForDone();
        ::umask(oldMask);
        QCOMPARE(modeOf(journal.path()), mode_t(0600));
        QCOMPARE(modeOf(journal.path() + lockSuffix), mode_t(0600));
        QCOMPARE(modeOf(store.folder()), mode_t(0700));
        // Written again, it stays private.
        journal.write(QString(), OLSourceFile::fromEditorText(QString()), QStringLiteral("secret 2"), OLFileStamp());
        store.waitForDone();
        QCOMPARE(modeOf(journal.path()), mode_t(0600));
    }
    ::umask(oldMask);
}

void TestRecoveryJournal::discardRemovesJournalAndLock()
{
    QTemporaryDir dir;
    OLRecoveryStore store(dir.filePath(QStringLiteral("recovery")));
    OLRecoveryJournal journal(store);
    journal.write(QString(), OLSourceFile::fromEditorText(QString()), QStringLiteral("typed"), OLFileStamp());
    store.waitForDone();
    const QString left = leaveJournalBehind(journal.path());

    std::vector<OLRecoveredText> texts = store.leftBehind();
    QCOMPARE(texts.size(), size_t(1));
    // Locked while this process decides: another start does not offer it.
    QVERIFY(OLRecoveryStore(store.folder()).leftBehind().empty());
    store.discard(texts.front());
    store.waitForDone();
    QVERIFY(!QFile::exists(left));
    QVERIFY(!QFile::exists(left + lockSuffix));
    QVERIFY(QFile::exists(journal.path()));
}

// Its writer's end (a save, a close) removes the journal, after the writes
// queued before.
void TestRecoveryJournal::journalEndsWithItsWriter()
{
    QTemporaryDir dir;
    OLRecoveryStore store(dir.filePath(QStringLiteral("recovery")));
    {
        OLRecoveryJournal journal(store);
        for (int i = 0; i < 20; ++i)
            journal.write(QString(), OLSourceFile::fromEditorText(QString()), QString(100000, u'x'), OLFileStamp());
    }
    store.waitForDone();
    QCOMPARE(QDir(store.folder()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestRecoveryJournal::unreadableJournalIsLeftAlone_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("garbage") << QByteArray("\x00\xFF garbage", 10);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("header only") << QByteArray("OSTREL-RECOVERY-JOURNAL 1\n");
    QTest::newRow("header not JSON") << QByteArray("OSTREL-RECOVERY-JOURNAL 1\n{file:\n");
    QTest::newRow("text shorter than said")
        << QByteArray("OSTREL-RECOVERY-JOURNAL 1\n{\"file\":\"\",\"length\":10}\nshort");
    QTest::newRow("text not UTF-8") << QByteArray("OSTREL-RECOVERY-JOURNAL 1\n{\"file\":\"\",\"length\":2}\n\xFF\xFE");
    QTest::newRow("other version") << QByteArray("OSTREL-RECOVERY-JOURNAL 2\n{\"file\":\"\",\"length\":1}\nx");
}

// It may still hold the user's text: it stays for the user to look at.
void TestRecoveryJournal::unreadableJournalIsLeftAlone()
{
    QFETCH(QByteArray, content);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("recovery")));
    const QString path = writeBytes(dir, QStringLiteral("recovery/broken.journal"), content);
    OLRecoveryStore store(dir.filePath(QStringLiteral("recovery")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Cannot read the recovery journal.*broken")));
    QVERIFY(store.leftBehind().empty());
    QCOMPARE(readBytes(path), content);
}

void TestRecoveryJournal::lockWithoutJournalIsRemoved()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("recovery")));
    writeBytes(dir, QStringLiteral("recovery/gone.journal.lock"), QByteArray());
    OLRecoveryStore store(dir.filePath(QStringLiteral("recovery")));
    QVERIFY(store.leftBehind().empty());
    QCOMPARE(entriesOf(dir, QStringLiteral("recovery")), QStringList());
}

// A state folder that cannot be made: the text stays in the window and
// the log says why, once.
void TestRecoveryJournal::unwritableFolderIsReportedInTheLog()
{
    QTemporaryDir dir;
    const QString notAFolder = writeBytes(dir, QStringLiteral("state"), "a file");
    OLRecoveryStore store(notAFolder + QStringLiteral("/recovery"));
    OLRecoveryJournal journal(store);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Cannot write the recovery journal")));
    journal.write(QString(), OLSourceFile::fromEditorText(QString()), QStringLiteral("a"), OLFileStamp());
    journal.write(QString(), OLSourceFile::fromEditorText(QString()), QStringLiteral("ab"), OLFileStamp());
    store.waitForDone();
    QCOMPARE(readBytes(notAFolder), QByteArray("a file"));
}

void TestRecoveryJournal::standardFolderFollowsXdgStateHome_data()
{
    QTest::addColumn<QByteArray>("stateHome");
    QTest::addColumn<QString>("folder");

    QTest::newRow("set") << QByteArray("/var/tmp/state") << QStringLiteral("/var/tmp/state/Ostrel/recovery");
    QTest::newRow("unset") << QByteArray() << QDir::homePath() + QStringLiteral("/.local/state/Ostrel/recovery");
    QTest::newRow("relative: ignored") << QByteArray("state")
                                       << QDir::homePath() + QStringLiteral("/.local/state/Ostrel/recovery");
}

void TestRecoveryJournal::standardFolderFollowsXdgStateHome()
{
    QFETCH(QByteArray, stateHome);
    QFETCH(QString, folder);

    const QByteArray old = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", stateHome);
    const QString standard = OLRecoveryStore::standardFolder();
    qputenv("XDG_STATE_HOME", old);
    QCOMPARE(standard, folder);
}

QTEST_GUILESS_MAIN(TestRecoveryJournal)
#include "tst_recoveryjournal.moc"
