// Reading and writing source files: what is read is written back byte for
// byte, edits keep the form of the file, and a failed write leaves the old
// file as it was.

#include "app/OLSourceFile.h"

#include "apptestsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TestSourceFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsAndWritesBack_data();
    void readsAndWritesBack();
    void refusesInvalidUtf8_data();
    void refusesInvalidUtf8();
    void refusesUnreadableFile();
    void editsKeepLineEnds_data();
    void editsKeepLineEnds();
    void dominantLineEnd_data();
    void dominantLineEnd();
    void writeKeepsLinkAndPermissions();
    void failedWriteLeavesOldFile_data();
    void failedWriteLeavesOldFile();
    void shortWriteIsAFailure();
};

void TestSourceFile::readsAndWritesBack_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("editorText");

    QTest::newRow("LF") << QByteArray("val x = 1;\nval y = 2;\n") << QStringLiteral("val x = 1;\nval y = 2;\n");
    QTest::newRow("CRLF") << QByteArray("val x = 1;\r\nval y = 2;\r\n") << QStringLiteral("val x = 1;\nval y = 2;\n");
    QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBFval x = 1;\n") << QStringLiteral("val x = 1;\n");
    QTest::newRow("no final newline") << QByteArray("val x = 1;\nval y = 2;") << QStringLiteral("val x = 1;\nval y = 2;");
    QTest::newRow("NUL byte") << QByteArray("val s = \"a\0b\";\n", 15) << QStringLiteral("val s = \"a") + QChar(0) + QStringLiteral("b\";\n");
    QTest::newRow("mixed line ends") << QByteArray("a\r\nb\nc\rd\r\n") << QStringLiteral("a\nb\nc\nd\n");
    QTest::newRow("CR only") << QByteArray("a\rb\r") << QStringLiteral("a\nb\n");
    QTest::newRow("paragraph separator") << QByteArray("a\xE2\x80\xA9" "b") << QStringLiteral("a\nb");
    QTest::newRow("CR at the very end") << QByteArray("a\r\nb\r") << QStringLiteral("a\nb\n");
    QTest::newRow("empty file") << QByteArray() << QString();
    QTest::newRow("byte-order mark only") << QByteArray("\xEF\xBB\xBF") << QString();
    QTest::newRow("second byte-order mark is text") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx") << QStringLiteral("\uFEFFx");
    QTest::newRow("non-ASCII") << QByteArray("val s = \"\xC3\xA4\xF0\x9F\x98\x80\";\r\n") << QStringLiteral("val s = \"ä😀\";\n");
}

void TestSourceFile::readsAndWritesBack()
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
    QCOMPARE(source->encode(editorText), bytes);

    // Text added at the end, without a line break, touches no line end: the
    // file grows by exactly its UTF-8 bytes.
    const QString added = QStringLiteral(" (* ü *)");
    QVERIFY(source->isEdited(editorText + added));
    QCOMPARE(source->encode(editorText + added), bytes + added.toUtf8());

    QVERIFY2(OLSourceFile::write(path, source->encode(editorText), &error), qPrintable(error));
    QCOMPARE(readBytes(path), bytes);
}

void TestSourceFile::refusesInvalidUtf8_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("Latin-1") << QByteArray("val s = \"\xE4\";\n");
    QTest::newRow("overlong NUL") << QByteArray("a\xC0\x80");
    QTest::newRow("encoded surrogate") << QByteArray("a\xED\xA0\x80");
    QTest::newRow("beyond U+10FFFF") << QByteArray("a\xF4\x90\x80\x80");
    QTest::newRow("lone continuation byte") << QByteArray("a\x80z");
    QTest::newRow("truncated at the end") << QByteArray("val s = \"\xE2\x82");
    QTest::newRow("invalid after a byte-order mark") << QByteArray("\xEF\xBB\xBF\xFF");
    QTest::newRow("UTF-16") << QByteArray("\xFF\xFEv\0a\0l\0", 8);
}

void TestSourceFile::refusesInvalidUtf8()
{
    QFETCH(QByteArray, bytes);

    QTemporaryDir dir;
    QString error;
    QVERIFY(!OLSourceFile::read(writeBytes(dir, QStringLiteral("bad.sml"), bytes), &error));
    QCOMPARE(error, QStringLiteral("The file is not valid UTF-8 text."));
}

void TestSourceFile::refusesUnreadableFile()
{
    QTemporaryDir dir;
    QString error;
    QVERIFY(!OLSourceFile::read(dir.filePath(QStringLiteral("missing.sml")), &error));
    QVERIFY(error.contains(QStringLiteral("No such file")));
    QVERIFY(!OLSourceFile::read(dir.path(), &error));
    QVERIFY(!error.isEmpty());
}

void TestSourceFile::editsKeepLineEnds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("removed");
    QTest::addColumn<QString>("edited");
    QTest::addColumn<QByteArray>("expected");

    // Lines a, b, c, d ending CRLF, LF, CR, CRLF.
    const QByteArray mixed("a\r\nb\nc\rd\r\n");
    QTest::newRow("break in the LF line takes LF") << mixed << 1 << 0 << QStringLiteral("a\nb1\nb2\nc\nd\n")
                                                    << QByteArray("a\r\nb1\nb2\nc\rd\r\n");
    QTest::newRow("break in the CR line takes CR") << mixed << 2 << 0 << QStringLiteral("a\nb\nc1\nc2\nd\n")
                                                    << QByteArray("a\r\nb\nc1\rc2\rd\r\n");
    QTest::newRow("joined lines keep the second end") << mixed << 0 << 1 << QStringLiteral("ab\nc\nd\n")
                                                       << QByteArray("ab\nc\rd\r\n");
    QTest::newRow("new last line takes the dominant end") << mixed << 4 << 0 << QStringLiteral("a\nb\nc\nd\ne\n")
                                                           << QByteArray("a\r\nb\nc\rd\r\ne\r\n");
    QTest::newRow("CRLF file stays CRLF") << QByteArray("x\r\ny") << 1 << 0 << QStringLiteral("x\ny\nz")
                                          << QByteArray("x\r\ny\r\nz");
    QTest::newRow("byte-order mark stays") << QByteArray("\xEF\xBB\xBFx\ny") << 0 << 1 << QStringLiteral("xy")
                                           << QByteArray("\xEF\xBB\xBFxy");
}

