#pragma once

// Helpers for tests that look at child processes through /proc.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QStringList>

#include <unistd.h>

namespace OLTestProcesses {

// The fields of /proc/<pid>/stat after the command name: state, ppid, ...
inline QList<QByteArray> statFields(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray stat = file.readAll();
    return stat.mid(stat.lastIndexOf(')') + 2).split(' ');
}

// Running, or stopped; not gone and not a zombie waiting to be reaped.
inline bool isAlive(qint64 pid)
{
    const QList<QByteArray> fields = statFields(pid);
    return !fields.isEmpty() && fields.first() != "Z" && fields.first() != "X";
}

// Live processes whose parent is the given one, by default this one.
inline QList<qint64> liveChildren(qint64 parent = ::getpid())
{
    QList<qint64> children;
    const QByteArray self = QByteArray::number(parent);
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        const QList<QByteArray> fields = statFields(pid);
        if (fields.size() > 1 && fields.at(1) == self && isAlive(pid))
            children.append(pid);
    }
    return children;
}

// The arguments a process was started with.
inline QStringList commandLine(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList arguments;
    const QList<QByteArray> parts = file.readAll().split('\0');
    for (qsizetype i = 0; i + 1 < parts.size(); ++i)
        arguments.append(QString::fromLocal8Bit(parts.at(i)));
    return arguments;
}

// The memory this process holds now.
inline qint64 residentBytes()
{
    QFile file(QStringLiteral("/proc/self/statm"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = file.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}

} // namespace OLTestProcesses
