#pragma once

#include <QProcess>
#include <QString>

#include <algorithm>
#include <ctime>
#include <vector>

// The calling thread's CPU time: this machine has wall-clock pauses of its own.
inline qint64 threadCpuNs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

inline double threadCpuMs()
{
    return double(threadCpuNs()) / 1e6;
}

inline double nowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// A source text of at least `lines` lines: values, functions with let,
// structures, datatypes, comments and strings, over and over.
inline QString sampleSource(int lines)
{
    QString text;
    int line = 0;
    for (int i = 0; line < lines; ++i) {
        const QString n = QString::number(i);
        switch (i % 5) {
        case 0: text += "val v" + n + " = " + n + " * 2\n"; line += 1; break;
        case 1: text += "fun f" + n + " x =\n\tlet val y = x + " + n + " in y * y end\n"; line += 2; break;
        case 2:
            text += "structure S" + n + " = struct\n\tval a = " + n + "\n\tfun g b = b + a\nend\n";
            line += 4;
            break;
        case 3: text += "datatype t" + n + " = A" + n + " of int | B" + n + "\n"; line += 1; break;
        case 4: text += "(* helper number " + n + " *)\nval w" + n + " = \"text " + n + "\";\n\n"; line += 3; break;
        }
    }
    return text;
}

// `count` val, fun and datatype declarations in turn, one a line.
inline QString generatedDeclarations(int count)
{
    QString text;
    for (int i = 0; i < count; ++i) {
        const QString n = QString::number(i);
        switch (i % 3) {
        case 0: text += "val v" + n + " = " + n + " * 2\n"; break;
        case 1: text += "fun f" + n + " x = x + " + n + "\n"; break;
        case 2: text += "datatype t" + n + " = A" + n + " | B" + n + " of int\n"; break;
        }
    }
    return text;
}

// Runs this program with the arguments; its output's numbers, none when it
// failed.
inline QList<double> figures(const char *self, const QStringList &arguments)
{
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.start(QString::fromLocal8Bit(self), arguments);
    if (!run.waitForFinished(400'000) || run.exitStatus() != QProcess::NormalExit || run.exitCode() != 0)
        return {};
    QList<double> result;
    for (const QByteArray &field : run.readAllStandardOutput().trimmed().split(' '))
        result.append(field.toDouble());
    return result;
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}
