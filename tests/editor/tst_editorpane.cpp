#include "../highlight/highlighttestsupport.h"
#include "../highlight/viewtestsupport.h"
#include "editor/OLEditorViewController.h"
#include "editor/OLEditorWindow.h"
#include "editor/OLFindBar.h"
#include "editor/OLLineNumberGutter.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextBlock>

#include <functional>

namespace {
using SH = OLSyntaxHighlighter;

// Three declarations of ten units each: [0, 10), [10, 20), [20, 30).
const QString threeDeclarations = QStringLiteral("val a = 1\nval b = 2\nval c = 3\n");

// A shown pane, with the fixture standing in for its document window.
struct Fixture : OLEditorWindow {
    explicit Fixture(const QString &text = threeDeclarations)
    {
        pane.setWindowController(this);
        pane.setFontAttributes(testStyles());
        pane.setContent(text);
        pane.resize(640, 400);
        pane.show();
    }
    void eval(const QString &text, qint32 from) override
    {
        QCOMPARE(from, 0); // the editor's committer number
        evals.append(text);
        if (onEval)
            onEval();
    }
    bool fileChanged() override { return ++fileChangedCalls; }

    OLTextView &view() { return *pane.textView(); }
    std::pair<int, int> selection() { return {view().textCursor().selectionStart(), view().textCursor().selectionEnd()}; }
    // Evaluates one declaration with the given verdict.
    void step(bool success)
    {
        pane.evalNextStep();
        pane.setLastCommitSuccess(success);
    }
    // Answers each declaration sent with success; how many were sent.
    int answerAll()
    {
        int sent = 0;
        for (; pane.pending().isSet() && sent < 100; ++sent)
            pane.setLastCommitSuccess(true);
        return sent;
    }
    // The marks, e.g. "green 0-10, blue 10-20".
    QString marks() const
    {
        const OLTextStorage &s = pane.textStorage();
        const auto name = [](const std::optional<OLColor> &c) {
            return c == SH::lightGreen() ? "green" : c == SH::lightBlue() ? "blue" : c == SH::lightRed() ? "red" : "other";
        };
        QStringList spans;
        for (qsizetype start = 0, i = 1; start < s.length(); ++i) {
            if (i < s.length() && s.backgroundColorAt(i) == s.backgroundColorAt(start))
                continue;
            if (s.backgroundColorAt(start))
                spans.append(QStringLiteral("%1 %2-%3").arg(name(s.backgroundColorAt(start))).arg(start).arg(i));
            start = i;
        }
        return spans.join(QStringLiteral(", "));
    }
    // The evaluation state, e.g. "20 | pending 20+10 | error - | loop 1 | green 0-20, blue 20-30".
    QString state() const
    {
        const auto r = [](OLTextRange r) { return r.isSet() ? QStringLiteral("%1+%2").arg(r.location).arg(r.length) : QStringLiteral("-"); };
        return QStringLiteral("%1 | pending %2 | error %3 | loop %4 | %5")
            .arg(pane.interpreted()).arg(r(pane.pending()), r(pane.error())).arg(pane.inLoop()).arg(marks());
    }
    bool colouringSettled() const { return !SH::hasPendingHighlight(pane.textStorage()); }
    // [from, to) as coloured in the pane, and as a fresh colouring of the unevaluated rest gives it.
    std::pair<QString, QString> colours(qsizetype from, qsizetype to) const
    {
        OLTextStorage fresh(pane.content());
        const OLTextStorage::Range rest{pane.interpreted(), fresh.length() - pane.interpreted()};
        SH::highLigthKeyWords(fresh, rest, testStyles());
        SH::highlightStringsAndComments(fresh, rest, testStyles());
        return {colourLetters(pane.textStorage(), from, to), colourLetters(fresh, from, to)};
    }

    OLEditorViewController pane;
    QStringList evals;
    std::function<void()> onEval; // runs as each declaration is sent, as the session would
    int fileChangedCalls = 0;
};

#define COLOURED_AFRESH(f, from, to) do { const auto c = (f).colours((from), (to)); QCOMPARE(c.first, c.second); } while (false)

} // namespace

