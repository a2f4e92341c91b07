#include "app/OLSourceFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <array>

#include <sys/stat.h>

namespace {
const QByteArray utf8ByteOrderMark("\xEF\xBB\xBF");

QStringView lineEndText(OLLineEnd end)
{
    switch (end) {
    case OLLineEnd::LF:
        return u"\n";
    case OLLineEnd::CRLF:
        return u"\r\n";
    case OLLineEnd::CR:
        return u"\r";
    case OLLineEnd::ParagraphSeparator:
        return u"\u2029";
    }
    return u"\n";
}
} // namespace

OLLineEnds OLLineEnds::split(QStringView fileText, QString *editorText)
{
    OLLineEnds ends;
    editorText->clear();
    editorText->reserve(fileText.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < fileText.size(); ++i) {
        const QChar c = fileText[i];
        OLLineEnd end;
        qsizetype next = i;
        if (c == u'\n') {
            end = OLLineEnd::LF;
        } else if (c == u'\r') {
            const bool pair = i + 1 < fileText.size() && fileText[i + 1] == u'\n';
            end = pair ? OLLineEnd::CRLF : OLLineEnd::CR;
            if (pair)
                ++next;
        } else if (c == QChar::ParagraphSeparator) {
            end = OLLineEnd::ParagraphSeparator;
        } else {
            continue;
        }
        editorText->append(fileText.sliced(runStart, i - runStart));
        editorText->append(u'\n');
        ends.m_ends.push_back(end);
        i = next;
        runStart = next + 1;
    }
    editorText->append(fileText.sliced(runStart));
    return ends;
}

OLLineEnd OLLineEnds::dominant() const
{
    std::array<qsizetype, 4> counts{};
    for (OLLineEnd end : m_ends)
        ++counts[size_t(end)];
    // max_element keeps the first of equal counts, and LF comes first.
    return OLLineEnd(std::max_element(counts.cbegin(), counts.cend()) - counts.cbegin());
}

void OLLineEnds::replace(qsizetype line, qsizetype removed, qsizetype added)
{
    line = std::clamp<qsizetype>(line, 0, size());
    removed = std::clamp<qsizetype>(removed, 0, size() - line);
    const OLLineEnd style = line < size() ? at(line) : dominant();
    const auto first = m_ends.begin() + line;
    m_ends.erase(first, first + removed);
    m_ends.insert(m_ends.begin() + line, size_t(added), style);
}

QString OLLineEnds::join(QStringView editorText) const
{
    if (std::all_of(m_ends.cbegin(), m_ends.cend(), [](OLLineEnd end) { return end == OLLineEnd::LF; }))
        return editorText.toString();
    const OLLineEnd fallback = dominant();
    QString text;
    text.reserve(editorText.size() + size());
    qsizetype runStart = 0;
    qsizetype line = 0;
    for (qsizetype i = 0; i < editorText.size(); ++i) {
        if (editorText[i] != u'\n')
            continue;
        text.append(editorText.sliced(runStart, i - runStart));
        text.append(lineEndText(line < size() ? at(line) : fallback));
        ++line;
        runStart = i + 1;
    }
    text.append(editorText.sliced(runStart));
    return text;
}

OLFileStamp OLFileStamp::of(const QString &path)
{
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return {qint64(status.st_size), qint64(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec,
            quint64(status.st_dev), quint64(status.st_ino)};
}

std::optional<OLSourceFile> OLSourceFile::read(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return std::nullopt;
    }
    return fromBytes(bytes, error);
}

std::optional<OLSourceFile> OLSourceFile::fromBytes(const QByteArray &bytes, QString *error)
{
    OLSourceFile source;
    source.m_bytes = bytes;
    source.m_byteOrderMark = source.m_bytes.startsWith(utf8ByteOrderMark);
    // Stateless: an incomplete sequence at the end is an error too. A second
    // byte-order mark is text.
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    const QByteArrayView body
        = QByteArrayView(source.m_bytes).sliced(source.m_byteOrderMark ? utf8ByteOrderMark.size() : 0);
    const QString text = decoder.decode(body);
    if (decoder.hasError()) {
        *error = tr("The file is not valid UTF-8 text.");
        return std::nullopt;
    }
    source.m_lineEnds = OLLineEnds::split(text, &source.m_editorText);
    return source;
}

OLSourceFile OLSourceFile::fromEditorText(const QString &text)
{
    OLSourceFile source;
    source.m_lineEnds = OLLineEnds::split(text, &source.m_editorText);
    source.m_bytes = text.toUtf8();
    return source;
}

QByteArray OLSourceFile::encode(const QString &text) const
{
    if (!isEdited(text))
        return m_bytes;
    QByteArray bytes = m_lineEnds.join(text).toUtf8();
    if (m_byteOrderMark)
        bytes.prepend(utf8ByteOrderMark);
    return bytes;
}

void OLSourceFile::noteSaved(const QString &text, const QByteArray &bytes)
{
    m_editorText = text;
    m_bytes = bytes;
}

void OLSourceFile::adoptForm(const OLSourceFile &other)
{
    m_byteOrderMark = other.m_byteOrderMark;
    m_lineEnds = other.m_lineEnds;
}

bool OLSourceFile::write(const QString &path, const QByteArray &bytes, QString *error,
                         std::optional<QFileDevice::Permissions> permissions)
{
    // QSaveFile writes a temporary file next to the target (the target of a
    // link) with the target's permissions and renames it over the target on
    // commit. Unbuffered, because a buffered QSaveFile commits a short write
    // (a full disk) as a success; every write is checked here instead.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    if (permissions && !file.setPermissions(*permissions)) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    for (qint64 written = 0; written < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0) {
            *error = file.errorString();
            file.cancelWriting();
            return false; // the destructor removes the temporary file
        }
        written += n;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}
