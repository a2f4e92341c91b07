#include "app/OLWindowController.h"

#include "app/OLAppDelegate.h"
#include "app/OLAsker.h"
#include "app/OLFileName.h"
#include "app/OLRecoveryJournal.h"
#include "console/OLInterpreterViewController.h"
#include "editor/OLEditorViewController.h"
#include "highlight/OLTextView.h"
#include "session/OLInterpreterSession.h"
#include "settings/OLUserDefaults.h"

#include <QAction>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

namespace {
// Long enough to take a program's burst of writes as one change.
constexpr int fileCheckDelay = 100;
// How long the status bar shows a message.
constexpr int messageTimeout = 8000;
} // namespace

OLWindowController::OLWindowController(OLUserDefaults &defaults, OLAppDelegate &appDeleg)
    : OLWindowController(defaults, appDeleg, QString(), OLSourceFile::fromEditorText(QString()), QString())
{
}

std::unique_ptr<OLWindowController> OLWindowController::openFile(OLUserDefaults &defaults, OLAppDelegate &appDeleg,
                                                                 const QString &path, QString *error)
{
    std::optional<OLSourceFile> source = OLSourceFile::read(path, error);
    if (!source)
        return nullptr;
    const QString text = source->editorText();
    return std::unique_ptr<OLWindowController>(
        new OLWindowController(defaults, appDeleg, QFileInfo(path).absoluteFilePath(), std::move(*source), text));
}

std::unique_ptr<OLWindowController> OLWindowController::recover(OLUserDefaults &defaults, OLAppDelegate &appDeleg,
                                                                const OLRecoveredText &text)
{
    QString path = text.file;
    QString reason;
    std::optional<OLSourceFile> source;
    if (!path.isEmpty())
        source = OLSourceFile::read(path, &reason);
    if (!source) {
        path.clear();
        source = OLSourceFile::fromEditorText(QString());
    }
    source->adoptForm(text.text);
    return std::unique_ptr<OLWindowController>(
        new OLWindowController(defaults, appDeleg, path, std::move(*source), text.text.editorText()));
}

OLWindowController::OLWindowController(OLUserDefaults &defaults, OLAppDelegate &appDeleg, const QString &path,
                                       OLSourceFile source, const QString &text)
    : m_defaults(defaults)
    , m_appDeleg(appDeleg)
    , m_olInterpreter(new OLInterpreterViewController(defaults))
    , m_olEditor(new OLEditorViewController)
    , m_splitView(new QSplitter(this))
    , m_activityLabel(new QLabel(this))
    , m_journalNotice(new QLabel(this))
    , m_interpreterLabel(new QLabel(this))
    , m_positionLabel(new QLabel(this))
    , m_file(path)
    , m_source(std::move(source))
    , m_text(text)
    , m_loaded(text.isEmpty())
    , m_savedStamp(OLFileStamp::of(path))
    , m_seenStamp(m_savedStamp)
{
    setObjectName(QStringLiteral("OLWindowController"));
    updateTitle();
    // Side by side is the "vertical" divider.
    m_splitView->setOrientation(m_defaults.loadVerticalOrientation() ? Qt::Horizontal : Qt::Vertical);
    m_splitView->setChildrenCollapsible(false);
    m_olInterpreter->setWindowController(this);
    m_olEditor->setWindowController(this);
    m_splitView->addWidget(m_olEditor);
    m_splitView->addWidget(m_olInterpreter);
    setCentralWidget(m_splitView);
    m_activityLabel->setObjectName(QStringLiteral("interpreterActivity"));
    m_interpreterLabel->setObjectName(QStringLiteral("interpreterName"));
    m_positionLabel->setObjectName(QStringLiteral("cursorPosition"));
    // Wide enough for most positions: a wider text would lay the bar out anew.
    m_positionLabel->setMinimumWidth(m_positionLabel->fontMetrics().horizontalAdvance(QStringLiteral("00000:000")));
    m_positionLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    statusBar()->addWidget(m_activityLabel);
    m_journalNotice->setObjectName(QStringLiteral("journalNotice"));
    // A long reason must not widen the window: the whole of it is the tip.
    m_journalNotice->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_journalNotice->setStyleSheet(QStringLiteral("color: #b00000"));
    statusBar()->addWidget(m_journalNotice, 1);
    m_journalNotice->hide();
    statusBar()->addPermanentWidget(m_interpreterLabel);
    statusBar()->addPermanentWidget(m_positionLabel);
    resize(1000, 640);
    createMenus();
    m_olInterpreter->textView()->installEventFilter(this);
    connect(m_olEditor->textView(), &QPlainTextEdit::cursorPositionChanged, this, &OLWindowController::showPosition);
    showPosition();

    if (m_loaded)
        followLineEnds();
    updateFontAttributes();
    updateLineNumbers();
    m_journalTimer.setSingleShot(true);
    m_journalTimer.setInterval(journalDelay);
    connect(&m_journalTimer, &QTimer::timeout, this, &OLWindowController::journalNow);
    m_fileCheck.setSingleShot(true);
    m_fileCheck.setInterval(fileCheckDelay);
    connect(&m_fileCheck, &QTimer::timeout, this, &OLWindowController::checkFileOnDisk);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_fileCheck, qOverload<>(&QTimer::start));
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_fileCheck, qOverload<>(&QTimer::start));
    m_heldUpdateLimit.setSingleShot(true);
    m_heldUpdateLimit.setTimerType(Qt::PreciseTimer);
    m_heldUpdateLimit.setInterval(heldUpdateLimitMs);
    connect(&m_heldUpdateLimit, &QTimer::timeout, this, &OLWindowController::drawHeldUpdate);
    watchFile();

    m_olProcess = std::make_unique<OLInterpreterSession>(m_defaults, *m_olEditor, *m_olInterpreter, *this);
    m_olProcess->startProcess();
    showInterpreterName();
    if (m_file.isEmpty())
        jumpToInterpreter();
    else
        jumpToEditor();
}

