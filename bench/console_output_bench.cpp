// Feeds 10 MB of interpreter answers into a shown console pane the way a pipe
// delivers them: a writer thread fills a pipe as fast as it can, and the GUI
// thread reads it in pieces of at most 4 KB as its event loop reports it
// readable, handing each piece to appendAnswer. Prints the throughput, the
// longest GUI-thread CPU time spent on one event (a stall), the longest wait
// of a piece before it is in the text, and the peak resident memory.
//
// Run without arguments for every case, each in its own process so that its
// peak memory is its own; or with a case name.

#include "console/OLInterpreterViewController.h"
#include "highlight/OLTextView.h"
#include "settings/OLUserDefaults.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QSettings>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTextDocument>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <thread>

namespace {
constexpr qsizetype totalBytes = 10 * 1024 * 1024;
constexpr qsizetype pieceBytes = 4096;

qint64 threadCpuNs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// The GUI thread's CPU time per event handled at the top of the loop.
class MeasuringApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth > 0)
            return QApplication::notify(receiver, event);
        ++m_depth;
        const qint64 start = threadCpuNs();
        const bool result = QApplication::notify(receiver, event);
        const qint64 spent = threadCpuNs() - start;
        --m_depth;
        if (measuring) {
            const QObject *parent = receiver->parent();
            const QString key = QStringLiteral("%1 in %2, event %3")
                                    .arg(QLatin1StringView(receiver->metaObject()->className()),
                                         QLatin1StringView(parent ? parent->metaObject()->className() : "-"))
                                    .arg(int(event->type()));
            cpuByKind[key] += spent;
        }
        if (measuring && spent > 16'000'000)
            ++over16ms;
        if (measuring && spent > maxStallNs) {
            maxStallNs = spent;
            maxStallEvent = event->type();
            maxStallReceiver = receiver->metaObject()->className();
        }
        return result;
    }

    bool measuring = false;
    qint64 maxStallNs = 0;
    int maxStallEvent = 0;
    const char *maxStallReceiver = "";
    QHash<QString, qint64> cpuByKind;
    int over16ms = 0;

private:
    int m_depth = 0;
};

// Answers as Poly ML and SML/NJ print them: values, functions, types,
// structures, strings, and now and then a comment.
QByteArray realisticAnswers(qsizetype bytes)
{
    QByteArray out;
    out.reserve(bytes + 256);
    quint32 seed = 12345;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 8); };
    for (qint64 i = 0; out.size() < bytes; ++i) {
        const QByteArray n = QByteArray::number(i);
        switch (next() % 8) {
        case 0: out += "val it = " + n + " : int\n"; break;
        case 1: out += "val s" + n + " = \"answer number " + n + "\" : string\n"; break;
        case 2: out += "val f" + n + " = fn : int -> int list -> (int * string) option\n"; break;
        case 3: out += "datatype t" + n + " = Leaf | Node of t" + n + " * int * t" + n + "\n"; break;
        case 4: {
            QByteArray list = "val xs" + n + " = [";
            for (quint32 k = 0, count = next() % 20; k < count; ++k)
                list += QByteArray::number(next() % 1000) + ", ";
            out += list + "0] : int list\n";
            break;
        }
        case 5: out += "val r" + n + " = {name = \"x" + n + "\", age = " + n + "} : {age : int, name : string}\n"; break;
        case 6: out += "structure S" + n + " : sig val x : int  val y : string end\n"; break;
        case 7: out += "(* note " + n + " *) exception E" + n + " of string\n"; break;
        }
    }
    out.truncate(bytes);
    return out;
}

// One int list of about 120 KB per answer.
QByteArray longLineAnswers(qsizetype bytes)
{
    QByteArray line = "val it = [";
    for (int k = 0; line.size() < 120 * 1024; ++k)
        line += QByteArray::number(k) + ", ";
    line += "0] : int list\n";
    QByteArray out;
    while (out.size() < bytes)
        out += line;
    out.truncate(bytes);
    return out;
}

struct Result {
    double wallSeconds;
    double cpuSeconds;
    double maxStallMs;
    int over16ms;
    int maxStallEvent;
    const char *maxStallReceiver;
    double maxWaitMs;
    long peakRssMb;
    qsizetype keptUnits;
    qsizetype shownUnits;
};

