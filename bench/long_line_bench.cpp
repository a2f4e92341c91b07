// Long lines, offscreen, GUI-thread CPU time (this machine has wall-clock
// pauses of its own):
//   find   - an editor pane holding one line of 1 MB (an int list): Find Next,
//            from the command to the painted pane, 20 times;
//   typing - an editor pane holding one line of 10 MB: 40 keystrokes in its
//            middle, from the key to the painted pane, and the longest event
//            each leaves after it;
//   paste  - a document window whose interpreter is this program (--sink):
//            10 MB of declarations pasted into the console and committed with
//            Return; the rate from the paste until the interpreter has read
//            the last byte, and the longest event on the way.
// Run without arguments for every case, each in its own process, or with
// case names.

#include "app/OLHeap.h"
#include "app/OLAppDelegate.h"
#include "app/OLWindowController.h"
#include "console/OLInterpreterViewController.h"
#include "editor/OLEditorViewController.h"
#include "editor/OLEditorWindow.h"
#include "editor/OLFindBar.h"
#include "highlight/OLSyntaxHighlighter.h"
#include "highlight/OLTextView.h"
#include "session/PXShellWrapper.h"

#include "benchdelegate.h"

#include "benchsupport.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <vector>

namespace {
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
        const int type = event->type();
        const qint64 start = threadCpuNs();
        const bool result = QApplication::notify(receiver, event);
        const qint64 spent = threadCpuNs() - start;
        if (spent > longestNs) {
            longestNs = spent;
            longest = QStringLiteral("event %1 to a %2").arg(type).arg(QLatin1StringView(receiver->metaObject()->className()));
        }
        --m_depth;
        return result;
    }

    qint64 longestNs = 0;
    QString longest;

private:
    int m_depth = 0;
};

MeasuringApplication *app()
{
    return static_cast<MeasuringApplication *>(QCoreApplication::instance());
}

class QuietWindow : public OLEditorWindow
{
public:
    void eval(const QString &, qint32) override {}
    bool fileChanged() override { return false; }
};

OLStyleSet styles()
{
    OLStyleSet s;
    s.regColor = OLColor{0, 0, 0, 1};
    s.keyColor = OLColor{0.5, 0, 0.5, 1};
    s.strColor = OLColor{0.8, 0.1, 0.1, 1};
    s.comColor = OLColor{0.1, 0.5, 0.1, 1};
    s.errColor = OLColor{1, 0, 0, 1};
    s.name = QStringLiteral("Monospace");
    s.size = 11;
    return s;
}

// "val xs = [0, 1, 2, ... ]" of at least `units` units, without a line break.
QString intList(qsizetype units)
{
    QString line = QStringLiteral("val xs = [");
    line.reserve(units + 16);
    for (int k = 0; line.size() < units; ++k)
        line += QString::number(k) + QStringLiteral(", ");
    return line + QStringLiteral("0]");
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

const char *verdict(bool ok)
{
    return ok ? "ok" : "MISSED";
}

// Events until the colouring and the drawing are done; the longest turn.
double drain(const OLEditorViewController &pane)
{
    double longest = 0;
    while (OLSyntaxHighlighter::hasPendingHighlight(pane.textStorage()) || !pane.textView()->isRenderingComplete()) {
        const double t0 = threadCpuMs();
        QCoreApplication::processEvents();
        longest = std::max(longest, threadCpuMs() - t0);
    }
    return longest;
}

struct Pane {
    explicit Pane(const QString &text)
    {
        pane.setWindowController(&window);
        pane.resize(900, 700);
        pane.show();
        QCoreApplication::processEvents();
        const double t0 = threadCpuMs();
        pane.setContent(text);
        pane.setFontAttributes(styles());
        pane.textView()->viewport()->repaint();
        loadMs = threadCpuMs() - t0;
        drain(pane);
    }
    QuietWindow window;
    OLEditorViewController pane;
    double loadMs = 0;
};

int findCase()
{
    Pane p(intList(1024 * 1024));
    std::printf("find: one line of %lld units, loaded and drawn in %.0f ms\n",
                static_cast<long long>(p.pane.content().size()), p.loadMs);
    p.pane.performFindPanel();
    auto *bar = p.pane.findChild<OLFindBar *>();
    // Each number from 1000 on holds "7" now and then: matches all along the line.
    bar->searchField()->setText(QStringLiteral("777"));
    QCoreApplication::processEvents();
    std::vector<double> times;
    qsizetype last = -1;
    for (int i = 0; i < 20; ++i) {
        const double t0 = threadCpuMs();
        if (!bar->findNext())
            return 1;
        p.pane.textView()->viewport()->repaint();
        times.push_back(threadCpuMs() - t0);
        last = p.pane.textView()->textCursor().selectionStart();
        drain(p.pane);
    }
    std::printf("  Find Next (20), to the painted pane: p50 %.1f ms, max %.1f ms [target <= 50: %s]; "
                "last match at %lld\n",
                percentile(times, 0.5), percentile(times, 1), verdict(percentile(times, 1) <= 50),
                static_cast<long long>(last));
    return 0;
}

int typingCase()
{
    Pane p(intList(10 * 1024 * 1024));
    std::printf("typing: one line of %lld units, loaded and drawn in %.0f ms\n",
                static_cast<long long>(p.pane.content().size()), p.loadMs);
    QTextCursor cursor = p.pane.textView()->textCursor();
    cursor.setPosition(int(p.pane.content().size() / 2));
    p.pane.textView()->setTextCursor(cursor);
    p.pane.textView()->centerCursor();
    drain(p.pane);
    const Qt::Key keys[] = {Qt::Key_X, Qt::Key_Space, Qt::Key_A, Qt::Key_1, Qt::Key_Backspace};
    std::vector<double> times;
    double worstLater = 0;
    // Keystrokes of seconds each stop after a minute.
    for (int i = 0; i < 40 && std::accumulate(times.begin(), times.end(), 0.0) < 60'000; ++i) {
        const double t0 = threadCpuMs();
        QTest::keyClick(p.pane.textView(), keys[i % 5]);
        p.pane.textView()->viewport()->repaint();
        times.push_back(threadCpuMs() - t0);
        worstLater = std::max(worstLater, drain(p.pane));
    }
    std::printf("  keystroke to painted pane (%zu): p50 %.1f ms, p99 %.1f ms, max %.1f ms [target <= 16: %s]; "
                "worst later event-loop turn %.1f ms\n",
                times.size(), percentile(times, 0.5), percentile(times, 0.99), percentile(times, 1),
                verdict(percentile(times, 1) <= 16), worstLater);
    return 0;
}

// 10 MB of declarations, the last ending in ";", so that Return commits them.
QString declarations()
{
    QString text = sampleSource(600'000);
    text.truncate(10 * 1024 * 1024);
    text.truncate(text.lastIndexOf(u'\n') + 1);
    return text + QStringLiteral("val last = 0;");
}

// The stand-in interpreter: reads everything, then says when the last of
// `total` bytes came (CLOCK_MONOTONIC, milliseconds).
int sink(qint64 total)
{
    std::printf("ready\n");
    std::fflush(stdout);
    qint64 got = 0;
    char buffer[65536];
    while (got < total) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0)
            return 1;
        got += n;
    }
    std::printf("received %lld at %.3f\n", static_cast<long long>(got), nowMs());
    std::fflush(stdout);
    // Stays, as an interpreter does, until the window goes.
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return 0;
}

