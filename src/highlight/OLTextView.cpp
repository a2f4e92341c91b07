#include "highlight/OLTextView.h"

#include "highlight/OLTextStorage.h"
#include "highlight/OLQtColor.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextLayout>
#include <QtMath>

namespace {
// Translucent marks are drawn run by run; where two runs meet, their
// antialiased edges overlap and show a seam. Blending with the base colour
// first gives the same look without the seams.
QColor blendedOver(const QColor &base, const QColor &mark)
{
    const float a = mark.alphaF();
    return QColor::fromRgbF(mark.redF() * a + base.redF() * (1 - a), mark.greenF() * a + base.greenF() * (1 - a),
                            mark.blueF() * a + base.blueF() * (1 - a));
}

// One idle slice of drawing, with a pane's colouring slice and the drawing
// of the viewport it leaves in the same turn of the event loop, stays under
// 5 ms.
constexpr qint64 idleSliceNs = 1'500'000;
// Changes drawn in frames are drawn at most this often (a 60 Hz display's frame).
constexpr qint64 frameMs = 17;
// A paste longer than this goes in by slices of about this length (whole
// lines where it has some), as many as fit in the time of one event.
constexpr qsizetype insertionSlice = 16 * 1024;
constexpr qint64 insertionEventNs = 20'000'000;

// The block separators that are soft breaks carry this in their format, so
// that undo and redo bring them back as they were.
constexpr int softBreakProperty = QTextFormat::UserProperty + 1;

QTextCharFormat softBreakFormat()
{
    QTextCharFormat format;
    format.setProperty(softBreakProperty, true);
    return format;
}

// Whether the document holds the text just as it is: it makes a line
// break of a carriage return and of the frame characters, and gives back "\n".
bool keptAsIs(QStringView text)
{
    return std::none_of(text.begin(), text.end(), [](QChar c) {
        return c == u'\r' || c == QChar::ParagraphSeparator || c == QChar(0xFDD0) || c == QChar(0xFDD1);
    });
}

bool deletesBackward(const QKeyEvent *event)
{
    return event->matches(QKeySequence::DeleteStartOfWord)
        || (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)));
}

bool deletesForward(const QKeyEvent *event)
{
    return event->matches(QKeySequence::Delete) || event->matches(QKeySequence::DeleteEndOfWord)
        || event->matches(QKeySequence::DeleteEndOfLine) || event->matches(QKeySequence::DeleteCompleteLine);
}

// What the key types; empty for a key that types nothing.
QString typedText(const QKeyEvent *event)
{
    const QString text = event->text();
    const bool types = !text.isEmpty()
        && std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isPrint() || c == u'\t'; })
        && !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
    return types ? text : QString();
}
} // namespace

// Qt's plain text layout lays out a block at once after any change within
// it. For the view's own changes, whose drawing the view arranges itself,
// the block is only marked, and laid out when it is next measured or drawn:
// a run of changes to one block (the pieces of output that go on with a long
// line, the colours drawn after them) costs one layout.
class OLDeferringLayout final : public QPlainTextDocumentLayout
{
public:
    using QPlainTextDocumentLayout::QPlainTextDocumentLayout;
    bool defers = false;

protected:
    void documentChanged(int from, int removed, int added) override
    {
        const QTextBlock block = document()->findBlock(from);
        if (defers && block.isValid() && block == document()->findBlock(qMax(0, from + removed + added - 1))
            && document()->blockCount() == m_blockCount) {
            QTextBlock(block).clearLayout();
            return;
        }
        QPlainTextDocumentLayout::documentChanged(from, removed, added);
        m_blockCount = document()->blockCount();
    }

private:
    int m_blockCount = 1;
};