OLWindowController::~OLWindowController()
{
    // The session goes first: its runs live on, detached, and must find no
    // pane to report to. The panes outlive this part of the window (the
    // base class deletes them) and must not call back into it.
    m_olProcess.reset();
    m_journal.reset();
    m_olEditor->setWindowController(nullptr);
    m_olInterpreter->setWindowController(nullptr);
    disconnect(m_olEditor->textView(), nullptr, this, nullptr);
}

void OLWindowController::showWindow()
{
    show();
    raise();
    activateWindow();
    if (!m_loaded)
        QTimer::singleShot(0, this, &OLWindowController::loadContent);
}

void OLWindowController::loadContent()
{
    if (m_loaded)
        return;
    m_olEditor->setContent(m_text);
    m_text.clear();
    m_loaded = true;
    followLineEnds();
    fileChanged();
}

void OLWindowController::followLineEnds()
{
    m_lineCount = m_olEditor->textView()->lineCount();
    connect(m_olEditor->textView(), &OLTextView::contentsEdited, this, &OLWindowController::trackLineEnds);
}

QString OLWindowController::content() const
{
    return m_loaded ? m_olEditor->content() : m_text;
}

// An edit at `position` removed some line breaks and added others; the
// editor's line count before and after tells how many of each.
void OLWindowController::trackLineEnds(qsizetype position, qsizetype, qsizetype added)
{
    const OLTextView *view = m_olEditor->textView();
    const qsizetype lines = view->lineCount();
    const qsizetype line = view->lineAt(position);
    const qsizetype addedBreaks = view->lineAt(position + added) - line;
    const qsizetype removedBreaks = addedBreaks - (lines - m_lineCount);
    m_source.lineEnds().replace(line, removedBreaks, addedBreaks);
    m_lineCount = lines;
}

bool OLWindowController::fileChanged()
{
    // Not in the editor yet: the text is the file's.
    if (!m_loaded)
        return false;
    // A text whose file has gone is kept nowhere else.
    const bool edited = m_fileGone || m_source.isEdited(m_olEditor->content());
    setWindowModified(edited);
    if (!edited) {
        m_journalTimer.stop();
        m_journal.reset();
        m_journalNotice->hide();
    } else if (!m_journalTimer.isActive()) {
        // Not restarted by later edits: steady typing is journalled too.
        m_journalTimer.start();
    }
    return edited;
}

