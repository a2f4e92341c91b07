// Colours a generated Standard ML file of 50,000 lines as the editor does
// after every change (from the end of the evaluated prefix to the end of the
// text) and prints:
//  - a full colouring of a fresh text, and the two plain passes for comparison;
//  - the recolouring after a one-unit edit in the middle of the unevaluated
//    part (the keystroke case), median, 99th percentile and worst of many;
//  - typing "(*", a quote, and ")" after "(*" in the middle, which change the
//    colour of everything after them: the first call (visible part settled,
//    at most a few milliseconds more) and the slices that finish the rest.
// Times are wall clock and this thread's CPU time; each result is checked
// against the plain passes.

#include "highlight/OLSyntaxHighlighter.h"

#include "benchsupport.h"

#include <QElapsedTimer>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace std::chrono_literals;

namespace {
constexpr int lineCount = 50000;
constexpr int runs = 7;
constexpr int keystrokes = 200;
constexpr auto firstBudget = 4ms;
constexpr auto sliceBudget = 5ms;
constexpr qsizetype visibleUnits = 60 * 40; // about 60 lines of a pane

QString generate()
{
    QString text;
    int lines = 0;
    for (int i = 0; lines < lineCount; ++i) {
        const QString n = QString::number(i);
        switch (i % 7) {
        case 0:
            text += "(* Section " + n + ": helpers for table " + n + " *)\n";
            lines += 1;
            break;
        case 1:
            text += "val name" + n + " = \"entry " + n + "\" ^ Int.toString " + n + "\n";
            lines += 1;
            break;
        case 2:
            text += "fun f" + n + " x =\n  let val y = x + " + n + "\n  in if y > 10 then y else ~y end\n";
            lines += 3;
            break;
        case 3:
            text += "datatype t" + n + " = A" + n + " of int | B" + n + " of string\n";
            lines += 1;
            break;
        case 4:
            text += "(* a (* nested *) comment\n   over two lines, \"quoted\" *)\n";
            lines += 2;
            break;
        case 5:
            text += "structure S" + n + " = struct\n  val v = " + n + "\n  fun g b = (b, \"s\")\nend\n";
            lines += 4;
            break;
        case 6:
            text += "val _ = case f" + n + " 3 of 0 => \"zero\" | k => Int.toString k\n\n";
            lines += 2;
            break;
        }
    }
    return text;
}

OLStyleSet styles()
{
    OLStyleSet s;
    s.regColor = OLColor{0, 0, 0, 1};
    s.keyColor = OLColor{0.5, 0, 0.5, 1};
    s.strColor = OLColor{0.8, 0.1, 0.1, 1};
    s.comColor = OLColor{0.3, 0.5, 0.3, 1};
    s.errColor = OLColor{1, 0, 0, 1};
    return s;
}

struct Timing {
    double wall;
    double cpu;
};

template<typename F>
Timing measure(F &&f)
{
    const double cpu = threadCpuMs();
    QElapsedTimer timer;
    timer.start();
    f();
    return {double(timer.nsecsElapsed()) / 1e6, threadCpuMs() - cpu};
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(p * double(values.size())))];
}

void printStats(const char *what, const std::vector<Timing> &t)
{
    std::vector<double> wall, cpu;
    for (const Timing &x : t) {
        wall.push_back(x.wall);
        cpu.push_back(x.cpu);
    }
    std::printf("%-44s median %8.3f ms  p99 %8.3f ms  max %8.3f ms   (cpu median %8.3f ms, max %8.3f ms)\n", what,
                percentile(wall, 0.5), percentile(wall, 0.99), percentile(wall, 1.0), percentile(cpu, 0.5),
                percentile(cpu, 1.0));
}

// What the plain passes give over [location, end) of `storage`'s text,
// starting from the same colours.
bool equalsPlainPasses(const OLTextStorage &storage, qsizetype location)
{
    OLTextStorage plain(storage.string());
    OLSyntaxHighlighter::highLigthKeyWords(plain, {location, plain.length() - location}, styles());
    OLSyntaxHighlighter::highlightStringsAndComments(plain, {location, plain.length() - location}, styles());
    for (const OLTextStorage::Run &run : storage.runs(location, storage.length())) {
        const auto expected = plain.runs(run.location, run.location + run.length);
        for (const OLTextStorage::Run &e : expected) {
            if (e.foreground != run.foreground)
                return false;
        }
    }
    return true;
}

