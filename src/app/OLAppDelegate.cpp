#include "app/OLAppDelegate.h"

#include "app/OLAsker.h"
#include "app/OLFileName.h"
#include "app/OLWindowController.h"
#include "prefs/OLInterpreterDiscovery.h"
#include "session/PXShellWrapper.h"
#include "settings/OLSettingsKeys.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {
// How far each new window stands from one it would cover.
constexpr int cascadeStep = 28;
} // namespace

OLAppDelegate::OLAppDelegate(QSettings &userLayer, OLAsker &asker, const QString &recoveryFolder, QObject *parent)
    : QObject(parent)
    , m_defaults(userLayer)
    , m_asker(asker)
    , m_recovery(recoveryFolder)
    , m_settingsFileName(userLayer.fileName())
{
    m_defaults.registerDefaultPreferences();
}

OLAppDelegate::~OLAppDelegate()
{
    delete m_preferencesWindowController;
    qDeleteAll(m_currentyOpen);
}

// Only the executable is looked at; a command line the session would refuse
// names none.
bool OLAppDelegate::preferredInterpreterExists() const
{
    const OLCommandLine command = parsePreferredInterpreter(m_defaults.loadPreferredInterpreterPath());
    return command.error.isEmpty() && QFileInfo::exists(command.arguments.constFirst());
}

void OLAppDelegate::registerDefaultInterpreter(const QString &path)
{
    m_defaults.registerDefaults(
        {{OLKey::preferredInterpreter, commandLineForExecutable(QFileInfo(path).absoluteFilePath())}});
}

bool OLAppDelegate::applicationDidFinishLaunching(const QStringList &files)
{
    if (!preferredInterpreterExists() && !m_asker.chooseInterpreter(m_defaults))
        return false;
    offerRecovery();
    if (m_defaults.loadShouldReopenFiles()) {
        // Files that have gone are skipped without a word.
        for (const QUrl &url : m_defaults.loadOpenedFiles()) {
            const QString path = OLFileName::fromUrl(url);
            if (!path.isEmpty() && OLFileStamp::of(path).exists() && !isOpen(path))
                openDocumentWindow(path);
        }
    }
    for (const QString &file : files)
        openChosenFile(QFileInfo(file).absoluteFilePath());
    // Without a window there is no menu bar to go on with.
    if (m_currentyOpen.isEmpty())
        newDocument();
    checkSettingsWritable();
    return true;
}

void OLAppDelegate::offerRecovery()
{
    for (const OLRecoveredText &text : m_recovery.leftBehind()) {
        switch (m_asker.askToRecover(text)) {
        case OLAsker::Recovery::Recover: {
            OLWindowController *window = OLWindowController::recover(m_defaults, *this, text).release();
            addWindow(window);
            // The window's own journal holds the text before the old one goes.
            window->journalNow();
            m_recovery.discard(text);
            break;
        }
        case OLAsker::Recovery::Discard:
            m_recovery.discard(text);
            break;
        case OLAsker::Recovery::Later:
            break;
        }
    }
}

bool OLAppDelegate::isOpen(const QString &path) const
{
    return windowForFile(path) != nullptr;
}

OLWindowController *OLAppDelegate::windowForFile(const QString &path) const
{
    // One file by any name: through symbolic links, "..", or a second slash.
    const auto identity = [](const QString &file) {
        const QString canonical = OLFileName::canonical(file);
        return canonical.isEmpty() ? QFileInfo(file).absoluteFilePath() : canonical;
    };
    const QString wanted = identity(path);
    const auto found = std::find_if(m_currentyOpen.cbegin(), m_currentyOpen.cend(), [&](const OLWindowController *window) {
        return !window->file().isEmpty() && identity(window->file()) == wanted;
    });
    return found == m_currentyOpen.cend() ? nullptr : *found;
}

void OLAppDelegate::newDocument()
{
    addWindow(new OLWindowController(m_defaults, *this));
}

void OLAppDelegate::openDocument(const QString &folder)
{
    const QString start = !folder.isEmpty() ? folder : !m_lastOpened.isEmpty() ? m_lastOpened : QDir::homePath();
    const QString path = m_asker.openFileName(nullptr, start);
    if (!path.isEmpty())
        openChosenFile(path);
}

void OLAppDelegate::openChosenFile(const QString &path)
{
    // The next open panel starts here, even when this file fails to open.
    m_lastOpened = QFileInfo(path).absolutePath();
    openDocumentWindow(path);
}

OLWindowController *OLAppDelegate::openDocumentWindow(const QString &path)
{
    if (OLWindowController *open = windowForFile(path)) {
        open->showWindow();
        return open;
    }
    QString reason;
    std::unique_ptr<OLWindowController> window = OLWindowController::openFile(m_defaults, *this, path, &reason);
    if (!window) {
        m_asker.alert(nullptr, tr("Could not open file %1").arg(QFileInfo(path).fileName()), reason);
        return nullptr;
    }
    // The file takes the place of the only window when that one is empty
    // (unless the user keeps it in its save-changes question).
    if (m_currentyOpen.size() == 1 && m_currentyOpen.constFirst()->content().isEmpty())
        m_currentyOpen.constFirst()->closeWindow();
    addWindow(window.get());
    return window.release();
}

