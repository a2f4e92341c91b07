#include "editor/OLLineNumberGutter.h"

#include "highlight/OLTextView.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>

namespace {
// Room for this many digits at least, so that the strip seldom widens.
constexpr int minimumDigits = 3;
constexpr int padding = 6;
} // namespace

OLLineNumberGutter::OLLineNumberGutter(OLTextView *view, QWidget *parent)
    : QWidget(parent)
    , m_view(view)
{
    setObjectName(QStringLiteral("lineNumbers"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    connect(m_view, &QPlainTextEdit::blockCountChanged, this, &OLLineNumberGutter::fitWidth);
    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, this, qOverload<>(&QWidget::update));
    connect(m_view, &QPlainTextEdit::cursorPositionChanged, this, &OLLineNumberGutter::cursorMoved);
    fitWidth();
}

void OLLineNumberGutter::fitWidth()
{
    fitLines(m_view->lineCount());
}

void OLLineNumberGutter::fitLines(qsizetype count)
{
    int digits = 1;
    for (; count >= 10; count /= 10)
        ++digits;
    setFixedWidth(2 * padding + fontMetrics().horizontalAdvance(u'9') * qMax(digits, minimumDigits));
    // The lines below an added or removed one have new numbers.
    update();
}

void OLLineNumberGutter::cursorMoved()
{
    const int line = int(cursorLine());
    if (line != m_cursorLine) {
        m_cursorLine = line;
        update();
    }
}

void OLLineNumberGutter::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitWidth();
}

qsizetype OLLineNumberGutter::cursorLine() const
{
    return m_view->lineAt(m_view->textPosition(m_view->textCursor().position()));
}

int OLLineNumberGutter::viewportTop() const
{
    return m_view->viewport()->mapTo(window(), QPoint(0, 0)).y() - mapTo(window(), QPoint(0, 0)).y();
}

QList<OLLineNumberGutter::Row> OLLineNumberGutter::rows() const
{
    QList<Row> rows;
    const QWidget *viewport = m_view->viewport();
    QTextBlock block = m_view->cursorForPosition(QPoint(0, 0)).block();
    if (!block.isValid())
        return rows;
    const int offset = viewportTop();
    const QAbstractTextDocumentLayout *layout = m_view->document()->documentLayout();
    qreal top = m_view->cursorRect(QTextCursor(block)).top();
    for (; block.isValid() && top < viewport->height(); block = block.next()) {
        // The last block's rectangle holds the document's margin too.
        const qreal height = layout->blockBoundingRect(block).height();
        const QTextLayout *lines = block.layout();
        const qreal lineHeight = lines->lineCount() > 0 ? lines->lineAt(0).height() : height;
        if (!m_view->continuesLine(block)) {
            rows.append({int(m_view->lineOf(block)) + 1,
                         QRect(0, offset + qRound(top), width() - padding, qRound(top + lineHeight) - qRound(top))});
        }
        top += height;
    }
    return rows;
}

void OLLineNumberGutter::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QWidget *viewport = m_view->viewport();
    painter.setClipRect(QRect(0, viewportTop(), width(), viewport->height()));
    const QColor plain = palette().color(QPalette::PlaceholderText);
    const QColor current = palette().color(QPalette::WindowText);
    const qsizetype lineOfCursor = cursorLine() + 1;
    for (const Row &row : rows()) {
        painter.setPen(row.line == lineOfCursor ? current : plain);
        painter.drawText(row.rect, Qt::AlignRight | Qt::AlignVCenter, QString::number(row.line));
    }
}