class TestEditorPane : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void evaluateToCursor_data()
    {
        QTest::addColumn<int>("cursor");
        QTest::addColumn<int>("sent");
        QTest::newRow("cursor inside the second declaration") << 14 << 2;
        QTest::newRow("cursor at the start of the second") << 10 << 1;
        QTest::newRow("cursor at the start of the text") << 0 << 0;
        QTest::newRow("cursor at the end") << 30 << 3;
    }
    void evaluateToCursor()
    {
        QFETCH(int, cursor);
        QFETCH(int, sent);
        Fixture f;
        select(f.view(), cursor);
        f.pane.evalToCursor();
        // Each report takes one more step while the prefix ends before the cursor.
        for (int i = 0; f.pane.pending().isSet() && i < 10; ++i) {
            const QString green = i ? QStringLiteral("green 0-%1, ").arg(i * 10) : QString();
            QCOMPARE(f.state(), QStringLiteral("%1 | pending %1+10 | error - | loop 1 | %2blue %1-%3").arg(i * 10).arg(green).arg(i * 10 + 10));
            f.pane.setLastCommitSuccess(true);
        }
        QCOMPARE(f.evals.join(QString()), threeDeclarations.left(sent * 10));
        QCOMPARE(f.state(), QStringLiteral("%1 | pending - | error - | loop 0 | %2").arg(sent * 10).arg(sent ? QStringLiteral("green 0-%1").arg(sent * 10) : QString()));
    }

    void loopEndsWhenTheScannerFindsNothing()
    {
        Fixture f(QStringLiteral("val a = 1;\n"));
        f.step(true);
        select(f.view(), 11);
        f.view().insertTyped(QStringLiteral("(* 1 + 2; *)\n")); // no token
        f.pane.evalFile();
        QCOMPARE(f.evals.size(), 1);
        QCOMPARE(f.state(), QStringLiteral("11 | pending - | error - | loop 2 | green 0-11"));
    }

    // A failure stops the loop, and reports with nothing pending change
    // nothing; a step sends the failed declaration again and its success
    // resumes the loop. Each declaration goes out before the one answered
    // before it is marked.
    void failureStopsTheLoopAndAStepResumesIt()
    {
        Fixture f;
        QStringList marksAtEachSend;
        f.onEval = [&f, &marksAtEachSend] { marksAtEachSend.append(f.marks()); };
        f.pane.evalFile();
        QCOMPARE(f.pane.inLoop(), qint64(2));
        f.pane.setLastCommitSuccess(true);
        f.pane.setLastCommitSuccess(false);
        const QString failed = QStringLiteral("10 | pending - | error 10+10 | loop 2 | green 0-10, red 10-20");
        QCOMPARE(f.state(), failed);
        f.pane.setLastCommitSuccess(true);
        f.pane.setLastCommitSuccess(false);
        QCOMPARE(f.state(), failed);
        f.pane.evalNextStep();
        QCOMPARE(f.evals.last(), QStringLiteral("val b = 2\n"));
        QCOMPARE(f.marks(), QStringLiteral("green 0-10, blue 10-20"));
        QCOMPARE(f.answerAll(), 2);
        QCOMPARE(marksAtEachSend, (QStringList{"", "blue 0-10", failed.section(" | ", 4), "green 0-10, blue 10-20"}));
        // The failed declaration succeeded on retry: no error is left.
        const QString done = QStringLiteral("30 | pending - | error - | loop 0 | green 0-30");
        QCOMPARE(f.state(), done);
        // A fully evaluated text sends nothing more.
        f.pane.evalFile();
        f.pane.evalToCursor();
        QCOMPARE(f.evals.size(), 4);
        QCOMPARE(f.state(), done);
    }

    // A declaration that fails as it is sent ends up red, never blue.
    void failureAsItIsSent()
    {
        Fixture f;
        f.onEval = [&f] { f.pane.setLastCommitSuccess(false); };
        f.pane.evalFile();
        QCOMPARE(f.state(), QStringLiteral("0 | pending - | error 0+10 | loop 2 | red 0-10"));
    }

    void reportsOnAFreshPaneAreIgnored()
    {
        Fixture f;
        for (bool success : {true, false})
            f.pane.setLastCommitSuccess(success);
        QCOMPARE(f.state(), QStringLiteral("0 | pending - | error - | loop 0 | "));
        QVERIFY(f.evals.isEmpty());
    }

    // Every way of editing, anywhere, is refused while a declaration is pending.
    void editsRefusedWhilePending_data()
    {
        QTest::addColumn<int>("cursor");
        QTest::addColumn<int>("selectTo"); // -1: no selection
        QTest::addColumn<UserEdit>("edit");
        QTest::newRow("typing after the pending declaration") << 25 << -1 << UserEdit(Qt::Key_X);
        QTest::newRow("typing inside it") << 5 << -1 << UserEdit(Qt::Key_X);
        QTest::newRow("Enter") << 31 << -1 << UserEdit(Qt::Key_Return);
        QTest::newRow("Backspace") << 25 << -1 << UserEdit(Qt::Key_Backspace);
        QTest::newRow("Delete") << 25 << -1 << UserEdit(Qt::Key_Delete);
        QTest::newRow("paste") << 25 << -1 << UserEdit(QKeySequence::Paste);
        QTest::newRow("cut") << 21 << 24 << UserEdit(QKeySequence::Cut);
        QTest::newRow("typing over a selection") << 21 << 24 << UserEdit(Qt::Key_X);
        QTest::newRow("undo") << 31 << -1 << UserEdit(QKeySequence::Undo);
        QTest::newRow("redo") << 31 << -1 << UserEdit(QKeySequence::Redo);
        QTest::newRow("drop") << 25 << -1 << UserEdit("drop");
        QTest::newRow("input method") << 25 << -1 << UserEdit("input method");
        QTest::newRow("context-menu paste") << 25 << -1 << UserEdit("edit-paste");
        QTest::newRow("context-menu cut") << 21 << 24 << UserEdit("edit-cut");
        QTest::newRow("context-menu redo") << 31 << -1 << UserEdit("edit-redo");
    }
    void editsRefusedWhilePending()
    {
        QFETCH(int, cursor);
        QFETCH(int, selectTo);
        QFETCH(UserEdit, edit);
        Fixture f;
        QGuiApplication::clipboard()->setText(QStringLiteral("P"));
        // Something to undo (the "z") and to redo (the "y").
        select(f.view(), 30);
        QTest::keyClick(&f.view(), Qt::Key_Z);
        select(f.view(), 0);
        QTest::keyClick(&f.view(), Qt::Key_Y);
        QTest::keySequence(&f.view(), QKeySequence::Undo);
        const QString before = threeDeclarations + u'z';
        QCOMPARE(f.pane.content(), before);

        f.pane.evalNextStep();
        select(f.view(), cursor, selectTo);
        QVERIFY(edit.apply(f.view()));
        QCOMPARE(f.pane.content(), before);
        QCOMPARE(f.view().toPlainText(), before);
        QCOMPARE(f.state(), QStringLiteral("0 | pending 0+10 | error - | loop 0 | blue 0-10"));
    }

    // While a declaration is pending in a running evaluation, a step sends
    // it again. A new text (the file read again) keeps the evaluated prefix
    // and the pending declaration where it begins with them, and drops them
    // otherwise; a reset drops them. Either way the evaluation stops; edits
    // are taken once nothing is pending, and a late report on a dropped
    // declaration changes nothing. Undo does not reach back before the text.
    void newTextOrResetWhilePending_data()
    {
        QTest::addColumn<QString>("text"); // null: a reset
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("reported");
        const QString dropped = QStringLiteral("0 | pending - | error - | loop 0 | ");
        QTest::newRow("begins with both, tab and no-break space after: kept")
            << QStringLiteral("val a = 1\nval b = 2\n\tval\u00a0c = 3\n")
            << QStringLiteral("10 | pending 10+10 | error - | loop 0 | green 0-10, blue 10-20")
            << QStringLiteral("20 | pending - | error - | loop 0 | green 0-20");
        QTest::newRow("pending declaration changed: dropped")
            << QStringLiteral("val a = 1\nval b = 22\n") << dropped << dropped;
        QTest::newRow("shorter than the evaluated prefix: dropped") << QStringLiteral("val") << dropped << dropped;
        QTest::newRow("reset: dropped") << QString() << dropped << dropped;
    }
    void newTextOrResetWhilePending()
    {
        QFETCH(QString, text);
        QFETCH(QString, state);
        QFETCH(QString, reported);
        Fixture f;
        f.step(true);
        f.pane.evalFile();
        f.pane.evalNextStep();
        QCOMPARE(f.evals.mid(1), QStringList(2, QStringLiteral("val b = 2\n")));
        if (text.isNull())
            f.pane.resetEvaluated();
        else
            f.pane.setContent(text);
        const QString loaded = text.isNull() ? threeDeclarations : text;
        QCOMPARE(f.pane.content(), loaded);
        QCOMPARE(f.state(), state);
        select(f.view(), int(loaded.size()));
        QTest::keyClick(&f.view(), Qt::Key_X);
        QCOMPARE(f.pane.content(), f.pane.pending().isSet() ? loaded : loaded + u'x');
        f.pane.setLastCommitSuccess(true);
        QCOMPARE(f.state(), reported);
        QCOMPARE(f.evals.size(), 3);
        for (int i = 0; i < 2; ++i)
            QTest::keySequence(&f.view(), QKeySequence::Undo);
        QCOMPARE(f.pane.content(), loaded);
    }

    // An edit that begins inside the evaluated prefix resets it (undo
    // included, checked at its first change); the unevaluated rest, all of
    // it when the prefix went, is coloured anew.
    void editsAndTheEvaluatedPrefix_data()
    {
        QTest::addColumn<int>("cursor");
        QTest::addColumn<UserEdit>("edit");
        QTest::addColumn<qint64>("interpreted");
        QTest::newRow("typing at the end of the prefix keeps it") << 20 << UserEdit(Qt::Key_X) << qint64(20);
        QTest::newRow("typing after it keeps it") << 25 << UserEdit(Qt::Key_X) << qint64(20);
        QTest::newRow("Delete at its end keeps it") << 20 << UserEdit(Qt::Key_Delete) << qint64(20);
        QTest::newRow("Enter at its end keeps it") << 20 << UserEdit(Qt::Key_Return) << qint64(20);
        QTest::newRow("Backspace at its end resets it") << 20 << UserEdit(Qt::Key_Backspace) << qint64(0);
        QTest::newRow("typing inside it resets it") << 5 << UserEdit(Qt::Key_X) << qint64(0);
        QTest::newRow("paste inside it resets it") << 12 << UserEdit(QKeySequence::Paste) << qint64(0);
        QTest::newRow("undo of an edit inside it resets it") << 30 << UserEdit(QKeySequence::Undo) << qint64(0);
    }
    void editsAndTheEvaluatedPrefix()
    {
        QFETCH(int, cursor);
        QFETCH(UserEdit, edit);
        QFETCH(qint64, interpreted);
        Fixture f;
        QGuiApplication::clipboard()->setText(QStringLiteral("P"));
        // Something to undo inside the prefix.
        select(f.view(), 5);
        QTest::keyClick(&f.view(), Qt::Key_X);
        select(f.view(), 5, 6);
        QTest::keyClick(&f.view(), Qt::Key_Delete);
        f.step(true);
        f.step(true);
        const int reportsBefore = f.fileChangedCalls;
        select(f.view(), cursor);
        QVERIFY(edit.apply(f.view()));
        QVERIFY(f.pane.content() != threeDeclarations);
        QCOMPARE(f.state(), QStringLiteral("%1 | pending - | error - | loop 0 | %2").arg(interpreted).arg(interpreted ? "green 0-20" : ""));
        QVERIFY(f.fileChangedCalls > reportsBefore);
        QTRY_VERIFY(f.colouringSettled());
        COLOURED_AFRESH(f, interpreted, f.pane.textStorage().length());
    }

    // Any edit of the unevaluated rest drops the red mark and the record of
    // the failure with it.
    void editsAndTheFailedDeclaration_data()
    {
        QTest::addColumn<int>("cursor");
        QTest::newRow("at its start") << 10;
        QTest::newRow("inside it") << 15;
        QTest::newRow("at its end") << 20;
    }
    void editsAndTheFailedDeclaration()
    {
        QFETCH(int, cursor);
        Fixture f;
        f.step(true);
        f.step(false);
        select(f.view(), cursor);
        QTest::keyClick(&f.view(), Qt::Key_X);
        QCOMPARE(f.state(), QStringLiteral("10 | pending - | error - | loop 0 | green 0-10"));
    }

    // A failure's record, kept past an edit that moved its text, would strip
    // the mark of whatever is evaluated there next.
    void anOldFailureNeverStripsNewMarks()
    {
        Fixture f;
        f.step(true);
        f.step(false);
        select(f.view(), 5);
        QTest::keyClick(&f.view(), Qt::Key_X);
        f.step(true);
        select(f.view(), 15);
        QTest::keyClick(&f.view(), Qt::Key_X);
        QCOMPARE(f.state(), QStringLiteral("11 | pending - | error - | loop 0 | green 0-11"));
    }

    void enterIndentsLikeTheLastLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("expected");
        const QString tabbed = QStringLiteral("val a =\n  1\nval x =\t1\t(* c *)");
        QTest::newRow("two tabs, cursor at the end") << tabbed << int(tabbed.size()) << tabbed + "\n\t\t";
        QTest::newRow("two tabs, cursor on the first line") << tabbed << 3 << "val\n\t\t a =\n  1\nval x =\t1\t(* c *)";
        QTest::newRow("tabs only on an earlier line") << "\t\tval a = 1\nval b = 2" << 0 << "\n\t\tval a = 1\nval b = 2";
        QTest::newRow("empty last line") << "\tval a = 1\n" << 11 << "\tval a = 1\n\n";
        QTest::newRow("empty text") << QString() << 0 << "\n";
    }
    void enterIndentsLikeTheLastLine()
    {
        QFETCH(QString, text);
        QFETCH(int, cursor);
        QFETCH(QString, expected);
        Fixture f(text);
        select(f.view(), cursor);
        QTest::keyClick(&f.view(), Qt::Key_Return);
        QCOMPARE(f.pane.content(), expected);
        QCOMPARE(f.view().toPlainText(), expected);
    }

    void selectLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("line");
        QTest::addColumn<int>("from"); // -1: not found
        QTest::addColumn<int>("to");
        const QString text = QStringLiteral("ab\ncd\n");
        QTest::newRow("line 0") << text << qint64(0) << -1 << 0;
        QTest::newRow("first line") << text << qint64(1) << 0 << 2;
        QTest::newRow("second line") << text << qint64(2) << 3 << 5;
        QTest::newRow("empty line after the final line feed") << text << qint64(3) << 6 << 6;
        QTest::newRow("beyond the last line") << text << qint64(4) << -1 << 0;
        QTest::newRow("line separator ends a line") << "ab\u2028cd" << qint64(2) << 3 << 5;
        QTest::newRow("no-break space does not") << "a\u00a0b\ncd" << qint64(2) << 4 << 6;
        QTest::newRow("empty text, line 1") << QString() << qint64(1) << 0 << 0;
    }
    void selectLine()
    {
        QFETCH(QString, text);
        QFETCH(qint64, line);
        QFETCH(int, from);
        QFETCH(int, to);
        Fixture f(text);
        select(f.view(), 0);
        QCOMPARE(f.pane.selectLine(line), from >= 0);
        // On failure nothing is selected: the cursor stays where it was.
        QCOMPARE(f.selection(), std::make_pair(qMax(from, 0), to));
    }

    // Each number stands beside its line, wherever the view is scrolled to,
    // down to the view's bottom; the strip widens only past three digits.
    void lineNumbers_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("scrolledTo"); // the first line in sight, from 0
        QTest::addColumn<int>("digits");
        QTest::newRow("nine lines") << 9 << 0 << 3;
        QTest::newRow("999 lines, scrolled") << 999 << 500 << 3;
        QTest::newRow("12,345 lines, near the end") << 12'345 << 12'300 << 5;
    }
    void lineNumbers()
    {
        QFETCH(int, lines);
        QFETCH(int, scrolledTo);
        QFETCH(int, digits);
        Fixture f(QStringLiteral("val v = 0\n").repeated(lines - 1) + QStringLiteral("val v = 0"));
        QVERIFY(QTest::qWaitForWindowExposed(&f.pane));
        OLLineNumberGutter *gutter = f.pane.lineNumbers();
        const int digit = gutter->fontMetrics().horizontalAdvance(u'9');
        QVERIFY(gutter->width() >= digits * digit && gutter->width() < (digits + 1) * digit + 20);
        f.view().verticalScrollBar()->setValue(scrolledTo);
        const QList<OLLineNumberGutter::Row> rows = gutter->rows();
        QCOMPARE(rows.first().line, scrolledTo + 1);
        const auto inPane = [&](QPoint inViewport) { return f.view().viewport()->mapTo(&f.pane, inViewport).y() - gutter->y(); };
        for (const OLLineNumberGutter::Row &row : rows) {
            const QTextCursor line(f.view().document()->findBlockByNumber(row.line - 1));
            QVERIFY2(qAbs(row.rect.center().y() - inPane(f.view().cursorRect(line).center())) <= 1, qPrintable(QString::number(row.line)));
        }
        QVERIFY(rows.last().line == lines || rows.last().rect.bottom() >= inPane(QPoint(0, f.view().viewport()->height())) - 1);
        f.pane.setShowsLineNumbers(false);
        QVERIFY(!gutter->isVisible());
    }

    // The marks are the evaluation's state: a new font or new colours keep
    // them, and new colours reach the evaluated text too.
    void fontChangeKeepsTheMarks_data()
    {
        QTest::addColumn<bool>("failed"); // the second declaration; else pending
        QTest::addColumn<bool>("newColours");
        QTest::addColumn<QString>("state");
        QTest::newRow("font only, a declaration pending") << false << false << "10 | pending 10+10 | error - | loop 0 | green 0-10, blue 10-20";
        QTest::newRow("new colours, a declaration failed") << true << true << "10 | pending - | error 10+10 | loop 0 | green 0-10, red 10-20";
    }
    void fontChangeKeepsTheMarks()
    {
        QFETCH(bool, failed);
        QFETCH(bool, newColours);
        QFETCH(QString, state);
        Fixture f;
        f.step(true);
        f.pane.evalNextStep();
        if (failed)
            f.pane.setLastCommitSuccess(false);
        QTRY_VERIFY(f.colouringSettled());
        const QString before = colourLetters(f.pane.textStorage());
        OLStyleSet styles = newColours ? testStyles(0.5) : testStyles();
        styles.name = QStringLiteral("DejaVu Sans Mono");
        styles.size = 13.7;
        styles.style = QStringLiteral("Bold");
        f.pane.setFontAttributes(styles);
        const QFont font = f.view().font();
        QCOMPARE(std::tuple(font.family(), font.pointSize(), font.styleName()), std::tuple(styles.name.toString(), 13, QStringLiteral("Bold")));
        QCOMPARE(f.state(), state);
        QTRY_VERIFY(f.colouringSettled());
        // Translucent colours show as capitals.
        QCOMPARE(colourLetters(f.pane.textStorage()), newColours ? before.toUpper() : before);
    }

    // Typing a quote recolours the whole rest of a long text: the viewport is
    // right at once, the rest once the slices are done.
    void typingRecoloursTheRest()
    {
        QString text;
        for (int i = 0; i < 20000; ++i)
            text += QStringLiteral("val v%1 = \"s\" (* c *) + %1\n").arg(i);
        Fixture f(text);
        QTRY_VERIFY(f.colouringSettled());
        f.step(true);
        const int middle = int(text.size() / 2);
        select(f.view(), middle);
        f.view().centerCursor();
        QTest::keyClick(&f.view(), Qt::Key_QuoteDbl);
        const qsizetype first = f.view().cursorForPosition(QPoint(0, 0)).block().position();
        const qsizetype last = qMin(f.view().visibleEnd(), f.pane.textStorage().length());
        QVERIFY(first <= middle && middle < last);
        COLOURED_AFRESH(f, first, last);
        QTRY_VERIFY(f.colouringSettled());
        COLOURED_AFRESH(f, f.pane.interpreted(), f.pane.textStorage().length());
    }

    void findBar_data()
    {
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("wrap");
        QTest::addColumn<QString>("presses"); // N: Enter, P: Shift+Enter
        QTest::addColumn<QList<int>>("starts"); // after typing, then after each press
        QTest::addColumn<bool>("escapeInEditor"); // else in the search field
        // "val" (any case) at 0, 6 and 12; "VAL" at 6.
        QTest::newRow("forward, wrapping") << false << true << "NNN" << QList<int>{0, 6, 12, 0} << false;
        QTest::newRow("backward, wrapping") << false << true << "PP" << QList<int>{0, 12, 6} << true;
        QTest::newRow("matching case") << true << true << "NN" << QList<int>{0, 12, 0} << false;
        QTest::newRow("forward, stopping at the last") << false << false << "NNN" << QList<int>{0, 6, 12, 12} << true;
        QTest::newRow("backward, stopping at the first") << false << false << "P" << QList<int>{0, 0} << false;
    }
    void findBar()
    {
        QFETCH(bool, matchCase);
        QFETCH(bool, wrap);
        QFETCH(QString, presses);
        QFETCH(QList<int>, starts);
        QFETCH(bool, escapeInEditor);
        const QString text = QStringLiteral("val a\nVAL b\nval c\n");
        Fixture f(text);
        auto *bar = f.pane.findChild<OLFindBar *>();
        QVERIFY(bar && !bar->isVisible());
        select(f.view(), 0);
        f.pane.performFindPanel();
        QVERIFY(bar->isVisible());
        bar->matchCaseBox()->setChecked(matchCase);
        bar->wrapAroundBox()->setChecked(wrap);
        QTest::keyClicks(bar->searchField(), QStringLiteral("val"));
        QList<int> seen{f.selection().first};
        QCOMPARE(f.selection().second - f.selection().first, 3);
        for (const QChar press : presses) {
            QTest::keyClick(bar->searchField(), Qt::Key_Return, press == u'P' ? Qt::ShiftModifier : Qt::NoModifier);
            seen.append(f.selection().first);
        }
        QCOMPARE(seen, starts);
        // Every match in view is shown; searching changed no text.
        QList<int> shown;
        for (const QTextEdit::ExtraSelection &s : f.view().extraSelections())
            shown.append(s.cursor.selectionStart());
        QCOMPARE(shown, (matchCase ? QList<int>{0, 12} : QList<int>{0, 6, 12}));
        QCOMPARE(f.pane.content(), text);
        QVERIFY(!f.view().document()->isUndoAvailable());
        // Escape closes the bar and hides the matches.
        QTest::keyClick(escapeInEditor ? static_cast<QWidget *>(&f.view()) : bar->searchField(), Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
        QVERIFY(f.view().extraSelections().isEmpty());
    }

    // A long line is held in pieces: matches are found and shown in the text.
    void findOnALongLine()
    {
        const QString text = QStringLiteral("val xs = [") + QStringLiteral("1, 2, ").repeated(2000) + QStringLiteral("77, ")
            + QStringLiteral("3, ").repeated(1000) + QStringLiteral("77]\n");
        Fixture f(text);
        QVERIFY(f.view().document()->blockCount() > 3);
        f.pane.performFindPanel();
        auto *bar = f.pane.findChild<OLFindBar *>();
        QTest::keyClicks(bar->searchField(), QStringLiteral("77"));
        QCOMPARE(f.view().selectionLocation(), text.indexOf(QStringLiteral("77")));
        QVERIFY(bar->findNext());
        QCOMPARE(f.view().selectionLocation(), text.lastIndexOf(QStringLiteral("77")));
        f.view().copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("77"));
        for (const QTextEdit::ExtraSelection &shown : f.view().extraSelections())
            QCOMPARE(shown.cursor.selectedText(), QStringLiteral("77"));
    }

    void findBarTakesASelectionOfOneLine()
    {
        Fixture f;
        auto *bar = f.pane.findChild<OLFindBar *>();
        select(f.view(), 4, 5);
        f.pane.performFindPanel();
        QCOMPARE(bar->searchField()->text(), QStringLiteral("a"));
        QVERIFY(bar->findNext());
        QCOMPARE(f.selection(), std::make_pair(11, 12)); // the "a" of "val b"
    }
};

QTEST_MAIN(TestEditorPane)
#include "tst_editorpane.moc"
