// The session's handling of text: the interpreter's command line, its output
// decoded, classified and collected into answers.

#include "session/OLAnswerCollector.h"
#include "session/OLOutputClassifier.h"
#include "session/OLOutputDecoder.h"
#include "session/OLPrompts.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using State = OLAnswerCollector::State;

bool operator==(const OLAnswer &a, const OLAnswer &b)
{
    return a.text == b.text && a.error == b.error && a.report == b.report;
}

// The prompts of Poly ML and SML/NJ: primary and continuation.
const QString P = promptsOf(OLPolyML).primary.toString(), C = promptsOf(OLPolyML).continuation.toString();
const QString S = promptsOf(OLSmlNJ).primary.toString(), T = promptsOf(OLSmlNJ).continuation.toString();

// A collector whose interpreter has started and stands at its prompt.
std::unique_ptr<OLAnswerCollector> collectorAtPrompt(OLInterpreterMode mode)
{
    auto collector = std::make_unique<OLAnswerCollector>(mode);
    if (collector->feed(promptsOf(mode).primary) == State::Complete)
        collector->takeAnswer();
    return collector;
}

// The answers a collector at its prompt makes of the output of one commit,
// fed in pieces and shown whenever `showAt` units wait; its prompt ends it.
QList<OLAnswer> collect(OLInterpreterMode mode, QStringView output, qsizetype piece, qsizetype showAt)
{
    const auto collector = collectorAtPrompt(mode);
    collector->noteCommit(u"x;\n");
    QList<OLAnswer> taken;
    for (qsizetype at = 0; at < output.size(); at += piece) {
        collector->feed(output.mid(at, piece));
        if (collector->unshownSize() >= showAt)
            taken.append(collector->takeUnshown());
    }
    if (collector->feed(promptsOf(mode).primary) == State::Complete)
        taken.append(collector->takeAnswer());
    return taken;
}

// Whether answers show the text and are judged as one: a single verdict, the last in the verdict's style.
bool judgedWhole(const QList<OLAnswer> &taken, const QString &text, bool error)
{
    QString shown;
    QList<bool> verdicts;
    for (const OLAnswer &answer : taken) {
        shown += answer.text;
        if (answer.report)
            verdicts.append(!answer.error);
    }
    return shown == text && verdicts == QList<bool>{!error} && taken.last().error == error;
}

