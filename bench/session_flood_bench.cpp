// An interpreter floods 50 MB of output while 5 MB are written to it: how
// long the session takes to pass it all to the console, the longest time the
// main thread spends in one event (thread CPU time, so that pauses of the
// machine do not count), and how much memory the process grows by.
//
// The interpreter is a shell script standing in for SML/NJ (with its prompt):
// it floods on its first line of input, then reads the 5 MB line.

#include "session/OLInterpreterSession.h"
#include "session/OLSessionClients.h"
#include "settings/OLUserDefaults.h"

#include "benchsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

constexpr qint64 floodBytes = 50 << 20;
constexpr qsizetype writtenChars = 5 << 20;
constexpr int runs = 3;

qint64 residentBytes()
{
    QFile file(QStringLiteral("/proc/self/statm"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
}

// Times every event the main loop hands out, outermost only.
class TimedApplication : public QCoreApplication
{
public:
    using QCoreApplication::QCoreApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth > 0)
            return QCoreApplication::notify(receiver, event);
        ++m_depth;
        const qint64 start = threadCpuNs();
        const bool done = QCoreApplication::notify(receiver, event);
        longestEventNs = std::max(longestEventNs, threadCpuNs() - start);
        --m_depth;
        return done;
    }

    qint64 longestEventNs = 0;

private:
    int m_depth = 0;
};

class Console : public OLSessionEditor, public OLSessionConsole, public OLSessionWindow
{
public:
    void setLastCommitSuccess(bool) override {}
    void resetEvaluated() override {}
    void appendAnswer(const QString &text) override { take(text); }
    void appendError(const QString &text) override { take(text); }
    void closeWindow() override {}

    qint64 shown = 0;
    qsizetype pieces = 0;
    qsizetype largestPiece = 0;
    qint64 peakBytes = 0;
    bool done = false;

private:
    void take(const QString &text)
    {
        shown += text.size();
        ++pieces;
        largestPiece = std::max(largestPiece, text.size());
        peakBytes = std::max(peakBytes, residentBytes());
        if (text.endsWith(u"read done\n"))
            done = true;
    }
};

struct Figures {
    double seconds;
    double longestEventMs;
    double grownMB;
    qsizetype pieces;
    qsizetype largestPiece;
};

Figures flood(TimedApplication &app, const QString &interpreter, const QString &written)
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    OLUserDefaults defaults(settings);
    defaults.savePreferredInterpreter(QStringLiteral("file://localhost") + interpreter);
    Console console;
    OLInterpreterSession session(defaults, console, console, console);
    session.startProcess();
    while (console.shown == 0)
        app.processEvents(QEventLoop::WaitForMoreEvents);

    const qint64 before = residentBytes();
    app.longestEventNs = 0;
    QElapsedTimer clock;
    clock.start();
    session.eval(QStringLiteral("flood"), OLEditorCommitter);
    session.eval(written, OLConsoleCommitter);
    while (!console.done)
        app.processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (console.shown < floodBytes)
        std::fprintf(stderr, "only %lld characters shown\n", console.shown);
    PXShellWrapper::terminateAll();
    return {seconds, app.longestEventNs / 1e6, (console.peakBytes - before) / 1048576.0, console.pieces,
            console.largestPiece};
}

QString writeScript(const QTemporaryDir &dir, const char *floodCommand)
{
    // Named "sml": the session takes it for SML/NJ.
    const QString path = dir.filePath(QStringLiteral("sml"));
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly))
        return {};
    // It prompts with the prompt the session asks SML/NJ for.
    script.write(QByteArray("#!/bin/sh\nfor a; do case $a in -Cparser.primary-prompt=*) p=${a#*=};; esac; done\n"
                            "printf 'Stand-in\\n%s' \"$p\"\nread line\n")
                 + floodCommand
                 + "\nprintf '\\n%s' \"$p\"\nhead -n 1 >/dev/null\nprintf 'read done\\n%s' \"$p\"\ncat >/dev/null\n");
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    return path;
}

} // namespace

int main(int argc, char **argv)
{
    TimedApplication app(argc, argv);
    QTemporaryDir linesDir;
    QTemporaryDir lineDir;
    const struct {
        const char *name;
        QString interpreter;
    } cases[] = {
        {"lines of 100", writeScript(linesDir, "yes xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"
                                               "xxxxxxxxxx | head -c 52428800")},
        {"one line", writeScript(lineDir, "head -c 52428800 /dev/zero | tr '\\0' x")},
    };
    const QString written = QStringLiteral("(* ") + QString(writtenChars, u'y') + QStringLiteral(" *)");
    std::printf("50 MB of output while 5 MB are written, median of %d runs\n", runs);
    std::printf("%-14s %9s %9s %16s %14s %8s %14s\n", "output", "seconds", "MB/s", "longest event ms",
                "memory grew MB", "pieces", "largest piece");
    for (const auto &flooding : cases) {
        Figures all[runs];
        for (Figures &figures : all)
            figures = flood(app, flooding.interpreter, written);
        std::sort(std::begin(all), std::end(all), [](const Figures &a, const Figures &b) { return a.seconds < b.seconds; });
        const Figures &median = all[runs / 2];
        double longest = 0;
        double grown = 0;
        for (const Figures &figures : all) {
            longest = std::max(longest, figures.longestEventMs);
            grown = std::max(grown, figures.grownMB);
        }
        std::printf("%-14s %9.2f %9.1f %16.1f %14.1f %8lld %14lld\n", flooding.name, median.seconds,
                    50 / median.seconds, longest, grown, qint64(median.pieces), qint64(median.largestPiece));
    }
    std::printf("(longest event and memory: the worst of the runs)\n");
    return 0;
}
