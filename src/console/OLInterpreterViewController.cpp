#include "console/OLInterpreterViewController.h"

#include "console/OLConsoleWindow.h"
#include "highlight/OLSyntaxHighlighter.h"
#include "highlight/OLTextView.h"
#include "session/OLInterpreterSession.h"
#include "session/OLWhitespace.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace {
// Output is drawn at once after a pause, and at every frame (of a 60 Hz
// display) while it keeps coming: the pieces that arrive between two frames
// go in together.
constexpr qint64 frameMs = 17;
// How long a due frame may wait for the next piece of output, and output
// taken in may wait to be shown.
constexpr qint64 frameWaitMs = 3;
// The work of one update, so that the event loop goes on turning in a flood.
constexpr qint64 updateBudgetMs = 7;
// Output goes in, and the oldest text is trimmed, by slices of about this
// many units (a piece of output, or a large commit that has become fixed
// text, may be megabytes), so that an update stops at its deadline.
constexpr qsizetype slice = 32 * 1024;
} // namespace

OLInterpreterViewController::OLInterpreterViewController(const OLUserDefaults &defaults, QWidget *parent)
    : QWidget(parent)
    , m_defaults(defaults)
    , m_inTextView(new OLTextView(this))
    , m_gutter(new QWidget(this))
    , m_arrow(new QLabel(QStringLiteral("\u25B6"), m_gutter))
    , m_arrowAnimation(new QPropertyAnimation(m_arrow, "pos", this))
    , m_storage(std::make_unique<OLTextStorage>())
    , m_history(std::make_unique<OLCommitHistory>(*this, defaults))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_gutter);
    layout->addWidget(m_inTextView);
    m_arrow->adjustSize();
    m_gutter->setFixedWidth(m_arrow->width() + 2);

    // Output and commits are never undone, so a large paste can go in by
    // slices.
    m_inTextView->setUndoRedoEnabled(false);
    m_inTextView->setInsertsInSlices(true);
    // Long lines wrap on the screen only: the text keeps them whole. The
    // scroll bar stays, so that the width, and with it the wrapping of every
    // line, does not change when the text outgrows the view.
    m_inTextView->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_inTextView->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_inTextView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_inTextView->setRendersAhead(false);
    m_inTextView->setTextStorage(m_storage.get());
    m_inTextView->shouldChangeText = [this](qsizetype location) { return shouldChangeText(location); };
    m_inTextView->insertNewline = [this] { return insertNewline(); };
    // What is typed or pasted with the cursor in the fixed part goes to the
    // end of the input instead of being refused.
    m_inTextView->willInsertText = [this] {
        if (m_inTextView->selectionLocation() < m_fixedLength)
            m_inTextView->moveCursor(QTextCursor::End);
    };
    connect(m_inTextView, &OLTextView::textDidChange, this, &OLInterpreterViewController::textDidChange);
    // Every scroll, also those the view makes to follow the cursor, which
    // move the scroll bar silently.
    connect(m_inTextView, &QPlainTextEdit::updateRequest, this, [this](const QRect &, int dy) {
        if (dy != 0)
            relocateArrowUnanimated();
    });
    // Output waiting for its frame goes in before any user edit, so that the
    // edit sees the text it would have seen without the wait.
    m_inTextView->installEventFilter(this);
    m_inTextView->viewport()->installEventFilter(this);

    m_flushTimer.setSingleShot(true);
    m_flushTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_flushTimer, &QTimer::timeout, this, [this] { addOutput(QDeadlineTimer(updateBudgetMs)); });
    m_sinceFlush.start();
    m_showTimer.setSingleShot(true);
    m_showTimer.setTimerType(Qt::PreciseTimer);
    m_showTimer.setInterval(int(frameWaitMs));
    connect(&m_showTimer, &QTimer::timeout, this, &OLInterpreterViewController::showOutput);
}

OLInterpreterViewController::~OLInterpreterViewController()
{
    m_inTextView->setTextStorage(nullptr);
}

QWidget *OLInterpreterViewController::arrow() const
{
    return m_arrow;
}

void OLInterpreterViewController::setHistory(std::unique_ptr<OLCommitHistory> history)
{
    m_history = std::move(history);
}

