// Recovery journals on their own: the text comes back exactly, the file is
// judged against what it was, locks keep a running Ostrel's journals from
// being offered, unreadable journals stay, and journals are private.
//
// A killed process leaves its journal and lock file with nobody holding the
// lock; leaveJournalBehind makes that state while the writer lives on.
// tst_recovery kills real processes.

#include "app/OLFileName.h"
#include "app/OLRecoveryJournal.h"

#include "apptestsupport.h"

#include <QCryptographicHash>
#include <QRegularExpression>

using Origin = OLRecoveredText::Origin;

namespace {
// A store with one journal, for a file with these bytes (none: untitled).
OLSourceFile sourceOf(const QString &file) // none: untitled
{
    QString error;
    return file.isEmpty() ? OLSourceFile::fromEditorText(QString()) : *OLSourceFile::read(file, &error);
}

struct Journalled {
    explicit Journalled(const QByteArray &onDisk = QByteArray(), const QByteArray &name = "source.sml")
        : file(onDisk.isEmpty() ? QString() : OLFileName::decode(QFile::encodeName(dir.path()) + '/' + name))
    {
        if (!file.isEmpty())
            writeBytesAt(OLFileName::encode(file), onDisk);
    }
    // Qt cannot remove a file whose name is not UTF-8.
    ~Journalled() { ::unlink(OLFileName::encode(file).constData()); }
    // Journals the text as its window would and leaves the journal behind.
    void leaveBehind(const QString &text)
    {
        journal.write(file, sourceOf(file), text, OLFileStamp::of(file));
        store.waitForDone();
        leaveJournalBehind(journal.path());
    }

    QTemporaryDir dir;
    QString file;
    OLRecoveryStore store{dir.filePath(QStringLiteral("recovery"))};
    OLRecoveryJournal journal{store};
};

struct TextCase {
    QByteArray onDisk;     // none: a document never saved
    QString edited;        // the editor's text
    QByteArray journalled; // as saving would write it
    QString meanwhile;     // what happens to the file before the journal is read
    Origin origin;
    QByteArray name = "source.sml";
};
} // namespace
Q_DECLARE_METATYPE(TextCase)

class TestRecoveryJournal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textComesBackExactly_data()
    {
        QTest::addColumn<TextCase>("c");
        const QByteArray lf("val x = 1;\n");
        const QString edited = QStringLiteral("val x = 1;\nval y = 2;\n");
        QTest::newRow("LF file, untouched") << TextCase{lf, edited, edited.toUtf8(), {}, Origin::Unchanged};
        QTest::newRow("CRLF and byte-order mark, touched: same bytes")
            << TextCase{"\xEF\xBB\xBFval x = 1;\r\n", QStringLiteral("val x = 1;\nval y = 2;"),
                        "\xEF\xBB\xBFval x = 1;\r\nval y = 2;", QStringLiteral("touch"), Origin::Unchanged};
        QTest::newRow("mixed line ends, no final newline; appended")
            << TextCase{"a\r\nb\nc", QStringLiteral("a\nb\nc!"), "a\r\nb\nc!", QStringLiteral("append"), Origin::Changed};
        QTest::newRow("NUL and non-ASCII; rewritten: same size, other bytes")
            << TextCase{"x\n", QStringLiteral("x\n\u00e4") + QChar(0) + QStringLiteral("\U0001F600"),
                        QByteArray("x\n\xC3\xA4\0\xF0\x9F\x98\x80", 9), QStringLiteral("rewrite"), Origin::Changed};
        QTest::newRow("everything deleted; replaced by rename")
            << TextCase{lf, QString(), QByteArray(), QStringLiteral("rename"), Origin::Changed};
        QTest::newRow("file deleted") << TextCase{lf, edited, edited.toUtf8(), QStringLiteral("delete"), Origin::Missing};
        QTest::newRow("a folder now") << TextCase{lf, edited, edited.toUtf8(), QStringLiteral("folder"), Origin::Missing};
        QTest::newRow("untitled") << TextCase{{}, QStringLiteral("fun f x = x;\n"), "fun f x = x;\n", {}, Origin::Untitled};
        QTest::newRow("file name not UTF-8")
            << TextCase{lf, edited, edited.toUtf8(), {}, Origin::Unchanged, "\xFF.sml"};
    }
    // The file is judged by content: the size and hash of the bytes the edits
    // started from. Saved through the file's form, the text writes the
    // journal's bytes.
    void textComesBackExactly()
    {
        QFETCH(TextCase, c);
        Journalled j(c.onDisk, c.name);
        const OLFileStamp stamp = OLFileStamp::of(j.file);
        const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-1);
        j.leaveBehind(c.edited);
        OLSourceFile baseline = sourceOf(j.file);
        if (!c.meanwhile.isEmpty())
            changeFile(c.meanwhile, j.file, "y\n");
        const std::vector<OLRecoveredText> texts = j.store.leftBehind();
        QCOMPARE(texts.size(), size_t(1));
        const OLRecoveredText &text = texts.front();
        QCOMPARE(text.origin, c.origin);
        QCOMPARE(text.file, j.file);
        QCOMPARE(text.text.bytes(), c.journalled);
        QCOMPARE(text.text.editorText(), c.edited);
        QVERIFY(text.written >= before && text.written <= QDateTime::currentDateTimeUtc());
        if (!j.file.isEmpty()) {
            QCOMPARE(text.fileSize, c.onDisk.size());
            QCOMPARE(text.fileModified, stamp.modified());
            QCOMPARE(text.fileSha256, QCryptographicHash::hash(c.onDisk, QCryptographicHash::Sha256));
        }
        baseline.adoptForm(text.text);
        QCOMPARE(baseline.encode(text.text.editorText()), c.journalled);
    }

    // A journal whose writer runs holds its lock: of the live journal and the
    // one left behind, only the latter is offered, and only to one store at a
    // time. Discarding it removes it and its lock, not the live one.
    void liveJournalIsNotOfferedAndDiscardRemovesTheLeftOne()
    {
        Journalled j;
        j.leaveBehind(QStringLiteral("typed"));
        const std::vector<OLRecoveredText> texts = j.store.leftBehind();
        QCOMPARE(journalsIn(j.store.folder()).size(), 2);
        QCOMPARE(texts.size(), size_t(1));
        QVERIFY(OLRecoveryStore(j.store.folder()).leftBehind().empty());
        j.store.discard(texts.front());
        j.store.waitForDone();
        const QString live = QFileInfo(j.journal.path()).fileName();
        QCOMPARE(QDir(j.store.folder()).entryList(QDir::Files), QStringList({live, live + QStringLiteral(".lock")}));
    }

    // A journal is private, written again or not. Its writer's end (a save,
    // a close) removes it, after the writes queued before.
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
        QCOMPARE(QDir(store.folder()).entryList(QDir::Files | QDir::Hidden), QStringList());
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
        QTest::newRow("text shorter than said")
            << journal << QByteArray("OSTREL-RECOVERY-JOURNAL 1\n{\"file\":\"\",\"length\":10}\nshort");
        QTest::newRow("text not UTF-8")
            << journal << QByteArray("OSTREL-RECOVERY-JOURNAL 1\n{\"file\":\"\",\"length\":2}\n\xFF\xFE");
        QTest::newRow("other version")
            << journal << QByteArray("OSTREL-RECOVERY-JOURNAL 2\n{\"file\":\"\",\"length\":1}\nx");
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
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("Cannot read the recovery journal.*broken")));
        QVERIFY(store.leftBehind().empty());
        if (journal)
            QCOMPARE(readBytes(path), content);
        else
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
