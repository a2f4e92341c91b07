#include "../highlight/highlighttestsupport.h"
#include "../highlight/viewtestsupport.h"
#include "editor/OLEditorViewController.h"
#include "editor/OLEditorWindow.h"
#include "editor/OLFindBar.h"
#include "editor/OLLineNumberGutter.h"
#include "prefs/OLQtColor.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QToolTip>

#include <functional>
#include <numeric>

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
    void restartForReplay() override { replays.append(QStringLiteral("restart")); }
    void replayEnded(qsizetype replayed, qsizetype kept) override { replays.append(QStringLiteral("%1/%2").arg(replayed).arg(kept)); }

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
    QStringList replays; // "restart", and "replayed/kept" at the end of each
    std::function<void()> onEval; // runs as each declaration is sent, as the session would
    int fileChangedCalls = 0;
};

#define COLOURED_AFRESH(f, from, to) do { const auto c = (f).colours((from), (to)); QCOMPARE(c.first, c.second); } while (false)

} // namespace

class TestEditorPane : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every way of editing, anywhere, is refused while a declaration is pending.
    void editsRefusedWhilePending_data()
    {
        QTest::addColumn<int>("cursor");
        QTest::addColumn<int>("selectTo"); // -1: no selection
        QTest::addColumn<UserEdit>("edit");
        QTest::newRow("typing inside it") << 5 << -1 << UserEdit(Qt::Key_X);
        QTest::newRow("Backspace") << 25 << -1 << UserEdit(Qt::Key_Backspace);
        QTest::newRow("paste") << 25 << -1 << UserEdit(QKeySequence::Paste);
        QTest::newRow("undo") << 31 << -1 << UserEdit(QKeySequence::Undo);
        QTest::newRow("redo") << 31 << -1 << UserEdit(QKeySequence::Redo);
        QTest::newRow("drop") << 25 << -1 << UserEdit("drop");
        QTest::newRow("context-menu paste") << 25 << -1 << UserEdit("edit-paste");
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
    // and the pending declaration where it begins with them, and retracts to
    // where it differs otherwise; a reset drops them. Either way the
    // evaluation stops; edits are taken once nothing is pending (a replay
    // aside), and a late report on a dropped declaration changes nothing.
    // Undo does not reach back before the text.
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
        QTest::newRow("pending declaration changed: replayed to it")
            << QStringLiteral("val a = 1\nval b = 22\n") << QStringLiteral("0 | pending 0+10 | error - | loop 0 | blue 0-10")
            << QStringLiteral("10 | pending - | error - | loop 0 | green 0-10");
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
        QCOMPARE(f.pane.content(), f.pane.pending().isSet() && f.replays.isEmpty() ? loaded : loaded + u'x');
        f.pane.setLastCommitSuccess(true);
        QCOMPARE(f.state(), reported);
        // A replay sends what it keeps once more.
        QCOMPARE(f.evals.size(), 3 + (f.replays.isEmpty() ? 0 : f.pane.interpreted() / 10));
        for (int i = 0; i < 2; ++i)
            QTest::keySequence(&f.view(), QKeySequence::Undo);
        QCOMPARE(f.pane.content(), loaded);
    }

    // An edit inside the evaluated prefix (undo included) retracts to it: the
    // declarations whose tokens stand before it and that the edited text
    // still ends there are replayed into a new interpreter, blue until
    // answered; one at its end keeps them all. The rest is coloured anew.
    void editsAndTheEvaluatedPrefix_data()
    {
        QTest::addColumn<int>("cursor");
        QTest::addColumn<UserEdit>("edit");
        QTest::addColumn<QString>("marks"); // at once; then as answered
        const QString kept = QStringLiteral("green 0-20|green 0-20|");
        QTest::newRow("typing at the end of the prefix keeps it") << 20 << UserEdit(Qt::Key_X) << kept;
        QTest::newRow("Delete at its end keeps it") << 20 << UserEdit(Qt::Key_Delete) << kept;
        QTest::newRow("typing at its start") << 0 << UserEdit(Qt::Key_X) << "||restart 0/0";
        QTest::newRow("typing inside the second") << 14 << UserEdit(Qt::Key_X) << "blue 0-10|green 0-10|restart 1/1";
        QTest::newRow("paste that unmakes the second's starter word") << 12 << UserEdit(QKeySequence::Paste) << "||restart 0/0";
        QTest::newRow("a blank after the second's last token: no replay") << 19 << UserEdit(Qt::Key_Space) << "green 0-19|green 0-19|";
        QTest::newRow("a digit glued to it") << 19 << UserEdit(Qt::Key_0) << "blue 0-10|green 0-10|restart 1/1";
        QTest::newRow("Backspace at its end glues the next") << 20 << UserEdit(Qt::Key_Backspace) << "blue 0-10|green 0-10|restart 1/1";
        QTest::newRow("undo of an edit inside the first") << 30 << UserEdit(QKeySequence::Undo) << "||restart 0/0";
    }
    void editsAndTheEvaluatedPrefix()
    {
        QFETCH(int, cursor);
        QFETCH(UserEdit, edit);
        QFETCH(QString, marks);
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
        const QString atOnce = f.marks();
        f.answerAll();
        QCOMPARE(QStringList({atOnce, f.marks(), f.replays.join(u' ')}).join(u'|'), marks);
        QVERIFY(f.fileChangedCalls > reportsBefore);
        QTRY_VERIFY(f.colouringSettled());
        COLOURED_AFRESH(f, f.pane.interpreted(), f.pane.textStorage().length());
    }

    // Scripts of commands and answers, from nothing evaluated: N Next Step,
    // F Whole File, E/R n Evaluate/Retract to Cursor at n, U Undo Step, x n
    // typing at n, + and - the next answer, * every answer a success. What
    // was sent is told by each declaration's name.
    void commands_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("replays");
        const QString none = QStringLiteral("0 | pending - | error - | loop 0 | ");
        const QString one = QStringLiteral("10 | pending - | error - | loop 0 | green 0-10");
        const QString two = QStringLiteral("20 | pending - | error - | loop 0 | green 0-20");
        const QString all = QStringLiteral("30 | pending - | error - | loop 0 | green 0-30");
        const QString failed = QStringLiteral("10 | pending - | error 10+10 | loop 2 | green 0-10, red 10-20");
        QTest::newRow("to the cursor inside the second, one answer") << "E14 +" << "10 | pending 10+10 | error - | loop 1 | green 0-10, blue 10-20" << "ab" << "";
        QTest::newRow("to the cursor inside the second") << "E14 *" << two << "ab" << "";
        QTest::newRow("to the cursor at the start of the second") << "E10 *" << one << "a" << "";
        QTest::newRow("to the cursor at the start") << "E0 *" << none << "" << "";
        QTest::newRow("to the cursor at the end") << "E30 *" << all << "abc" << "";
        QTest::newRow("reports with nothing pending change nothing") << "+ -" << none << "" << "";
        QTest::newRow("a failure stops the loop") << "F + -" << failed << "ab" << "";
        QTest::newRow("later reports change nothing") << "F + - + -" << failed << "ab" << "";
        QTest::newRow("a step sends it again and the loop goes on") << "F + - N *" << all << "abbc" << "";
        QTest::newRow("nothing more to send") << "F * F E30 N" << all << "abc" << "";
        QTest::newRow("typing at a failure's start drops it") << "N + N - x10" << one << "ab" << "";
        QTest::newRow("typing inside it") << "N + N - x15" << one << "ab" << "";
        QTest::newRow("typing at its end") << "N + N - x20" << one << "ab" << "";
        QTest::newRow("an old failure strips no new mark") << "N + N - x4 N + x15" << "11 | pending - | error - | loop 0 | green 0-11" << "abx" << "restart 0/0";
        QTest::newRow("Undo Step") << "F * U *" << two << "abcab" << "restart 2/2";
        QTest::newRow("Undo Step twice: one replay") << "F * U U *" << one << "abca" << "restart 1/1";
        QTest::newRow("Undo Step past a declaration on its way") << "F * U U U *" << none << "abca" << "restart restart 0/0";
        QTest::newRow("Undo Step after the replay passed it") << "F * U + + U *" << one << "abcaba" << "restart 2/2 restart 1/1";
        QTest::newRow("Retract to Cursor inside the second") << "F * R14 *" << one << "abca" << "restart 1/1";
        QTest::newRow("Retract to Cursor after its last token") << "F * R19 *" << two << "abcab" << "restart 2/2";
        QTest::newRow("Retract to Cursor at the end: nothing") << "F * R30 *" << all << "abc" << "";
        QTest::newRow("to the cursor inside the evaluated second") << "F * E14 *" << two << "abcab" << "restart 2/2";
        QTest::newRow("to the cursor at its start") << "F * E10 *" << one << "abca" << "restart 1/1";
        QTest::newRow("a failure stops the replay") << "F * U + -" << "10 | pending - | error 10+10 | loop 0 | green 0-10, red 10-20" << "abcab" << "restart 1/2";
        QTest::newRow("Whole File during a replay goes on after it") << "F * U F *" << all << "abcabc" << "restart 2/2";
        QTest::newRow("typing after the replayed part meanwhile") << "F * U x25 *" << two << "abcab" << "restart 2/2";
        QTest::newRow("typing inside it meanwhile") << "F * U x15 *" << one << "abca" << "restart 1/1";
    }
    void commands()
    {
        QFETCH(QString, script);
        QFETCH(QString, state);
        QFETCH(QString, sent);
        QFETCH(QString, replays);
        Fixture f;
        for (const QString &command : script.split(u' ')) {
            if (command.size() > 1)
                select(f.view(), command.mid(1).toInt());
            switch (command[0].unicode()) {
            case 'N': f.pane.evalNextStep(); break;
            case 'F': f.pane.evalFile(); break;
            case 'E': f.pane.evalToCursor(); break;
            case 'U': f.pane.undoStep(); break;
            case 'R': f.pane.retractToCursor(); break;
            case 'x': QTest::keyClick(&f.view(), Qt::Key_X); break;
            case '*': f.answerAll(); break;
            default: f.pane.setLastCommitSuccess(command == u"+");
            }
        }
        QCOMPARE(f.state(), state);
        QCOMPARE(std::accumulate(f.evals.cbegin(), f.evals.cend(), QString(), [](const QString &names, const QString &text) { return names + text.at(4); }), sent);
        QCOMPARE(f.replays.join(u' '), replays);
    }

    // Each declaration goes out before the one answered before it is marked;
    // one that fails as it is sent ends up red, never blue.
    void sendsBeforeMarking()
    {
        Fixture f;
        QStringList marksAtEachSend;
        f.onEval = [&f, &marksAtEachSend] {
            marksAtEachSend.append(f.marks());
            if (marksAtEachSend.size() == 3)
                f.pane.setLastCommitSuccess(false);
        };
        f.pane.evalFile();
        f.answerAll();
        QCOMPARE(marksAtEachSend, (QStringList{"", "blue 0-10", "green 0-10, blue 10-20"}));
        QCOMPARE(f.state(), QStringLiteral("20 | pending - | error 20+10 | loop 2 | green 0-20, red 20-30"));
    }


    void enterIndentsLikeTheLastLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("expected");
        const QString tabbed = QStringLiteral("val a =\n  1\nval x =\t1\t(* c *)");
        QTest::newRow("two tabs, cursor at the end") << tabbed << int(tabbed.size()) << tabbed + "\n\t\t";
        QTest::newRow("tabs only on an earlier line") << "\t\tval a = 1\nval b = 2" << 0 << "\n\t\tval a = 1\nval b = 2";
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
        QTest::newRow("first line") << text << qint64(1) << 0 << 2;
        QTest::newRow("empty line after the final line feed") << text << qint64(3) << 6 << 6;
        QTest::newRow("beyond the last line") << text << qint64(4) << -1 << 0;
        QTest::newRow("line separator ends a line") << "ab\u2028cd" << qint64(2) << 3 << 5;
        QTest::newRow("no-break space does not") << "a\u00a0b\ncd" << qint64(2) << 4 << 6;
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
        select(f.view(), 4, 5); // a selection of one line is what to find
        f.pane.performFindPanel();
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->searchField()->text(), QStringLiteral("a"));
        bar->searchField()->clear();
        select(f.view(), 0);
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

    // A warning on each of the first two declarations, accepted, and an
    // error on the third, rejected: an edit in an evaluated declaration
    // retracts it and those after it, with their messages (the replay keeps
    // the others'); one before the rejected one moves its message, one in it
    // drops it; what is drawn is what is kept.
    void messages_data()
    {
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("removed");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("waves");
        QTest::newRow("no edit") << 0 << 0 << "" << "warning 4-5, warning 14-15, error 28-29";
        QTest::newRow("typing in the first") << 0 << 0 << "x" << "";
        QTest::newRow("typing in the second") << 18 << 0 << "x" << "warning 4-5";
        QTest::newRow("typing before the third") << 20 << 0 << "xy" << "warning 4-5, warning 14-15, error 30-31";
        QTest::newRow("deleting in the third") << 27 << 2 << "" << "warning 4-5, warning 14-15";
        QTest::newRow("typing after all") << 30 << 0 << "x" << "warning 4-5, warning 14-15, error 28-29";
    }
    void messages()
    {
        QFETCH(int, at);
        QFETCH(int, removed);
        QFETCH(QString, typed);
        Fixture f;
        for (const auto &[warning, from] : {std::pair(true, 4), std::pair(true, 4), std::pair(false, 8)}) {
            f.pane.evalNextStep();
            f.pane.showMessages({{warning, QStringLiteral("m"), true, from, from + 1, 0, 3}});
            f.pane.setLastCommitSuccess(warning);
        }
        select(f.view(), at, at + removed);
        if (removed > 0)
            QTest::keyClick(&f.view(), Qt::Key_Delete);
        QTest::keyClicks(&f.view(), typed);
        const auto describe = [&](auto list, auto isWarning, auto from, auto to) {
            QStringList parts;
            for (const auto &item : list)
                parts.append(QStringLiteral("%1 %2-%3").arg(isWarning(item) ? "warning" : "error").arg(from(item)).arg(to(item)));
            return parts.join(QStringLiteral(", "));
        };
        const QString drawn = describe(
            f.view().extraSelections(),
            [&](const QTextEdit::ExtraSelection &s) { return s.format.underlineColor() != toQColor(*testStyles().errColor); },
            [](const auto &s) { return s.cursor.selectionStart(); }, [](const auto &s) { return s.cursor.selectionEnd(); });
        QTEST(drawn, "waves");
        QCOMPARE(describe(f.pane.messages(), [](const auto &m) { return m.warning; },
                          [](const auto &m) { return m.range.location; },
                          [](const auto &m) { return m.range.location + m.range.length; }),
                 drawn);
    }

    // Next and previous go round the places; the console's message leads to
    // its place; the tip names what is under the pointer; a new try of the
    // declaration, and a reset, drop its messages.
    void reachingMessages()
    {
        Fixture f;
        f.step(true);
        f.pane.evalNextStep();
        f.pane.showMessages({{true, QStringLiteral("first"), true, 4, 9, 0, 10}, {false, QStringLiteral("second"), true, 8, 9, 10, 20}});
        f.pane.setLastCommitSuccess(false);
        QList<qsizetype> visited;
        for (const bool forward : {true, true, true, false, false})
            visited.append(qsizetype(f.pane.goToMessage(forward)->range.location));
        QCOMPARE(visited, (QList<qsizetype>{14, 18, 14, 18, 14}));
        QCOMPARE(f.pane.revealMessage(15)->text, QStringLiteral("second"));
        QCOMPARE(f.view().textCursor().position(), 18);
        QVERIFY(!f.pane.revealMessage(20));
        const auto tipAt = [&](int position) {
            QTextCursor cursor(f.view().document());
            cursor.setPosition(position);
            const QPoint point = f.view().cursorRect(cursor).center() + QPoint(2, 0);
            QHelpEvent help(QEvent::ToolTip, point, f.view().viewport()->mapToGlobal(point));
            QApplication::sendEvent(f.view().viewport(), &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QVERIFY(tipAt(14).contains(QStringLiteral("first")) && !tipAt(14).contains(QStringLiteral("second")));
        QVERIFY(tipAt(18).contains(QStringLiteral("second")) && tipAt(18).contains(QStringLiteral("first")));
        tipAt(11);
        QTRY_VERIFY(!QToolTip::isVisible());
        f.pane.evalNextStep();
        QVERIFY(f.pane.messages().empty() && f.view().extraSelections().isEmpty());
        f.pane.showMessages({{false, QStringLiteral("again"), true, 8, 9, 0, 10}});
        f.pane.resetEvaluated();
        QVERIFY(f.pane.messages().empty() && f.view().extraSelections().isEmpty());
    }
};

QTEST_MAIN(TestEditorPane)
#include "tst_editorpane.moc"