class TestSessionText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A command line read from the settings: its arguments and the kind of interpreter.
    void parseCommandLine()
    {
        static const QTemporaryDir dir;
        QFile::link(QCoreApplication::applicationFilePath(), dir.filePath("ostrel"));
        const QString p = QStringLiteral("file://localhost");
        const struct {
            QString line;
            QStringList arguments; // none: refused
            OLInterpreterMode mode;
        } rows[] = {
            {p + "/usr/local/bin/mosml  -P", {"/usr/local/bin/mosml", "", "-P"}, OLMosML}, // an empty argument
            {p + "/usr/bin/poly\u00a0-q\t-i\n", {"/usr/bin/poly", "-q", "-i", ""}, OLPolyML},
            {"file:///usr/bin/poly -q", {"/usr/bin/poly", "-q"}, OLPolyML},
            {"FILE:/usr/bin/sml", {"/usr/bin/sml"}, OLSmlNJ},
            {p + "/a#b?c%23%3f/sml", {"/a#b?c#?/sml"}, OLSmlNJ},
            {p + "/j\u00fcrgen/%C3%BC", {"/j\u00fcrgen/\u00fc"}, OLUnknownMode},
            {"file://example.org/usr/bin/poly", {}, OLUnknownMode}, {p + "poly", {}, OLUnknownMode},
            {"/usr/bin/poly", {}, OLUnknownMode}, {p, {}, OLUnknownMode}, {" " + p + "/x", {}, OLUnknownMode},
            {p + "/a%00b", {}, OLUnknownMode},
            {p + "/a%FFb", {}, OLUnknownMode}, {p + dir.filePath("ostrel"), {}, OLUnknownMode}, // Ostrel itself
        };
        for (const auto &row : rows) {
            const OLCommandLine parsed = parsePreferredInterpreter(row.line);
            QVERIFY2(parsed.arguments == row.arguments && parsed.mode == row.mode
                         && parsed.error.isEmpty() == !parsed.arguments.isEmpty(),
                     qPrintable(row.line));
        }
        // What is written reads back as exactly that executable, made absolute,
        // and its arguments; so does the preferences' form of it.
        const QString writes[][2] = {
            {"bin/mosml", commandLinePrefix + QDir::currentPath() + "/bin/mosml"},
            {"/my ml/a#b?c%41%", "file://localhost/my%20ml/a%23b%3Fc%2541%25"},
            {"/j\u00fcrgen\u00a0a\tb\n\"<[\\]>`{|}^", "file://localhost/j\u00fcrgen%C2%A0a%09b%0A%22%3C%5B%5C%5D%3E%60%7B%7C%7D%5E"},
        };
        for (const auto &[path, stored] : writes) {
            const QString written = commandLineForExecutable(path, {"-q", "@SMLload=x"});
            const QStringList expected{QFileInfo(path).absoluteFilePath(), "-q", "@SMLload=x"};
            QVERIFY2(written.section(u' ', 0, 0) == stored && parsePreferredInterpreter(written).arguments == expected
                         && parsePreferredInterpreter(commandLinePrefix + commandLineWithoutPrefix(written)).arguments == expected,
                     qPrintable(written));
        }
    }

    // Output as UTF-8, however the reads cut it: bytes that are no UTF-8 become
    // U+FFFD, the bytes around them survive.
    void decode()
    {
        const QString r(QChar::ReplacementCharacter);
        QList<std::pair<QList<QByteArray>, QString>> rows{
            {{"a\xff" "b\x80\n"}, "a" + r + "b" + r + "\n"}, {{"\xc3", "val it"}, r + "val it"}, {{"x\xe2\x82"}, "x" + r},
            {{"x\xc3", "\n"}, "x" + r + "\n"}, {{"\xef\xbb\xbfhi"}, QString(QChar(0xFEFF)) + "hi"}};
        const QByteArray bytes("caf\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80y\n");
        for (qsizetype cut = 0; cut <= bytes.size(); ++cut)
            rows.append({{bytes.left(cut), bytes.mid(cut)}, QString::fromUtf8(bytes)});
        for (const auto &[pieces, text] : std::as_const(rows)) {
            OLOutputDecoder decoder;
            QString decoded;
            for (const QByteArray &piece : pieces)
                decoded += decoder.decode(piece);
            QCOMPARE(decoded + decoder.finish(), text);
        }
    }

    // What an answer shows without the prompts, and whether it is a failure.
    // Without a stripped text, the output is shown as it is.
    void classify()
    {
        const QString banner = QStringLiteral("Enter `quit();' to quit.\n");
        const QString mosmlWarning = "! Toplevel input:\n! fun g 0 = 1;\n!     ^^^^^^^\n! Warning: pattern matching is not "
                                     "exhaustive\n\n> val g = fn : int -> int\n";
        const struct {
            OLInterpreterMode mode;
            QString output;
            bool error;
            QString stripped;
        } rows[] = {
            {OLMosML, "> > val x = 1 : int\n- ", false, "val x = 1 : int\n"},
            {OLMosML, "! Toplevel input:\n! foo;\n", true, {}},
            {OLMosML, "Moscow ML version 2.10\n" + banner + "- ", false, "Moscow ML version 2.10\n"},
            {OLMosML, banner + banner, false, banner},
            {OLMosML, mosmlWarning + "- ", false, mosmlWarning},
            {OLMosML, "!hello\n- ", false, "!hello\n"},
            {OLMosML, "x- - ", false, "x- "},
            {OLMosML, "abc! Uncaught exception:\n! Div\n- ", true, "abc! Uncaught exception:\n! Div\n"},
            {OLSmlNJ, "stdIn:7.5-7.12 Warning: match nonexhaustive\n          0 => ...\n  \nval g = fn : int -> int\n", false, {}},
            {OLSmlNJ, "stdIn:1.1 Warning: w\nstdIn:1.5 Error: e\n", true, {}},
            {OLSmlNJ, T + "\nInterrupt\n" + S, true, "\nInterrupt\n"},
            {OLSmlNJ, T + T + "stdIn:3.1 Error: syntax error\n" + S, true, "stdIn:3.1 Error: syntax error\n"},
            {OLSmlNJ, "val a = 1 : int\n" + S + "stdIn:2.1 Error: e\n" + S, true, "val a = 1 : int\nstdIn:2.1 Error: e\n"},
            {OLSmlNJ, "- \n= x\n" + S, false, "- \n= x\n"},
            // Alice ML's failures are on standard error.
            {OLAliceML, "! stdIn:1 Error\n- ", false, "! stdIn:1 Error\n"},
            {OLPolyML, C + C + "structure S: sig val a: int end\n" + P, false, "structure S: sig val a: int end\n"},
            {OLPolyML, "Error- in 'x', line 1.\n", true, {}},
            {OLPolyML, "poly: : error: e\nStatic Errors\n" + P, true, "poly: : error: e\nStatic Errors\n"},
            {OLPolyML, "Exception- Div raised\n" + P, true, "Exception- Div raised\n"},
            {OLPolyML, "Exception-\n   Fail \"x\"\n   raised\n", true, {}},
            {OLPolyML, "> \n# x> " + P, false, "> \n# x> "},
            {OLPolyML, "val a = 1: int\n" + P + C + "Compilation interrupted\n\n" + P, true, "val a = 1: int\nCompilation interrupted\n\n"},
        };
        for (const auto &row : rows) {
            const OLClassifiedOutput result = classifyOutput(row.mode, row.output);
            QVERIFY2(result.text == (row.stripped.isNull() ? row.output : row.stripped) && result.error == row.error,
                     qPrintable(row.output));
        }
    }

    // What reaches the console and the editor, with the answers taken as the
    // session takes them: whenever the collector is complete. Steps:
    // "commit:" text, "early:" text (written before the interpreter stood at
    // its first prompt; the collector starts with it, or with "out:"), "out:"
    // a piece, "err:" a piece of standard error, "unshown" what waits to be
    // shown, "final" what is left at the end of the run ("success": after an
    // exit with success), "interrupt" notes the interruption of a stuck one
    // (done once), "user" an interrupt by the user, "held"/"free" whether
    // input must wait (it must from the moment an error recovery is stuck).
    void answers()
    {
        const OLInterpreterMode poly = OLPolyML, sml = OLSmlNJ;
        const QString smlBanner = QStringLiteral("Standard ML of New Jersey v110.79\n");

        const struct {
            const char *name;
            OLInterpreterMode mode;
            QStringList steps;
            QList<OLAnswer> answers;
        } rows[] = {
        {"poly: a prompt split between reads", poly, {"commit:val x = 1;\n", "out:val x\n", "out:" + P.first(4), "out:" + P.mid(4)}, {{"val x\n", false, true}}},
        {"poly: a rejection drops the prompts of later lines", poly, {"commit:val a = foo;\nval b = 1;\n;\n", "out:poly: : error: e\nStatic Errors\n" + P}, {{"poly: : error: e\nStatic Errors\n", true, true}}},
        {"poly: error recovery waits for input", poly, {"commit:val y = 1 +;\n", "out:poly: : error: ", "free", "out:<identifier>", "out: expected\n" + C, "held", "final"}, {{"poly: : error: <identifier> expected\n", true, true}}},
        {"poly: continuation prompts of lines still to read", poly, {"commit:val a =\n1;\n", "out:" + C, "free", "out:val a\n" + P}, {{"val a\n", false, true}}},
        {"poly: a declaration left open waits past its last line", poly, {"commit:(* open;\n", "out:" + C, "held", "final"}, {{"", true, true}}},
        {"smlnj: a declaration left open, interrupted", sml, {"commit:val c = (b + 2;\n", "out:" + T, "free", "interrupt", "held", "out:\nInterrupt\n" + S, "free"}, {{"", true, true}}},
        {"smlnj: at the continuation prompt while reading on", sml, {"commit:val c = (b\n+ 2);\n", "out:" + T, "out:val c = 3 : int\n" + S}, {{"val c = 3 : int\n", false, true}}},
        // Alice ML: failures on standard error, in pieces.
        {"alice: a rejection on standard error", OLAliceML, {"commit:val y : string = 1;\n", "err:1.4-1.18", "err::", "err: expression does not\n   int\n", "out:- "}, {{"", true, true}}},
        {"alice: a warning beside the binding, and printed output", OLAliceML, {"commit:fun g 0 = 1;\n", "err:1.4-1.11: warning: match\n3.14: pi\n1.4-x: no\nEvaluation interrupted?\n", "out:val g\n- "}, {{"val g\n", false, true}}},
        {"alice: an uncaught exception, its last line cut off", OLAliceML, {"commit:1 div 0;\n", "err:Uncaught exception", "out:- "}, {{"", true, true}}},
        {"output shown early, success at the prompt", poly, {"commit:f 0\n;\n", "out:" + C + "a\n", "unshown", "out:val it = 3: int\n" + P}, {{"a\n", false, false}, {"val it = 3: int\n", false, true}}},
        {"a failure shown early is reported once", poly, {"commit:val t = foo\n;\n", "out:" + C + "poly: : error: foo\n", "unshown", "out:Static Errors\n" + P}, {{"poly: : error: foo\n", true, true}, {"Static Errors\n", true, false}}},
        {"prompts shown early stay hidden", poly, {"commit:structure S = struct\nval a = 1\nend\n;\n", "out:" + C + C, "unshown", "out:" + C + "structure S\n" + P}, {{"", false, false}, {"structure S\n", false, true}}},
        // Input waits from the moment the recovery is stuck until the note of
        // its interruption has come, which leaves no trace.
        {"poly: a stuck recovery interrupted", poly, {"commit:val y = 1 +;\n", "free", "out:poly: : error: e\n" + C, "held", "interrupt", "held", "unshown", "out:Compilation interrupted\n\n" + P, "free"}, {{"poly: : error: e\n", true, true}, {"", true, false}}},
        {"poly: a late note of the interruption is dropped", poly, {"commit:val y = 1 +;\n", "out:poly: : error: e\n" + C, "interrupt", "out:Static Errors\n" + P, "out:Compilation interrupted\n\n" + P}, {{"poly: : error: e\nStatic Errors\n", true, true}, {"", false, false}}},

        // A commit the user interrupts has failed, however the note of the
        // interruption ends: two interrupts in quick succession can cut Poly
        // ML's off after its first word, or leave only the prompt. The next
        // commit is judged by its own answer.
        {"poly: interrupted, the whole note", poly, {"commit:val _ = loop 0;\n", "out:started\n", "user", "out:Exception- Interrupt raised\n" + P, "commit:val y = 2;\n", "out:val y\n" + P}, {{"started\nException- Interrupt raised\n", true, true}, {"val y\n", false, true}}},
        {"poly: interrupted, the note cut off after its first word", poly, {"commit:val _ = loop 0;\n", "out:started\n", "user", "out:Exception-", "out:" + P}, {{"started\nException-", true, true}}},
        {"poly: interrupted, only the prompt: answered just before", poly, {"commit:val x = 1;\n", "out:val x = 1: int\n", "user", "out:" + P}, {{"val x = 1: int\n", true, true}}},

        // The end: a commit the interpreter had not answered at its prompt has
        // failed, whatever was left of its output, unless it exited with success.
        {"the end: a warning left", poly, {"commit:OS.Process.exit 0;\n", "out:Warning- w\n", "final"}, {{"Warning- w\n", true, true}}},
        {"the end: exited with success", poly, {"commit:OS.Process.exit OS.Process.success;\n", "out:done\n", "success"}, {{"done\n", false, true}}},
        {"the end: a failure shown early is not reported again", sml, {"commit:foo;\n", "out:stdIn:2.1 Error: e\n", "unshown", "final"}, {{"stdIn:2.1 Error: e\n", true, true}, {"", true, false}}},
        {"the end: output after the last answer is nobody's", sml, {"commit:val x = 1;\n", "out:val x = 1 : int\n" + S, "out:[autoloading]\n", "final"}, {{"val x = 1 : int\n", false, true}, {"[autoloading]\n", false, false}}},
        {"the end: during the start-up, a commit written", sml, {"early:val x = 1;\n", "out:" + smlBanner, "final"}, {{smlBanner, true, true}}},

        // A commit written before the interpreter has started: the start-up
        // text up to the first primary prompt is an answer of its own,
        // reported to nobody, however the reads cut the output.
        {"smlnj: a failure in the start-up text shown early", sml, {"early:val x = 1;\n", "out:uncaught exception Fail [init]\n", "unshown", "out:" + S + "val x = 1 : int\n" + S}, {{"uncaught exception Fail [init]\n", true, false}, {"", true, false}, {"val x = 1 : int\n", false, true}}},
        {"smlnj: banner and answer in one read", sml, {"early:val y = 1 +;\n", "out:" + smlBanner + S + "stdIn:1 Error: e\n" + S}, {{smlBanner, false, false}, {"stdIn:1 Error: e\n", true, true}}},
        {"smlnj: the start-up prompt cut between reads", sml, {"early:val x = 1;\n", "out:" + smlBanner + S.first(3), "out:" + S.mid(3) + "val x = 1 : int\n" + S}, {{smlBanner, false, false}, {"val x = 1 : int\n", false, true}}},
        // The start-up prompt is not one of the commit's lines.
        {"poly: two lines, the first answered at once", poly, {"early:val a = 1;\nval b = 2;\n", "out:Poly/ML 5.7.1 Release\n", "out:> ", "out:" + P, "out:val a\n" + P, "out:val b\n" + P}, {{"Poly/ML 5.7.1 Release\n", false, false}, {"val a\nval b\n", false, true}}},
        {"poly -q: only the prompt", poly, {"early:val x = 1;\n", "out:> " + P, "out:val x = 1: int\n" + P}, {{"", false, false}, {"val x = 1: int\n", false, true}}},
        };
        for (const auto &row : rows) {
            const bool starting = row.steps.constFirst().startsWith(u"early:") || row.steps.constFirst().startsWith(u"out:");
            auto collector = starting ? std::make_unique<OLAnswerCollector>(row.mode) : collectorAtPrompt(row.mode);
            QList<OLAnswer> taken;
            // A state that is not as a step says is taken as an answer naming the step.
            const auto expect = [&](bool holds, const QString &step) { holds ? void() : taken.append({step, true, true}); };
            for (const QString &step : row.steps) {
                if (step.startsWith(u"commit:") || step.startsWith(u"early:")) {
                    collector->noteCommit(step.mid(step.indexOf(u':') + 1));
                } else if (step.startsWith(u"err:")) {
                    collector->noteError(step.mid(4));
                } else if (step.startsWith(u"out:")) {
                    for (collector->feed(step.mid(4)); collector->state() == State::Complete;)
                        taken.append(collector->takeAnswer());
                } else if (step == u"final" || step == u"success") {
                    taken.append(collector->takeFinalAnswer(step == u"success"));
                } else if (step == u"unshown") {
                    taken.append(collector->takeUnshown());
                } else if (step == u"interrupt") {
                    collector->noteRecoveryInterrupt();
                    expect(collector->state() != State::Stuck, step); // interrupted once
                } else if (step == u"user") {
                    collector->noteInterrupt();
                } else {
                    expect(collector->holdsInput() == (step == u"held"), step);
                }
            }
            expect(!collector->commitPending(), "pending");
            QVERIFY2(taken == row.answers, row.name);
        }
    }

    // An answer of megabytes is shown as it comes and not kept whole; what
    // was shown and dropped still counts for the verdict, as if the answer
    // had been judged whole: its beginning, every line by its beginning, its
    // end. Text at its head, in the middle and at its tail, between 2 MB of
    // fill, in lines of 100 or as one line (with a marker inside).
    void longAnswer()
    {
        const struct {
            const char *name;
            OLInterpreterMode mode;
            bool lines;
            QStringList parts;
            bool error;
        } rows[] = {
            {"mosml: a failure from its beginning", OLMosML, true, {"! Toplevel input:\n", "val a = 1\n", ""}, true},
            {"mosml: a mark later on is output", OLMosML, true, {"> val a = 1\n", "! not a failure\n", ""}, false},
            {"smlnj: an uncaught exception in the middle", OLSmlNJ, true, {"", "uncaught exception Fail [boom]\n", ""}, true},
            {"smlnj: a warning in the middle", OLSmlNJ, true, {"", "stdIn:1.1-1.9 Warning: match nonexhaustive\n", ""}, false},
            {"smlnj: interrupted at the end of one long line", OLSmlNJ, false, {"", "", "\nInterrupt\n"}, true},
            {"smlnj: a line that only begins like a marker", OLSmlNJ, true, {"", "Interrupted by the user\n", "Interrupts\n"}, false},
            {"smlnj: one long line that begins with a marker", OLSmlNJ, false, {"uncaught exception Overflow ", "", ""}, true},
            {"poly: static errors at the end", OLPolyML, true, {"", "", "Static Errors\n"}, true},
            {"poly: an exception in the middle, after prompts", OLPolyML, true, {"", P + C + "Exception- Div raised\n", ""}, true},
            {"poly: a marker inside a long line is output", OLPolyML, false, {"", "", ""}, false},
        };
        for (const auto &[name, mode, lines, parts, error] : rows) {
            const QString fill = lines ? QString(99, u'x').append(u'\n').repeated(20000) : QString(2000000, u'x');
            const QString whole = parts.at(0) + fill + (lines ? QString() : QStringLiteral(" Exception- ")) + fill + u'\n'
                + parts.at(1) + fill + u'\n' + parts.at(2);
            const QList<OLAnswer> taken = collect(mode, whole, 65536, 1 << 20);
            QVERIFY2(isErrorOutput(mode, stripPrompts(mode, whole)) == error && taken.size() > 5
                         && judgedWhole(taken, stripPrompts(mode, whole), error), name);
        }
    }

    // Wherever the part shown and dropped ends, a line of a marker around it
    // is judged whole: one that ends before it, one that is cut by it, one
    // that begins after it. The answer is shown once after 128 KiB.
    void markerLineAroundTheShownEnd()
    {
        const QString marker = QStringLiteral("uncaught exception Fail [Fail: boom]\n");
        const qsizetype shownAt = 128 * 1024;
        for (qsizetype before = 1; before < 1200; before += 3) {
            const qsizetype fillSize = shownAt - before;
            QString whole = QString(99, u'x').append(u'\n').repeated(fillSize / 100);
            whole += QString(fillSize % 100, u'y');
            whole += u'\n' + marker + QString(99, u'z').append(u'\n').repeated(20);
            const QList<OLAnswer> taken = collect(OLSmlNJ, whole, shownAt, shownAt);
            QVERIFY2(taken.size() == 2 && judgedWhole(taken, whole, true), qPrintable(QString::number(before)));
        }
    }
};

QTEST_GUILESS_MAIN(TestSessionText)
#include "tst_sessiontext.moc"
