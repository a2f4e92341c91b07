#include "app/OLAppDelegate.h"

#include "app/OLAsker.h"
#include "app/OLFileName.h"
#include "app/OLWindowController.h"
#include "prefs/OLInterpreterDiscovery.h"
#include "session/PXShellWrapper.h"
#include "settings/OLSettingsKeys.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>
#include <QUrl>

#include <algorithm>

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
    for (const QString &file : files) {
        const QString path = QFileInfo(file).absoluteFilePath();
        if (!isOpen(path))
            openChosenFile(path);
    }
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
    return std::any_of(m_currentyOpen.cbegin(), m_currentyOpen.cend(),
                       [&path](const OLWindowController *window) { return window->file() == path; });
}

void OLAppDelegate::newDocument()
{
    addWindow(new OLWindowController(m_defaults, *this));
}

void OLAppDelegate::openDocument()
{
    const QString path = m_asker.openFileName(nullptr, m_lastOpened.isEmpty() ? QDir::homePath() : m_lastOpened);
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
    m_currentyOpen.append(window);
    window->showWindow();
}

void OLAppDelegate::openPreferences()
{
    if (!m_preferencesWindowController) {
        m_preferencesWindowController = new OLPreferencesWindowController(m_defaults, *this);
        m_preferencesWindowController->setAttribute(Qt::WA_DeleteOnClose);
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
    // As if the windows closed in order: the last one's history is kept.
    for (OLWindowController *window : std::as_const(m_currentyOpen))
        window->storeHistory();
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
