#include "../highlight/highlighttestsupport.h"
#include "../highlight/viewtestsupport.h"
#include "editor/OLEditorViewController.h"
#include "editor/OLEditorWindow.h"
#include "highlight/OLQtColor.h"

#include <QClipboard>

#include <algorithm>

namespace {
using SH = OLSyntaxHighlighter;

// Three declarations of ten units each: [0, 10), [10, 20), [20, 30); and texts a script loads.
const QString threeDeclarations = QStringLiteral("val a = 1\nval b = 2\nval c = 3\n");
const QString loadable[] = {QStringLiteral("val a = 1\nval b = 2\n\tval\u00a0c = 3\n"), QStringLiteral("val a = 1\nval b = 22\n"), QStringLiteral("val")};

// A shown pane, with the fixture standing in for its document window.
struct Fixture : OLEditorWindow {
    explicit Fixture(const QString &text = threeDeclarations)
    {
        pane.setWindowController(this);
        pane.setFontAttributes(testStyles());
        pane.setContent(text);
        pane.resize(640, 400);
        pane.show();
        QGuiApplication::clipboard()->setText(QStringLiteral("P"));
    }
    void eval(const QString &text, qint32 from) override
    {
        evals += from == 0 ? text.at(4) : u'?'; // the editor's committer number; each declaration's name
        if (failingSend > 0) {
            atSends += state();
            if (--failingSend == 0)
                pane.setLastCommitSuccess(false); // as a session reports a failure while the text is sent
        }
    }
    bool fileChanged() override { return ++fileChangedCalls; }
    void restartForReplay() override { replays.append(QStringLiteral("restart")); }
    void replayEnded(qsizetype replayed, qsizetype kept) override { replays.append(QStringLiteral("%1/%2").arg(replayed).arg(kept)); }

    OLTextView &view() { return *pane.textView(); }
    // The evaluation state, e.g. "10 p10+10 L1 g0-10 b10-20": interpreted, pending, error, loop, marks.
    QString state() const
    {
        const OLTextStorage &s = pane.textStorage();
        QString out = QString::number(pane.interpreted());
        for (const auto &[name, r] : {std::pair(" p", pane.pending()), std::pair(" e", pane.error())})
            out += r.isSet() ? QStringLiteral("%1%2+%3").arg(name).arg(r.location).arg(r.length) : QString();
        out += pane.inLoop() ? QStringLiteral(" L%1").arg(pane.inLoop()) : QString();
        for (qsizetype start = 0, i = 1; start < s.length(); ++i) {
            if (i < s.length() && s.backgroundColorAt(i) == s.backgroundColorAt(start))
                continue;
            if (const auto c = s.backgroundColorAt(start))
                out += QStringLiteral(" %1%2-%3").arg(c == SH::lightGreen() ? 'g' : c == SH::lightBlue() ? 'b' : c == SH::lightRed() ? 'r' : '?').arg(start).arg(i);
            start = i;
        }
        return out;
    }
    // The waves drawn, e.g. "w4-5 e28-29", and the messages kept where they differ.
    QString waves()
    {
        QStringList drawn, kept;
        for (const QTextEdit::ExtraSelection &s : view().extraSelections())
            drawn += QStringLiteral("%1%2-%3").arg(s.format.underlineColor() == toQColor(*testStyles().errColor) ? 'e' : 'w').arg(s.cursor.selectionStart()).arg(s.cursor.selectionEnd());
        for (const auto &m : pane.messages())
            kept += QStringLiteral("%1%2-%3").arg(m.warning ? 'w' : 'e').arg(m.range.location).arg(m.range.location + m.range.length);
        return drawn.join(u' ') + (kept == drawn ? QString() : QStringLiteral(" (kept %1)").arg(kept.join(u' ')));
    }

