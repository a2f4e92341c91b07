// Source files: what is read is written back byte for byte, edits keep the
// file's form, and a failed write leaves the old file as it was; file names
// need not be UTF-8; only regular files open.

#include "app/OLFileName.h"
#include "app/OLSourceFile.h"

#include "apptestsupport.h"

#include <sys/wait.h>

class TestSourceFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsAndWritesBack_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("editorText");
        QTest::newRow("NUL byte") << QByteArray("val s = \"a\0b\";\n", 15)
                                  << QStringLiteral("val s = \"a") + QChar(0) + QStringLiteral("b\";\n");
        QTest::newRow("mixed line ends") << QByteArray("a\r\nb\nc\rd\r\n") << QStringLiteral("a\nb\nc\nd\n");
        QTest::newRow("paragraph separator, no final newline") << QByteArray("a\xE2\x80\xA9" "b") << QStringLiteral("a\nb");
        QTest::newRow("CR at the very end") << QByteArray("a\r\nb\r") << QStringLiteral("a\nb\n");
        QTest::newRow("empty file") << QByteArray() << QString();
        QTest::newRow("byte-order mark only") << QByteArray("\xEF\xBB\xBF") << QString();
        QTest::newRow("a second byte-order mark is text")
            << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx") << QStringLiteral("\uFEFFx");
        QTest::newRow("non-ASCII")
            << QByteArray("val s = \"\xC3\xA4\xF0\x9F\x98\x80\";\r\n") << QStringLiteral("val s = \"ä😀\";\n");
        // The text view shows these two as line breaks.
        QTest::newRow("U+FDD0, U+FDD1 among CRLF") << QStringLiteral("a\uFDD0b\r\nc\uFDD1\r\n").toUtf8()
                                                 << QStringLiteral("a\nb\nc\n\n");
        for (const char32_t c : {0xFDD2, 0xFDEF, 0xFFFE, 0xFFFF, 0x1FFFE, 0x10FFFF, 0xFEFF, 0x2028}) {
            const QString text = QStringLiteral("x") + QString::fromUcs4(&c, 1) + QStringLiteral("y\n");
            QTest::addRow("U+%04X", unsigned(c)) << text.toUtf8() << text;
        }
    }
    void readsAndWritesBack()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, editorText);
        QTemporaryDir dir;
        const QString path = writeBytes(dir, QStringLiteral("source.sml"), bytes);
        QString error;
        const std::optional<OLSourceFile> source = OLSourceFile::read(path, &error);
        QVERIFY2(source, qPrintable(error));
        QCOMPARE(source->editorText(), editorText);
        QVERIFY(!source->isEdited(editorText));
        // Text added at the end without a line break grows the file by its UTF-8.
        const QString added = QStringLiteral(" (* ü *)");
        QVERIFY(source->isEdited(editorText + added));
        QCOMPARE(source->encode(editorText + added), bytes + added.toUtf8());
        QVERIFY2(OLSourceFile::write(path, source->encode(editorText), &error), qPrintable(error));
        QCOMPARE(readBytes(path), bytes);
    }

    void refusesWhatIsNoText_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // or "/": a folder, "|": a named pipe, a device's path
        QTest::addColumn<QString>("error");
        const QString notUtf8 = QStringLiteral("The file is not valid UTF-8 text.");
        QTest::newRow("Latin-1") << QByteArray("val s = \"\xE4\";\n") << notUtf8;
        QTest::newRow("truncated at the end") << QByteArray("val s = \"\xE2\x82") << notUtf8;
        QTest::newRow("invalid after a byte-order mark") << QByteArray("\xEF\xBB\xBF\xFF") << notUtf8;
        QTest::newRow("a folder") << QByteArray("/") << QStringLiteral("It is a folder, not a file.");
        // Refused at once, without waiting for a writer or reading for ever.
        QTest::newRow("a named pipe") << QByteArray("|") << QStringLiteral("It is a named pipe (FIFO), not a regular file.");
        QTest::newRow("a device") << QByteArray("/dev/zero") << QStringLiteral("It is a device, not a regular file.");
    }
    void refusesWhatIsNoText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QString path = bytes == "/" ? dir.path() : bytes.startsWith('/') ? QString::fromLatin1(bytes) : dir.filePath("bad.sml");
        if (bytes == "|")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (!bytes.startsWith('/'))
            writeBytes(dir, QStringLiteral("bad.sml"), bytes);
        QString reason;
        QVERIFY(!OLSourceFile::read(path, &reason));
        QVERIFY2(reason == error || reason.contains(error), qPrintable(reason));
    }

    void editsKeepLineEnds_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("removed");
        QTest::addColumn<QString>("edited");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray mixed("a\r\nb\nc\rd\r\n"); // lines ending CRLF, LF, CR, CRLF
        QTest::newRow("break in the LF line takes LF")
            << mixed << 1 << 0 << QStringLiteral("a\nb1\nb2\nc\nd\n") << QByteArray("a\r\nb1\nb2\nc\rd\r\n");
        QTest::newRow("break in the CR line takes CR")
            << mixed << 2 << 0 << QStringLiteral("a\nb\nc1\nc2\nd\n") << QByteArray("a\r\nb\nc1\rc2\rd\r\n");
        QTest::newRow("joined lines keep the second end")
            << mixed << 0 << 1 << QStringLiteral("ab\nc\nd\n") << QByteArray("ab\nc\rd\r\n");
        QTest::newRow("new last line takes the dominant end")
            << mixed << 4 << 0 << QStringLiteral("a\nb\nc\nd\ne\n") << QByteArray("a\r\nb\nc\rd\r\ne\r\n");
        QTest::newRow("dominant: a tie goes to LF")
            << QByteArray("a\r\nb\n") << 2 << 0 << QStringLiteral("a\nb\nc\n") << QByteArray("a\r\nb\nc\n");
        QTest::newRow("dominant: no line end yet is LF")
            << QByteArray("x") << 0 << 0 << QStringLiteral("x\ny") << QByteArray("x\ny");
        QTest::newRow("byte-order mark stays")
            << QByteArray("\xEF\xBB\xBFx\ny") << 0 << 1 << QStringLiteral("xy") << QByteArray("\xEF\xBB\xBFxy");
    }
    void editsKeepLineEnds()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, line);
        QFETCH(int, removed);
        QFETCH(QString, edited);
        QFETCH(QByteArray, expected);
        QString error;
        std::optional<OLSourceFile> source = OLSourceFile::fromBytes(bytes, &error);
        QVERIFY(source);
        source->lineEnds().replace(line, removed, edited.count(u'\n') - source->editorText().count(u'\n') + removed);
        QCOMPARE(source->encode(edited), expected);
        // Saved, the edited text is the new unedited state.
        source->noteSaved(edited, expected);
        QVERIFY(!source->isEdited(edited));
        QCOMPARE(source->encode(edited), expected);
    }

    // Written through a link: the link stays a link, the file keeps its mode.
    void writeKeepsLinkAndPermissions_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("group readable (0640)") << 0640;
        QTest::newRow("executable script (0755)") << 0755;
    }
    void writeKeepsLinkAndPermissions()
    {
        QFETCH(int, mode);
        QTemporaryDir dir;
        const QString target = writeBytes(dir, QStringLiteral("target.sml"), "old\n");
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), mode_t(mode)), 0);
        const QString link = dir.filePath(QStringLiteral("link.sml"));
        QVERIFY(QFile::link(target, link));
        QString error;
        QVERIFY2(OLSourceFile::write(link, "new\n", &error), qPrintable(error));
        QCOMPARE(QFileInfo(link).symLinkTarget(), target);
        QCOMPARE(readBytes(target), QByteArray("new\n"));
        QCOMPARE(int(modeOf(target)), mode);
        QCOMPARE(entriesOf(dir), QStringList({QStringLiteral("link.sml"), QStringLiteral("target.sml")}));
    }

    // The error says why; the old file and its folder are as they were, with
    // no temporary file left behind.
    void failedWriteLeavesOldFile_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("disk full (file size limit)") << QStringLiteral("disk full") << QStringLiteral("File too large");
        QTest::newRow("read-only file") << QStringLiteral("read-only file") << QStringLiteral("not writable");
        QTest::newRow("read-only folder") << QStringLiteral("read-only folder") << QStringLiteral("Permission denied");
        QTest::newRow("folder in place of the file") << QStringLiteral("folder in place") << QStringLiteral("directory");
        QTest::newRow("below a file, not a folder") << QStringLiteral("not a folder") << QStringLiteral("Not a directory");
    }
    void failedWriteLeavesOldFile()
    {
        QFETCH(QString, fault);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("folder"));
        QVERIFY(QDir().mkdir(folder));
        const QString old = writeBytes(dir, QStringLiteral("folder/old.sml"), "old\n");
        QString path = old;
        std::optional<FileSizeLimit> limit;
        if (fault == u"disk full") {
            limit.emplace(100);
        } else if (fault == u"read-only file") {
            QVERIFY(QFile::setPermissions(old, QFile::ReadOwner));
            SKIP_WHEN_PERMISSIONS_DO_NOT_APPLY(old);
        } else if (fault == u"read-only folder") {
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
            SKIP_WHEN_PERMISSIONS_DO_NOT_APPLY(folder);
        } else if (fault == u"folder in place") {
            QVERIFY(QFile::remove(old) && QDir().mkdir(old));
        } else {
            path = old + QStringLiteral("/new.sml");
        }
        QString error;
        const bool written = OLSourceFile::write(path, QByteArray(5000, 'x'), &error);
        limit.reset();
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!written);
        QVERIFY2(error.contains(reason), qPrintable(error));
        QCOMPARE(entriesOf(dir, QStringLiteral("folder")), QStringList(QStringLiteral("old.sml")));
        if (fault == u"folder in place")
            QCOMPARE(entriesOf(dir, QStringLiteral("folder/old.sml")), QStringList());
        else
            QCOMPARE(readBytes(old), QByteArray("old\n"));
    }

    // A write beyond the file-size limit fails with its reason, in a child
    // that has SIGXFSZ as a program gets it: the signal would end it.
    void fileSizeLimitFailsTheWriteNotTheProgram()
    {
        QTemporaryDir dir;
        const QString path = writeBytes(dir, QStringLiteral("old.sml"), "old\n");
        const pid_t child = ::fork();
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_DFL);
            rlimit limit;
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = 100;
            ::setrlimit(RLIMIT_FSIZE, &limit);
            QString error;
            const bool written = OLSourceFile::write(path, QByteArray(5000, 'x'), &error);
            ::_exit(written ? 1 : error == u"File too large" ? 0 : 2);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFEXITED(status), "ended by a signal");
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(readBytes(path), QByteArray("old\n"));
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
};

QTEST_GUILESS_MAIN(TestSourceFile)
#include "tst_sourcefile.moc"