Result feed(const QByteArray &data, qint64 maximumLength, bool backPressure)
{
    QTemporaryDir settingsDir;
    QSettings settings(settingsDir.filePath(QStringLiteral("bench.conf")), QSettings::IniFormat);
    OLUserDefaults defaults(settings);
    defaults.registerDefaultPreferences();
    if (maximumLength > 0)
        defaults.saveMaximumConsoleLength(maximumLength);

    OLInterpreterViewController pane(defaults);
    pane.setFontAttributes(defaults.loadFontAttributes(true), true);
    pane.setFontAttributes(defaults.loadFontAttributes(false), false);
    pane.resize(900, 700);
    pane.show();
    QCoreApplication::processEvents();

    int fds[2];
    if (pipe(fds) != 0)
        qFatal("pipe failed");
    auto *app = static_cast<MeasuringApplication *>(QCoreApplication::instance());

    // When each piece was handed over, by the count of units handed over.
    std::deque<std::pair<qsizetype, qint64>> handedOver;
    QElapsedTimer clock;
    double maxWaitMs = 0;
    qsizetype handed = 0;
    qsizetype shown = 0; // units of output that reached the text, trimmed ones included
    qsizetype lastLength = 0;
    QObject::connect(pane.textView()->document(), &QTextDocument::contentsChange, [&] {
        // Only trimming shortens the text.
        const qsizetype length = pane.textStorage().length();
        shown += qMax<qsizetype>(0, length - lastLength);
        lastLength = length;
        while (!handedOver.empty() && handedOver.front().first <= shown) {
            maxWaitMs = qMax(maxWaitMs, (clock.nsecsElapsed() - handedOver.front().second) / 1e6);
            handedOver.pop_front();
        }
    });

    QSocketNotifier notifier(fds[0], QSocketNotifier::Read);
    bool ended = false;
    // A reader that holds back while the console is behind, so that the
    // writer waits at the full pipe; without, a flood faster than the view is
    // read at once and what the console would trim is left out unseen.
    const qsizetype holdBackAt = 256 * 1024;
    QObject::connect(pane.textView()->document(), &QTextDocument::contentsChange, [&] {
        if (backPressure && !ended && pane.queuedOutputLength() < holdBackAt)
            notifier.setEnabled(true);
    });
    QStringDecoder decoder(QStringDecoder::Utf8);
    qsizetype readBytes = 0;
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char buffer[pieceBytes];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0) {
            notifier.setEnabled(false);
            ended = true;
            return;
        }
        readBytes += n;
        const QString piece = decoder.decode(QByteArrayView(buffer, n));
        handed += piece.size();
        handedOver.emplace_back(handed, clock.nsecsElapsed());
        pane.appendAnswer(piece);
        if (backPressure && pane.queuedOutputLength() >= holdBackAt)
            notifier.setEnabled(false);
    });

    const qint64 cpuStart = threadCpuNs();
    clock.start();
    app->measuring = true;
    std::thread writer([&] {
        qsizetype done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(fds[1], data.constData() + done, size_t(data.size() - done));
            if (n <= 0)
                break;
            done += n;
        }
        ::close(fds[1]);
    });
    // Done when the pipe has ended and every piece has reached the text or
    // was left out.
    while (!ended || pane.queuedOutputLength() > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double wall = clock.nsecsElapsed() / 1e9;
    const double cpu = (threadCpuNs() - cpuStart) / 1e9;
    app->measuring = false;
    writer.join();
    ::close(fds[0]);

    QList<std::pair<qint64, QString>> kinds;
    for (auto it = app->cpuByKind.cbegin(); it != app->cpuByKind.cend(); ++it)
        kinds.append({it.value(), it.key()});
    std::sort(kinds.begin(), kinds.end(), std::greater<>());
    for (qsizetype i = 0; i < qMin<qsizetype>(6, kinds.size()); ++i)
        std::printf("    %7.1f ms  %s\n", kinds[i].first / 1e6, qPrintable(kinds[i].second));
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return {wall, cpu, app->maxStallNs / 1e6, app->over16ms, app->maxStallEvent, app->maxStallReceiver, maxWaitMs, usage.ru_maxrss / 1024,
            pane.textView()->document()->characterCount() - 1, shown};
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    MeasuringApplication app(argc, argv);

    const QStringList cases{QStringLiteral("answers"), QStringLiteral("long-lines"),
                            QStringLiteral("answers-untrimmed"), QStringLiteral("flood")};
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        for (const QString &name : cases) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(args.first(), {name});
            child.waitForFinished(-1);
        }
        return 0;
    }
    const QString name = args.at(1);
    if (!cases.contains(name)) {
        std::fprintf(stderr, "unknown case %s\n", qPrintable(name));
        return 1;
    }
    const QByteArray data = name == u"long-lines" ? longLineAnswers(totalBytes) : realisticAnswers(totalBytes);
    // Untrimmed: a maximum above the 10 MB fed, to show the memory the text itself takes.
    const Result r = feed(data, name == u"answers-untrimmed" ? 3 * totalBytes : 0, name != u"flood");
    const double mb = data.size() / (1024.0 * 1024.0);
    std::printf("%s: %.1f MB fed in %.2f s wall = %.1f MB/s, %.2f s GUI-thread CPU = %.1f MB/s\n"
                "  longest event %.1f ms CPU (event type %d to a %s), %d events over 16 ms; longest wait of a piece %.1f ms\n"
                "  peak RSS %ld MB; %lld units reached the text, %lld kept\n",
                qPrintable(name), mb, r.wallSeconds, mb / r.wallSeconds, r.cpuSeconds, mb / r.cpuSeconds,
                r.maxStallMs, r.maxStallEvent, r.maxStallReceiver, r.over16ms, r.maxWaitMs, r.peakRssMb,
                qlonglong(r.shownUnits), qlonglong(r.keptUnits));
    return 0;
}
