// The session against the installed Poly ML 5.7.1 and SML of New Jersey 110.79.

#include "OLSessionTestSupport.h"

#include <QStandardPaths>

namespace {

using Run = OLSessionRun<>;

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

// Columns interpreter, text, success and shown (part of what the console
// shows in the verdict's style); a row for each interpreter.
void declarationColumns()
{
    QTest::addColumn<QString>("interpreter");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("shown");
}

void bothRows(const QString &name, const QString &text, bool success, const QString &polyShown,
              const QString &smlShown)
{
    if (!polyShown.isNull())
        QTest::newRow(qPrintable("poly: " + name)) << poly << text << success << polyShown;
    if (!smlShown.isNull())
        QTest::newRow(qPrintable("smlnj: " + name)) << sml << text << success << smlShown;
}

// The commit's verdict is the only one, and the console shows its answer in its style.
void checkVerdict(Run &run, bool success, const QString &shown)
{
    QVERIFY(run.waitForVerdicts(1));
    QCOMPARE(run.recorder.verdicts, QList<bool>{success});
    QVERIFY(run.waitForConsole(shown));
    QVERIFY2(run.recorder.shown(!success).contains(shown), qPrintable(run.recorder.shown()));
    QVERIFY(run.answers());
}

} // namespace

class TestRealInterpreters : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void cleanup() { endAllChildren(); }

    // Poly ML gets "-i" once, whether the command line has it or not.
    void polyInteractive_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("added") << poly + " -q" << QStringList{poly, "-i", "-q"};
        QTest::newRow("given after another argument") << poly + " -q -i" << QStringList{poly, "-q", "-i"};
    }

    void polyInteractive()
    {
        QFETCH(QString, commandLine);
        QFETCH(QStringList, arguments);
        Run run(commandLine);
        QVERIFY(run.waitFor([&] { return run.recorder.starts == 1; }));
        QCOMPARE(OLTestProcesses::commandLine(onlyChild()), arguments);
    }

    // The verdict on one declaration of the editor, what the console shows,
    // and that the interpreter takes the next declaration as its own.
    void declaration_data()
    {
        declarationColumns();
        bothRows("accepted", "val x = 1", true, "val x = 1: int\n", "val x = 1 : int\n");
        bothRows("rejected", "val y = foo", false, "Value or constructor (foo) has not been declared",
                 "Error: unbound variable or constructor: foo");
        bothRows("accepted with a warning", "fun g 0 = 1", true, "val g = fn: int -> int\n", "val g = fn : int -> int\n");
        bothRows("uncaught exception", "val z = 1 div 0", false, "Exception- Div raised\n", "uncaught exception Div");
        bothRows("structure over lines", "structure S = struct\n  val a = 1\nend\n", true,
                 "structure S: sig val a: int end\n", "structure S : sig val a : int end\n");
        bothRows("print without newline", "val _ = print \"no newline\"", true, "no newline", "no newline");
        bothRows("syntax error, recovery stopped", "val y = 1 +", false,
                 "poly: : error: <identifier> expected but ; was found\n", QString());
        bothRows("syntax error inside a structure", "structure T = struct\n  val a = 1 +\nend", false, "poly: : error:",
                 QString());
        bothRows("not UTF-8", "val _ = print \"\\195\"", true, "\ufffd", QString());
    }

    void declaration()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, text);
        QFETCH(bool, success);
        QFETCH(QString, shown);
        Run run(interpreter);
        QVERIFY(run.waitForOutput());
        run.recorder.clear();
        run.session->eval(text, OLEditorCommitter);
        checkVerdict(run, success, shown);
        QVERIFY2(!run.recorder.shown().contains(u"Compilation interrupted"), qPrintable(run.recorder.shown()));
        QCOMPARE(run.recorder.starts, 1);
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
        QVERIFY(run.waitForOutput());
        run.session->eval(QStringLiteral("fun f x = x;\nval _ = (OS.Process.sleep (Time.fromMilliseconds 1500); "
                                         "print \"slept\\n\");\n"),
                          OLEditorCommitter);
        QVERIFY(run.waitForConsole(QStringLiteral("slept\n")));
        checkVerdict(run, true, QStringLiteral("slept\n"));
    }

    // A computation, or an interpreter waiting for the rest of a declaration
    // that never comes: what it wrote is shown, the declaration stays
    // pending until the user interrupts, and then it has failed.
    void interrupt_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("first");
        const QString loop = QStringLiteral("val _ = let fun loop (x : int) : int = loop x in print \"started\\n\"; loop 0 end");
        QTest::newRow("poly: long computation") << poly << loop << "started\n";
        QTest::newRow("smlnj: long computation") << sml << loop << "started\n";
        QTest::newRow("poly: open comment") << poly << "val a = 1;\n(* open" << "val a = 1: int\n";
        QTest::newRow("smlnj: open comment") << sml << "val a = 1;\n(* open" << "val a = 1 : int\n";
    }

    void interrupt()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, text);
        QFETCH(QString, first);
        Run run(interpreter);
        QVERIFY(run.waitForOutput());
        run.session->eval(text, OLEditorCommitter);
        QVERIFY(run.waitForConsole(first));
        QVERIFY(run.recorder.verdicts.isEmpty());
        run.session->interruptEvaluation();
        checkVerdict(run, false, QString());
    }

    void reset_data() { bothInterpreters(); }

    void reset()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, banner);
        Run run(interpreter);
        run.session->eval(QStringLiteral("val kept = 1"), OLEditorCommitter);
        QVERIFY(run.waitForConsole(QStringLiteral("kept")));
        run.recorder.clear();
        run.session->resetEnvironment();
        QVERIFY(run.session->willReset());
        QVERIFY(run.waitFor([&] { return !run.session->willReset(); }));
        QVERIFY(run.waitForConsole(banner));
        QVERIFY(run.recorder.shown().startsWith(u"\n\n###reset environment\n\n"));
        run.session->eval(QStringLiteral("kept"), OLEditorCommitter);
        QVERIFY(run.waitForVerdicts(1));
        QCOMPARE(run.recorder.verdicts, QList<bool>{false});
        QCOMPARE(run.recorder.resets, 1);
        QCOMPARE(run.recorder.closes, 0);
        QCOMPARE(OLTestProcesses::liveChildren().size(), 1);
    }

    // An interpreter that ends by itself closes the window. The declaration
    // of the editor it ended on was not accepted: it has failed, once,
    // whatever the interpreter wrote before it ended (both warn about the type
    // of the expression). Several runs, since what is left differs from run to run.
    void exitByItself_data() { bothInterpreters(); }

    void exitByItself()
    {
        QFETCH(QString, interpreter);
        for (int attempt = 0; attempt < 3; ++attempt) {
            Run run(interpreter);
            QVERIFY(run.answers());
            run.session->eval(QStringLiteral("OS.Process.exit OS.Process.success"), OLEditorCommitter);
            QVERIFY(run.waitFor([&] { return run.recorder.closes > 0; }));
            QCOMPARE(run.recorder.closes, 1);
            QCOMPARE(run.recorder.verdicts, (QList<bool>{true, false}));
            QCOMPARE(run.recorder.activities, QList<OLInterpreterActivity>{OLInterpreterActivity::Ended});
        }
    }

    // A declaration written at once after a start or a reset, before the
    // interpreter's banner and first prompt: its verdict is its own, the
    // only one, and the banner is shown on its own, as an answer.
    void commitBeforeStartup_data()
    {
        declarationColumns();
        QTest::addColumn<bool>("afterReset");
        const auto rows = [](bool afterReset, const QString &name, const QString &text, bool success,
                             const QString &polyShown, const QString &smlShown) {
            const char *when = afterReset ? "after a reset" : "at the start";
            QTest::addRow("poly, %s: %s", when, qPrintable(name)) << poly << text << success << polyShown << afterReset;
            QTest::addRow("smlnj, %s: %s", when, qPrintable(name)) << sml << text << success << smlShown << afterReset;
        };
        for (const bool afterReset : {false, true}) {
            rows(afterReset, "rejected", "val y = foo", false, "Value or constructor (foo) has not been declared",
                 "Error: unbound variable or constructor: foo");
            rows(afterReset, "over lines", "structure S = struct\n  val a = 1\nend", true, "structure S: sig",
                 "structure S : sig");
        }
        rows(false, "accepted", "val y = 1", true, "val y = 1: int\n", "val y = 1 : int\n");
    }

    void commitBeforeStartup()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, text);
        QFETCH(bool, success);
        QFETCH(QString, shown);
        QFETCH(bool, afterReset);
        Run run(interpreter);
        if (afterReset) {
            QVERIFY(run.answers());
            run.session->resetEnvironment();
            run.recorder.clear();
        }
        run.session->eval(text, OLEditorCommitter);
        QVERIFY(run.waitForVerdicts(1));
        QCOMPARE(run.recorder.starts, afterReset ? 2 : 1);
        // The banner is a piece of its own, in the answer style.
        const QString banner = interpreter == poly ? polyBanner : smlBanner;
        const auto bannerPiece = std::find_if(run.recorder.pieces.cbegin(), run.recorder.pieces.cend(),
                                              [&](const auto &piece) { return piece.text.contains(banner); });
        QVERIFY2(bannerPiece != run.recorder.pieces.cend(), qPrintable(run.recorder.shown()));
        QVERIFY2(!bannerPiece->error && !bannerPiece->text.contains(shown), qPrintable(bannerPiece->text));
        checkVerdict(run, success, shown);
    }

    // A run that never started is shown as an error and leaves the window
    // open; the editor's commit fails instead of waiting for ever, before the
    // failure is known and after.
    void missingExecutable_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("poly") << "/nonexistent/ostrel/poly";
        QTest::newRow("smlnj") << "/nonexistent/ostrel/sml";
    }

    void missingExecutable()
    {
        QFETCH(QString, path);
        Run run(path);
        run.session->eval(QStringLiteral("val x = 1"), OLEditorCommitter);
        QVERIFY(run.waitForVerdicts(1));
        QCOMPARE(run.recorder.verdicts, QList<bool>{false});
        QCOMPARE(run.recorder.pieces,
                 (QList<OLSessionRecorder::Piece>{{true, "Could not start " + path + ": No such file or directory\n"}}));
        run.session->eval(QStringLiteral("val x = 1"), OLEditorCommitter);
        QCOMPARE(run.recorder.verdicts, (QList<bool>{false, false}));
        QCOMPARE(run.recorder.activities, QList<OLInterpreterActivity>{OLInterpreterActivity::Ended});
        QCOMPARE(run.recorder.closes, 0);
        QCOMPARE(run.recorder.starts, 0);
    }

    // Evaluation to the end of a source: each success takes the next step
    // at once, as the editor does. Every verdict must belong to its own
    // declaration, however the interpreter splits its answers.
    void stepwise_data() { bothInterpreters(); }

    void stepwise()
    {
        QFETCH(QString, interpreter);
        const QStringList declarations{"val a = 1;\n", "fun f x = x;\nf 3;\n", "val _ = ()\n",
                                       "val _ = print \"x\";\nval c = 2\n", "structure S = struct\n  val s = a\nend\n",
                                       "val d = foo\n", "val e = 1\n"};
        Run run(interpreter);
        QVERIFY(run.waitForOutput());
        run.recorder.clear();
        qsizetype next = 0;
        QList<QPair<qsizetype, bool>> verdicts;
        run.recorder.onVerdict = [&](bool success) {
            verdicts.append({next - 1, success});
            if (success && next < declarations.size())
                run.session->eval(declarations.at(next++), OLEditorCommitter);
        };
        run.session->eval(declarations.at(next++), OLEditorCommitter);
        QVERIFY(run.waitFor([&] { return !verdicts.isEmpty() && !verdicts.last().second; }));
        QCOMPARE(verdicts, (QList<QPair<qsizetype, bool>>{{0, true}, {1, true}, {2, true}, {3, true}, {4, true},
                                                          {5, false}}));
        QVERIFY(run.recorder.shown(false).contains(u"val it = 3"));
        QVERIFY(run.recorder.shown(false).contains(u"val c = 2"));
    }
};

QTEST_GUILESS_MAIN(TestRealInterpreters)
#include "tst_realinterpreters.moc"