void OLAppDelegate::addWindow(OLWindowController *window)
{
    placeWindow(window);
    m_currentyOpen.append(window);
    window->showWindow();
}

void OLAppDelegate::placeWindow(OLWindowController *window) const
{
    // Within the screen it was on, or the first.
    const QRect stored = m_defaults.loadWindowGeometry();
    const QScreen *screen = stored.isValid() ? QGuiApplication::screenAt(stored.center()) : nullptr;
    const QRect area = (screen ? screen : window->screen())->availableGeometry();
    if (stored.isValid()) {
        const QSize size = stored.size().boundedTo(area.size());
        window->resize(size);
        window->move(qBound(area.left(), stored.x(), area.right() + 1 - size.width()),
                     qBound(area.top(), stored.y(), area.bottom() + 1 - size.height()));
    }
    // A window right over another would hide it: it goes a step further down
    // and to the right, and back to the screen's corner at its edge.
    const auto taken = [this](QPoint at) {
        return std::any_of(m_currentyOpen.cbegin(), m_currentyOpen.cend(),
                           [at](const OLWindowController *open) { return open->pos() == at; });
    };
    QPoint at = window->pos();
    for (qsizetype step = 0; taken(at) && step < m_currentyOpen.size(); ++step) {
        at += QPoint(cascadeStep, cascadeStep);
        if (!area.contains(QRect(at, window->size())))
            at = area.topLeft();
    }
    window->move(at);
}

void OLAppDelegate::openPreferences()
{
    if (!m_preferencesWindowController) {
        m_preferencesWindowController = new OLPreferencesWindowController(m_defaults, *this);
        m_preferencesWindowController->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        // A window still open shows what was chosen elsewhere since.
        m_preferencesWindowController->windowDidLoad();
    }
    m_preferencesWindowController->show();
    m_preferencesWindowController->raise();
    m_preferencesWindowController->activateWindow();
}

void OLAppDelegate::updateAllFontAttributes()
{
    for (OLWindowController *window : std::as_const(m_currentyOpen))
        window->updateFontAttributes();
}

void OLAppDelegate::updateAllLineNumbers()
{
    for (OLWindowController *window : std::as_const(m_currentyOpen))
        window->updateLineNumbers();
}

void OLAppDelegate::clearAllHistory()
{
    for (OLWindowController *window : std::as_const(m_currentyOpen))
        window->clearHistory();
}

void OLAppDelegate::resetAllEnvironments()
{
    for (OLWindowController *window : std::as_const(m_currentyOpen))
        window->resetEnvironment();
}

void OLAppDelegate::removeWC(OLWindowController *window)
{
    if (!m_currentyOpen.removeOne(window))
        return;
    window->deleteLater();
    // Looked at on the next turn: opening a file into the only, empty window
    // closes that one before the file's window joins the list.
    QTimer::singleShot(0, this, [this] {
        if (m_currentyOpen.isEmpty())
            terminate();
    });
}

bool OLAppDelegate::applicationShouldTerminate()
{
    // The questions run modal loops, in which windows may go.
    QList<QPointer<OLWindowController>> asked;
    for (OLWindowController *window : std::as_const(m_currentyOpen))
        asked.append(window);
    QList<QUrl> files;
    for (const QPointer<OLWindowController> &window : std::as_const(asked)) {
        if (!window || !m_currentyOpen.contains(window.get()))
            continue;
        const bool mayClose = window->windowShouldClose();
        // A save in the question counts, under its new name too.
        if (!window->file().isEmpty())
            files.append(OLFileName::toUrl(window->file()));
        if (!mayClose)
            return false;
    }
    m_defaults.saveOpenedFiles(files);
    return true;
}

void OLAppDelegate::terminate()
{
    if (m_terminating || !applicationShouldTerminate())
        return;
    m_terminating = true;
    // As if the windows closed in order: the last one's history and place
    // are kept.
    for (OLWindowController *window : std::as_const(m_currentyOpen)) {
        window->storeHistory();
        window->storeGeometry();
    }
    checkSettingsWritable();
    PXShellWrapper::terminateAll();
    Q_EMIT terminated();
}

void OLAppDelegate::checkSettingsWritable()
{
    if (m_settingsFailureReported || !m_defaults.lastWriteFailed())
        return;
    m_settingsFailureReported = true;
    m_asker.alert(nullptr, tr("Could not save the settings"),
                  tr("The settings file %1 cannot be written. Ostrel goes on, but changed settings will be lost "
                     "when it ends.")
                      .arg(m_settingsFileName));
}
