#include "../highlight/highlighttestsupport.h"
#include "../highlight/viewtestsupport.h"
#include "../settings/settingstestsupport.h"
#include "console/OLConsoleWindow.h"
#include "console/OLInterpreterViewController.h"
#include "highlight/OLSoftBreaks.h"

#include <QClipboard>
#include <QLoggingCategory>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTextBlock>

#include <memory>
#include <utility>

namespace {
using Range = OLInterpreterViewController::Range;
const QString trimNote = QStringLiteral("(* earlier output trimmed *)\n");
struct Row {
    const char *name, *script, *expected;
};
} // namespace
Q_DECLARE_METATYPE(Row)

// A shown console pane over temporary settings; the test stands in for its
// document window and records what the console commits.
class TestInterpreterViewController : public QObject, public OLConsoleWindow
{
    Q_OBJECT

    std::unique_ptr<TempSettings> m_settings;
    std::unique_ptr<OLInterpreterViewController> m_pane;
    QStringList m_commits;
    QList<qint64> m_activated;
    QStringList m_pieces; // the output given since the last clearing, errors after "!"

    void eval(const QString &text, qint32 from) override { m_commits.append(from == 1 ? text : QStringLiteral("from %1").arg(from)); }
    bool activateOutput(qint64 shown) override
    {
        m_activated.append(shown);
        return true;
    }
    bool showsOutputOnRequest() const override { return true; }
    OLUserDefaults &defaults() { return m_settings->defaults; }
    void openPane()
    {
        m_pane = std::make_unique<OLInterpreterViewController>(defaults());
        m_pane->setWindowController(this);
        m_pane->setFontAttributes(defaults().loadFontAttributes(true), true);
        m_pane->setFontAttributes(defaults().loadFontAttributes(false), false);
        m_pane->resize(500, 300);
        m_pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pane.get()));
    }
    OLTextView &view() const { return *m_pane->textView(); }
    QString text() const { return view().toPlainText(); }
    std::optional<OLColor> colourAt(qsizetype pos) const { return m_pane->textStorage().foregroundColorAt(pos); }
    // An output piece, an error when it starts with "!".
    void give(const QString &piece)
    {
        m_pieces.append(piece);
        piece.startsWith(u'!') ? m_pane->appendError(piece.mid(1)) : m_pane->appendAnswer(piece);
    }
    // Output pieces; true once all of them are in the text.
    bool append(const QStringList &pieces)
    {
        for (const QString &piece : pieces)
            give(piece);
        return outputIn();
    }
    bool outputIn() const
    {
        return QTest::qWaitFor([&] { return m_pane->answerRanges().size() + m_pane->errorRanges().size() == m_pieces.size() && m_pane->queuedOutputLength() == 0; });
    }
    // The answer and error ranges in text order, whether an error beside each.
    std::vector<std::pair<Range, bool>> ranges() const
    {
        std::vector<std::pair<Range, bool>> all;
        for (const bool error : {false, true})
            for (const Range &r : error ? m_pane->errorRanges() : m_pane->answerRanges())
                all.emplace_back(r, error);
        std::stable_sort(all.begin(), all.end(), [](const auto &a, const auto &b) { return a.first.location < b.first.location; });
        return all;
    }
    // Runs a script of steps parted by "|": t typing (a line feed as Enter),
    // o output, ! error output (pieces in a row arrive in one frame), @n or
    // @n,m a selection from the start ("$" the end, negative from the end),
    // < Backspace, > Delete, v paste, i an input method's text, u the context
    // menu's undo, L Left, U Up, D Down, c Clear Console, k a double click,
    // =n the history's maximum n, Rn a new pane over the stored history 1 to
    // 10 with the maximum n. Tells the text with "#" where the fixed
    // part ends, "^" at the cursor and "~" at the selection's anchor; then
    // the commits and the units of output activated; and where the ranges,
    // the history or the input's colours are not what the steps gave.
    QString run(const QString &script)
    {
        for (const QString &step : script.split(u'|', Qt::SkipEmptyParts)) {
            const QChar c = step[0];
            const QString arg = step.mid(1);
            if (c != u'o' && c != u'!')
                outputIn();
            const auto at = [&](const QString &n) { return n == u"$" ? int(text().size()) : n.toInt() < 0 ? int(text().size()) + n.toInt() : n.toInt(); };
            static const QHash<QChar, UserEdit> edits{{u'<', Qt::Key_Backspace}, {u'>', Qt::Key_Delete}, {u'v', QKeySequence::Paste}, {u'i', "input method"},
                {u'u', "edit-undo"}, {u'L', Qt::Key_Left}, {u'U', Qt::Key_Up}, {u'D', Qt::Key_Down}};
            switch (c.unicode()) {
            case 't':
                for (qsizetype i = 0; const QString &line : arg.split(u'\n')) {
                    if (i++)
                        QTest::keyClick(&view(), Qt::Key_Return);
                    QTest::keyClicks(&view(), line);
                }
                break;
            case 'o': case '!': give(c == u'o' ? arg : step); break;
            case '@': select(view(), at(arg.section(u',', 0, 0)), at(arg.section(u',', -1))); break;
            case 'c':
                m_pane->clearFixed();
                m_pieces.clear();
                break;
            case 'k': QTest::mouseDClick(view().viewport(), Qt::LeftButton, {}, view().cursorRect().center()); break;
            case 'R':
                defaults().saveShouldRestoreCommitHistory(true);
                defaults().saveCommitHistory(QStringLiteral("1 2 3 4 5 6 7 8 9 10").split(u' '));
                defaults().saveMaximumCommitHistoryLength(arg.toLongLong());
                openPane();
                break;
            case '=': defaults().saveMaximumCommitHistoryLength(arg.toLongLong()); break;
            default:
                if (!edits.contains(c) || !edits[c].apply(view()))
                    return QStringLiteral("no step ") + step;
            }
        }
        outputIn();
        QString marked = text();
        const QTextCursor cursor = view().textCursor();
        std::vector<std::pair<qsizetype, QChar>> marks{{cursor.position(), u'^'}, {cursor.anchor(), u'~'}, {m_pane->fixedLength(), u'#'}};
        if (!cursor.hasSelection())
            marks.erase(marks.begin() + 1);
        std::stable_sort(marks.begin(), marks.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
        for (const auto &[where, mark] : marks)
            marked.insert(where, mark);
        QStringList out{marked};
        if (!m_commits.isEmpty())
            out += QStringLiteral("sent ") + m_commits.join(u',');
        for (const qint64 unit : std::as_const(m_activated))
            out += QStringLiteral("unit %1").arg(unit);
        if (m_pane->history().createArray() != m_commits)
            out += QStringLiteral("history ") + m_pane->history().createArray().join(u',');
        // The ranges hold the pieces, in order, errors apart.
        QStringList pieces;
        for (const auto &[r, error] : ranges())
            pieces += (error ? QStringLiteral("!") : QString()) + text().mid(r.location, r.length);
        if (pieces != m_pieces)
            out += QStringLiteral("ranges ") + pieces.join(u',');
        const QString input = text().mid(m_pane->fixedLength());
        if (colourLetters(m_pane->textStorage(), m_pane->fixedLength()) != plainColours(input, 0, m_pane->fontAttributes()))
            out += QStringLiteral("input coloured as ") + colourLetters(m_pane->textStorage(), m_pane->fixedLength());
        return out.join(QStringLiteral(" | "));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLoggingCategory::setFilterRules(QStringLiteral("ostrel.history.debug=false"));
    }
    void init()
    {
        m_pane.reset(); // before the settings it reads
        m_settings = std::make_unique<TempSettings>();
        defaults().registerDefaultPreferences();
        m_commits.clear();
        m_activated.clear();
        m_pieces.clear();
        openPane();
        QGuiApplication::clipboard()->setText(QStringLiteral("P"));
    }

    void scripts_data()
    {
        QTest::addColumn<Row>("row");
        const Row rows[] = {
            // Enter commits the input only when it ends in ";" (blanks aside) and the cursor is at the end; otherwise it breaks the line, keeping the tabs.
            {"trailing blanks are tested trimmed and sent as typed", "t  x;  \n", "  x;  \n#^ | sent   x;  "},
            {"multi-line input is sent whole", "t1 +\n2;\n", "1 +\n2;\n#^ | sent 1 +\n2;"},
            {"cursor not at the end: a line break there", "tx;|L|t\n", "#x\n^;"},
            {"tabs anywhere in the line count", "ta\tb\t\n", "#a\tb\t\n\t\t^"},
            // Edits in the fixed part: refused, or made at the end of the input.
            {"Backspace at the start of the input is refused", "oval it = 1 : int\n|txy|@17|<", "val it = 1 : int\n#^xy"},
            {"typing in the fixed part goes to the end of the input", "oval it = 1 : int\n|txy|@14|tz", "val it = 1 : int\n#xyz^"},
            {"pasting in the fixed part goes to the end of the input", "oval it = 1 : int\n|txy|@14|v", "val it = 1 : int\n#xyP^"},
            {"an input method's text, too", "oval it = 1 : int\n|txy|@14|i", "val it = 1 : int\n#xyé^"},
            {"undo of output is refused", "oval it = 1 : int\n|txy|@19|u", "val it = 1 : int\n#xy^"},
            // Output lands at the end of the fixed part, wherever the selection is, pieces of one frame in one update; input stays below it.
            {"selection in the fixed part stays", "ofirst line\n|tabc|@0,5|omore\n|!worse\n|o|o\"b", "~first^ line\nmore\nworse\n\"b#abc"},
            {"cursor inside the input goes with it", "ofirst line\n|tabc|@12|omore\n|!worse\n|o|o\"b", "first line\nmore\nworse\n\"b#a^bc"},
            {"selection from the fixed part into the input", "ofirst line\n|tabc|@3,13|omore\n|!worse\n|o|o\"b", "fir~st line\nmore\nworse\n\"b#ab^c"},
            {"selection to the end of the fixed part does not grow", "ofirst line\n|@3,11|omore\n|!worse\n|o|o\"b", "fir~st line\n^more\nworse\n\"b#"},
            {"input of two lines after output without a line end", "ofirst line\n|tx = 1\n  \"s\"|@14|omore\n|!worse\n|o|o\"b", "first line\nmore\nworse\n\"b#x =^ 1\n  \"s\""},
            // The history: Up on the input's first line and Down on its last walk it, elsewhere they move the cursor. Typing into a recalled
            // input ends the walk, and the next one saves the edited input; output ends it too, the recalled input staying as input.
            {"Down on the first line of two moves to the second", "ta;\n|tb;\n|tc;\n|tp\nq|@9|D", "a;\nb;\nc;\n#p\n^q | sent a;,b;,c;"},
            {"Up in the fixed part moves there", "ta;\n|tb;\n|tc;\n|tx|@4|U", "a^;\nb;\nc;\n#x | sent a;,b;,c;"},
            {"typing ends the walk; the next saves the edit", "ta;\n|tb;\n|tc;\n|U|t!|U|U|D|D", "a;\nb;\nc;\n#c;!^ | sent a;,b;,c;"},
            {"output ends the walk, the recalled input kept", "ta;\n|tb;\n|tc;\n|U|U|ook\n|D", "a;\nb;\nc;\nok\n#b;^ | sent a;,b;,c;"},
            // Up stops at the oldest, Down past the newest brings the input back; the history keeps the maximum
            // (a lowered one lets it grow); a restored one keeps the newest stored.
            {"back to the oldest, forward past the newest, back again", "ta;\n|tb;\n|tc;\n|tx|U|U|U|U|D|D|D|D|U", "a;\nb;\nc;\n#c;^ | sent a;,b;,c;"},
            {"a full history drops the oldest", "=3|ta;\n|tb;\n|tc;\n|td;\n", "a;\nb;\nc;\nd;\n#^ | sent a;,b;,c;,d; | history b;,c;,d;"},
            {"a lowered maximum lets the history grow", "ta;\n|tb;\n|tc;\n|=2|td;\n", "a;\nb;\nc;\nd;\n#^ | sent a;,b;,c;,d;"},
            {"restored: the newest of those stored", "R4|U|U|t;\n", "9;\n#^ | sent 9; | history 8,9,10,9;"},
            {"restored: a negative maximum keeps all", "R-1|t1;\n", "1;\n#^ | sent 1; | history 1,2,3,4,5,6,7,8,9,10,1;"},
            // A double click on output, or Enter with the cursor on it, tells which unit of the output it is; on a commit or in the input, nothing.
            {"activating output", "oone\n|!two\n|tx;\n|othree\n|ty|@5|k|@9|k|@12|k|@18|k|@12|t\n", "one\ntwo\nx;\nt^hree\n#y | sent x; | unit 5 | unit 9 | unit 9"},
            // Clear Console takes the fixed part and its ranges; the input, the cursor in it and the history stay, and output goes on before the input.
            {"Clear Console", "ta;\n|oval it = 1 : int\n|!Error: x\n|tb + 1|@-2|c|oval it = 2 : int\n", "val it = 2 : int\n#b +^ 1 | sent a;"},
        };
        for (const Row &row : rows)
            QTest::newRow(row.name) << row;
    }
    void scripts()
    {
        QFETCH(Row, row);
        QCOMPARE(run(QString::fromUtf8(row.script)), QString::fromUtf8(row.expected));
    }

    // Each piece is coloured as the text that ended with it, also when
    // several go in at once: a word or string cut between pieces is not
    // joined up. Answers take the traits configured for them, errors theirs,
    // on adding and on recolouring, which keeps every range's colours; the
    // input's style set clears every trait.
    void coloursAndTraits()
    {
        defaults().saveAnswerFontTraits(OLFontTrait::bold);
        defaults().saveErrorFontTraits(OLFontTrait::italic);
        const QStringList pieces{"va", "l s = \"abc", "def\" : string\n", "val t = 1\n"};
        QVERIFY(append(pieces + QStringList{"!Error: unbound x\n"}));
        QCOMPARE(run(QStringLiteral("tval y = 1;\n|oval y = 1 : int\n")).section(QStringLiteral(" | "), 1), QStringLiteral("sent val y = 1;"));
        const OLStyleSet styles = defaults().loadFontAttributes(false);
        QCOMPARE(colourAt(text().indexOf(u"Error")), styles.errColor);
        for (qsizetype at = 0; const QString &piece : pieces) { // "va" is no keyword, the string ends with its piece
            QCOMPARE(colourLetters(m_pane->textStorage(), at, at + piece.size()), plainColours(piece, 0, styles));
            at += piece.size();
        }
        const QString before = colourLetters(m_pane->textStorage());
        QList<quint32> traits;
        const auto noteTraits = [&] { traits << m_pane->textStorage().fontTraitsAt(3) << m_pane->textStorage().fontTraitsAt(text().indexOf(u"Error")); };
        noteTraits();
        m_pane->setFontAttributes(styles, false);
        QCOMPARE(colourLetters(m_pane->textStorage()), before);
        noteTraits();
        const OLStyleSet input = defaults().loadFontAttributes(true);
        m_pane->setFontAttributes(input, true);
        noteTraits();
        const quint32 I = OLTextStorage::Italic, B = OLTextStorage::Bold;
        QCOMPARE(traits, (QList<quint32>{I, B, I | B, I | B, B, I}));
        QCOMPARE(colourAt(text().indexOf(QStringLiteral("val y = 1;"))), input.keyColor);
    }

    // The oldest output goes, with a note in its place; the ranges follow the
    // text, and what is left of each is the end of its piece; each unit keeps
    // the unit of output it was. Pieces one per frame, all at once beyond the
    // maximum, or after one far beyond it, in slices.
    void trimming_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("one piece per frame") << 0;
        QTest::newRow("all at once, beyond the maximum") << 1;
        QTest::newRow("a piece far beyond the maximum, by slices") << 2;
    }
    void trimming()
    {
        QFETCH(int, way);
        defaults().saveMaximumConsoleLength(400);
        QStringList pieces(way == 2 ? 1 : 0, QStringLiteral("line of output\n").repeated(80000));
        for (int i = 0; i < 60; ++i)
            pieces.append(i % 5 == 4 ? QStringLiteral("!Error: e%1\n").arg(i) : QStringLiteral("val v%1 = %1 : int\n").arg(i));
        for (const QString &piece : std::as_const(pieces)) {
            give(piece);
            if (way == 0)
                QTRY_COMPARE(m_pane->queuedOutputLength(), 0);
        }
        QTRY_COMPARE(m_pane->queuedOutputLength(), 0);
        const QString all = text(), output = pieces.join(QString()).remove(u'!');
        QVERIFY(all.size() <= 400 && all.startsWith(trimNote) && all.endsWith(pieces.last().mid(1)));
        qsizetype at = trimNote.size();
        for (qsizetype piece = pieces.size() - qsizetype(ranges().size()); const auto &[range, error] : ranges()) {
            const QString kept = all.mid(range.location, range.length), whole = QString(pieces[piece]).remove(u'!');
            QVERIFY(range.location == at && (at == trimNote.size() ? whole.endsWith(kept) : kept == whole));
            QCOMPARE(error, pieces[piece++].startsWith(u'!'));
            at = range.end();
        }
        QCOMPARE(at, all.size());
        for (qsizetype p = trimNote.size(); p < all.size(); ++p)
            QCOMPARE(output.at(m_pane->outputAt(p)), all.at(p));
        QCOMPARE(std::pair(m_pane->fixedLength(), m_pane->outputAt(all.size())), std::pair(qint64(all.size()), qint64(-1)));
    }

    // Output keeps the view at the end while the cursor stands there; with
    // the cursor placed elsewhere, the lines the user reads stay in place.
    void followsOutput()
    {
        QStringList answers;
        for (int i = 0; i < 80; ++i)
            answers.append(QStringLiteral("val v%1 = %1 : int\n").arg(i));
        QScrollBar *bar = view().verticalScrollBar();
        QVERIFY(append(answers.first(40)));
        QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
        view().moveCursor(QTextCursor::Start);
        bar->setValue(3);
        const int maximum = bar->maximum();
        QVERIFY(append(answers.sliced(40)));
        QTRY_VERIFY(bar->maximum() > maximum);
        QCOMPARE(bar->value(), 3);
    }

    // A large paste goes in by slices: output, and Enter pressed meanwhile,
    // wait for it.
    void largePaste()
    {
        const QString input = QStringLiteral("val x = 1\n").repeated(20000) + u';';
        QGuiApplication::clipboard()->setText(input);
        view().guardedPaste();
        QVERIFY(view().isInserting());
        give(QStringLiteral("answer\n"));
        QTest::keyClick(&view(), Qt::Key_Return);
        QTRY_COMPARE(m_commits, QStringList(input));
        QCOMPARE(run(QString()), "answer\n" + input + "\n#^ | sent " + input);
    }

    // Long lines wrap on the screen only: the text, and what is copied, hold
    // them as they came, in however many pieces the view holds them.
    void longLinesWrapOnScreenOnly_data()
    {
        QTest::addColumn<QStringList>("pieces");
        const qsizetype piece = OLSoftBreaks::wrappedPieceLength;
        QTest::newRow("one long line, in slices") << QStringList{QString(20 * piece, u'x') + "\n"};
        QTest::newRow("a line that grows over pieces") << QStringList{QString(piece - 10, u'y'), QString(30, u'y'), QString(2 * piece, u'y')};
        QTest::newRow("a surrogate pair at a piece's end stays whole") << QStringList{QString(piece - 1, u'a') + "\U0001F600" + QString(2 * piece, u'b')};
        QTest::newRow("words") << QStringList{QStringLiteral("val it = [1, 2, 3] ").repeated(1000)};
    }
    void longLinesWrapOnScreenOnly()
    {
        QFETCH(QStringList, pieces);
        QVERIFY(append(pieces));
        const QString output = pieces.join(QString());
        QCOMPARE(m_pane->textStorage().string(), output);
        QCOMPARE(view().lineCount(), output.count(u'\n') + 1);
        QVERIFY(view().document()->blockCount() > view().lineCount() && view().document()->firstBlock().layout()->lineCount() > 1);
        for (QTextBlock block = view().document()->firstBlock(); block.isValid(); block = block.next())
            QVERIFY(block.text().isEmpty() || !block.text().front().isLowSurrogate());
        view().selectAll();
        view().copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), output);
    }
};

QTEST_MAIN(TestInterpreterViewController)
#include "tst_interpreterviewcontroller.moc"
