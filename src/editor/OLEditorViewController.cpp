#include "editor/OLEditorViewController.h"

#include "editor/OLEditorWindow.h"
#include "editor/OLFindBar.h"
#include "editor/OLLineNumberGutter.h"
#include "highlight/OLSyntaxHighlighter.h"
#include "highlight/OLTextView.h"
#include "prefs/OLQtFont.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

using namespace std::chrono_literals;

namespace {
Q_LOGGING_CATEGORY(lcEditor, "ostrel.editor")

// A recolouring that reaches beyond the viewport (typing "(*" colours the
// whole rest) finishes the viewport at once, works on for this long, and
// leaves the rest to idle slices of the second length. The view's drawing
// slice may run in the same turn of the event loop; together they stay
// under 5 ms.
constexpr std::chrono::nanoseconds colourAtOnce = 4ms;
constexpr std::chrono::nanoseconds colourSliceBudget = 1ms;

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

    m_textView->setTextStorage(&m_storage);
    m_textView->shouldChangeText = [this](qsizetype location) { return shouldChangeText(location); };
    m_textView->insertNewline = [this] { return insertNewline(); };
    connect(m_textView, &OLTextView::textDidChange, this, &OLEditorViewController::updateView);

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
    return ::nextDeclaration(m_storage.string(), m_interpreted);
}

void OLEditorViewController::evalNextStep()
{
    const std::optional<OLDeclaration> declaration = nextDeclaration();
    if (!declaration)
        return;
    qCDebug(lcEditor).noquote() << declaration->description();
    if (declaration->text().isEmpty())
        return;
    // A step taken while one is pending sends the same declaration again.
    const OLTextRange sent{declaration->location(), declaration->length()};
    m_pending = sent;
    if (m_windowController)
        m_windowController->eval(declaration->text(), 0);
    // Marked once it is on its way; one that failed at once is marked red.
    if (m_pending == sent)
        setMark(sent, OLSyntaxHighlighter::lightBlue());
}

void OLEditorViewController::evalToCursor()
{
    if (m_interpreted >= m_textView->selectionLocation()) {
        m_inLoop = 0;
        return;
    }
    m_inLoop = 1;
    evalNextStep();
}

void OLEditorViewController::evalFile()
{
    if (m_interpreted >= m_storage.length()) {
        m_inLoop = 0;
        return;
    }
    m_inLoop = 2;
    evalNextStep();
}

void OLEditorViewController::setLastCommitSuccess(bool success)
{
    // Start-up output and later pieces of one answer belong to no declaration.
    if (!m_pending.isSet())
        return;
    if (success) {
        const OLTextRange done = m_pending;
        m_interpreted += qint64(done.length);
        m_pending = {};
        // A failed declaration that now succeeded is no error any more.
        if (m_error.isSet() && qint64(m_error.location) < m_interpreted)
            m_error = {};
        // A running loop sends the next declaration before this one is marked.
        if (m_inLoop == 2)
            evalFile();
        else if (m_inLoop == 1)
            evalToCursor();
        setMark(done, OLSyntaxHighlighter::lightGreen());
    } else {
        setMark(m_pending, OLSyntaxHighlighter::lightRed());
        m_error = m_pending;
        m_pending = {};
    }
}

// The run that would answer a pending declaration is gone with it.
void OLEditorViewController::resetEvaluated()
{
    forgetEvaluation();
    updateView();
}

void OLEditorViewController::forgetEvaluation()
{
    m_interpreted = 0;
    m_pending = {};
    m_error = {};
    m_inLoop = 0;
}

void OLEditorViewController::updateView()
{
    if (m_windowController)
        m_windowController->fileChanged();
    const qsizetype length = m_storage.length();
    if (m_interpreted < length) {
        OLSyntaxHighlighter::removeBackgroundColorFor(m_storage, {m_interpreted, length - m_interpreted});
        // The record of a failure goes with its red mark: kept, it would name
        // text that later edits have moved, and strip the marks found there.
        if (m_error.isSet() && qint64(m_error.location) >= m_interpreted)
            m_error = {};
        colourFrom(m_interpreted);
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

void OLEditorViewController::setContent(const QString &text)
{
    const QString &old = m_storage.string();
    const qsizetype evaluatedEnd = m_pending.isSet() ? qsizetype(m_pending.location + m_pending.length) : m_interpreted;
    const bool keepsEvaluated = QStringView(text).startsWith(QStringView(old).first(evaluatedEnd));
    // The text the user asked to evaluate is not this one.
    m_inLoop = 0;
    if (!keepsEvaluated)
        forgetEvaluation();
    // Only what differs is replaced: the marks before it stay.
    const qsizetype same = std::mismatch(old.cbegin(), old.cend(), text.cbegin(), text.cend()).first - old.cbegin();
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
    if (m_pending.isSet())
        return false;
    if (m_error.contains(quint64(location))) {
        // An edit before it may have shortened the text under the range.
        const qsizetype from = qMin(qsizetype(m_error.location), m_storage.length());
        const qsizetype to = qMin(qsizetype(m_error.location + m_error.length), m_storage.length());
        OLSyntaxHighlighter::removeBackgroundColorFor(m_storage, {from, to - from});
        m_textView->renderStorageChanges();
        m_error = {};
    }
    // An edit inside the evaluated prefix drops all of it; one at its end
    // keeps it.
    if (location < m_interpreted) {
        m_interpreted = 0;
        updateView();
    }
    return true;
}

bool OLEditorViewController::insertNewline()
{
    // The indentation of the last line of the text, wherever the cursor is.
    const QString &text = m_storage.string();
    const qsizetype tabs = QStringView(text).sliced(text.lastIndexOf(u'\n') + 1).count(u'\t');
    m_textView->insertTyped(QStringLiteral("\n"));
    for (qsizetype i = 0; i < tabs; ++i)
        m_textView->insertTyped(QStringLiteral("\t"));
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

void OLEditorViewController::keyPressEvent(QKeyEvent *event)
{
    // Escape in the editor, which leaves it unhandled, also closes the bar.
    if (event->key() == Qt::Key_Escape && m_findBar->isVisible())
        m_findBar->closeBar();
    else
        QWidget::keyPressEvent(event);
}
