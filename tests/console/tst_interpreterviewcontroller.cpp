#include "../highlight/viewtestsupport.h"
#include "../settings/settingstestsupport.h"
#include "console/OLConsoleWindow.h"
#include "console/OLInterpreterViewController.h"
#include "highlight/OLSoftBreaks.h"
#include "highlight/OLSyntaxHighlighter.h"

#include <QClipboard>
#include <QLoggingCategory>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextLayout>

#include <memory>

namespace {
using Range = OLInterpreterViewController::Range;
const QString trimNote = QStringLiteral("(* earlier output trimmed *)\n");
} // namespace

// A shown console pane over temporary settings; the test stands in for its
// document window and records what the console commits.
class TestInterpreterViewController : public QObject, public OLConsoleWindow
{
    Q_OBJECT

    std::unique_ptr<TempSettings> m_settings;
    std::unique_ptr<OLInterpreterViewController> m_pane;
    QStringList m_commits;

    void eval(const QString &text, qint32 from) override
    {
        QCOMPARE(from, 1);
        m_commits.append(text);
    }
    bool activateOutput(qint64 shown) override
    {
        m_activated.append(shown);
        return true;
    }
    QList<qint64> m_activated;
    OLUserDefaults &defaults() { return m_settings->defaults; }
    OLTextView &view() const { return *m_pane->textView(); }
    QString text() const { return view().toPlainText(); }
    QString unfixed() const { return text().mid(m_pane->fixedLength()); }
    std::optional<OLColor> colourAt(qsizetype pos) const { return m_pane->textStorage().foregroundColorAt(pos); }
    // "\n" as Enter.
    void type(const QString &text, bool enter = false)
    {
        const QStringList lines = text.split(u'\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(&view(), Qt::Key_Return);
            QTest::keyClicks(&view(), lines[i]);
        }
        if (enter)
            QTest::keyClick(&view(), Qt::Key_Return);
    }
    // Output pieces, an error when it starts with "!".
    void append(const QStringList &pieces)
    {
        for (const QString &piece : pieces) {
            if (piece.startsWith(u'!'))
                m_pane->appendError(piece.mid(1));
            else
                m_pane->appendAnswer(piece);
        }
    }
    // Waits until `count` pieces of output are in the text, whole.
    bool piecesIn(qsizetype count) const
    {
        return QTest::qWaitFor([&] {
            return m_pane->answerRanges().size() + m_pane->errorRanges().size() == count
                && m_pane->queuedOutputLength() == 0;
        });
    }
    // The vertical centre of the arrow and of a line (from 1), in the pane.
    int arrowCentre() const { return m_pane->arrow()->mapTo(m_pane.get(), QPoint(0, m_pane->arrow()->height() / 2)).y(); }
    int lineCentre(int line) const
    {
        const QTextCursor cursor(view().document()->findBlockByNumber(line - 1));
        return view().viewport()->mapTo(m_pane.get(), view().cursorRect(cursor).center()).y();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLoggingCategory::setFilterRules(QStringLiteral("ostrel.history.debug=false"));
    }
    void init()
    {
        m_settings = std::make_unique<TempSettings>();
        defaults().registerDefaultPreferences();
        m_commits.clear();
        m_activated.clear();
        m_pane = std::make_unique<OLInterpreterViewController>(defaults());
        m_pane->setWindowController(this);
        m_pane->setFontAttributes(defaults().loadFontAttributes(true), true);
        m_pane->setFontAttributes(defaults().loadFontAttributes(false), false);
        m_pane->resize(500, 300);
        m_pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pane.get()));
    }
    void cleanup()
    {
        m_pane.reset();
        m_settings.reset();
    }

    // Input is committed by Enter only when it ends in ";" (blanks aside) and
    // the cursor is at the end; otherwise Enter breaks the line, keeping the tabs.
    void enter_data()
    {
        QTest::addColumn<QStringList>("lines"); // typed, each followed by Enter
        QTest::addColumn<int>("left"); // cursor moves before each Enter
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QString>("expected");
        QTest::newRow("input ending in a semicolon is sent and fixed") << QStringList{"1 + 2;"} << 0 << QStringList{"1 + 2;"} << "1 + 2;\n";
        QTest::newRow("trailing blanks are tested trimmed and sent as typed") << QStringList{"  x;  "} << 0 << QStringList{"  x;  "} << "  x;  \n";
        QTest::newRow("without a semicolon Enter only breaks the line") << QStringList{"1 +"} << 0 << QStringList{} << "1 +\n";
        QTest::newRow("multi-line input is sent whole") << QStringList{"1 +", "2;"} << 0 << QStringList{"1 +\n2;"} << "1 +\n2;\n";
        QTest::newRow("cursor not at the end: a line break there") << QStringList{"x;"} << 1 << QStringList{} << "x\n;";
        QTest::newRow("tabs anywhere in the line count") << QStringList{"a\tb\t"} << 0 << QStringList{} << "a\tb\t\n\t\t";
    }
    void enter()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, left);
        QFETCH(QStringList, sent);
        QFETCH(QString, expected);
        for (const QString &line : lines) {
            type(line);
            for (int i = 0; i < left; ++i)
                QTest::keyClick(&view(), Qt::Key_Left);
            QTest::keyClick(&view(), Qt::Key_Return);
        }
        QCOMPARE(text(), expected);
        QCOMPARE(m_pane->fixedLength(), sent.isEmpty() ? 0 : expected.size());
        QCOMPARE(m_commits, sent);
        QCOMPARE(m_pane->history().createArray(), sent);
    }

    void editCheck_data()
    {
        QTest::addColumn<int>("offset"); // cursor from the start of the input
        QTest::addColumn<UserEdit>("edit");
        QTest::addColumn<QString>("input");
        QTest::newRow("Backspace at the start of the input is refused") << 0 << UserEdit(Qt::Key_Backspace) << "xy";
        QTest::newRow("Delete in the fixed part is refused") << -3 << UserEdit(Qt::Key_Delete) << "xy";
        QTest::newRow("typing in the fixed part goes to the end of the input") << -3 << UserEdit(Qt::Key_Z) << "xyz";
        QTest::newRow("pasting in the fixed part goes to the end of the input") << -3 << UserEdit(QKeySequence::Paste) << "xyP";
        QTest::newRow("an input method's text, too") << -3 << UserEdit("input method") << "xyé";
        QTest::newRow("undo of output is refused") << 2 << UserEdit("edit-undo") << "xy";
    }
    void editCheck()
    {
        QFETCH(int, offset);
        QFETCH(UserEdit, edit);
        QFETCH(QString, input);
        const QString answer = QStringLiteral("val it = 1 : int\n");
        m_pane->appendAnswer(answer);
        type(QStringLiteral("xy")); // output that waits for its frame goes in before a key
        QCOMPARE(m_pane->fixedLength(), answer.size());
        QGuiApplication::clipboard()->setText(QStringLiteral("P"));
        select(view(), answer.size() + offset);
        QVERIFY(edit.apply(view()));
        QCOMPARE(text(), answer + input);
        QCOMPARE(m_pane->fixedLength(), answer.size());
    }

    // Each piece is coloured as the text that ended with it, also when
    // several go in at once: a word or string cut between pieces is not
    // joined up. Recolouring everything gives every range the colours it took
    // when it was added, and the text between ranges the colours of the whole text.
    void piecesColouredAlone()
    {
        const QStringList pieces{"va", "l s = \"abc", "def\" : string\n", "val t = 1\n"};
        append(pieces + QStringList{"!Error: unbound x\n"});
        QVERIFY(piecesIn(5));
        type(QStringLiteral("val y = 1;"), true);
        append({"val y = 1 : int\n"});
        QVERIFY(piecesIn(6));
        const OLStyleSet styles = defaults().loadFontAttributes(false);
        for (qsizetype at = 0; const QString &piece : pieces) {
            OLTextStorage alone(piece);
            OLSyntaxHighlighter::highlightSyntaxFor(alone, {0, piece.size()}, styles);
            for (qsizetype i = 0; i < piece.size(); ++i, ++at)
                QVERIFY2(colourAt(at) == alone.foregroundColorAt(i), qPrintable(QString::number(at)));
        }
        QCOMPARE(colourAt(0), styles.regColor); // "va" is no keyword
        QCOMPARE(colourAt(text().indexOf('"')), styles.errColor); // the string ends with its piece
        QCOMPARE(colourAt(text().indexOf("val t")), styles.keyColor);

        QList<std::optional<OLColor>> before;
        for (qsizetype i = 0; i < text().size(); ++i)
            before.append(colourAt(i));
        m_pane->setFontAttributes(styles, false);
        for (const QList<Range> *ranges : {&m_pane->answerRanges(), &m_pane->errorRanges()}) {
            for (const Range &range : *ranges) {
                for (qsizetype i = range.location; i < range.end(); ++i)
                    QVERIFY2(colourAt(i) == before[i], qPrintable(QString::number(i)));
            }
        }
        OLStyleSet input = defaults().loadFontAttributes(true);
        input.size = 17;
        m_pane->setFontAttributes(input, true);
        QCOMPARE(view().font().pointSize(), 17);
        QCOMPARE(colourAt(text().indexOf(QStringLiteral("val y = 1;"))), input.keyColor);
    }

    // Output lands at the end of the fixed part, wherever the selection is;
    // uncommitted input stays the user's, below it. A selection stays on its
    // text. Pieces that arrive within one frame go in as one update, each
    // keeping its own range, an empty one too.
    void outputLandsBeforeTheInput_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("anchor"); // -1: the end of the text
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("anchorAfter"); // -1: the new end
        QTest::addColumn<int>("positionAfter");
        // The fixed text: "first line\nsecond line\n" (23 units); 13 units of output follow.
        QTest::newRow("selection in the fixed part stays") << "abc" << 0 << 5 << 0 << 5;
        QTest::newRow("cursor inside the input goes with it") << "abc" << 24 << 24 << 37 << 37;
        QTest::newRow("selection of the input goes with it") << "abc" << 23 << 25 << 36 << 38;
        QTest::newRow("selection from the fixed part into the input") << "abc" << 3 << 25 << 3 << 38;
        QTest::newRow("selection to the end of the fixed part does not grow") << "" << 3 << 23 << 3 << 23;
        QTest::newRow("cursor at the end stays at the end") << "abc" << -1 << -1 << -1 << -1;
        QTest::newRow("input of two lines, no line end after the output")
            << "x = 1\n  \"s\"" << 26 << 26 << 39 << 39;
    }
    void outputLandsBeforeTheInput()
    {
        QFETCH(QString, typed);
        QFETCH(int, anchor);
        QFETCH(int, position);
        QFETCH(int, anchorAfter);
        QFETCH(int, positionAfter);
        const QString fixed = QStringLiteral("first line\nsecond line\n");
        append({fixed});
        QVERIFY(piecesIn(1));
        type(typed);
        const int end = int(text().size());
        select(view(), anchor < 0 ? end : anchor, position < 0 ? end : position);
        append({"more\n", "!worse\n", "", "\"b"});
        QVERIFY(piecesIn(5));
        QCOMPARE(text(), fixed + "more\nworse\n\"b" + typed);
        const qsizetype output = fixed.size() + 11;
        QCOMPARE(m_pane->answerRanges(), (QList<Range>{{0, fixed.size()}, {fixed.size(), 5}, {output, 0}, {output, 2}}));
        QCOMPARE(m_pane->errorRanges(), QList<Range>{Range(fixed.size() + 5, 6)});
        const int newEnd = int(text().size());
        QCOMPARE(view().textCursor().anchor(), anchorAfter < 0 ? newEnd : anchorAfter);
        QCOMPARE(view().textCursor().position(), positionAfter < 0 ? newEnd : positionAfter);
        // Still input, coloured as input: the string before it ends with its piece.
        if (!typed.isEmpty())
            QCOMPARE(colourAt(output + 2), defaults().loadFontAttributes(true).regColor);
        view().moveCursor(QTextCursor::End);
        type(QStringLiteral(";"), true);
        QCOMPARE(m_commits, QStringList(typed + u';'));
    }

    // Typing into a recalled input ends the walk, and the next one saves the
    // edited input; output ends it too, the recalled input staying as input.
    void historyWalk()
    {
        for (const char *line : {"a;", "b;", "c;"})
            type(QString::fromLatin1(line), true);
        m_pane->backInHistory();
        type(QStringLiteral("!"));
        QVERIFY(!m_pane->history().inSession());
        m_pane->backInHistory();
        QCOMPARE(unfixed(), QStringLiteral("c;"));
        m_pane->forwardInHistory();
        QCOMPARE(unfixed(), QStringLiteral("c;!"));
        m_pane->backInHistory();
        append({"ok\n"});
        QVERIFY(piecesIn(1));
        QVERIFY(!m_pane->history().inSession());
        QVERIFY(text().endsWith(QStringLiteral("ok\nc;")));
        QCOMPARE(unfixed(), QStringLiteral("c;"));
        // Select All in the console takes the input only.
        select(view(), 0, 2);
        m_pane->selectUnfixed();
        QCOMPARE(view().textCursor().selectedText(), QStringLiteral("c;"));
    }

    // Plain Up on the input's first line and Down on its last walk the
    // history; elsewhere they move the cursor. Fixed: "a;\nb;\nc;\n".
    void upAndDownAtTheInputsEdges_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("cursor"); // -1: the end
        QTest::addColumn<QString>("keys"); // u: Up, d: Down
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("line"); // the cursor's, counted from the input's first
        QTest::newRow("Up recalls the newest") << "x" << -1 << "u" << "c;" << 0;
        QTest::newRow("Down past the newest puts back the typed input") << "x" << -1 << "ud" << "x" << 0;
        QTest::newRow("and Up there recalls") << "p\nq" << -1 << "uu" << "c;" << 0;
        QTest::newRow("Down on the first line of two moves to the second") << "p\nq" << 9 << "d" << "p\nq" << 1;
        QTest::newRow("Up in the fixed part moves there") << "x" << 4 << "u" << "x" << -3;
    }
    void upAndDownAtTheInputsEdges()
    {
        QFETCH(QString, typed);
        QFETCH(int, cursor);
        QFETCH(QString, keys);
        QFETCH(QString, input);
        QFETCH(int, line);
        for (const char *commit : {"a;", "b;", "c;"})
            type(QString::fromLatin1(commit), true);
        type(typed);
        if (cursor >= 0)
            select(view(), cursor);
        for (const QChar key : keys)
            QTest::keyClick(&view(), key == u'u' ? Qt::Key_Up : Qt::Key_Down);
        QCOMPARE(unfixed(), input);
        QCOMPARE(view().textCursor().blockNumber() - int(m_pane->inputLine() - 1), line);
    }

    // Clearing takes the fixed part and its ranges; the input, the cursor in
    // it and the history stay, and output goes on before the input.
    void clearFixed()
    {
        type(QStringLiteral("a;"), true);
        append({"val it = 1 : int\n", "!Error: x\n"});
        QVERIFY(piecesIn(2));
        type(QStringLiteral("b + 1"));
        select(view(), int(text().size()) - 2);
        m_pane->clearFixed();
        QCOMPARE(std::tuple(text(), m_pane->fixedLength(), view().textCursor().position()), std::tuple(QStringLiteral("b + 1"), qint64(0), 3));
        QVERIFY(m_pane->answerRanges().isEmpty() && m_pane->errorRanges().isEmpty());
        QCOMPARE(m_pane->history().createArray(), QStringList(QStringLiteral("a;")));
        append({"val it = 2 : int\n"});
        QVERIFY(piecesIn(1));
        QCOMPARE(text(), QStringLiteral("val it = 2 : int\nb + 1"));
    }

    void arrow()
    {
        append({"one\ntwo\nthree\n"});
        QVERIFY(piecesIn(1));
        QCOMPARE(m_pane->inputLine(), 4);
        QTRY_VERIFY(qAbs(arrowCentre() - lineCentre(4)) <= 1); // the move after output is animated
        type(QStringLiteral("x;"), true); // and after a commit
        QCOMPARE(m_pane->inputLine(), 5);
        QTRY_VERIFY(qAbs(arrowCentre() - lineCentre(5)) <= 1);
        QString many;
        for (int i = 0; i < 100; ++i)
            many += QStringLiteral("line %1\n").arg(i);
        append({many});
        QVERIFY(piecesIn(2));
        QCOMPARE(m_pane->inputLine(), 105);
        QScrollBar *scroll = view().verticalScrollBar();
        QTRY_COMPARE(scroll->value(), scroll->maximum()); // the view follows the output
        QTRY_VERIFY(qAbs(arrowCentre() - lineCentre(105)) <= 1);
        // Scrolling moves the arrow with the text at once; out of sight, it
        // waits beyond the edge.
        for (int i = 0; i < 10; ++i)
            type(QStringLiteral("let"), true);
        QTRY_COMPARE(scroll->value(), scroll->maximum());
        const qreal lineHeight = view().cursorForPosition(QPoint(0, 0)).block().layout()->lineAt(0).height();
        const int before = arrowCentre();
        scroll->setValue(scroll->value() - 5);
        QVERIFY(qAbs(arrowCentre() - (before + 5 * lineHeight)) <= 1);
        scroll->setValue(0);
        QVERIFY(arrowCentre() > view().viewport()->mapTo(m_pane.get(), view().viewport()->rect().bottomLeft()).y());
    }

    // Answer traits configured bold, error traits italic; the input style set
    // clears every trait before the recolouring.
    void traitsOnAddingAndOnRecolouring_data()
    {
        QTest::addColumn<bool>("error");
        QTest::addColumn<QList<quint32>>("traits"); // on adding, after answer styles, after input styles
        const quint32 I = OLTextStorage::Italic, B = OLTextStorage::Bold;
        QTest::newRow("answer") << false << QList<quint32>{I, I | B, B};
        QTest::newRow("error") << true << QList<quint32>{B, I | B, I};
    }
    void traitsOnAddingAndOnRecolouring()
    {
        QFETCH(bool, error);
        QFETCH(QList<quint32>, traits);
        defaults().saveAnswerFontTraits(OLFontTrait::bold);
        defaults().saveErrorFontTraits(OLFontTrait::italic);
        append({error ? "!Error: nope\n" : "val it = 1 : int\n"});
        QVERIFY(piecesIn(1));
        QList<quint32> seen{m_pane->textStorage().fontTraitsAt(3)};
        m_pane->setFontAttributes(defaults().loadFontAttributes(false), false);
        seen.append(m_pane->textStorage().fontTraitsAt(3));
        m_pane->setFontAttributes(defaults().loadFontAttributes(true), true);
        seen.append(m_pane->textStorage().fontTraitsAt(3));
        QCOMPARE(seen, traits);
    }

    void trimming_data()
    {
        QTest::addColumn<int>("way"); // 0: a piece per frame, 1: all at once, 2: one huge piece first
        QTest::newRow("one piece per frame") << 0;
        QTest::newRow("all at once, beyond the maximum") << 1;
        QTest::newRow("a piece far beyond the maximum, by slices") << 2;
    }
    // The oldest output goes, with a note in its place; the ranges follow
    // the text, and what is left of each is the end of its piece.
    void trimming()
    {
        QFETCH(int, way);
        constexpr qsizetype maximum = 400;
        defaults().saveMaximumConsoleLength(maximum);
        QStringList pieces;
        if (way == 2)
            pieces.append(QStringLiteral("line of output\n").repeated(80000));
        for (int i = 0; i < 60; ++i)
            pieces.append(i % 5 == 4 ? QStringLiteral("!Error: e%1\n").arg(i) : QStringLiteral("val v%1 = %1 : int\n").arg(i));
        for (const QString &piece : std::as_const(pieces)) {
            append({piece});
            if (way == 0)
                QTRY_COMPARE(m_pane->queuedOutputLength(), 0);
        }
        QTRY_COMPARE(m_pane->queuedOutputLength(), 0);
        const QString all = text();
        QVERIFY(all.size() <= maximum);
        QVERIFY(all.startsWith(trimNote));
        QVERIFY(all.endsWith(pieces.last().mid(1)));
        QCOMPARE(colourAt(0), defaults().loadFontAttributes(true).comColor);
        QCOMPARE(m_pane->fixedLength(), all.size());

        // The ranges, in text order, fill the text after the note.
        QMap<qsizetype, std::pair<Range, bool>> ranges; // by location; whether an error
        for (const Range &r : m_pane->answerRanges())
            ranges.insert(r.location, {r, false});
        for (const Range &r : m_pane->errorRanges())
            ranges.insert(r.location, {r, true});
        QVERIFY(!ranges.isEmpty());
        qsizetype at = trimNote.size();
        for (qsizetype piece = pieces.size() - ranges.size(); const auto &[range, error] : std::as_const(ranges)) {
            QCOMPARE(range.location, at);
            const QString kept = all.mid(range.location, range.length), whole = QString(pieces[piece]).remove(u'!');
            QVERIFY(at == trimNote.size() ? whole.endsWith(kept) : kept == whole);
            QCOMPARE(error, pieces[piece++].startsWith(u'!'));
            at = range.end();
        }
        QCOMPARE(at, all.size());
        // Each unit after the note is the unit of output it was.
        const QString output = pieces.join(QString()).remove(u'!');
        for (qsizetype p = trimNote.size(); p < all.size(); ++p)
            QCOMPARE(output.at(m_pane->outputAt(p)), all.at(p));
        type(QStringLiteral("1;"), true);
        QCOMPARE(m_commits.last(), QStringLiteral("1;"));
        QCOMPARE(m_pane->fixedLength(), text().size());
        QCOMPARE(m_pane->outputAt(all.size()), -1);
    }

    // A double click on output, or Enter with the cursor on it, tells which
    // unit of the output it is; on a commit or in the input, nothing.
    void activatingOutput()
    {
        append({"one\n", "!two\n"});
        QVERIFY(piecesIn(2));
        type(QStringLiteral("x;"), true);
        append({"three\n"});
        QVERIFY(piecesIn(3));
        type(QStringLiteral("y"));
        // Into the word's first unit.
        const auto at = [&](const char *word) { return int(text().indexOf(QLatin1String(word))) + 1; };
        for (const char *word : {"two", "x;", "three", "y"}) {
            QTextCursor cursor(view().document());
            cursor.setPosition(at(word));
            QTest::mouseDClick(view().viewport(), Qt::LeftButton, {}, view().cursorRect(cursor).center());
        }
        select(view(), at("three"));
        QTest::keyClick(&view(), Qt::Key_Return);
        QCOMPARE(m_activated, (QList<qint64>{5, 9, 9}));
        QCOMPARE(m_commits, QStringList(QStringLiteral("x;")));
        QVERIFY(unfixed() == QStringLiteral("y"));
    }

    // Trimming while the user reads older output keeps those lines in view.
    void trimmingKeepsTheReadingPlace()
    {
        defaults().saveMaximumConsoleLength(4000);
        QString lines;
        for (int i = 0; i < 600; ++i)
            lines += QStringLiteral("line %1\n").arg(i, 4, 10, QLatin1Char('0'));
        append({lines.left(3000)});
        QVERIFY(piecesIn(1));
        select(view(), 0);
        // Line 250 survives the trim below, which takes about 2,100 units.
        view().verticalScrollBar()->setValue(250);
        const QString reading = view().cursorForPosition(QPoint(0, 0)).block().text();
        append({lines.mid(3000)});
        QVERIFY(piecesIn(2));
        QVERIFY(text().startsWith(trimNote));
        QCOMPARE(view().cursorForPosition(QPoint(0, 0)).block().text(), reading);
    }

    // Output that arrived below the view and moved up with a trim is drawn,
    // in italics, where it now is.
    void trimmedTextIsDrawnWhereItMoved()
    {
        defaults().saveMaximumConsoleLength(400);
        QString lines;
        for (int i = 0; i < 72; ++i)
            lines += QStringLiteral("line %1\n").arg(i, 4, 10, QLatin1Char('0'));
        append({lines.left(120)}); // fits in the view, drawn at once
        QVERIFY(piecesIn(1));
        select(view(), 0);
        append({lines.mid(120)});
        QTRY_VERIFY(text().endsWith(QStringLiteral("line 0071\n")));
        QVERIFY(text().startsWith(trimNote));
        QCOMPARE(view().verticalScrollBar()->value(), 0);
        for (QTextBlock block = view().document()->firstBlock().next(); block.blockNumber() < 8; block = block.next()) {
            const QList<QTextLayout::FormatRange> formats = block.layout()->formats();
            QVERIFY2(!formats.isEmpty() && formats.first().format.fontItalic(), qPrintable(block.text()));
        }
    }

    // A large paste goes in by slices: a key pressed meanwhile, and output,
    // wait for it.
    void largePasteGoesInBySlices_data()
    {
        QTest::addColumn<bool>("output"); // else Return
        QTest::newRow("Return commits all of it") << false;
        QTest::newRow("output goes in once it is in") << true;
    }
    void largePasteGoesInBySlices()
    {
        QFETCH(bool, output);
        const QString input = QStringLiteral("val x = 1\n").repeated(20000) + u';';
        QGuiApplication::clipboard()->setText(input);
        view().guardedPaste();
        QVERIFY(view().isInserting());
        if (output) {
            append({"answer\n"});
            QVERIFY(piecesIn(1));
            QCOMPARE(m_pane->textStorage().string(), "answer\n" + input);
        } else {
            QTest::keyClick(&view(), Qt::Key_Return);
            QTRY_COMPARE(m_commits, QStringList(input));
        }
    }

    // Long lines wrap on the screen only: the text, and what is copied, hold
    // them as they came, in however many pieces the view holds them.
    void longLinesWrapOnScreenOnly_data()
    {
        QTest::addColumn<QStringList>("pieces");
        const qsizetype piece = OLSoftBreaks::wrappedPieceLength;
        QTest::newRow("one long line, in slices") << QStringList{QString(20 * piece, u'x') + "\n"};
        QTest::newRow("a line that grows over pieces")
            << QStringList{QString(piece - 10, u'y'), QString(30, u'y'), QString(2 * piece, u'y')};
        QTest::newRow("a surrogate pair at a piece's end stays whole")
            << QStringList{QString(piece - 1, u'a') + "\U0001F600" + QString(2 * piece, u'b')};
        QTest::newRow("words") << QStringList{QStringLiteral("val it = [1, 2, 3] ").repeated(1000)};
    }
    void longLinesWrapOnScreenOnly()
    {
        QFETCH(QStringList, pieces);
        append(pieces);
        QVERIFY(piecesIn(pieces.size()));
        const QString output = pieces.join(QString());
        QCOMPARE(m_pane->textStorage().string(), output);
        QCOMPARE(m_pane->answerRanges().last().end(), output.size());
        QCOMPARE(view().lineCount(), output.count(u'\n') + 1);
        QVERIFY(view().document()->blockCount() > view().lineCount());
        for (QTextBlock block = view().document()->firstBlock(); block.isValid(); block = block.next())
            QVERIFY(block.text().isEmpty() || !block.text().front().isLowSurrogate());
        QCOMPARE(view().lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QVERIFY(view().document()->firstBlock().layout()->lineCount() > 1);
        view().selectAll();
        view().copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), output);
    }
};

QTEST_MAIN(TestInterpreterViewController)
#include "tst_interpreterviewcontroller.moc"
