#include "editor/OLFindBar.h"

#include "highlight/OLTextStorage.h"
#include "highlight/OLTextView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>
#include <QToolButton>

namespace {
QToolButton *toolButton(const QString &text, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setText(text);
    button->setAutoRaise(true);
    return button;
}
} // namespace

OLFindBar::OLFindBar(OLTextView *view, const OLTextStorage &storage, QWidget *parent)
    : QWidget(parent)
    , m_view(view)
    , m_storage(storage)
    , m_field(new QLineEdit(this))
    , m_matchCase(new QCheckBox(tr("Match case"), this))
    , m_wrapAround(new QCheckBox(tr("Wrap around"), this))
    , m_notFound(new QLabel(tr("Not found"), this))
{
    m_field->setPlaceholderText(tr("Find"));
    m_field->setClearButtonEnabled(true);
    m_field->installEventFilter(this);
    m_wrapAround->setChecked(true);
    m_notFound->hide();
    QToolButton *previous = toolButton(tr("Previous"), this);
    QToolButton *next = toolButton(tr("Next"), this);
    QToolButton *closeButton = toolButton(QString(), this);
    closeButton->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    closeButton->setToolTip(tr("Close"));

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(m_field, 1);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(m_matchCase);
    layout->addWidget(m_wrapAround);
    layout->addWidget(m_notFound);
    layout->addWidget(closeButton);

    // Searching as the user types: the match may grow where it stands.
    connect(m_field, &QLineEdit::textEdited, this, [this] { find(m_view->selectionLocation(), false); });
    connect(previous, &QToolButton::clicked, this, &OLFindBar::findPrevious);
    connect(next, &QToolButton::clicked, this, &OLFindBar::findNext);
    connect(closeButton, &QToolButton::clicked, this, &OLFindBar::closeBar);
    connect(m_matchCase, &QCheckBox::toggled, this, &OLFindBar::showMatches);
    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, this, &OLFindBar::showMatches);
    connect(m_view, &OLTextView::contentsEdited, this, &OLFindBar::showMatches);
}

void OLFindBar::open()
{
    const QString selected = m_view->textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator))
        m_field->setText(selected);
    show();
    m_field->setFocus();
    m_field->selectAll();
    showMatches();
}

void OLFindBar::closeBar()
{
    hide();
    Q_EMIT matchesShown({});
    m_view->setFocus();
}

bool OLFindBar::findNext()
{
    return find(m_view->textPosition(m_view->textCursor().selectionEnd()), false);
}

bool OLFindBar::findPrevious()
{
    return find(m_view->selectionLocation(), true);
}

Qt::CaseSensitivity OLFindBar::caseSensitivity() const
{
    return m_matchCase->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
}

bool OLFindBar::find(qsizetype from, bool backward)
{
    const QString needle = m_field->text();
    const QString &text = m_storage.string();
    const Qt::CaseSensitivity cs = caseSensitivity();
    qsizetype at = -1;
    if (!needle.isEmpty()) {
        if (backward) {
            // lastIndexOf takes -1 for "from the end", so guard the start.
            at = from > 0 ? text.lastIndexOf(needle, from - 1, cs) : -1;
            if (at < 0 && m_wrapAround->isChecked())
                at = text.lastIndexOf(needle, -1, cs);
        } else {
            at = text.indexOf(needle, from, cs);
            if (at < 0 && m_wrapAround->isChecked())
                at = text.indexOf(needle, 0, cs);
        }
    }
    m_notFound->setVisible(!needle.isEmpty() && at < 0);
    if (at >= 0) {
        m_view->selectText(at, at + needle.size());
        m_view->ensureCursorVisible();
    }
    showMatches();
    return at >= 0;
}

void OLFindBar::showMatches()
{
    if (!isVisible())
        return;
    const QString needle = m_field->text();
    QList<QTextEdit::ExtraSelection> selections;
    if (!needle.isEmpty()) {
        // Only the viewport's matches: the count stays small in any text.
        const QString &text = m_storage.string();
        const qsizetype first = m_view->textPosition(m_view->cursorForPosition(QPoint(0, 0)).block().position());
        const qsizetype end = qMin(m_view->visibleEnd(), text.size());
        const Qt::CaseSensitivity cs = caseSensitivity();
        QTextCharFormat format;
        format.setBackground(QColor(255, 210, 0, 120));
        for (qsizetype at = text.indexOf(needle, qMax<qsizetype>(0, first - needle.size() + 1), cs);
             at >= 0 && at < end; at = text.indexOf(needle, at + 1, cs)) {
            QTextCursor match(m_view->document());
            match.setPosition(m_view->documentPosition(at));
            match.setPosition(m_view->documentPosition(at + needle.size()), QTextCursor::KeepAnchor);
            selections.append({match, format});
        }
    }
    Q_EMIT matchesShown(selections);
}

bool OLFindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ShiftModifier)
                findPrevious();
            else
                findNext();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            closeBar();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void OLFindBar::keyPressEvent(QKeyEvent *event)
{
    // Escape on any control of the bar.
    if (event->key() == Qt::Key_Escape)
        closeBar();
    else
        QWidget::keyPressEvent(event);
}
