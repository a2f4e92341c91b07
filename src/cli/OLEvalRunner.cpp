#include "cli/OLEvalRunner.h"

#include "editor/OLDeclaration.h"

using namespace std::chrono_literals;

namespace {
// The first declaration is written when the interpreter stands at its first
// prompt, so that what it writes as it starts is nobody's answer, and an
// interpreter that cannot start says so before anything is written. The
// session tells when that is for the interpreters whose prompts it knows; an
// interpreter that takes longer than this gets its first declaration anyway.
// An interpreter of no known kind may have a banner or not: its first piece
// of output, or a short wait, ends the start.
std::chrono::milliseconds startupWait(OLInterpreterMode mode)
{
    return mode == OLUnknownMode ? 250ms : 10s;
}
// After an interrupt, how long the interpreter may take to answer it.
constexpr auto interruptAnswerWait = 2s;
// A failure can be reported before its answer is complete (when no prompt
// came for a while); the rest is taken until the output is this quiet.
constexpr auto settleQuiet = 100ms;
constexpr auto settleAtMost = 1s;

QString seconds(std::chrono::milliseconds time)
{
    return QString::number(double(time.count()) / 1000.0);
}
} // namespace

OLEvalRunner::OLEvalRunner(OLUserDefaults &defaults, const QString &name, const QString &text,
                           std::optional<std::chrono::milliseconds> timeout)
    : m_session(defaults, *this, *this, *this)
    , m_name(name)
    , m_text(text)
    , m_timeout(timeout)
    , m_lines(text)
{
    for (QTimer *timer : {&m_startupTimer, &m_timeoutTimer, &m_interruptTimer, &m_quietTimer, &m_settleTimer})
        timer->setSingleShot(true);
    connect(&m_startupTimer, &QTimer::timeout, this, &OLEvalRunner::startupEnded);
    connect(&m_timeoutTimer, &QTimer::timeout, this, &OLEvalRunner::timedOut);
    connect(&m_interruptTimer, &QTimer::timeout, this, [this] {
        m_current.accepted = false;
        settle();
    });
    const auto settled = [this] { fail(m_failure); };
    connect(&m_quietTimer, &QTimer::timeout, this, settled);
    connect(&m_settleTimer, &QTimer::timeout, this, settled);
    // A zero timer fires once the event loop has finished its turn: after
    // the verdict's piece. The next declaration is written only then, so no
    // output of it can be taken for this one's, however the pipes are read.
    // (A posted event would cost system calls each time.)
    m_turnTimer.setSingleShot(true);
    m_turnTimer.setInterval(0);
    connect(&m_turnTimer, &QTimer::timeout, this, &OLEvalRunner::turnEnded);
}

OLEvalRunner::~OLEvalRunner() = default;

void OLEvalRunner::start()
{
    m_session.startProcess();
    m_startupTimer.start(startupWait(m_session.mode()));
}

void OLEvalRunner::setLastCommitSuccess(bool success)
{
    if (m_inEval && m_session.activity() == OLInterpreterActivity::Ended) {
        // The session has no interpreter to write to.
        m_verdictInEval = true;
        return;
    }
    switch (m_phase) {
    case Phase::Starting:
        // Output before any commit: an interpreter of no known kind reports
        // its banner so.
        m_answered = true;
        // The banner's piece follows this report.
        later(&OLEvalRunner::startupEnded);
        return;
    case Phase::Pending:
    case Phase::Interrupted:
        m_timeoutTimer.stop();
        m_interruptTimer.stop();
        // An interrupted declaration has failed, whatever the interpreter says.
        if (!success || m_phase == Phase::Interrupted) {
            m_current.accepted = false;
            // The session also reports a failure when the interpreter ends
            // with a commit unanswered; if it ends, and had never answered,
            // it could not be started for this file.
            m_failedFirst = !m_answered;
            m_answered = true;
            settle();
            return;
        }
        m_answered = true;
        m_current.accepted = true;
        m_interpreted += qsizetype(m_current.length);
        m_phase = Phase::Accepted;
        m_turnTimer.start();
        return;
    case Phase::Accepted:
    case Phase::Settling:
    case Phase::Ending:
    case Phase::Done:
        // Like the editor: a report with nothing pending is ignored.
        return;
    }
}

void OLEvalRunner::appendAnswer(const QString &text)
{
    take(text, false);
}

void OLEvalRunner::appendError(const QString &text)
{
    take(text, true);
}

void OLEvalRunner::take(const QString &text, bool error)
{
    // Standard error before the first verdict most likely says why the
    // interpreter could not start.
    if (error && !m_answered)
        m_startupErrors += text;
    switch (m_phase) {
    case Phase::Starting:
        // The banner is nobody's answer.
        return;
    case Phase::Settling:
        m_quietTimer.start(settleQuiet);
        [[fallthrough]];
    case Phase::Pending:
    case Phase::Accepted:
    case Phase::Interrupted:
        m_current.answer.append({text, error});
        return;
    case Phase::Ending:
    case Phase::Done:
        return;
    }
}

