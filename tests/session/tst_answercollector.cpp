#include "session/OLAnswerCollector.h"
#include "session/OLOutputClassifier.h"

#include <QTest>

#include <memory>

using State = OLAnswerCollector::State;

Q_DECLARE_METATYPE(OLAnswer)

namespace QTest {
template<>
char *toString(const OLAnswer &answer)
{
    return toString(QStringLiteral("{%1, error %2, report %3}")
                        .arg(answer.text, answer.error ? u"yes" : u"no", answer.report ? u"yes" : u"no"));
}
} // namespace QTest

bool operator==(const OLAnswer &a, const OLAnswer &b)
{
    return a.text == b.text && a.error == b.error && a.report == b.report;
}

QString primaryPrompt(int mode)
{
    return mode == OLPolyML ? QStringLiteral("> ") : mode == OLUnknownMode ? QString() : QStringLiteral("- ");
}

// A collector whose interpreter has started and stands at its prompt.
std::unique_ptr<OLAnswerCollector> collectorAtPrompt(int mode)
{
    auto collector = std::make_unique<OLAnswerCollector>(OLInterpreterMode(mode));
    if (!primaryPrompt(mode).isEmpty()) {
        collector->feed(primaryPrompt(mode));
        collector->takeAnswer();
    }
    return collector;
}