// A scroll bar drawn again only when what it shows changes: output that
// keeps coming changes its range at every frame, mostly by less than a pixel
// of its slider, and drawing it costs more than drawing the lines (Qt's
// raster engine hands the style's long lines and fills to a pool of threads
// and waits for them; on two cores they take the CPU from the interpreter).
// Its look is compared once the changes of a turn of the event loop are made
// (a range that grows takes the value off the end for a moment). A look
// changed by a new range, as text comes in, is drawn at most ten times a
// second; one changed by scrolling alone at once.
class OLQuietScrollBar final : public QScrollBar
{
public:
    explicit OLQuietScrollBar(Qt::Orientation orientation)
        : QScrollBar(orientation)
    {
        m_rangeRedraw.setSingleShot(true);
        connect(&m_rangeRedraw, &QTimer::timeout, this, &OLQuietScrollBar::redrawIfChanged);
    }

protected:
    void sliderChange(SliderChange change) override
    {
        m_rangeChanged = m_rangeChanged || change == SliderRangeChange;
        if (std::exchange(m_changed, true))
            return;
        QMetaObject::invokeMethod(this, &OLQuietScrollBar::redrawIfChanged, Qt::QueuedConnection);
    }
    void paintEvent(QPaintEvent *event) override
    {
        m_drawn = look();
        m_rangeChanged = false;
        m_rangeRedraw.stop();
        m_sinceDrawn.start();
        QScrollBar::paintEvent(event);
    }

private:
    struct Look {
        QRect slider;
        bool empty = false, atMinimum = false, atMaximum = false;
        bool operator==(const Look &) const = default;
    };
    Look look() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
                minimum() == maximum(), value() == minimum(), value() == maximum()};
    }
    void redrawIfChanged()
    {
        m_changed = false;
        if (look() == m_drawn) {
            m_rangeChanged = false;
            return;
        }
        const qint64 wait = m_rangeChanged && m_sinceDrawn.isValid() ? rangeRedrawMs - m_sinceDrawn.elapsed() : 0;
        if (wait <= 0)
            update();
        else if (!m_rangeRedraw.isActive())
            m_rangeRedraw.start(int(wait));
    }

    static constexpr qint64 rangeRedrawMs = 100;
    std::optional<Look> m_drawn;
    QElapsedTimer m_sinceDrawn;
    QTimer m_rangeRedraw;
    bool m_changed = false;
    bool m_rangeChanged = false;
};

OLTextView::OLTextView(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setVerticalScrollBar(new OLQuietScrollBar(Qt::Vertical));
    setHorizontalScrollBar(new OLQuietScrollBar(Qt::Horizontal));
    auto *text = new QTextDocument(this);
    m_layout = new OLDeferringLayout(text);
    text->setDocumentLayout(m_layout);
    setDocument(text);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setWordWrapMode(QTextOption::NoWrap);
    connect(document(), &QTextDocument::contentsChange, this, &OLTextView::forwardContentsChange);
    m_idleRender = new QTimer(this);
    m_idleRender->setSingleShot(true);
    m_idleRender->setInterval(0);
    connect(m_idleRender, &QTimer::timeout, this, &OLTextView::renderIdleSlice);
    m_frameRender = new QTimer(this);
    m_frameRender->setSingleShot(true);
    m_frameRender->setTimerType(Qt::PreciseTimer);
    connect(m_frameRender, &QTimer::timeout, this, &OLTextView::renderVisible);
    m_sinceFrame.start();
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &OLTextView::renderVisible);
    m_insertionSlices = new QTimer(this);
    m_insertionSlices->setSingleShot(true);
    m_insertionSlices->setInterval(0);
    connect(m_insertionSlices, &QTimer::timeout, this, [this] { insertSlices(insertionEventNs); });
}

void OLTextView::setTextStorage(OLTextStorage *storage)
{
    m_storage = storage;
    m_dirty.clear();
    if (storage)
        markDirty(0, document()->characterCount());
    renderVisible();
}

void OLTextView::renderStorageChanges()
{
    if (!m_storage)
        return;
    markStorageChanges();
    renderVisible();
}

void OLTextView::renderStorageChangesInFrame()
{
    if (!m_storage)
        return;
    if (!m_frameRender->isActive())
        m_frameRender->start(int(qMax<qint64>(0, frameMs - m_sinceFrame.elapsed())));
    markStorageChanges();
}

void OLTextView::renderAppendedStorageChanges()
{
    if (!m_storage)
        return;
    markStorageChanges();
    const QTextBlock first = document()->findBlockByNumber(qMax(0, document()->blockCount() - blocksInViewport()));
    renderDirty(first.position(), document()->characterCount());
}

void OLTextView::markStorageChanges()
{
    if (const auto changed = m_storage->takeChangedRange())
        markDirty(documentPosition(changed->location), documentPosition(changed->end()));
}

