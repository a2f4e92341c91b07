#pragma once

#include "editor/OLDeclaration.h"
#include "editor/OLEvaluatedPrefix.h"
#include "highlight/OLTextStorage.h"
#include "session/OLSessionClients.h"
#include "settings/OLUserDefaults.h"

#include <QTextEdit>
#include <QWidget>

#include <limits>
#include <optional>
#include <vector>

class OLEditorWindow;
class OLFindBar;
class OLLineNumberGutter;
class OLTextView;
class QTimer;

// A range of the editor text in UTF-16 units. A location with all bits set
// stands for no range.
struct OLTextRange {
    static constexpr quint64 noLocation = std::numeric_limits<quint64>::max();

    quint64 location = noLocation;
    quint64 length = 0;

    bool isSet() const { return location != noLocation; }
    bool contains(quint64 position) const { return isSet() && position >= location && position - location < length; }
    friend bool operator==(const OLTextRange &, const OLTextRange &) = default;
};

// The editor pane: the source text of one document window and its stepwise
// evaluation. The evaluated prefix [0, interpreted) is marked light green, the
// declaration awaiting its report light blue, one reported as failed light
// red; the rest of the text is coloured as Standard ML after every change.
//
// The green text is what the interpreter holds. An edit inside it, Undo Step
// and Retract to Cursor retract: the evaluated part shrinks to the
// declarations before the edit (OLEvaluatedPrefix), and when the interpreter
// holds more, a new one takes its place and the kept declarations are
// replayed into it, blue until each is answered again, the text after them
// open to edits meanwhile.
//
// The errors and warnings the interpreter reported about a declaration are
// underlined with a wave where it placed them (errors in the error colour,
// warnings in orange), with the message as the tip. They move with the text
// when it is edited before them, and go when their declaration is edited,
// sent again or retracted, or the interpreter is reset; a replay keeps them.
class OLEditorViewController : public QWidget, public OLSessionEditor
{
    Q_OBJECT

public:
    // An error or warning, where it is in the text and in the console.
    struct Message {
        OLTextRange range;
        OLTextRange declaration;
        bool warning;
        QString text;
        qint64 shownFrom; // the console's output, as OLErrorLocation
        qint64 shownTo;
    };

    explicit OLEditorViewController(QWidget *parent = nullptr);
    ~OLEditorViewController() override;

    OLEditorWindow *windowController() const { return m_windowController; }
    void setWindowController(OLEditorWindow *window) { m_windowController = window; }

    OLTextView *textView() const { return m_textView; }
    const OLTextStorage &textStorage() const { return m_storage; }

    const OLStyleSet &fontAttributes() const { return m_fontAttributes; }
    // Everything is drawn anew in the style set's font and colours; the
    // evaluation marks stay.
    void setFontAttributes(const OLStyleSet &styles);

    // The line numbers beside the text; shown unless told otherwise.
    OLLineNumberGutter *lineNumbers() const { return m_lineNumbers; }
    void setShowsLineNumbers(bool show);

    qint64 interpreted() const { return m_evaluated.interpreted(); }
    const OLEvaluatedPrefix &evaluated() const { return m_evaluated; }
    OLTextRange pending() const { return m_pending; }
    OLTextRange error() const { return m_error; }
    // 0 none, 1 evaluating to the cursor, 2 evaluating the whole text.
    qint64 inLoop() const { return m_inLoop; }

    // The window's menu commands.
    void evalNextStep();
    void evalToCursor();
    void evalFile();
    void undoStep();
    void retractToCursor();
    void performFindPanel();

    std::optional<OLDeclaration> nextDeclaration() const;

    void setLastCommitSuccess(bool success) override;
    // Messages about the declaration pending, or about the one last judged
    // when they come after its verdict.
    void showMessages(const QList<OLErrorLocation> &messages) override;
    // In the order of their places.
    const std::vector<Message> &messages() const { return m_messages; }
    // Moves the cursor to the place of the next message after it (or the
    // previous one before it), around the end of the text; none when there
    // are no messages.
    const Message *goToMessage(bool forward);
    // Moves the cursor to the place of the message the console shows at
    // `shown`; none when it has no place in the text any more.
    const Message *revealMessage(qint64 shown);
    // Forgets the evaluated prefix, a pending declaration, a failure and a
    // running evaluation: a new interpreter knows none of them.
    void resetEvaluated() override;

    // Tells the window about the change, then drops the backgrounds of the
    // unevaluated rest and colours it again.
    void updateView();

    QString content() const { return m_storage.string(); }
    // Replaces the whole text without the edit check (a file read or read
    // again), and stops a running evaluation. The evaluated prefix and a
    // pending declaration stay when the new text begins with them; otherwise
    // the evaluation retracts to where the texts differ.
    void setContent(const QString &text);

    // Selects line n (1-based) without its terminator; false when there is
    // no such line.
    bool selectLine(qint64 line);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    const Message *goTo(const Message *message);
    // Moves the messages with an edit, and drops those of declarations it changed.
    void messagesEdited(qsizetype position, qsizetype removed, qsizetype added);
    void dropMessagesOf(OLTextRange declaration);
    // The waves and the find bar's matches, as the view's extra selections.
    void showMarks();
    void forgetEvaluation();
    void send(OLTextRange range, const QString &text);
    void replayNext();
    // Evaluates on, to the cursor (1) or to the end (2).
    void continueLoop(qint64 loop);
    // Keeps the first `keep` evaluated declarations, the last ending at `end`
    // at the latest; starts the replay when the interpreter holds more.
    void retract(qsizetype keep, qint64 end = OLEvaluatedPrefix::anywhere);
    void textEdited(qsizetype position);
    // The end of what the interpreter holds or is to hold: the kept
    // declarations and one on its way.
    qint64 evaluatedEnd() const;
    bool shouldChangeText(qsizetype location);
    bool insertNewline();
    void setMark(OLTextRange range, const OLColor &color);
    void unmark(qint64 from, qint64 to);
    // Colours [location, end) with the style set: the visible part now, the
    // rest in idle slices.
    void colourFrom(qsizetype location);
    void colourSlice();

    OLTextStorage m_storage;
    OLTextView *m_textView;
    OLLineNumberGutter *m_lineNumbers;
    OLFindBar *m_findBar;
    OLStyleSet m_fontAttributes;
    OLEvaluatedPrefix m_evaluated;
    OLTextRange m_pending;
    qint64 m_pendingTokensEnd = 0;
    OLTextRange m_error;
    qint64 m_inLoop = 0;
    OLEditorWindow *m_windowController = nullptr;
    std::vector<Message> m_messages;
    OLTextRange m_judged; // the declaration of the last verdict, while it stands as it was
    QList<QTextEdit::ExtraSelection> m_waves;
    QList<QTextEdit::ExtraSelection> m_matches;
    // Colours the rest of a long recolouring between events.
    QTimer *m_colourSlices;
};
