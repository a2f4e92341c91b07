#include "editor/OLEditorViewController.h"

#include "editor/OLEditorWindow.h"
#include "editor/OLFindBar.h"
#include "editor/OLLineNumberGutter.h"
#include "highlight/OLSyntaxHighlighter.h"
#include "highlight/OLTextView.h"
#include "highlight/OLQtColor.h"
#include "highlight/OLQtFont.h"

#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

using namespace std::chrono_literals;

namespace {
Q_LOGGING_CATEGORY(lcEditor, "ostrel.editor")

// A recolouring that reaches beyond the viewport (typing "(*" colours the
// whole rest) finishes the viewport at once, works on for this long, and
// leaves the rest to idle slices of the second length. The budget is the
// scan's: writing the colours it found takes about as long again. The view's
// drawing slice may run in the same turn of the event loop; together they
// stay under 5 ms.
constexpr std::chrono::nanoseconds colourAtOnce = 4ms;
constexpr std::chrono::nanoseconds colourSliceBudget = 300us;

// Foundation's newline set: each of these ends a line.
constexpr bool isNewline(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

bool sameColours(const OLStyleSet &a, const OLStyleSet &b)
{
    return a.regColor == b.regColor && a.errColor == b.errColor && a.keyColor == b.keyColor
        && a.strColor == b.strColor && a.comColor == b.comColor;
}

// The wave under a warning.
const QColor warningColour(230, 130, 0);

// A range after [position, position + removed) became `added` units: moved
// when the edit lies before it, unset when the edit changed it.
OLTextRange afterEdit(OLTextRange range, qsizetype position, qsizetype removed, qsizetype added)
{
    const auto at = quint64(position);
    if (!range.isSet() || at >= range.location + range.length)
        return range;
    if (at + quint64(removed) > range.location)
        return {};
    range.location += quint64(added - removed);
    return range;
}
} // namespace

OLEditorViewController::OLEditorViewController(QWidget *parent)
    : QWidget(parent)
    , m_textView(new OLTextView(this))
    , m_lineNumbers(new OLLineNumberGutter(m_textView, this))
    , m_findBar(new OLFindBar(m_textView, m_storage, this))
    , m_colourSlices(new QTimer(this))
{
    auto *lines = new QHBoxLayout;
    lines->setSpacing(0);
    lines->addWidget(m_lineNumbers);
    lines->addWidget(m_textView, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(lines, 1);
    layout->addWidget(m_findBar);
    m_findBar->hide();
    setFocusProxy(m_textView);

    // The scroll bar stays: appearing, it would narrow the view, and the
    // view lays out every line again when its width changes.
    m_textView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_textView->setTextStorage(&m_storage);
    m_textView->shouldChangeText = [this](qsizetype location) { return shouldChangeText(location); };
    m_textView->insertNewline = [this] { return insertNewline(); };
    connect(m_textView, &OLTextView::contentsEdited, this, &OLEditorViewController::textEdited);
    connect(m_textView, &OLTextView::textDidChange, this, &OLEditorViewController::updateView);
    connect(m_textView, &OLTextView::contentsEdited, this, &OLEditorViewController::messagesEdited);
    connect(m_findBar, &OLFindBar::matchesShown, this, [this](const QList<QTextEdit::ExtraSelection> &matches) {
        m_matches = matches;
        showMarks();
    });
    m_textView->viewport()->installEventFilter(this);
    connect(m_textView->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (!m_messages.empty())
            showMarks();
    });

    m_colourSlices->setSingleShot(true);
    m_colourSlices->setInterval(0);
    connect(m_colourSlices, &QTimer::timeout, this, &OLEditorViewController::colourSlice);
}

OLEditorViewController::~OLEditorViewController()
{
    // The bar, the numbers and the view use the storage or the view and call
    // back into the pane: they go while all are whole.
    delete m_findBar;
    delete m_lineNumbers;
    delete m_textView;
}

std::optional<OLDeclaration> OLEditorViewController::nextDeclaration() const
{
    return ::nextDeclaration(m_storage.string(), interpreted());
}

void OLEditorViewController::evalNextStep()
{
    // A replay goes on by itself.
    if (m_evaluated.isReplaying())
        return;
    const std::optional<OLDeclaration> declaration = nextDeclaration();
    if (!declaration)
        return;
    qCDebug(lcEditor).noquote() << declaration->description();
    if (declaration->text().isEmpty())
        return;
    // A step taken while one is pending sends the same declaration again.
    m_pendingTokensEnd = qint64(declaration->tokensEnd());
    send({declaration->location(), declaration->length()}, declaration->text());
}

void OLEditorViewController::send(OLTextRange range, const QString &text)
{
    // Its answer will tell anew.
    dropMessagesOf(range);
    m_pending = range;
    if (m_windowController)
        m_windowController->eval(text, 0);
    // Marked once it is on its way; one that failed at once is marked red.
    if (m_pending == range)
        setMark(range, OLSyntaxHighlighter::lightBlue());
}

// The kept part is marked blue already.
void OLEditorViewController::replayNext()
{
    const qint64 from = m_evaluated.interpreted();
    const qint64 to = m_evaluated.endOf(m_evaluated.replayed() + 1);
    m_pending = {quint64(from), quint64(to - from)};
    if (m_windowController)
        m_windowController->eval(m_storage.string().sliced(from, to - from), 0);
}

void OLEditorViewController::evalToCursor()
{
    // Before the last evaluated declaration: back to the one at the cursor.
    const qsizetype keep = m_evaluated.startingBefore(m_textView->selectionLocation());
    if (keep < m_evaluated.count())
        retract(keep);
    else
        continueLoop(1);
}

void OLEditorViewController::evalFile()
{
    continueLoop(2);
}

void OLEditorViewController::continueLoop(qint64 loop)
{
    const qint64 target = loop == 2 ? m_storage.length() : m_textView->selectionLocation();
    if (interpreted() >= target) {
        m_inLoop = 0;
        return;
    }
    m_inLoop = loop;
    evalNextStep();
}

void OLEditorViewController::undoStep()
{
    if (m_evaluated.count() > 0)
        retract(m_evaluated.count() - 1);
}

void OLEditorViewController::retractToCursor()
{
    const qint64 cursor = m_textView->selectionLocation();
    if (cursor < evaluatedEnd())
        retract(m_evaluated.endingBy(cursor));
}

qint64 OLEditorViewController::evaluatedEnd() const
{
    return m_pending.isSet() ? qMax(m_evaluated.end(), qint64(m_pending.location + m_pending.length)) : m_evaluated.end();
}

void OLEditorViewController::setLastCommitSuccess(bool success)
{
    // Start-up output and later pieces of one answer belong to no declaration.
    if (!m_pending.isSet())
        return;
    const OLTextRange done = std::exchange(m_pending, {});
    m_judged = done;
    const bool replaying = m_evaluated.isReplaying();
    if (!success) {
        setMark(done, OLSyntaxHighlighter::lightRed());
        m_error = done;
        if (replaying) {
            // The rest of the replay goes with it.
            const qsizetype kept = m_evaluated.count();
            unmark(qint64(done.location + done.length), m_evaluated.end());
            m_evaluated.retract(m_evaluated.replayed(), OLEvaluatedPrefix::anywhere, false);
            if (m_windowController)
                m_windowController->replayEnded(m_evaluated.replayed(), kept);
        }
        return;
    }
    m_evaluated.evaluated({qint64(done.location + done.length), m_pendingTokensEnd});
    // A failed declaration that now succeeded is no error any more.
    if (m_error.isSet() && qint64(m_error.location) < interpreted())
        m_error = {};
    // A running loop sends the next declaration before this one is marked.
    if (m_evaluated.isReplaying()) {
        replayNext();
    } else {
        if (replaying && m_windowController)
            m_windowController->replayEnded(m_evaluated.count(), m_evaluated.count());
        if (m_inLoop)
            continueLoop(m_inLoop);
    }
    setMark(done, OLSyntaxHighlighter::lightGreen());
}

void OLEditorViewController::retract(qsizetype keep, qint64 end)
{
    qint64 markedEnd = m_evaluated.end();
    for (const OLTextRange &range : {m_pending, m_error}) {
        if (range.isSet())
            markedEnd = qMax(markedEnd, qint64(range.location + range.length));
    }
    // What the user asked to evaluate is not there any more.
    m_inLoop = 0;
    m_error = {};
    const bool restart = m_evaluated.retract(keep, end, m_pending.isSet());
    unmark(m_evaluated.end(), markedEnd);
    // What the interpreter said of the declarations retracted goes with them.
    dropMessagesOf({quint64(m_evaluated.end()), quint64(m_storage.length() - m_evaluated.end() + 1)});
    if (!restart)
        return;
    m_pending = {};
    setMark({0, quint64(m_evaluated.end())}, OLSyntaxHighlighter::lightBlue());
    if (m_windowController)
        m_windowController->restartForReplay();
    if (m_evaluated.isReplaying())
        replayNext();
    else if (m_windowController)
        m_windowController->replayEnded(0, 0);
}

// After the change: the text before it is as it was.
void OLEditorViewController::textEdited(qsizetype position)
{
    if (position < evaluatedEnd())
        retract(m_evaluated.keptByEdit(m_storage.string(), position), position);
}

// The run that would answer a pending declaration is gone with it, and
// what it said.
void OLEditorViewController::resetEvaluated()
{
    forgetEvaluation();
    m_judged = {};
    m_messages.clear();
    showMarks();
    updateView();
}

void OLEditorViewController::forgetEvaluation()
{
    m_evaluated.clear();
    m_pending = {};
    m_error = {};
    m_inLoop = 0;
}

void OLEditorViewController::showMessages(const QList<OLErrorLocation> &messages)
{
    const OLTextRange declaration = m_pending.isSet() ? m_pending : m_judged;
    if (!declaration.isSet())
        return;
    const auto dropped = std::erase_if(m_messages, [&](const Message &m) { return m.declaration == declaration; });
    // Most declarations bring none: nothing to redraw on the way to the next.
    if (dropped == 0 && messages.isEmpty())
        return;
    for (const OLErrorLocation &message : messages) {
        const quint64 from = qMin(quint64(message.from), declaration.length);
        const quint64 to = qBound(from, quint64(message.to), declaration.length);
        m_messages.push_back({{declaration.location + from, to - from}, declaration, message.warning, message.message,
                              message.shownFrom, message.shownTo});
    }
    std::stable_sort(m_messages.begin(), m_messages.end(),
                     [](const Message &a, const Message &b) { return a.range.location < b.range.location; });
    showMarks();
}

const OLEditorViewController::Message *OLEditorViewController::goToMessage(bool forward)
{
    if (m_messages.empty())
        return nullptr;
    const auto cursor = quint64(m_textView->selectionLocation());
    if (forward) {
        const auto next = std::find_if(m_messages.begin(), m_messages.end(),
                                       [cursor](const Message &m) { return m.range.location > cursor; });
        return goTo(next == m_messages.end() ? &m_messages.front() : &*next);
    }
    const auto previous = std::find_if(m_messages.rbegin(), m_messages.rend(),
                                       [cursor](const Message &m) { return m.range.location < cursor; });
    return goTo(previous == m_messages.rend() ? &m_messages.back() : &*previous);
}

const OLEditorViewController::Message *OLEditorViewController::revealMessage(qint64 shown)
{
    const auto message = std::find_if(m_messages.begin(), m_messages.end(),
                                      [shown](const Message &m) { return m.shownFrom <= shown && shown < m.shownTo; });
    return message == m_messages.end() ? nullptr : goTo(&*message);
}

const OLEditorViewController::Message *OLEditorViewController::goTo(const Message *message)
{
    m_textView->selectText(qsizetype(message->range.location), qsizetype(message->range.location));
    m_textView->ensureCursorVisible();
    return message;
}

void OLEditorViewController::messagesEdited(qsizetype position, qsizetype removed, qsizetype added)
{
    m_judged = afterEdit(m_judged, position, removed, added);
    if (m_messages.empty())
        return;
    std::erase_if(m_messages, [&](Message &m) {
        m.declaration = afterEdit(m.declaration, position, removed, added);
        m.range = afterEdit(m.range, position, removed, added);
        return !m.declaration.isSet();
    });
    // Others may have come into view; the view redraws only what changed.
    showMarks();
}

void OLEditorViewController::dropMessagesOf(OLTextRange declaration)
{
    const std::size_t before = m_messages.size();
    std::erase_if(m_messages, [&](const Message &m) {
        return m.declaration.location < declaration.location + declaration.length
            && declaration.location < m.declaration.location + m.declaration.length;
    });
    if (m_messages.size() != before)
        showMarks();
}

void OLEditorViewController::showMarks()
{
    m_waves.clear();
    // Only those in the viewport: the view looks at each for every line it draws.
    const QTextBlock top = m_textView->cursorForPosition(QPoint(0, 0)).block();
    const auto first = quint64(m_textView->textPosition(top.position()));
    const auto end = quint64(m_textView->visibleEnd());
    const QColor errorColour = m_fontAttributes.errColor ? toQColor(*m_fontAttributes.errColor) : QColor(Qt::red);
    // Errors over warnings.
    for (const bool warnings : {true, false}) {
        QTextCharFormat format;
        format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
        format.setUnderlineColor(warnings ? warningColour : errorColour);
        for (const Message &message : m_messages) {
            if (message.range.location > end)
                break;
            if (message.warning != warnings || message.range.location + message.range.length < first)
                continue;
            QTextCursor wave(m_textView->document());
            wave.setPosition(m_textView->documentPosition(qsizetype(message.range.location)));
            wave.setPosition(m_textView->documentPosition(qsizetype(message.range.location + message.range.length)),
                             QTextCursor::KeepAnchor);
            m_waves.append({wave, format});
        }
    }
    m_textView->setExtraSelections(m_waves + m_matches);
}

void OLEditorViewController::updateView()
{
    if (m_windowController)
        m_windowController->fileChanged();
    // A replay's blue part stays.
    const qsizetype length = m_storage.length();
    const qsizetype from = m_evaluated.end();
    if (from < length) {
        OLSyntaxHighlighter::removeBackgroundColorFor(m_storage, {from, length - from});
        // The record of a failure goes with its red mark: kept, it would name
        // text that later edits have moved, and strip the marks found there.
        if (m_error.isSet() && qint64(m_error.location) >= from)
            m_error = {};
        colourFrom(from);
    }
    m_textView->renderStorageChanges();
}

void OLEditorViewController::colourFrom(qsizetype location)
{
    // Costs what the change altered; a change that recolours much of the
    // text is finished in the viewport now and elsewhere between events.
    OLSyntaxHighlighter::beginHighlightSyntax(m_storage, location, m_fontAttributes,
                                              qMin(m_textView->visibleEnd(), m_storage.length()), colourAtOnce);
    if (OLSyntaxHighlighter::hasPendingHighlight(m_storage))
        m_colourSlices->start();
}

void OLEditorViewController::colourSlice()
{
    OLSyntaxHighlighter::continueHighlightSyntax(m_storage, colourSliceBudget);
    m_textView->renderStorageChanges();
    if (OLSyntaxHighlighter::hasPendingHighlight(m_storage))
        m_colourSlices->start();
}

void OLEditorViewController::setMark(OLTextRange range, const OLColor &color)
{
    OLSyntaxHighlighter::setBackgroundColorFor(m_storage, {qsizetype(range.location), qsizetype(range.length)}, color);
    // Answers can come faster than frames.
    m_textView->renderStorageChangesInFrame();
}

void OLEditorViewController::unmark(qint64 from, qint64 to)
{
    to = qMin(to, qint64(m_storage.length()));
    if (from < to)
        OLSyntaxHighlighter::removeBackgroundColorFor(m_storage, {from, to - from});
    m_textView->renderStorageChangesInFrame();
}

void OLEditorViewController::setContent(const QString &text)
{
    const QString &old = m_storage.string();
    // The text the user asked to evaluate is not this one.
    m_inLoop = 0;
    // Only what differs is replaced: the marks before it stay, and the
    // evaluation retracts to it (textEdited).
    const qsizetype same = std::mismatch(old.cbegin(), old.cend(), text.cbegin(), text.cend()).first - old.cbegin();
    // The line numbers take their width for the new text first: widened
    // after it, they would have the view lay out every line again.
    m_lineNumbers->fitLines(text.count(u'\n') + 1);
    layout()->activate();
    m_textView->replaceDirect(same, old.size() - same, text.sliced(same));
    // Undo does not reach back before the loaded text.
    m_textView->document()->clearUndoRedoStacks();
    updateView();
    // Its answer is still to come.
    if (m_pending.isSet())
        setMark(m_pending, OLSyntaxHighlighter::lightBlue());
}

bool OLEditorViewController::shouldChangeText(qsizetype location)
{
    if (m_pending.isSet() && !m_evaluated.isReplaying())
        return false;
    if (m_error.contains(quint64(location))) {
        // An edit before it may have shortened the text under the range.
        const qsizetype from = qMin(qsizetype(m_error.location), m_storage.length());
        const qsizetype to = qMin(qsizetype(m_error.location + m_error.length), m_storage.length());
        OLSyntaxHighlighter::removeBackgroundColorFor(m_storage, {from, to - from});
        m_textView->renderStorageChanges();
        m_error = {};
    }
    return true;
}

bool OLEditorViewController::insertNewline()
{
    m_textView->insertNewlineKeepingTabs(m_storage.string());
    return true;
}

bool OLEditorViewController::selectLine(qint64 line)
{
    if (line < 1)
        return false;
    const QString &text = m_storage.string();
    qsizetype start = 0;
    qint64 current = 1;
    for (qsizetype i = 0; i < text.size() && current < line; ++i) {
        if (isNewline(text[i])) {
            ++current;
            start = i + 1;
        }
    }
    if (current < line)
        return false;
    qsizetype end = start;
    while (end < text.size() && !isNewline(text[end]))
        ++end;
    m_textView->selectText(start, end);
    return true;
}

void OLEditorViewController::setFontAttributes(const OLStyleSet &styles)
{
    const bool recolour = !sameColours(styles, m_fontAttributes);
    m_fontAttributes = styles;
    const QFont font = fontForStyleSet(styles);
    // The widget's font is the document's and the typing font.
    m_textView->setFont(font);
    m_lineNumbers->setFont(font);
    // The marks are the evaluation's state and stay; new colours reach the
    // whole text, the evaluated part too.
    if (recolour && m_storage.length() > 0)
        colourFrom(0);
    if (recolour)
        showMarks();
    m_textView->renderStorageChanges();
}

void OLEditorViewController::setShowsLineNumbers(bool show)
{
    m_lineNumbers->setVisible(show);
}

void OLEditorViewController::performFindPanel()
{
    m_findBar->open();
}

bool OLEditorViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_textView->viewport() && event->type() == QEvent::Resize && !m_messages.empty())
        showMarks();
    if (watched != m_textView->viewport() || event->type() != QEvent::ToolTip)
        return QWidget::eventFilter(watched, event);
    // The unit under the pointer: the one after the nearest boundary, or before it.
    const QPoint point = static_cast<QHelpEvent *>(event)->pos();
    const QTextCursor nearest = m_textView->cursorForPosition(point);
    const QRect boundary = m_textView->cursorRect(nearest);
    auto under = quint64(m_textView->textPosition(nearest.position()));
    if (point.x() < boundary.x() && under > 0)
        --under;
    QStringList texts;
    if (point.y() >= boundary.top() && point.y() <= boundary.bottom()) {
        for (const Message &message : m_messages) {
            if (message.range.contains(under))
                texts.append(message.text);
        }
    }
    if (texts.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(),
                           QStringLiteral("<pre>%1</pre>").arg(texts.join(QStringLiteral("\n\n")).toHtmlEscaped()),
                           m_textView->viewport());
    return true;
}

void OLEditorViewController::keyPressEvent(QKeyEvent *event)
{
    // Escape in the editor, which leaves it unhandled, also closes the bar.
    if (event->key() == Qt::Key_Escape && m_findBar->isVisible())
        m_findBar->closeBar();
    else
        QWidget::keyPressEvent(event);
}