void OLInterpreterViewController::setFontAttributes(const OLStyleSet &styles, bool forInput)
{
    flushOutput();
    if (forInput) {
        m_fontAttributes = styles;
        QFont font(styles.name.toString());
        if (const int size = styles.size.toInt(); size > 0)
            font.setPointSize(size);
        m_storage->removeAllAttributes();
        m_inTextView->setFont(font);
        updateView();
    } else {
        m_answerFontAttributes = styles;
    }
    updateViewAll();
    relocateArrowUnanimated();
}

void OLInterpreterViewController::appendAnswer(const QString &text)
{
    queueOutput(text, false);
}

void OLInterpreterViewController::appendError(const QString &text)
{
    queueOutput(text, true);
}

void OLInterpreterViewController::queueOutput(const QString &text, bool error)
{
    m_pendingOutput.push_back({text, error});
    m_pendingUnits += text.size();
    // Output queued beyond the maximum would be trimmed as soon as it is in:
    // a flood faster than the view leaves it out at once.
    const qsizetype maximum = m_defaults.loadMaximumConsoleLength();
    while (m_pendingOutput.size() > 1 && m_pendingUnits - m_pendingOutput.front().left() >= maximum) {
        m_pendingUnits -= m_pendingOutput.front().left();
        m_shownUnits += m_pendingOutput.front().left();
        m_pendingOutput.pop_front();
        m_droppedOutput = true;
    }
    // With an update's worth waiting, the frame would only leave the view
    // idle behind the output. Otherwise a due frame is drawn as a piece
    // arrives: during an evaluation that is when the interpreter has just
    // been given its next declaration, so the drawing overlaps its work
    // instead of holding up its answer; the frame waits a little for it.
    const qint64 since = m_sinceFlush.elapsed();
    const int wait = m_pendingUnits >= 4 * slice || since >= frameMs ? 0 : int(frameMs + frameWaitMs - since);
    if (!m_flushTimer.isActive() || m_flushTimer.remainingTime() > wait)
        m_flushTimer.start(wait);
}

void OLInterpreterViewController::flushOutput()
{
    if (!m_pendingOutput.empty())
        addOutput(QDeadlineTimer(QDeadlineTimer::Forever));
    else
        showOutput();
}