// Types `typed` at `at` and colours from `location` in slices; prints the
// first call and the total.
void typeStructural(const QString &text, qsizetype location, qsizetype at, const QString &prefix,
                    const QString &typed, const char *what)
{
    std::vector<Timing> firsts, totals, worstSlices;
    std::vector<double> sliceCounts;
    bool equal = true;
    for (int r = 0; r < runs; ++r) {
        OLTextStorage storage(text);
        if (!prefix.isEmpty())
            storage.replaceCharacters(at, 0, prefix);
        OLSyntaxHighlighter::highlightSyntaxFor(storage, {location, storage.length() - location}, styles());
        const qsizetype typedAt = at + prefix.size();
        Timing first{}, total{}, worst{};
        first = measure([&] {
            storage.replaceCharacters(typedAt, 0, typed);
            OLSyntaxHighlighter::beginHighlightSyntax(storage, location, styles(), typedAt + visibleUnits,
                                                     firstBudget);
        });
        total = first;
        int slices = 0;
        while (OLSyntaxHighlighter::hasPendingHighlight(storage)) {
            const Timing slice = measure([&] { OLSyntaxHighlighter::continueHighlightSyntax(storage, sliceBudget); });
            total.wall += slice.wall;
            total.cpu += slice.cpu;
            worst.wall = std::max(worst.wall, slice.wall);
            worst.cpu = std::max(worst.cpu, slice.cpu);
            ++slices;
        }
        firsts.push_back(first);
        totals.push_back(total);
        worstSlices.push_back(worst);
        sliceCounts.push_back(slices);
        if (r == 0)
            equal = equalsPlainPasses(storage, location);
    }
    std::printf("\n%s (%.0f later slices; equal to the plain passes: %s)\n", what, percentile(sliceCounts, 0.5),
                equal ? "yes" : "NO");
    printStats("  first call (visible part settled)", firsts);
    printStats("  longest later slice", worstSlices);
    printStats("  total, all slices", totals);
}
} // namespace

int main()
{
    const QString text = generate();
    // The editor colours from the end of the evaluated prefix; say a tenth
    // of the file has been evaluated.
    const qsizetype location = text.indexOf(u'\n', text.size() / 10) + 1;
    const qsizetype middle = text.indexOf(QStringLiteral("\nfun f"), text.size() / 2) + 5;
    std::printf("text: %d lines, %lld UTF-16 units; colouring from unit %lld, edits at unit %lld\n\n", lineCount,
                qlonglong(text.size()), qlonglong(location), qlonglong(middle));

    std::vector<Timing> full, plain;
    qsizetype runCount = 0;
    for (int r = 0; r < runs; ++r) {
        OLTextStorage storage(text);
        full.push_back(measure([&] { OLSyntaxHighlighter::highlightSyntaxFor(storage, {0, text.size()}, styles()); }));
        runCount = storage.attributeRunCount();
        OLTextStorage passes(text);
        plain.push_back(measure([&] {
            OLSyntaxHighlighter::highLigthKeyWords(passes, {0, text.size()}, styles());
            OLSyntaxHighlighter::highlightStringsAndComments(passes, {0, text.size()}, styles());
        }));
    }
    printStats("full colouring of a fresh text", full);
    printStats("the two plain passes, for comparison", plain);
    std::printf("attribute runs after colouring: %lld\n", qlonglong(runCount));

    // Keystrokes: type "val (" before a name in the middle and delete it
    // again, each edit followed by the colouring of the unevaluated rest.
    {
        OLTextStorage storage(text);
        OLSyntaxHighlighter::highlightSyntaxFor(storage, {location, text.size() - location}, styles());
        std::vector<Timing> withEdit;
        const QString typed = QStringLiteral("val (");
        for (int k = 0; k < keystrokes; ++k) {
            const qsizetype at = middle + (k % typed.size());
            const bool insert = k / typed.size() % 2 == 0;
            withEdit.push_back(measure([&] {
                if (insert)
                    storage.replaceCharacters(at, 0, typed.mid(k % typed.size(), 1));
                else
                    storage.replaceCharacters(middle, 1, QString());
                OLSyntaxHighlighter::highlightSyntaxFor(storage, {location, storage.length() - location}, styles());
            }));
        }
        std::printf("\none-unit edit in the middle, then colouring the unevaluated rest (%d edits; equal to the "
                    "plain passes: %s)\n",
                    keystrokes, equalsPlainPasses(storage, location) ? "yes" : "NO");
        printStats("  edit and recolouring", withEdit);
    }

    typeStructural(text, location, middle, QString(), QStringLiteral("(*"),
                   "typing \"(*\" in the middle (the rest becomes one unterminated comment)");
    typeStructural(text, location, middle, QString(), QStringLiteral("\""),
                   "typing a quote in the middle (strings and code swap places after it)");
    typeStructural(text, location, middle, QStringLiteral("(*"), QStringLiteral(")"),
                   "typing \")\" after \"(*\" (the rest turns back from comment to code)");
    return 0;
}
