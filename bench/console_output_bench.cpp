// Feeds interpreter answers into a shown console pane the way a pipe delivers
// them: a writer thread fills a pipe, and the GUI thread reads it in pieces of
// at most 4 KB whenever its event loop reports it readable, handing each piece
// to appendAnswer. Prints the throughput (by wall clock and by the GUI
// thread's CPU time), the longest GUI-thread CPU time spent on one event (a
// stall), how long pieces waited before they were in the text, the peak
// resident memory, and where the GUI thread's time went.
//
// Cases: "answers" (10 MB of realistic answers), "long-lines" (10 MB of
// 120 KB lines), "answers-untrimmed" (as "answers" with a maximum above 10 MB,
// for the memory of the whole text), "flood" (the reader never holds back, so
// what the console would trim anyway is left out unread), "trickle" (one
// answer every 20 ms, for how soon an answer shows). Run without arguments for
// every case, each in its own process so that its peak memory is its own, or
// with case names.

#include "app/OLHeap.h"
#include "console/OLInterpreterViewController.h"
#include "highlight/OLTextView.h"
#include "settings/OLUserDefaults.h"

#include "benchsupport.h"

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

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <thread>

namespace {
constexpr qsizetype totalBytes = 10 * 1024 * 1024;
constexpr qsizetype pieceBytes = 4096;
// The reader holds back while this much output waits for the console.
constexpr qsizetype holdBackAt = 256 * 1024;

// The GUI thread's CPU time per event handled at the top of the loop.
class MeasuringApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth > 0 || !measuring)
            return QApplication::notify(receiver, event);
        ++m_depth;
        const int type = event->type();
        const qint64 start = threadCpuNs();
        const bool result = QApplication::notify(receiver, event);
        const qint64 spent = threadCpuNs() - start;
        --m_depth;
        const QObject *parent = receiver->parent();
        const QString kind = QStringLiteral("event %1 to a %2 in a %3")
                                 .arg(int(type))
                                 .arg(QLatin1StringView(receiver->metaObject()->className()),
                                      QLatin1StringView(parent ? parent->metaObject()->className() : "window"));
        cpuByKind[kind] += spent;
        if (spent > 16'000'000)
            ++over16ms;
        if (spent > maxStallNs) {
            maxStallNs = spent;
            longestKind = kind;
        }
        return result;
    }

    bool measuring = false;
    qint64 maxStallNs = 0;
    int over16ms = 0;
    QHash<QString, qint64> cpuByKind;
    QString longestKind;

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

struct Case {
    QByteArray data;
    QList<qsizetype> answerEnds; // for "trickle": where each answer ends
    qint64 maximumLength = 0;    // 0: the default
    bool backPressure = true;
};

