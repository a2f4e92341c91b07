// Keystrokes in the editor pane on a generated 50,000-line file, offscreen,
// in a window-sized pane with the first fifth evaluated, a warning underlined
// in every fourth declaration of it:
//  - 100 keystrokes in the unevaluated part, just below the evaluated one
//    (whose last warnings are in view), from the key event to the painted
//    viewport, p50 and p99 of GUI-thread CPU time;
//  - typing "(*" there, which turns the whole rest into a comment: the work
//    done at once and the idle slices that colour the rest;
//  - setFontAttributes with new colours on the whole file, marks and all;
//  - whether the colouring then equals a full recolouring of the unevaluated
//    rest on a fresh storage (the two passes run directly, not incrementally).
// Times are GUI-thread CPU time: this machine has wall-clock pauses of its own.

#include "app/OLHeap.h"
#include "editor/OLEditorViewController.h"
#include "editor/OLEditorWindow.h"
#include "highlight/OLSyntaxHighlighter.h"
#include "highlight/OLTextView.h"

#include "benchsupport.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QTextBlock>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {
class QuietWindow : public OLEditorWindow
{
public:
    void eval(const QString &, qint32) override {}
    bool fileChanged() override { return false; }
};

OLStyleSet styles(double keywordRed = 0.5)
{
    OLStyleSet s;
    s.regColor = OLColor{0, 0, 0, 1};
    s.keyColor = OLColor{keywordRed, 0, 0.5, 1};
    s.strColor = OLColor{0.8, 0.1, 0.1, 1};
    s.comColor = OLColor{0.1, 0.5, 0.1, 1};
    s.errColor = OLColor{1, 0, 0, 1};
    s.name = QStringLiteral("Monospace");
    s.size = 11;
    return s;
}

struct Turns {
    int count = 0;
    double total = 0;
    std::vector<double> each;
    double max() const { return each.empty() ? 0 : *std::max_element(each.begin(), each.end()); }
    double median() const
    {
        if (each.empty())
            return 0;
        std::vector<double> v = each;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
};

// Runs the event loop until the colouring and the drawing are done, timing
// each turn: a turn is what the GUI thread does before it looks for input again.
Turns drain(const OLEditorViewController &pane)
{
    Turns turns;
    while (OLSyntaxHighlighter::hasPendingHighlight(pane.textStorage()) || !pane.textView()->isRenderingComplete()) {
        const double t0 = threadCpuMs();
        QCoreApplication::processEvents();
        const double t = threadCpuMs() - t0;
        turns.each.push_back(t);
        turns.total += t;
        ++turns.count;
    }
    return turns;
}

// Key event to painted viewport, and whatever else of the pane the key left
// to be drawn (the line numbers after a line break).
double keystroke(OLEditorViewController &pane, Qt::Key key)
{
    const double t0 = threadCpuMs();
    QTest::keyClick(pane.textView(), key);
    pane.textView()->viewport()->repaint();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
    return threadCpuMs() - t0;
}

using Runs = std::vector<std::pair<qsizetype, std::optional<OLColor>>>; // run end, colour

Runs foregroundRuns(const OLTextStorage &storage, qsizetype from, qsizetype to)
{
    Runs runs;
    for (const OLTextStorage::Run &run : storage.runs(from, to)) {
        if (!runs.empty() && runs.back().second == run.foreground)
            runs.back().first = run.location + run.length;
        else
            runs.push_back({run.location + run.length, run.foreground});
    }
    return runs;
}

// The colouring of the unevaluated rest, done from scratch on a fresh storage.
Runs fullRecolouring(const OLEditorViewController &pane, qsizetype from, qsizetype to)
{
    const QString text = pane.content();
    OLTextStorage fresh(text);
    const OLTextStorage::Range rest{pane.interpreted(), text.size() - pane.interpreted()};
    OLSyntaxHighlighter::highLigthKeyWords(fresh, rest, pane.fontAttributes());
    OLSyntaxHighlighter::highlightStringsAndComments(fresh, rest, pane.fontAttributes());
    return foregroundRuns(fresh, from, to);
}

bool colouringIsFull(const OLEditorViewController &pane)
{
    const qsizetype from = pane.interpreted();
    const qsizetype to = pane.textStorage().length();
    return foregroundRuns(pane.textStorage(), from, to) == fullRecolouring(pane, from, to);
}

void placeCursor(OLEditorViewController &pane, qint64 line, int column)
{
    pane.selectLine(line);
    QTextCursor cursor = pane.textView()->textCursor();
    cursor.setPosition(cursor.selectionStart() + column);
    pane.textView()->setTextCursor(cursor);
    pane.textView()->centerCursor();
    drain(pane);
}

const char *verdict(bool ok)
{
    return ok ? "ok" : "MISSED";
}

struct Recolouring {
    std::vector<double> atOnce;
    Turns slices;
    bool visibleAtOnce = true;
};

// Types the keys at the start of the line, each followed by the idle slices
// it leaves; checks the viewport's colours right after each key.
Recolouring typeAt(OLEditorViewController &pane, qint64 line, std::initializer_list<Qt::Key> keys)
{
    placeCursor(pane, line, 0);
    Recolouring r;
    for (const Qt::Key key : keys) {
        r.atOnce.push_back(keystroke(pane, key));
        const qsizetype from = pane.textView()->cursorForPosition(QPoint(0, 0)).block().position();
        const qsizetype to = qMin(pane.textView()->visibleEnd(), pane.textStorage().length());
        r.visibleAtOnce = r.visibleAtOnce
            && foregroundRuns(pane.textStorage(), from, to) == fullRecolouring(pane, from, to);
        const Turns turns = drain(pane);
        r.slices.each.insert(r.slices.each.end(), turns.each.begin(), turns.each.end());
        r.slices.count += turns.count;
        r.slices.total += turns.total;
    }
    return r;
}

void report(const char *what, const Recolouring &r, const OLEditorViewController &pane)
{
    const double worst = *std::max_element(r.atOnce.begin(), r.atOnce.end());
    std::printf("%s: at once", what);
    for (const double t : r.atOnce)
        std::printf(" %.2f ms", t);
    std::printf(" [target <= 16: %s]; then %d idle slices, p50 %.2f ms, max %.2f ms [target <= 5: %s], "
                "%.0f ms in all\n",
                verdict(worst <= 16), r.slices.count, r.slices.median(), r.slices.max(), verdict(r.slices.max() <= 5),
                r.slices.total);
    std::printf("  viewport right at once: %s; colouring in the end equals a full recolouring: %s\n",
                r.visibleAtOnce ? "yes" : "NO", colouringIsFull(pane) ? "yes" : "NO");
}
} // namespace

