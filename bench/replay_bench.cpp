// A retract's replay of 2,000 val, fun and datatype declarations in a real
// document window, through the real interpreters (Poly ML and SML/NJ),
// against ostrel-eval on a file of the same 2,000 declarations.
//
// The window's file holds one declaration more. It is evaluated whole first
// (not timed); then Undo Step retracts the last declaration, and a new
// interpreter takes the 2,000 others again. The replay is timed from the
// command until the last of them is answered; ostrel-eval as a process, from
// its start to its end. Both times include the start of an interpreter.
// Beside them, the longest event the window handled during the replay (a key
// pressed meanwhile waits at most that long), in wall-clock time and in the
// GUI thread's CPU time (this machine has wall-clock pauses of its own), and
// the GUI thread's CPU time for the whole replay.
//
// Runs are interleaved, ostrel-eval's and the window's, each a fresh process;
// the figures are medians.
//
// usage: replay_bench [runs]   (offscreen, or under xvfb-run -a)

#include "app/OLAppDelegate.h"
#include "app/OLHeap.h"
#include "app/OLWindowController.h"
#include "console/OLInterpreterViewController.h"
#include "editor/OLEditorViewController.h"
#include "highlight/OLSyntaxHighlighter.h"
#include "highlight/OLTextView.h"
#include "session/PXShellWrapper.h"

#include "benchdelegate.h"
#include "benchsupport.h"

#include <QApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
constexpr int declarationCount = 2000;
constexpr const char *interpreters[][2] = {{"Poly ML", "/usr/bin/poly"}, {"SML/NJ", "/usr/bin/sml"}};

// After every event handled at the top of the event loop: how long it took
// while `timing`, and whether the work has ended.
class WatchingApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool timing = false;
    double longestEvent = 0, longestEventCpu = 0; // milliseconds
    std::function<bool()> done;
    std::function<void()> ended;

    bool notify(QObject *receiver, QEvent *event) override
    {
        const double wall = m_depth == 0 ? nowMs() : 0, cpu = m_depth == 0 ? threadCpuMs() : 0;
        ++m_depth;
        const bool result = QApplication::notify(receiver, event);
        --m_depth;
        if (m_depth == 0) {
            if (timing) {
                longestEvent = std::max(longestEvent, nowMs() - wall);
                longestEventCpu = std::max(longestEventCpu, threadCpuMs() - cpu);
            }
            if (done && done()) {
                done = nullptr;
                ended();
            }
        }
        return result;
    }

private:
    int m_depth = 0;
};

// One window run. Prints "replay longestEvent longestEventCpu cpu" in
// milliseconds.
int windowOnce(int argc, char *argv[], const QString &interpreter, const QString &file)
{
    WatchingApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    BenchDelegate bench(interpreter);
    if (!bench.delegate.applicationDidFinishLaunching(QStringList(file)))
        return 1;
    OLWindowController *window = bench.delegate.windows().constFirst();
    OLEditorViewController *editor = window->editor();
    OLInterpreterViewController *console = window->console();
    QFile source(file);
    if (!source.open(QIODevice::ReadOnly))
        return 1;
    const qsizetype length = QString::fromUtf8(source.readAll()).size();
    const qsizetype replayed = generatedDeclarations(declarationCount).size();

    int status = 1;
    double start = 0, cpu = 0;
    const auto settled = [&] {
        return editor->content().size() == length && !editor->pending().isSet()
            && !OLSyntaxHighlighter::hasPendingHighlight(editor->textStorage())
            && editor->textView()->isRenderingComplete() && console->queuedOutputLength() == 0;
    };
    const auto replay = [&] {
        app.done = [&] { return !editor->evaluated().isReplaying() && !editor->pending().isSet(); };
        app.ended = [&] {
            const double wall = nowMs() - start;
            cpu = threadCpuMs() - cpu;
            app.timing = false;
            if (editor->error().isSet() || editor->interpreted() != replayed) {
                std::fprintf(stderr, "the replay failed at %lld\n", static_cast<long long>(editor->interpreted()));
            } else {
                std::printf("%.3f %.3f %.3f %.3f\n", wall, app.longestEvent, app.longestEventCpu, cpu);
                status = 0;
            }
            QCoreApplication::exit(status);
        };
        app.timing = true;
        start = nowMs();
        cpu = threadCpuMs();
        window->undoStep();
    };
    // Evaluated whole, drawn, and quiet: then the replay, in an event of its own.
    QTimer ready;
    QObject::connect(&ready, &QTimer::timeout, [&] {
        if (editor->error().isSet()) {
            std::fprintf(stderr, "the evaluation failed at %lld; the console ends with:\n%s\n",
                         static_cast<long long>(editor->interpreted()),
                         qPrintable(console->textStorage().string().right(400)));
            QCoreApplication::exit(1);
        }
        if (!settled() || console->fixedLength() == 0)
            return;
        if (editor->interpreted() == 0) {
            window->evalFile();
        } else if (editor->interpreted() == length) {
            ready.stop();
            QTimer::singleShot(0, replay);
        }
    });
    ready.start(20);
    QTimer::singleShot(300'000, [&] {
        std::fprintf(stderr, "timed out with %lld of %lld evaluated\n", static_cast<long long>(editor->interpreted()),
                     static_cast<long long>(length));
        QCoreApplication::exit(1);
    });
    QApplication::exec();
    PXShellWrapper::terminateAll();
    return status;
}