void OLEvalRunner::closeWindow()
{
    // Told after Ended: the interpreter exited by itself.
    m_exited = true;
}

void OLEvalRunner::interpreterEndedAtStart()
{
    m_exited = true;
}

void OLEvalRunner::interpreterActivityChanged(OLInterpreterActivity activity)
{
    // How it ended is known once the session's report is over: closeWindow()
    // follows Ended when the interpreter exited by itself.
    if (activity == OLInterpreterActivity::Ended)
        later(&OLEvalRunner::interpreterEnded);
}

void OLEvalRunner::interpreterStarted()
{
    m_answered = true;
    later(&OLEvalRunner::startupEnded);
}

void OLEvalRunner::interpreterEnded()
{
    switch (m_phase) {
    case Phase::Starting:
        end(Trouble, startFailure());
        return;
    case Phase::Pending:
    case Phase::Interrupted:
    case Phase::Settling:
        // The session has failed the declaration it left; all of the output has come.
        m_current.accepted = false;
        // An interpreter that ends before it has answered anything could not
        // be started for this file.
        if (m_failedFirst || !m_answered)
            end(Trouble, startFailure());
        else
            fail(m_failure.isEmpty() ? QStringLiteral("%1: the interpreter has ended").arg(where(m_current))
                                     : m_failure);
        return;
    case Phase::Accepted:
        // Writing the next declaration finds it gone.
    case Phase::Ending:
    case Phase::Done:
        return;
    }
}

void OLEvalRunner::startupEnded()
{
    if (m_phase != Phase::Starting)
        return;
    m_startupTimer.stop();
    step();
}

void OLEvalRunner::step()
{
    const std::optional<OLDeclaration> declaration = nextDeclaration(m_text, m_interpreted);
    if (!declaration) {
        end(AllAccepted, QString());
        return;
    }
    m_current = m_lines.recordFor(*declaration);
    m_phase = Phase::Pending;
    if (m_timeout)
        m_timeoutTimer.start(*m_timeout);
    m_inEval = true;
    m_session.eval(m_current.text, OLEditorCommitter, m_current.line);
    m_inEval = false;
    if (!m_verdictInEval)
        return;
    // The interpreter has ended before the declaration could be written.
    m_current.accepted = false;
    if (m_answered)
        fail(QStringLiteral("%1: the interpreter has ended").arg(where(m_current)));
    else
        end(Trouble, startFailure());
}

void OLEvalRunner::settle()
{
    m_phase = Phase::Settling;
    m_quietTimer.start(settleQuiet);
    m_settleTimer.start(settleAtMost);
}

void OLEvalRunner::timedOut()
{
    if (m_phase != Phase::Pending)
        return;
    m_phase = Phase::Interrupted;
    m_failure = QStringLiteral("%1: no answer within %2 s; interrupted").arg(where(m_current), seconds(*m_timeout));
    m_session.interruptEvaluation();
    m_interruptTimer.start(interruptAnswerWait);
}

void OLEvalRunner::fail(const QString &message)
{
    m_failed = std::move(m_current);
    end(OneFailed, message);
}

void OLEvalRunner::end(int status, const QString &message)
{
    if (m_phase == Phase::Ending || m_phase == Phase::Done)
        return;
    m_phase = Phase::Ending;
    m_status = status;
    m_message = message;
    for (QTimer *timer : {&m_startupTimer, &m_timeoutTimer, &m_interruptTimer, &m_quietTimer, &m_settleTimer})
        timer->stop();
    m_turnTimer.start();
}

void OLEvalRunner::turnEnded()
{
    if (m_phase == Phase::Accepted) {
        Q_EMIT evaluated(m_current);
        step();
        return;
    }
    if (m_phase != Phase::Ending)
        return;
    m_phase = Phase::Done;
    if (m_failed)
        Q_EMIT evaluated(*m_failed);
    Q_EMIT finished(m_status, m_message);
}

// Why the interpreter has not answered at all: the first line it (or, when
// it could not be started, its wrapper) wrote to standard error.
QString OLEvalRunner::startFailure() const
{
    const QString cause = m_startupErrors.trimmed().section(u'\n', 0, 0);
    if (!m_exited)
        return cause.isEmpty() ? QStringLiteral("the interpreter is not running") : cause;
    return cause.isEmpty() ? QStringLiteral("the interpreter ended at start")
                           : QStringLiteral("the interpreter ended at start: ") + cause;
}

QString OLEvalRunner::where(const OLEvalRecord &record) const
{
    return m_name + u':' + QString::number(record.line);
}

void OLEvalRunner::later(void (OLEvalRunner::*call)())
{
    QMetaObject::invokeMethod(this, call, Qt::QueuedConnection);
}
