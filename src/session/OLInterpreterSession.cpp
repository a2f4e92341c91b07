#include "session/OLInterpreterSession.h"

#include "editor/OLDeclaration.h"
#include "session/OLAnswerCollector.h"
#include "session/OLPrompts.h"
#include "session/OLSessionClients.h"
#include "settings/OLUserDefaults.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <utility>

namespace {
// How long output that ends like a prompt must stay quiet to count as at the
// prompt where the prompt cannot be told from output, or to be looked at as
// waiting at the continuation prompt.
constexpr int promptQuietMs = 30;
// How often an interpreter at its continuation prompt is looked at again
// while it has not yet taken all of its input.
constexpr int continuationCheckMs = 100;
// Output that reaches no prompt is shown within this time, or at once when
// this much waits (an answer without end must not pile up unshown).
constexpr int showWithinMs = 250;
constexpr qsizetype showAtMost = 1 << 20;
// A commit whose answer has not reached the prompt after this time shows the
// interpreter busy.
constexpr int busyAfterMs = 2000;
// An interrupt not answered within this time has been ignored; an interpreter
// that does not end within the grace after SIGTERM is killed.
constexpr qint64 interruptAnswerMs = 1000;
constexpr int terminateGraceMs = 2000;
// Errors and warnings are looked for in this much of a commit's answer.
constexpr qsizetype transcriptLimit = 64 * 1024;

// How often an interpreter whose output ends like a prompt is looked at
// until it waits for input (see collected()): at once, then at growing
// intervals up to the last.
constexpr int inputCheckMaxMs = 100;

// Where the last token of a text ends when it is ";", past blanks and
// comments; -1 when it is another. Such a commit must not get a second ";":
// Moscow ML answers the empty phrase between them with a prompt of its own.
qsizetype semicolonEnd(QStringView text)
{
    qsizetype i = text.size();
    for (int depth = 0; i > 0;) {
        const QStringView rest = text.first(i);
        if (rest.endsWith(u"*)")) {
            ++depth;
            i -= 2;
        } else if (depth > 0 && rest.endsWith(u"(*")) {
            --depth;
            i -= 2;
        } else if (depth > 0 || rest.back().isSpace()) {
            --i;
        } else {
            break;
        }
    }
    return i > 0 && text.at(i - 1) == u';' ? i : -1;
}

// What a commit leaves open, in words, where the interpreter would wait for
// the rest of it without a word: Moscow ML writes no continuation prompt.
// (Alice ML ends a declaration at a line that ends in ";", and says what is
// wrong with it.) Empty when nothing is left open.
QString incompleteReason(OLInterpreterMode mode, const QString &text, qsizetype firstLine)
{
    if (mode != OLMosML)
        return QString();
    qsizetype line = firstLine;
    for (qsizetype at = 0; const std::optional<OLDeclaration> declaration = nextDeclaration(text, at);) {
        if (declaration->unclosed())
            return declaration->incompleteReason(line);
        line += declaration->text().count(u'\n');
        at += qsizetype(declaration->length());
    }
    return QString();
}

// Whether an answer ends at a prompt that printed output can end with too
// ("- "): then only an interpreter that waits for input is at its prompt.
bool promptMayBeOutput(OLInterpreterMode mode)
{
    const OLPrompts prompts = promptsOf(mode);
    return !prompts.unique && !prompts.primary.isEmpty();
}
} // namespace

struct OLInterpreterSession::Run {
    Run(std::shared_ptr<PXShellWrapper> runWrapper, OLInterpreterMode mode)
        : wrapper(std::move(runWrapper))
        , collector(mode)
        , locator(mode)
    {
        for (QTimer *timer : {&quietTimer, &showTimer, &busyTimer, &killTimer})
            timer->setSingleShot(true);
        showTimer.setInterval(showWithinMs);
        busyTimer.setInterval(busyAfterMs);
        killTimer.setInterval(terminateGraceMs);
    }

