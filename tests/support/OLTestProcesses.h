#pragma once

// Helpers for tests that look at child processes through /proc.

#include <QDir>
#include <QFile>
#include <QTest>

#include <unistd.h>

namespace OLTestProcesses {

// The bytes of a file; none if it cannot be read.
inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The fields of /proc/<pid>/stat after the command name: state, ppid, ...
inline QList<QByteArray> statFields(qint64 pid)
{
    const QByteArray stat = fileBytes(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.isEmpty() ? QList<QByteArray>() : stat.mid(stat.lastIndexOf(')') + 2).split(' ');
}

// Running, or stopped; not gone and not a zombie waiting to be reaped.
inline bool isAlive(qint64 pid)
{
    return !QList<QByteArray>{"", "Z", "X"}.contains(statFields(pid).value(0));
}

// Live processes whose parent is the given one, by default this one.
inline QList<qint64> liveChildren(qint64 parent = ::getpid())
{
    QList<qint64> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const qint64 pid = entry.toLongLong();
        if (pid > 0 && statFields(pid).value(1) == QByteArray::number(parent) && isAlive(pid))
            children.append(pid);
    }
    return children;
}

// Live processes below the given one, children first.
inline QList<qint64> liveDescendants(qint64 ancestor)
{
    QList<qint64> found = liveChildren(ancestor);
    for (qsizetype i = 0; i < found.size(); ++i)
        found.append(liveChildren(found.at(i)));
    return found;
}

// The arguments a process was started with, but empty ones.
inline QStringList commandLine(qint64 pid)
{
    return QString::fromLocal8Bit(fileBytes(QStringLiteral("/proc/%1/cmdline").arg(pid))).split(QChar::Null, Qt::SkipEmptyParts);
}

// The memory this process holds now.
inline qint64 residentBytes()
{
    return fileBytes(QStringLiteral("/proc/self/statm")).split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
}

} // namespace OLTestProcesses

inline const QString mosmlPath = QStringLiteral("/opt/mosml/bin/mosml");
inline const QString alicePath = QStringLiteral("/opt/aliceml/bin/alice");
// Debian packages neither Moscow ML nor Alice ML: scripts/install-deps puts them into /opt
// from ../shared/interpreters. Where that folder is, as in CI, a missing one is a failure.
#define SKIP_UNLESS_INSTALLED(path)                                                                                    \
    if (!QFileInfo(path).isExecutable()) {                                                                             \
        QVERIFY2(!QFileInfo::exists(QStringLiteral(OSTREL_SOURCE_DIR "/../shared/interpreters")),                      \
                 qPrintable(path + QStringLiteral(" is missing, though scripts/install-deps installs it")));           \
        QSKIP(qPrintable(path + QStringLiteral(" is not installed (scripts/install-deps installs it)")));               \
    }
