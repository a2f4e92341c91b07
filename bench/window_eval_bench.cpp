// Evaluates a generated file of 2,000 val, fun and datatype declarations in a
// real document window ("Whole File") through the real interpreters, Poly ML
// and SML/NJ, and compares the time with a minimal driver: a loop that writes
// the same declarations to the interpreter's pipe, each followed by ";\n", and
// blocks reading until the interpreter's prompt. Both are timed from the first
// declaration to the last answer, the interpreter already at its first
// prompt.
//
// A window run is timed from the "Whole File" command until the last
// declaration is marked green. Beside the wall-clock time, the GUI thread's
// CPU time (this machine has wall-clock pauses of its own), and the repaints
// of each pane's viewport: on average and in the busiest second.
//
// Runs are interleaved, the driver's and the window's, so that a slow phase
// of the machine hits both alike; the figures are medians. Each run is a
// fresh process (the window's in this program, started with --window).
//
// usage: window_eval_bench [runs]   (offscreen, or under xvfb-run -a)

#include "app/OLHeap.h"
#include "app/OLAppDelegate.h"
#include "app/OLWindowController.h"
#include "console/OLInterpreterViewController.h"
#include "editor/OLDeclaration.h"
#include "editor/OLEditorViewController.h"
#include "highlight/OLSyntaxHighlighter.h"
#include "highlight/OLTextView.h"
#include "session/PXShellWrapper.h"

#include "benchdelegate.h"

#include "benchsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
constexpr int declarationCount = 2000;

struct Interpreter {
    const char *name;
    const char *path;
    const char *prompt; // primary prompt, after a line break
    double target;      // at most this times the driver's time
};
constexpr Interpreter interpreters[] = {{"Poly ML", "/usr/bin/poly", "\n> ", 1.10},
                                        {"SML/NJ", "/usr/bin/sml", "\n- ", 1.10}};

// The commits the window makes of the text: each declaration as the editor
// cuts it, followed by ";\n" as the session writes it.
std::vector<QByteArray> commits(const QString &text)
{
    std::vector<QByteArray> result;
    qsizetype at = 0;
    while (const std::optional<OLDeclaration> declaration = nextDeclaration(text, at)) {
        if (declaration->text().isEmpty())
            break;
        result.push_back((declaration->text() + QStringLiteral(";\n")).toUtf8());
        at += qsizetype(declaration->length());
    }
    return result;
}

// Reads until the output ends with the prompt; false at the end of the output.
bool readToPrompt(int fd, const QByteArray &prompt)
{
    QByteArray seen;
    char buffer[65536];
    while (!seen.endsWith(prompt)) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return false;
        // Only the tail can hold the prompt.
        seen = seen.right(prompt.size()) + QByteArray(buffer, n);
    }
    return true;
}

// The minimal driver: blocking pipe I/O, nothing else. Prints "wall cpu" in
// milliseconds for the declarations (its own CPU time, not the interpreter's).
int driveOnce(const Interpreter &interpreter, const QString &file)
{
    QFile source(file);
    if (!source.open(QIODevice::ReadOnly))
        return 1;
    const std::vector<QByteArray> input = commits(QString::fromUtf8(source.readAll()));
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0)
        return 1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        dup2(fromChild[1], 2);
        close(toChild[1]);
        close(fromChild[0]);
        if (qstrcmp(interpreter.path, "/usr/bin/poly") == 0)
            execl(interpreter.path, interpreter.path, "-i", static_cast<char *>(nullptr));
        else
            execl(interpreter.path, interpreter.path, static_cast<char *>(nullptr));
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    const QByteArray prompt(interpreter.prompt);
    if (!readToPrompt(fromChild[0], prompt))
        return 1;
    const double wall0 = nowMs(), cpu0 = threadCpuMs();
    for (const QByteArray &commit : input) {
        if (write(toChild[1], commit.constData(), size_t(commit.size())) != commit.size()
            || !readToPrompt(fromChild[0], prompt))
            return 1;
    }
    std::printf("%.3f %.3f\n", nowMs() - wall0, threadCpuMs() - cpu0);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return 0;
}

