// A file evaluated in its window through the real interpreters (Poly ML,
// SML of New Jersey, Moscow ML): to the cursor, then to the end with a failing
// declaration, then on after fixing it. The blue, green and red marks of the
// editor are checked against what the interpreter answered in the console.

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
const QString mosmlCommandLine = QStringLiteral("file://localhost/opt/mosml/bin/mosml");

void skipUnlessInstalled(const QString &commandLine)
{
    if (!QFileInfo(commandLineWithoutPrefix(commandLine)).isExecutable())
        QSKIP("Moscow ML is not installed (scripts/test installs it from ../shared/interpreters)");
}

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
        QTest::newRow("Moscow ML") << mosmlCommandLine << QStringLiteral(" : int")
                                   << QStringLiteral("Unbound value identifier: undefinedName");
    }
    void evaluatesThroughTheInterpreter()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, ofType);
        QFETCH(QString, error);
        skipUnlessInstalled(interpreter);
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
        const qsizetype startB = source.indexOf(u"val b"), startC = source.indexOf(u"val c");
        const qsizetype startD = source.indexOf(u"val d");

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
        skipUnlessInstalled(mosmlCommandLine);
        const QString source = QStringLiteral("val a = 1;\n\nval b = (2 +\n  3;\nval c = 4;\n");
        AppFixture fixture(mosmlCommandLine);
        OLWindowController *window = fixture.open(QStringLiteral("open.sml"), source.toUtf8());
        QVERIFY(window && waitForBanner(window, interpreterTimeout));
        window->evalFile();
        QTRY_VERIFY_WITH_TIMEOUT(window->editor()->error().isSet(), interpreterTimeout);
        QCOMPARE(window->editor()->interpreted(), source.indexOf(u"val b"));
        QVERIFY(rangesText(window->console(), window->console()->errorRanges())
                    .contains(u"the parenthesis \"(\" opened at line 3, column 9"));
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
        QTest::newRow("file read again") << QStringLiteral("reload") << QStringLiteral("val slow = ()");
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
};

QTEST_MAIN(TestEvaluation)
#include "tst_evaluation.moc"