void OLWindowController::journalNow()
{
    m_journalTimer.stop();
    if (!m_journal)
        m_journal = std::make_unique<OLRecoveryJournal>(m_appDeleg.recovery(),
                                                        [this](const QString &failure) { journalWritten(failure); });
    m_journal->write(m_file, m_source, content(), m_savedStamp);
}

// Said once, in the status bar, and kept there until a write succeeds: each
// later edit tries again.
void OLWindowController::journalWritten(const QString &failure)
{
    if (failure.isEmpty()) {
        m_journalNotice->hide();
        return;
    }
    m_journalNotice->setText(tr("Unsaved changes are not kept for recovery after a crash: %1").arg(failure));
    m_journalNotice->setToolTip(m_journalNotice->text());
    m_journalNotice->show();
}

void OLWindowController::watchFile()
{
    // The folder shows a file that arrives by rename or comes back. Qt would
    // watch another name for one that is not UTF-8: such a file is watched
    // through its folder only, which shows no change made in place.
    QStringList folders, files;
    if (!m_file.isEmpty()) {
        const QString folder = QFileInfo(m_file).absolutePath();
        if (!OLFileName::hasForeignBytes(folder))
            folders.append(folder);
        if (!OLFileName::hasForeignBytes(m_file) && OLFileStamp::of(m_file).exists())
            files.append(m_file);
    }
    // A folder's watch stays while it is the same folder: setting one costs
    // the system time in proportion to the folder's entries (20 ms for a busy
    // one, at every change in it). A file's follows the file it was set on,
    // which a rename may have replaced: it is set anew.
    const auto watch = [this](const QStringList &watched, const QStringList &paths) {
        if (!watched.isEmpty())
            m_watcher.removePaths(watched);
        if (!paths.isEmpty())
            m_watcher.addPaths(paths);
    };
    if (const QStringList watched = m_watcher.directories(); watched != folders)
        watch(watched, folders);
    watch(m_watcher.files(), files);
}

void OLWindowController::checkFileOnDisk()
{
    if (m_file.isEmpty() || m_askingAboutFile)
        return;
    watchFile();
    const OLFileStamp stamp = OLFileStamp::of(m_file);
    if (stamp == m_seenStamp)
        return;
    m_seenStamp = stamp;
    const QString name = QFileInfo(m_file).fileName();
    OLAsker &asker = m_appDeleg.asker();
    // The questions run modal loops; a change meanwhile is looked at after.
    m_askingAboutFile = true;
    if (!stamp.exists()) {
        if (!std::exchange(m_fileGone, true)) {
            fileChanged();
            asker.alert(this, tr("The file %1 has been deleted or moved by another program.").arg(name),
                        tr("The text stays in the window, marked as unsaved; saving writes the file again."));
        }
    } else {
        m_fileGone = false;
        if (!fileDiffersOnDisk()) {
            // The bytes last read or saved: touched, or back as they were.
            m_savedStamp = stamp;
            fileChanged();
        } else if (asker.askAboutChangedFile(this, m_file, fileChanged()) == OLAsker::ChangedFile::Reload) {
            reload();
        }
    }
    m_askingAboutFile = false;
    if (OLFileStamp::of(m_file) != m_seenStamp)
        m_fileCheck.start();
}

bool OLWindowController::fileDiffersOnDisk() const
{
    const OLFileStamp stamp = OLFileStamp::of(m_file);
    if (stamp == m_savedStamp)
        return false;
    if (stamp.exists() && !stamp.regular)
        return true;
    QString reason;
    const std::optional<QByteArray> bytes = OLSourceFile::readBytes(m_file, &reason);
    return bytes && *bytes != m_source.bytes();
}

