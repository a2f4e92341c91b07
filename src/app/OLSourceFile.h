#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileDevice>
#include <QString>

#include <optional>
#include <vector>

// How one line of a source file ends on disk.
enum class OLLineEnd : quint8 {
    LF,
    CRLF,
    CR,
    ParagraphSeparator, // U+2029
    // Noncharacters that the text view takes as marks of its own and shows as
    // line breaks. Kept as the ends of their lines, they are written back; a
    // line break typed in such a line is an ordinary one.
    NoncharacterFDD0,
    NoncharacterFDD1,
};

// The line ends of a text, one per line break, in order. The editor shows
// every line break as "\n"; this keeps what each one was in the file, so that
// an edited file keeps the line ends of the lines the user did not touch.
class OLLineEnds
{
public:
    OLLineEnds() = default;

    // Splits file text into the editor's form, where every line end is "\n",
    // and the line ends it had.
    static OLLineEnds split(QStringView fileText, QString *editorText);

    qsizetype size() const { return qsizetype(m_ends.size()); }
    OLLineEnd at(qsizetype i) const { return m_ends[size_t(i)]; }
    // The most frequent line end; LF for a text without any, and on a tie.
    // Noncharacters are never taken.
    OLLineEnd dominant() const;

    // An edit at line `line` removed `removed` line breaks and added `added`.
    // The added ones end the way the line they split ended, or, at the last
    // line (which has no line end), the way most lines end.
    void replace(qsizetype line, qsizetype removed, qsizetype added);

    // The editor's text back in the file's form: the i-th "\n" becomes the
    // i-th line end (breaks beyond the known ones take the dominant end).
    QString join(QStringView editorText) const;

private:
    std::vector<OLLineEnd> m_ends;
};

// What the file system tells of a file, enough to notice that another program
// changed it: new content changes the size or the modification time, a
// replacement by rename also the file's number.
struct OLFileStamp {
    qint64 size = -1; // -1: there is no such file
    qint64 modifiedNs = 0;
    quint64 device = 0;
    quint64 inode = 0;
    bool regular = false; // not a folder, a named pipe, a device or a socket

    // Of the file a symbolic link points to.
    static OLFileStamp of(const QString &path);
    bool exists() const { return size >= 0; }
    QDateTime modified() const { return QDateTime::fromMSecsSinceEpoch(modifiedNs / 1'000'000, Qt::UTC); }

    friend bool operator==(const OLFileStamp &, const OLFileStamp &) = default;
};

// A source file as read from disk: its exact bytes, the text the editor
// shows, and what it takes to write an edited text back in the same form
// (the byte-order mark and the line ends).
//
// An unedited text is always written back as the exact bytes that were read
// or last written, whatever they hold (mixed line ends, NUL bytes, characters
// the text view would alter); an edited text is encoded with the byte-order
// mark and the per-line line ends.
class OLSourceFile
{
    Q_DECLARE_TR_FUNCTIONS(OLSourceFile)

public:
    OLSourceFile() = default;

    // Reads the file; nothing (and the reason in *error) when it cannot be
    // read, is not a regular file or is not valid UTF-8.
    static std::optional<OLSourceFile> read(const QString &path, QString *error);
    // The bytes of a regular file. Anything else is refused without being
    // read and without blocking: a named pipe would wait for a writer, a
    // device give bytes without end.
    static std::optional<QByteArray> readBytes(const QString &path, QString *error);
    // The same for bytes from elsewhere (a recovery journal).
    static std::optional<OLSourceFile> fromBytes(const QByteArray &bytes, QString *error);
    // A new file's form for text given in the editor's form: LF line ends,
    // no byte-order mark.
    static OLSourceFile fromEditorText(const QString &text);

    const QByteArray &bytes() const { return m_bytes; }
    const QString &editorText() const { return m_editorText; }
    bool hasByteOrderMark() const { return m_byteOrderMark; }
    OLLineEnds &lineEnds() { return m_lineEnds; }
    const OLLineEnds &lineEnds() const { return m_lineEnds; }

    bool isEdited(const QString &text) const { return text != m_editorText; }
    // What saving `text` writes.
    QByteArray encode(const QString &text) const;
    // After a successful write of `bytes`, the encoding of `text`: they are
    // the new saved state.
    void noteSaved(const QString &text, const QByteArray &bytes);
    // The editor's text is to be `other`'s (a recovered text): edits are
    // written in its form, its byte-order mark and line ends, while this
    // stays the text last read or saved.
    void adoptForm(const OLSourceFile &other);

    // Writes the bytes to the path atomically (the old content is replaced
    // only by a complete new one). A symbolic link stays a link: its target
    // is written. The permissions of an existing file are kept; a file that
    // is not writable, or is no regular file, is not replaced. On failure
    // the old file is unchanged, no temporary file is left, and *error holds
    // the reason; a write beyond the file-size limit fails too, and does not
    // end the program. Given `permissions`, the file has those instead, from
    // the moment it appears.
    static bool write(const QString &path, const QByteArray &bytes, QString *error,
                      std::optional<QFileDevice::Permissions> permissions = std::nullopt);

private:
    // Why a file of this type (st_mode) is not read or written.
    static QString notRegularReason(quint32 mode);

    QByteArray m_bytes;
    QString m_editorText;
    bool m_byteOrderMark = false;
    OLLineEnds m_lineEnds;
};
