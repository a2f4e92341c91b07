#include "app/OLFileName.h"

#include "settings/OLUserDefaults.h"

#include <cstdlib>

namespace {
constexpr char16_t firstEscape = 0xDC80; // stands for the byte 0x80
constexpr char16_t lastEscape = 0xDCFF;  // for 0xFF

bool isContinuation(char byte)
{
    return (uchar(byte) & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at bytes[i], or 0: overlong
// forms, surrogates and code points beyond U+10FFFF are not well formed.
qsizetype sequenceLength(QByteArrayView bytes, qsizetype i)
{
    const uchar lead = uchar(bytes[i]);
    if (lead < 0x80)
        return 1;
    qsizetype length;
    uchar secondMin = 0x80, secondMax = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            secondMin = 0xA0;
        else if (lead == 0xED)
            secondMax = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            secondMin = 0x90;
        else if (lead == 0xF4)
            secondMax = 0x8F;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    const uchar second = uchar(bytes[i + 1]);
    if (second < secondMin || second > secondMax)
        return 0;
    for (qsizetype k = 2; k < length; ++k) {
        if (!isContinuation(bytes[i + k]))
            return 0;
    }
    return length;
}

// Whether path[i] is an escaped byte, not the second half of a pair.
bool isEscape(QStringView path, qsizetype i)
{
    const char16_t unit = path[i].unicode();
    return unit >= firstEscape && unit <= lastEscape && (i == 0 || !path[i - 1].isHighSurrogate());
}
} // namespace

QString OLFileName::decode(QByteArrayView bytes)
{
    QString path;
    path.reserve(bytes.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < bytes.size();) {
        if (const qsizetype length = sequenceLength(bytes, i)) {
            i += length;
            continue;
        }
        path += QString::fromUtf8(bytes.sliced(runStart, i - runStart));
        path += QChar(char16_t(0xDC00 + uchar(bytes[i])));
        runStart = ++i;
    }
    path += QString::fromUtf8(bytes.sliced(runStart));
    return path;
}

QByteArray OLFileName::encode(QStringView path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!isEscape(path, i))
            continue;
        bytes += path.sliced(runStart, i - runStart).toUtf8();
        bytes += char(path[i].unicode() - 0xDC00);
        runStart = i + 1;
    }
    bytes += path.sliced(runStart).toUtf8();
    return bytes;
}

bool OLFileName::hasForeignBytes(QStringView path)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (isEscape(path, i))
            return true;
    }
    return false;
}

QString OLFileName::canonical(const QString &path)
{
    char *resolved = ::realpath(encode(path).constData(), nullptr);
    const QString canonicalPath = resolved ? decode(resolved) : QString();
    std::free(resolved);
    return canonicalPath;
}

QStringList OLFileName::arguments(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(decode(argv[i]));
    return arguments;
}

QUrl OLFileName::toUrl(const QString &path)
{
    if (!hasForeignBytes(path))
        return QUrl::fromLocalFile(path);
    // Percent-encoded, the bytes stay as they are: QUrl decodes only UTF-8.
    return QUrl(QStringLiteral("file://") + QString::fromLatin1(encode(path).toPercentEncoding("/")));
}

QString OLFileName::fromUrl(const QUrl &url)
{
    if (localPathForUrl(url).isEmpty())
        return {};
    return decode(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}