// The file's text replaces the editor's. What was evaluated of the old text
// stays only as far as the new one begins with it, and a running evaluation
// stops (OLEditorViewController::setContent).
void OLWindowController::reload()
{
    QString reason;
    std::optional<OLSourceFile> source = OLSourceFile::read(m_file, &reason);
    if (!source) {
        m_appDeleg.asker().alert(this, tr("Could not open file %1").arg(QFileInfo(m_file).fileName()), reason);
        return;
    }
    m_savedStamp = OLFileStamp::of(m_file);
    if (m_loaded) {
        // The line ends of the old text follow the replacement; the new
        // text's are those it was read with.
        m_olEditor->setContent(source->editorText());
        m_source = std::move(*source);
        m_lineCount = m_olEditor->textView()->lineCount();
    } else {
        m_source = std::move(*source);
        m_text = m_source.editorText();
    }
    fileChanged();
}

void OLWindowController::eval(const QString &text, qint32 from)
{
    // The editor's declaration is its pending one: messages name its lines.
    const OLTextRange pending = m_olEditor->pending();
    const bool editor = from == OLEditorCommitter && pending.isSet();
    m_olProcess->eval(text, from, editor ? m_olEditor->textView()->lineAt(qsizetype(pending.location)) + 1 : 1);
    // While the interpreter works, the window's work on earlier answers goes
    // in steps, one after each declaration written, so that each overlaps
    // the interpreter's work instead of holding up its next answer: the
    // console takes a frame's output in, then shows it, then the window is
    // drawn.
    if (!m_olInterpreter->showOutput())
        drawHeldUpdate();
}

bool OLWindowController::event(QEvent *event)
{
    // A repaint asked for while the interpreter works on the editor's
    // declaration waits for the next declaration to be written, or a moment
    // at most.
    if (event->type() == QEvent::UpdateRequest && !std::exchange(m_updateReleased, false)
        && m_olEditor->pending().isSet()) {
        m_updateHeld = true;
        if (!m_heldUpdateLimit.isActive())
            m_heldUpdateLimit.start();
        return true;
    }
    return QMainWindow::event(event);
}

void OLWindowController::drawHeldUpdate()
{
    m_heldUpdateLimit.stop();
    // Drawn on the next turn of the event loop: the writer may be in the
    // middle of its own changes.
    if (std::exchange(m_updateHeld, false)) {
        m_updateReleased = true;
        QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    }
}

void OLWindowController::restartForReplay()
{
    m_olProcess->restartForReplay();
    showInterpreterName();
}

void OLWindowController::replayEnded(qsizetype replayed, qsizetype kept)
{
    m_olProcess->endReplay(replayed, kept);
}

void OLWindowController::updateFontAttributes()
{
    const OLStyleSet opaque = m_defaults.loadFontAttributes(true);
    m_olEditor->setFontAttributes(opaque);
    m_olInterpreter->setFontAttributes(opaque, true);
    m_olInterpreter->setFontAttributes(m_defaults.loadFontAttributes(false), false);
}

void OLWindowController::updateLineNumbers()
{
    m_olEditor->setShowsLineNumbers(m_defaults.loadShowLineNumbers());
}

void OLWindowController::clearHistory()
{
    m_olInterpreter->setHistory(std::make_unique<OLCommitHistory>(*m_olInterpreter, m_defaults));
}

void OLWindowController::resetEnvironment()
{
    m_olProcess->resetEnvironment();
    showInterpreterName();
}

void OLWindowController::showInterpreterName()
{
    // An interpreter of no known kind goes by its program's name.
    QString name = displayNameForMode(m_olProcess->mode());
    if (name.isEmpty())
        name = QFileInfo(parsePreferredInterpreter(m_defaults.loadPreferredInterpreterPath()).arguments.value(0))
                   .fileName();
    m_interpreterLabel->setText(name);
}

void OLWindowController::showPosition()
{
    const OLTextView *view = m_olEditor->textView();
    const qsizetype position = view->textPosition(view->textCursor().position());
    m_positionLabel->setText(QStringLiteral("%1:%2").arg(view->lineAt(position) + 1).arg(view->columnAt(position) + 1));
}

void OLWindowController::updateTitle()
{
    setWindowTitle(m_file.isEmpty() ? QStringLiteral("Ostrel[*]")
                                    : QFileInfo(m_file).fileName() + QStringLiteral("[*] - Ostrel"));
}

