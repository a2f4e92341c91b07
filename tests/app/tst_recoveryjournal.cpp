// Recovery journals on their own: the text comes back exactly, the file is
// judged against what it was, locks keep a running Ostrel's journals from
// being offered, unreadable journals stay, and journals are private.
// A killed process leaves its journal and lock file with nobody holding the
// lock; leaveJournalBehind makes that state while the writer lives on.

#include "app/OLFileName.h"
#include "app/OLRecoveryJournal.h"

#include "apptestsupport.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QScopeGuard>

#include <unistd.h>

using Origin = OLRecoveredText::Origin;

class TestRecoveryJournal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textComesBackExactly_data()
    {
        QTest::addColumn<QByteArray>("onDisk"); // none: a document never saved
        QTest::addColumn<QString>("edited");
        QTest::addColumn<QByteArray>("journalled"); // as saving would write it
        QTest::addColumn<QString>("meanwhile");     // what happens to the file before the journal is read
        QTest::addColumn<Origin>("origin");
        QTest::addColumn<QByteArray>("name");
        const QByteArray lf("val x = 1;\n"), sml("source.sml");
        const QString edited = QStringLiteral("val x = 1;\nval y = 2;\n");
        QTest::newRow("CRLF and byte-order mark, touched: same bytes")
            << QByteArray("\xEF\xBB\xBFval x = 1;\r\n") << QStringLiteral("val x = 1;\nval y = 2;")
            << QByteArray("\xEF\xBB\xBFval x = 1;\r\nval y = 2;") << QStringLiteral("touch") << Origin::Unchanged << sml;
        QTest::newRow("mixed line ends, no final newline; appended")
            << QByteArray("a\r\nb\nc") << QStringLiteral("a\nb\nc!") << QByteArray("a\r\nb\nc!") << QStringLiteral("append")
            << Origin::Changed << sml;
        QTest::newRow("NUL and non-ASCII; rewritten: same size, other bytes")
            << QByteArray("x\n") << QStringLiteral("x\n\u00e4") + QChar(0) + QStringLiteral("\U0001F600")
            << QByteArray("x\n\xC3\xA4\0\xF0\x9F\x98\x80", 9) << QStringLiteral("rewrite") << Origin::Changed << sml;
        QTest::newRow("everything deleted; replaced by rename")
            << lf << QString() << QByteArray() << QStringLiteral("rename") << Origin::Changed << sml;
        QTest::newRow("file deleted") << lf << edited << edited.toUtf8() << QStringLiteral("delete") << Origin::Missing << sml;
        QTest::newRow("a folder now") << lf << edited << edited.toUtf8() << QStringLiteral("folder") << Origin::Missing << sml;
        QTest::newRow("untitled") << QByteArray() << edited << edited.toUtf8() << QString() << Origin::Untitled << sml;
        QTest::newRow("file name not UTF-8")
            << lf << edited << edited.toUtf8() << QString() << Origin::Unchanged << QByteArray("\xFF.sml");
    }
    // The file is judged by content: the size and hash of the bytes the edits
    // started from. Saved through the file's form, the text writes the
    // journal's bytes. Only the journal left behind is offered, not the live
    // one, and only to one store at a time; discarding it removes it and its
    // lock.
    void textComesBackExactly()
    {
        QFETCH(QByteArray, onDisk);
        QFETCH(QString, edited);
        QFETCH(QByteArray, journalled);
        QFETCH(QString, meanwhile);
        QFETCH(Origin, origin);
        QFETCH(QByteArray, name);
        QTemporaryDir dir;
        const QString file = onDisk.isEmpty() ? QString() : OLFileName::decode(QFile::encodeName(dir.path()) + '/' + name);
        QString error;
        if (!file.isEmpty())
            writeBytesAt(OLFileName::encode(file), onDisk);
        const auto removal = qScopeGuard([&] { ::unlink(OLFileName::encode(file).constData()); }); // Qt cannot
        OLSourceFile baseline = file.isEmpty() ? OLSourceFile::fromEditorText(QString()) : *OLSourceFile::read(file, &error);
        const OLFileStamp stamp = OLFileStamp::of(file);
        const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-1);
        OLRecoveryStore store(dir.filePath(QStringLiteral("recovery")));
        OLRecoveryJournal journal(store);
        journal.write(file, baseline, edited, stamp);
        store.waitForDone();
        const QString left = leaveJournalBehind(journal.path());
        if (!meanwhile.isEmpty())
            changeFile(meanwhile, file, "y\n");

        const std::vector<OLRecoveredText> texts = store.leftBehind();
        QCOMPARE(texts.size(), size_t(1));
        const OLRecoveredText &text = texts.front();
        QCOMPARE(QFileInfo(text.journal).fileName(), left);
        QCOMPARE(text.origin, origin);
        QCOMPARE(text.file, file);
        QCOMPARE(text.text.bytes(), journalled);
        QCOMPARE(text.text.editorText(), edited);
        QVERIFY(text.written >= before && text.written <= QDateTime::currentDateTimeUtc());
        if (!file.isEmpty()) {
            QCOMPARE(text.fileSize, onDisk.size());
            QCOMPARE(text.fileModified, stamp.modified());
            QCOMPARE(text.fileSha256, QCryptographicHash::hash(onDisk, QCryptographicHash::Sha256));
        }
        baseline.adoptForm(text.text);
        QCOMPARE(baseline.encode(text.text.editorText()), journalled);

        QVERIFY(OLRecoveryStore(store.folder()).leftBehind().empty());
        store.discard(text);
        store.waitForDone();
        const QString live = QFileInfo(journal.path()).fileName();
        QCOMPARE(QDir(store.folder()).entryList(QDir::Files), QStringList({live, live + QStringLiteral(".lock")}));
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
    void unreadableJournalIsLeftAlone_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        const QString journal = QStringLiteral("broken.journal");
        QTest::newRow("garbage") << journal << QByteArray("\x00\xFF garbage", 10);
        QTest::newRow("header not JSON") << journal << QByteArray("OSTREL-RECOVERY-JOURNAL 1\n{file:\n");
        QTest::newRow("text shorter than said") << journal << QByteArray("OSTREL-RECOVERY-JOURNAL 1\n{\"file\":\"\",\"length\":10}\nshort");
        QTest::newRow("text not UTF-8") << journal << QByteArray("OSTREL-RECOVERY-JOURNAL 1\n{\"file\":\"\",\"length\":2}\n\xFF\xFE");
        QTest::newRow("other version") << journal << QByteArray("OSTREL-RECOVERY-JOURNAL 2\n{\"file\":\"\",\"length\":1}\nx");
        QTest::newRow("a lock without its journal") << QStringLiteral("gone.journal.lock") << QByteArray();
    }
    void unreadableJournalIsLeftAlone()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("recovery")));
        const QString path = writeBytes(dir, QStringLiteral("recovery/") + name, content);
        OLRecoveryStore store(dir.filePath(QStringLiteral("recovery")));
        const bool journal = name.endsWith(QStringLiteral(".journal"));
        if (journal)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Cannot read the recovery journal.*broken")));
        QVERIFY(store.leftBehind().empty());
        QCOMPARE(readBytes(path), journal ? content : QByteArray("<unreadable>"));
    }

    void standardFolderFollowsXdgStateHome()
    {
        const QByteArray old = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", "/var/tmp/state");
        const QString set = OLRecoveryStore::standardFolder();
        qputenv("XDG_STATE_HOME", "state"); // relative: ignored
        const QString relative = OLRecoveryStore::standardFolder();
        qputenv("XDG_STATE_HOME", old);
        QCOMPARE(set, QStringLiteral("/var/tmp/state/Ostrel/recovery"));
        QCOMPARE(relative, QDir::homePath() + QStringLiteral("/.local/state/Ostrel/recovery"));
    }
};

QTEST_GUILESS_MAIN(TestRecoveryJournal)
#include "tst_recoveryjournal.moc"
