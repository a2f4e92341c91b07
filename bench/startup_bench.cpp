// Start-up figures of the application, measured from the start of the
// process (its start time in /proc/self/stat, 10 ms ticks):
//   window  - to the first paint of a new document's window
//   prompt  - to the first output of Poly ML in the console (its banner,
//             shown once the interpreter stands at its prompt)
//   bigfile - a 50,000-line file named on the command line, to the first
//             paint of the editor that shows its text, coloured
// Each is the median of several runs, each run a fresh process, run warm.
// Beside the wall-clock time, the CPU time the process had used by then (all
// its threads, loading included), which other load on the machine does not
// inflate.
// Run under Xvfb: xvfb-run -a build/bench/startup_bench [runs]

#include "app/OLHeap.h"
#include "app/OLAppDelegate.h"
#include "app/OLAsker.h"
#include "app/OLWindowController.h"
#include "console/OLInterpreterViewController.h"
#include "editor/OLEditorViewController.h"
#include "highlight/OLTextView.h"
#include "session/PXShellWrapper.h"

#include "benchdelegate.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {
// Milliseconds from the start of this process until now.
double sinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // Field 22, counted after the command name in parentheses.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double startMs = fields.value(19).toDouble() * 1000.0 / double(sysconf(_SC_CLK_TCK));
    timespec now;
    clock_gettime(CLOCK_BOOTTIME, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6 - startMs;
}

double processCpuMs()
{
    timespec cpu;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    return double(cpu.tv_sec) * 1000.0 + double(cpu.tv_nsec) / 1e6;
}

// "wall cpu", in milliseconds, then the end of the run.
void report()
{
    std::printf("%.1f %.1f\n", sinceProcessStart(), processCpuMs());
    std::fflush(stdout);
}

// Reports the time of the first paint of `watched` for which `ready` holds.
class PaintWatch : public QObject
{
public:
    PaintWatch(std::function<bool()> ready)
        : m_ready(std::move(ready))
    {
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_done && m_ready()) {
            m_done = true;
            // After this paint has been done.
            QTimer::singleShot(0, [] {
                report();
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

private:
    std::function<bool()> m_ready;
    bool m_done = false;
};

QString bigFile(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("big.sml"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QTextStream out(&file);
    for (int i = 0; i < 50000; ++i) {
        if (i % 10 == 0)
            out << "(* part " << i / 10 << " *)\n";
        else
            out << "val x" << i << " = \"value\" ^ Int.toString " << i << ";\n";
    }
    return path;
}

int runOnce(int argc, char *argv[], const QString &what, const QString &file)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    BenchDelegate bench;
    OLAppDelegate &delegate = bench.delegate;
    if (!delegate.applicationDidFinishLaunching(file.isEmpty() ? QStringList() : QStringList(file)))
        return 1;
    OLWindowController *window = delegate.windows().constFirst();
    OLEditorViewController *editor = window->editor();
    PaintWatch watch([&] {
        if (what == QStringLiteral("window"))
            return true;
        // Loaded, and the first line coloured.
        return editor->content().size() > 1000000 && editor->textStorage().foregroundColorAt(3).has_value();
    });
    QTimer prompt;
    if (what == QStringLiteral("prompt")) {
        QObject::connect(&prompt, &QTimer::timeout, [&] {
            if (window->console()->fixedLength() > 0) {
                prompt.stop();
                report();
                QCoreApplication::exit(0);
            }
        });
        prompt.start(1);
    } else {
        editor->textView()->viewport()->installEventFilter(&watch);
    }
    const int result = QApplication::exec();
    PXShellWrapper::terminateAll();
    return result;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? -1 : values[values.size() / 2];
}
} // namespace

int main(int argc, char *argv[])
{
    olKeepLargeBlocksOnHeap(); // as the program does
    if (argc > 2 && qstrcmp(argv[1], "--run") == 0)
        return runOnce(argc, argv, QString::fromLatin1(argv[2]), argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString());

    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    const QTemporaryDir dir;
    const QString big = bigFile(dir);
    const struct {
        const char *what;
        const char *label;
        double target;
    } cases[] = {{"window", "start to first painted window", 150},
                 {"prompt", "start to the interpreter's first output", 200},
                 {"bigfile", "50,000-line file visible and coloured", 300}};
    for (const auto &c : cases) {
        QList<double> times;
        QList<double> cpuTimes;
        // One warm-up run, not counted.
        for (int i = 0; i <= runs; ++i) {
            QProcess run;
            run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            QStringList arguments{QStringLiteral("--run"), QString::fromLatin1(c.what)};
            if (qstrcmp(c.what, "bigfile") == 0)
                arguments.append(big);
            run.start(QString::fromLocal8Bit(argv[0]), arguments);
            if (!run.waitForFinished(60000) || run.exitCode() != 0) {
                std::fprintf(stderr, "%s: run failed\n", c.what);
                return 1;
            }
            const QList<QByteArray> figures = run.readAllStandardOutput().trimmed().split(' ');
            if (i > 0) {
                times.append(figures.value(0).toDouble());
                cpuTimes.append(figures.value(1).toDouble());
            }
        }
        std::printf("%-42s median %6.1f ms (target <= %.0f ms), CPU %5.1f ms; runs:", c.label, median(times),
                    c.target, median(cpuTimes));
        for (double t : std::as_const(times))
            std::printf(" %.0f", t);
        std::printf("\n");
    }
    return 0;
}
