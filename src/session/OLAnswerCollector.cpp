#include "session/OLAnswerCollector.h"

#include "session/OLOutputClassifier.h"
#include "session/OLPrompts.h"

#include <algorithm>

namespace {
// The answer to SIGINT while the interpreter reads a declaration.
QStringView interruptNoteOf(OLInterpreterMode mode)
{
    switch (mode) {
    case OLPolyML: return u"Compilation interrupted\n\n";
    case OLSmlNJ: return u"\nInterrupt\n";
    default: return QStringView();
    }
}
// An answer is compacted once this much of it has been shown. What is kept:
// a tail for the rules that look at the end and for prompts split between
// pieces, and a line kept whole unless its beginning is this long (enough to
// judge it by its beginning).
constexpr qsizetype compactAfter = 64 * 1024;
constexpr qsizetype keptTail = 256;
constexpr qsizetype judgedLineHead = 256;
} // namespace

OLAnswerCollector::OLAnswerCollector(OLInterpreterMode mode)
    : m_mode(mode)
    , m_rejection(rejectionMarker(mode))
    , m_interruptNote(interruptNoteOf(mode))
    , m_promptPerLine(mode == OLPolyML)
{
    const OLPrompts prompts = promptsOf(mode);
    m_primary = prompts.primary;
    m_continuation = prompts.continuation;
    m_uniquePrompts = prompts.unique;
    // The first prompt comes without any input and ends the start-up text.
    m_startup = knowsPrompts();
    restart();
}

void OLAnswerCollector::noteCommit(QStringView text)
{
    m_commitPending = true;
    if (m_promptPerLine)
        m_promptsDue += text.count(u'\n');
    // Alice ML ends a declaration at a line that ends in ";" and prompts
    // "  " for each other line it reads, before it answers.
    if (m_mode == OLAliceML) {
        for (qsizetype i = text.indexOf(u'\n'); i >= 0; i = text.indexOf(u'\n', i + 1))
            m_continuationsDue += (i > 0 ? text.at(i - 1) : m_lastCommitted) != u';';
        m_lastCommitted = text.isEmpty() ? m_lastCommitted : text.back();
    }
}

OLAnswerCollector::State OLAnswerCollector::feed(QStringView piece)
{
    m_text.append(piece);
    // Those prompts lead the answer; the console does not show them.
    for (; m_continuationsDue > 0 && m_scanPos == 0 && m_text.startsWith(u"  "); --m_continuationsDue)
        m_text.remove(0, 2);
    if (m_continuationsDue > 0 && m_scanPos == 0 && m_text == u" ")
        return m_state; // the rest of one may follow
    if (m_awaitingInterruptNote) {
        const qsizetype at = m_text.indexOf(m_interruptNote, m_scanPos);
        if (at >= 0) {
            m_text.remove(at, m_interruptNote.size());
            m_awaitingInterruptNote = false;
        }
    }
    if (!m_rejection.isEmpty() && !m_rejected) {
        m_rejected = m_text.indexOf(m_rejection, m_rejectionScanFrom) >= 0;
        m_rejectionScanFrom = std::max<qsizetype>(0, m_text.size() - m_rejection.size() + 1);
    }
    scanPrompts();
    m_state = evaluate();
    return m_state;
}

// A unique prompt is recognised wherever it stands. Any other is recognised
// where the interpreter writes one: at the start of the answer, after a line
// feed or after another prompt; after output without a line feed
// ("no newline- ") it cannot be told from output.
void OLAnswerCollector::scanPrompts()
{
    const auto promptAt = [this](QStringView rest) {
        for (QStringView prompt : {m_primary, m_continuation}) {
            if (!prompt.isEmpty() && rest.startsWith(prompt))
                return prompt;
        }
        return QStringView();
    };
    const auto mayStartPrompt = [this](QStringView rest) {
        for (QStringView prompt : {m_primary, m_continuation}) {
            if (rest.size() < prompt.size() && prompt.startsWith(rest))
                return true;
        }
        return false;
    };
    while (m_scanPos < m_text.size()) {
        const QStringView rest = QStringView(m_text).mid(m_scanPos);
        const QStringView prompt = promptAt(rest);
        if ((m_atPromptPosition || m_uniquePrompts) && !prompt.isEmpty()) {
            m_scanPos += prompt.size();
            m_lastPromptEnd = m_scanPos;
            if (m_startup && prompt == m_primary) {
                m_startupEnd = m_scanPos;
                return;
            }
            if (m_promptPerLine)
                --m_promptsDue;
            continue;
        }
        if ((m_atPromptPosition || m_uniquePrompts) && mayStartPrompt(rest))
            return; // the rest of a prompt may follow in the next piece
        m_atPromptPosition = m_text.at(m_scanPos) == u'\n';
        ++m_scanPos;
    }
}

