#pragma once

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

inline QString writeBytes(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(file.fileName()));
    return file.fileName();
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// The same at a path given as bytes, which need not be UTF-8.
inline void writeBytesAt(const QByteArray &path, const QByteArray &bytes)
{
    std::ofstream(path.constData(), std::ios::binary) << bytes.toStdString();
}
inline QByteArray readBytesAt(const QByteArray &path)
{
    std::ifstream file(path.constData(), std::ios::binary);
    return QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(file), {}));
}

// Changes a file as another program does: "append", "rewrite" in place,
// "rename" (replaced by rename), "touch" (a new time, the same bytes),
// "delete", or "folder" or "fifo" (a folder or a named pipe in its place).
inline void changeFile(const QString &how, const QString &path, const QByteArray &bytes = QByteArray())
{
    const QString target = how == u"rename" ? path + QStringLiteral(".new") : path;
    QFile file(target);
    bool done;
    if (how == u"touch")
        done = file.open(QIODevice::ReadWrite)
               && file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(60), QFileDevice::FileModificationTime);
    else if (how == u"delete" || how == u"folder" || how == u"fifo")
        done = file.remove()
               && (how == u"delete" || (how == u"folder" ? QDir().mkdir(path)
                                                         : ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0));
    else
        done = file.open(how == u"append" ? QIODevice::Append : QIODevice::WriteOnly | QIODevice::Truncate)
               && file.write(bytes) == bytes.size();
    file.close();
    if (how == u"rename")
        done = done && ::rename(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) == 0;
    if (!done)
        qFatal("cannot %s %s", qPrintable(how), qPrintable(path));
}

inline mode_t modeOf(const QString &path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// Every entry, hidden ones included: a temporary file left behind shows here.
inline QStringList entriesOf(const QTemporaryDir &dir, const QString &sub = QString())
{
    return QDir(dir.filePath(sub)).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                             QDir::Name);
}

// A journal and its lock copied under a new name, unlocked: what a killed
// Ostrel leaves, while the journal's own writer lives on.
inline QString leaveJournalBehind(const QString &journal)
{
    const QString copy = QFileInfo(journal).absolutePath() + QStringLiteral("/left-") + QFileInfo(journal).fileName();
    if (!QFile::copy(journal, copy) || !QFile::copy(journal + QStringLiteral(".lock"), copy + QStringLiteral(".lock")))
        qFatal("cannot copy %s", qPrintable(journal));
    return copy;
}

inline QStringList journalsIn(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.journal")}, QDir::Files, QDir::Name);
}

// Read-only permissions do not stop root's writes.
#define SKIP_WHEN_PERMISSIONS_DO_NOT_APPLY(path)                                                                       \
    do {                                                                                                               \
        if (::access(QFile::encodeName(path).constData(), W_OK) == 0)                                                  \
            QSKIP("read-only permissions do not stop this user's writes (running as root)");                         \
    } while (false)

// Writes past `bytes` fail part way, as on a full disk (EFBIG, not ENOSPC);
// unlike chmod this holds for root.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_old); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_old;
};
