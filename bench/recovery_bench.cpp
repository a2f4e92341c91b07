// The recovery journal while typing in a 50,000-line file (CRLF, about
// 1.7 MB), in a real window, offscreen:
//  - journalNow on the GUI thread: the snapshot handed to the journal thread;
//  - the journal thread's write of it: encoding, hashing, the atomic write
//    with its fdatasync, from the hand-over until done;
//  - the same write done on the GUI thread, hash included as in a first
//    write (later ones reuse it), which is what typing would wait for
//    without the journal thread;
//  - keystrokes (key event to painted viewport) while a journal write is in
//    flight, against keystrokes with none.
// Each figure is over 20 rounds: p50 and max, GUI-thread CPU time and wall
// time (this machine pauses now and then, which only the wall time shows).
// Run: build/bench/recovery_bench

#include "app/OLHeap.h"
#include "app/OLAppDelegate.h"
#include "app/OLRecoveryJournal.h"
#include "app/OLWindowController.h"
#include "editor/OLEditorViewController.h"
#include "highlight/OLTextView.h"
#include "session/PXShellWrapper.h"

#include "benchdelegate.h"

#include "benchsupport.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {
constexpr int rounds = 20;
constexpr int lines = 50000;

struct Figures {
    std::vector<double> cpu;
    std::vector<double> wall;

    void add(double cpuMs, double wallMs)
    {
        cpu.push_back(cpuMs);
        wall.push_back(wallMs);
    }
    static double p50(std::vector<double> v)
    {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    static double max(const std::vector<double> &v) { return *std::max_element(v.begin(), v.end()); }
    void print(const char *what) const
    {
        std::printf("%-44s cpu p50 %7.2f ms max %7.2f ms | wall p50 %7.2f ms max %7.2f ms (n=%zu)\n", what,
                    p50(cpu), max(cpu), p50(wall), max(wall), cpu.size());
    }
};

// GUI-thread CPU and wall time of `work`.
void time(Figures &figures, const std::function<void()> &work)
{
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = threadCpuMs();
    work();
    figures.add(threadCpuMs() - cpu0, double(wall.nsecsElapsed()) / 1e6);
}

QByteArray generate()
{
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += "fun f" + QByteArray::number(i) + " x = x * " + QByteArray::number(i) + " (* step " +
                QByteArray::number(i % 97) + " *)\r\n";
    return text;
}
} // namespace

int main(int argc, char *argv[])
{
    olKeepLargeBlocksOnHeap(); // as the program does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    BenchDelegate bench;
    OLAppDelegate &delegate = bench.delegate;
    const QByteArray bytes = generate();
    const QString path = bench.dir.filePath(QStringLiteral("big.sml"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return 1;
    }
    if (!delegate.applicationDidFinishLaunching({path}))
        return 1;
    OLWindowController *window = delegate.windows().constFirst();
    OLTextView *view = window->editor()->textView();
    while (window->editor()->content().isEmpty())
        QCoreApplication::processEvents();
    view->setFocus();
    view->moveCursor(QTextCursor::End);
    QTest::keyClick(view, Qt::Key_X);
    std::printf("file: %d lines, %lld bytes\n", lines, qlonglong(bytes.size()));

    OLRecoveryStore &store = delegate.recovery();
    Figures handOver, journalThread, onGuiThread, typingDuringWrite, typingAlone;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer written;
        time(handOver, [&] { window->journalNow(); });
        written.start();
        store.waitForDone();
        journalThread.add(0, double(written.nsecsElapsed()) / 1e6);
    }

    // What the journal thread does, done here instead.
    QString error;
    const OLSourceFile source = *OLSourceFile::read(path, &error);
    const QString text = window->content();
    const QString copy = bench.dir.filePath(QStringLiteral("synchronous.journal"));
    for (int i = 0; i < rounds; ++i) {
        time(onGuiThread, [&] {
            const QByteArray encoded = source.encode(text);
            QCryptographicHash::hash(source.bytes(), QCryptographicHash::Sha256);
            OLSourceFile::write(copy, encoded, &error, QFile::ReadOwner | QFile::WriteOwner);
        });
    }

    const auto keystroke = [&](Figures &figures) {
        time(figures, [&] {
            QTest::keyClick(view, Qt::Key_Y);
            view->viewport()->repaint();
        });
    };
    for (int i = 0; i < rounds; ++i) {
        store.waitForDone();
        keystroke(typingAlone);
        window->journalNow();
        keystroke(typingDuringWrite);
    }
    store.waitForDone();

    handOver.print("journalNow, GUI thread:");
    std::printf("%-44s wall p50 %7.2f ms max %7.2f ms\n", "journal write, journal thread:",
                Figures::p50(journalThread.wall), Figures::max(journalThread.wall));
    onGuiThread.print("the same write on the GUI thread, hashed:");
    typingAlone.print("keystroke, no journal write:");
    typingDuringWrite.print("keystroke, journal write in flight:");
    PXShellWrapper::terminateAll();
    return 0;
}