    std::shared_ptr<PXShellWrapper> wrapper;
    OLAnswerCollector collector;
    QTimer quietTimer; // runs while the output ends like a prompt
    QTimer showTimer;  // runs while output waits to be shown
    QTimer busyTimer;  // runs from a commit until the busy report
    QTimer killTimer;  // runs from SIGTERM until SIGKILL
    QStringList heldCommits; // each as its text and its end
    bool awaitingPrompt = false; // a commit has not brought it back to its prompt
    QElapsedTimer interrupted;   // valid from an interrupt until the prompt
    bool escalated = false;      // ended by the session after an ignored interrupt
    bool ready = false;          // has stood at its first prompt, or been written to
    bool replay = false;         // started for a replay that is not over
    int inputChecks = 0;         // found it busy since the last output
    bool laterCommit = false;    // a commit written after the one being answered

    // The commits written, in order; the first is being answered. What
    // was shown for it, where each piece of that began in the console's
    // output, and what was found in it.
    struct Commit {
        QString text;
        QString end;
        bool fromEditor;
    };
    OLErrorLocator locator;
    std::deque<Commit> commits;
    QString transcript;
    std::vector<std::pair<qsizetype, qint64>> pieces;
    QList<OLErrorLocation> messages;
    bool answeredFirst = false;
    bool firstFailed = false;
};

OLInterpreterSession::OLInterpreterSession(OLUserDefaults &defaults, OLSessionEditor &editor,
                                           OLSessionConsole &console, OLSessionWindow &window)
    : m_defaults(defaults)
    , m_editor(editor)
    , m_console(console)
    , m_window(window)
{
}

// The window goes: its interpreters end, without a word and without waiting.
OLInterpreterSession::~OLInterpreterSession()
{
    for (const auto &run : m_runs) {
        run->wrapper->setDelegate(nullptr);
        run->wrapper->terminateProcess(std::chrono::milliseconds(terminateGraceMs));
    }
}

void OLInterpreterSession::startProcess()
{
    OLCommandLine command = parsePreferredInterpreter(m_defaults.loadPreferredInterpreterPath());
    if (!command.error.isEmpty()) {
        m_olProcess.reset();
        note(command.error + u'\n' + chooseAnother());
        setActivity(OLInterpreterActivity::Ended);
        return;
    }
    requestPrompts(command);
    m_mode = command.mode;

    auto wrapper = std::make_shared<PXShellWrapper>(
        QStringLiteral("."), QProcessEnvironment(QProcessEnvironment::InheritFromParent), command.arguments);
    auto run = std::make_unique<Run>(wrapper, m_mode);
    Run *started = run.get();
    QObject::connect(&run->quietTimer, &QTimer::timeout, [this, started] { quietAfterPrompt(*started); });
    QObject::connect(&run->showTimer, &QTimer::timeout,
                     [this, started] { deliver(*started, started->collector.takeUnshown()); });
    QObject::connect(&run->busyTimer, &QTimer::timeout, [this, started] {
        if (isCurrent(*started))
            setActivity(OLInterpreterActivity::Busy);
    });
    QObject::connect(&run->killTimer, &QTimer::timeout, [this, started] { kill(*started); });
    m_runs.push_back(std::move(run));
    m_olProcess = wrapper;
    setActivity(OLInterpreterActivity::Idle);
    wrapper->setDelegate(this);
    wrapper->setOutputStringEncoding(QStringConverter::Utf8);
    wrapper->startProcess();
    if (const QString setup = promptSetupInput(m_mode); !setup.isEmpty())
        wrapper->appendInput(setup);
}

