// A file evaluated in its window through the real interpreters (Poly ML,
// SML of New Jersey, Moscow ML): to the cursor, then to the end with a failing
// declaration, then on after fixing it; and retracts, replayed into a new
// interpreter. The blue, green and red marks of the editor are checked
// against what the interpreter answered in the console.

#include "appfixture.h"

#include "highlight/OLSyntaxHighlighter.h"

#include <QFileInfo>

namespace {
constexpr int interpreterTimeout = 30000;
const std::optional<OLColor> none;

// Whether every unit in [from, to) has the background (none: no background).
bool backgroundIs(const OLTextStorage &storage, qsizetype from, qsizetype to, const std::optional<OLColor> &color)
{
    for (qsizetype i = from; i < to; ++i) {
        if (storage.backgroundColorAt(i) != color)
            return false;
    }
    return from < to;
}

// Moscow ML is not packaged: scripts/test puts it into /opt when it can.
const QString mosml = QStringLiteral("/opt/mosml/bin/mosml");

// The console's text within its answer or error ranges.
QString rangesText(const OLInterpreterViewController *console, const QList<OLTextStorage::Range> &ranges)
{
    QString text;
    for (const OLTextStorage::Range &range : ranges)
        text += console->textStorage().string().mid(range.location, range.length);
    return text;
}
} // namespace

