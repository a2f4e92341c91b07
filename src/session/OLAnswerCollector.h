#pragma once

#include "session/OLInterpreterMode.h"

#include <QString>
#include <QStringView>

// What the session does with collected output.
struct OLAnswer {
    QString text;        // to show in the console now, prompts stripped; may be empty
    bool error = false;  // verdict on the whole answer so far
    bool report = false; // tell the editor the verdict now
};

// Collects an interpreter's standard output into answers. An interpreter
// writes one answer in many reads; an answer is complete when the interpreter
// stands at its primary prompt again, and only then is it classified. Poly ML
// writes a prompt for every line it reads, so the answer to a commit of n lines
// ends at its n-th prompt (or at the first after a rejection, since Poly ML
// then drops the rest of its input).
//
// The collector knows no clock: it says what the output looks like, and the
// session keeps the timers (see OLInterpreterSession).
//
// What an interpreter writes as it starts, up to its first primary prompt, is
// an answer of its own that is reported to nobody: a commit written before
// the interpreter is ready gets the answer after that prompt as its verdict,
// even when both come in one read.
//
// The editor hears of each answer once. A success is only reported at the
// prompt, so a stepwise evaluation never runs ahead of the interpreter. Output
// that is shown early because no prompt came (a long computation, an
// interpreter waiting for more input) is reported early only when it already
// holds a failure; otherwise the declaration stays pending until the prompt.
// An interpreter without known prompts (UNKNOWN) has each early piece reported
// as its answer. The first answer after a commit is reported even when it is
// empty: a declaration that binds nothing visible still succeeded.
//
// A long answer is not kept whole: once much of it has been shown, the shown
// part is judged (its beginning, and each line by its beginning) and dropped,
// up to a short tail. So an interpreter that writes without end costs bounded
// memory, and judging the answer costs time in proportion to what is held.
class OLAnswerCollector
{
public:
    enum class State {
        Collecting,   // more output is due
        Complete,     // at the primary prompt: takeAnswer()
        PromptLikely, // ends with the prompt where it cannot be told from output
                      // ("no newline- "): complete after a short quiet time
        Stuck,        // waits at its continuation prompt for input that will not
                      // come (Poly ML's error recovery, or a declaration left
                      // open): interrupt it
        AtContinuation, // at its continuation prompt: stuck once it has
                        // taken all of its input and waits to read more
    };

    explicit OLAnswerCollector(OLInterpreterMode mode);

    OLInterpreterMode mode() const { return m_mode; }
    // Whether the mode has a prompt that tells when an answer is complete.
    bool knowsPrompts() const { return !m_primary.isEmpty(); }

    // Text written to the interpreter, as written.
    void noteCommit(QStringView text);
    State feed(QStringView piece);
    State state() const { return m_state; }
    bool hasUnshown() const { return m_shown < m_text.size(); }
    qsizetype unshownSize() const { return m_text.size() - m_shown; }
    // Input must wait while Poly ML's error recovery is being stopped: the
    // recovery would swallow it, or the interruption would hit it.
    bool holdsInput() const { return m_state == State::Stuck || m_awaitingInterruptNote; }

    // The whole answer; the collector starts afresh with what came after it
    // (only the start-up text can be followed by more in the same read).
    OLAnswer takeAnswer();
    // Standard error written meanwhile, as it comes (a word at a time, from
    // Alice ML): whole lines that report a failure fail the answer.
    void noteError(QStringView text);

    // The interpreter has ended: what is left, as one answer. A commit it
    // had not answered at the prompt was not accepted, whatever it wrote:
    // it has failed, unless the interpreter exited with success (a program
    // that ends itself so, as test harnesses do). Nothing else is reported.
    OLAnswer takeFinalAnswer(bool exitedWithSuccess);
    // A commit has been written whose answer has not been taken yet.
    bool commitPending() const { return m_commitPending; }
    // The output so far is the interpreter's start-up text.
    bool startingUp() const { return m_startup; }
    // What has come and not been shown; the answer stays open (except for
    // UNKNOWN, which has no prompt to close it).
    OLAnswer takeUnshown();
    // The session has interrupted a stuck interpreter: the interpreter's note
    // of the interruption is noise and is dropped when it comes, and the
    // commit being answered has failed.
    void noteRecoveryInterrupt();
    // The compiler has rejected the declaration being answered.
    bool rejected() const { return m_rejected; }
    // The user has interrupted the interpreter. A commit being answered has
    // failed, whatever its answer says: the interrupt may have cut off the
    // interpreter's note of it ("Exception-> ", or a bare prompt, when Poly
    // ML gets two in quick succession), so a prompt after anything counts.
    void noteInterrupt();

private:
    void scanPrompts();
    State evaluate() const;
    // The verdict on the whole answer so far, and whether it holds more than prompts.
    bool isError(QStringView stripped) const;
    // A failure reported on standard error; `whole`: the last line is complete.
    bool errorReported(bool whole) const;
    bool hasText(QStringView stripped) const { return !stripped.isEmpty() || m_droppedText; }
    void compact();
    void restart();
    OLAnswer takeStartup();

    OLInterpreterMode m_mode;
    QStringView m_primary;      // the prompt of a new declaration; empty: none known
    QStringView m_continuation; // the prompt inside a declaration
    QStringView m_rejection;    // rejectionMarker() of the mode
    QStringView m_interruptNote; // what it writes when interrupted while reading
    bool m_uniquePrompts = false; // the prompts cannot be output
    bool m_promptPerLine;       // a prompt for every line read (Poly ML)

    bool m_startup = false;      // the answer so far is the start-up text
    qsizetype m_startupEnd = -1; // it ends here, at its prompt; the rest is the next answer's
    QString m_text;              // the answer so far
    qsizetype m_shown = 0;       // m_text[0, m_shown) has been shown
    bool m_reported = false;     // the editor has been told about this answer
    bool m_commitPending = false;
    qsizetype m_promptsDue = 0;  // prompt-per-line modes: prompts still to come
    qsizetype m_continuationsDue = 0; // Alice ML: continuation prompts still to come
    QChar m_lastCommitted;       // the last unit written to the interpreter
    qsizetype m_scanPos = 0;     // prompts are found up to here
    bool m_atPromptPosition = true;
    qsizetype m_lastPromptEnd = -1;
    qsizetype m_rejectionScanFrom = 0;
    bool m_rejected = false;
    bool m_awaitingInterruptNote = false;
    bool m_interrupted = false;  // the commit being answered was interrupted
    QString m_errorLine;         // the beginning of the last line of standard error
    bool m_errorReported = false; // a whole line of it reported a failure
    // A shown part of the answer has been dropped (compact()):
    bool m_compacted = false;
    bool m_droppedError = false; // the verdict on the start and the lines dropped
    bool m_droppedText = false;  // it held more than prompts
    bool m_midLine = false;      // m_text begins inside a line already judged
    State m_state = State::Collecting;
};
