#pragma once

#include "session/OLInterpreterMode.h"
#include "session/OLSessionClients.h"
#include "session/PXShellWrapper.h"

#include <QCoreApplication>

#include <memory>
#include <vector>

struct OLAnswer;
class OLUserDefaults;

// Who wrote the last text to the interpreter.
enum OLCommitter : qint32 {
    OLEditorCommitter = 0,
    OLConsoleCommitter = 1,
};

// One document's interpreter run: starts the preferred interpreter, writes
// the commits of the editor and the console to it, collects and classifies
// what it answers (OLAnswerCollector), resets and interrupts it.
//
// Output is collected into whole answers, so it reaches the console a little
// later than it is read: at once when the interpreter stands at its prompt,
// after a short quiet time when the prompt cannot be told from output, and
// within a bounded time when no prompt comes. What the interpreter writes as
// it starts is shown and reported to nobody, so a commit may be written at
// once: its verdict is its own answer's.
//
// Poly ML runs with "-i" (added when its arguments lack it): without it,
// it writes no prompts on a pipe. When Poly ML's error recovery waits at its
// continuation prompt for more input after a rejected declaration, the session
// interrupts it, and holds back new commits until the interruption is over, so
// the next declaration is not swallowed by the recovery.
//
// A replay (the editor's retract) starts a new run like a reset, without
// forgetting the editor's evaluation: the editor writes its kept declarations
// again, and their answers, with the new interpreter's banner, are folded
// into one note when the editor says the replay is over; errors are shown.
// The note says when commits from the console were lost with the old run.
//
// A reset leaves the old run to end in the background; its output goes to the
// console only, classified by its own mode. An interpreter stopped by the
// session (a reset, an ignored interrupt) that does not end soon is killed.
// An editor commit that no interpreter will answer fails at once. The session
// can go before its runs: it detaches from them and terminates them (SIGTERM,
// SIGKILL after a grace time) without waiting.
//
// Misbehaving interpreters:
// - One that has not come back to its prompt a while after a commit is
//   reported busy to the window, and idle again when it comes back. (Without
//   known prompts, any output counts as coming back.)
// - An interrupt that has had its time without bringing the interpreter back
//   to its prompt makes the next interrupt end it: SIGTERM, then SIGKILL
//   after a grace period, each with a note in the console.
// - A commit that the interpreter had not answered at its prompt when it
//   ended has failed, whatever it wrote before it ended.
// - How the current interpreter ended decides about the window. One that
//   exited by itself closes it through the ordinary path (which asks about
//   unsaved changes), as one that quits should. One killed by a signal, from
//   outside or after an ignored interrupt, leaves it open with a note in the
//   console, so that nothing of the user's is closed without their say; a
//   reset starts a new one. The end of any other run, and a run that never
//   started, leave the window open.
// - One that ended before it was ready (before its first prompt; without
//   known prompts, before anything was written to it) would do so again at
//   every start: what it wrote is shown as an error with its exit status and
//   where to choose another interpreter, and the window stays open. So does a
//   command line that cannot be run, which starts nothing.
class OLInterpreterSession final : public PXShellWrapperDelegate
{
    Q_DECLARE_TR_FUNCTIONS(OLInterpreterSession)

public:
    OLInterpreterSession(OLUserDefaults &defaults, OLSessionEditor &editor, OLSessionConsole &console,
                         OLSessionWindow &window);
    ~OLInterpreterSession();

    OLInterpreterSession(const OLInterpreterSession &) = delete;
    OLInterpreterSession &operator=(const OLInterpreterSession &) = delete;

    // A new run from the stored command line; the previous one is left running.
    void startProcess();
    // Writes text followed by ";\n" (or "\n" when it ends in ";").
    // `firstLine` is the line the text begins on, for messages about it.
    // A declaration that the interpreter would wait on for ever, because it
    // is left open and the interpreter prompts for no more, is not written:
    // it fails with a note that says what is open.
    void eval(const QString &text, qint32 from, qsizetype firstLine = 1);
    void resetEnvironment();
    void restartForReplay();
    // `replayed` of the `kept` declarations stand in the new interpreter.
    void endReplay(qsizetype replayed, qsizetype kept);
    // SIGINT; or, when the last interrupt has been ignored, ends the interpreter.
    void interruptEvaluation();

    qint32 lastCommitter() const { return m_lastCommitter; }
    OLInterpreterMode mode() const { return m_mode; }
    // A run stopped by a reset has not ended yet.
    bool willReset() const;
    OLInterpreterActivity activity() const { return m_activity; }
    // The last interrupt has had its time and the interpreter is not back at
    // its prompt: interruptEvaluation() would now end it.
    bool interruptIgnored() const;

    void appendOutput(PXShellWrapper *wrapper, const QString &output) override;
    void appendError(PXShellWrapper *wrapper, const QString &error) override;
    void processStarted(PXShellWrapper *wrapper) override;
    void processFinished(PXShellWrapper *wrapper, int status) override;

private:
    struct Run;
    using Runs = std::vector<std::unique_ptr<Run>>;

    Runs::iterator findRun(const PXShellWrapper *wrapper);
    Run *runOf(const PXShellWrapper *wrapper);
    bool isCurrent(const Run &run) const;
    void writeHeldCommits(Run &run);
    bool confirmsPrompt(const Run &run) const;
    void collected(Run &run);
    void quietAfterPrompt(Run &run);
    // The collector stands at the prompt: its answer goes out.
    void answered(Run &run);
    // What is delivered: output shown before the prompt, a whole answer, or
    // the start-up text.
    enum class Part { Early, Whole, Startup };
    void deliver(Run &run, const OLAnswer &answer, Part part = Part::Early);
    // Output about to be shown goes to the transcript of the commit being
    // answered, whose errors and warnings are found when it is whole (and
    // told to the editor unless the answer is folded into a replay's note).
    void transcribe(Run &run, const QString &text, bool error);
    void locateMessages(Run &run, bool tell);
    // The interpreter has gone on to the next commit.
    void commitDone(Run &run);
    void awaitPrompt(Run &run);
    void backAtPrompt(Run &run);
    void stop(Run &run);
    void kill(Run &run);
    void setActivity(OLInterpreterActivity activity);
    // Console texts of the session's own; a note starts on a line of its own.
    void show(const QString &text, bool error);
    void note(const QString &text, bool error = true);
    // Where the user fixes an interpreter that cannot run.
    static QString chooseAnother();

    OLUserDefaults &m_defaults;
    OLSessionEditor &m_editor;
    OLSessionConsole &m_console;
    OLSessionWindow &m_window;
    std::shared_ptr<PXShellWrapper> m_olProcess;
    Runs m_runs; // every run not yet ended
    qint32 m_lastCommitter = OLEditorCommitter;
    bool m_editorAwaitsVerdict = false; // an editor commit has had no verdict yet
    OLInterpreterMode m_mode = OLMosML;
    OLInterpreterActivity m_activity = OLInterpreterActivity::Idle;
    bool m_consoleAtLineStart = true;
    qsizetype m_consoleCommits = 0;     // to the current run
    qsizetype m_lostConsoleCommits = 0; // to runs a replay replaced, not yet noted
    qint64 m_shownUnits = 0;            // of output given to the console
};