void TestSourceFile::editsKeepLineEnds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, line);
    QFETCH(int, removed);
    QFETCH(QString, edited);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    QString error;
    std::optional<OLSourceFile> source = OLSourceFile::read(writeBytes(dir, QStringLiteral("s.sml"), bytes), &error);
    QVERIFY(source);
    const qsizetype added = edited.count(u'\n') - source->editorText().count(u'\n') + removed;
    source->lineEnds().replace(line, removed, added);
    QCOMPARE(source->encode(edited), expected);

    // Saved, the edited text is the new unedited state.
    source->noteSaved(edited, expected);
    QVERIFY(!source->isEdited(edited));
    QCOMPARE(source->encode(edited), expected);
}

void TestSourceFile::dominantLineEnd_data()
{
    QTest::addColumn<QString>("fileText");
    QTest::addColumn<OLLineEnd>("dominant");
    QTest::addColumn<bool>("mixed");

    QTest::newRow("none") << QStringLiteral("x") << OLLineEnd::LF << false;
    QTest::newRow("CRLF") << QStringLiteral("a\r\nb\r\n") << OLLineEnd::CRLF << false;
    QTest::newRow("more CRLF than LF") << QStringLiteral("a\r\nb\nc\r\n") << OLLineEnd::CRLF << true;
    QTest::newRow("tie goes to LF") << QStringLiteral("a\r\nb\n") << OLLineEnd::LF << true;
    QTest::newRow("CR") << QStringLiteral("a\rb\r") << OLLineEnd::CR << false;
}

void TestSourceFile::dominantLineEnd()
{
    QFETCH(QString, fileText);
    QFETCH(OLLineEnd, dominant);
    QFETCH(bool, mixed);

    QString editorText;
    const OLLineEnds ends = OLLineEnds::split(fileText, &editorText);
    QCOMPARE(ends.dominant(), dominant);
    QCOMPARE(ends.isMixed(), mixed);
    QCOMPARE(ends.join(editorText), fileText);
}

void TestSourceFile::writeKeepsLinkAndPermissions()
{
    QTemporaryDir dir;
    const QString target = writeBytes(dir, QStringLiteral("target.sml"), "old\n");
    const QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(target, permissions));
    const QString link = dir.filePath(QStringLiteral("link.sml"));
    QVERIFY(QFile::link(target, link));

    QString error;
    QVERIFY2(OLSourceFile::write(link, "new\n", &error), qPrintable(error));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), target);
    QCOMPARE(readBytes(target), QByteArray("new\n"));
    // The "user" bits mirror the owner's for the running user; compare the rest.
    QCOMPARE(QFileInfo(target).permissions() & 0x7077, permissions);
    QCOMPARE(entriesOf(dir), QStringList({QStringLiteral("link.sml"), QStringLiteral("target.sml")}));
}

void TestSourceFile::failedWriteLeavesOldFile_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("into a read-only folder") << QStringLiteral("read-only folder");
    QTest::newRow("onto a read-only file") << QStringLiteral("read-only file");
    QTest::newRow("below a file, not a folder") << QStringLiteral("not a folder");
}

void TestSourceFile::failedWriteLeavesOldFile()
{
    QFETCH(QString, kind);

    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("folder"));
    QVERIFY(QDir().mkdir(folder));
    const QString old = writeBytes(dir, QStringLiteral("folder/old.sml"), "old\n");
    QString path = old;
    if (kind == QStringLiteral("read-only folder")) {
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        SKIP_WHEN_PERMISSIONS_DO_NOT_APPLY(folder);
    } else if (kind == QStringLiteral("read-only file")) {
        QVERIFY(QFile::setPermissions(old, QFile::ReadOwner));
        SKIP_WHEN_PERMISSIONS_DO_NOT_APPLY(old);
    } else {
        path = old + QStringLiteral("/new.sml");
    }

    QString error;
    QVERIFY(!OLSourceFile::write(path, "new\n", &error));
    QVERIFY2(error.contains(QStringLiteral("ermission")) || error.contains(QStringLiteral("not writable"))
                 || error.contains(QStringLiteral("Not a directory")),
             qPrintable(error));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(readBytes(old), QByteArray("old\n"));
    QCOMPARE(entriesOf(dir, QStringLiteral("folder")), QStringList(QStringLiteral("old.sml")));
}

void TestSourceFile::shortWriteIsAFailure()
{
    // A file size limit makes the write stop part way, as a full disk does.
    QTemporaryDir dir;
    const QString path = writeBytes(dir, QStringLiteral("old.sml"), "old\n");
    QString error;
    bool written;
    {
        const FileSizeLimit limit(100);
        written = OLSourceFile::write(path, QByteArray(5000, 'x'), &error);
    }
    QVERIFY(!written);
    QCOMPARE(error, QStringLiteral("File too large"));
    QCOMPARE(readBytes(path), QByteArray("old\n"));
    QCOMPARE(entriesOf(dir), QStringList(QStringLiteral("old.sml")));
}

QTEST_GUILESS_MAIN(TestSourceFile)
#include "tst_sourcefile.moc"