OLAnswerCollector::State OLAnswerCollector::evaluate() const
{
    if (m_startupEnd >= 0)
        return State::Complete;
    if (m_text.isEmpty() || m_primary.isEmpty())
        return State::Collecting;
    const bool endsAtPrompt = m_lastPromptEnd == m_text.size();
    // A rejected declaration makes Poly ML drop the rest of its input, and
    // with it the prompts of the remaining lines.
    const bool promptsDone = !m_promptPerLine || m_promptsDue <= 0 || m_rejected;
    if (m_text.endsWith(m_primary)) {
        // Poly ML still owes prompts for lines written: a later line computes.
        if (!promptsDone)
            return State::Collecting;
        return endsAtPrompt ? State::Complete : State::PromptLikely;
    }
    if (m_awaitingInterruptNote || !endsAtPrompt || m_continuation.isEmpty() || !m_text.endsWith(m_continuation))
        return State::Collecting;
    // Poly ML asks for each line it reads: past the last line written, or
    // after a rejection (its recovery reads on), it waits for input that
    // will not come. Others ask only when they have run out of input.
    if (m_rejected || (m_promptPerLine && m_promptsDue <= 0))
        return State::Stuck;
    return m_promptPerLine ? State::Collecting : State::AtContinuation;
}

OLAnswer OLAnswerCollector::takeAnswer()
{
    if (m_startup)
        return takeStartup();
    OLAnswer answer;
    const QString whole = stripPrompts(m_mode, m_text);
    answer.text = stripPrompts(m_mode, QStringView(m_text).mid(m_shown));
    answer.error = isError(whole) || m_interrupted || errorReported(true);
    answer.report = !m_reported && (hasText(whole) || m_commitPending);
    restart();
    return answer;
}

// Commits written during the start-up wait for their answers in what follows.
OLAnswer OLAnswerCollector::takeStartup()
{
    const qsizetype end = m_startupEnd >= 0 ? m_startupEnd : m_text.size();
    const QStringView startup = QStringView(m_text).first(end);
    OLAnswer answer;
    answer.text = stripPrompts(m_mode, startup.mid(std::min(m_shown, end)));
    // The interpreter's own prompt, before it took the session's.
    if (answer.text.endsWith(defaultPrompt(m_mode)) && !defaultPrompt(m_mode).isEmpty())
        answer.text.chop(defaultPrompt(m_mode).size());
    answer.error = isError(stripPrompts(m_mode, startup));
    const QString rest = m_text.mid(end);
    const bool commitPending = m_commitPending;
    const qsizetype promptsDue = m_promptsDue;
    const bool interrupted = m_interrupted;
    const qsizetype continuationsDue = m_continuationsDue;
    const QString errorLine = m_errorLine;
    const bool errorReported = m_errorReported;
    m_startup = false;
    restart();
    m_commitPending = commitPending;
    m_promptsDue = promptsDue;
    m_interrupted = interrupted;
    m_continuationsDue = continuationsDue;
    m_errorLine = errorLine;
    m_errorReported = errorReported;
    if (!rest.isEmpty())
        feed(rest);
    return answer;
}

OLAnswer OLAnswerCollector::takeFinalAnswer(bool exitedWithSuccess)
{
    const bool pending = m_commitPending;
    const bool unanswered = pending && !exitedWithSuccess;
    const bool reported = m_reported;
    // The run is over: what is left is one answer, start-up text or not.
    m_startup = false;
    m_startupEnd = -1;
    OLAnswer answer = takeAnswer();
    answer.error = answer.error || unanswered;
    answer.report = pending && !reported;
    return answer;
}

