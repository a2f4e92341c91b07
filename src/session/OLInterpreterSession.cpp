#include "session/OLInterpreterSession.h"

#include "session/OLAnswerCollector.h"
#include "session/OLSessionClients.h"
#include "settings/OLUserDefaults.h"

#include <QTimer>

#include <algorithm>

namespace {
// How long output that ends like a prompt must stay quiet to count as at the
// prompt: when the prompt cannot be told from output, and when Poly ML seems to
// owe prompts for lines written but some may have hidden after a print. The
// second is long, since a later line of the declaration may be computing.
constexpr int promptQuietMs = 30;
constexpr int unsurePromptQuietMs = 1000;
// Output that reaches no prompt is shown within this time.
constexpr int showWithinMs = 250;
} // namespace

struct OLInterpreterSession::Run {
    Run(std::shared_ptr<PXShellWrapper> runWrapper, OLInterpreterMode mode)
        : wrapper(std::move(runWrapper))
        , collector(mode)
    {
        quietTimer.setSingleShot(true);
        showTimer.setSingleShot(true);
        showTimer.setInterval(showWithinMs);
    }

    std::shared_ptr<PXShellWrapper> wrapper;
    OLAnswerCollector collector;
    QTimer quietTimer; // runs while the output ends like a prompt
    QTimer showTimer;  // runs while output waits to be shown
    QStringList heldCommits;
};

OLInterpreterSession::OLInterpreterSession(OLUserDefaults &defaults, OLSessionEditor &editor,
                                           OLSessionConsole &console, OLSessionWindow &window)
    : m_defaults(defaults)
    , m_editor(editor)
    , m_console(console)
    , m_window(window)
{
}

OLInterpreterSession::~OLInterpreterSession()
{
    for (const auto &run : m_runs)
        run->wrapper->setDelegate(nullptr);
}

void OLInterpreterSession::startProcess()
{
    OLCommandLine command = parsePreferredInterpreter(m_defaults.loadPreferredInterpreterPath());
    // Poly ML writes prompts on a pipe only in interactive mode.
    const QString interactive = QStringLiteral("-i");
    if (command.mode == OLPolyML && command.arguments.indexOf(interactive, 1) < 0)
        command.arguments.insert(1, interactive);
    m_mode = command.mode;

    auto wrapper = std::make_shared<PXShellWrapper>(
        QStringLiteral("."), QProcessEnvironment(QProcessEnvironment::InheritFromParent), command.arguments);
    auto run = std::make_unique<Run>(wrapper, m_mode);
    Run *started = run.get();
    QObject::connect(&run->quietTimer, &QTimer::timeout, [this, started] { quietAfterPrompt(*started); });
    QObject::connect(&run->showTimer, &QTimer::timeout,
                     [this, started] { deliver(*started, started->collector.takeUnshown()); });
    m_runs.push_back(std::move(run));
    m_olProcess = wrapper;
    wrapper->setDelegate(this);
    wrapper->setOutputStringEncoding(QStringConverter::Utf8);
    wrapper->startProcess();
}

void OLInterpreterSession::eval(const QString &text, qint32 from)
{
    const QString commit = text + QStringLiteral(";\n");
    m_lastCommitter = from;
    Run *run = runOf(m_olProcess.get());
    if (!run) {
        // No interpreter runs: a declaration that waited for an answer would
        // keep the editor locked.
        if (from == OLEditorCommitter)
            m_editor.setLastCommitSuccess(false);
        return;
    }
    run->heldCommits.append(commit);
    writeHeldCommits(*run);
}

void OLInterpreterSession::writeHeldCommits(Run &run)
{
    if (run.collector.holdsInput())
        return;
    for (const QString &commit : std::as_const(run.heldCommits)) {
        run.collector.noteCommit(commit);
        run.wrapper->appendInput(commit);
    }
    run.heldCommits.clear();
}