    // Runs a script and tells what came of it. Steps, each with its place
    // ("14", "3-7", "$" the end) where it has one: N Next Step, F Whole File,
    // E/R Evaluate/Retract to Cursor, U Undo Step, + and - the next answer,
    // * every answer a success, W/X n a warning/error on [n, n+1) of the
    // pending declaration, L i a loaded text, Z a reset, S new styles
    // (translucent), K n the nth send from now failing at once (the state at
    // each send told), = the state so far;
    // edits: x typing, < Backspace, > Delete, _ space, 0 a digit, / Enter,
    // v paste, u undo.
    QString run(const QString &script)
    {
        QStringList out;
        QString baseline = pane.content();
        for (const QString &step : script.split(u' ', Qt::SkipEmptyParts)) {
            const QString arg = step.mid(1);
            const int changes = fileChangedCalls;
            const QString before = pane.content();
            if (!arg.isEmpty() && !QStringLiteral("WXLK").contains(step[0])) {
                const QStringList ends = arg.split(u'-');
                const auto at = [&](const QString &n) { return n == u"$" ? int(pane.content().size()) : n.toInt(); };
                select(view(), at(ends.first()), at(ends.last()));
            }
            static const QHash<QChar, UserEdit> edits{{u'x', Qt::Key_X}, {u'<', Qt::Key_Backspace}, {u'>', Qt::Key_Delete}, {u'_', Qt::Key_Space},
                {u'0', Qt::Key_0}, {u'/', Qt::Key_Return}, {u'v', QKeySequence::Paste}, {u'u', QKeySequence::Undo}};
            switch (step[0].unicode()) {
            case 'N': pane.evalNextStep(); break;
            case 'F': pane.evalFile(); break;
            case 'E': pane.evalToCursor(); break;
            case 'U': pane.undoStep(); break;
            case 'R': pane.retractToCursor(); break;
            case '*': for (int i = 0; pane.pending().isSet() && i < 100; ++i) pane.setLastCommitSuccess(true); break;
            case '+': case '-': pane.setLastCommitSuccess(step == u"+"); break;
            case 'W': case 'X': pane.showMessages({{step[0] == u'W', QStringLiteral("m"), true, arg.toInt(), arg.toInt() + 1, 0, 3}}); break;
            case 'L': pane.setContent(baseline = loadable[arg.toInt()]); break;
            case 'Z': pane.resetEvaluated(); break;
            case 'K': failingSend = arg.toInt(); break;
            case 'S': pane.setFontAttributes(styles = testStyles(0.5)); break;
            case '=': out += QStringLiteral("= ") + state(); break;
            default:
                if (!edits.contains(step[0]) || !edits[step[0]].apply(view()))
                    out += QStringLiteral("no ") + step;
                if (pane.content() != before && fileChangedCalls == changes)
                    out += QStringLiteral("unreported ") + step;
            }
        }
        out += state();
        const QString now = pane.content();
        const qsizetype p = std::mismatch(now.begin(), now.end(), baseline.begin(), baseline.end()).first - now.begin();
        const qsizetype s = std::mismatch(now.rbegin(), now.rend() - p, baseline.rbegin(), baseline.rend() - p).first - now.rbegin();
        const QString removed = baseline.mid(p, baseline.size() - p - s), inserted = now.mid(p, now.size() - p - s);
        if (now != baseline)
            out += QStringLiteral("text %1").arg(p) + (removed.isEmpty() ? QString() : u'-' + removed) + (inserted.isEmpty() ? QString() : u'+' + inserted);
        for (const QString &part : {evals.isEmpty() ? QString() : QStringLiteral("sent ") + evals, replays.join(u' '), waves(), atSends.join(u',')})
            if (!part.isEmpty())
                out += part;
        if (view().toPlainText() != QString(now).replace(QChar(0xa0), u' ')) // as the view gives it
            out += QStringLiteral("view differs");
        // The text is coloured as a fresh colouring of it colours it.
        if (!QTest::qWaitFor([this] { return !SH::hasPendingHighlight(pane.textStorage()); }) || colourLetters(pane.textStorage()) != plainColours(now, 0, styles))
            out += QStringLiteral("coloured wrong");
        return out.join(QStringLiteral(" | "));
    }

    OLEditorViewController pane;
    OLStyleSet styles = testStyles();
    QString evals;
    QStringList replays; // "restart", and "replayed/kept" at the end of each
    int failingSend = 0; // counts the sends down to one that fails at once
    QStringList atSends; // the state as each declaration is sent, while counting
    int fileChangedCalls = 0;
};

struct Row {
    const char *name, *script, *expected, *text = nullptr;
};
} // namespace
Q_DECLARE_METATYPE(Row)