class TestEvaluation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void evaluatesThroughTheInterpreter_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("ofType"); // how an answer gives the type
        QTest::addColumn<QString>("error");
        QTest::newRow("Poly ML") << polyCommandLine << QStringLiteral(": int")
                                 << QStringLiteral("Value or constructor (undefinedName) has not been declared");
        QTest::newRow("SML of New Jersey") << smlnjCommandLine << QStringLiteral(" : int")
                                           << QStringLiteral("unbound variable or constructor: undefinedName");
    }
    void evaluatesThroughTheInterpreter()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, ofType);
        QFETCH(QString, error);
        const QString source = QStringLiteral("val a = 1;\nval b = a + 1;\nval c = undefinedName;\nval d = b * 10;\n");
        AppFixture fixture(interpreter);
        OLWindowController *window = fixture.open(QStringLiteral("eval.sml"), source.toUtf8());
        QVERIFY(window);
        OLEditorViewController *editor = window->editor();
        OLInterpreterViewController *console = window->console();
        const OLTextStorage &marks = editor->textStorage();
        const auto answers = [console] { return rangesText(console, console->answerRanges()); };
        // The banner first, so that the answers below are the declarations'.
        QVERIFY(waitForBanner(window, interpreterTimeout));
        // A declaration runs up to the next one.
        const qsizetype startB = source.indexOf(u"val b"), startC = source.indexOf(u"val c"), startD = source.indexOf(u"val d");

        // To the cursor, inside the second declaration: the first is pending
        // (blue) at once; both answered, green up to the end of the second.
        QTextCursor cursor(editor->textView()->document());
        cursor.setPosition(int(startB + 4));
        editor->textView()->setTextCursor(cursor);
        window->evalToCursor();
        QCOMPARE(editor->pending(), (OLTextRange{0, quint64(startB)}));
        QVERIFY(backgroundIs(marks, 0, startB, OLSyntaxHighlighter::lightBlue()));
        QTRY_VERIFY_WITH_TIMEOUT(!editor->pending().isSet() && editor->interpreted() >= startB + 4, interpreterTimeout);
        QCOMPARE(editor->inLoop(), qint64(0));
        QCOMPARE(editor->interpreted(), startC);
        QVERIFY(backgroundIs(marks, 0, startC, OLSyntaxHighlighter::lightGreen()));
        QVERIFY(backgroundIs(marks, startC, source.size(), none));
        QTRY_VERIFY_WITH_TIMEOUT(answers().contains(QStringLiteral("val b = 2") + ofType), interpreterTimeout);
        QVERIFY(answers().contains(QStringLiteral("val a = 1") + ofType));
        QVERIFY(!rangesText(console, console->errorRanges()).contains(QStringLiteral("val a = 1") + ofType));

        // The whole file: the third declaration fails (red) and the loop stops
        // there; the fourth is not sent.
        window->evalFile();
        QTRY_VERIFY_WITH_TIMEOUT(editor->error().isSet(), interpreterTimeout);
        QCOMPARE(editor->error(), (OLTextRange{quint64(startC), quint64(startD - startC)}));
        QCOMPARE(editor->interpreted(), startC);
        QVERIFY(backgroundIs(marks, 0, startC, OLSyntaxHighlighter::lightGreen()));
        QVERIFY(backgroundIs(marks, startC, startD, OLSyntaxHighlighter::lightRed()));
        QVERIFY(backgroundIs(marks, startD, source.size(), none));
        QTRY_VERIFY_WITH_TIMEOUT(rangesText(console, console->errorRanges()).contains(error), interpreterTimeout);
        QVERIFY(!console->textStorage().string().contains(u"val d = 20"));
        QCOMPARE(editor->inLoop(), qint64(2));
        // The error is where the interpreter placed it; Next Error and a
        // double click on the message in the console lead there.
        const auto place = quint64(source.indexOf(u"undefinedName"));
        QCOMPARE(editor->messages().size(), std::size_t(1));
        QCOMPARE(editor->messages().front().range, (OLTextRange{place, 13}));
        window->goToMessage(true);
        QCOMPARE(editor->textView()->textCursor().position(), int(place));
        editor->textView()->moveCursor(QTextCursor::Start);
        QTextCursor message(console->textView()->document());
        message.setPosition(int(console->textStorage().string().lastIndexOf(error)));
        QTest::mouseDClick(console->textView()->viewport(), Qt::LeftButton, {}, console->textView()->cursorRect(message).center());
        QCOMPARE(editor->textView()->textCursor().position(), int(place));

        // Fixed by hand, one step that succeeds goes on to the end.
        cursor.setPosition(int(source.indexOf(u"undefinedName")));
        cursor.movePosition(QTextCursor::EndOfWord, QTextCursor::KeepAnchor);
        editor->textView()->setTextCursor(cursor);
        editor->textView()->setFocus();
        QTest::keyClick(editor->textView(), Qt::Key_3);
        QVERIFY(!editor->error().isSet());
        QVERIFY(backgroundIs(marks, startC, editor->content().size(), none));
        window->evalNextStep();
        QTRY_COMPARE_WITH_TIMEOUT(editor->interpreted(), editor->content().size(), interpreterTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(answers().contains(QStringLiteral("val d = 20") + ofType), interpreterTimeout);
        QVERIFY(backgroundIs(marks, 0, editor->interpreted(), OLSyntaxHighlighter::lightGreen()));
        QVERIFY(!editor->error().isSet());
    }

    // Moscow ML prompts for no more of a declaration left open: it is not
    // sent, and the console says what is open, where in the file.
    void declarationLeftOpenNotSent()
    {
        if (!QFileInfo(mosml).isExecutable())
            QSKIP("Moscow ML is not installed (scripts/test installs it from ../shared/interpreters)");
        AppFixture fixture(commandLinePrefix + mosml);
        OLWindowController *window = fixture.open(QStringLiteral("open.sml"), "val a = 1;\n\nval b = (2 +\n  3;\n");
        QVERIFY(window && waitForBanner(window, interpreterTimeout));
        window->evalFile();
        QTRY_VERIFY_WITH_TIMEOUT(window->editor()->error().isSet(), interpreterTimeout);
        QCOMPARE(window->editor()->interpreted(), 12);
        QVERIFY(rangesText(window->console(), window->console()->errorRanges()).contains(u"\"(\" opened at line 3, column 9"));
    }

    // The whole file evaluated in a new window, or after a reset, before the
    // interpreter has written its banner: the first declaration gets its own
    // verdict, the banner none, and the banner is no part of the error shown.
    void wholeFileBeforeTheBanner_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<bool>("afterReset");
        QTest::addColumn<QString>("banner");
        QTest::newRow("Poly ML, in a new window") << polyCommandLine << false << QStringLiteral("Poly/ML");
        QTest::newRow("SML of New Jersey, after a reset")
            << smlnjCommandLine << true << QStringLiteral("Standard ML of New Jersey");
    }
    void wholeFileBeforeTheBanner()
    {
        QFETCH(QString, interpreter);
        QFETCH(bool, afterReset);
        QFETCH(QString, banner);
        AppFixture fixture(interpreter);
        OLWindowController *window = fixture.untitled();
        OLEditorViewController *editor = window->editor();
        OLInterpreterViewController *console = window->console();
        if (afterReset) {
            QTRY_VERIFY_WITH_TIMEOUT(console->textStorage().string().contains(banner), interpreterTimeout);
            window->resetEnvironment();
        }
        // No turn of the event loop in between: the banner cannot have come.
        const QString failsFirst = QStringLiteral("val a = undefinedName;\nval b = 2;\n");
        editor->setContent(failsFirst);
        window->evalFile();
        const qsizetype startB = failsFirst.indexOf(u"val b");
        QTRY_VERIFY_WITH_TIMEOUT(editor->error().isSet(), interpreterTimeout);
        QCOMPARE(editor->error(), (OLTextRange{0, quint64(startB)}));
        QCOMPARE(editor->interpreted(), 0);
        QVERIFY(backgroundIs(editor->textStorage(), startB, failsFirst.size(), none));
        QTRY_VERIFY_WITH_TIMEOUT(rangesText(console, console->errorRanges()).contains(u"undefinedName"), interpreterTimeout);
        QVERIFY(rangesText(console, console->answerRanges()).contains(banner));
        QVERIFY(!rangesText(console, console->errorRanges()).contains(banner));
    }

    // While the whole file is being evaluated and a declaration computes, a
    // reset, the file read again (changed on disk) or a commit from the
    // console: the editor takes edits once the interpreter has answered what
    // it was given, with marks that fit its text, and evaluates it anew.
    void noStateLocksTheEditor_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("answered"); // the answer the console shows at last
        QTest::newRow("reset") << QStringLiteral("reset") << QStringLiteral("###reset environment");
        QTest::newRow("file read again") << QStringLiteral("reload") << QStringLiteral("Retracted everything");
        QTest::newRow("console commit") << QStringLiteral("console") << QStringLiteral("val fromConsole = 4");
    }
    void noStateLocksTheEditor()
    {
        QFETCH(QString, what);
        QFETCH(QString, answered);
        const QString source
            = QStringLiteral("val a = 1;\nval slow = OS.Process.sleep (Time.fromSeconds 2);\nval c = 3;\n");
        AppFixture fixture;
        OLWindowController *window = fixture.open(QStringLiteral("state.sml"), source.toUtf8());
        QVERIFY(window && waitForBanner(window, interpreterTimeout));
        OLEditorViewController *editor = window->editor();
        window->evalFile();
        QTRY_COMPARE_WITH_TIMEOUT(editor->pending().location, quint64(source.indexOf(u"val slow")), interpreterTimeout);
        if (what == u"reset") {
            window->resetEnvironment();
        } else if (what == u"reload") {
            fixture.asker.changedFileAnswers.push_back(OLAsker::ChangedFile::Reload);
            changeFile(QStringLiteral("rewrite"), window->file(), "val b = 2;\n");
            QTRY_COMPARE_WITH_TIMEOUT(editor->content(), QStringLiteral("val b = 2;\n"), interpreterTimeout);
        } else {
            window->eval(QStringLiteral("val fromConsole = 4"), OLConsoleCommitter);
        }
        QTRY_VERIFY_WITH_TIMEOUT(window->console()->textStorage().string().contains(answered), interpreterTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(!editor->pending().isSet() && editor->inLoop() == 0, interpreterTimeout);
        QCOMPARE(editor->interpreted(), what == u"console" ? editor->content().size() : 0);
        typeAtEnd(window, QStringLiteral("val e = 5;"));
        QVERIFY(editor->content().endsWith(QStringLiteral("\nval e = 5;")));
        window->evalFile();
        QTRY_COMPARE_WITH_TIMEOUT(editor->interpreted(), editor->content().size(), interpreterTimeout);
        QVERIFY(backgroundIs(editor->textStorage(), 0, editor->interpreted(), OLSyntaxHighlighter::lightGreen()));
    }

    // Retracts, each followed by its replay into a new interpreter. Steps:
    // F Whole File, T:after:text types text after the first "after", u
    // undoes in the editor, U Undo Step, R:after Retract to Cursor there, C:text
    // a console commit, D deletes the file that the declaration s opens.
    // Then the green part, the note and the interpreter's answer on each name.
    void retracts_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("unbound"); // its error on a name that is not bound
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("evaluated"); // the green part ends after this
        QTest::addColumn<QString>("bound");
        QTest::addColumn<QString>("note");
        const struct {
            const char *name;
            QStringList steps;
            const char *evaluated, *bound, *note;
        } rows[] = {
            {"edit at the start", {"F", "T:: "}, "", "", "Retracted everything"},
            {"edit inside a middle declaration", {"F", "T:val c:x"}, "a + 1;\n\n", "asb", "Replayed 3 declarations"},
            {"blank between declarations", {"F", "T:a + 1;\n: "}, "a + 1;\n", "asb", "Replayed 3 declarations"},
            {"edit inside the last", {"F", "T:val d:x"}, "b + 1;\n", "asbc", "Replayed 4 declarations"},
            {"undo of an edit", {"T:c + 1:0", "F", "u"}, "b + 1;\n", "asbc", "Replayed 4 declarations"},
            {"Undo Step twice", {"F", "U", "U"}, "a + 1;\n\n", "asb", "Replayed 3 declarations"},
            {"Retract to Cursor", {"F", "R:val b"}, "\");\n", "as", "Replayed 2 declarations"},
            {"a failure during the replay", {"F", "D", "U"}, "1;\n", "a", "Replayed 1 of 4 declarations"},
            {"console input in between", {"F", "C:val z = 9", "U"}, "b + 1;\n", "asbc", "(1 entry) was not replayed"},
        };
        for (const auto &[name, command, unbound] :
             {std::tuple("Poly ML", polyCommandLine, "(%1) has not been declared"),
              std::tuple("SML/NJ", smlnjCommandLine, "constructor: %1"),
              std::tuple("Moscow ML", QStringLiteral("file://localhost/opt/mosml/bin/mosml"), "identifier: %1")}) {
            for (const auto &row : rows)
                QTest::addRow("%s, %s", name, row.name) << command << unbound << row.steps << row.evaluated << row.bound << row.note;
        }
    }
    void retracts()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, unbound);
        QFETCH(QStringList, steps);
        QFETCH(QString, evaluated);
        QFETCH(QString, bound);
        QFETCH(QString, note);
        AppFixture fixture(interpreter);
        const QString data = fixture.write(QStringLiteral("data"), "x");
        const QString source = QStringLiteral("val a = 1;\nval s = TextIO.closeIn (TextIO.openIn \"%1\");\nval b = a + 1;\n\n"
                                              "val c = b + 1;\nval d = c + 1;\n").arg(data);
        OLWindowController *window = fixture.open(QStringLiteral("retract.sml"), source.toUtf8());
        QVERIFY(window && waitForBanner(window, interpreterTimeout));
        OLEditorViewController *editor = window->editor();
        OLInterpreterViewController *console = window->console();
        const auto after = [editor](const QString &text) { return editor->content().indexOf(text) + text.size(); };
        for (const QString &step : steps) {
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
            QTRY_VERIFY_WITH_TIMEOUT(step != u"F" || editor->interpreted() == editor->content().size(), interpreterTimeout);
            QTRY_VERIFY_WITH_TIMEOUT(args[0] != u"C" || console->textStorage().string().contains(args[1]), interpreterTimeout);
        }
        QTRY_VERIFY_WITH_TIMEOUT(console->textStorage().string().contains(note), interpreterTimeout);
        QVERIFY(!editor->evaluated().isReplaying() && !editor->pending().isSet());
        QCOMPARE(editor->interpreted(), after(evaluated));
        QCOMPARE(editor->error().isSet(), note.contains(u" of "));
        const qsizetype marked = editor->error().isSet() ? after(QStringLiteral("\");\n")) : editor->interpreted();
        QVERIFY(evaluated.isEmpty() || backgroundIs(editor->textStorage(), 0, editor->interpreted(), OLSyntaxHighlighter::lightGreen()));
        QVERIFY(marked == editor->interpreted() || backgroundIs(editor->textStorage(), editor->interpreted(), marked, OLSyntaxHighlighter::lightRed()));
        QVERIFY(backgroundIs(editor->textStorage(), marked, editor->content().size(), none));
        // Bound as kept, and only so.
        for (const QChar name : QStringLiteral("asbcdz")) {
            const QString answer = QStringLiteral("val q_%1 = ").arg(name);
            window->eval(answer + name, OLConsoleCommitter);
            QTRY_VERIFY_WITH_TIMEOUT(rangesText(console, console->answerRanges()).contains(answer)
                                         || rangesText(console, console->errorRanges()).contains(unbound.arg(name)), interpreterTimeout);
            QCOMPARE(rangesText(console, console->answerRanges()).contains(answer), bound.contains(name));
        }
    }
};

QTEST_MAIN(TestEvaluation)
#include "tst_evaluation.moc"