void OLWindowController::interruptEvaluation()
{
    m_olProcess->interruptEvaluation();
}

// Only says so: an interpreter that ended by itself closes the window
// through closeWindow(), and one that did not leaves it open for a reset.
void OLWindowController::interpreterActivityChanged(OLInterpreterActivity activity)
{
    switch (activity) {
    case OLInterpreterActivity::Idle:
        m_activityLabel->clear();
        break;
    case OLInterpreterActivity::Busy:
        m_activityLabel->setText(tr("Interpreter busy"));
        break;
    case OLInterpreterActivity::Ended:
        m_activityLabel->setText(tr("Interpreter not running — Reset to start a new one"));
        break;
    }
}

bool OLWindowController::writeTo(const QString &path)
{
    const QString text = content();
    const QByteArray bytes = m_source.encode(text);
    QString reason;
    if (!OLSourceFile::write(path, bytes, &reason)) {
        m_appDeleg.asker().alert(this, tr("Could not write to file %1").arg(QFileInfo(path).fileName()), reason);
        return false;
    }
    m_source.noteSaved(text, bytes);
    m_savedStamp = m_seenStamp = OLFileStamp::of(path);
    m_fileGone = false;
    return true;
}

bool OLWindowController::saveFile()
{
    if (m_file.isEmpty())
        return saveFileAs();
    if (fileDiffersOnDisk()) {
        m_askingAboutFile = true;
        const bool overwrite = m_appDeleg.asker().askToOverwriteChangedFile(this, m_file);
        m_askingAboutFile = false;
        if (!overwrite)
            return false;
    }
    if (!writeTo(m_file))
        return saveFileAs();
    // The write replaced the file by rename.
    watchFile();
    fileChanged();
    return true;
}

// A failed write shows its alert and the panel again, until a write succeeds
// or the user cancels.
bool OLWindowController::saveFileAs()
{
    for (;;) {
        const QString directory = m_appDeleg.lastSaved().isEmpty() ? QDir::homePath() : m_appDeleg.lastSaved();
        const QString path = m_appDeleg.asker().saveFileName(this, directory, tr("newDocument.sml"));
        if (path.isEmpty())
            return false;
        const QFileInfo chosen(path);
        m_appDeleg.setLastSaved(chosen.absolutePath());
        if (writeTo(chosen.absoluteFilePath())) {
            m_file = chosen.absoluteFilePath();
            updateTitle();
            watchFile();
            fileChanged();
            return true;
        }
    }
}

bool OLWindowController::windowShouldClose()
{
    if (!fileChanged())
        return true;
    switch (m_appDeleg.asker().askToSaveChanges(this)) {
    case OLAsker::SaveChanges::DontSave:
        return true;
    case OLAsker::SaveChanges::Cancel:
        return false;
    case OLAsker::SaveChanges::Save:
        break;
    }
    // Closes only when the text reached the disk.
    return saveFile();
}

void OLWindowController::closeWindow()
{
    close();
}

void OLWindowController::closeEvent(QCloseEvent *event)
{
    if (!windowShouldClose()) {
        event->ignore();
        return;
    }
    event->accept();
    windowWillClose();
}

void OLWindowController::windowWillClose()
{
    // Saved, or let go: either way the journal has served.
    m_journalTimer.stop();
    m_journal.reset();
    m_journalNotice->hide();
    disconnect(&m_fileCheck, nullptr, this, nullptr);
    storeHistory();
    storeGeometry();
    // The session stops its interpreter without waiting for it: a closed
    // window takes no more reports.
    m_olProcess.reset();
    m_appDeleg.removeWC(this);
    m_appDeleg.checkSettingsWritable();
}

void OLWindowController::storeHistory()
{
    m_defaults.saveCommitHistory(m_olInterpreter->history().createArray());
}

void OLWindowController::storeGeometry()
{
    m_defaults.saveWindowGeometry(QRect(pos(), size()));
}

void OLWindowController::clearConsole()
{
    m_olInterpreter->clearFixed();
}