void OLTextView::markDirty(qsizetype from, qsizetype to)
{
    // Whole blocks; an empty range still names the block it lies in.
    const QTextBlock first = document()->findBlock(int(from));
    const QTextBlock last = document()->findBlock(int(qMax(from, to - 1)));
    if (!first.isValid())
        return;
    from = first.position();
    to = last.isValid() ? last.position() + last.length() : document()->characterCount();
    // Merge into the sorted, disjoint list.
    auto it = std::lower_bound(m_dirty.begin(), m_dirty.end(), from,
                               [](const Span &s, qsizetype pos) { return s.to < pos; });
    auto end = it;
    while (end != m_dirty.end() && end->from <= to) {
        from = qMin(from, end->from);
        to = qMax(to, end->to);
        ++end;
    }
    it = m_dirty.erase(it, end);
    m_dirty.insert(it, Span{from, to});
    // Behind a frame, the blocks out of sight follow the frame.
    if (m_rendersAhead && !m_idleRender->isActive() && !m_frameRender->isActive())
        m_idleRender->start();
}

bool OLTextView::renderDirty(qsizetype from, qsizetype to, qint64 budgetNs)
{
    QElapsedTimer clock;
    clock.start();
    const Span near = nearViewport();
    // The blocks drawn anew that may be in view are drawn again there, in one.
    QTextBlock firstNear, lastNear;
    bool complete = true;
    auto it = std::lower_bound(m_dirty.begin(), m_dirty.end(), from,
                               [](const Span &s, qsizetype pos) { return s.to <= pos; });
    while (it != m_dirty.end() && it->from < to) {
        const qsizetype begin = qMax(it->from, from);
        const qsizetype stop = qMin(it->to, to);
        qsizetype done = begin;
        for (QTextBlock block = document()->findBlock(int(begin)); block.isValid() && done < stop;
             block = block.next()) {
            if (renderBlock(block) && block.position() < near.to && block.position() + block.length() > near.from) {
                if (!firstNear.isValid())
                    firstNear = block;
                lastNear = block;
            }
            done = block.position() + block.length();
            if (budgetNs >= 0 && clock.nsecsElapsed() > budgetNs)
                break;
        }
        done = qMin(done, stop);
        // Keep what is left of this span on either side of [begin, done).
        const Span span = *it;
        it = m_dirty.erase(it);
        if (done < span.to)
            it = m_dirty.insert(it, Span{done, span.to});
        if (span.from < begin)
            it = std::next(m_dirty.insert(it, Span{span.from, begin}));
        if (budgetNs >= 0 && clock.nsecsElapsed() > budgetNs) {
            complete = false;
            break;
        }
        if (done < span.to)
            ++it;
    }
    if (firstNear.isValid())
        redrawLines(firstNear, lastNear);
    return complete;
}

void OLTextView::redrawLines(const QTextBlock &first, const QTextBlock &last)
{
    const QTextBlock top = firstVisibleBlock();
    if (!top.isValid() || (last.isValid() && last.blockNumber() < top.blockNumber()))
        return;
    // Measured from the top of the viewport at most, down to its bottom at
    // most: blocks out of sight are not laid out for this.
    QTextBlock block = first.isValid() && first.blockNumber() > top.blockNumber() ? first : top;
    const qreal from = blockBoundingGeometry(block).translated(contentOffset()).top();
    const qreal height = viewport()->height();
    qreal to = from;
    if (!last.isValid())
        to = height;
    for (; last.isValid() && block.isValid() && to < height; block = block.next()) {
        to += blockBoundingRect(block).height();
        if (block == last)
            break;
    }
    const QRect lines = QRect(0, qFloor(from), viewport()->width(), qCeil(to) - qFloor(from)) & viewport()->rect();
    if (!lines.isEmpty())
        viewport()->update(lines);
}

OLTextView::Span OLTextView::nearViewport() const
{
    const QTextBlock first = firstVisibleBlock();
    if (!first.isValid())
        return {0, 0};
    const QTextBlock last = document()->findBlockByNumber(first.blockNumber() + blocksInViewport());
    return {first.position(), last.isValid() ? last.position() + last.length() : document()->characterCount()};
}

// A block is a line high at least, so no more blocks fit in the viewport
// than lines of half the font's height; counting blocks costs nothing like
// measuring them.
int OLTextView::blocksInViewport() const
{
    return int(2 * viewport()->height() / QFontMetricsF(font()).height()) + 2;
}

