// Recovery journals on their own: the text comes back exactly, the file is
// judged against what it was, locks keep a running Ostrel's journals from
// being offered, unreadable journals stay, and journals are private.
//
// A killed process leaves its journal and lock file with nobody holding the
// lock; leaveJournalBehind makes that state while the writer lives on.
// tst_recovery kills real processes.

#include "app/OLRecoveryJournal.h"

#include "apptestsupport.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace {
// A store, and one journal in it written for a file with these bytes (none:
// an untitled document).
struct Journalled {
    explicit Journalled(const QByteArray &onDisk = QByteArray())
        : file(onDisk.isEmpty() ? QString() : writeBytes(dir, QStringLiteral("source.sml"), onDisk))
    {
    }

    void write(const QString &text)
    {
        QString error;
        const OLSourceFile source = file.isEmpty() ? OLSourceFile::fromEditorText(QString()) : *OLSourceFile::read(file, &error);
        journal.write(file, source, text, OLFileStamp::of(file));
        store.waitForDone();
    }
    std::vector<OLRecoveredText> leftBehind(const QString &text)
    {
        write(text);
        leaveJournalBehind(journal.path());
        return store.leftBehind();
    }

    QTemporaryDir dir;
    QString file;
    OLRecoveryStore store{dir.filePath(QStringLiteral("recovery"))};
    OLRecoveryJournal journal{store};
};
} // namespace

