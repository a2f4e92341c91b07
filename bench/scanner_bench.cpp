// Steps through generated Standard ML files as the editor's "evaluate the
// whole file" does and prints the time for 10,000 and 40,000 declarations.
// Linear stepping gives a ratio near 4; rescanning the rest would give 16.

#include "editor/OLDeclaration.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
QString generate(int declarations)
{
    QString text;
    for (int i = 0; i < declarations; ++i) {
        const QString n = QString::number(i);
        switch (i % 6) {
        case 0: text += "val v" + n + " = " + n + " * 2\n"; break;
        case 1: text += "fun f" + n + " x =\n  let val y = x + " + n + " in y * y end\n"; break;
        case 2:
            text += "structure S" + n + " = struct\n  val a = " + n + "\n  fun g b = b + a\nend\n";
            break;
        case 3: text += "datatype t" + n + " = A" + n + " of int | B" + n + "\n"; break;
        case 4: text += "(* helper number " + n + " *)\nval w" + n + " = \"text " + n + "\";\n\n"; break;
        case 5: text += "exception E" + n + " of string\r\n"; break;
        }
    }
    return text;
}

struct Run {
    double milliseconds;
    int steps;
};

Run stepThrough(const QString &text)
{
    QElapsedTimer timer;
    timer.start();
    qsizetype interpreted = 0;
    int steps = 0;
    while (const std::optional<OLDeclaration> d = nextDeclaration(text, interpreted)) {
        interpreted += qsizetype(d->length());
        ++steps;
    }
    return {double(timer.nsecsElapsed()) / 1e6, steps};
}

Run median(const QString &text, int runs)
{
    std::vector<Run> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(stepThrough(text));
    std::sort(times.begin(), times.end(),
              [](const Run &a, const Run &b) { return a.milliseconds < b.milliseconds; });
    return times[times.size() / 2];
}
} // namespace

int main()
{
    // The editor logs each declaration; the log's cost is the terminal's, not the scanner's.
    QLoggingCategory::setFilterRules(QStringLiteral("ostrel.scanner.debug=false"));

    const int runs = 7;
    const QString small = generate(10000);
    const QString large = generate(40000);
    const Run a = median(small, runs);
    const Run b = median(large, runs);
    std::printf("scanner: step through generated files, median of %d runs\n", runs);
    std::printf("  10,000 declarations (%lld UTF-16 units): %d steps, %.2f ms\n", (long long)small.size(), a.steps,
                a.milliseconds);
    std::printf("  40,000 declarations (%lld UTF-16 units): %d steps, %.2f ms\n", (long long)large.size(), b.steps,
                b.milliseconds);
    std::printf("  ratio 40,000 / 10,000: %.2f (linear: about 4)\n", b.milliseconds / a.milliseconds);
    return 0;
}