OLAnswer OLAnswerCollector::takeUnshown()
{
    if (m_primary.isEmpty())
        return takeAnswer();
    // A prompt that printed output can end with too is not shown, and stays
    // unshown until the answer tells which it is.
    const qsizetype end = !m_uniquePrompts && m_text.endsWith(m_primary) && m_text.size() - m_primary.size() >= m_shown
        ? m_text.size() - m_primary.size()
        : m_text.size();
    OLAnswer answer;
    answer.text = stripPrompts(m_mode, QStringView(m_text).mid(m_shown));
    answer.error = isError(stripPrompts(m_mode, m_text)) || errorReported(false);
    answer.report = answer.error && !m_reported && !m_startup;
    m_reported = m_reported || answer.report;
    m_shown = end;
    compact();
    return answer;
}

void OLAnswerCollector::noteError(QStringView text)
{
    for (;;) {
        const qsizetype end = text.indexOf(u'\n');
        const QStringView part = end < 0 ? text : text.first(end);
        m_errorLine += part.first(std::min(part.size(), judgedLineHead - m_errorLine.size()));
        if (end < 0)
            return;
        m_errorReported = m_errorReported || isErrorReport(m_mode, m_errorLine);
        m_errorLine.clear();
        text = text.sliced(end + 1);
    }
}

bool OLAnswerCollector::errorReported(bool whole) const
{
    return m_errorReported || (whole && isErrorReport(m_mode, m_errorLine));
}

bool OLAnswerCollector::isError(QStringView stripped) const
{
    if (!m_compacted)
        return isErrorOutput(m_mode, stripped);
    // The beginning of the answer and the lines before were judged as they
    // were dropped.
    QStringView lines = stripped;
    if (m_midLine) {
        const qsizetype lineEnd = lines.indexOf(u'\n');
        lines = lineEnd < 0 ? QStringView() : lines.mid(lineEnd + 1);
    }
    return m_droppedError || hasErrorLine(m_mode, lines) || endsAsError(m_mode, stripped);
}

void OLAnswerCollector::compact()
{
    if (m_shown <= compactAfter)
        return;
    // Prompts are found up to m_scanPos, and the character before it is looked at.
    qsizetype cut = std::min(m_shown - keptTail, m_scanPos - 1);
    const qsizetype lineStart = m_text.lastIndexOf(u'\n', cut - 1) + 1;
    if (cut - lineStart < judgedLineHead)
        cut = lineStart;
    if (cut <= 0)
        return;
    const QStringView dropped = QStringView(m_text).first(cut);
    if (!m_compacted)
        m_droppedError = startsAsError(m_mode, stripPrompts(m_mode, m_text));
    // The lines that begin in the dropped part are judged by their beginnings.
    QStringView lines = dropped;
    if (m_midLine) {
        const qsizetype lineEnd = lines.indexOf(u'\n');
        lines = lineEnd < 0 ? QStringView() : lines.mid(lineEnd + 1);
    }
    m_droppedError = m_droppedError || hasErrorLine(m_mode, lines);
    m_droppedText = m_droppedText || !stripPrompts(m_mode, dropped).isEmpty();
    m_midLine = m_text.at(cut - 1) != u'\n';
    m_compacted = true;

    m_text.remove(0, cut);
    m_shown -= cut;
    m_scanPos -= cut;
    m_lastPromptEnd = std::max<qsizetype>(-1, m_lastPromptEnd - cut);
    m_rejectionScanFrom = std::max<qsizetype>(0, m_rejectionScanFrom - cut);
}

void OLAnswerCollector::noteRecoveryInterrupt()
{
    m_awaitingInterruptNote = true;
    m_interrupted = m_commitPending;
    m_state = evaluate();
}

void OLAnswerCollector::noteInterrupt()
{
    if (m_commitPending)
        m_interrupted = true;
}

void OLAnswerCollector::restart()
{
    m_text.clear();
    m_shown = 0;
    m_reported = false;
    m_commitPending = false;
    m_interrupted = false;
    m_errorLine.clear();
    m_errorReported = false;
    m_startupEnd = -1;
    m_promptsDue = 0;
    m_continuationsDue = 0;
    m_scanPos = 0;
    m_atPromptPosition = true;
    m_lastPromptEnd = -1;
    m_rejectionScanFrom = 0;
    m_rejected = false;
    m_compacted = false;
    m_droppedError = false;
    m_droppedText = false;
    m_midLine = false;
    m_state = State::Collecting;
}
