// A file evaluated in its window through the real interpreters: to the
// cursor, then to the end with a failing declaration, then on after fixing
// it, then a step undone and the rest replayed into a new interpreter. The
// blue, green and red marks of the editor are checked against what the
// interpreter answered in the console.

#include "appfixture.h"

namespace {
constexpr int timeout = 30000;
const std::optional<OLColor> none;
} // namespace

class TestEvaluation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each interpreter, how an answer gives the type, and its error on a name that is not bound.
    void evaluatesThroughTheInterpreter_data()
    {
        QTest::addColumn<QStringList>("row");
        QTest::newRow("Poly ML") << QStringList{polyCommandLine, ": int", "Value or constructor (%1) has not been declared"};
        QTest::newRow("SML of New Jersey") << QStringList{smlnjCommandLine, " : int", "unbound variable or constructor: %1"};
    }
    void evaluatesThroughTheInterpreter()
    {
        QFETCH(QStringList, row);
        const QString &interpreter = row[0], &ofType = row[1], &unbound = row[2];
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
        QVERIFY(backgroundIs(marks, 0, startC, OLSyntaxHighlighter::lightGreen()) && backgroundIs(marks, startC, source.size(), none));
        QTRY_VERIFY_WITH_TIMEOUT(answers(window).contains(QStringLiteral("val b = 2") + ofType), timeout);
        QVERIFY(answers(window).contains(QStringLiteral("val a = 1") + ofType) && !answers(window, true).contains(QStringLiteral("val a = 1")));

        // The whole file: the third declaration fails (red) and the loop stops
        // there; the fourth is not sent.
        window->evalFile();
        QTRY_VERIFY_WITH_TIMEOUT(editor->error().isSet(), timeout);
        QVERIFY(editor->error() == (OLTextRange{quint64(startC), quint64(startD - startC)}) && editor->interpreted() == startC);
        QVERIFY(backgroundIs(marks, 0, startC, OLSyntaxHighlighter::lightGreen()) && backgroundIs(marks, startD, source.size(), none));
        QVERIFY(backgroundIs(marks, startC, startD, OLSyntaxHighlighter::lightRed()));
        const QString error = unbound.arg(QStringLiteral("undefinedName"));
        QTRY_VERIFY_WITH_TIMEOUT(answers(window, true).contains(error), timeout);
        QVERIFY(!consoleShows(window, QStringLiteral("val d = 20")) && editor->inLoop() == 2);
        // The error is where the interpreter placed it; Next Error and a
        // double click on the message in the console lead there.
        const auto place = quint64(source.indexOf(u"undefinedName"));
        QVERIFY(editor->messages().size() == 1 && editor->messages().front().range == (OLTextRange{place, 13}));
        window->goToMessage(true);
        QCOMPARE(editor->textView()->textCursor().position(), int(place));
        editor->textView()->moveCursor(QTextCursor::Start);
        OLTextView *console = window->console()->textView();
        QTextCursor message(console->document());
        message.setPosition(int(window->console()->textStorage().string().lastIndexOf(error)));
        QTest::mouseDClick(console->viewport(), Qt::LeftButton, {}, console->cursorRect(message).center());
        QCOMPARE(editor->textView()->textCursor().position(), int(place));

        // Fixed by hand, one step that succeeds goes on to the end.
        editor->textView()->selectText(place, place + 13);
        editor->textView()->setFocus();
        QTest::keyClick(editor->textView(), Qt::Key_3);
        QVERIFY(!editor->error().isSet() && backgroundIs(marks, startC, editor->content().size(), none));
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
    void wholeFileBeforeTheBanner_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("banner");
        QTest::newRow("Poly ML, in a new window") << polyCommandLine << "Poly/ML";
        QTest::newRow("SML of New Jersey, after a reset") << smlnjCommandLine << "Standard ML of New Jersey";
    }
    void wholeFileBeforeTheBanner()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, banner);
        const bool afterReset = interpreter == smlnjCommandLine;
        AppFixture fixture(interpreter);
        OLWindowController *window = fixture.untitled();
        OLEditorViewController *editor = window->editor();
        if (afterReset) {
            QTRY_VERIFY_WITH_TIMEOUT(consoleShows(window, banner), timeout);
            window->resetEnvironment();
        }
        // No turn of the event loop in between: the banner cannot have come.
        const QString failsFirst = QStringLiteral("val a = undefinedName;\nval b = 2;\n");
        editor->setContent(failsFirst);
        window->evalFile();
        const qsizetype startB = failsFirst.indexOf(u"val b");
        QTRY_VERIFY_WITH_TIMEOUT(editor->error().isSet(), timeout);
        QVERIFY(editor->error() == (OLTextRange{0, quint64(startB)}) && editor->interpreted() == 0);
        QVERIFY(backgroundIs(editor->textStorage(), startB, failsFirst.size(), none));
        QTRY_VERIFY_WITH_TIMEOUT(answers(window, true).contains(u"undefinedName"), timeout);
        QVERIFY(answers(window).contains(banner) && !answers(window, true).contains(banner));
    }

    // While the whole file is being evaluated and a declaration computes, a
    // reset, the file read again (changed on disk) or a commit from the
    // console: the editor takes edits once the interpreter has answered what
    // it was given, with marks that fit its text, and evaluates it anew.
    // The answer the console shows at last for each.
    void noStateLocksTheEditor_data()
    {
        QTest::addColumn<QString>("answered");
        QTest::newRow("reset") << "###reset environment";
        QTest::newRow("reload") << "Retracted everything";
        QTest::newRow("console") << "val fromConsole = 4";
    }
    void noStateLocksTheEditor()
    {
        QFETCH(QString, answered);
        const QString what = QString::fromLatin1(QTest::currentDataTag());
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
        QVERIFY(editor->content().endsWith(QStringLiteral("\nval e = 5;")));
        QVERIFY(backgroundIs(editor->textStorage(), 0, editor->interpreted(), OLSyntaxHighlighter::lightGreen()));
    }
};

QTEST_MAIN(TestEvaluation)
#include "tst_evaluation.moc"
