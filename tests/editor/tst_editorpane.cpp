#include "editor/OLEditorViewController.h"
#include "editor/OLEditorWindow.h"
#include "editor/OLFindBar.h"
#include "highlight/OLSyntaxHighlighter.h"
#include "highlight/OLTextView.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <QTextBlock>

#include <functional>

namespace {
// Stands in for the document window: records what the pane sends it.
class RecordingWindow : public OLEditorWindow
{
public:
    void eval(const QString &text, qint32 from) override
    {
        evals.append(text);
        committers.append(from);
        if (onEval)
            onEval();
    }
    bool fileChanged() override
    {
        ++fileChangedCalls;
        return true;
    }

    QStringList evals;
    QList<qint32> committers;
    // Runs as each declaration is sent, as the interpreter session would.
    std::function<void()> onEval;
    int fileChangedCalls = 0;
};

OLStyleSet testStyles()
{
    OLStyleSet s;
    s.regColor = OLColor{0, 0, 0, 1};
    s.keyColor = OLColor{0, 0, 0.8, 1};
    s.strColor = OLColor{0.6, 0.3, 0, 1};
    s.comColor = OLColor{0, 0.5, 0, 1};
    s.errColor = OLColor{1, 0, 0, 1};
    s.name = QStringLiteral("Monospace");
    s.size = 12;
    return s;
}

// Three declarations of ten units each: [0, 10), [10, 20), [20, 30).
const QString threeDeclarations = QStringLiteral("val a = 1\nval b = 2\nval c = 3\n");

struct Fixture {
    explicit Fixture(const QString &text = threeDeclarations)
    {
        pane.setWindowController(&window);
        pane.setFontAttributes(testStyles());
        pane.setContent(text);
        pane.resize(640, 400);
        pane.show();
    }

    void setCursor(int position)
    {
        QTextCursor cursor = pane.textView()->textCursor();
        cursor.setPosition(position);
        pane.textView()->setTextCursor(cursor);
    }

    std::pair<int, int> selection() const
    {
        const QTextCursor cursor = pane.textView()->textCursor();
        return {cursor.selectionStart(), cursor.selectionEnd()};
    }

    // Evaluates one declaration with the given verdict.
    void step(bool success)
    {
        pane.evalNextStep();
        pane.setLastCommitSuccess(success);
    }

    // Answers every declaration the pane sends with success; the number of
    // declarations sent.
    int answerAll()
    {
        int sent = 0;
        for (; pane.pending().isSet() && sent < 100; ++sent)
            pane.setLastCommitSuccess(true);
        return sent;
    }