void OLInterpreterViewController::addOutput(const QDeadlineTimer &deadline)
{
    m_flushTimer.stop();
    showOutput();
    if (m_pendingOutput.empty() && !needsTrim())
        return;
    // A paste going in comes first; output waits for it unless it must go in now.
    if (m_inTextView->isInserting() && !deadline.isForever()) {
        m_flushTimer.start(int(frameMs));
        return;
    }
    m_sinceFlush.restart();
    const QTextCursor user = m_inTextView->textCursor();
    // A cursor at the end goes on standing at the end, as after typing.
    const bool follows = !user.hasSelection() && m_inTextView->textPosition(user.position()) == length();
    const int top = m_inTextView->verticalScrollBar()->value();
    const int left = m_inTextView->horizontalScrollBar()->value();

    // Output goes in before the input the user has not committed: the input
    // is taken out and put back after it, so that each piece is added, and
    // coloured, at the end of the text. An edge of the selection in the input
    // goes with the input (where the two meet, unless the selection reaches
    // back into the fixed part); one in the fixed part stays on its text.
    // Trimming alone leaves the input where it is.
    const qsizetype inputFrom = m_fixedLength;
    const QString input = m_pendingOutput.empty() ? QString() : m_storage->string().sliced(inputFrom);
    struct Edge {
        QTextCursor inFixed;
        qsizetype intoInput = -1;
    };
    const auto edgeAt = [&](int at, int other) {
        Edge edge{QTextCursor(m_inTextView->document())};
        const qsizetype textAt = m_inTextView->textPosition(at);
        if (textAt > inputFrom || (textAt == inputFrom && m_inTextView->textPosition(other) >= inputFrom)) {
            edge.intoInput = textAt - inputFrom;
        } else {
            edge.inFixed.setPosition(at);
            edge.inFixed.setKeepPositionOnInsert(true);
        }
        return edge;
    };
    const Edge anchor = edgeAt(user.anchor(), user.position());
    const Edge position = edgeAt(user.position(), user.anchor());
    if (!input.isEmpty())
        m_inTextView->replaceDirect(inputFrom, input.size(), QString());

    // Each piece goes in on its own, so that it is coloured as the text that
    // ended with it was; the view draws them all in one update, and
    // measures the text for its scroll bars once, when it shows them.
    m_inTextView->setScrollBarsHeld(true);
    int trimmedLines = 0;
    do {
        if (!m_pendingOutput.empty())
            addOutputSlice();
        trimmedLines += trimToMaximum();
        // Output the user's key waits for goes in; trimming can wait.
    } while ((!m_pendingOutput.empty() || (needsTrim() && !deadline.isForever())) && !deadline.hasExpired());
    m_inTextView->renderAppendedStorageChanges();
    if (!input.isEmpty()) {
        m_inTextView->replaceDirect(length(), 0, input);
        updateView();
    }

    const auto place = [this](const Edge &edge) {
        return edge.intoInput >= 0 ? m_inTextView->documentPosition(m_fixedLength + edge.intoInput)
                                   : edge.inFixed.position();
    };
    const QTextCursor moved = m_inTextView->textCursor();
    if (moved.anchor() != place(anchor) || moved.position() != place(position)) {
        QTextCursor restored(m_inTextView->document());
        restored.setPosition(place(anchor));
        restored.setPosition(place(position), QTextCursor::KeepAnchor);
        m_inTextView->setTextCursor(restored);
    }
    m_pendingShow = Show{follows, top, left, trimmedLines};
    if (!deadline.isForever() && m_windowController && m_windowController->showsOutputOnRequest())
        m_showTimer.start();
    else
        showOutput();
    // Behind a flood, or a large trim, the rest follows as soon as this
    // update is drawn.
    if (!m_pendingOutput.empty() || needsTrim())
        m_flushTimer.start(0);
}

bool OLInterpreterViewController::showOutput()
{
    if (!m_pendingShow)
        return false;
    const Show show = *std::exchange(m_pendingShow, std::nullopt);
    m_showTimer.stop();
    m_inTextView->setScrollBarsHeld(false);
    if (show.follows) {
        m_inTextView->ensureCursorVisible();
    } else {
        // The user reads elsewhere: the lines stay in place.
        m_inTextView->verticalScrollBar()->setValue(show.top - show.trimmedLines);
        m_inTextView->horizontalScrollBar()->setValue(show.left);
    }
    m_inTextView->renderStorageChanges();
    relocateArrow(true);
    return true;
}

void OLInterpreterViewController::addOutputSlice()
{
    Output &output = m_pendingOutput.front();
    const qsizetype from = output.done;
    output.done = OLTextView::sliceEnd(output.text, from, slice);
    m_pendingUnits -= output.done - from;
    // Where the output stands, for its messages.
    const qsizetype at = length(), units = output.done - from;
    if (!m_shown.empty() && m_shown.back().location + m_shown.back().length == at
        && m_shown.back().output + m_shown.back().length == m_shownUnits)
        m_shown.back().length += units;
    else
        m_shown.push_back({at, units, m_shownUnits});
    m_shownUnits += units;
    m_inTextView->replaceDirect(at, 0, from == 0 && output.done == output.text.size()
                                           ? output.text
                                           : output.text.sliced(from, output.done - from));
    // The slices of a piece make one range, coloured as if it came whole.
    const Range range{m_fixedLength, length() - m_fixedLength};
    QList<Range> &ranges = output.error ? m_errorRanges : m_answerRanges;
    if (from > 0 && !ranges.isEmpty() && ranges.last().end() == range.location)
        ranges.last().length += range.length;
    else
        ranges.append(range);
    m_storage->addFontTraits(range, output.error ? OLFontTrait::bold : OLFontTrait::italic);
    if (range.length > 0 && output.error)
        OLSyntaxHighlighter::setErrorForegroundColor(*m_storage, range, m_answerFontAttributes);
    else if (range.length > 0)
        OLSyntaxHighlighter::highlightSyntaxFor(*m_storage, range, m_answerFontAttributes);
    if (output.done == output.text.size())
        m_pendingOutput.pop_front();
    fix();
}