void OLTextView::renderVisible()
{
    m_frameRender->stop();
    m_sinceFrame.restart();
    if (m_movedFrom >= 0) {
        // A position past the end finds no block: all is drawn again.
        redrawLines(document()->findBlock(int(std::exchange(m_movedFrom, -1))), QTextBlock());
    }
    if (!m_storage || m_dirty.empty())
        return;
    const QTextBlock first = firstVisibleBlock();
    if (first.isValid())
        renderDirty(first.position(), visibleDocumentEnd());
    // Idle slices may have stopped at the blocks that waited for the frame.
    if (m_rendersAhead && !m_dirty.empty() && !m_idleRender->isActive())
        m_idleRender->start();
}

int OLTextView::visibleDocumentEnd() const
{
    // Walk down from the first visible block; no cursor is made, so a layout
    // that is still catching up with an edit is never asked for a position.
    QTextBlock block = firstVisibleBlock();
    if (!block.isValid())
        return document()->characterCount();
    qreal top = blockBoundingGeometry(block).translated(contentOffset()).top();
    const qreal bottom = viewport()->height();
    int end = block.position() + block.length();
    for (; block.isValid() && top <= bottom; block = block.next()) {
        end = block.position() + block.length();
        top += blockBoundingRect(block).height();
    }
    return end;
}

void OLTextView::renderIdleSlice()
{
    if (!m_storage || m_dirty.empty())
        return;
    const qsizetype end = document()->characterCount();
    if (!m_frameRender->isActive()) {
        renderDirty(m_dirty.front().from, end, idleSliceNs);
        if (!m_dirty.empty())
            m_idleRender->start();
        return;
    }
    // The viewport waits for its frame: only the blocks out of sight now.
    QElapsedTimer clock;
    clock.start();
    const Span near = nearViewport();
    if (renderDirty(0, near.from, idleSliceNs))
        renderDirty(near.to, end, qMax<qint64>(0, idleSliceNs - clock.nsecsElapsed()));
    if (!m_dirty.empty() && (m_dirty.front().from < near.from || m_dirty.back().to > near.to))
        m_idleRender->start();
}

bool OLTextView::renderBlock(const QTextBlock &block)
{
    const qsizetype start = textPosition(block.position());
    const qsizetype end = qMin<qsizetype>(start + block.length() - 1, m_storage->length());
    const QColor base = palette().base().color();
    QList<QTextLayout::FormatRange> formats;
    if (start < end) {
        for (const OLTextStorage::Run &run : m_storage->runs(start, end)) {
            if (!run.foreground && !run.background && !run.fontTraits)
                continue;
            QTextLayout::FormatRange range;
            range.start = int(run.location - start);
            range.length = int(run.length);
            if (run.foreground)
                range.format.setForeground(toQColor(*run.foreground));
            if (run.background)
                range.format.setBackground(blendedOver(base, toQColor(*run.background)));
            if (run.fontTraits & OLTextStorage::Bold)
                range.format.setFontWeight(QFont::Bold);
            if (run.fontTraits & OLTextStorage::Italic)
                range.format.setFontItalic(true);
            formats.append(range);
        }
    }
    QTextLayout *layout = block.layout();
    if (formats.isEmpty() && layout->formats().isEmpty())
        return false;
    layout->setFormats(formats);
    // The document's layout takes this for a change that may move the blocks
    // below and would have the whole viewport drawn again. The block is laid
    // out anew when it is measured or drawn, and the caller has only it drawn.
    const QSignalBlocker quiet(document()->documentLayout());
    const QScopedValueRollback defer(m_layout->defers, true);
    document()->markContentsDirty(block.position(), block.length());
    return true;
}

bool OLTextView::allows(qsizetype location) const
{
    return !shouldChangeText || shouldChangeText(location);
}

qsizetype OLTextView::selectionLocation() const
{
    return textPosition(textCursor().selectionStart());
}