void OLInterpreterSession::eval(const QString &text, qint32 from, qsizetype firstLine)
{
    m_lastCommitter = from;
    Run *run = runOf(m_olProcess.get());
    const QString incomplete = run ? incompleteReason(m_mode, text, firstLine) : QString();
    if (!incomplete.isEmpty())
        note(incomplete + u' ' + tr("It has not been sent: the interpreter would wait for the rest of it.\n"));
    if (!run || !incomplete.isEmpty()) {
        // No interpreter runs, or none will answer: a declaration that waited
        // for an answer would keep the editor locked.
        if (from == OLEditorCommitter)
            m_editor.setLastCommitSuccess(false);
        return;
    }
    if (from == OLEditorCommitter)
        m_editorAwaitsVerdict = true;
    else
        ++m_consoleCommits;
    // The text and its end apart: a large text is never copied. Alice ML
    // reads on past a line that does not end in ";" and prompts for each
    // line: what follows the last ";" is not sent.
    const qsizetype end = semicolonEnd(text);
    const bool cut = m_mode == OLAliceML && end >= 0 && end < text.size();
    const QString written = cut ? text.first(end) : text;
    const QString ending = end >= 0 ? QStringLiteral("\n") : QStringLiteral(";\n");
    run->heldCommits.append({written, ending});
    // Without prompts there are no whole answers to look into.
    if (run->answeredFirst)
        commitDone(*run);
    if (run->collector.knowsPrompts())
        run->commits.push_back({written, ending, from == OLEditorCommitter});
    awaitPrompt(*run);
    writeHeldCommits(*run);
}

void OLInterpreterSession::writeHeldCommits(Run &run)
{
    if (run.collector.holdsInput())
        return;
    run.laterCommit = run.laterCommit || (run.collector.commitPending() && !run.heldCommits.isEmpty());
    if (run.heldCommits.isEmpty())
        return;
    for (const QString &commit : std::as_const(run.heldCommits))
        run.collector.noteCommit(commit);
    // A commit and its end in one write: an interpreter that read the text
    // alone would prompt for the rest.
    run.wrapper->appendInput(std::exchange(run.heldCommits, {}));
    // Without prompts, being written to is as ready as it gets.
    run.ready = run.ready || !run.collector.knowsPrompts();
}

void OLInterpreterSession::resetEnvironment()
{
    if (Run *run = runOf(m_olProcess.get()))
        stop(*run);
    show(tr("\n\n###reset environment\n\n"), false);
    m_editorAwaitsVerdict = false;
    m_editor.resetEvaluated();
    m_lastCommitter = OLConsoleCommitter;
    m_consoleCommits = m_lostConsoleCommits = 0;
    startProcess();
}

void OLInterpreterSession::restartForReplay()
{
    // What the replaced run still writes is of no use any more.
    if (Run *run = runOf(m_olProcess.get())) {
        run->replay = true;
        stop(*run);
    }
    m_editorAwaitsVerdict = false;
    m_lostConsoleCommits += std::exchange(m_consoleCommits, 0);
    startProcess();
    if (Run *run = runOf(m_olProcess.get()))
        run->replay = true;
}

void OLInterpreterSession::endReplay(qsizetype replayed, qsizetype kept)
{
    if (Run *run = runOf(m_olProcess.get()))
        run->replay = false;
    QString text = kept == 0 ? tr("Retracted everything: a new interpreter runs.")
        : replayed < kept    ? tr("Replayed %1 of %2 declarations in a new interpreter; the next one failed:")
                                .arg(replayed)
                                .arg(kept)
        : replayed == 1      ? tr("Replayed 1 declaration in a new interpreter.")
                             : tr("Replayed %1 declarations in a new interpreter.").arg(replayed);
    if (const qsizetype lost = std::exchange(m_lostConsoleCommits, 0))
        text += u' '
            + tr("What was typed in the console since the last reset (%1) was not replayed.")
                  .arg(lost == 1 ? tr("1 entry") : tr("%1 entries").arg(lost));
    note(text + u'\n', replayed < kept);
}

void OLInterpreterSession::interruptEvaluation()
{
    Run *run = runOf(m_olProcess.get());
    if (!run)
        return;
    if (run->escalated) {
        // Asked again while it is being terminated: no more grace.
        if (run->killTimer.isActive()) {
            run->killTimer.stop();
            kill(*run);
        }
    } else if (interruptIgnored()) {
        run->escalated = true;
        note(tr("The interpreter did not respond to the interrupt; terminating it.\n"));
        stop(*run);
    } else if (m_mode != OLAliceML || run->collector.commitPending()) {
        // An interrupt of an interpreter at its prompt is harmless and is
        // not counted; but Alice ML, interrupted there, ignores every later
        // interrupt.
        if (run->awaitingPrompt && !run->interrupted.isValid())
            run->interrupted.start();
        run->collector.noteInterrupt();
        run->wrapper->interruptProcess();
    }
}