bool OLInterpreterViewController::needsTrim() const
{
    // The input is the user's: only the fixed part is trimmed.
    return m_droppedOutput || m_fixedLength > m_defaults.loadMaximumConsoleLength();
}

int OLInterpreterViewController::trimToMaximum()
{
    if (!needsTrim())
        return 0;
    m_droppedOutput = false;
    const qsizetype maximum = m_defaults.loadMaximumConsoleLength();
    const qsizetype total = length();
    const QString note = tr("(* earlier output trimmed *)\n");
    // A little more than needed, so that a flood trims now and then, not
    // after every piece.
    const qsizetype excess = qMin(qMax<qsizetype>(0, m_fixedLength - (maximum - maximum / 40)) + note.size(), slice);
    const QString &text = m_storage->string();
    // Whole lines where there are any (looked for within a slice); never
    // into the unfixed input.
    const qsizetype lineFrom = qMin(excess - 1, total);
    const qsizetype lineEnd = QStringView(text).sliced(lineFrom, qMin(slice, total - lineFrom)).indexOf(u'\n');
    qsizetype cut = lineEnd < 0 ? 0 : lineFrom + lineEnd + 1;
    if (cut <= 0 || cut > m_fixedLength) {
        cut = qMin<qsizetype>(excess, m_fixedLength);
        if (cut > 0 && cut < total && text[cut].isLowSurrogate())
            ++cut;
    }
    if (cut <= 0)
        return 0;

    // What changed so far is noted first: taken together with the change at
    // the start, it would span the whole text.
    m_inTextView->markStorageChanges();
    // The scroll bar counts the lines on the screen.
    const int linesBefore = m_inTextView->document()->lineCount();
    m_inTextView->replaceDirect(0, cut, note);
    m_storage->setForegroundColor({0, note.size() - 1}, m_fontAttributes.comColor);

    const qsizetype delta = note.size() - cut;
    m_fixedLength += delta;
    std::erase_if(m_shown, [cut](const Shown &shown) { return shown.location + shown.length <= cut; });
    for (Shown &shown : m_shown) {
        const qsizetype lost = qMax<qsizetype>(0, cut - shown.location);
        shown = {shown.location + lost + delta, shown.length - lost, shown.output + lost};
    }
    for (QList<Range> *ranges : {&m_answerRanges, &m_errorRanges}) {
        qsizetype dropped = 0;
        while (dropped < ranges->size() && ranges->at(dropped).location < cut && ranges->at(dropped).end() <= cut)
            ++dropped;
        ranges->remove(0, dropped);
        for (Range &range : *ranges) {
            // A range cut in two keeps its surviving part, right after the note.
            const qsizetype from = range.location < cut ? note.size() : range.location + delta;
            range = {from, range.end() + delta - from};
        }
    }
    return linesBefore - m_inTextView->document()->lineCount();
}

void OLInterpreterViewController::fix()
{
    m_fixedLength = length();
    m_history->reset();
}

void OLInterpreterViewController::clearFixed()
{
    flushOutput();
    m_inTextView->replaceDirect(0, m_fixedLength, QString());
    m_fixedLength = 0;
    m_answerRanges.clear();
    m_errorRanges.clear();
    m_shown.clear();
    m_inTextView->renderStorageChanges();
    relocateArrowUnanimated();
}

void OLInterpreterViewController::backInHistory()
{
    flushOutput();
    m_history->back();
    updateView();
}

void OLInterpreterViewController::forwardInHistory()
{
    flushOutput();
    m_history->forward();
    updateView();
}

void OLInterpreterViewController::updateView()
{
    if (length() > m_fixedLength)
        OLSyntaxHighlighter::highlightSyntaxFor(*m_storage, {m_fixedLength, length() - m_fixedLength},
                                                m_fontAttributes);
    m_inTextView->renderStorageChanges();
}

