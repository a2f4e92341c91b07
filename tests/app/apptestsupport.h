#pragma once

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>

// Files at paths given as bytes, which need not be UTF-8.
inline void writeBytesAt(const QByteArray &path, const QByteArray &bytes)
{
    if (!(std::ofstream(path.constData(), std::ios::binary) << bytes.toStdString()))
        qFatal("cannot write %s", path.constData());
}
inline QByteArray readBytesAt(const QByteArray &path)
{
    std::ifstream file(path.constData(), std::ios::binary);
    return file ? QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(file), {})) : "<unreadable>";
}
inline QString writeBytes(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes) { return writeBytesAt(QFile::encodeName(dir.filePath(name)), bytes), dir.filePath(name); }
inline QByteArray readBytes(const QString &path) { return readBytesAt(QFile::encodeName(path)); }

// Changes a file as another program does: "append", "rewrite" in place,
// "rename" (replaced by rename), "touch" (a new time, the same bytes),
// "delete", or "folder" or "fifo" (a folder or a named pipe in its place).
inline void changeFile(const QString &how, const QString &path, const QByteArray &bytes = QByteArray())
{
    const QByteArray name = QFile::encodeName(path);
    bool done = true;
    if (how == u"touch") {
        QFile file(path);
        done = file.open(QIODevice::ReadWrite)
               && file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(60), QFileDevice::FileModificationTime);
    } else if (how == u"append" || how == u"rewrite") {
        done = bool(std::ofstream(name.constData(), how == u"append" ? std::ios::app : std::ios::trunc) << bytes.toStdString());
    } else if (how == u"rename") {
        writeBytesAt(name + ".new", bytes);
        done = ::rename((name + ".new").constData(), name.constData()) == 0;
    } else {
        done = ::unlink(name.constData()) == 0
               && (how == u"delete" || (how == u"folder" ? ::mkdir(name.constData(), 0700) : ::mkfifo(name.constData(), 0600)) == 0);
    }
    if (!done)
        qFatal("cannot %s %s", qPrintable(how), qPrintable(path));
}

inline mode_t modeOf(const QString &path) { struct stat st; return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0; }

// Every entry, hidden ones included: a temporary file left behind shows here.
inline QStringList entriesOf(const QString &folder) { return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name); }

inline QStringList journalsIn(const QString &folder) { return QDir(folder).entryList({QStringLiteral("*.journal")}, QDir::Files, QDir::Name); }

// A journal and its lock copied under a new name, unlocked: what a killed
// Ostrel leaves, while the journal's own writer lives on. The copy's name.
inline QString leaveJournalBehind(const QString &journal)
{
    const QString copy = QFileInfo(journal).absolutePath() + QStringLiteral("/left-") + QFileInfo(journal).fileName();
    if (!QFile::copy(journal, copy) || !QFile::copy(journal + QStringLiteral(".lock"), copy + QStringLiteral(".lock")))
        qFatal("cannot copy %s", qPrintable(journal));
    return QFileInfo(copy).fileName();
}

// Writes past `bytes` fail part way with EFBIG, as on a full disk; unlike
// chmod this holds for root.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        const rlimit limit{bytes, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
    rlimit old;
};
