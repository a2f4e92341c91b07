#include "console/OLConsoleWindow.h"
#include "console/OLInterpreterViewController.h"
#include "highlight/OLSyntaxHighlighter.h"
#include "highlight/OLTextView.h"
#include "settings/OLUserDefaults.h"

#include <QApplication>
#include <QClipboard>
#include <QLoggingCategory>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <memory>

namespace {
// Stands in for the document window: records what the console commits.
class Window : public OLConsoleWindow
{
public:
    void eval(const QString &text, qint32 from) override { commits.append({text, from}); }
    QList<std::pair<QString, qint32>> commits;
};

using Range = OLInterpreterViewController::Range;
} // namespace

class TestInterpreterViewController : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<OLUserDefaults> m_defaults;
    Window m_window;
    std::unique_ptr<OLInterpreterViewController> m_pane;

    OLTextView *view() const { return m_pane->textView(); }
    QString text() const { return view()->toPlainText(); }
    QString unfixed() const { return text().mid(m_pane->fixedLength()); }
    OLStyleSet answerStyles() const { return m_defaults->loadFontAttributes(false); }
    std::optional<OLColor> colourAt(qsizetype pos) const { return m_pane->textStorage().foregroundColorAt(pos); }

    // Waits until `count` pieces of output are in the text.
    bool piecesIn(qsizetype count) const
    {
        return QTest::qWaitFor(
            [&] { return m_pane->answerRanges().size() + m_pane->errorRanges().size() == count; });
    }

    void setCursor(qsizetype anchor, qsizetype position)
    {
        QTextCursor cursor(view()->document());
        cursor.setPosition(int(anchor));
        cursor.setPosition(int(position), QTextCursor::KeepAnchor);
        view()->setTextCursor(cursor);
    }

    // The vertical centre of the arrow and of a line, in the pane.
    int arrowCentre() const
    {
        return m_pane->arrow()->mapTo(m_pane.get(), QPoint(0, m_pane->arrow()->height() / 2)).y();
    }
    int lineCentre(int line) const
    {
        QTextCursor cursor(view()->document()->findBlockByNumber(line - 1));
        return view()->viewport()->mapTo(m_pane.get(), view()->cursorRect(cursor).center()).y();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLoggingCategory::setFilterRules(QStringLiteral("ostrel.history.debug=false"));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_settings = std::make_unique<QSettings>(m_dir->filePath("ostrel.ini"), QSettings::IniFormat);
        m_defaults = std::make_unique<OLUserDefaults>(*m_settings);
        m_defaults->registerDefaultPreferences();
        m_window.commits.clear();
        m_pane = std::make_unique<OLInterpreterViewController>(*m_defaults);
        m_pane->setWindowController(&m_window);
        m_pane->setFontAttributes(m_defaults->loadFontAttributes(true), true);
        m_pane->setFontAttributes(answerStyles(), false);
        m_pane->resize(500, 300);
        m_pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_pane.get()));
    }

    void cleanup()
    {
        m_pane.reset();
        m_defaults.reset();
        m_settings.reset();
        m_dir.reset();
    }

    void enter_data()
    {
        QTest::addColumn<QStringList>("lines"); // typed, each followed by Enter
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<qint64>("fixedLength");

        QTest::newRow("input ending in a semicolon is sent and fixed")
            << QStringList{"1 + 2;"} << QStringList{"1 + 2;"} << "1 + 2;\n" << qint64(7);
        QTest::newRow("trailing blanks are tested trimmed and sent as typed")
            << QStringList{"  x;  "} << QStringList{"  x;  "} << "  x;  \n" << qint64(7);
        QTest::newRow("without a semicolon Enter only breaks the line")
            << QStringList{"1 +"} << QStringList{} << "1 +\n" << qint64(0);
        QTest::newRow("a semicolon that is not last does not commit")
            << QStringList{"x; y"} << QStringList{} << "x; y\n" << qint64(0);
        QTest::newRow("multi-line input is sent whole")
            << QStringList{"1 +", "2;"} << QStringList{"1 +\n2;"} << "1 +\n2;\n" << qint64(7);
        QTest::newRow("Enter on empty input does nothing") << QStringList{""} << QStringList{} << "" << qint64(0);
        QTest::newRow("the same input twice is sent twice")
            << QStringList{"a;", "a;"} << QStringList{"a;", "a;"} << "a;\na;\n" << qint64(6);
    }

    void enter()
    {
        QFETCH(QStringList, lines);
        QFETCH(QStringList, sent);
        QFETCH(QString, expected);
        QFETCH(qint64, fixedLength);

        for (const QString &line : lines) {
            QTest::keyClicks(view(), line);
            QTest::keyClick(view(), Qt::Key_Return);
        }
        QCOMPARE(text(), expected);
        QCOMPARE(m_pane->fixedLength(), fixedLength);
        QStringList texts;
        for (const auto &[commit, from] : std::as_const(m_window.commits)) {
            texts.append(commit);
            QCOMPARE(from, 1);
        }
        QCOMPARE(texts, sent);
        QCOMPARE(m_pane->history().createArray(), sent);
    }

    void enterKeepsTabsOrBreaksInside_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("left"); // cursor moves before Enter
        QTest::addColumn<QString>("expected");

        QTest::newRow("no tabs") << "let" << 0 << "let\n";
        QTest::newRow("two leading tabs") << "\t\tlet" << 0 << "\t\tlet\n\t\t";
        QTest::newRow("tabs anywhere in the line count") << "a\tb\t" << 0 << "a\tb\t\n\t\t";
        QTest::newRow("cursor not at the end: a line break there, nothing sent") << "x;" << 1 << "x\n;";
    }

    void enterKeepsTabsOrBreaksInside()
    {
        QFETCH(QString, typed);
        QFETCH(int, left);
        QFETCH(QString, expected);

        QTest::keyClicks(view(), typed);
        for (int i = 0; i < left; ++i)
            QTest::keyClick(view(), Qt::Key_Left);
        QTest::keyClick(view(), Qt::Key_Return);
        QCOMPARE(text(), expected);
        QVERIFY(m_window.commits.isEmpty());
        QCOMPARE(m_pane->fixedLength(), 0);
    }

    void editCheck_data()
    {
        QTest::addColumn<int>("offset"); // cursor from the start of the input
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("input");

        QTest::newRow("Backspace at the start of the input is refused") << 0 << QKeySequence(Qt::Key_Backspace) << "xy";
        QTest::newRow("Backspace inside the input") << 1 << QKeySequence(Qt::Key_Backspace) << "y";
        QTest::newRow("Delete at the start of the input") << 0 << QKeySequence(Qt::Key_Delete) << "y";
        QTest::newRow("typing in the fixed part is refused") << -3 << QKeySequence(Qt::Key_Z) << "xy";
        QTest::newRow("typing at the start of the input") << 0 << QKeySequence(Qt::Key_Z) << "zxy";
        QTest::newRow("pasting into the fixed part is refused") << -3 << QKeySequence(QKeySequence::Paste) << "xy";
    }

    void editCheck()
    {
        QFETCH(int, offset);
        QFETCH(QKeySequence, key);
        QFETCH(QString, input);

        const QString answer = QStringLiteral("val it = 1 : int\n");
        m_pane->appendAnswer(answer);
        QVERIFY(piecesIn(1));
        QTest::keyClicks(view(), "xy");
        QGuiApplication::clipboard()->setText(QStringLiteral("P"));
        setCursor(m_pane->fixedLength() + offset, m_pane->fixedLength() + offset);
        QTest::keySequence(view(), key);
        QCOMPARE(text(), answer + input);
        QCOMPARE(m_pane->fixedLength(), answer.size());
    }

    void outputRanges_data()
    {
        QTest::addColumn<QString>("typed"); // uncommitted input before the output
        QTest::addColumn<QStringList>("pieces"); // "!" first marks an error
        QTest::addColumn<QList<Range>>("answers");
        QTest::addColumn<QList<Range>>("errors");

        QTest::newRow("output with empty input covers exactly the output")
            << "" << QStringList{"val it = 3 : int\n"} << QList<Range>{{0, 17}} << QList<Range>{};
        QTest::newRow("uncommitted input is marked together with the answer")
            << "abc" << QStringList{"val x = 2 : int\n"} << QList<Range>{{0, 19}} << QList<Range>{};
        QTest::newRow("answers and errors each keep their own range")
            << "" << QStringList{"val a = 1\n", "!Error: x\n", "val b = 2\n"} << QList<Range>{{0, 10}, {19, 10}}
            << QList<Range>{{10, 9}};
        QTest::newRow("an empty answer records an empty range")
            << "" << QStringList{"ok\n", ""} << QList<Range>{{0, 3}, {3, 0}} << QList<Range>{};
    }

    // The pieces arrive within one frame and go in as one update: the
    // ranges stay those of the pieces.
    void outputRanges()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, pieces);
        QFETCH(QList<Range>, answers);
        QFETCH(QList<Range>, errors);

        QTest::keyClicks(view(), typed);
        QString all = typed;
        for (const QString &piece : pieces) {
            if (piece.startsWith(u'!'))
                m_pane->appendError(piece.mid(1));
            else
                m_pane->appendAnswer(piece);
            all += piece.startsWith(u'!') ? piece.mid(1) : piece;
        }
        QVERIFY(piecesIn(pieces.size()));
        QCOMPARE(text(), all);
        QCOMPARE(m_pane->answerRanges(), answers);
        QCOMPARE(m_pane->errorRanges(), errors);
        QCOMPARE(m_pane->fixedLength(), all.size());
        QCOMPARE(view()->textCursor().position(), all.size());
    }

    // Each piece is coloured as the text that ended with it, also when
    // several go in at once: a word or string cut between pieces is not
    // joined up again.
    void piecesColouredAlone()
    {
        const QStringList pieces{"va", "l s = \"abc", "def\" : string\n", "val t = 1\n"};
        for (const QString &piece : pieces)
            m_pane->appendAnswer(piece);
        QVERIFY(piecesIn(pieces.size()));
        const OLStyleSet styles = answerStyles();
        qsizetype at = 0;
        for (const QString &piece : pieces) {
            OLTextStorage alone(piece);
            OLSyntaxHighlighter::highlightSyntaxFor(alone, {0, piece.size()}, styles);
            for (qsizetype i = 0; i < piece.size(); ++i)
                QVERIFY2(colourAt(at + i) == alone.foregroundColorAt(i), qPrintable(QString::number(at + i)));
            at += piece.size();
        }
        QCOMPARE(colourAt(0), styles.regColor);            // "va" is no keyword
        QCOMPARE(colourAt(text().indexOf('"')), styles.errColor); // the string ends with its piece
        QCOMPARE(colourAt(text().lastIndexOf("val")), styles.keyColor);
    }

    void outputLandsAtTheEnd_data()
    {
        QTest::addColumn<int>("anchor"); // -1: the end of the text
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("anchorAfter"); // -1: the new end
        QTest::addColumn<int>("positionAfter");

        // The text: "first line\nsecond line\n" fixed, then "abc" typed.
        QTest::newRow("selection in the fixed part stays") << 0 << 5 << 0 << 5;
        QTest::newRow("cursor in the fixed part stays") << 13 << 13 << 13 << 13;
        QTest::newRow("cursor inside the input stays") << 24 << 24 << 24 << 24;
        QTest::newRow("selection reaching the end does not grow") << 3 << -1 << 3 << 26;
        QTest::newRow("cursor at the end stays at the end") << -1 << -1 << -1 << -1;
    }

    void outputLandsAtTheEnd()
    {
        QFETCH(int, anchor);
        QFETCH(int, position);
        QFETCH(int, anchorAfter);
        QFETCH(int, positionAfter);

        const QString fixed = QStringLiteral("first line\nsecond line\n");
        m_pane->appendAnswer(fixed);
        QVERIFY(piecesIn(1));
        QTest::keyClicks(view(), "abc");
        const int end = int(text().size());
        setCursor(anchor < 0 ? end : anchor, position < 0 ? end : position);
        m_pane->appendAnswer(QStringLiteral("more\n"));
        m_pane->appendError(QStringLiteral("worse\n"));
        QVERIFY(piecesIn(3));

        QCOMPARE(text(), fixed + "abcmore\nworse\n");
        QCOMPARE(m_pane->answerRanges().last(), Range(fixed.size(), 8));
        QCOMPARE(m_pane->errorRanges(), QList<Range>{Range(fixed.size() + 8, 6)});
        const int newEnd = int(text().size());
        QCOMPARE(view()->textCursor().anchor(), anchorAfter < 0 ? newEnd : anchorAfter);
        QCOMPARE(view()->textCursor().position(), positionAfter < 0 ? newEnd : positionAfter);
    }

    // Output that waits for its frame goes in before a key is handled, so
    // that what is typed after it stays input.
    void outputBeforeKeys()
    {
        m_pane->appendAnswer(QStringLiteral("out\n"));
        QTest::keyClicks(view(), "x");
        QCOMPARE(text(), QStringLiteral("out\nx"));
        QCOMPARE(m_pane->fixedLength(), 4);
        QCOMPARE(m_pane->answerRanges(), QList<Range>{Range(0, 4)});
    }

    void outputIsNeverUndone()
    {
        m_pane->appendAnswer(QStringLiteral("out\n"));
        QTest::keyClicks(view(), "ab");
        QVERIFY(piecesIn(1));
        QTest::keySequence(view(), QKeySequence::Undo);
        view()->guardedUndo();
        QCOMPARE(text(), QStringLiteral("out\nab"));
    }

    void historyWalk()
    {
        for (const char *line : {"a;", "b;", "c;"}) {
            QTest::keyClicks(view(), line);
            QTest::keyClick(view(), Qt::Key_Return);
        }
        QTest::keyClicks(view(), "x");
        QStringList shown;
        for (const char step : QByteArrayView("bbbbffffb")) {
            if (step == 'b')
                m_pane->backInHistory();
            else
                m_pane->forwardInHistory();
            shown.append(unfixed());
        }
        QCOMPARE(shown, (QStringList{"c;", "b;", "a;", "a;", "b;", "c;", "x", "x", "c;"}));

        // Typing into a recalled input ends the walk; the next starts anew and
        // saves the edited input.
        QTest::keyClicks(view(), "!");
        QVERIFY(!m_pane->history().inSession());
        m_pane->backInHistory();
        QCOMPARE(unfixed(), QStringLiteral("c;"));
        m_pane->forwardInHistory();
        QCOMPARE(unfixed(), QStringLiteral("c;!"));

        // Output during a walk ends it and fixes the recalled input with it.
        m_pane->backInHistory();
        m_pane->appendAnswer(QStringLiteral("ok\n"));
        QVERIFY(piecesIn(1));
        QVERIFY(!m_pane->history().inSession());
        QVERIFY(text().endsWith(QStringLiteral("c;ok\n")));
        QCOMPARE(unfixed(), QString());
    }

    void selectUnfixed()
    {
        m_pane->appendAnswer(QStringLiteral("abc\n"));
        QTest::keyClicks(view(), "xy");
        setCursor(0, 2);
        m_pane->selectUnfixed();
        QCOMPARE(view()->textCursor().selectedText(), QStringLiteral("xy"));
    }

    void arrow()
    {
        m_pane->appendAnswer(QStringLiteral("one\ntwo\nthree\n"));
        QVERIFY(piecesIn(1));
        QCOMPARE(m_pane->inputLine(), 4);
        // The move after output is animated.
        QTRY_VERIFY(qAbs(arrowCentre() - lineCentre(4)) <= 1);

        QString many;
        for (int i = 0; i < 100; ++i)
            many += QStringLiteral("line %1\n").arg(i);
        m_pane->appendAnswer(many);
        QVERIFY(piecesIn(2));
        QCOMPARE(m_pane->inputLine(), 104);
        QScrollBar *scroll = view()->verticalScrollBar();
        QTRY_COMPARE(scroll->value(), scroll->maximum()); // the view follows the output
        QTRY_VERIFY(qAbs(arrowCentre() - lineCentre(104)) <= 1);

        // Scrolling moves the arrow with the text at once.
        const qreal lineHeight = view()->cursorForPosition(QPoint(0, 0)).block().layout()->lineAt(0).height();
        const int before = arrowCentre();
        scroll->setValue(scroll->value() - 10);
        QVERIFY(qAbs(arrowCentre() - (before + 10 * lineHeight)) <= 1);
        scroll->setValue(0);
        // Out of sight below: 103 lines under the first.
        QVERIFY(qAbs(arrowCentre() - (lineCentre(1) + 103 * lineHeight)) <= 1);
    }

    void traitsOnAddingAndOnRecolouring_data()
    {
        QTest::addColumn<bool>("error");
        QTest::addColumn<quint32>("onAdding");
        QTest::addColumn<quint32>("afterAnswerStyles");
        QTest::addColumn<quint32>("afterInputStyles");

        // Answer traits configured bold, error traits italic.
        QTest::newRow("answer") << false << quint32(OLTextStorage::Italic)
                                << quint32(OLTextStorage::Italic | OLTextStorage::Bold) << quint32(OLTextStorage::Bold);
        QTest::newRow("error") << true << quint32(OLTextStorage::Bold)
                               << quint32(OLTextStorage::Italic | OLTextStorage::Bold) << quint32(OLTextStorage::Italic);
    }

    void traitsOnAddingAndOnRecolouring()
    {
        QFETCH(bool, error);
        QFETCH(quint32, onAdding);
        QFETCH(quint32, afterAnswerStyles);
        QFETCH(quint32, afterInputStyles);

        m_defaults->saveAnswerFontTraits(OLFontTrait::bold);
        m_defaults->saveErrorFontTraits(OLFontTrait::italic);
        if (error)
            m_pane->appendError(QStringLiteral("Error: nope\n"));
        else
            m_pane->appendAnswer(QStringLiteral("val it = 1 : int\n"));
        QVERIFY(piecesIn(1));
        QCOMPARE(m_pane->textStorage().fontTraitsAt(3), onAdding);
        m_pane->setFontAttributes(answerStyles(), false);
        QCOMPARE(m_pane->textStorage().fontTraitsAt(3), afterAnswerStyles);
        // The input style set clears every trait before the recolouring.
        m_pane->setFontAttributes(m_defaults->loadFontAttributes(true), true);
        QCOMPARE(m_pane->textStorage().fontTraitsAt(3), afterInputStyles);
    }

    // Recolouring everything gives every range the colours it took when it
    // was added, and the text between ranges the colours of the whole text.
    void recolouringKeepsRangeColours()
    {
        for (const QString &piece : {QStringLiteral("val s = \"ab"), QStringLiteral("c\" (* x *)\n")})
            m_pane->appendAnswer(piece);
        m_pane->appendError(QStringLiteral("Error: unbound x\n"));
        QVERIFY(piecesIn(3));
        QTest::keyClicks(view(), "val y = 1;");
        QTest::keyClick(view(), Qt::Key_Return);
        m_pane->appendAnswer(QStringLiteral("val y = 1 : int\n"));
        QVERIFY(piecesIn(4));

        QList<std::optional<OLColor>> before;
        for (qsizetype i = 0; i < text().size(); ++i)
            before.append(colourAt(i));
        m_pane->setFontAttributes(answerStyles(), false);
        for (const QList<Range> *ranges : {&m_pane->answerRanges(), &m_pane->errorRanges()}) {
            for (const Range &range : *ranges) {
                for (qsizetype i = range.location; i < range.end(); ++i)
                    QVERIFY2(colourAt(i) == before[i], qPrintable(QString::number(i)));
            }
        }
        const qsizetype committed = text().indexOf(QStringLiteral("val y = 1;"));
        QCOMPARE(colourAt(committed), m_defaults->loadFontAttributes(true).keyColor);
    }

    void fontFromStyles()
    {
        OLStyleSet styles = m_defaults->loadFontAttributes(true);
        styles.size = 17;
        m_pane->setFontAttributes(styles, true);
        QCOMPARE(view()->font().pointSize(), 17);
        QCOMPARE(m_pane->fontAttributes(), styles);
    }

    void maximumLengthSetting_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<qint64>("loaded");

        QTest::newRow("absent gives the default") << QVariant() << OLUserDefaults::defaultMaximumConsoleLength;
        QTest::newRow("zero gives the default") << QVariant(0) << OLUserDefaults::defaultMaximumConsoleLength;
        QTest::newRow("negative gives the default") << QVariant(-5) << OLUserDefaults::defaultMaximumConsoleLength;
        QTest::newRow("a stored maximum") << QVariant(1234) << qint64(1234);
    }

    void maximumLengthSetting()
    {
        QFETCH(QVariant, stored);
        QFETCH(qint64, loaded);
        if (stored.isValid())
            m_defaults->saveMaximumConsoleLength(stored.toLongLong());
        QCOMPARE(m_defaults->loadMaximumConsoleLength(), loaded);
    }

    void trimming_data()
    {
        QTest::addColumn<bool>("atOnce");
        QTest::newRow("one piece per frame") << false;
        QTest::newRow("all at once, beyond the maximum") << true;
    }

    // The oldest output goes, with a note in its place; the ranges follow
    // the text, and what is left of each is the end of its piece.
    void trimming()
    {
        QFETCH(bool, atOnce);
        constexpr qsizetype maximum = 400;
        m_defaults->saveMaximumConsoleLength(maximum);
        QStringList pieces;
        for (int i = 0; i < 60; ++i) {
            pieces.append(i % 5 == 4 ? QStringLiteral("Error: e%1\n").arg(i) : QStringLiteral("val v%1 = %1 : int\n").arg(i));
            if (i % 5 == 4)
                m_pane->appendError(pieces.last());
            else
                m_pane->appendAnswer(pieces.last());
            if (!atOnce)
                QTRY_COMPARE(m_pane->queuedOutputLength(), 0);
        }
        QTRY_COMPARE(m_pane->queuedOutputLength(), 0);
        QTRY_VERIFY(text().endsWith(pieces.last()));

        const QString all = text();
        const QString note = QStringLiteral("(* earlier output trimmed *)\n");
        QVERIFY(all.size() <= maximum);
        QVERIFY(all.startsWith(note));
        QCOMPARE(colourAt(0), m_defaults->loadFontAttributes(true).comColor);
        QCOMPARE(m_pane->fixedLength(), all.size());

        // The ranges, in text order, fill the text after the note.
        QList<std::pair<Range, bool>> ranges;
        for (const Range &r : m_pane->answerRanges())
            ranges.append({r, false});
        for (const Range &r : m_pane->errorRanges())
            ranges.append({r, true});
        std::sort(ranges.begin(), ranges.end(), [](const auto &a, const auto &b) { return a.first.location < b.first.location; });
        QVERIFY(!ranges.isEmpty());
        qsizetype at = note.size();
        qsizetype piece = pieces.size() - ranges.size();
        for (const auto &[range, error] : std::as_const(ranges)) {
            QCOMPARE(range.location, at);
            const QString kept = all.mid(range.location, range.length);
            if (at == note.size())
                QVERIFY(pieces[piece].endsWith(kept));
            else
                QCOMPARE(kept, pieces[piece]);
            QCOMPARE(error, pieces[piece].startsWith(u'E'));
            at = range.end();
            ++piece;
        }
        QCOMPARE(at, all.size());

        QTest::keyClicks(view(), "1;");
        QTest::keyClick(view(), Qt::Key_Return);
        QCOMPARE(m_window.commits.last().first, QStringLiteral("1;"));
        QCOMPARE(m_pane->fixedLength(), text().size());
    }

    // Trimming while the user reads older output keeps those lines in view.
    void trimmingKeepsTheReadingPlace()
    {
        m_defaults->saveMaximumConsoleLength(4000);
        QString lines;
        for (int i = 0; i < 600; ++i)
            lines += QStringLiteral("line %1\n").arg(i, 4, 10, QLatin1Char('0'));
        m_pane->appendAnswer(lines.left(3000));
        QVERIFY(piecesIn(1));
        setCursor(0, 0);
        // Line 250 survives the trim below, which takes about 2,100 units.
        QScrollBar *scroll = view()->verticalScrollBar();
        scroll->setValue(250);
        const QString reading = view()->cursorForPosition(QPoint(0, 0)).block().text();
        m_pane->appendAnswer(lines.mid(3000));
        QVERIFY(piecesIn(2));
        QVERIFY(text().startsWith(QStringLiteral("(* earlier output trimmed *)")));
        QCOMPARE(view()->cursorForPosition(QPoint(0, 0)).block().text(), reading);
    }

    // Output that arrived below the view and moved up with a trim is drawn,
    // in italics, where it now is.
    void trimmedTextIsDrawnWhereItMoved()
    {
        m_defaults->saveMaximumConsoleLength(400);
        QString lines;
        for (int i = 0; i < 72; ++i)
            lines += QStringLiteral("line %1\n").arg(i, 4, 10, QLatin1Char('0'));
        m_pane->appendAnswer(lines.left(120)); // fits in the view, drawn at once
        QVERIFY(piecesIn(1));
        setCursor(0, 0);
        m_pane->appendAnswer(lines.mid(120));
        QTRY_VERIFY(text().endsWith(QStringLiteral("line 0071\n")));
        QVERIFY(text().startsWith(QStringLiteral("(* earlier output trimmed *)\n")));
        QCOMPARE(view()->verticalScrollBar()->value(), 0);
        for (QTextBlock block = view()->document()->firstBlock().next(); block.blockNumber() < 8; block = block.next()) {
            const QList<QTextLayout::FormatRange> formats = block.layout()->formats();
            QVERIFY2(!formats.isEmpty() && formats.first().format.fontItalic(), qPrintable(block.text()));
        }
    }

    void longLinesAreBroken_data()
    {
        QTest::addColumn<QStringList>("pieces");
        const qsizetype max = OLInterpreterViewController::maxLineLength;
        QTest::newRow("one long line") << QStringList{QString(3 * max, u'x') + "\n"};
        QTest::newRow("a line that grows over pieces")
            << QStringList{QString(max - 10, u'y'), QString(30, u'y'), QString(max, u'y')};
        QTest::newRow("a surrogate pair at the break stays whole")
            << QStringList{QString(max - 1, u'a') + QString::fromUtf8("\xF0\x9F\x98\x80") + "b"};
    }

    void longLinesAreBroken()
    {
        QFETCH(QStringList, pieces);
        for (const QString &piece : pieces)
            m_pane->appendAnswer(piece);
        QVERIFY(piecesIn(pieces.size()));
        const QStringList lines = text().split(u'\n');
        for (const QString &line : lines) {
            QVERIFY(line.size() <= OLInterpreterViewController::maxLineLength + 1);
            QVERIFY(line.isEmpty() || !line.front().isLowSurrogate());
        }
        QCOMPARE(QString(text()).remove(u'\n'), pieces.join(QString()).remove(u'\n'));
        QCOMPARE(m_pane->answerRanges().last().end(), text().size());
    }
};

QTEST_MAIN(TestInterpreterViewController)
#include "tst_interpreterviewcontroller.moc"