void OLInterpreterViewController::updateViewAll()
{
    // The whole text takes the opaque colours; the storage they are written
    // to is then rebuilt by appending the text piece by piece, as it grew:
    // each answer range coloured as the text that ended with it, each error
    // range in the error colour, the text between them keeping the colours of
    // the whole. Colouring at the end of a text costs only what was added, so
    // this is linear in the text, whatever the number of ranges.
    OLTextStorage &whole = *m_storage;
    const QString &text = whole.string();
    if (!text.isEmpty())
        OLSyntaxHighlighter::highlightSyntaxFor(whole, {0, text.size()}, m_fontAttributes);

    auto rebuilt = std::make_unique<OLTextStorage>();
    // Appends text up to `to` with the traits it has, and with its colours
    // when `keepColours`; equal neighbours are written together.
    const auto append = [&](qsizetype to, bool keepColours) {
        const qsizetype from = rebuilt->length();
        if (to <= from)
            return;
        rebuilt->replaceCharacters(from, 0, text.sliced(from, to - from));
        const QList<OLTextStorage::Run> runs = whole.runs(from, to);
        qsizetype traitsFrom = from, coloursFrom = from;
        for (qsizetype i = 0; i < runs.size(); ++i) {
            const bool last = i + 1 == runs.size();
            const qsizetype end = runs[i].location + runs[i].length;
            if (last || runs[i + 1].fontTraits != runs[i].fontTraits) {
                rebuilt->addFontTraits({traitsFrom, end - traitsFrom}, runs[i].fontTraits);
                traitsFrom = end;
            }
            if (keepColours && (last || runs[i + 1].foreground != runs[i].foreground)) {
                rebuilt->setForegroundColor({coloursFrom, end - coloursFrom}, runs[i].foreground);
                coloursFrom = end;
            }
        }
    };

    const qint64 answerTraits = m_defaults.loadAnswerFontTraits();
    const qint64 errorTraits = m_defaults.loadErrorFontTraits();
    qsizetype answer = 0, error = 0;
    while (answer < m_answerRanges.size() || error < m_errorRanges.size()) {
        const bool isAnswer = error == m_errorRanges.size()
            || (answer < m_answerRanges.size()
                && m_answerRanges[answer].location <= m_errorRanges[error].location);
        const Range range = isAnswer ? m_answerRanges[answer++] : m_errorRanges[error++];
        append(range.location, true);
        append(range.end(), false);
        if (isAnswer) {
            if (range.length > 0)
                OLSyntaxHighlighter::highlightSyntaxFor(*rebuilt, range, m_answerFontAttributes);
            rebuilt->addFontTraits(range, answerTraits);
        } else {
            OLSyntaxHighlighter::setErrorForegroundColor(*rebuilt, range, m_answerFontAttributes);
            rebuilt->addFontTraits(range, errorTraits);
        }
    }
    append(text.size(), true);

    // The view draws all of it anew.
    rebuilt->takeChangedRange();
    const auto previous = std::exchange(m_storage, std::move(rebuilt));
    m_inTextView->setTextStorage(m_storage.get());
}

QString OLInterpreterViewController::replaceUnfixedWithString(const QString &text)
{
    const QString replaced = m_storage->string().sliced(m_fixedLength);
    m_inTextView->replaceDirect(m_fixedLength, replaced.size(), text);
    return replaced;
}

void OLInterpreterViewController::selectUnfixed()
{
    flushOutput();
    m_inTextView->selectText(m_fixedLength, length());
}

void OLInterpreterViewController::textDidChange()
{
    updateView();
    m_history->reset();
}

qint64 OLInterpreterViewController::outputAt(qsizetype position) const
{
    const auto after = std::upper_bound(m_shown.begin(), m_shown.end(), position,
                                         [](qsizetype at, const Shown &shown) { return at < shown.location; });
    if (after == m_shown.begin() || position >= std::prev(after)->location + std::prev(after)->length)
        return -1;
    return std::prev(after)->output + position - std::prev(after)->location;
}

bool OLInterpreterViewController::activateOutput(qsizetype position)
{
    const qint64 output = position < m_fixedLength ? outputAt(position) : -1;
    return output >= 0 && m_windowController && m_windowController->activateOutput(output);
}

