#pragma once

#include "session/OLInterpreterMode.h"
#include "session/PXShellWrapper.h"

#include <QCoreApplication>

#include <memory>
#include <vector>

struct OLAnswer;
class OLSessionConsole;
class OLSessionEditor;
class OLSessionWindow;
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
// within a bounded time when no prompt comes.
//
// Poly ML runs with "-i" (added when its arguments lack it): without it,
// it writes no prompts on a pipe. When Poly ML's error recovery waits at its
// continuation prompt for more input after a rejected declaration, the session
// interrupts it, and holds back new commits until the interruption is over, so
// the next declaration is not swallowed by the recovery.
//
// A reset leaves the old run to end in the background; its output goes to the
// console only, classified by its own mode. The end of any run but the current
// one, and a run that never started, leave the window open. An editor commit
// that no interpreter will answer fails at once. The session can go before its
// runs: it detaches from them, and they run on.
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
    // Writes text followed by ";\n".
    void eval(const QString &text, qint32 from);
    void resetEnvironment();
    void interruptEvaluation();

    qint32 lastCommitter() const { return m_lastCommitter; }
    OLInterpreterMode mode() const { return m_mode; }
    // A run stopped by a reset has not ended yet.
    bool willReset() const;

    void appendOutput(PXShellWrapper *wrapper, const QString &output) override;
    void appendError(PXShellWrapper *wrapper, const QString &error) override;
    void processStarted(PXShellWrapper *wrapper) override;
    void processFinished(PXShellWrapper *wrapper, int status) override;

private:
    struct Run;
    using Runs = std::vector<std::unique_ptr<Run>>;

    Runs::iterator findRun(const PXShellWrapper *wrapper);
    Run *runOf(const PXShellWrapper *wrapper);
    void writeHeldCommits(Run &run);
    void collected(Run &run);
    void quietAfterPrompt(Run &run);
    void deliver(const Run &run, const OLAnswer &answer);

    OLUserDefaults &m_defaults;
    OLSessionEditor &m_editor;
    OLSessionConsole &m_console;
    OLSessionWindow &m_window;
    std::shared_ptr<PXShellWrapper> m_olProcess;
    Runs m_runs; // every run not yet ended
    qint32 m_lastCommitter = OLEditorCommitter;
    OLInterpreterMode m_mode = OLMosML;
};