int pasteCase()
{
    const QString text = declarations();
    // The text; the line end the session adds follows it.
    const qint64 bytes = text.toUtf8().size();
    // Through a script: the program refuses itself as its interpreter.
    const QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("sink"));
    QFile file(script);
    if (!file.open(QIODevice::WriteOnly)
        || file.write("#!/bin/sh\nexec '" + QCoreApplication::applicationFilePath().toUtf8() + "' --sink "
                      + QByteArray::number(bytes) + "\n") < 0
        || !file.setPermissions(QFile::ReadOwner | QFile::ExeOwner))
        return 1;
    file.close();
    BenchDelegate bench(script);
    if (!bench.delegate.applicationDidFinishLaunching({}))
        return 1;
    OLWindowController *window = bench.delegate.windows().constFirst();
    OLInterpreterViewController *console = window->console();
    while (console->fixedLength() == 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QGuiApplication::clipboard()->setText(text);
    console->textView()->setFocus();
    QCoreApplication::processEvents();

    const QString received = QStringLiteral("received ");
    app()->longestNs = 0;
    const double t0 = nowMs();
    const double cpu0 = threadCpuMs();
    console->textView()->guardedPaste();
    const double pasteMs = threadCpuMs() - cpu0;
    QTest::keyClick(console->textView(), Qt::Key_Return);
    QTimer timeout;
    timeout.start(600'000);
    qsizetype at = -1;
    // The report ends the text.
    const auto tail = [console] { return console->textStorage().string().right(200); };
    while (timeout.isActive() && (at = tail().lastIndexOf(received)) < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (at < 0) {
        std::fprintf(stderr, "paste: the interpreter did not receive everything\n");
        return 1;
    }
    const QString report = tail().mid(at + received.size()).section(u'\n', 0, 0);
    const double doneAt = report.section(u' ', 2, 2).toDouble();
    const double seconds = (doneAt - t0) / 1000;
    const double mb = double(bytes) / (1024 * 1024);
    std::printf("paste: %.2f MB of declarations into the console, committed with Return\n", mb);
    std::printf("  received by the interpreter after %.2f s wall = %.1f MB/s [target >= 5: %s]; "
                "the paste itself %.0f ms GUI-thread CPU\n",
                seconds, mb / seconds, verdict(mb / seconds >= 5), pasteMs);
    std::printf("  longest event %.1f ms GUI-thread CPU (%s) [target <= 100: %s]; %.2f s GUI-thread CPU in all\n",
                app()->longestNs / 1e6, qPrintable(app()->longest), verdict(app()->longestNs <= 100'000'000),
                (threadCpuMs() - cpu0) / 1000);
    PXShellWrapper::terminateAll();
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    olKeepLargeBlocksOnHeap(); // as the program does
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc == 3 && qstrcmp(argv[1], "--sink") == 0)
        return sink(QByteArray(argv[2]).toLongLong());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    MeasuringApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QLoggingCategory::setFilterRules(QStringLiteral("ostrel.*.debug=false"));

    const QStringList cases{QStringLiteral("find"), QStringLiteral("typing"), QStringLiteral("paste")};
    const QStringList chosen = application.arguments().mid(1);
    if (chosen.isEmpty()) {
        for (const QString &name : cases) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(application.arguments().first(), {name});
            child.waitForFinished(-1);
        }
        return 0;
    }
    for (const QString &name : chosen) {
        int status = 2;
        if (name == u"find")
            status = findCase();
        else if (name == u"typing")
            status = typingCase();
        else if (name == u"paste")
            status = pasteCase();
        else
            std::fprintf(stderr, "unknown case %s; cases: %s\n", qPrintable(name), qPrintable(cases.join(u' ')));
        std::fflush(stdout);
        if (status != 0)
            return status;
    }
    return 0;
}
