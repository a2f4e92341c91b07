// A file evaluated in its window through the real interpreters: to the
// cursor, then to the end with a failing declaration, then on after fixing
// it, then a step undone and the rest replayed into a new interpreter. The
// blue, green and red marks of the editor are checked against what the
// interpreter answered in the console. Retracts, each followed by its
// replay into a new interpreter: the green part, the note, and which names
// the new interpreter holds. What the window shows of its interpreter: busy,
// idle again, not running; that it is drawn while a declaration computes.

#include "appfixture.h"

#include <QAction>
#include <QLabel>

namespace {
constexpr int timeout = 30000;

struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};
} // namespace

class TestEvaluation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each interpreter, how an answer gives the type, and its error on a name that is not bound.
    void evaluatesThroughTheInterpreter()
    {
        for (const auto &[interpreter, ofType, unbound] : {std::tuple(polyCommandLine, QStringLiteral(": int"), QStringLiteral("Value or constructor (%1) has not been declared")),
                                                           std::tuple(smlnjCommandLine, QStringLiteral(" : int"), QStringLiteral("unbound variable or constructor: %1"))}) {
            const QString source = QStringLiteral("val a = 1;\nval b = a + 1;\nval c = undefinedName;\nval d = b * 10;\n");
            AppFixture fixture(interpreter);
            OLWindowController *window = fixture.open(QStringLiteral("eval.sml"), source.toUtf8());
            // The banner first, so that the answers below are the declarations'.
            QVERIFY(window && waitForBanner(window));
            OLEditorViewController *editor = window->editor();
            const OLTextStorage &marks = editor->textStorage();
            const qsizetype startB = source.indexOf(u"val b"), startC = source.indexOf(u"val c"), startD = source.indexOf(u"val d");

            // To the cursor, inside the second declaration: the first is pending
            // (blue) at once; both answered, green up to the end of the second.
            editor->textView()->selectText(startB + 4, startB + 4);
            window->evalToCursor();
            QVERIFY(editor->pending() == (OLTextRange{0, quint64(startB)}) && backgroundIs(marks, 0, startB, OLSyntaxHighlighter::lightBlue()));
            QTRY_VERIFY_WITH_TIMEOUT(!editor->pending().isSet() && editor->interpreted() >= startB + 4, timeout);
            QVERIFY(editor->inLoop() == 0 && editor->interpreted() == startC);
            QVERIFY(backgroundIs(marks, 0, startC, OLSyntaxHighlighter::lightGreen()) && backgroundIs(marks, startC, source.size(), std::nullopt));
            QTRY_VERIFY_WITH_TIMEOUT(answers(window).contains(QStringLiteral("val b = 2") + ofType), timeout);

            // The whole file: the third declaration fails (red) and the loop stops
            // there; the fourth is not sent.
            window->evalFile();
            QTRY_VERIFY_WITH_TIMEOUT(editor->error().isSet(), timeout);
            QVERIFY(editor->error() == (OLTextRange{quint64(startC), quint64(startD - startC)}) && editor->interpreted() == startC);
            QVERIFY(backgroundIs(marks, 0, startC, OLSyntaxHighlighter::lightGreen()) && backgroundIs(marks, startD, source.size(), std::nullopt));
            QVERIFY(backgroundIs(marks, startC, startD, OLSyntaxHighlighter::lightRed()));
            const QString error = unbound.arg(QStringLiteral("undefinedName"));
            QTRY_VERIFY_WITH_TIMEOUT(answers(window, true).contains(error), timeout);
            QVERIFY(!consoleShows(window, QStringLiteral("val d = 20")) && editor->inLoop() == 2);
            // The error is where the interpreter placed it; a double click on the
            // message in the console leads there.
            const auto place = quint64(source.indexOf(u"undefinedName"));
            QVERIFY(editor->messages().size() == 1 && editor->messages().front().range == (OLTextRange{place, 13}));
            OLTextView *console = window->console()->textView();
            QTextCursor message(console->document());
            message.setPosition(int(window->console()->textStorage().string().lastIndexOf(error)));
            QTest::mouseDClick(console->viewport(), Qt::LeftButton, {}, console->cursorRect(message).center());
            QCOMPARE(editor->textView()->textCursor().position(), int(place));

            // Fixed by hand, one step that succeeds goes on to the end.
            editor->textView()->selectText(place, place + 13);
            editor->textView()->setFocus();
            QTest::keyClick(editor->textView(), Qt::Key_3);
            QVERIFY(!editor->error().isSet() && backgroundIs(marks, startC, editor->content().size(), std::nullopt));
            window->evalNextStep();
            QTRY_COMPARE_WITH_TIMEOUT(editor->interpreted(), editor->content().size(), timeout);
            QTRY_VERIFY_WITH_TIMEOUT(answers(window).contains(QStringLiteral("val d = 20") + ofType), timeout);
            QVERIFY(backgroundIs(marks, 0, editor->interpreted(), OLSyntaxHighlighter::lightGreen()));
            // Undo Step: the first three replayed into a new interpreter, which
            // has c and not d.
            window->undoStep();
            QTRY_VERIFY_WITH_TIMEOUT(consoleShows(window, QStringLiteral("Replayed 3 declarations")), timeout);
            QCOMPARE(editor->interpreted(), editor->content().indexOf(u"val d"));
            window->eval(QStringLiteral("c + d"), OLConsoleCommitter);
            QTRY_VERIFY_WITH_TIMEOUT(answers(window, true).contains(unbound.arg(QStringLiteral("d"))), timeout);
            QVERIFY(!answers(window, true).contains(unbound.arg(QStringLiteral("c"))));
        }
    }

    // Moscow ML prompts for no more of a declaration left open: it is not
    // sent, and the console says what is open, where in the file.
    void declarationLeftOpenNotSent()
    {
        SKIP_UNLESS_INSTALLED(mosmlPath);
        AppFixture fixture(mosmlCommandLine);
        OLWindowController *window = fixture.open(QStringLiteral("open.sml"), "val a = 1;\n\nval b = (2 +\n  3;\n");
        QVERIFY(window && waitForBanner(window));
        window->evalFile();
        QTRY_VERIFY_WITH_TIMEOUT(window->editor()->error().isSet() && answers(window, true).contains(u"\"(\" opened at line 3, column 9"), timeout);
        QCOMPARE(window->editor()->interpreted(), 12);
    }

    // The whole file evaluated in a new window, or after a reset, before the
    // interpreter has written its banner: the first declaration gets its own
    // verdict, the banner none, and the banner is no part of the error shown.
    // Poly ML in a new window, SML of New Jersey after a reset.
    void wholeFileBeforeTheBanner()
    {
        for (const auto &[interpreter, banner] : {std::pair(polyCommandLine, "Poly/ML"), std::pair(smlnjCommandLine, "Standard ML of New Jersey")}) {
            AppFixture fixture(interpreter);
            OLWindowController *window = fixture.untitled();
            OLEditorViewController *editor = window->editor();
            if (interpreter == smlnjCommandLine) {
                QTRY_VERIFY_WITH_TIMEOUT(consoleShows(window, banner), timeout);
                window->resetEnvironment();
            }
            // No turn of the event loop in between: the banner cannot have come.
            editor->setContent(QStringLiteral("val a = undefinedName;\nval b = 2;\n"));
            window->evalFile();
            QTRY_VERIFY_WITH_TIMEOUT(editor->error().isSet() && answers(window, true).contains(u"undefinedName"), timeout);
            QVERIFY(editor->error() == (OLTextRange{0, 23}) && editor->interpreted() == 0 && backgroundIs(editor->textStorage(), 23, 34, std::nullopt));
            QVERIFY(answers(window).contains(banner) && !answers(window, true).contains(banner));
        }
    }

    // While the whole file is being evaluated and a declaration computes, a
    // reset, the file read again (changed on disk) or a commit from the
    // console: the editor takes edits once the interpreter has answered what
    // it was given, with marks that fit its text, and evaluates it anew.
    // The answer the console shows at last for each.
    void noStateLocksTheEditor()
    {
        for (const auto &[what, answered] : {std::pair(QStringLiteral("reset"), QStringLiteral("###reset environment")),
                                             std::pair(QStringLiteral("reload"), QStringLiteral("Retracted everything")),
                                             std::pair(QStringLiteral("console"), QStringLiteral("val fromConsole = 4"))}) {
            AppFixture fixture;
            const QString go = fixture.path(QStringLiteral("go"));
            // Computes until the test lets it go on.
            const QString source = QStringLiteral("val a = 1;\nval slow = let fun w () = OS.FileSys.access (\"%1\", []) orelse "
                                                  "(OS.Process.sleep (Time.fromMilliseconds 10); w ()) in w () end;\nval c = 3;\n").arg(go);
            OLWindowController *window = fixture.open(QStringLiteral("state.sml"), source.toUtf8());
            QVERIFY(window && waitForBanner(window));
            OLEditorViewController *editor = window->editor();
            window->evalFile();
            QTRY_COMPARE_WITH_TIMEOUT(editor->pending().location, quint64(source.indexOf(u"val slow")), timeout);
            // A repaint waits for the next declaration only a moment.
            PaintCounter counter;
            editor->textView()->viewport()->installEventFilter(&counter);
            editor->textView()->viewport()->update();
            QTRY_VERIFY_WITH_TIMEOUT(counter.paints > 0, 5000);
            if (what == u"reset") {
                window->resetEnvironment();
            } else if (what == u"reload") {
                fixture.asker.changedFileAnswers.push_back(OLAsker::ChangedFile::Reload);
                changeFile(QStringLiteral("rewrite"), window->file(), "val b = 2;\n");
                WAIT_FOR_TEXT(window, QStringLiteral("val b = 2;\n"));
            } else {
                window->eval(QStringLiteral("val fromConsole = 4"), OLConsoleCommitter);
            }
            fixture.write(QStringLiteral("go"), "");
            QTRY_VERIFY_WITH_TIMEOUT(consoleShows(window, answered), timeout);
            QTRY_VERIFY_WITH_TIMEOUT(!editor->pending().isSet() && editor->inLoop() == 0, timeout);
            QCOMPARE(editor->interpreted(), what == u"console" ? editor->content().size() : 0);
            typeAtEnd(window, QStringLiteral("val e = 5;"));
            window->evalFile();
            QTRY_COMPARE_WITH_TIMEOUT(editor->interpreted(), editor->content().size(), timeout);
            QVERIFY(editor->content().endsWith(QStringLiteral("\nval e = 5;")) && backgroundIs(editor->textStorage(), 0, editor->interpreted(), OLSyntaxHighlighter::lightGreen()));
        }
    }

    // Steps: F Whole File, T:after:text types text after the first "after",
    // u undoes in the editor, U Undo Step, R:after Retract to Cursor there,
    // C:text a console commit, D deletes the file that the declaration s opens.
    // Each row: the interpreter, the steps, where the green part ends (after
    // this text), the names bound after it, and the note.
    void retracts_data()
    {
        QTest::addColumn<QStringList>("row");
        const QString poly = polyCommandLine, mosml = mosmlCommandLine;
        QTest::newRow("Poly ML, edit inside a middle declaration") << QStringList{poly, "F|T:val c:x", "a + 1;\n\n", "asb", "Replayed 3 declarations"};
        QTest::newRow("Poly ML, blank between declarations") << QStringList{poly, "F|T:a + 1;\n: ", "a + 1;\n", "asb", "Replayed 3 declarations"};
        QTest::newRow("Poly ML, undo of an edit") << QStringList{poly, "T:c + 1:0|F|u", "b + 1;\n", "asbc", "Replayed 4 declarations"};
        QTest::newRow("Poly ML, Retract to Cursor") << QStringList{poly, "F|R:val b", "\");\n", "as", "Replayed 2 declarations"};
        QTest::newRow("Poly ML, console input in between") << QStringList{poly, "F|C:val z = 9|U", "b + 1;\n", "asbc", "(1 entry) was not replayed"};
        QTest::newRow("Moscow ML, edit at the start") << QStringList{mosml, "F|T:: ", "", "", "Retracted everything"};
        QTest::newRow("Moscow ML, Undo Step twice") << QStringList{mosml, "F|U|U", "a + 1;\n\n", "asb", "Replayed 3 declarations"};
        QTest::newRow("Moscow ML, a failure during the replay") << QStringList{mosml, "F|D|T:val d:x", "1;\n", "a", "Replayed 1 of 4 declarations"};
    }
    void retracts()
    {
        QFETCH(QStringList, row);
        const QString &interpreter = row[0], &evaluated = row[2], &bound = row[3], &note = row[4];
        // Its error on a name that is not bound.
        const QString unbound = interpreter == polyCommandLine ? QStringLiteral("(%1) has not been declared") : QStringLiteral("identifier: %1");
        if (interpreter == mosmlCommandLine)
            SKIP_UNLESS_INSTALLED(mosmlPath);
        AppFixture fixture(interpreter);
        const QString data = fixture.write(QStringLiteral("data"), "x");
        const QString source = QStringLiteral("val a = 1;\nval s = TextIO.closeIn (TextIO.openIn \"%1\");\nval b = a + 1;\n\n"
                                              "val c = b + 1;\nval d = c + 1;\n").arg(data);
        OLWindowController *window = fixture.open(QStringLiteral("retract.sml"), source.toUtf8());
        QVERIFY(window && waitForBanner(window));
        OLEditorViewController *editor = window->editor();
        const auto after = [editor](const QString &text) { return editor->content().indexOf(text) + text.size(); };
        for (const QString &step : row[1].split(u'|')) {
            const QStringList args = step.split(u':');
            if (args[0] == u"T" || args[0] == u"R")
                editor->textView()->selectText(after(args[1]), after(args[1]));
            switch (step[0].unicode()) {
            case 'F': window->evalFile(); break;
            case 'T': QTest::keyClicks(editor->textView(), args[2]); break;
            case 'u': editor->textView()->guardedUndo(); break;
            case 'U': window->undoStep(); break;
            case 'R': window->retractToCursor(); break;
            case 'C': window->eval(args[1], OLConsoleCommitter); break;
            default: QVERIFY(QFile::remove(data));
            }
            // Whole File and the console's answer are waited for.
            QTRY_VERIFY_WITH_TIMEOUT(step != u"F" || editor->interpreted() == editor->content().size(), 30000);
            QTRY_VERIFY_WITH_TIMEOUT(args[0] != u"C" || consoleShows(window, args[1]), 30000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(consoleShows(window, note), 30000);
        QVERIFY(!editor->evaluated().isReplaying() && !editor->pending().isSet());
        QCOMPARE(editor->interpreted(), after(evaluated));
        QCOMPARE(editor->error().isSet(), note.contains(u" of "));
        const qsizetype marked = editor->error().isSet() ? after(QStringLiteral("\");\n")) : editor->interpreted();
        const OLTextStorage &marks = editor->textStorage();
        QVERIFY(evaluated.isEmpty() || backgroundIs(marks, 0, editor->interpreted(), OLSyntaxHighlighter::lightGreen()));
        QVERIFY(marked == editor->interpreted() || backgroundIs(marks, editor->interpreted(), marked, OLSyntaxHighlighter::lightRed()));
        QVERIFY(backgroundIs(marks, marked, editor->content().size(), std::nullopt));
        // Bound as kept, and only so.
        for (const QChar name : QStringLiteral("asbcdz")) {
            const QString answer = QStringLiteral("val q_%1 = ").arg(name);
            window->eval(answer + name, OLConsoleCommitter);
            QTRY_VERIFY_WITH_TIMEOUT(answers(window).contains(answer) || answers(window, true).contains(unbound.arg(name)), 30000);
            QCOMPARE(answers(window).contains(answer), bound.contains(name));
        }
    }

    // A commit that keeps the interpreter from its prompt shows it busy after
    // a while; back at its prompt, the status is empty again. However the
    // interpreter ended without closing the window (interrupted, then killed
    // from outside; terminated by an interrupt after an ignored one; exited,
    // the user kept the unsaved text), the window says that none runs until a
    // reset starts one; the commands stay (a disabled action ignores trigger()).
    void busyIdleAndNotRunning()
    {
        for (const QString &how : {QStringLiteral("kill"), QStringLiteral("ignore-int"), QStringLiteral("exit")}) {
            AppFixture fixture;
            const QString link = fixture.path(QStringLiteral("sml"));
            QVERIFY(QFile::link(QStringLiteral(OL_TESTCHILD), link));
            fixture.app->defaults().savePreferredInterpreter(QStringLiteral("file://localhost%1 repl %2").arg(link, how == u"ignore-int" ? how : QString()));
            OLWindowController *window = fixture.untitled();
            const auto status = [window] { return window->findChild<QLabel *>(QStringLiteral("interpreterActivity"))->text(); };
            QAction *interrupt = window->findChild<QAction *>(QStringLiteral("interruptAction")), *reset = window->findChild<QAction *>(QStringLiteral("resetAction"));
            QTRY_VERIFY_WITH_TIMEOUT(consoleShows(window, QStringLiteral("Stand-in ML")), 20000);
            const QList<qint64> pids = liveChildren(QStringLiteral("sml"));
            QVERIFY(status().isEmpty() && pids.size() == 1);
            if (how == u"exit") {
                typeAtEnd(window, QStringLiteral("val kept = 1"));
                window->eval(QStringLiteral("exit 3"), OLConsoleCommitter);
                // The window asks about the unsaved text; the user cancels.
                QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.saveChangesAskedBy.size(), 1, 20000);
            } else {
                window->eval(QStringLiteral("loop"), OLConsoleCommitter);
                QTRY_VERIFY_WITH_TIMEOUT(consoleShows(window, QStringLiteral("started")) && status() == u"Interpreter busy", 20000);
                interrupt->trigger();
            }
            if (how == u"kill") {
                QTRY_VERIFY_WITH_TIMEOUT(status().isEmpty() && consoleShows(window, QStringLiteral("Interrupt")), 20000);
                QCOMPARE(::kill(pid_t(pids[0]), SIGKILL), 0);
            } else if (how == u"ignore-int") {
                QTRY_VERIFY_WITH_TIMEOUT(window->session().interruptIgnored(), 20000);
                interrupt->trigger(); // ends the interpreter
            }
            QTRY_VERIFY_WITH_TIMEOUT(status() == u"Interpreter not running — Reset to start a new one" && !OLTestProcesses::isAlive(pids[0]), 20000);
            QVERIFY(fixture.app->windows().size() == 1 && window->isVisible());
            reset->trigger();
            window->eval(QStringLiteral("x"), OLConsoleCommitter);
            QTRY_VERIFY_WITH_TIMEOUT(consoleShows(window, QStringLiteral("read 2")), 20000);
            QCOMPARE(status(), QString());
        }
    }
};

QTEST_MAIN(TestEvaluation)
#include "tst_evaluation.moc"