void feed(const Case &c)
{
    QTemporaryDir settingsDir;
    QSettings settings(settingsDir.filePath(QStringLiteral("bench.conf")), QSettings::IniFormat);
    OLUserDefaults defaults(settings);
    defaults.registerDefaultPreferences();
    if (c.maximumLength > 0)
        defaults.saveMaximumConsoleLength(c.maximumLength);

    OLInterpreterViewController pane(defaults);
    pane.setFontAttributes(defaults.loadFontAttributes(true), true);
    pane.setFontAttributes(defaults.loadFontAttributes(false), false);
    pane.resize(900, 700);
    pane.show();
    QCoreApplication::processEvents();

    int fds[2];
    if (pipe(fds) != 0)
        qFatal("pipe failed");
    QSocketNotifier notifier(fds[0], QSocketNotifier::Read);
    QStringDecoder decoder(QStringDecoder::Utf8);
    bool ended = false;

    // When each piece was handed over, by the count of units handed over up
    // to its end; a piece has waited until the text holds that many.
    QElapsedTimer clock;
    std::deque<std::pair<qsizetype, qint64>> handedOver;
    QList<double> waitsMs;
    qsizetype handed = 0;
    qsizetype shown = 0; // units of output that reached the text, trimmed ones included
    qsizetype lastLength = 0;
    QObject::connect(pane.textView()->document(), &QTextDocument::contentsChange, [&] {
        // Only trimming shortens the text.
        const qsizetype length = pane.textStorage().length();
        shown += qMax<qsizetype>(0, length - lastLength);
        lastLength = length;
        while (!handedOver.empty() && handedOver.front().first <= shown) {
            waitsMs.append((clock.nsecsElapsed() - handedOver.front().second) / 1e6);
            handedOver.pop_front();
        }
        // A reader that holds back while the console is behind lets the
        // writer wait at the full pipe.
        if (c.backPressure && !ended && pane.queuedOutputLength() < holdBackAt)
            notifier.setEnabled(true);
    });
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char buffer[pieceBytes];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0) {
            notifier.setEnabled(false);
            ended = true;
            return;
        }
        const QString piece = decoder.decode(QByteArrayView(buffer, n));
        handed += piece.size();
        handedOver.emplace_back(handed, clock.nsecsElapsed());
        pane.appendAnswer(piece);
        if (c.backPressure && pane.queuedOutputLength() >= holdBackAt)
            notifier.setEnabled(false);
    });

    auto *app = static_cast<MeasuringApplication *>(QCoreApplication::instance());
    const qint64 cpuStart = threadCpuNs();
    clock.start();
    app->measuring = true;
    std::thread writer([&] {
        const auto write = [&](qsizetype from, qsizetype to) {
            while (from < to) {
                const ssize_t n = ::write(fds[1], c.data.constData() + from, size_t(to - from));
                if (n <= 0)
                    return;
                from += n;
            }
        };
        if (c.answerEnds.isEmpty()) {
            write(0, c.data.size());
        } else {
            qsizetype from = 0;
            for (const qsizetype to : c.answerEnds) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                write(from, to);
                from = to;
            }
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

    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::sort(waitsMs.begin(), waitsMs.end());
    const double mb = c.data.size() / (1024.0 * 1024.0);
    std::printf("  %.2f MB in %.2f s wall = %.1f MB/s; %.2f s GUI-thread CPU = %.1f MB/s\n", mb, wall, mb / wall, cpu,
                mb / cpu);
    std::printf("  longest event %.1f ms GUI-thread CPU (%s), %d events over 16 ms\n", app->maxStallNs / 1e6,
                qPrintable(app->longestKind), app->over16ms);
    if (!waitsMs.isEmpty())
        std::printf("  wait of a piece until it is in the text: median %.1f ms, longest %.1f ms (wall clock)\n",
                    waitsMs[waitsMs.size() / 2], waitsMs.last());
    std::printf("  peak RSS %ld MB; %lld units reached the text, %lld kept\n", usage.ru_maxrss / 1024,
                qlonglong(shown), qlonglong(pane.textStorage().length()));
    QList<std::pair<qint64, QString>> kinds;
    for (auto it = app->cpuByKind.cbegin(); it != app->cpuByKind.cend(); ++it)
        kinds.append({it.value(), it.key()});
    std::sort(kinds.begin(), kinds.end(), std::greater<>());
    std::printf("  GUI-thread CPU by event:");
    for (qsizetype i = 0; i < qMin<qsizetype>(3, kinds.size()); ++i)
        std::printf(" %.0f ms %s;", kinds[i].first / 1e6, qPrintable(kinds[i].second));
    std::printf("\n");
}

Case makeCase(const QString &name)
{
    Case c;
    if (name == u"long-lines") {
        c.data = longLineAnswers(totalBytes);
    } else if (name == u"trickle") {
        for (int i = 0; i < 200; ++i) {
            c.data += "val it = " + QByteArray::number(i) + " : int\n";
            c.answerEnds.append(c.data.size());
        }
    } else {
        c.data = realisticAnswers(totalBytes);
        if (name == u"answers-untrimmed")
            c.maximumLength = 3 * totalBytes;
        c.backPressure = name != u"flood";
    }
    return c;
}
} // namespace

int main(int argc, char **argv)
{
    olKeepLargeBlocksOnHeap(); // as the program does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    MeasuringApplication app(argc, argv);

    const QStringList cases{QStringLiteral("answers"), QStringLiteral("long-lines"),
                            QStringLiteral("answers-untrimmed"), QStringLiteral("flood"), QStringLiteral("trickle")};
    QStringList chosen = app.arguments().mid(1);
    if (chosen.isEmpty()) {
        for (const QString &name : cases) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(app.arguments().first(), {name});
            child.waitForFinished(-1);
        }
        return 0;
    }
    for (const QString &name : std::as_const(chosen)) {
        if (!cases.contains(name)) {
            std::fprintf(stderr, "unknown case %s; cases: %s\n", qPrintable(name), qPrintable(cases.join(u' ')));
            return 1;
        }
        std::printf("%s:\n", qPrintable(name));
        feed(makeCase(name));
        std::fflush(stdout);
    }
    return 0;
}
