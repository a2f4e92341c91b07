#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

// File names are bytes, and need not be UTF-8. Qt reads every name as UTF-8
// and turns each byte that is not into U+FFFD, which names another file (or
// none). Paths here carry such a byte as the lone low surrogate U+DC80 +
// (byte - 0x80), which no UTF-8 text decodes to: a name from the command line,
// a URL or a journal then names exactly the file it named. Such a path must
// reach the file system through encode(), never through QFile or QFileInfo's
// file access; for UTF-8 names both give the same bytes.
namespace OLFileName {

QString decode(QByteArrayView bytes);
QByteArray encode(QStringView path);
// Whether the path holds bytes that are not UTF-8, which Qt's file classes
// would read as another name.
bool hasForeignBytes(QStringView path);

// The path with symbolic links, "." and ".." resolved; empty when there is
// no such file (Qt would resolve a name that is not UTF-8 as another file).
QString canonical(const QString &path);

// The program's arguments, decoded as paths (Qt's own list has lost the
// bytes that are not UTF-8).
QStringList arguments(int argc, char **argv);

// A file URL for the path, and the path of a local file URL (empty for any
// other URL), byte for byte.
QUrl toUrl(const QString &path);
QString fromUrl(const QUrl &url);

} // namespace OLFileName