bool OLInterpreterSession::willReset() const
{
    return std::any_of(m_runs.cbegin(), m_runs.cend(), [this](const auto &run) { return !isCurrent(*run); });
}

bool OLInterpreterSession::interruptIgnored() const
{
    const auto it = std::find_if(m_runs.cbegin(), m_runs.cend(), [this](const auto &run) { return isCurrent(*run); });
    return it != m_runs.cend() && !(*it)->escalated && (*it)->interrupted.isValid()
        && (*it)->interrupted.hasExpired(interruptAnswerMs);
}

void OLInterpreterSession::appendOutput(PXShellWrapper *wrapper, const QString &output)
{
    if (Run *run = runOf(wrapper)) {
        run->collector.feed(output);
        collected(*run);
        writeHeldCommits(*run);
    }
}

void OLInterpreterSession::appendError(PXShellWrapper *wrapper, const QString &error)
{
    Run *run = runOf(wrapper);
    // Standard output read before this was written before it: shown first.
    if (run && run->collector.hasUnshown()) {
        run->showTimer.stop();
        deliver(*run, run->collector.takeUnshown());
    }
    if (run && isCurrent(*run)) {
        transcribe(*run, error, false);
        // Messages written after the prompt (Alice ML's) still belong to the answer.
        if (run->answeredFirst)
            locateMessages(*run, true);
    }
    show(error, true);
    if (run)
        run->collector.noteError(error);
    if (run && !run->collector.knowsPrompts())
        backAtPrompt(*run);
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
    const int signal = wrapper->terminationSignal();
    // A program that ends the interpreter with success, having read all it
    // was given, has succeeded.
    const bool success = status == 0 && !signal && run->heldCommits.isEmpty() && !wrapper->inputLost()
        && isCurrent(*run) && !run->escalated;
    // One that ends as it starts would do so again: what it wrote is an
    // error, and the window stays for another choice.
    const bool failedAtStart = isCurrent(*run) && !run->ready && !run->escalated;
    OLAnswer answer = run->collector.takeFinalAnswer(success);
    answer.error = answer.error || failedAtStart;
    deliver(*run, answer, Part::Whole);
    if (!isCurrent(*run))
        return;
    setActivity(OLInterpreterActivity::Ended);
    if (status == PXShellWrapper::notLaunchedStatus) {
        note(chooseAnother()); // the wrapper has said why
        return;
    }
    const QString how = signal ? tr("killed by signal %1").arg(signal) : tr("exit status %1").arg(status);
    if (failedAtStart) {
        note(tr("The interpreter %1 ended as it started (%2).\n").arg(wrapper->program(), how) + chooseAnother());
        m_window.interpreterEndedAtStart();
        return;
    }
    if (run->escalated) {
        note(tr("The interpreter has ended (%1). Reset the interpreter to start a new one.\n").arg(how));
        return;
    }
    if (signal) {
        note(tr("The interpreter ended unexpectedly (%1). Reset the interpreter to start a new one.\n").arg(how));
        return;
    }
    if (wrapper->inputLost())
        note(tr("The interpreter ended before it had read all of its input (%1).\n").arg(how));
    run.reset();
    // Last: the window may close and take the session with it.
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

bool OLInterpreterSession::isCurrent(const Run &run) const
{
    return run.wrapper == m_olProcess;
}

// Where the prompt can be printed output, an answer that ends like one is
// over once the interpreter waits for input (it writes its prompt, then
// reads) with both its pipes read empty: all it wrote before the wait has
// been handed over (Alice ML writes the end of an error on standard error
// before its prompt). With a later commit written, the interpreter reads on,
// and the prompt is taken as it looks; so it is where the wait cannot be seen.
bool OLInterpreterSession::confirmsPrompt(const Run &run) const
{
    return promptMayBeOutput(run.collector.mode()) && !run.collector.startingUp() && !run.laterCommit
        && run.wrapper->seesInputWait();
}

void OLInterpreterSession::collected(Run &run)
{
    using State = OLAnswerCollector::State;
    if (!run.collector.knowsPrompts())
        backAtPrompt(run);
    run.inputChecks = 0;
    // The start-up text may come in one read with the first answer. An
    // answer is taken as soon as it is known to be whole, before anything is
    // drawn, so that a running evaluation writes its next declaration at once.
    const auto wholeNow = [this, &run] {
        const State state = run.collector.state();
        if (!confirmsPrompt(run))
            return state == State::Complete;
        return (state == State::Complete || state == State::PromptLikely) && run.wrapper->waitsForInput();
    };
    while (wholeNow())
        answered(run);
    switch (run.collector.state()) {
    case State::Complete:
        run.quietTimer.start(0);
        break;
    case State::PromptLikely:
        run.quietTimer.start(confirmsPrompt(run) ? 0 : promptQuietMs);
        break;
    case State::Stuck:
    case State::AtContinuation:
        run.quietTimer.start(promptQuietMs);
        break;
    case State::Collecting:
        run.quietTimer.stop();
        break;
    }
    if (run.collector.unshownSize() >= showAtMost) {
        run.showTimer.stop();
        deliver(run, run.collector.takeUnshown());
    } else if (run.collector.hasUnshown() && !run.showTimer.isActive()) {
        run.showTimer.start();
    }
}

void OLInterpreterSession::quietAfterPrompt(Run &run)
{
    using State = OLAnswerCollector::State;
    if (confirmsPrompt(run) && !run.wrapper->waitsForInput()) {
        run.quietTimer.start(std::min(1 << std::min(run.inputChecks++, 7), inputCheckMaxMs));
        return;
    }
    if (run.collector.state() == State::AtContinuation && !run.wrapper->waitsForInput()) {
        // Still reading or compiling what it was given.
        run.quietTimer.start(continuationCheckMs);
        return;
    }
    if (run.collector.state() == State::Stuck || run.collector.state() == State::AtContinuation) {
        // It waits for input that would end the declaration, which was
        // written whole, and would swallow the next one: stop it.
        if (!run.collector.rejected() && run.collector.commitPending())
            note(tr("The declaration is incomplete: the interpreter was still waiting for the rest of it "
                    "(an unclosed bracket, string or comment, a let, struct or sig without its end, or an if "
                    "without its else?). It has been interrupted.\n"));
        run.collector.noteRecoveryInterrupt();
        run.wrapper->interruptProcess();
        return;
    }
    answered(run);
    collected(run);
}

void OLInterpreterSession::answered(Run &run)
{
    run.quietTimer.stop();
    run.showTimer.stop();
    const bool startup = run.collector.startingUp();
    const OLAnswer answer = run.collector.takeAnswer();
    run.laterCommit = false;
    run.ready = run.ready || startup;
    // After the start-up text, a commit written meanwhile is still waited for.
    if (!run.collector.commitPending())
        backAtPrompt(run);
    deliver(run, answer, startup ? Part::Startup : Part::Whole);
    if (startup && isCurrent(run))
        m_window.interpreterStarted();
}

void OLInterpreterSession::deliver(Run &run, const OLAnswer &answer, Part part)
{
    // A replay's answers fold into its note, and so does all that a run a
    // replay replaced writes; errors of the current one are shown.
    const bool folded = run.replay
        && (!isCurrent(run) || (!answer.error && (part == Part::Startup || m_editorAwaitsVerdict)));
    if (isCurrent(run)) {
        if (!folded)
            transcribe(run, answer.text, answer.error);
        if (part == Part::Whole)
            locateMessages(run, !folded);
    }
    // The editor first: on a success it may write its next declaration at
    // once. A console commit made meanwhile does not take its verdict.
    if (answer.report && isCurrent(run) && std::exchange(m_editorAwaitsVerdict, false))
        m_editor.setLastCommitSuccess(!answer.error);
    if (!answer.text.isEmpty() && !folded)
        show(answer.text, answer.error);
}

void OLInterpreterSession::transcribe(Run &run, const QString &text, bool error)
{
    if (run.commits.empty())
        return;
    run.firstFailed = run.firstFailed || error;
    if (text.isEmpty() || run.transcript.size() >= transcriptLimit)
        return;
    // It is shown next.
    run.pieces.emplace_back(run.transcript.size(), m_shownUnits);
    run.transcript += QStringView(text).first(qMin(text.size(), transcriptLimit - run.transcript.size()));
}

void OLInterpreterSession::locateMessages(Run &run, bool tell)
{
    if (run.commits.empty())
        return;
    const Run::Commit &commit = run.commits.front();
    run.messages = run.locator.locate(run.transcript, commit.text, commit.end, run.firstFailed);
    const auto shownAt = [&run](qint64 at) {
        const auto piece = std::upper_bound(run.pieces.begin(), run.pieces.end(), at,
                                            [](qint64 at, const auto &piece) { return at < piece.first; });
        return piece == run.pieces.begin() ? at : std::prev(piece)->second + at - std::prev(piece)->first;
    };
    for (OLErrorLocation &message : run.messages) {
        message.shownFrom = shownAt(message.shownFrom);
        message.shownTo = shownAt(message.shownTo);
    }
    run.answeredFirst = true;
    if (commit.fromEditor && tell)
        m_editor.showMessages(run.messages);
    // One written meanwhile is answered next, unless the failure made the
    // interpreter drop it unread.
    if (run.firstFailed && run.locator.dropsInputAfterFailure())
        run.commits.erase(std::next(run.commits.begin()), run.commits.end());
    else if (run.commits.size() > 1)
        commitDone(run);
}

void OLInterpreterSession::commitDone(Run &run)
{
    const Run::Commit &commit = run.commits.front();
    run.locator.commitDone(commit.text, commit.end, run.messages, run.firstFailed);
    run.commits.pop_front();
    run.transcript.clear();
    run.pieces.clear();
    run.messages.clear();
    run.answeredFirst = run.firstFailed = false;
}

void OLInterpreterSession::awaitPrompt(Run &run)
{
    if (run.awaitingPrompt)
        return;
    run.awaitingPrompt = true;
    run.busyTimer.start();
}

// Before the answer is delivered: the editor may commit again from there.
void OLInterpreterSession::backAtPrompt(Run &run)
{
    // Commits held back are written now, and are waited for.
    if (!run.heldCommits.isEmpty())
        return;
    run.awaitingPrompt = false;
    run.interrupted.invalidate();
    run.busyTimer.stop();
    if (isCurrent(run) && m_activity == OLInterpreterActivity::Busy)
        setActivity(OLInterpreterActivity::Idle);
}

void OLInterpreterSession::stop(Run &run)
{
    run.wrapper->stopProcess();
    if (!run.killTimer.isActive())
        run.killTimer.start();
}

void OLInterpreterSession::kill(Run &run)
{
    if (run.escalated && isCurrent(run))
        note(tr("The interpreter did not end when terminated; killing it.\n"));
    run.wrapper->killProcess();
}

void OLInterpreterSession::setActivity(OLInterpreterActivity activity)
{
    if (activity == m_activity)
        return;
    m_activity = activity;
    m_window.interpreterActivityChanged(activity);
}

void OLInterpreterSession::show(const QString &text, bool error)
{
    if (error)
        m_console.appendError(text);
    else
        m_console.appendAnswer(text);
    m_consoleAtLineStart = text.endsWith(u'\n');
    m_shownUnits += text.size();
}

void OLInterpreterSession::note(const QString &text, bool error)
{
    show(m_consoleAtLineStart ? text : u'\n' + text, error);
}

QString OLInterpreterSession::chooseAnother()
{
    return tr("Choose an interpreter in Preferences or with Evaluate > Choose Interpreter, then reset the "
              "interpreter.\n");
}