// Paints of one widget, by time.
class PaintCounter : public QObject
{
public:
    bool counting = false;
    std::vector<double> times;

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (counting && event->type() == QEvent::Paint)
            times.push_back(nowMs());
        return false;
    }

    // The most paints within any one second.
    static int busiestSecond(std::vector<double> t)
    {
        std::sort(t.begin(), t.end());
        int most = 0;
        for (size_t i = 0, j = 0; j < t.size(); ++j) {
            while (t[j] - t[i] >= 1000)
                ++i;
            most = std::max(most, int(j - i + 1));
        }
        return most;
    }
};

// Looks, after every event handled at the top of the event loop, whether the
// evaluation has ended: the time is that of the end of the event that
// marked the last declaration.
class WatchingApplication : public QApplication
{
public:
    using QApplication::QApplication;

    std::function<bool()> done;
    std::function<void()> ended;

    bool notify(QObject *receiver, QEvent *event) override
    {
        ++m_depth;
        const bool result = QApplication::notify(receiver, event);
        --m_depth;
        if (m_depth == 0 && done && done()) {
            done = nullptr;
            ended();
        }
        return result;
    }

private:
    int m_depth = 0;
};

// One window run. Prints "wall cpu editorPaints consolePaints editorBusiest
// consoleBusiest bothBusiest" (milliseconds, counts).
int windowOnce(int argc, char *argv[], const Interpreter &interpreter, const QString &file)
{
    WatchingApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    BenchDelegate bench(QString::fromLatin1(interpreter.path));
    OLAppDelegate &delegate = bench.delegate;
    if (!delegate.applicationDidFinishLaunching(QStringList(file)))
        return 1;
    OLWindowController *window = delegate.windows().constFirst();
    OLEditorViewController *editor = window->editor();
    OLInterpreterViewController *console = window->console();
    QFile source(file);
    if (!source.open(QIODevice::ReadOnly))
        return 1;
    const qsizetype length = QString::fromUtf8(source.readAll()).size();

    PaintCounter editorPaints, consolePaints;
    editor->textView()->viewport()->installEventFilter(&editorPaints);
    console->textView()->viewport()->installEventFilter(&consolePaints);

    double wall0 = 0, cpu0 = 0;
    int status = 1;
    app.ended = [&] {
        const double wall = nowMs() - wall0, cpu = threadCpuMs() - cpu0;
        editorPaints.counting = consolePaints.counting = false;
        if (editor->error().isSet() || editor->interpreted() != length || !console->errorRanges().isEmpty()) {
            // The reason, once the console shows it.
            while (console->queuedOutputLength() > 0)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            std::fprintf(stderr, "%s: the evaluation failed at %lld; the console ends with:\n%s\n", interpreter.name,
                         static_cast<long long>(editor->interpreted()),
                         qPrintable(console->textStorage().string().right(400)));
        } else {
            std::vector<double> both = editorPaints.times;
            both.insert(both.end(), consolePaints.times.begin(), consolePaints.times.end());
            std::printf("%.3f %.3f %zu %zu %d %d %d\n", wall, cpu, editorPaints.times.size(),
                        consolePaints.times.size(), PaintCounter::busiestSecond(editorPaints.times),
                        PaintCounter::busiestSecond(consolePaints.times), PaintCounter::busiestSecond(both));
            status = 0;
        }
        QCoreApplication::exit(status);
    };

    // Ready: the text in the editor, coloured and drawn; the interpreter's
    // banner in the console.
    QTimer ready;
    QObject::connect(&ready, &QTimer::timeout, [&] {
        if (editor->content().size() != length || console->fixedLength() == 0
            || OLSyntaxHighlighter::hasPendingHighlight(editor->textStorage())
            || !editor->textView()->isRenderingComplete() || console->queuedOutputLength() > 0)
            return;
        ready.stop();
        editorPaints.counting = consolePaints.counting = true;
        app.done = [&] { return editor->interpreted() == length || editor->error().isSet(); };
        wall0 = nowMs();
        cpu0 = threadCpuMs();
        window->evalFile();
    });
    ready.start(20);
    QTimer::singleShot(300'000, [] {
        std::fprintf(stderr, "timed out\n");
        QCoreApplication::exit(1);
    });
    QApplication::exec();
    PXShellWrapper::terminateAll();
    return status;
}

