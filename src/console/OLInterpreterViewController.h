#pragma once

#include "console/OLCommitHistory.h"
#include "highlight/OLTextStorage.h"
#include "session/OLSessionClients.h"
#include "settings/OLUserDefaults.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QList>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <memory>

class OLConsoleWindow;
class OLTextView;
class QKeyEvent;
class QLabel;
class QPropertyAnimation;

// The console pane: the conversation with the interpreter of one document
// window. Its text is a fixed part, [0, fixedLength), which holds everything
// committed or received and refuses every edit, and the unfixed input behind
// it, which the user types. Enter commits input that ends in ";" to the
// window. An arrow beside the text points at the line where the input begins.
//
// Interpreter output lands at the end of the fixed part, wherever the user's
// selection is: input the user has not committed yet stays the user's input,
// below the output, and a selection stays on the text it was on. Plain Up on
// the input's first line and Down on its last walk the commit history; keys
// typed and text pasted with the cursor in the fixed part go to the end of
// the input.
// Output is drawn at once after a pause and at every frame while it keeps
// coming; the pieces that arrive between two frames are drawn in one, each
// still recorded and coloured as its own answer or error. A large paste goes
// into the input in slices (see OLTextView), and output waits for it. Long
// lines wrap on the screen; the text keeps them as the interpreter wrote
// them. The text is bounded: the oldest output is trimmed, with a note line
// in its place, once the text grows beyond the configured maximum.
// A double click on output, or Enter with the cursor on it, shows in the
// editor the place of the message there.
class OLInterpreterViewController : public QWidget, public OLSessionConsole, public OLUnfixedInput
{
    Q_OBJECT

public:
    using Range = OLTextStorage::Range;

    explicit OLInterpreterViewController(const OLUserDefaults &defaults, QWidget *parent = nullptr);
    ~OLInterpreterViewController() override;

    void setWindowController(OLConsoleWindow *window) { m_windowController = window; }
    OLConsoleWindow *windowController() const { return m_windowController; }
    OLTextView *textView() const { return m_inTextView; }
    QWidget *arrow() const;
    // The colours and traits the view draws.
    const OLTextStorage &textStorage() const { return *m_storage; }

    OLCommitHistory &history() { return *m_history; }
    void setHistory(std::unique_ptr<OLCommitHistory> history);

    qint64 fixedLength() const { return m_fixedLength; }
    // Which unit of the output (as OLSessionConsole counts it) stands at a
    // position of the text; -1 for text that is not output.
    qint64 outputAt(qsizetype position) const;
    const QList<Range> &answerRanges() const { return m_answerRanges; }
    const QList<Range> &errorRanges() const { return m_errorRanges; }
    const OLStyleSet &fontAttributes() const { return m_fontAttributes; }
    const OLStyleSet &answerFontAttributes() const { return m_answerFontAttributes; }

    // The opaque style set for the input (forInput) or the answer style set
    // for output; either ends in a full re-colouring.
    void setFontAttributes(const OLStyleSet &styles, bool forInput);

    // Queued and drawn at once, or with the next update while output keeps
    // coming.
    void appendAnswer(const QString &text) override;
    void appendError(const QString &text) override;
    // Output goes in by frames; then the view scrolls to it (or keeps the
    // user's place) and measures it for the scroll bars, at once or when
    // the window asks: this does that now, false when nothing waits.
    bool showOutput();
    // Output queued and not in the text yet, in UTF-16 units: a reader that
    // holds back while this is large lets a flood wait in its pipe.
    qsizetype queuedOutputLength() const { return m_pendingUnits; }

    // The whole text becomes the fixed part.
    void fix();
    // The fixed part goes; the input and the history stay.
    void clearFixed();
    void backInHistory();
    void forwardInHistory();
    // Colours the unfixed input with the opaque style set.
    void updateView();
    // Colours the whole text, then each recorded answer and error range with
    // the answer style set and the configured font traits.
    void updateViewAll();
    QString replaceUnfixedWithString(const QString &text) override;
    void selectUnfixed();

    // The line, counted from 1, on which the unfixed input begins.
    qsizetype inputLine() const;
    void relocateArrow(bool animated);
    void relocateArrowUnanimated() { relocateArrow(false); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    struct Output {
        QString text;
        bool error;
        qsizetype done = 0; // units already in the text
        qsizetype left() const { return text.size() - done; }
    };

    bool shouldChangeText(qsizetype location) const { return location >= m_fixedLength; }
    bool activateOutput(qsizetype position);
    void textDidChange();
    bool insertNewline();
    // Walks the history for a plain Up or Down at the input's edge lines;
    // false when the key is not such a one.
    bool recallsHistory(const QKeyEvent *event);
    void queueOutput(const QString &text, bool error);
    // Adds the queued output at the end of the text and shows it.
    void flushOutput();
    // Adds the queued output, or what goes in before the deadline, and
    // shows it, or has it wait for the window (not for a deadline that
    // never expires).
    void addOutput(const QDeadlineTimer &deadline);
    // Adds the next slice of the first queued piece at the end of the text,
    // as (part of) an answer (italic) or an error (bold), coloured.
    void addOutputSlice();
    // Drops the oldest whole lines of the fixed part, up to a slice of them,
    // once the fixed part is longer than the configured maximum; returns how
    // many lines on the screen fewer there are.
    bool needsTrim() const;
    int trimToMaximum();
    qsizetype length() const { return m_storage->length(); }

    const OLUserDefaults &m_defaults;
    OLTextView *m_inTextView;
    QWidget *m_gutter;
    QLabel *m_arrow;
    QPropertyAnimation *m_arrowAnimation;
    std::unique_ptr<OLTextStorage> m_storage;
    OLStyleSet m_fontAttributes;
    OLStyleSet m_answerFontAttributes;
    QList<Range> m_answerRanges;
    QList<Range> m_errorRanges;
    qint64 m_fixedLength = 0;
    std::unique_ptr<OLCommitHistory> m_history;
    OLConsoleWindow *m_windowController = nullptr;

    std::deque<Output> m_pendingOutput;
    qsizetype m_pendingUnits = 0;
    // Where output stands in the text: stretches of the text, each with the
    // unit of output it begins with. The next unit to go in is m_shownUnits.
    struct Shown {
        qsizetype location;
        qsizetype length;
        qint64 output;
    };
    std::vector<Shown> m_shown;
    qint64 m_shownUnits = 0;
    // Queued output was dropped unseen, as trimming would have dropped it.
    bool m_droppedOutput = false;
    QTimer m_flushTimer;
    QElapsedTimer m_sinceFlush;
    // Output in the text that the view has still to scroll to: what to do.
    struct Show {
        bool follows;     // the cursor stood at the end
        int top, left;    // otherwise the place the user read
        int trimmedLines; // lines trimmed above it since
    };
    std::optional<Show> m_pendingShow;
    QTimer m_showTimer;
};