bool OLInterpreterViewController::insertNewline()
{
    const QTextCursor cursor = m_inTextView->textCursor();
    if (!cursor.hasSelection() && activateOutput(m_inTextView->textPosition(cursor.position())))
        return true;
    const QString &text = m_storage->string();
    if (text.size() <= m_fixedLength)
        return true;
    const QString input = text.sliced(m_fixedLength);
    qsizetype last = input.size();
    while (last > 0 && isWhitespaceOrNewline(input[last - 1]))
        --last;
    if (last > 0 && input[last - 1] == u';' && m_inTextView->selectionLocation() == text.size()) {
        m_inTextView->insertTyped(QStringLiteral("\n"));
        fix();
        relocateArrow(true);
        m_history->addItem(input);
        if (m_windowController)
            m_windowController->eval(input, OLConsoleCommitter);
        return true;
    }
    m_inTextView->insertNewlineKeepingTabs(text);
    return true;
}

qsizetype OLInterpreterViewController::inputLine() const
{
    return m_inTextView->lineAt(m_fixedLength) + 1;
}

void OLInterpreterViewController::relocateArrow(bool animated)
{
    // Beside the line on the screen where the input begins; beyond an edge of
    // the viewport while that line is out of view (measuring the way to it
    // would lay out every line between).
    QTextCursor input(m_inTextView->document());
    // Scrolling may come in the middle of a trim, before the fixed part is.
    input.setPosition(m_inTextView->documentPosition(qMin(m_fixedLength, length())));
    int lineTop = -2 * m_arrow->height();
    if (m_fixedLength > m_inTextView->visibleEnd()) {
        lineTop = m_inTextView->viewport()->height() + m_arrow->height();
    } else if (input.blockNumber() >= m_inTextView->cursorForPosition(QPoint(0, 0)).blockNumber()) {
        const QRect line = m_inTextView->cursorRect(input);
        lineTop = line.top() + (line.height() - m_arrow->height()) / 2;
    }
    const int viewportTop = m_inTextView->viewport()->mapTo(this, QPoint(0, 0)).y() - m_gutter->y();
    const QPoint target(m_arrow->x(), viewportTop + lineTop);
    m_arrowAnimation->stop();
    // Output that keeps coming asks for every frame: an arrow in place stays.
    if (animated && target != m_arrow->pos()) {
        m_arrowAnimation->setStartValue(m_arrow->pos());
        m_arrowAnimation->setEndValue(target);
        m_arrowAnimation->start();
    } else {
        m_arrow->move(target);
    }
}

bool OLInterpreterViewController::recallsHistory(const QKeyEvent *event)
{
    const bool up = event->key() == Qt::Key_Up;
    if ((!up && event->key() != Qt::Key_Down) || (event->modifiers() & ~Qt::KeypadModifier))
        return false;
    const QTextCursor cursor = m_inTextView->textCursor();
    if (m_inTextView->textPosition(cursor.position()) < m_fixedLength)
        return false;
    // Within a multi-line input the keys move the cursor as usual.
    const QTextDocument *document = m_inTextView->document();
    if (up && cursor.block() == document->findBlock(m_inTextView->documentPosition(m_fixedLength)))
        backInHistory();
    else if (!up && cursor.block() == document->lastBlock())
        forwardInHistory();
    else
        return false;
    return true;
}

bool OLInterpreterViewController::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        // While a paste goes in, the key waits for it in the view.
        if (m_inTextView->isInserting())
            break;
        flushOutput();
        if (watched == m_inTextView && recallsHistory(static_cast<QKeyEvent *>(event)))
            return true;
        break;
    case QEvent::InputMethod:
    case QEvent::Drop:
        flushOutput();
        break;
    case QEvent::MouseButtonDblClick:
        if (watched == m_inTextView->viewport()) {
            const QPoint point = static_cast<QMouseEvent *>(event)->position().toPoint();
            if (activateOutput(m_inTextView->textPosition(m_inTextView->cursorForPosition(point).position())))
                return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void OLInterpreterViewController::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    relocateArrowUnanimated();
}

void OLInterpreterViewController::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    relocateArrowUnanimated();
}
