#include "app/OLSourceFile.h"

#include "app/OLFileName.h"

#include <QRandomGenerator>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QByteArray utf8ByteOrderMark("\xEF\xBB\xBF");

QString systemError(int error)
{
    return QString::fromLocal8Bit(::strerror(error));
}

// Retries a call that a signal interrupted.
template <typename Call>
auto retried(Call call)
{
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

// A file descriptor, closed as it goes.
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// A write beyond the file-size limit (RLIMIT_FSIZE) raises SIGXFSZ, which
// ends the program unless ignored; ignored, the write fails with EFBIG like
// one on a full disk. Child processes get the default back (PXShellWrapper).
void ignoreFileSizeSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

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
    case OLLineEnd::NoncharacterFDD0:
        return u"\uFDD0";
    case OLLineEnd::NoncharacterFDD1:
        return u"\uFDD1";
    }
    return u"\n";
}

bool isOrdinary(OLLineEnd end)
{
    return end <= OLLineEnd::ParagraphSeparator;
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
        } else if (c == u'\uFDD0') {
            end = OLLineEnd::NoncharacterFDD0;
        } else if (c == u'\uFDD1') {
            end = OLLineEnd::NoncharacterFDD1;
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
    std::array<qsizetype, size_t(OLLineEnd::ParagraphSeparator) + 1> counts{};
    for (OLLineEnd end : m_ends) {
        if (isOrdinary(end))
            ++counts[size_t(end)];
    }
    // max_element keeps the first of equal counts, and LF comes first.
    return OLLineEnd(std::max_element(counts.cbegin(), counts.cend()) - counts.cbegin());
}

void OLLineEnds::replace(qsizetype line, qsizetype removed, qsizetype added)
{
    line = std::clamp<qsizetype>(line, 0, size());
    removed = std::clamp<qsizetype>(removed, 0, size() - line);
    const OLLineEnd style = line < size() && isOrdinary(at(line)) ? at(line) : dominant();
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
    if (::stat(OLFileName::encode(path).constData(), &status) != 0)
        return {};
    return {qint64(status.st_size), qint64(status.st_mtim.tv_sec) * 1'000'000'000 + status.st_mtim.tv_nsec,
            quint64(status.st_dev), quint64(status.st_ino), S_ISREG(status.st_mode)};
}

std::optional<OLSourceFile> OLSourceFile::read(const QString &path, QString *error)
{
    const std::optional<QByteArray> bytes = readBytes(path, error);
    if (!bytes)
        return std::nullopt;
    return fromBytes(*bytes, error);
}

std::optional<QByteArray> OLSourceFile::readBytes(const QString &path, QString *error)
{
    const QByteArray name = OLFileName::encode(path);
    // Looked at before it is opened (opening some devices does something),
    // and again once open, in case it was replaced in between. Opened
    // without blocking, so a named pipe does not wait for a writer.
    struct stat status;
    if (::stat(name.constData(), &status) != 0) {
        *error = systemError(errno);
        return std::nullopt;
    }
    if (!S_ISREG(status.st_mode)) {
        *error = notRegularReason(status.st_mode);
        return std::nullopt;
    }
    const Descriptor file{
        retried([&] { return ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); })};
    if (file.fd < 0) {
        *error = systemError(errno);
        return std::nullopt;
    }
    if (::fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        *error = notRegularReason(status.st_mode);
        return std::nullopt;
    }
    QByteArray bytes;
    bytes.reserve(qsizetype(status.st_size));
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = retried([&] { return ::read(file.fd, chunk, sizeof chunk); });
        if (n < 0) {
            *error = systemError(errno);
            return std::nullopt;
        }
        if (n == 0)
            return bytes;
        bytes.append(chunk, n);
    }
}

QString OLSourceFile::notRegularReason(quint32 mode)
{
    if (S_ISDIR(mode))
        return tr("It is a folder, not a file.");
    if (S_ISFIFO(mode))
        return tr("It is a named pipe (FIFO), not a regular file.");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return tr("It is a device, not a regular file.");
    if (S_ISSOCK(mode))
        return tr("It is a socket, not a regular file.");
    return tr("It is not a regular file.");
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
    ignoreFileSizeSignal();
    // A link is written through: its final target is replaced.
    QByteArray target = OLFileName::encode(path);
    if (char *resolved = ::realpath(target.constData(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    struct stat existing;
    const bool exists = ::stat(target.constData(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        *error = S_ISDIR(existing.st_mode) ? systemError(EISDIR) : notRegularReason(existing.st_mode);
        return false;
    }
    // Replacing it by rename would go round its permissions.
    if (exists && ::access(target.constData(), W_OK) != 0) {
        *error = tr("The file is not writable.");
        return false;
    }

    // The new content goes to a file beside the target first; created with
    // 0666 less the umask, as any new file, unless told otherwise.
    mode_t mode = 0666;
    if (permissions) {
        mode = 0;
        const std::pair<QFileDevice::Permission, mode_t> bits[] = {
            {QFileDevice::ReadOwner, S_IRUSR}, {QFileDevice::WriteOwner, S_IWUSR}, {QFileDevice::ExeOwner, S_IXUSR},
            {QFileDevice::ReadGroup, S_IRGRP}, {QFileDevice::WriteGroup, S_IWGRP}, {QFileDevice::ExeGroup, S_IXGRP},
            {QFileDevice::ReadOther, S_IROTH}, {QFileDevice::WriteOther, S_IWOTH}, {QFileDevice::ExeOther, S_IXOTH}};
        for (const auto &[permission, bit] : bits) {
            if (permissions->testFlag(permission))
                mode |= bit;
        }
    }
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = target + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        fd = retried([&] { return ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode); });
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        *error = systemError(errno);
        return false;
    }
    const auto fail = [&](int errorNumber) {
        *error = systemError(errorNumber);
        if (fd >= 0)
            ::close(fd);
        ::unlink(temporary.constData());
        return false;
    };
    // Exactly the permissions asked for, whatever the umask took; or the old file's.
    if ((permissions || exists) && ::fchmod(fd, permissions ? mode : existing.st_mode & 07777) != 0)
        return fail(errno);
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t n =
            retried([&] { return ::write(fd, bytes.constData() + written, size_t(bytes.size() - written)); });
        if (n < 0)
            return fail(errno);
        written += n;
    }
    // On disk before it takes the old file's place.
    if (::fdatasync(fd) != 0)
        return fail(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return fail(errno);
    if (::rename(temporary.constData(), target.constData()) != 0)
        return fail(errno);
    return true;
}
