// The session against the installed Poly ML 5.7.1 and SML of New Jersey 110.79.

#include "session/OLInterpreterSession.h"

#include "OLSessionTestSupport.h"
#include "OLTestProcesses.h"

#include <QStandardPaths>
#include <QTest>

namespace {

constexpr int answerTimeoutMs = 20000;

// One session with its store and recorder, started on an interpreter.
struct Run {
    explicit Run(const QString &interpreter)
    {
        store.setInterpreter(interpreter);
        session.startProcess();
    }

    bool waitFor(const std::function<bool()> &condition) { return QTest::qWaitFor(condition, answerTimeoutMs); }
    bool waitForConsole(const QString &text)
    {
        return waitFor([&] { return recorder.console().contains(text); });
    }
    bool waitForVerdicts(qsizetype count)
    {
        return waitFor([&] { return recorder.verdicts.size() >= count; });
    }
    // The interpreter stands at its first prompt: its start-up text is shown.
    bool waitForStartup()
    {
        return waitFor([&] { return !recorder.pieces.isEmpty(); });
    }
    // The interpreter goes on: a plain declaration after whatever came before
    // gets its own verdict, and nothing else arrives for the editor.
    bool goesOn()
    {
        recorder.clear();
        session.eval(QStringLiteral("val after = 5"), OLEditorCommitter);
        return waitForConsole(QStringLiteral("after")) && recorder.verdicts == QList<bool>{true};
    }

    OLTestSettings store;
    OLSessionRecorder recorder;
    OLInterpreterSession session{store.defaults, recorder, recorder, recorder};
};

const QString poly = QStringLiteral("/usr/bin/poly");
const QString sml = QStringLiteral("/usr/bin/sml");
const QString polyBanner = QStringLiteral("Poly/ML 5.7.1 Release\n");
const QString smlBanner = QStringLiteral("Standard ML of New Jersey v110.79");

void bothInterpreters()
{
    QTest::addColumn<QString>("interpreter");
    QTest::addColumn<QString>("banner");
    QTest::newRow("poly") << poly << polyBanner;
    QTest::newRow("smlnj") << sml << smlBanner;
}

} // namespace