    RecordingWindow window;
    OLEditorViewController pane;
};

// The background marks of the storage, e.g. "green 0-10, blue 10-20".
QString marks(const OLTextStorage &storage)
{
    const auto name = [](const OLColor &c) {
        if (c == OLSyntaxHighlighter::lightGreen())
            return QStringLiteral("green");
        if (c == OLSyntaxHighlighter::lightBlue())
            return QStringLiteral("blue");
        if (c == OLSyntaxHighlighter::lightRed())
            return QStringLiteral("red");
        return QStringLiteral("other");
    };
    QList<std::tuple<QString, qsizetype, qsizetype>> spans;
    for (const OLTextStorage::Run &run : storage.runs(0, storage.length())) {
        if (!run.background)
            continue;
        const QString colour = name(*run.background);
        if (!spans.isEmpty() && std::get<0>(spans.last()) == colour && std::get<2>(spans.last()) == run.location)
            std::get<2>(spans.last()) = run.location + run.length;
        else
            spans.append({colour, run.location, run.location + run.length});
    }
    QStringList out;
    for (const auto &[colour, from, to] : spans)
        out.append(QStringLiteral("%1 %2-%3").arg(colour).arg(from).arg(to));
    return out.join(QStringLiteral(", "));
}

using ForegroundRuns = QList<std::pair<qsizetype, std::optional<OLColor>>>; // run end, colour

ForegroundRuns foregroundRuns(const OLTextStorage &storage, qsizetype from, qsizetype to)
{
    ForegroundRuns runs;
    for (const OLTextStorage::Run &run : storage.runs(from, to)) {
        if (!runs.isEmpty() && runs.last().second == run.foreground)
            runs.last().first = run.location + run.length;
        else
            runs.append({run.location + run.length, run.foreground});
    }
    return runs;
}

// The colours of [from, to) after colouring the unevaluated rest from scratch,
// pass by pass, on a fresh storage.
ForegroundRuns fullRecolouring(const OLEditorViewController &pane, qsizetype from, qsizetype to)
{
    OLTextStorage fresh(pane.content());
    const OLTextStorage::Range rest{pane.interpreted(), fresh.length() - pane.interpreted()};
    OLSyntaxHighlighter::highLigthKeyWords(fresh, rest, testStyles());
    OLSyntaxHighlighter::highlightStringsAndComments(fresh, rest, testStyles());
    return foregroundRuns(fresh, from, to);
}

bool colouringSettled(const OLEditorViewController &pane)
{
    return !OLSyntaxHighlighter::hasPendingHighlight(pane.textStorage());
}

OLTextRange range(quint64 location, quint64 length)
{
    return {location, length};
}
} // namespace