void OLInterpreterSession::resetEnvironment()
{
    if (m_olProcess)
        m_olProcess->stopProcess();
    m_console.appendAnswer(tr("\n\n###reset environment\n\n"));
    m_editor.resetEvaluated();
    m_lastCommitter = OLConsoleCommitter;
    startProcess();
}

void OLInterpreterSession::interruptEvaluation()
{
    if (m_olProcess)
        m_olProcess->interruptProcess();
}

bool OLInterpreterSession::willReset() const
{
    return std::any_of(m_runs.cbegin(), m_runs.cend(),
                       [this](const auto &run) { return run->wrapper != m_olProcess; });
}

void OLInterpreterSession::appendOutput(PXShellWrapper *wrapper, const QString &output)
{
    if (Run *run = runOf(wrapper)) {
        run->collector.feed(output);
        collected(*run);
        writeHeldCommits(*run);
    }
}

void OLInterpreterSession::appendError(PXShellWrapper *, const QString &error)
{
    m_console.appendError(error);
}

void OLInterpreterSession::processStarted(PXShellWrapper *)
{
}

void OLInterpreterSession::processFinished(PXShellWrapper *wrapper, int status)
{
    const auto it = findRun(wrapper);
    if (it == m_runs.end())
        return;
    std::unique_ptr<Run> run = std::move(*it);
    m_runs.erase(it);
    // Commits held back were never written: they stay unanswered.
    for (const QString &commit : std::as_const(run->heldCommits))
        run->collector.noteCommit(commit);
    deliver(*run, run->collector.takeFinalAnswer());
    const bool interpreterEnded = run->wrapper == m_olProcess && status != PXShellWrapper::notLaunchedStatus;
    run.reset();
    // Last: the window may close and take the session with it.
    if (interpreterEnded)
        m_window.closeWindow();
}

OLInterpreterSession::Runs::iterator OLInterpreterSession::findRun(const PXShellWrapper *wrapper)
{
    return std::find_if(m_runs.begin(), m_runs.end(),
                        [wrapper](const auto &run) { return run->wrapper.get() == wrapper; });
}

OLInterpreterSession::Run *OLInterpreterSession::runOf(const PXShellWrapper *wrapper)
{
    const auto it = findRun(wrapper);
    return it == m_runs.end() ? nullptr : it->get();
}

void OLInterpreterSession::collected(Run &run)
{
    using State = OLAnswerCollector::State;
    switch (run.collector.state()) {
    case State::Complete:
        run.quietTimer.stop();
        run.showTimer.stop();
        deliver(run, run.collector.takeAnswer());
        return;
    case State::PromptLikely:
    case State::Stuck:
        run.quietTimer.start(promptQuietMs);
        break;
    case State::PromptUnsure:
        run.quietTimer.start(unsurePromptQuietMs);
        break;
    case State::Collecting:
        run.quietTimer.stop();
        break;
    }
    if (run.collector.hasUnshown() && !run.showTimer.isActive())
        run.showTimer.start();
}

void OLInterpreterSession::quietAfterPrompt(Run &run)
{
    if (run.collector.state() == OLAnswerCollector::State::Stuck) {
        // Poly ML's error recovery waits for the input that would end the
        // rejected declaration and would swallow the next one: stop it.
        run.collector.noteRecoveryInterrupt();
        run.wrapper->interruptProcess();
        return;
    }
    run.showTimer.stop();
    deliver(run, run.collector.takeAnswer());
}

void OLInterpreterSession::deliver(const Run &run, const OLAnswer &answer)
{
    // The editor first: on a success it may write its next declaration at once.
    if (answer.report && run.wrapper == m_olProcess && m_lastCommitter == OLEditorCommitter)
        m_editor.setLastCommitSuccess(!answer.error);
    if (answer.text.isEmpty())
        return;
    if (answer.error)
        m_console.appendError(answer.text);
    else
        m_console.appendAnswer(answer.text);
}