void OLTextView::selectText(qsizetype anchor, qsizetype position)
{
    QTextCursor cursor(document());
    cursor.setPosition(documentPosition(anchor));
    cursor.setPosition(documentPosition(position), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

qsizetype OLTextView::lineCount() const
{
    return document()->blockCount() - m_softBreaks.count();
}

qsizetype OLTextView::lineAt(qsizetype textPosition) const
{
    const QTextBlock block = document()->findBlock(documentPosition(textPosition));
    return lineOf(block.isValid() ? block : document()->lastBlock());
}

qsizetype OLTextView::lineOf(const QTextBlock &block) const
{
    return block.blockNumber() - m_softBreaks.countBefore(block.position());
}

qsizetype OLTextView::columnAt(qsizetype textPosition) const
{
    QTextBlock block = document()->findBlock(documentPosition(textPosition));
    if (!block.isValid())
        block = document()->lastBlock();
    while (continuesLine(block))
        block = block.previous();
    return textPosition - this->textPosition(block.position());
}

bool OLTextView::continuesLine(const QTextBlock &block) const
{
    return block.position() > 0 && m_softBreaks.isBreakAt(block.position() - 1);
}

bool OLTextView::insertTyped(const QString &text)
{
    if (!allows(selectionLocation()))
        return false;
    QTextCursor cursor = textCursor();
    insertText(cursor, text);
    setTextCursor(cursor);
    ensureCursorVisible();
    return true;
}

void OLTextView::insertNewlineKeepingTabs(QStringView text)
{
    const qsizetype tabs = text.sliced(text.lastIndexOf(u'\n') + 1).count(u'\t');
    insertTyped(QStringLiteral("\n"));
    for (qsizetype i = 0; i < tabs; ++i)
        insertTyped(QStringLiteral("\t"));
}

void OLTextView::insertText(QTextCursor &cursor, const QString &text)
{
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    const QTextBlock block = cursor.block();
    const qsizetype before = cursor.position() - block.position();
    const std::vector<qsizetype> breaks =
        OLSoftBreaks::breaksFor(text, before, block.length() - 1 - before, pieceLength());
    // Line breaks of the text never take the format of a soft break nearby.
    const QTextCharFormat plain;
    qsizetype from = 0;
    m_addsSoftBreaks = m_addsSoftBreaks || !breaks.empty();
    if (keptAsIs(text))
        m_inserted = Inserted{text, cursor.position(), int(text.size() + qsizetype(breaks.size()))};
    for (const qsizetype at : breaks) {
        if (at > from)
            cursor.insertText(text.sliced(from, at - from), plain);
        cursor.insertBlock(cursor.blockFormat(), softBreakFormat());
        from = at;
    }
    if (from < text.size())
        cursor.insertText(text.sliced(from), plain);
    cursor.endEditBlock();
}

void OLTextView::cutLongBlock(const QTextBlock &block)
{
    if (!block.isValid() || block.length() - 1 <= 2 * pieceLength())
        return;
    const std::vector<qsizetype> breaks = OLSoftBreaks::breaksFor(block.text(), 0, 0, pieceLength());
    const int start = block.position();
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    m_addsSoftBreaks = true;
    for (auto it = breaks.rbegin(); it != breaks.rend(); ++it) {
        cursor.setPosition(start + int(*it));
        cursor.insertBlock(cursor.blockFormat(), softBreakFormat());
    }
    cursor.endEditBlock();
}

qsizetype OLTextView::pieceLength() const
{
    return lineWrapMode() == NoWrap ? OLSoftBreaks::unwrappedPieceLength : OLSoftBreaks::wrappedPieceLength;
}

QString OLTextView::textBetween(int from, int to) const
{
    QTextCursor range(document());
    range.setPosition(from);
    range.setPosition(to, QTextCursor::KeepAnchor);
    QString text = range.selectedText();
    const qsizetype first = m_softBreaks.countBefore(from), last = m_softBreaks.countBefore(to);
    if (first < last) {
        QString kept;
        kept.reserve(text.size() - (last - first));
        qsizetype at = 0;
        for (qsizetype i = first; i < last; ++i) {
            const qsizetype soft = m_softBreaks.at(i) - from;
            kept.append(QStringView(text).sliced(at, soft - at));
            at = soft + 1;
        }
        kept.append(QStringView(text).sliced(at));
        text = std::move(kept);
    }
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

void OLTextView::replaceDirect(qsizetype location, qsizetype length, const QString &text)
{
    finishInsertion();
    const QScopedValueRollback direct(m_direct, true);
    QTextCursor cursor(document());
    // In an edit block from the start: a cursor placed outside one lays out
    // the block it stands in.
    cursor.beginEditBlock();
    cursor.setPosition(documentPosition(location));
    cursor.setPosition(documentPosition(location + length), QTextCursor::KeepAnchor);
    // The document's layout has the whole viewport drawn again after any
    // change of more than one line. Only the lines from the change down can
    // have moved: output added at the end of the console draws the new lines
    // only (what scrolls is moved, not drawn). The viewport is drawn from
    // the highest change down when it is next drawn, so a run of changes
    // (the pieces of output of one frame) measures the lines once.
    QAbstractTextDocumentLayout *layout = document()->documentLayout();
    const QSizeF size = layout->documentSize();
    const int from = cursor.selectionStart();
    {
        const QSignalBlocker quiet(layout);
        const QScopedValueRollback defer(m_layout->defers, true);
        insertText(cursor, text);
        cursor.endEditBlock();
    }
    if (!m_scrollBarsHeld && layout->documentSize() != size)
        Q_EMIT layout->documentSizeChanged(layout->documentSize());
    m_movedFrom = m_movedFrom < 0 ? from : qMin<qsizetype>(m_movedFrom, from);
    if (!m_frameRender->isActive())
        m_frameRender->start(0);
}

void OLTextView::setScrollBarsHeld(bool held)
{
    m_scrollBarsHeld = held;
    if (!held) {
        QAbstractTextDocumentLayout *layout = document()->documentLayout();
        Q_EMIT layout->documentSizeChanged(layout->documentSize());
    }
}

void OLTextView::forwardContentsChange(int position, int, int added)
{
    // Only an undo or redo reaches here unchecked: ask now, at the first
    // change it makes, and take it back below when refused.
    // Whole-document changes count the final block separator, which the
    // text does not hold, and the counts of a whole replacement need not
    // add up: what was removed follows from the lengths before and after.
    const int before = std::exchange(m_documentLength, document()->characterCount() - 1);
    const int addedEnd = qMin(position + added, m_documentLength);
    const int removedEnd = qBound(position, addedEnd + before - m_documentLength, before);
    if (m_probe == HistoryProbe::Checking)
        m_probe = allows(textPosition(position)) ? HistoryProbe::Allowed : HistoryProbe::Refused;
    if (m_probe == HistoryProbe::Refused)
        return;
    // The soft breaks as they were tell what was removed; as they are now,
    // what was added.
    const qsizetype from = textPosition(position);
    const qsizetype removedText = textPosition(removedEnd) - from;
    m_softBreaks.replaced(position, removedEnd - position, addedEnd - position);
    if (std::exchange(m_addsSoftBreaks, false) || m_inHistory) {
        for (QTextBlock block = document()->findBlock(position).next(); block.isValid() && block.position() <= addedEnd;
             block = block.next()) {
            if (block.charFormat().hasProperty(softBreakProperty))
                m_softBreaks.add(block.position() - 1);
        }
    }
    shiftDirty(position, removedEnd - position, addedEnd - position);
    // The text of a change the view made is the text it put in; reading it
    // back copies it out of the document's pieces.
    const bool known = m_inserted && m_inserted->position == position && m_inserted->length == addedEnd - position;
    const QString text = known ? m_inserted->text : textBetween(position, addedEnd);
    m_inserted.reset();
    if (removedText == 0 && text.isEmpty())
        return; // soft breaks only
    if (m_storage)
        m_storage->replaceCharacters(from, qMin(removedText, m_storage->length() - from), text);
    Q_EMIT contentsEdited(from, removedText, text.size());
    if (!m_direct)
        Q_EMIT textDidChange();
}

void OLTextView::shiftDirty(qsizetype position, qsizetype removed, qsizetype added)
{
    // Blocks not drawn yet stay marked where their text now is.
    const qsizetype removedEnd = position + removed;
    const auto shift = [&](qsizetype p) {
        return p <= position ? p : p >= removedEnd ? p + added - removed : position + added;
    };
    std::vector<Span> moved;
    moved.reserve(m_dirty.size());
    for (const Span &span : m_dirty) {
        if (const Span s{shift(span.from), shift(span.to)}; s.from < s.to)
            moved.push_back(s);
    }
    m_dirty = std::move(moved);
}

void OLTextView::undoOrRedo(bool undo)
{
    finishInsertion();
    if (undo ? !document()->isUndoAvailable() : !document()->isRedoAvailable())
        return;
    m_probe = HistoryProbe::Checking;
    // The history brings soft breaks back with their format.
    const QScopedValueRollback history(m_inHistory, true);
    if (undo)
        document()->undo();
    else
        document()->redo();
    if (m_probe == HistoryProbe::Refused) {
        if (undo)
            document()->redo();
        else
            document()->undo();
    }
    m_probe = HistoryProbe::None;
}

void OLTextView::guardedUndo() { undoOrRedo(true); }
void OLTextView::guardedRedo() { undoOrRedo(false); }

void OLTextView::guardedCut()
{
    finishInsertion();
    if (isReadOnly() || !textCursor().hasSelection() || !allows(selectionLocation()))
        return;
    cut();
}

void OLTextView::guardedPaste()
{
    if (!isReadOnly() && canPaste())
        paste(); // checked in insertFromMimeData
}

void OLTextView::guardedDelete()
{
    finishInsertion();
    QTextCursor cursor = textCursor();
    if (isReadOnly() || !cursor.hasSelection() || !allows(selectionLocation()))
        return;
    cursor.removeSelectedText();
}

qsizetype OLTextView::editStartForKey(QKeyEvent *event) const
{
    const QTextCursor cursor = textCursor();
    const bool deletesBack = deletesBackward(event);
    const bool deletesForward = ::deletesForward(event);
    const bool cuts = event->matches(QKeySequence::Cut);
    const bool types = !typedText(event).isEmpty();

    if (!deletesBack && !deletesForward && !cuts && !types)
        return -1;
    if (cursor.hasSelection())
        return cursor.selectionStart();
    if (cuts)
        return -1;
    if (deletesBack) {
        if (event->matches(QKeySequence::DeleteStartOfWord)) {
            QTextCursor word = cursor;
            word.movePosition(QTextCursor::PreviousWord);
            return word.position();
        }
        return cursor.position() > 0 ? cursor.position() - 1 : -1;
    }
    if (event->matches(QKeySequence::DeleteCompleteLine))
        return cursor.block().position();
    return cursor.position();
}

void OLTextView::keyPressEvent(QKeyEvent *event)
{
    if (isInserting()) {
        // In order, after the paste.
        m_waitingKeys.push_back(std::make_unique<QKeyEvent>(event->type(), event->key(), event->modifiers(),
                                                             event->text(), event->isAutoRepeat(), event->count()));
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
        if (!isReadOnly())
            undoOrRedo(event->matches(QKeySequence::Undo));
        event->accept();
        return;
    }
    const bool enter = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (enter && !isReadOnly()) {
        if (!insertNewline || !insertNewline())
            insertTyped(QStringLiteral("\n"));
        event->accept();
        return;
    }
    if (!isReadOnly()) {
        if (willInsertText && !typedText(event).isEmpty())
            willInsertText();
        stepOverSoftBreak(event);
        const qsizetype start = editStartForKey(event);
        if (start >= 0 && !allows(textPosition(int(start)))) {
            event->accept();
            return;
        }
        // Typing that makes a block too long cuts it in the same undo step.
        const QString typed = typedText(event);
        if (!typed.isEmpty() && textCursor().block().length() + typed.size() > 2 * pieceLength() + 1) {
            QTextCursor cursor = textCursor();
            insertText(cursor, typed);
            setTextCursor(cursor);
            ensureCursorVisible();
            event->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void OLTextView::stepOverSoftBreak(QKeyEvent *event)
{
    QTextCursor cursor = textCursor();
    if (m_softBreaks.isEmpty() || cursor.hasSelection())
        return;
    const int start = cursor.position();
    if (deletesBackward(event)) {
        while (cursor.position() > 0 && m_softBreaks.isBreakAt(cursor.position() - 1))
            cursor.setPosition(cursor.position() - 1);
    } else if (deletesForward(event)) {
        while (m_softBreaks.isBreakAt(cursor.position()))
            cursor.setPosition(cursor.position() + 1);
    }
    if (cursor.position() != start)
        setTextCursor(cursor);
}

void OLTextView::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    // A taller view shows blocks that may not be drawn yet.
    renderVisible();
}

void OLTextView::inputMethodEvent(QInputMethodEvent *event)
{
    finishInsertion();
    const bool edits = !event->commitString().isEmpty() || !event->preeditString().isEmpty()
        || event->replacementLength() > 0;
    if (edits && !isReadOnly() && willInsertText)
        willInsertText();
    if (edits && !isReadOnly() && !allows(selectionLocation())) {
        event->accept();
        return;
    }
    QPlainTextEdit::inputMethodEvent(event);
    cutLongBlock(textCursor().block());
}

void OLTextView::insertFromMimeData(const QMimeData *source)
{
    finishInsertion();
    if (willInsertText)
        willInsertText();
    if (!source->hasText() || !allows(selectionLocation()))
        return;
    QTextCursor cursor = textCursor();
    const QString text = source->text();
    if (m_insertsInSlices && text.size() > insertionSlice) {
        cursor.removeSelectedText();
        if (m_storage)
            m_storage->reserve(m_storage->length() + text.size());
        m_insertion = {text, 0, cursor};
        insertSlices(insertionEventNs);
        return;
    }
    insertText(cursor, text);
    setTextCursor(cursor);
    ensureCursorVisible();
}

void OLTextView::insertSlices(qint64 budgetNs)
{
    QElapsedTimer clock;
    clock.start();
    const QString &text = m_insertion.text;
    // The lines from the first slice down are drawn, and the scroll bars
    // measured, once for all the slices of this event.
    QAbstractTextDocumentLayout *layout = document()->documentLayout();
    const int movedFrom = m_insertion.cursor.position();
    {
        const QSignalBlocker quiet(layout);
        while (m_insertion.done < text.size() && (budgetNs < 0 || clock.nsecsElapsed() < budgetNs)) {
            const qsizetype from = m_insertion.done;
            const qsizetype to = sliceEnd(text, from, insertionSlice);
            insertText(m_insertion.cursor, text.sliced(from, to - from));
            m_insertion.done = to;
        }
    }
    Q_EMIT layout->documentSizeChanged(layout->documentSize());
    m_movedFrom = m_movedFrom < 0 ? movedFrom : qMin<qsizetype>(m_movedFrom, movedFrom);
    if (!m_frameRender->isActive())
        m_frameRender->start(0);
    if (m_insertion.done < text.size()) {
        m_insertionSlices->start();
        return;
    }
    m_insertionSlices->stop();
    setTextCursor(m_insertion.cursor);
    ensureCursorVisible();
    m_insertion = {};
    for (std::unique_ptr<QKeyEvent> &key : m_waitingKeys)
        QCoreApplication::postEvent(this, key.release());
    m_waitingKeys.clear();
}

qsizetype OLTextView::sliceEnd(QStringView text, qsizetype from, qsizetype length)
{
    qsizetype to = qMin(from + length, text.size());
    if (to < text.size()) {
        // After a line feed where there is one; never inside a pair.
        if (const qsizetype lineEnd = text.sliced(from, to - from).lastIndexOf(u'\n'); lineEnd >= 0)
            to = from + lineEnd + 1;
        else if (text[to].isLowSurrogate() || (text[to - 1] == u'\r' && text[to] == u'\n'))
            ++to;
    }
    return to;
}

void OLTextView::finishInsertion()
{
    if (isInserting())
        insertSlices(-1);
}

QMimeData *OLTextView::createMimeDataFromSelection() const
{
    // Exactly the text: without soft breaks, every character as it is.
    const QTextCursor cursor = textCursor();
    auto *data = new QMimeData;
    data->setText(textBetween(cursor.selectionStart(), cursor.selectionEnd()));
    return data;
}

void OLTextView::dropEvent(QDropEvent *event)
{
    finishInsertion();
    // A move within the view also removes the dragged selection.
    const qsizetype target = textPosition(cursorForPosition(event->position().toPoint()).position());
    const bool movesOwnText = event->source() == this && event->proposedAction() == Qt::MoveAction;
    if (isReadOnly() || !allows(target) || (movesOwnText && !allows(selectionLocation()))) {
        event->ignore();
        return;
    }
    QPlainTextEdit::dropEvent(event);
}

void OLTextView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu(event->pos());
    // Route the editing entries through the guarded commands.
    const std::pair<const char *, void (OLTextView::*)()> guarded[] = {
        {"edit-undo", &OLTextView::guardedUndo}, {"edit-redo", &OLTextView::guardedRedo},
        {"edit-cut", &OLTextView::guardedCut},   {"edit-paste", &OLTextView::guardedPaste},
        {"edit-delete", &OLTextView::guardedDelete}};
    for (QAction *action : menu->actions()) {
        for (const auto &[name, command] : guarded) {
            if (action->objectName() == QLatin1StringView(name)) {
                action->disconnect();
                connect(action, &QAction::triggered, this, command);
            }
        }
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