class TestRealInterpreters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void cleanup() { endAllChildren(); }

    // Poly ML gets "-i" once, whether the command line has it or not.
    void banner_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("banner");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("poly") << poly << polyBanner << QStringList{poly, "-i"};
        QTest::newRow("poly, -i given") << poly + " -i" << polyBanner << QStringList{poly, "-i"};
        QTest::newRow("poly, other arguments") << poly + " -q" << QString() << QStringList{poly, "-i", "-q"};
        QTest::newRow("poly, -i after another argument") << poly + " -q -i" << QString() << QStringList{poly, "-q", "-i"};
        QTest::newRow("smlnj") << sml << smlBanner << QStringList();
    }

    void banner()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, banner);
        QFETCH(QStringList, arguments);
        Run run(interpreter);
        QVERIFY(run.waitFor([&] { return run.recorder.console().startsWith(banner); }));
        if (!arguments.isEmpty()) {
            const QList<qint64> children = OLTestProcesses::liveChildren();
            QCOMPARE(children.size(), 1);
            QCOMPARE(OLTestProcesses::commandLine(children.first()), arguments);
        }
    }

    // The verdict on one declaration from the editor, what the console shows,
    // and that the interpreter takes the next declaration as its own.
    void declaration_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("shown"); // part of what the console shows in the verdict's style

        const auto row = [](const char *name, const QString &interpreter, const char *text, bool success,
                            const char *shown) {
            QTest::newRow(name) << interpreter << QString::fromUtf8(text) << success << QString::fromUtf8(shown);
        };
        row("poly: accepted", poly, "val x = 1", true, "val x = 1: int\n");
        row("smlnj: accepted", sml, "val x = 1", true, "val x = 1 : int\n");
        row("poly: rejected", poly, "val y = foo", false, "Value or constructor (foo) has not been declared");
        row("smlnj: rejected", sml, "val y = foo", false, "Error: unbound variable or constructor: foo");
        row("poly: accepted with a warning", poly, "fun g 0 = 1", true, "val g = fn: int -> int\n");
        row("smlnj: accepted with a warning", sml, "fun g 0 = 1", true, "val g = fn : int -> int\n");
        row("poly: uncaught exception", poly, "val z = 1 div 0", false, "Exception- Div raised\n");
        row("smlnj: uncaught exception", sml, "val z = 1 div 0", false, "uncaught exception Div");
        row("poly: structure over lines", poly, "structure S = struct\n  val a = 1\nend\n", true,
            "structure S: sig val a: int end\n");
        row("smlnj: structure over lines", sml, "structure S = struct\n  val a = 1\nend\n", true,
            "structure S : sig val a : int end\n");
        row("poly: print without newline", poly, "val _ = print \"no newline\"", true, "no newline");
        row("smlnj: print without newline", sml, "val _ = print \"no newline\"", true, "no newline");
        row("poly: binds nothing visible", poly, "val _ = ()", true, "");
        row("smlnj: binds nothing visible", sml, "val _ = ()", true, "");
        row("poly: own semicolon", poly, "val w = 2;\n", true, "val w = 2: int\n");
        row("smlnj: own semicolon", sml, "val w = 2;\n", true, "val w = 2 : int\n");
        row("poly: syntax error, recovery stopped", poly, "val y = 1 +", false,
            "poly: : error: <identifier> expected but ; was found\n");
        row("smlnj: syntax error", sml, "val y = 1 +", false, "Error: expression or pattern ends with infix identifier");
        row("poly: syntax error inside a structure", poly, "structure T = struct\n  val a = 1 +\nend", false,
            "poly: : error:");
        row("poly: not UTF-8", poly, "val _ = print \"\\195\"", true, "\ufffd");
    }

    void declaration()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, text);
        QFETCH(bool, success);
        QFETCH(QString, shown);
        Run run(interpreter);
        QVERIFY(run.waitForStartup());
        run.recorder.clear();
        run.session.eval(text, OLEditorCommitter);
        QVERIFY(run.waitForVerdicts(1));
        QCOMPARE(run.recorder.verdicts, QList<bool>{success});
        QCOMPARE(run.recorder.starts, 1);
        QVERIFY(run.waitForConsole(shown));
        QVERIFY2(run.recorder.shown(!success).contains(shown), qPrintable(run.recorder.console()));
        QVERIFY2(!run.recorder.console().contains(u"Compilation interrupted"), qPrintable(run.recorder.console()));
        QVERIFY(run.goesOn());
        QCOMPARE(run.recorder.closes, 0);
    }

    // Poly ML answers every line of a declaration on its own: the verdict
    // waits for the last line, however long it computes. An answer taken as
    // complete too early would make a second verdict for the same commit.
    void laterLineComputes_data() { bothInterpreters(); }

    void laterLineComputes()
    {
        QFETCH(QString, interpreter);
        Run run(interpreter);
        QVERIFY(run.waitForStartup());
        run.recorder.clear();
        run.session.eval(QStringLiteral("fun f x = x;\n"
                                        "val _ = (OS.Process.sleep (Time.fromMilliseconds 1500); print \"slept\\n\");\n"),
                         OLEditorCommitter);
        QVERIFY(run.waitForConsole(QStringLiteral("slept\n")));
        QCOMPARE(run.recorder.verdicts, QList<bool>{true});
        QVERIFY(run.goesOn());
    }

    void interruptLongComputation_data() { bothInterpreters(); }

    void interruptLongComputation()
    {
        QFETCH(QString, interpreter);
        Run run(interpreter);
        run.session.eval(QStringLiteral("fun loop (x : int) : int = loop x"), OLEditorCommitter);
        QVERIFY(run.waitForConsole(QStringLiteral("val loop")));
        run.recorder.clear();
        run.session.eval(QStringLiteral("val _ = (print \"started\\n\"; loop 0)"), OLEditorCommitter);
        // Output of a running computation is shown before any prompt; the
        // declaration stays pending.
        QVERIFY(run.waitForConsole(QStringLiteral("started\n")));
        QVERIFY(run.recorder.verdicts.isEmpty());
        run.session.interruptEvaluation();
        QVERIFY(run.waitForVerdicts(1));
        QCOMPARE(run.recorder.verdicts, QList<bool>{false});
        QVERIFY(run.goesOn());
    }

    // An interpreter that waits for the rest of a declaration that never
    // comes: the declaration stays pending until the user interrupts, and
    // then it has failed.
    void waitingForMoreInput_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("first");
        QTest::newRow("poly: open comment") << poly << "val a = 1;\n(* open" << "val a = 1: int\n";
        QTest::newRow("smlnj: open comment") << sml << "val a = 1;\n(* open" << "val a = 1 : int\n";
        QTest::newRow("smlnj: val without a pattern") << sml << "val a = 1;\nval = 3" << "val a = 1 : int\n";
    }

    void waitingForMoreInput()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, text);
        QFETCH(QString, first);
        Run run(interpreter);
        QVERIFY(run.waitForStartup());
        run.recorder.clear();
        run.session.eval(text, OLEditorCommitter);
        QVERIFY(run.waitForConsole(first));
        QVERIFY(run.recorder.verdicts.isEmpty());
        run.session.interruptEvaluation();
        QVERIFY(run.waitForVerdicts(1));
        QCOMPARE(run.recorder.verdicts, QList<bool>{false});
        QVERIFY(run.goesOn());
    }

    void reset_data() { bothInterpreters(); }

    void reset()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, banner);
        Run run(interpreter);
        run.session.eval(QStringLiteral("val kept = 1"), OLEditorCommitter);
        QVERIFY(run.waitForConsole(QStringLiteral("kept")));
        run.recorder.clear();
        run.session.resetEnvironment();
        QVERIFY(run.session.willReset());
        QVERIFY(run.waitFor([&] { return !run.session.willReset(); }));
        QVERIFY(run.waitForConsole(banner));
        QVERIFY(run.recorder.console().startsWith(u"\n\n###reset environment\n\n"));
        run.session.eval(QStringLiteral("kept"), OLEditorCommitter);
        QVERIFY(run.waitForVerdicts(1));
        QCOMPARE(run.recorder.verdicts, QList<bool>{false});
        QCOMPARE(run.recorder.resets, 1);
        QCOMPARE(run.recorder.closes, 0);
        QCOMPARE(OLTestProcesses::liveChildren().size(), 1);
    }

    // An interpreter that ends by itself closes the window. A declaration
    // of the editor that it ended on was not accepted: it has failed, once,
    // whatever the interpreter wrote before it ended (both warn about the
    // type of the expression). Several runs, since what is left at the end
    // differs from run to run.
    void exitByItself_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<int>("from");
        QTest::addColumn<QList<bool>>("verdicts");
        QTest::newRow("poly, from the console") << poly << int(OLConsoleCommitter) << QList<bool>();
        QTest::newRow("smlnj, from the console") << sml << int(OLConsoleCommitter) << QList<bool>();
        QTest::newRow("poly, from the editor") << poly << int(OLEditorCommitter) << QList<bool>{false};
        QTest::newRow("smlnj, from the editor") << sml << int(OLEditorCommitter) << QList<bool>{false};
    }

    void exitByItself()
    {
        QFETCH(QString, interpreter);
        QFETCH(int, from);
        QFETCH(QList<bool>, verdicts);
        for (int attempt = 0; attempt < 3; ++attempt) {
            Run run(interpreter);
            QVERIFY(run.waitForStartup());
            run.session.eval(QStringLiteral("val ready = 1"), OLEditorCommitter);
            QVERIFY(run.waitForVerdicts(1));
            run.recorder.clear();
            run.session.eval(QStringLiteral("OS.Process.exit OS.Process.success"), from);
            QVERIFY(run.waitFor([&] { return run.recorder.closes > 0; }));
            QCOMPARE(run.recorder.closes, 1);
            QCOMPARE(run.recorder.verdicts, verdicts);
            QCOMPARE(run.recorder.activities, QList<OLInterpreterActivity>{OLInterpreterActivity::Ended});
        }
    }

    // A declaration written at once after a start or a reset, before the
    // interpreter's banner and first prompt: its verdict is its own, the
    // only one, and the banner is shown on its own, as an answer.
    void commitBeforeStartup_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("banner");
        QTest::addColumn<bool>("afterReset");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("shown");
        for (const bool afterReset : {false, true}) {
            const char *when = afterReset ? "after a reset" : "at the start";
            const auto row = [&](const char *what, const QString &interpreter, const QString &banner, const char *text,
                                 bool success, const char *shown) {
                QTest::addRow("%s, %s: %s", interpreter == poly ? "poly" : "smlnj", when, what)
                    << interpreter << banner << afterReset << QString::fromUtf8(text) << success << QString::fromUtf8(shown);
            };
            row("rejected", sml, smlBanner, "val y = 1 +", false, "Error: expression or pattern ends with infix identifier");
            row("accepted", sml, smlBanner, "val y = 1", true, "val y = 1 : int\n");
            row("over lines", sml, smlBanner, "structure S = struct\n  val a = 1\nend", true, "structure S : sig");
            row("rejected", poly, polyBanner, "val y = foo", false, "Value or constructor (foo) has not been declared");
            row("accepted", poly, polyBanner, "val y = 1", true, "val y = 1: int\n");
            row("over lines", poly, polyBanner, "structure S = struct\n  val a = 1\nend", true, "structure S: sig");
        }
    }

    void commitBeforeStartup()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, banner);
        QFETCH(bool, afterReset);
        QFETCH(QString, text);
        QFETCH(bool, success);
        QFETCH(QString, shown);
        Run run(interpreter);
        if (afterReset) {
            QVERIFY(run.waitForStartup());
            run.session.eval(QStringLiteral("val old = 1"), OLEditorCommitter);
            QVERIFY(run.waitForVerdicts(1));
            run.session.resetEnvironment();
            run.recorder.clear();
        }
        run.session.eval(text, OLEditorCommitter);
        QVERIFY(run.waitForVerdicts(1));
        QCOMPARE(run.recorder.verdicts, QList<bool>{success});
        QCOMPARE(run.recorder.starts, afterReset ? 2 : 1);
        QVERIFY(run.waitForConsole(shown));
        // The banner is a piece of its own, in the answer style.
        const auto bannerPiece = std::find_if(run.recorder.pieces.cbegin(), run.recorder.pieces.cend(),
                                              [&](const auto &piece) { return piece.text.contains(banner); });
        QVERIFY2(bannerPiece != run.recorder.pieces.cend(), qPrintable(run.recorder.console()));
        QVERIFY2(!bannerPiece->error && !bannerPiece->text.contains(shown), qPrintable(bannerPiece->text));
        QVERIFY2(run.recorder.shown(!success).contains(shown), qPrintable(run.recorder.console()));
        // No second verdict for it: the next declaration's is the next one.
        QVERIFY(run.goesOn());
    }

    void missingPoly()
    {
        Run run(QStringLiteral("/nonexistent/ostrel/poly"));
        QVERIFY(run.waitFor([&] { return !run.recorder.pieces.isEmpty(); }));
        QCOMPARE(run.recorder.shown(true),
                 QStringLiteral("Could not start /nonexistent/ostrel/poly: No such file or directory\n"));
        QCOMPARE(run.recorder.closes, 0);
    }

    // Evaluation to the end of a source: each success takes the next step
    // at once, as the editor does. Every verdict must belong to its own
    // declaration, however the interpreter splits its answers.
    void stepwise_data() { bothInterpreters(); }

    void stepwise()
    {
        QFETCH(QString, interpreter);
        const QStringList declarations{
            "val a = 1;\n",
            "fun f x = x;\nf 3;\n",
            "val _ = ()\n",
            "val _ = print \"x\";\nval c = 2\n",
            "structure S = struct\n  val s = a\nend\n",
            "val d = foo\n",
            "val e = 1\n",
        };
        Run run(interpreter);
        QVERIFY(run.waitForStartup());
        run.recorder.clear();
        qsizetype next = 0;
        QList<QPair<qsizetype, bool>> verdicts;
        run.recorder.onVerdict = [&](bool success) {
            verdicts.append({next - 1, success});
            if (success && next < declarations.size())
                run.session.eval(declarations.at(next++), OLEditorCommitter);
        };
        run.session.eval(declarations.at(next++), OLEditorCommitter);
        QVERIFY(run.waitFor([&] { return !verdicts.isEmpty() && !verdicts.last().second; }));
        QCOMPARE(verdicts, (QList<QPair<qsizetype, bool>>{{0, true}, {1, true}, {2, true}, {3, true}, {4, true},
                                                          {5, false}}));
        QVERIFY(run.recorder.shown(false).contains(u"val it = 3"));
        QVERIFY(run.recorder.shown(false).contains(u"val c = 2"));
    }
};

QTEST_GUILESS_MAIN(TestRealInterpreters)
#include "tst_realinterpreters.moc"