class TestAnswerCollector : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The state after each piece of output of a commit: whether the
    // interpreter stands at its prompt, may stand there, or is still answering.
    void states_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("commit");
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<QList<State>>("states");
        using L = QList<State>;
        const State C = State::Collecting;
        const State done = State::Complete;
        QTest::newRow("poly: prompt split from its line") << int(OLPolyML) << "val x = 1;\n"
            << QStringList{"val x = 1: int\n", ">", " "} << L{C, C, done};
        QTest::newRow("poly: print without newline") << int(OLPolyML) << "val _ = print \"no newline\";\n"
            << QStringList{"no newline> "} << L{State::PromptLikely};
        QTest::newRow("poly: a prompt for every line") << int(OLPolyML) << "val x = 1;\n;\n"
            << QStringList{"val x = 1: int\n> ", "> "} << L{C, done};
        QTest::newRow("poly: continuation prompts of a long declaration") << int(OLPolyML) << "val z = 3\n\n;\n"
            << QStringList{"# ", "# ", "val z = 3: int\n> "} << L{C, C, done};
        QTest::newRow("poly: a later line still computes") << int(OLPolyML) << "fun f x = x;\nf 3;\n;\n"
            << QStringList{"val f = fn: 'a -> 'a\n> ", "val it = 3: int\n> ", "> "} << L{C, C, done};
        QTest::newRow("poly: prompts hidden after a print") << int(OLPolyML) << "val _ = print \"x\";\nval c = 2\n;\n"
            << QStringList{"x> # ", "val c = 2: int\n> "} << L{C, State::PromptUnsure};
        QTest::newRow("poly: an arrow at the end of a read is no prompt") << int(OLPolyML) << "val h = op o;\n"
            << QStringList{"val h = fn: ('a -> 'b) * ('c -> 'a) -> 'c -> ", "'b\n> "} << L{C, done};
        QTest::newRow("poly: a rejection drops the prompts of later lines") << int(OLPolyML)
            << "val a = foo;\nval b = 1;\n;\n"
            << QStringList{"poly: : error: Value or constructor (foo) has not been declared\nStatic Errors\n> "} << L{done};
        QTest::newRow("poly: error recovery waits for input") << int(OLPolyML) << "val y = 1 +;\n"
            << QStringList{"poly: : error: ", "<identifier>", " expected but ; was found\n# "} << L{C, C, State::Stuck};
        QTest::newRow("poly: waiting inside a comment is no error") << int(OLPolyML) << "(* open;\n"
            << QStringList{"# "} << L{C};
        QTest::newRow("smlnj: one prompt for several lines") << int(OLSmlNJ) << "val x = 1;\n;\n"
            << QStringList{"val x = 1 : int\n- "} << L{done};
        QTest::newRow("smlnj: waiting at the continuation prompt") << int(OLSmlNJ) << "val = 3;\n"
            << QStringList{"= "} << L{C};
        QTest::newRow("unknown: no prompt to wait for") << int(OLUnknownMode) << "x;\n" << QStringList{"x;\n- "} << L{C};
    }

    void states()
    {
        QFETCH(int, mode);
        QFETCH(QString, commit);
        QFETCH(QStringList, pieces);
        QFETCH(QList<State>, states);
        const auto collector = collectorAtPrompt(mode);
        collector->noteCommit(commit);
        for (qsizetype i = 0; i < pieces.size(); ++i)
            QCOMPARE(collector->feed(pieces.at(i)), states.at(i));
    }

    // What reaches the console and the editor, with the answers taken as the
    // session takes them: whenever the collector is complete. Steps:
    // "commit:" text, "early:" text (written before the interpreter stood at
    // its first prompt; the collector starts with it, or with "out:"), "out:"
    // a piece, "quiet" takes the answer after a quiet time at a likely prompt,
    // "unshown" what waits to be shown, "final" what is left at the end of the
    // run, "interrupt" notes the interruption of a stuck recovery (done once), "user" an
    // interrupt by the user, "held"/"free" whether input must wait.
    void answers_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<OLAnswer>>("answers");
        using A = QList<OLAnswer>;
        const QString loop = QStringLiteral("commit:val _ = (print \"started\\n\"; loop 0);\n");
        const QString smlBanner = QStringLiteral("Standard ML of New Jersey v110.79 [built: Mon Oct  3 21:03:45 2022]\n");
        const QString smlError = QStringLiteral("stdIn:1.9-1.11 Error: expression or pattern ends with infix identifier \"+\"\n");
        const OLAnswer smlStart{smlBanner, false, false};
        const OLAnswer polyStart{"Poly/ML 5.7.1 Release\n", false, false};

        QTest::newRow("an empty answer to a commit is a success") << int(OLPolyML)
            << QStringList{"out:Poly/ML 5.7.1 Release\n> ", "commit:val _ = ()\n;\n", "out:# > "}
            << A{polyStart, {"", false, true}};
        QTest::newRow("output shown early, success at the prompt") << int(OLPolyML)
            << QStringList{"commit:val _ = (print \"a\\n\"; f 0)\n;\n", "out:# a\n", "unshown", "out:val it = 3: int\n> "}
            << A{{"a\n", false, false}, {"val it = 3: int\n", false, true}};
        QTest::newRow("a failure shown early is reported once") << int(OLPolyML)
            << QStringList{"commit:val t = foo\n;\n", "out:# poly: : error: foo\n", "unshown", "out:Static Errors\n> "}
            << A{{"poly: : error: foo\n", true, true}, {"Static Errors\n", true, false}};
        QTest::newRow("prompts shown early stay hidden") << int(OLPolyML)
            << QStringList{"commit:structure S = struct\nval a = 1\nend\n;\n", "out:# # ", "unshown",
                           "out:# structure S: sig val a: int end\n> "}
            << A{{"", false, false}, {"structure S: sig val a: int end\n", false, true}};
        QTest::newRow("unknown: each shown piece is an answer") << int(OLUnknownMode)
            << QStringList{"commit:x;\n", "out:x;\n", "unshown", "out:- ", "unshown"}
            << A{{"x;\n", false, true}, {"- ", false, true}};
        // Input waits from the moment the recovery is stuck until the note of
        // its interruption has come, which leaves no trace.
        QTest::newRow("poly: a stuck recovery interrupted") << int(OLPolyML)
            << QStringList{"commit:val y = 1 +;\n", "free", "out:poly: : error: e\n# ", "held", "interrupt", "held",
                           "unshown", "out:Compilation interrupted\n\n> ", "free"}
            << A{{"poly: : error: e\n", true, true}, {"", true, false}};
        QTest::newRow("poly: a late note of the interruption is dropped") << int(OLPolyML)
            << QStringList{"commit:val y = 1 +;\n", "out:poly: : error: e\n# ", "interrupt", "out:Static Errors\n> ",
                           "out:Compilation interrupted\n\n> "}
            << A{{"poly: : error: e\n# Static Errors\n", true, true}, {"", false, false}};
        QTest::newRow("poly: an interruption by the user is a failure") << int(OLPolyML)
            << QStringList{"commit:(* open\n;\n", "out:# # ", "out:Compilation interrupted\n\n> "}
            << A{{"Compilation interrupted\n\n", true, true}};
        QTest::newRow("smlnj: interrupted at the continuation prompt") << int(OLSmlNJ)
            << QStringList{"commit:val = 3;\n", "out:= ", "out:\nInterrupt\n- "} << A{{"\nInterrupt\n", true, true}};

        // A commit the user interrupts has failed, however the note of the
        // interruption ends: two interrupts in quick succession can cut Poly
        // ML's off after its first word, or leave only the prompt. The next
        // commit is judged by its own answer; an interrupt at the prompt fails nothing.
        QTest::newRow("poly: interrupted, the whole note") << int(OLPolyML)
            << QStringList{loop, "out:started\n", "user", "out:Exception- Interrupt raised\n> ", "commit:val y = 2;\n",
                           "out:val y = 2: int\n> "}
            << A{{"started\nException- Interrupt raised\n", true, true}, {"val y = 2: int\n", false, true}};
        QTest::newRow("poly: interrupted, the note cut off after its first word") << int(OLPolyML)
            << QStringList{loop, "out:started\n", "user", "out:Exception-", "out:> ", "quiet"}
            << A{{"started\nException-", true, true}};
        QTest::newRow("poly: interrupted, only the prompt: answered just before") << int(OLPolyML)
            << QStringList{"commit:val x = 1;\n", "out:val x = 1: int\n", "user", "out:> "}
            << A{{"val x = 1: int\n", true, true}};
        QTest::newRow("poly: an interrupt at the prompt") << int(OLPolyML)
            << QStringList{"user", "out:val late = 1: int\n> "} << A{{"val late = 1: int\n", false, true}};

        // The end: a commit the interpreter had not answered at its prompt has
        // failed, whatever was left of its output.
        QTest::newRow("the end: a warning left") << int(OLPolyML)
            << QStringList{"commit:OS.Process.exit OS.Process.success;\n",
                           "out:Warning- The type of (it) contains a free type variable.\n", "final"}
            << A{{"Warning- The type of (it) contains a free type variable.\n", true, true}};
        QTest::newRow("the end: a failure shown early is not reported again") << int(OLSmlNJ)
            << QStringList{"commit:foo;\n", "out:stdIn:2.1-2.4 Error: unbound\n", "unshown", "final"}
            << A{{"stdIn:2.1-2.4 Error: unbound\n", true, true}, {"", true, false}};
        QTest::newRow("the end: output after the last answer is nobody's") << int(OLSmlNJ)
            << QStringList{"commit:val x = 1;\n", "out:val x = 1 : int\n- ", "out:[autoloading]\n", "final"}
            << A{{"val x = 1 : int\n", false, true}, {"[autoloading]\n", false, false}};
        QTest::newRow("the end: nothing pending, nothing reported") << int(OLSmlNJ) << QStringList{"final"}
            << A{{"", false, false}};
        QTest::newRow("the end: during the start-up, a commit written") << int(OLSmlNJ)
            << QStringList{"early:val x = 1;\n", "out:" + smlBanner, "final"} << A{{smlBanner, true, true}};

        // A commit written before the interpreter has started: the start-up
        // text up to the first primary prompt is an answer of its own,
        // reported to nobody, however the reads cut the output.
        QTest::newRow("smlnj: a failure in the start-up text shown early") << int(OLSmlNJ)
            << QStringList{"early:val x = 1;\n", "out:uncaught exception Fail [init]\n", "unshown",
                           "out:- val x = 1 : int\n- "}
            << A{{"uncaught exception Fail [init]\n", true, false}, {"", true, false}, {"val x = 1 : int\n", false, true}};
        QTest::newRow("smlnj: banner and answer in one read") << int(OLSmlNJ)
            << QStringList{"early:val y = 1 +;\n", "out:" + smlBanner + "- " + smlError + "- "}
            << A{smlStart, {smlError, true, true}};
        QTest::newRow("smlnj: the start-up prompt cut between reads") << int(OLSmlNJ)
            << QStringList{"early:val x = 1;\n", "out:" + smlBanner + "-", "out: val x = 1 : int\n- "}
            << A{smlStart, {"val x = 1 : int\n", false, true}};
        QTest::newRow("smlnj: continuation prompts after the start-up prompt") << int(OLSmlNJ)
            << QStringList{"early:structure S = struct\nval a = 1\nend;\n", "out:" + smlBanner + "- = = ",
                           "out:structure S : sig val a : int end\n- "}
            << A{smlStart, {"structure S : sig val a : int end\n", false, true}};
        QTest::newRow("poly: rejected, with the banner in one read") << int(OLPolyML)
            << QStringList{"early:val y = foo;\n", "out:Poly/ML 5.7.1 Release\n> poly: : error: Value or constructor "
                                                   "(foo) has not been declared\nStatic Errors\n> "}
            << A{polyStart, {"poly: : error: Value or constructor (foo) has not been declared\nStatic Errors\n", true, true}};
        // Poly ML's start-up prompt is not one of the commit's lines.
        QTest::newRow("poly: two lines, the first answered at once") << int(OLPolyML)
            << QStringList{"early:val a = 1;\nval b = 2;\n", "out:Poly/ML 5.7.1 Release\n", "out:> ",
                           "out:val a = 1: int\n> ", "out:val b = 2: int\n> "}
            << A{polyStart, {"val a = 1: int\n> val b = 2: int\n", false, true}};
        QTest::newRow("poly -q: only the prompt") << int(OLPolyML)
            << QStringList{"early:val x = 1;\n", "out:> ", "out:val x = 1: int\n> "}
            << A{{"", false, false}, {"val x = 1: int\n", false, true}};
    }

    void answers()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, steps);
        QFETCH(QList<OLAnswer>, answers);
        const bool starting = steps.constFirst().startsWith(u"early:") || steps.constFirst().startsWith(u"out:");
        auto collector = starting ? std::make_unique<OLAnswerCollector>(OLInterpreterMode(mode)) : collectorAtPrompt(mode);
        QList<OLAnswer> taken;
        for (const QString &step : std::as_const(steps)) {
            if (step.startsWith(u"commit:") || step.startsWith(u"early:")) {
                collector->noteCommit(step.mid(step.indexOf(u':') + 1));
            } else if (step.startsWith(u"out:")) {
                for (collector->feed(step.mid(4)); collector->state() == State::Complete;)
                    taken.append(collector->takeAnswer());
            } else if (step == u"quiet") {
                QCOMPARE(collector->state(), State::PromptLikely);
                taken.append(collector->takeAnswer());
            } else if (step == u"final") {
                taken.append(collector->takeFinalAnswer());
            } else if (step == u"unshown") {
                taken.append(collector->takeUnshown());
            } else if (step == u"interrupt") {
                collector->noteRecoveryInterrupt();
                QVERIFY(collector->state() != State::Stuck); // interrupted once
            } else if (step == u"user") {
                collector->noteInterrupt();
            } else {
                QCOMPARE(collector->holdsInput(), step == u"held");
            }
        }
        QCOMPARE(taken, answers);
        QVERIFY(!collector->commitPending());
    }

    // A big answer in small reads stays linear: the prompt scan resumes where
    // it stopped.
    void manySmallReads()
    {
        const auto collector = collectorAtPrompt(OLPolyML);
        collector->noteCommit(u"val l = List.tabulate (100000, fn i => i);\n");
        QString expected;
        for (int i = 0; i < 100000; ++i) {
            const QString piece = QString::number(i) + QLatin1String(i % 10 == 9 ? ",\n  " : ", ");
            expected += piece;
            QCOMPARE(collector->feed(piece), State::Collecting);
        }
        QCOMPARE(collector->feed(u"0]: int list\n> "), State::Complete);
        QCOMPARE(collector->takeAnswer().text, expected + "0]: int list\n");
    }

    // An answer of megabytes is shown as it comes and not kept whole; what
    // was shown and dropped still counts for the verdict, as if the answer
    // had been judged whole: its beginning, every line by its beginning, its
    // end. Fill is 2 MB, in lines of 100 or as one line.
    void longAnswer_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("lines");
        QTest::addColumn<QString>("head");
        QTest::addColumn<QString>("middle");
        QTest::addColumn<QString>("tail");
        QTest::addColumn<bool>("error");
        const QString none;
        QTest::newRow("mosml: a failure from its beginning") << int(OLMosML) << true << "! Toplevel input:\n"
                                                              << "val a = 1\n" << none << true;
        QTest::newRow("mosml: a mark later on is output") << int(OLMosML) << true << "> val a = 1\n"
                                                           << "! not a failure\n" << none << false;
        QTest::newRow("smlnj: an uncaught exception in the middle") << int(OLSmlNJ) << true << none
            << "uncaught exception Fail [Fail: boom]\n" << none << true;
        QTest::newRow("smlnj: a warning in the middle") << int(OLSmlNJ) << true << none
            << "stdIn:1.1-1.9 Warning: match nonexhaustive\n" << none << false;
        QTest::newRow("smlnj: interrupted at the end of one long line") << int(OLSmlNJ) << false << none << none
                                                                         << "\nInterrupt\n" << true;
        QTest::newRow("smlnj: a line that only begins like a marker") << int(OLSmlNJ) << true << none
            << "Interrupted by the user\n" << "Interrupts\n" << false;
        QTest::newRow("smlnj: one long line that begins with a marker") << int(OLSmlNJ) << false
            << "uncaught exception Overflow " << none << none << true;
        QTest::newRow("poly: static errors at the end") << int(OLPolyML) << true << none << none << "Static Errors\n"
                                                        << true;
        QTest::newRow("poly: an exception in the middle, after prompts") << int(OLPolyML) << true << none
            << "> # Exception- Div raised\n" << none << true;
        QTest::newRow("poly: a marker inside a long line is output") << int(OLPolyML) << false << none << none << none
                                                                     << false;
    }

    void longAnswer()
    {
        QFETCH(int, mode);
        QFETCH(bool, lines);
        QFETCH(QString, head);
        QFETCH(QString, middle);
        QFETCH(QString, tail);
        QFETCH(bool, error);
        const QString fill = lines ? QString(99, u'x').append(u'\n').repeated(20000) : QString(2000000, u'x');
        // A long line with a marker inside it, and markers at line starts.
        QString whole = head + fill + (lines ? QString() : QStringLiteral(" Exception- ")) + fill + u'\n' + middle
            + fill + u'\n' + tail;
        QCOMPARE(isErrorOutput(OLInterpreterMode(mode), stripPrompts(OLInterpreterMode(mode), whole)), error);

        const auto collector = collectorAtPrompt(mode);
        collector->noteCommit(u"x;\n");
        QList<OLAnswer> taken;
        for (qsizetype at = 0; at < whole.size(); at += 65536) {
            collector->feed(QStringView(whole).mid(at, 65536));
            if (collector->unshownSize() >= (1 << 20))
                taken.append(collector->takeUnshown());
        }
        QCOMPARE(collector->feed(primaryPrompt(mode)), State::Complete);
        taken.append(collector->takeAnswer());
        QVERIFY(taken.size() > 5);
        QString shown;
        QList<bool> verdicts;
        for (const OLAnswer &answer : std::as_const(taken)) {
            shown += answer.text;
            if (answer.report)
                verdicts.append(!answer.error);
        }
        QCOMPARE(verdicts, QList<bool>{!error});
        QCOMPARE(taken.last().error, error);
        QVERIFY(shown == stripPrompts(OLInterpreterMode(mode), whole));
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
            const auto collector = collectorAtPrompt(OLSmlNJ);
            collector->noteCommit(u"x;\n");
            collector->feed(QStringView(whole).first(shownAt));
            const OLAnswer early = collector->takeUnshown();
            collector->feed(QStringView(whole).mid(shownAt));
            QCOMPARE(collector->feed(u"- "), State::Complete);
            const OLAnswer last = collector->takeAnswer();
            QVERIFY2(last.error && (early.report || last.report), qPrintable(QString::number(before)));
            QVERIFY(early.text + last.text == whole);
        }
    }
};

QTEST_GUILESS_MAIN(TestAnswerCollector)
#include "tst_answercollector.moc"