const Interpreter *interpreterNamed(const char *path)
{
    for (const Interpreter &interpreter : interpreters) {
        if (qstrcmp(interpreter.path, path) == 0)
            return &interpreter;
    }
    return nullptr;
}
} // namespace

int main(int argc, char *argv[])
{
    olKeepLargeBlocksOnHeap(); // as the program does
    QLoggingCategory::setFilterRules(QStringLiteral("ostrel.*.debug=false"));
    if (argc == 4 && (qstrcmp(argv[1], "--driver") == 0 || qstrcmp(argv[1], "--window") == 0)) {
        const Interpreter *interpreter = interpreterNamed(argv[2]);
        if (!interpreter)
            return 2;
        const QString file = QString::fromLocal8Bit(argv[3]);
        return qstrcmp(argv[1], "--driver") == 0 ? driveOnce(*interpreter, file)
                                                 : windowOnce(argc, argv, *interpreter, file);
    }
    // Offscreen, unless a display (xvfb-run) or a platform is given.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;

    const QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("declarations.sml"));
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(generatedDeclarations(declarationCount).toUtf8()) < 0)
            return 1;
    }
    std::printf("%d declarations, %d interleaved runs each (after one warm-up), medians\n", declarationCount, runs);
    for (const Interpreter &interpreter : interpreters) {
        std::vector<double> driverWall, driverCpu, wall, cpu, ratios, editorRate, consoleRate, editorBusiest,
            consoleBusiest, bothBusiest;
        for (int i = 0; i <= runs; ++i) {
            const QStringList arguments{QString(), QString::fromLatin1(interpreter.path), file};
            QStringList driverArguments = arguments, windowArguments = arguments;
            driverArguments[0] = QStringLiteral("--driver");
            windowArguments[0] = QStringLiteral("--window");
            const QList<double> d = figures(argv[0], driverArguments);
            const QList<double> w = figures(argv[0], windowArguments);
            if (d.size() != 2 || w.size() != 7) {
                std::fprintf(stderr, "%s: a run failed\n", interpreter.name);
                return 1;
            }
            if (i == 0)
                continue;
            driverWall.push_back(d[0]);
            driverCpu.push_back(d[1]);
            wall.push_back(w[0]);
            cpu.push_back(w[1]);
            ratios.push_back(w[0] / d[0]);
            editorRate.push_back(w[2] * 1000 / w[0]);
            consoleRate.push_back(w[3] * 1000 / w[0]);
            editorBusiest.push_back(w[4]);
            consoleBusiest.push_back(w[5]);
            bothBusiest.push_back(w[6]);
        }
        const double ratio = median(wall) / median(driverWall);
        const double pairs = median(ratios);
        const double busiest = std::max(median(editorBusiest), median(consoleBusiest));
        std::printf("%s\n"
                    "  driver  %7.1f ms  %.3f ms/decl\n"
                    "  window  %7.1f ms  %.3f ms/decl  GUI-thread CPU %.1f ms (%.3f ms/decl)\n"
                    "  ratio %.3f (of medians), %.3f (median of interleaved pairs) [target <= %.2f: %s]\n"
                    "  repaints per second, editor %.1f on average, %.0f in the busiest second; "
                    "console %.1f, %.0f; both panes together %.0f in the busiest second [target <= 60 each: %s]\n",
                    interpreter.name, median(driverWall), median(driverWall) / declarationCount, median(wall),
                    median(wall) / declarationCount, median(cpu), median(cpu) / declarationCount, ratio, pairs,
                    interpreter.target, std::max(ratio, pairs) <= interpreter.target ? "ok" : "MISSED",
                    median(editorRate), median(editorBusiest), median(consoleRate), median(consoleBusiest),
                    median(bothBusiest), busiest <= 60 ? "ok" : "MISSED");
        std::printf("  runs (window/driver ms):");
        for (size_t i = 0; i < wall.size(); ++i)
            std::printf(" %.0f/%.0f", wall[i], driverWall[i]);
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}
