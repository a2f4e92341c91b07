#pragma once

#include "cli/OLEvalReport.h"
#include "session/OLInterpreterSession.h"
#include "session/OLSessionClients.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>

class OLUserDefaults;

// Evaluates a whole text the way the editor's "evaluate the whole file" does:
// the declaration scanner cuts the next declaration after the evaluated
// prefix, an interpreter session (committer 0) writes it, and the session's
// verdict decides; a success takes the next step, a failure ends the run.
//
// It stands in for the editor, the console and the window of the session:
// the verdict is the session's first report after a commit. A declaration's
// answer is what the console would show from its commit to the end of the
// event-loop turn that brought a success, or, after a failure, until the
// output goes quiet. The end of the interpreter, however it came, fails the
// declaration it was given; one that ends before it has answered anything
// (come to its first prompt, or given a verdict), or cannot be run at all,
// makes the status Trouble.
class OLEvalRunner final : public QObject,
                           public OLSessionEditor,
                           public OLSessionConsole,
                           public OLSessionWindow
{
    Q_OBJECT

public:
    enum Status { AllAccepted = 0, OneFailed = 1, Trouble = 2 };

    // text (kept by reference): the editor's form of the file, named `name`
    // in messages. The session runs the preferred interpreter of `defaults`.
    OLEvalRunner(OLUserDefaults &defaults, const QString &name, const QString &text,
                 std::optional<std::chrono::milliseconds> timeout);
    ~OLEvalRunner() override;

    // Starts the interpreter; the evaluation goes on in the event loop.
    void start();

    void setLastCommitSuccess(bool success) override;
    void resetEvaluated() override {}
    void appendAnswer(const QString &text) override;
    void appendError(const QString &text) override;
    void closeWindow() override;
    void interpreterEndedAtStart() override;
    void interpreterActivityChanged(OLInterpreterActivity activity) override;
    void interpreterStarted() override;

Q_SIGNALS:
    // Each declaration once its verdict is in, the failed one included.
    void evaluated(const OLEvalRecord &record);
    // Once, last. The message names the cause of a failure that is not the
    // interpreter's verdict (a timeout, an interpreter that is gone).
    void finished(int status, const QString &message);

private:
    enum class Phase {
        Starting,    // waiting for the interpreter to stand at its first prompt
        Pending,     // a declaration is written and has no verdict
        Accepted,    // its piece comes in this turn; the next is written in the next one
        Interrupted, // no verdict in time: waiting for the interrupt's answer
        Settling,    // failed: the rest of its answer may still come
        Ending,      // the last record goes out when the event loop turns
        Done,
    };

    void startupEnded();
    void interpreterEnded();
    void step();
    void settle();
    void timedOut();
    void fail(const QString &message);
    void end(int status, const QString &message);
    void turnEnded();
    void take(const QString &text, bool error);
    QString startFailure() const;
    QString where(const OLEvalRecord &record) const;
    void later(void (OLEvalRunner::*call)());

    OLInterpreterSession m_session;
    QString m_name;
    const QString &m_text;
    std::optional<std::chrono::milliseconds> m_timeout;
    OLLineCounter m_lines;
    qsizetype m_interpreted = 0;
    OLEvalRecord m_current;
    std::optional<OLEvalRecord> m_failed;
    Phase m_phase = Phase::Starting;
    int m_status = AllAccepted;
    QString m_message;
    QString m_startupErrors;
    QString m_failure; // what a failure without the interpreter's verdict was
    bool m_inEval = false;
    bool m_verdictInEval = false;
    bool m_answered = false;    // the interpreter has come to its prompt, or given a verdict
    bool m_failedFirst = false; // the failure came before it had answered anything
    bool m_exited = false;      // it ended by itself
    QTimer m_startupTimer;
    QTimer m_timeoutTimer;
    QTimer m_interruptTimer;
    QTimer m_quietTimer;
    QTimer m_settleTimer;
    QTimer m_turnTimer;
};
