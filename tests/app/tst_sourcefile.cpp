// Source files: what is read is written back byte for byte, edits keep the
// file's form, and a failed write leaves the old file as it was; file names
// need not be UTF-8; only regular files open.

#include "app/OLFileName.h"
#include "app/OLSourceFile.h"

#include "apptestsupport.h"

#include <unistd.h>

class TestSourceFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsAndWritesBack_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("editorText");
        QTest::newRow("NUL byte") << QByteArray("a\0b\n", 4) << QStringLiteral("a") + QChar(0) + QStringLiteral("b\n");
        QTest::newRow("mixed line ends") << QByteArray("a\r\nb\nc\rd\r\n") << QStringLiteral("a\nb\nc\nd\n");
        QTest::newRow("paragraph separator, no final newline") << QByteArray("a\xE2\x80\xA9" "b") << QStringLiteral("a\nb");
        QTest::newRow("CR at the very end") << QByteArray("a\r\nb\r") << QStringLiteral("a\nb\n");
        QTest::newRow("byte-order mark only") << QByteArray("\xEF\xBB\xBF") << QString();
        QTest::newRow("a second byte-order mark is text") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx") << QStringLiteral("\uFEFFx");
        // The text view shows these two as line breaks.
        QTest::newRow("U+FDD0, U+FDD1 among CRLF") << QStringLiteral("a\uFDD0b\r\nc\uFDD1\r\n").toUtf8() << QStringLiteral("a\nb\nc\n\n");
        for (const char32_t c : {0xFDD2, 0xFFFE, 0x10FFFF, 0x2028}) {
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
        // Text added at the end without a line break grows the file by its UTF-8.
        const QString added = QStringLiteral(" (* ü *)");
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
        QString path = bytes == "/" ? dir.path() : bytes.startsWith('/') ? QString::fromLatin1(bytes) : dir.filePath("bad");
        if (bytes == "|")
            changeFile(QStringLiteral("fifo"), writeBytes(dir, QStringLiteral("bad"), {}));
        else if (!bytes.startsWith('/'))
            writeBytes(dir, QStringLiteral("bad"), bytes);
        QString reason;
        QVERIFY(!OLSourceFile::read(path, &reason));
        QCOMPARE(reason, error);
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
        QTest::newRow("byte-order mark stays")
            << QByteArray("\xEF\xBB\xBFx\ny") << 0 << 1 << QStringLiteral("xy") << QByteArray("\xEF\xBB\xBFxy");
    }
    // Saved, the edited text is the new unedited state.
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
        source->noteSaved(edited, expected);
        QVERIFY(!source->isEdited(edited));
        QCOMPARE(source->encode(edited), expected);
    }

    void writes_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("error"); // none: written
        QTest::newRow("through a link, group readable") << QStringLiteral("link 0640") << QString();
        QTest::newRow("through a link, executable script") << QStringLiteral("link 0755") << QString();
        // SIGXFSZ is left at its default: the write must not end the program.
        QTest::newRow("disk full (file size limit)") << QStringLiteral("disk full") << QStringLiteral("File too large");
        QTest::newRow("read-only file") << QStringLiteral("read-only") << QStringLiteral("The file is not writable.");
        QTest::newRow("folder in place of the file") << QStringLiteral("folder") << QStringLiteral("Is a directory");
        QTest::newRow("below a file, not a folder") << QStringLiteral("below") << QStringLiteral("Not a directory");
    }
    // A link stays a link, the file keeps its mode. A failed write says why,
    // and leaves the old file and its folder as they were, with no temporary
    // file behind.
    void writes()
    {
        QFETCH(QString, fault);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString old = writeBytes(dir, QStringLiteral("old.sml"), "old\n");
        QString path = old;
        const mode_t mode = fault == u"read-only" ? 0400 : fault.startsWith(u"link") ? fault.mid(5).toUInt(nullptr, 8) : 0644;
        QCOMPARE(::chmod(QFile::encodeName(old).constData(), mode), 0);
        if (fault == u"read-only" && ::access(QFile::encodeName(old).constData(), W_OK) == 0)
            QSKIP("read-only permissions do not stop this user's writes (running as root)");
        if (fault.startsWith(u"link"))
            QVERIFY(QFile::link(old, path = dir.filePath(QStringLiteral("link.sml"))));
        else if (fault == u"folder")
            changeFile(fault, old);
        else if (fault == u"below")
            path = old + QStringLiteral("/new.sml");
        std::optional<FileSizeLimit> limit;
        if (fault == u"disk full") {
            limit.emplace(100);
            std::signal(SIGXFSZ, SIG_DFL);
        }
        QString reason;
        const bool written = OLSourceFile::write(path, QByteArray(5000, 'x'), &reason);
        limit.reset();
        QCOMPARE(reason, error);
        QCOMPARE(written, error.isEmpty());
        QCOMPARE(entriesOf(dir.path()).join(u' '), written ? "link.sml old.sml" : "old.sml");
        QCOMPARE(modeOf(old), fault == u"folder" ? mode_t(0700) : mode);
        QVERIFY(fault == u"folder" || QFileInfo(path).isSymLink() == written);
        QVERIFY(fault == u"folder" || readBytes(old) == (written ? QByteArray(5000, 'x') : "old\n"));
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
