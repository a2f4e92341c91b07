#pragma once

#include "app/OLRecoveryJournal.h"
#include "prefs/OLBroadcaster.h"
#include "prefs/OLPreferencesWindowController.h"
#include "settings/OLUserDefaults.h"

#include <QList>
#include <QObject>
#include <QPointer>

class OLAsker;
class OLWindowController;
class QSettings;

// The application: its settings store, the list of open document windows in
// the order they were opened, opening and creating documents, the broadcasts
// of the preferences window, and the decision to quit.
class OLAppDelegate : public QObject, public OLBroadcaster
{
    Q_OBJECT

public:
    // The settings store is made over `userLayer` with the defaults resource
    // registered below it; the windows' recovery journals go to
    // `recoveryFolder` (OLRecoveryStore::standardFolder() for the user's).
    OLAppDelegate(QSettings &userLayer, OLAsker &asker, const QString &recoveryFolder, QObject *parent = nullptr);
    ~OLAppDelegate() override;

    // Ensures a usable interpreter (the chooser runs when the stored one is
    // missing), offers the texts that an Ostrel which did not end properly
    // left unsaved, reopens the files of the last run or opens a new
    // document, then opens `files` as if chosen in the open panel; a file
    // already open in a recovered window is not opened twice. False when the
    // user chose no interpreter: the application ends.
    bool applicationDidFinishLaunching(const QStringList &files = {});
    // The interpreter to use while none is stored: registered, never stored,
    // so that one chosen later still wins.
    void registerDefaultInterpreter(const QString &path);
    // Asks every window in order whether it may close; the first refusal
    // cancels. When all agree, the windows' files are stored for the next run.
    bool applicationShouldTerminate();
    // Quits when applicationShouldTerminate() agrees; every interpreter that
    // was started ends.
    void terminate();

    void newDocument();
    // The open panel, in `folder` (by default where it was last confirmed).
    void openDocument(const QString &folder = QString());
    // Opens the file in a new window (into the only window when that one is
    // empty); an alert names a file that cannot be opened. A file already
    // open, under whatever name, brings its window forward instead.
    OLWindowController *openDocumentWindow(const QString &path);
    void openPreferences();

    void updateAllFontAttributes() override;
    void updateAllLineNumbers() override;
    void clearAllHistory() override;
    void resetAllEnvironments() override;

    // A window that has closed leaves the list; the last one quits.
    void removeWC(OLWindowController *window);

    const QList<OLWindowController *> &windows() const { return m_currentyOpen; }
    OLUserDefaults &defaults() { return m_defaults; }
    OLRecoveryStore &recovery() { return m_recovery; }
    OLAsker &asker() const { return m_asker; }
    OLPreferencesWindowController *preferencesWindowController() const { return m_preferencesWindowController; }

    // The folders in which the open and save panels were last confirmed.
    QString lastOpened() const { return m_lastOpened; }
    QString lastSaved() const { return m_lastSaved; }
    void setLastSaved(const QString &directory) { m_lastSaved = directory; }

    // Tells the user, once per run, that the settings cannot be written.
    void checkSettingsWritable();

Q_SIGNALS:
    // The application is to end now.
    void terminated();

private:
    bool preferredInterpreterExists() const;
    // Asks about each journal left behind: its text opens in an edited
    // window, is discarded, or waits for the next start.
    void offerRecovery();
    bool isOpen(const QString &path) const;
    OLWindowController *windowForFile(const QString &path) const;
    // A new window takes the size and place of the last one closed, a step
    // away from any window at that place.
    void placeWindow(OLWindowController *window) const;
    // A file chosen in the open panel or named on the command line.
    void openChosenFile(const QString &path);
    void addWindow(OLWindowController *window);

    OLUserDefaults m_defaults;
    OLAsker &m_asker;
    OLRecoveryStore m_recovery;
    const QString m_settingsFileName;
    QString m_lastOpened;
    QList<OLWindowController *> m_currentyOpen; // owned
    QPointer<OLPreferencesWindowController> m_preferencesWindowController;
    QString m_lastSaved;
    bool m_settingsFailureReported = false;
    bool m_terminating = false;
};