// ostrel-eval on the file; its wall time in milliseconds, or a negative one.
double evalOnce(const QString &interpreter, const QString &file)
{
    QProcess run;
    run.setStandardOutputFile(QProcess::nullDevice());
    const double start = nowMs();
    run.start(QStringLiteral(OSTREL_EVAL), {QStringLiteral("--interpreter"), interpreter, file});
    if (!run.waitForFinished(300'000) || run.exitStatus() != QProcess::NormalExit || run.exitCode() != 0)
        return -1;
    return nowMs() - start;
}

bool writeFile(const QString &path, const QString &text)
{
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(text.toUtf8()) >= 0;
}
} // namespace

int main(int argc, char *argv[])
{
    olKeepLargeBlocksOnHeap(); // as the program does
    QLoggingCategory::setFilterRules(QStringLiteral("ostrel.*.debug=false"));
    if (argc == 4 && qstrcmp(argv[1], "--window") == 0)
        return windowOnce(argc, argv, QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    // Offscreen, unless a display (xvfb-run) or a platform is given.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    const QTemporaryDir dir;
    const QString replayed = dir.filePath(QStringLiteral("replayed.sml"));
    const QString window = dir.filePath(QStringLiteral("window.sml"));
    const QString text = generatedDeclarations(declarationCount);
    if (!writeFile(replayed, text) || !writeFile(window, text + QStringLiteral("val retracted = 0\n")))
        return 1;
    std::printf("%d declarations replayed, %d interleaved runs each (after one warm-up), medians\n", declarationCount,
                runs);
    for (const auto &[name, path] : interpreters) {
        const QString interpreter = QString::fromLatin1(path);
        std::vector<double> eval, wall, ratios, longest, longestCpu, cpu;
        int failed = 0;
        for (int i = 0; i <= runs; ++i) {
            const double e = evalOnce(interpreter, replayed);
            const QList<double> w = figures(argv[0], {QStringLiteral("--window"), interpreter, window});
            // A pair with a failed run is left out (said on stderr).
            if (e < 0 || w.size() != 4) {
                std::fprintf(stderr, "%s: %s failed\n", name, e < 0 ? "ostrel-eval" : "the window");
                ++failed;
                continue;
            }
            if (i == 0)
                continue;
            eval.push_back(e);
            wall.push_back(w[0]);
            ratios.push_back(w[0] / e);
            longest.push_back(w[1]);
            longestCpu.push_back(w[2]);
            cpu.push_back(w[3]);
        }
        if (wall.empty()) {
            std::printf("%s: no run succeeded\n", name);
            continue;
        }
        const double ratio = std::max(median(wall) / median(eval), median(ratios));
        const double worst = *std::max_element(longest.begin(), longest.end());
        std::printf("%s\n"
                    "  ostrel-eval %7.1f ms\n"
                    "  replay      %7.1f ms  GUI-thread CPU %.1f ms  ratio %.3f (of medians), %.3f (median of pairs) "
                    "[target <= 1.10: %s]\n"
                    "  longest event during the replay %.1f ms (median), %.1f ms (worst run) [target <= 16: %s]; "
                    "in CPU time %.1f ms (median), %.1f ms (worst run)\n",
                    name, median(eval), median(wall), median(cpu), median(wall) / median(eval), median(ratios),
                    ratio <= 1.10 ? "ok" : "MISSED", median(longest), worst, worst <= 16 ? "ok" : "MISSED",
                    median(longestCpu), *std::max_element(longestCpu.begin(), longestCpu.end()));
        std::printf("  runs (replay/ostrel-eval ms), %d failed:", failed);
        for (size_t i = 0; i < wall.size(); ++i)
            std::printf(" %.0f/%.0f", wall[i], eval[i]);
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}