class TestEditorPane : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scripts_data()
    {
        QTest::addColumn<Row>("row");
        const Row rows[] = {
            // Every way of editing, anywhere, is refused while a declaration is pending (undo reaching the "x" at 30; typing in the rows below).
            {"refused while pending: undo", "x30 x0 u N u31", "0 p0+10 b0-10 | text 30+x | sent a"},
            // A new text while a running evaluation's step is pending keeps what it begins with, retracts to where it differs otherwise;
            // a reset drops all. The evaluation stops; edits wait for the answer (a replay aside); undo stays within the new text.
            {"new text that begins with both", "N + F N L0 = x$ + u u", "= 10 p10+10 g0-10 b10-20 | 20 g0-20 | sent abb"},
            {"new text whose pending declaration changed", "N + F N L1 = x$ + u u", "= 0 p0+10 b0-10 | 10 g0-10 | sent abba | restart 1/1"},
            {"new text shorter than the evaluated prefix", "N + F N L2 = x$ + u u", "= 0 | 0 | sent abb | restart 0/0"},
            {"reset", "N + F N Z = x$ + u u", "= 0 | 0 | sent abb"},
            // An edit inside the evaluated prefix (undo included) retracts to it: the declarations whose tokens stand before it and that
            // the edited text still ends there are replayed into a new interpreter, blue until answered; one at its end keeps them all.
            {"typing at the end of the prefix keeps it", "x5 >5-6 N + N + x20 = *", "= 20 g0-20 | 20 g0-20 | text 20+x | sent ab"},
            {"paste that unmakes the second's starter word", "x5 >5-6 N + N + v12 = *", "= 0 | 0 | text 12+P | sent ab | restart 0/0"},
            {"a blank after the second's last token: no replay", "x5 >5-6 N + N + _19 = *", "= 19 g0-19 | 19 g0-19 | text 19+  | sent ab"},
            {"a digit glued to it", "x5 >5-6 N + N + 019 = *", "= 0 p0+10 b0-10 | 10 g0-10 | text 19+0 | sent aba | restart 1/1"},
            {"Backspace at its end glues the next", "x5 >5-6 N + N + <20 = *", "= 0 p0+10 b0-10 | 10 g0-10 | text 19-\n | sent aba | restart 1/1"},
            {"undo of an edit inside the first", "x5 >5-6 N + N + u30 = *", "= 0 | 0 | text 5+x | sent ab | restart 0/0"},
            // Commands and answers from nothing evaluated.
            {"to the cursor inside the second, one answer", "E14 +", "10 p10+10 L1 g0-10 b10-20 | sent ab"},
            {"to the cursor at the start of the second", "E10 *", "10 g0-10 | sent a"},
            {"new styles keep the marks and recolour all", "N + N - S", "10 e10+10 g0-10 r10-20 | sent ab"},
            // Each declaration goes out before the one answered before it is marked; one that fails as it is sent ends up red, never blue.
            {"sent before marking; a failure as it is sent", "K3 F *", "20 e20+10 L2 g0-20 r20-30 | sent abc | 0 p0+10 L2,10 p10+10 L2 b0-10,20 p20+10 L2 g0-10 b10-20"},
            {"a failure stops the loop; later reports change nothing", "F + - + -", "10 e10+10 L2 g0-10 r10-20 | sent ab"},
            {"a step sends it again and the loop goes on", "F + - N *", "30 g0-30 | sent abbc"},
            {"nothing more to send", "F * F E30 N", "30 g0-30 | sent abc"},
            {"typing at a failure's start drops it", "N + N - x10", "10 g0-10 | text 10+x | sent ab"},
            {"typing at its end", "N + N - x20", "10 g0-10 | text 20+x | sent ab"},
            {"an old failure strips no new mark", "N + N - x4 N + x15", "11 g0-11 | text 4-a = 1\nval +xa = 1\nval x | sent abx | restart 0/0"},
            {"Undo Step", "F * U *", "20 g0-20 | sent abcab | restart 2/2"},
            {"Undo Step twice: one replay", "F * U U *", "10 g0-10 | sent abca | restart 1/1"},
            {"Undo Step past a declaration on its way", "F * U U U *", "0 | sent abca | restart restart 0/0"},
            {"Undo Step after the replay passed it", "F * U + + U *", "10 g0-10 | sent abcaba | restart 2/2 restart 1/1"},
            {"Retract to Cursor inside the second", "F * R14 *", "10 g0-10 | sent abca | restart 1/1"},
            {"Retract to Cursor after its last token", "F * R19 *", "20 g0-20 | sent abcab | restart 2/2"},
            {"Retract to Cursor at the end: nothing", "F * R30 *", "30 g0-30 | sent abc"},
            {"to the cursor inside the evaluated second", "F * E14 *", "20 g0-20 | sent abcab | restart 2/2"},
            {"a failure stops the replay", "F * U + -", "10 e10+10 g0-10 r10-20 | sent abcab | restart 1/2"},
            {"Whole File during a replay goes on after it", "F * U F *", "30 g0-30 | sent abcabc | restart 2/2"},
            {"typing after the replayed part meanwhile", "F * U x25 *", "20 g0-20 | text 25+x | sent abcab | restart 2/2"},
            {"typing inside it meanwhile", "F * U x15 *", "10 g0-10 | text 15+x | sent abca | restart 1/1"},
            // Warnings on the first two declarations, an error on the rejected third: an edit in an evaluated declaration retracts it
            // and those after it, with their messages (the replay keeps the others'); one before the third moves its message, one in it drops it.
            {"messages, typing in the first", "N W4 + N W4 + N X8 - x0", "0 | text 0+x | sent abc | restart 0/0"},
            {"messages, typing in the second", "N W4 + N W4 + N X8 - x18", "0 p0+10 b0-10 | text 18+x | sent abca | restart | w4-5"},
            {"messages, typing before the third", "N W4 + N W4 + N X8 - x20 x", "20 g0-20 | text 20+xx | sent abc | w4-5 w14-15 e30-31"},
            {"messages, deleting in the third", "N W4 + N W4 + N X8 - >27-29", "20 g0-20 | text 27- 3 | sent abc | w4-5 w14-15"},
            {"messages, typing after all", "N W4 + N W4 + N X8 - x30", "20 g0-20 | text 30+x | sent abc | w4-5 w14-15 e28-29"},
            // Enter indents as the line before it, tabs only.
            {"Enter after two tabs", "/$", "0 | text 29+\n\t\t", "val a =\n  1\nval x =\t1\t(* c *)"},
        };
        for (const Row &row : rows)
            QTest::newRow(row.name) << row;
    }
    void scripts()
    {
        QFETCH(Row, row);
        Fixture f(row.text ? QString::fromUtf8(row.text) : threeDeclarations);
        QCOMPARE(f.run(QString::fromUtf8(row.script)), QString::fromUtf8(row.expected));
    }

    // Next and previous go round the places; the console's message leads to
    // its place; a new try of the declaration drops its messages.
    void reachingMessages()
    {
        Fixture f;
        f.run(QStringLiteral("N + N"));
        f.pane.showMessages({{true, QStringLiteral("first"), true, 4, 9, 0, 10}, {false, QStringLiteral("second"), true, 8, 9, 10, 20}});
        f.pane.setLastCommitSuccess(false);
        QList<qsizetype> visited;
        for (const bool forward : {true, true, true, false, false})
            visited.append(qsizetype(f.pane.goToMessage(forward)->range.location));
        QCOMPARE(visited, (QList<qsizetype>{14, 18, 14, 18, 14}));
        QCOMPARE(f.pane.revealMessage(15)->text, QStringLiteral("second"));
        QVERIFY(f.view().textCursor().position() == 18 && !f.pane.revealMessage(20));
        QCOMPARE(f.run(QStringLiteral("N")), QStringLiteral("10 p10+10 e10+10 g0-10 b10-20 | sent abb"));
    }
};

QTEST_MAIN(TestEditorPane)
#include "tst_editorpane.moc"