int main(int argc, char **argv)
{
    olKeepLargeBlocksOnHeap(); // as the program does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // One log line per evaluated declaration is not what is measured here.
    QLoggingCategory::setFilterRules(QStringLiteral("ostrel.*.debug=false"));

    constexpr int lines = 50'000;
    const QString text = sampleSource(lines);
    QuietWindow window;
    OLEditorViewController pane;
    pane.setWindowController(&window);
    pane.resize(900, 1000);
    pane.show();
    QCoreApplication::processEvents();

    double t0 = threadCpuMs();
    pane.setContent(text);
    const double loadMs = threadCpuMs() - t0;
    pane.setFontAttributes(styles());
    drain(pane);
    std::printf("editor pane, %d lines, %lld UTF-16 units; loading %.0f ms\n", lines,
                static_cast<long long>(text.size()), loadMs);

    // Evaluate the first fifth.
    placeCursor(pane, lines / 5, 0);
    pane.evalToCursor();
    for (int sent = 0; pane.pending().isSet(); ++sent) {
        if (sent % 4 == 0)
            pane.showMessages({{true, QStringLiteral("Warning: match nonexhaustive"), true, 0, 3, 0, 1}});
        pane.setLastCommitSuccess(true);
    }
    drain(pane);
    std::printf("evaluated prefix: %lld units, %zu warnings underlined\n", static_cast<long long>(pane.interpreted()),
                pane.messages().size());

    // 100 keystrokes in the unevaluated rest, with waves in view.
    placeCursor(pane, lines / 5 + 20, 6);
    std::printf("waves in view: %lld\n", static_cast<long long>(pane.textView()->extraSelections().size()));
    const Qt::Key keys[] = {Qt::Key_X, Qt::Key_Space, Qt::Key_A, Qt::Key_1, Qt::Key_Backspace};
    std::vector<double> times;
    double worstFollowUp = 0;
    for (int i = 0; i < 100; ++i) {
        times.push_back(keystroke(pane, keys[i % 5]));
        worstFollowUp = std::max(worstFollowUp, drain(pane).max());
    }
    std::sort(times.begin(), times.end());
    const double p50 = times[49], p99 = times[98];
    std::printf("keystroke to painted pane (100): p50 %.2f ms [target <= 4: %s], p99 %.2f ms [target <= 8: %s], "
                "max %.2f ms; worst later event-loop turn %.2f ms\n",
                p50, verdict(p50 <= 4), p99, verdict(p99 <= 8), times.back(), worstFollowUp);
    std::printf("colouring after the keystrokes equals a full recolouring: %s\n", colouringIsFull(pane) ? "yes" : "NO");

    // A line break and its removal move every later line number.
    std::vector<double> breaks;
    for (int i = 0; i < 20; ++i) {
        breaks.push_back(keystroke(pane, i % 2 ? Qt::Key_Backspace : Qt::Key_Return));
        drain(pane);
    }
    std::sort(breaks.begin(), breaks.end());
    std::printf("Enter and Backspace with the line numbers shown (20): p50 %.2f ms [target <= 4: %s], max %.2f ms "
                "[target <= 8: %s]\n",
                breaks[10], verdict(breaks[10] <= 4), breaks.back(), verdict(breaks.back() <= 8));

    // A quote turns every later string inside out and Backspace turns them
    // back; "(*" makes everything after it an unterminated comment.
    report("typing a quote, then Backspace", typeAt(pane, lines * 2 / 5, {Qt::Key_QuoteDbl, Qt::Key_Backspace}), pane);
    report("typing \"(*\"", typeAt(pane, lines / 2, {Qt::Key_ParenLeft, Qt::Key_Asterisk}), pane);

    // New colours: the whole text is coloured anew, the marks stay.
    t0 = threadCpuMs();
    pane.setFontAttributes(styles(0.7));
    pane.textView()->viewport()->repaint();
    const double font = threadCpuMs() - t0;
    const Turns fontSlices = drain(pane);
    std::printf("setFontAttributes: %.1f ms at once [target < 300: %s], then %d idle slices (max %.2f ms), "
                "%.0f ms in all; colouring equals a full recolouring: %s\n",
                font, verdict(font < 300), fontSlices.count, fontSlices.max(), font + fontSlices.total,
                colouringIsFull(pane) ? "yes" : "NO");
    return 0;
}