void OLWindowController::showAbout()
{
    QMessageBox::about(this, tr("About Ostrel"),
                       tr("<h3>Ostrel %1</h3><p>An editor and console for Standard ML interpreters: evaluate a file "
                          "declaration by declaration, or talk to the interpreter directly.</p>")
                           .arg(QStringLiteral(OSTREL_VERSION)));
}

void OLWindowController::showKeyboardShortcuts()
{
    if (m_shortcuts) {
        m_shortcuts->raise();
        m_shortcuts->activateWindow();
        return;
    }
    // From the menus themselves, so that the list is never out of date.
    QList<std::pair<QString, QString>> commands;
    for (const QAction *menu : menuBar()->actions()) {
        const QString title = menu->text().remove(u'&');
        for (const QAction *action : menu->menu()->actions()) {
            if (!action->isSeparator())
                commands.append({title + QStringLiteral(" › ") + action->text().remove(u'&'),
                                 action->shortcut().toString(QKeySequence::NativeText)});
        }
    }

    auto *dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("keyboardShortcuts"));
    dialog->setWindowTitle(tr("Keyboard Shortcuts"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto *table = new QTableWidget(int(commands.size()), 2, dialog);
    table->setHorizontalHeaderLabels({tr("Command"), tr("Key")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    for (int row = 0; row < commands.size(); ++row) {
        table->setItem(row, 0, new QTableWidgetItem(commands[row].first));
        table->setItem(row, 1, new QTableWidgetItem(commands[row].second));
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    auto *layout = new QVBoxLayout(dialog);
    layout->addWidget(table);
    layout->addWidget(buttons);
    dialog->resize(560, 520);
    m_shortcuts = dialog;
    dialog->show();
}

bool OLWindowController::eventFilter(QObject *watched, QEvent *event)
{
    // The console's text view would take Ctrl+A for itself and select the
    // fixed text too; left alone, the key reaches mySelectAll.
    if (watched == m_olInterpreter->textView() && event->type() == QEvent::ShortcutOverride
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::SelectAll))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

void OLWindowController::changeOrientation()
{
    const bool vertical = m_splitView->orientation() != Qt::Horizontal;
    m_splitView->setOrientation(vertical ? Qt::Horizontal : Qt::Vertical);
    m_defaults.saveVerticalOrientation(vertical);
    m_appDeleg.checkSettingsWritable();
}

void OLWindowController::jumpToInterpreter()
{
    m_olInterpreter->textView()->setFocus();
}

void OLWindowController::jumpToEditor()
{
    m_olEditor->textView()->setFocus();
}

void OLWindowController::evalNextStep()
{
    m_olEditor->evalNextStep();
}

void OLWindowController::evalToCursor()
{
    m_olEditor->evalToCursor();
}

void OLWindowController::evalFile()
{
    m_olEditor->evalFile();
}

void OLWindowController::undoStep()
{
    m_olEditor->undoStep();
}

void OLWindowController::retractToCursor()
{
    m_olEditor->retractToCursor();
}

void OLWindowController::goToMessage(bool forward)
{
    if (!showMessage(m_olEditor->goToMessage(forward)))
        statusBar()->showMessage(tr("No errors or warnings in the text"), messageTimeout);
}

bool OLWindowController::activateOutput(qint64 shown)
{
    return showMessage(m_olEditor->revealMessage(shown));
}

bool OLWindowController::showMessage(const OLEditorViewController::Message *message)
{
    if (!message)
        return false;
    jumpToEditor();
    statusBar()->showMessage(message->text.section(u'\n', 0, 0), messageTimeout);
    return true;
}

void OLWindowController::backInHistory()
{
    m_olInterpreter->backInHistory();
}

void OLWindowController::forwardInHistory()
{
    m_olInterpreter->forwardInHistory();
}

void OLWindowController::find()
{
    m_olEditor->performFindPanel();
}

void OLWindowController::openGoToLineSheet()
{
    if (m_findSheet)
        return;
    auto *sheet = new QDialog(this);
    sheet->setObjectName(QStringLiteral("OLGoToLineSheet"));
    sheet->setWindowTitle(tr("Go to Line"));
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    m_findSheetTextField = new QLineEdit(sheet);
    m_findSheetTextField->setObjectName(QStringLiteral("findSheetTextField"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, sheet);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Go"));
    auto *layout = new QFormLayout(sheet);
    layout->addRow(tr("Line number:"), m_findSheetTextField);
    layout->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &OLWindowController::goToLine);
    connect(buttons, &QDialogButtonBox::rejected, this, &OLWindowController::closeGoToLineSheet);
    m_findSheet = sheet;
    sheet->open();
}

void OLWindowController::goToLine()
{
    if (!m_findSheet)
        return;
    // Like a text field's integer value: anything but a number is 0.
    const qint64 line = m_findSheetTextField->text().trimmed().toLongLong();
    if (!m_olEditor->selectLine(line)) {
        m_appDeleg.asker().alert(m_findSheet, tr("Invalid line number %1").arg(line), QString());
        return;
    }
    m_olEditor->textView()->ensureCursorVisible();
    closeGoToLineSheet();
}

void OLWindowController::closeGoToLineSheet()
{
    if (m_findSheet)
        m_findSheet->close();
    m_findSheet = nullptr;
    m_findSheetTextField = nullptr;
}

void OLWindowController::mySelectAll()
{
    if (focusWidget() == m_olEditor->textView())
        m_olEditor->textView()->selectAll();
    else
        m_olInterpreter->selectUnfixed();
}

void OLWindowController::chooseMode()
{
    if (m_modeChooser) {
        m_modeChooser->raise();
        return;
    }
    centralWidget()->hide();
    m_modeChooser = new OLModeChooserWindowController(m_defaults, OLUserDefaults::standardInterpreterLocations(), this);
    m_modeChooser->setAttribute(Qt::WA_DeleteOnClose);
    // A choice is stored by the chooser and used from the next reset on;
    // closing it without one keeps the interpreter as it is.
    connect(m_modeChooser, &QDialog::finished, this, [this] { centralWidget()->show(); });
    m_modeChooser->show();
}

OLTextView *OLWindowController::focusedTextView() const
{
    QWidget *focused = focusWidget();
    if (focused == m_olEditor->textView())
        return m_olEditor->textView();
    if (focused == m_olInterpreter->textView())
        return m_olInterpreter->textView();
    return nullptr;
}

void OLWindowController::createMenus()
{
    QMenuBar *bar = menuBar();
    const auto add = [this](QMenu *menu, const QString &title, const QKeySequence &keys, auto slot) {
        QAction *action = menu->addAction(title);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    const auto onText = [this](void (OLTextView::*command)()) {
        return [this, command] {
            if (OLTextView *view = focusedTextView())
                (view->*command)();
        };
    };

    QMenu *file = bar->addMenu(tr("&File"));
    add(file, tr("&New"), QKeySequence::New, [this] { m_appDeleg.newDocument(); });
    add(file, tr("&Open..."), QKeySequence::Open, [this] {
        m_appDeleg.openDocument(m_file.isEmpty() ? QString() : QFileInfo(m_file).absolutePath());
    });
    file->addSeparator();
    add(file, tr("&Save"), QKeySequence::Save, &OLWindowController::saveFile);
    add(file, tr("Save &As..."), QKeySequence(tr("Ctrl+Shift+S")), &OLWindowController::saveFileAs);
    add(file, tr("&Close"), QKeySequence(tr("Ctrl+W")), &OLWindowController::closeWindow);
    file->addSeparator();
    add(file, tr("&Preferences..."), QKeySequence(tr("Ctrl+,")), [this] { m_appDeleg.openPreferences(); });
    add(file, tr("&Quit"), QKeySequence(tr("Ctrl+Q")), [this] { m_appDeleg.terminate(); });

    QMenu *edit = bar->addMenu(tr("&Edit"));
    add(edit, tr("&Undo"), QKeySequence::Undo, onText(&OLTextView::guardedUndo));
    add(edit, tr("&Redo"), QKeySequence::Redo, onText(&OLTextView::guardedRedo));
    edit->addSeparator();
    add(edit, tr("Cu&t"), QKeySequence::Cut, onText(&OLTextView::guardedCut));
    add(edit, tr("&Copy"), QKeySequence::Copy, onText(&OLTextView::copy));
    add(edit, tr("&Paste"), QKeySequence::Paste, onText(&OLTextView::guardedPaste));
    add(edit, tr("Select &All"), QKeySequence::SelectAll, &OLWindowController::mySelectAll);
    edit->addSeparator();
    add(edit, tr("&Find..."), QKeySequence::Find, &OLWindowController::find);
    add(edit, tr("&Go to Line..."), QKeySequence(tr("Ctrl+L")), &OLWindowController::openGoToLineSheet);

    QMenu *evaluate = bar->addMenu(tr("E&valuate"));
    add(evaluate, tr("&Next Step"), QKeySequence(tr("Ctrl+Return")), &OLWindowController::evalNextStep);
    add(evaluate, tr("To &Cursor"), QKeySequence(tr("Ctrl+Shift+Return")), &OLWindowController::evalToCursor);
    add(evaluate, tr("Whole &File"), QKeySequence(tr("Ctrl+Shift+E")), &OLWindowController::evalFile);
    // Not Ctrl+Backspace, which deletes a word in text on Linux, nor
    // Ctrl+Alt+Up, which desktops take to switch workspaces.
    add(evaluate, tr("&Undo Step"), QKeySequence(tr("Alt+Up")), &OLWindowController::undoStep);
    add(evaluate, tr("Re&tract to Cursor"), QKeySequence(tr("Alt+Shift+Up")), &OLWindowController::retractToCursor);
    evaluate->addSeparator();
    add(evaluate, tr("Next &Error"), QKeySequence(tr("F8")), [this] { goToMessage(true); });
    add(evaluate, tr("&Previous Error"), QKeySequence(tr("Shift+F8")), [this] { goToMessage(false); });
    evaluate->addSeparator();
    m_interruptAction =
        add(evaluate, tr("&Interrupt"), QKeySequence(tr("Ctrl+I")), &OLWindowController::interruptEvaluation);
    m_interruptAction->setObjectName(QStringLiteral("interruptAction"));
    add(evaluate, tr("&Reset Interpreter"), QKeySequence(tr("Ctrl+R")), &OLWindowController::resetEnvironment)
        ->setObjectName(QStringLiteral("resetAction"));
    evaluate->addSeparator();
    add(evaluate, tr("Choose Interpreter..."), QKeySequence(), &OLWindowController::chooseMode);
    // An interrupt that the interpreter ignored makes the next one end it.
    connect(evaluate, &QMenu::aboutToShow, this, [this] {
        m_interruptAction->setText(m_olProcess->interruptIgnored() ? tr("&Terminate Interpreter") : tr("&Interrupt"));
    });

    QMenu *console = bar->addMenu(tr("&Console"));
    add(console, tr("History &Back"), QKeySequence(tr("Ctrl+Up")), &OLWindowController::backInHistory);
    add(console, tr("History &Forward"), QKeySequence(tr("Ctrl+Down")), &OLWindowController::forwardInHistory);
    console->addSeparator();
    add(console, tr("C&lear Console"), QKeySequence(tr("Ctrl+Shift+K")), &OLWindowController::clearConsole);

    QMenu *view = bar->addMenu(tr("&View"));
    add(view, tr("Jump to &Editor"), QKeySequence(tr("Ctrl+1")), &OLWindowController::jumpToEditor);
    add(view, tr("Jump to C&onsole"), QKeySequence(tr("Ctrl+2")), &OLWindowController::jumpToInterpreter);
    add(view, tr("Change &Orientation"), QKeySequence(tr("Ctrl+Shift+O")), &OLWindowController::changeOrientation);

    QMenu *help = bar->addMenu(tr("&Help"));
    add(help, tr("&Keyboard Shortcuts"), QKeySequence(tr("Ctrl+/")), &OLWindowController::showKeyboardShortcuts);
    add(help, tr("&About Ostrel"), QKeySequence(), &OLWindowController::showAbout);
}
