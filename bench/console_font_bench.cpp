// setFontAttributes on both panes of a real document window, offscreen: the
// editor holding a generated 50,000-line file, the console 50,000 lines of
// interpreter output recorded as 10,000 answer ranges. Measured: each pane's
// part on its own (the console's for the input style set and for the answer
// style set) and the window's font update, which does all three; each from
// the call to the repainted panes, then the idle slices it leaves.
// Times are GUI-thread CPU time (this machine has wall-clock pauses of its
// own), with the wall-clock time beside; each is the median of several runs.
//
// usage: console_font_bench [runs]   (offscreen, or under xvfb-run -a)

#include "app/OLHeap.h"
#include "app/OLAppDelegate.h"
#include "app/OLWindowController.h"
#include "console/OLInterpreterViewController.h"
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
#include <QSettings>
#include <QTemporaryDir>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
constexpr int editorLines = 50'000;
constexpr int answers = 10'000;
constexpr double targetMs = 300;

// An answer of five lines, with keywords, strings and a comment to colour.
QString answer(int i)
{
    const QString n = QString::number(i);
    return "structure S" + n + " :\n  sig\n    val name : string (* \"S" + n + "\" *)\n    val count : int\n  end\n";
}

struct Measure {
    std::vector<double> cpu, wall, slices, slicesMax;
};

bool rendered(const OLWindowController &window)
{
    return window.editor()->textView()->isRenderingComplete()
        && !OLSyntaxHighlighter::hasPendingHighlight(window.editor()->textStorage())
        && window.console()->queuedOutputLength() == 0;
}

// Runs `change`, then paints both panes; then the event loop until every
// colour is drawn, timing each turn.
void measure(OLWindowController &window, const std::function<void()> &change, Measure &m)
{
    const double cpu0 = threadCpuMs();
    QElapsedTimer wall;
    wall.start();
    change();
    window.editor()->textView()->viewport()->repaint();
    window.console()->textView()->viewport()->repaint();
    m.cpu.push_back(threadCpuMs() - cpu0);
    m.wall.push_back(double(wall.nsecsElapsed()) / 1e6);
    double total = 0, most = 0;
    while (!rendered(window)) {
        const double t0 = threadCpuMs();
        QCoreApplication::processEvents();
        const double t = threadCpuMs() - t0;
        total += t;
        most = std::max(most, t);
    }
    m.slices.push_back(total);
    m.slicesMax.push_back(most);
}

const char *verdict(bool ok)
{
    return ok ? "ok" : "MISSED";
}
} // namespace

int main(int argc, char *argv[])
{
    olKeepLargeBlocksOnHeap(); // as the program does
    // Offscreen, unless a display (xvfb-run) or a platform is given.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QLoggingCategory::setFilterRules(QStringLiteral("ostrel.*.debug=false"));
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("big.sml"));
    const QString text = sampleSource(editorLines);
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0)
            return 1;
    }
    BenchDelegate bench;
    OLAppDelegate &delegate = bench.delegate;
    delegate.defaults().saveMaximumConsoleLength(4'000'000);
    if (!delegate.applicationDidFinishLaunching(QStringList(file)))
        return 1;
    OLWindowController &window = *delegate.windows().constFirst();
    OLInterpreterViewController &console = *window.console();
    OLEditorViewController &editor = *window.editor();

    // The file in the editor and the interpreter's banner in the console.
    while (editor.content().size() != text.size() || console.fixedLength() == 0 || !rendered(window))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    for (int i = 0; i < answers; ++i)
        console.appendAnswer(answer(i));
    while (!rendered(window))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("editor: %lld lines; console: %d lines, %lld answer ranges, %lld error ranges\n",
                static_cast<long long>(editor.textView()->document()->blockCount()),
                console.textView()->document()->blockCount(),
                static_cast<long long>(console.answerRanges().size()),
                static_cast<long long>(console.errorRanges().size()));

    OLUserDefaults &defaults = delegate.defaults();
    const OLStyleSet opaque = defaults.loadFontAttributes(true);
    const OLStyleSet answerStyles = defaults.loadFontAttributes(false);
    const struct {
        const char *label;
        std::function<void()> change;
    } cases[] = {
        {"editor pane", [&] { editor.setFontAttributes(opaque); }},
        {"console pane, input style set", [&] { console.setFontAttributes(opaque, true); }},
        {"console pane, answer style set", [&] { console.setFontAttributes(answerStyles, false); }},
        {"window: both panes, all three", [&] { window.updateFontAttributes(); }},
    };
    for (const auto &c : cases) {
        Measure m;
        for (int i = 0; i < runs; ++i)
            measure(window, c.change, m);
        const double cpu = median(m.cpu);
        std::printf("%-32s at once: CPU %6.1f ms, wall %6.1f ms [target < %.0f: %s]; then idle slices %5.1f ms "
                    "(longest turn %.2f ms)\n",
                    c.label, cpu, median(m.wall), targetMs, verdict(cpu < targetMs), median(m.slices),
                    median(m.slicesMax));
    }
    std::printf("console still holds %lld answer ranges\n", static_cast<long long>(console.answerRanges().size()));
    PXShellWrapper::terminateAll();
    return 0;
}