class TestEditorPane : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void evaluateToCursor_data()
    {
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<qint64>("interpreted");
        QTest::addColumn<QString>("marks");
        const QString a = QStringLiteral("val a = 1\n"), b = QStringLiteral("val b = 2\n"),
                      c = QStringLiteral("val c = 3\n");
        QTest::newRow("cursor inside the second declaration") << 14 << QStringList{a, b} << qint64(20) << "green 0-20";
        QTest::newRow("cursor at the start of the second") << 10 << QStringList{a} << qint64(10) << "green 0-10";
        QTest::newRow("cursor at the start of the text") << 0 << QStringList{} << qint64(0) << "";
        QTest::newRow("cursor at the end") << 30 << QStringList{a, b, c} << qint64(30) << "green 0-30";
    }

    void evaluateToCursor()
    {
        QFETCH(int, cursor);
        QFETCH(QStringList, sent);
        QFETCH(qint64, interpreted);
        QFETCH(QString, marks);
        Fixture f;
        f.setCursor(cursor);
        f.pane.evalToCursor();
        // Each report takes one more step while the prefix ends before the cursor.
        for (int i = 0; f.pane.pending().isSet() && i < 10; ++i) {
            const OLTextRange pending = f.pane.pending();
            QCOMPARE(pending, range(quint64(i) * 10, 10));
            QCOMPARE(::marks(f.pane.textStorage()),
                     i == 0 ? QStringLiteral("blue 0-10") : QStringLiteral("green 0-%1, blue %1-%2").arg(i * 10).arg(i * 10 + 10));
            QCOMPARE(f.pane.inLoop(), qint64(1));
            f.pane.setLastCommitSuccess(true);
        }
        QCOMPARE(f.window.evals, sent);
        QCOMPARE(f.window.committers, QList<qint32>(sent.size(), 0));
        QCOMPARE(f.pane.interpreted(), interpreted);
        QCOMPARE(f.pane.inLoop(), qint64(0));
        QCOMPARE(::marks(f.pane.textStorage()), marks);
    }

    void evaluateWholeText()
    {
        Fixture f;
        f.pane.evalFile();
        QCOMPARE(f.pane.inLoop(), qint64(2));
        QCOMPARE(f.answerAll(), 3);
        QCOMPARE(f.window.evals.size(), 3);
        QCOMPARE(f.pane.interpreted(), qint64(30));
        QCOMPARE(f.pane.inLoop(), qint64(0));
        QCOMPARE(marks(f.pane.textStorage()), QStringLiteral("green 0-30"));

        // A fully evaluated text sends nothing more.
        f.pane.evalFile();
        f.pane.evalToCursor();
        QCOMPARE(f.window.evals.size(), 3);
        QCOMPARE(f.pane.inLoop(), qint64(0));
        QVERIFY(!f.pane.pending().isSet());
    }

    void loopEndsWhenTheScannerFindsNothing()
    {
        // The rest after the last declaration holds no starter word.
        Fixture f(QStringLiteral("val a = 1;\n"));
        f.step(true);
        f.window.evals.clear();
        f.setCursor(11);
        f.pane.textView()->insertTyped(QStringLiteral("1 + 2;\n"));
        f.pane.evalFile();
        QVERIFY(f.window.evals.isEmpty());
        QVERIFY(!f.pane.pending().isSet());
        QCOMPARE(f.pane.inLoop(), qint64(2));
    }

    void failureStopsTheLoopAndAStepResumesIt()
    {
        Fixture f;
        f.pane.evalFile();
        f.pane.setLastCommitSuccess(true);
        f.pane.setLastCommitSuccess(false);
        QCOMPARE(f.window.evals.size(), 2);
        QCOMPARE(f.pane.error(), range(10, 10));
        QVERIFY(!f.pane.pending().isSet());
        QCOMPARE(f.pane.interpreted(), qint64(10));
        QCOMPARE(f.pane.inLoop(), qint64(2));
        QCOMPARE(marks(f.pane.textStorage()), QStringLiteral("green 0-10, red 10-20"));

        // The failed declaration goes again, whole; its success resumes the loop.
        f.pane.evalNextStep();
        QCOMPARE(f.window.evals.last(), QStringLiteral("val b = 2\n"));
        QCOMPARE(marks(f.pane.textStorage()), QStringLiteral("green 0-10, blue 10-20"));
        QCOMPARE(f.answerAll(), 2);
        QCOMPARE(f.window.evals.size(), 4);
        QCOMPARE(f.pane.interpreted(), qint64(30));
        QCOMPARE(f.pane.inLoop(), qint64(0));
        QCOMPARE(marks(f.pane.textStorage()), QStringLiteral("green 0-30"));
    }

    // The next declaration goes out before the answered one is marked; one
    // that fails as it is sent ends up red, never blue.
    void loopSendsBeforeItMarks_data()
    {
        QTest::addColumn<bool>("failsAtOnce");
        QTest::addColumn<QStringList>("marksAtEachSend");
        QTest::addColumn<QString>("marksAfter");
        QTest::newRow("answered later") << false << QStringList{"", "blue 0-10", "green 0-10, blue 10-20"}
                                        << "green 0-30";
        QTest::newRow("failing as it is sent") << true << QStringList{""} << "red 0-10";
    }

    void loopSendsBeforeItMarks()
    {
        QFETCH(bool, failsAtOnce);
        QFETCH(QStringList, marksAtEachSend);
        QFETCH(QString, marksAfter);
        Fixture f;
        QStringList seen;
        f.window.onEval = [&] {
            seen.append(marks(f.pane.textStorage()));
            if (failsAtOnce)
                f.pane.setLastCommitSuccess(false);
        };
        f.pane.evalFile();
        f.answerAll();
        QCOMPARE(seen, marksAtEachSend);
        QCOMPARE(marks(f.pane.textStorage()), marksAfter);
        QVERIFY(!f.pane.pending().isSet());
    }

    void stepWhilePendingSendsTheSameDeclaration()
    {
        Fixture f;
        f.pane.evalNextStep();
        f.pane.evalNextStep();
        QCOMPARE(f.window.evals, QStringList(2, QStringLiteral("val a = 1\n")));
        QCOMPARE(f.pane.pending(), range(0, 10));
    }

    void reportsWithNothingPendingAreIgnored_data()
    {
        QTest::addColumn<bool>("failFirst"); // a failure ended a loop before
        QTest::addColumn<bool>("success");
        QTest::newRow("answer on a fresh pane") << false << true;
        QTest::newRow("error on a fresh pane") << false << false;
        QTest::newRow("answer after a failed loop") << true << true;
        QTest::newRow("error after a failed loop") << true << false;
    }

    void reportsWithNothingPendingAreIgnored()
    {
        QFETCH(bool, failFirst);
        QFETCH(bool, success);
        Fixture f;
        if (failFirst) {
            f.pane.evalFile();
            f.pane.setLastCommitSuccess(false);
        }
        const QString marksBefore = marks(f.pane.textStorage());
        const OLTextRange errorBefore = f.pane.error();
        const qint64 loopBefore = f.pane.inLoop();
        const qsizetype sentBefore = f.window.evals.size();

        f.pane.setLastCommitSuccess(success);
        QCOMPARE(f.window.evals.size(), sentBefore);
        QCOMPARE(f.pane.interpreted(), qint64(0));
        QCOMPARE(f.pane.error(), errorBefore);
        QCOMPARE(f.pane.inLoop(), loopBefore);
        QCOMPARE(marks(f.pane.textStorage()), marksBefore);
    }

    void editsRefusedWhilePending_data()
    {
        QTest::addColumn<int>("cursor");
        QTest::addColumn<int>("selectTo"); // -1: no selection
        QTest::addColumn<QKeySequence>("keys");
        QTest::newRow("typing after the pending declaration") << 25 << -1 << QKeySequence(Qt::Key_X);
        QTest::newRow("typing inside it") << 5 << -1 << QKeySequence(Qt::Key_X);
        QTest::newRow("Enter") << 30 << -1 << QKeySequence(Qt::Key_Return);
        QTest::newRow("Backspace") << 25 << -1 << QKeySequence(Qt::Key_Backspace);
        QTest::newRow("Delete") << 25 << -1 << QKeySequence(Qt::Key_Delete);
        QTest::newRow("Tab") << 25 << -1 << QKeySequence(Qt::Key_Tab);
        QTest::newRow("paste") << 25 << -1 << QKeySequence(QKeySequence::Paste);
        QTest::newRow("cut") << 21 << 24 << QKeySequence(QKeySequence::Cut);
        QTest::newRow("typing over a selection") << 21 << 24 << QKeySequence(Qt::Key_X);
        QTest::newRow("undo") << 30 << -1 << QKeySequence(QKeySequence::Undo);
    }

    void editsRefusedWhilePending()
    {
        QFETCH(int, cursor);
        QFETCH(int, selectTo);
        QFETCH(QKeySequence, keys);
        Fixture f;
        QGuiApplication::clipboard()->setText(QStringLiteral("P"));
        // Something to undo.
        f.setCursor(30);
        QTest::keyClick(f.pane.textView(), Qt::Key_Z);
        const QString before = f.pane.content();
        QCOMPARE(before, threeDeclarations + u'z');

        f.pane.evalNextStep();
        f.setCursor(cursor);
        if (selectTo >= 0) {
            QTextCursor c = f.pane.textView()->textCursor();
            c.setPosition(selectTo, QTextCursor::KeepAnchor);
            f.pane.textView()->setTextCursor(c);
        }
        QTest::keySequence(f.pane.textView(), keys);
        QCOMPARE(f.pane.content(), before);
        QCOMPARE(f.pane.textView()->toPlainText(), before);
        QCOMPARE(f.pane.pending(), range(0, 10));
        QCOMPARE(marks(f.pane.textStorage()), QStringLiteral("blue 0-10"));
    }

    void resetWhilePendingKeepsEditsRefused()
    {
        Fixture f;
        f.step(true);
        f.pane.evalNextStep();
        f.pane.resetEvaluated();
        QCOMPARE(f.pane.interpreted(), qint64(0));
        QCOMPARE(f.pane.pending(), range(10, 10));
        QCOMPARE(marks(f.pane.textStorage()), QString());
        f.setCursor(30);
        QTest::keyClick(f.pane.textView(), Qt::Key_X);
        QCOMPARE(f.pane.content(), threeDeclarations);

        // The report clears the pending state; the prefix grows from 0 by its length.
        f.pane.setLastCommitSuccess(true);
        QCOMPARE(f.pane.interpreted(), qint64(10));
        QTest::keyClick(f.pane.textView(), Qt::Key_X);
        QCOMPARE(f.pane.content(), threeDeclarations + u'x');
    }

    void editsAndTheEvaluatedPrefix_data()
    {
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<qint64>("interpreted");
        QTest::addColumn<QString>("marks");
        QTest::newRow("typing at the end of the prefix keeps it") << 20 << QKeySequence(Qt::Key_X) << qint64(20) << "green 0-20";
        QTest::newRow("typing after it keeps it") << 25 << QKeySequence(Qt::Key_X) << qint64(20) << "green 0-20";
        QTest::newRow("Delete at its end keeps it") << 20 << QKeySequence(Qt::Key_Delete) << qint64(20) << "green 0-20";
        QTest::newRow("Enter at its end keeps it") << 20 << QKeySequence(Qt::Key_Return) << qint64(20) << "green 0-20";
        QTest::newRow("Backspace at its end resets it") << 20 << QKeySequence(Qt::Key_Backspace) << qint64(0) << "";
        QTest::newRow("typing inside it resets it") << 5 << QKeySequence(Qt::Key_X) << qint64(0) << "";
        QTest::newRow("typing at the start resets it") << 0 << QKeySequence(Qt::Key_X) << qint64(0) << "";
        QTest::newRow("paste inside it resets it") << 12 << QKeySequence(QKeySequence::Paste) << qint64(0) << "";
    }

    void editsAndTheEvaluatedPrefix()
    {
        QFETCH(int, cursor);
        QFETCH(QKeySequence, keys);
        QFETCH(qint64, interpreted);
        QFETCH(QString, marks);
        Fixture f;
        QGuiApplication::clipboard()->setText(QStringLiteral("P"));
        f.step(true);
        f.step(true);
        const int reportsBefore = f.window.fileChangedCalls;
        f.setCursor(cursor);
        QTest::keySequence(f.pane.textView(), keys);
        QVERIFY(f.pane.content() != threeDeclarations);
        QCOMPARE(f.pane.interpreted(), interpreted);
        QCOMPARE(::marks(f.pane.textStorage()), marks);
        QVERIFY(f.window.fileChangedCalls > reportsBefore);
        // The unevaluated rest, all of it when the prefix went, is coloured anew.
        QTRY_VERIFY(colouringSettled(f.pane));
        const qsizetype end = f.pane.textStorage().length();
        QCOMPARE(foregroundRuns(f.pane.textStorage(), interpreted, end), fullRecolouring(f.pane, interpreted, end));
    }

    void undoInsideThePrefixResetsIt()
    {
        Fixture f;
        f.setCursor(5);
        QTest::keyClick(f.pane.textView(), Qt::Key_X);
        f.step(true);
        f.step(true);
        QCOMPARE(f.pane.interpreted(), qint64(21));
        // Undo changes the text without a key of its own: it is checked at
        // its first change.
        QTest::keySequence(f.pane.textView(), QKeySequence::Undo);
        QCOMPARE(f.pane.content(), threeDeclarations);
        QCOMPARE(f.pane.interpreted(), qint64(0));
        QCOMPARE(marks(f.pane.textStorage()), QString());
        QTRY_VERIFY(colouringSettled(f.pane));
        QCOMPARE(foregroundRuns(f.pane.textStorage(), 0, 30), fullRecolouring(f.pane, 0, 30));
    }

    void editsAndTheFailedDeclaration_data()
    {
        QTest::addColumn<int>("cursor");
        QTest::addColumn<bool>("errorKept");
        QTest::newRow("inside it clears it") << 15 << false;
        QTest::newRow("at its start clears it") << 10 << false;
        QTest::newRow("at its end keeps the record") << 20 << true;
        QTest::newRow("after it keeps the record") << 25 << true;
    }

    void editsAndTheFailedDeclaration()
    {
        QFETCH(int, cursor);
        QFETCH(bool, errorKept);
        Fixture f;
        f.step(true);
        f.step(false);
        QCOMPARE(marks(f.pane.textStorage()), QStringLiteral("green 0-10, red 10-20"));
        f.setCursor(cursor);
        QTest::keyClick(f.pane.textView(), Qt::Key_X);
        QCOMPARE(f.pane.error(), errorKept ? range(10, 10) : OLTextRange());
        // Any edit of the unevaluated rest drops the red.
        QCOMPARE(marks(f.pane.textStorage()), QStringLiteral("green 0-10"));
        QCOMPARE(f.pane.interpreted(), qint64(10));
    }

    void enterIndentsLikeTheLastLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("expected");
        const QString tabbed = QStringLiteral("val a =\n  1\nval x =\t1\t(* c *)");
        QTest::newRow("two tabs, cursor at the end") << tabbed << int(tabbed.size()) << tabbed + "\n\t\t";
        QTest::newRow("two tabs, cursor on the first line")
            << tabbed << 3 << QStringLiteral("val\n\t\t a =\n  1\nval x =\t1\t(* c *)");
        QTest::newRow("tabs only on an earlier line") << QStringLiteral("\t\tval a = 1\nval b = 2") << 0
                                                        << QStringLiteral("\n\t\tval a = 1\nval b = 2");
        QTest::newRow("empty last line") << QStringLiteral("\tval a = 1\n") << 11 << QStringLiteral("\tval a = 1\n\n");
        QTest::newRow("empty text") << QString() << 0 << QStringLiteral("\n");
    }

    void enterIndentsLikeTheLastLine()
    {
        QFETCH(QString, text);
        QFETCH(int, cursor);
        QFETCH(QString, expected);
        Fixture f(text);
        f.setCursor(cursor);
        QTest::keyClick(f.pane.textView(), Qt::Key_Return);
        QCOMPARE(f.pane.content(), expected);
        QCOMPARE(f.pane.textView()->toPlainText(), expected);
    }

    void selectLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("line");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        const QString text = QStringLiteral("ab\ncd\n");
        QTest::newRow("line 0") << text << qint64(0) << false << 0 << 0;
        QTest::newRow("negative line") << text << qint64(-2) << false << 0 << 0;
        QTest::newRow("first line") << text << qint64(1) << true << 0 << 2;
        QTest::newRow("second line") << text << qint64(2) << true << 3 << 5;
        QTest::newRow("empty line after the final line feed") << text << qint64(3) << true << 6 << 6;
        QTest::newRow("beyond the last line") << text << qint64(4) << false << 0 << 0;
        QTest::newRow("far beyond") << text << qint64(1000) << false << 0 << 0;
        QTest::newRow("line separator ends a line") << QStringLiteral("ab\u2028cd") << qint64(2) << true << 3 << 5;
        QTest::newRow("next line ends a line") << QStringLiteral("ab\u0085cd") << qint64(2) << true << 3 << 5;
        QTest::newRow("no-break space does not") << QStringLiteral("a\u00a0b\ncd") << qint64(2) << true << 4 << 6;
        QTest::newRow("empty text, line 1") << QString() << qint64(1) << true << 0 << 0;
        QTest::newRow("empty text, line 2") << QString() << qint64(2) << false << 0 << 0;
    }

    void selectLine()
    {
        QFETCH(QString, text);
        QFETCH(qint64, line);
        QFETCH(bool, found);
        QFETCH(int, from);
        QFETCH(int, to);
        Fixture f(text);
        f.setCursor(0);
        QCOMPARE(f.pane.selectLine(line), found);
        // On failure nothing is selected: the cursor stays where it was.
        QCOMPARE(f.selection(), std::make_pair(from, to));
    }

    void fontChangeRemovesTheMarks()
    {
        Fixture f;
        f.step(true);
        QCOMPARE(marks(f.pane.textStorage()), QStringLiteral("green 0-10"));
        OLStyleSet styles = testStyles();
        styles.name = QStringLiteral("DejaVu Sans Mono");
        styles.size = 13.7;
        f.pane.setFontAttributes(styles);

        QCOMPARE(f.pane.textView()->font().pointSize(), 13);
        QCOMPARE(f.pane.textView()->font().family(), QStringLiteral("DejaVu Sans Mono"));
        QCOMPARE(marks(f.pane.textStorage()), QString());
        QCOMPARE(f.pane.interpreted(), qint64(10));
        // The evaluated prefix stays plain, the rest is coloured again.
        QCOMPARE(foregroundRuns(f.pane.textStorage(), 0, 10), ForegroundRuns({{10, std::nullopt}}));
        QTRY_VERIFY(colouringSettled(f.pane));
        QCOMPARE(f.pane.textStorage().foregroundColorAt(10), testStyles().keyColor);

        // Later steps colour only what they evaluate.
        f.step(true);
        QCOMPARE(marks(f.pane.textStorage()), QStringLiteral("green 10-20"));
    }

    void typingRecoloursTheRest_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("a comment opener") << QStringLiteral("(*");
        QTest::newRow("a quote") << QStringLiteral("\"");
        QTest::newRow("a keyword") << QStringLiteral(" fun ");
    }

    void typingRecoloursTheRest()
    {
        QFETCH(QString, typed);
        // Long enough that colouring the whole rest takes several slices.
        QString text;
        for (int i = 0; i < 20000; ++i)
            text += QStringLiteral("val v%1 = \"s\" (* c *) + %1\n").arg(i);
        Fixture f(text);
        QTRY_VERIFY(colouringSettled(f.pane));
        f.step(true);
        const int middle = int(text.size() / 2);
        f.setCursor(middle);
        f.pane.textView()->centerCursor();
        QTest::keyClicks(f.pane.textView(), typed);

        // The viewport is right at once, the rest once the slices are done.
        const qsizetype first = f.pane.textView()->cursorForPosition(QPoint(0, 0)).block().position();
        const qsizetype last = qMin(f.pane.textView()->visibleEnd(), f.pane.textStorage().length());
        QVERIFY(first <= middle && middle < last);
        QCOMPARE(foregroundRuns(f.pane.textStorage(), first, last), fullRecolouring(f.pane, first, last));
        QTRY_VERIFY(colouringSettled(f.pane));
        const qsizetype rest = f.pane.interpreted(), end = f.pane.textStorage().length();
        QCOMPARE(foregroundRuns(f.pane.textStorage(), rest, end), fullRecolouring(f.pane, rest, end));
    }

    void setContentBypassesTheCheck()
    {
        Fixture f;
        f.step(true);
        f.pane.evalNextStep();
        // Tabs and a no-break space come back as they were.
        const QString text = QStringLiteral("val\u00a0a = 1\n\tval b = 2\n");
        f.pane.setContent(text);
        QCOMPARE(f.pane.content(), text);
        QCOMPARE(f.pane.interpreted(), qint64(10));
        QCOMPARE(f.pane.pending(), range(10, 10));

        // Undo does not reach back before the loaded text.
        f.pane.setLastCommitSuccess(true);
        QTest::keySequence(f.pane.textView(), QKeySequence::Undo);
        QCOMPARE(f.pane.content(), text);
    }

    void findBar_data()
    {
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("wrap");
        QTest::addColumn<QString>("presses"); // N: Enter, P: Shift+Enter
        QTest::addColumn<QList<int>>("starts"); // after typing, then after each press
        // "val" (any case) at 0, 6 and 12; "VAL" at 6.
        QTest::newRow("forward, wrapping") << false << true << "NNN" << QList<int>{0, 6, 12, 0};
        QTest::newRow("backward, wrapping") << false << true << "PP" << QList<int>{0, 12, 6};
        QTest::newRow("matching case") << true << true << "NN" << QList<int>{0, 12, 0};
        QTest::newRow("forward, stopping at the last") << false << false << "NNN" << QList<int>{0, 6, 12, 12};
        QTest::newRow("backward, stopping at the first") << false << false << "P" << QList<int>{0, 0};
    }

    void findBar()
    {
        QFETCH(bool, matchCase);
        QFETCH(bool, wrap);
        QFETCH(QString, presses);
        QFETCH(QList<int>, starts);
        Fixture f(QStringLiteral("val a\nVAL b\nval c\n"));
        auto *bar = f.pane.findChild<OLFindBar *>();
        QVERIFY(bar);
        QVERIFY(!bar->isVisible());
        f.setCursor(0);
        f.pane.performFindPanel();
        QVERIFY(bar->isVisible());
        bar->matchCaseBox()->setChecked(matchCase);
        bar->wrapAroundBox()->setChecked(wrap);

        QTest::keyClicks(bar->searchField(), QStringLiteral("val"));
        QList<int> seen{f.selection().first};
        QCOMPARE(f.selection().second - f.selection().first, 3);
        for (const QChar press : presses) {
            QTest::keyClick(bar->searchField(), Qt::Key_Return,
                            press == u'P' ? Qt::ShiftModifier : Qt::NoModifier);
            seen.append(f.selection().first);
        }
        QCOMPARE(seen, starts);

        // Every match in view is shown; searching changed no text.
        QList<int> shown;
        for (const QTextEdit::ExtraSelection &s : f.pane.textView()->extraSelections())
            shown.append(s.cursor.selectionStart());
        const QList<int> matches = matchCase ? QList<int>{0, 12} : QList<int>{0, 6, 12};
        QCOMPARE(shown, matches);
        QCOMPARE(f.pane.content(), QStringLiteral("val a\nVAL b\nval c\n"));
        QVERIFY(!f.pane.textView()->document()->isUndoAvailable());
    }

    void escapeClosesTheFindBar_data()
    {
        QTest::addColumn<bool>("fromEditor");
        QTest::newRow("in the search field") << false;
        QTest::newRow("in the editor") << true;
    }

    void escapeClosesTheFindBar()
    {
        QFETCH(bool, fromEditor);
        Fixture f;
        auto *bar = f.pane.findChild<OLFindBar *>();
        f.pane.performFindPanel();
        QTest::keyClicks(bar->searchField(), QStringLiteral("val"));
        QCOMPARE(f.pane.textView()->extraSelections().size(), 3);
        QTest::keyClick(fromEditor ? static_cast<QWidget *>(f.pane.textView()) : bar->searchField(), Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
        QVERIFY(f.pane.textView()->extraSelections().isEmpty());
        QCOMPARE(f.pane.content(), threeDeclarations);
    }

    void findBarTakesASelectionOfOneLine()
    {
        Fixture f;
        auto *bar = f.pane.findChild<OLFindBar *>();
        QTextCursor c = f.pane.textView()->textCursor();
        c.setPosition(4);
        c.setPosition(5, QTextCursor::KeepAnchor);
        f.pane.textView()->setTextCursor(c);
        f.pane.performFindPanel();
        QCOMPARE(bar->searchField()->text(), QStringLiteral("a"));
        QVERIFY(bar->findNext());
        // The "a" of "val b".
        QCOMPARE(f.selection(), std::make_pair(11, 12));
    }
};

QTEST_MAIN(TestEditorPane)
#include "tst_editorpane.moc"