class TestRecoveryJournal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textComesBackExactly_data()
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

    void textComesBackExactly()
    {
        QFETCH(QByteArray, onDisk);
        QFETCH(QString, edited);
        QFETCH(QByteArray, journalled);

        Journalled j(onDisk);
        const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-1);
        const std::vector<OLRecoveredText> texts = j.leftBehind(edited);
        QCOMPARE(texts.size(), size_t(1));
        const OLRecoveredText &text = texts.front();
        QCOMPARE(text.file, j.file);
        QCOMPARE(text.text.bytes(), journalled);
        QCOMPARE(text.text.editorText(), edited);
        QCOMPARE(text.origin, j.file.isEmpty() ? OLRecoveredText::Origin::Untitled : OLRecoveredText::Origin::Unchanged);
        QVERIFY(text.written >= before && text.written <= QDateTime::currentDateTimeUtc());
        if (!j.file.isEmpty()) {
            QCOMPARE(text.fileSize, onDisk.size());
            QCOMPARE(text.fileModified, OLFileStamp::of(j.file).modified());
            QCOMPARE(text.fileSha256, QCryptographicHash::hash(onDisk, QCryptographicHash::Sha256));
        }
        // Saved through the file's own form, the recovered text writes the journal's bytes.
        QString error;
        OLSourceFile baseline = j.file.isEmpty() ? OLSourceFile::fromEditorText(QString()) : *OLSourceFile::read(j.file, &error);
        baseline.adoptForm(text.text);
        QCOMPARE(baseline.encode(text.text.editorText()), journalled);
    }

    void originOfTheFile_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<OLRecoveredText::Origin>("origin");

        QTest::newRow("touched, same bytes") << QStringLiteral("touch") << OLRecoveredText::Origin::Unchanged;
        QTest::newRow("appended") << QStringLiteral("append") << OLRecoveredText::Origin::Changed;
        QTest::newRow("same size, other bytes") << QStringLiteral("same size") << OLRecoveredText::Origin::Changed;
        QTest::newRow("replaced by rename") << QStringLiteral("rename") << OLRecoveredText::Origin::Changed;
        QTest::newRow("deleted") << QStringLiteral("delete") << OLRecoveredText::Origin::Missing;
        QTest::newRow("a folder now") << QStringLiteral("folder") << OLRecoveredText::Origin::Missing;
    }

    // Judged by content: the size and hash of the bytes the edits started from.
    void originOfTheFile()
    {
        QFETCH(QString, change);
        QFETCH(OLRecoveredText::Origin, origin);

        Journalled j("val x = 1;\n");
        j.write(QStringLiteral("val x = 2;\n"));
        leaveJournalBehind(j.journal.path());
        QFile file(j.file);
        if (change == u"touch") {
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(60), QFileDevice::FileModificationTime));
        } else if (change == u"append") {
            QVERIFY(file.open(QIODevice::Append) && file.write("val y = 2;\n") > 0);
        } else if (change == u"same size") {
            writeBytes(j.dir, QStringLiteral("source.sml"), "val x = 9;\n");
        } else if (change == u"rename") {
            const QString replacement = writeBytes(j.dir, QStringLiteral("new.sml"), "val z = 3;\n");
            QCOMPARE(::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(j.file).constData()), 0);
        } else {
            QVERIFY(file.remove());
            if (change == u"folder")
                QVERIFY(QDir().mkdir(j.file));
        }
        file.close();

        const std::vector<OLRecoveredText> texts = j.store.leftBehind();
        QCOMPARE(texts.size(), size_t(1));
        QCOMPARE(texts.front().origin, origin);
        QCOMPARE(texts.front().text.editorText(), QStringLiteral("val x = 2;\n"));
    }

    // A journal whose writer runs holds its lock: of the live journal and the one
    // left behind, only the latter is offered, and only to one store at a time.
    // Discarding it removes it and its lock, not the live one.
    void liveJournalIsNotOfferedAndDiscardRemovesTheLeftOne()
    {
        Journalled j;
        const std::vector<OLRecoveredText> texts = j.leftBehind(QStringLiteral("typed"));
        QCOMPARE(journalsIn(j.store.folder()).size(), 2);
        QCOMPARE(texts.size(), size_t(1));
        QVERIFY(OLRecoveryStore(j.store.folder()).leftBehind().empty());
        j.store.discard(texts.front());
        j.store.waitForDone();
        QCOMPARE(QDir(j.store.folder()).entryList(QDir::Files),
                 QStringList({QFileInfo(j.journal.path()).fileName(), QFileInfo(j.journal.path()).fileName() + QStringLiteral(".lock")}));
    }

    void journalIsPrivate()
    {
        QTemporaryDir dir;
        const mode_t oldMask = ::umask(0);
        OLRecoveryStore store(dir.filePath(QStringLiteral("state/recovery")));
        OLRecoveryJournal journal(store);
        for (const QString &text : {QStringLiteral("secret"), QStringLiteral("written again")}) {
            journal.write(QString(), OLSourceFile::fromEditorText(QString()), text, OLFileStamp());
            store.waitForDone();
            QCOMPARE(modeOf(journal.path()), mode_t(0600));
        }
        ::umask(oldMask);
        QCOMPARE(modeOf(journal.path() + QStringLiteral(".lock")), mode_t(0600));
        QCOMPARE(modeOf(store.folder()), mode_t(0700));
    }

    // Its writer's end (a save, a close) removes the journal, after the writes
    // queued before.
    void journalEndsWithItsWriter()
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

    void unreadableJournalIsLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("content");

        QTest::newRow("garbage") << QByteArray("\x00\xFF garbage", 10);
        QTest::newRow("header only") << QByteArray("OSTREL-RECOVERY-JOURNAL 1\n");
        QTest::newRow("header not JSON") << QByteArray("OSTREL-RECOVERY-JOURNAL 1\n{file:\n");
        QTest::newRow("text shorter than said") << QByteArray("OSTREL-RECOVERY-JOURNAL 1\n{\"file\":\"\",\"length\":10}\nshort");
        QTest::newRow("text not UTF-8") << QByteArray("OSTREL-RECOVERY-JOURNAL 1\n{\"file\":\"\",\"length\":2}\n\xFF\xFE");
        QTest::newRow("other version") << QByteArray("OSTREL-RECOVERY-JOURNAL 2\n{\"file\":\"\",\"length\":1}\nx");
    }

    // It may still hold the user's text: it stays for the user to look at.
    void unreadableJournalIsLeftAlone()
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

    void lockWithoutJournalIsRemoved()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("recovery")));
        writeBytes(dir, QStringLiteral("recovery/gone.journal.lock"), QByteArray());
        OLRecoveryStore store(dir.filePath(QStringLiteral("recovery")));
        QVERIFY(store.leftBehind().empty());
        QCOMPARE(entriesOf(dir, QStringLiteral("recovery")), QStringList());
    }

    // A state folder that cannot be made: the log says why, once.
    void unwritableFolderIsReportedInTheLog()
    {
        QTemporaryDir dir;
        const QString notAFolder = writeBytes(dir, QStringLiteral("state"), "a file");
        OLRecoveryStore store(notAFolder + QStringLiteral("/recovery"));
        OLRecoveryJournal journal(store);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Cannot write the recovery journal")));
        QTest::failOnWarning(QRegularExpression(QStringLiteral("recovery journal")));
        journal.write(QString(), OLSourceFile::fromEditorText(QString()), QStringLiteral("a"), OLFileStamp());
        journal.write(QString(), OLSourceFile::fromEditorText(QString()), QStringLiteral("ab"), OLFileStamp());
        store.waitForDone();
        QCOMPARE(readBytes(notAFolder), QByteArray("a file"));
    }

    void standardFolderFollowsXdgStateHome_data()
    {
        QTest::addColumn<QByteArray>("stateHome");
        QTest::addColumn<QString>("folder");

        const QString fallback = QDir::homePath() + QStringLiteral("/.local/state/Ostrel/recovery");
        QTest::newRow("set") << QByteArray("/var/tmp/state") << QStringLiteral("/var/tmp/state/Ostrel/recovery");
        QTest::newRow("unset") << QByteArray() << fallback;
        QTest::newRow("relative: ignored") << QByteArray("state") << fallback;
    }

    void standardFolderFollowsXdgStateHome()
    {
        QFETCH(QByteArray, stateHome);
        QFETCH(QString, folder);

        const QByteArray old = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", stateHome);
        const QString standard = OLRecoveryStore::standardFolder();
        qputenv("XDG_STATE_HOME", old);
        QCOMPARE(standard, folder);
    }
};

QTEST_GUILESS_MAIN(TestRecoveryJournal)
#include "tst_recoveryjournal.moc"
