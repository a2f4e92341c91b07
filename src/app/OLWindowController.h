#pragma once

#include "app/OLSourceFile.h"
#include "console/OLConsoleWindow.h"
#include "editor/OLEditorViewController.h"
#include "editor/OLEditorWindow.h"
#include "prefs/OLModeChooserWindowController.h"
#include "session/OLSessionClients.h"

#include <QDialog>
#include <QFileSystemWatcher>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <memory>

class OLAppDelegate;
class OLInterpreterSession;
class OLInterpreterViewController;
class OLRecoveryJournal;
class OLTextView;
class OLUserDefaults;
class QLabel;
class QLineEdit;
class QSplitter;
struct OLRecoveredText;

// One document window: the editor pane and the console pane side by side
// (or one above the other), the interpreter session that joins them, and at
// most one source file.
//
// The file is kept as it was read (OLSourceFile): the edited mark compares
// the editor's text with the text last read or saved, and saving an unedited
// text writes the exact bytes that were read.
//
// Nothing typed is lost: while the text differs from the file, it goes to a
// recovery journal at most journalDelay after an edit; while the journal
// cannot be written, the status bar says so. The file is watched:
// when another program changes it, the window asks before reloading, and
// saving over such a change asks first; when it goes, the text stays and is
// marked as unsaved.
//
// The status bar names the interpreter and says when it is busy, and when
// none runs; the window stays open then, and Interrupt and Reset are always
// at hand. It also shows the line and column of the editor's cursor.
class OLWindowController : public QMainWindow,
                           public OLEditorWindow,
                           public OLConsoleWindow,
                           public OLSessionWindow
{
    Q_OBJECT

public:
    // A window for a new document.
    OLWindowController(OLUserDefaults &defaults, OLAppDelegate &appDeleg);
    // A window for the file, or nothing (and the reason in *error) when the
    // file cannot be read as UTF-8 text.
    static std::unique_ptr<OLWindowController> openFile(OLUserDefaults &defaults, OLAppDelegate &appDeleg,
                                                        const QString &path, QString *error);
    // A window for a text recovered from a journal, marked as edited: its
    // file's window with the recovered text in place of the file's, or a new
    // document's when it had no file or the file cannot be read any more.
    static std::unique_ptr<OLWindowController> recover(OLUserDefaults &defaults, OLAppDelegate &appDeleg,
                                                       const OLRecoveredText &text);
    ~OLWindowController() override;

    // Shows the window, then puts a file's text into the editor on the next
    // turn of the event loop, so that the window appears before a long text
    // is laid out.
    void showWindow();

    // The file's path; empty for a document never saved.
    QString file() const { return m_file; }
    // The editor's text (a file's text before it reached the editor).
    QString content() const;

    OLEditorViewController *editor() const { return m_olEditor; }
    OLInterpreterViewController *console() const { return m_olInterpreter; }
    OLInterpreterSession &session() const { return *m_olProcess; }
    QSplitter *splitView() const { return m_splitView; }
    QDialog *findSheet() const { return m_findSheet; }
    QLineEdit *findSheetTextField() const { return m_findSheetTextField; }
    OLModeChooserWindowController *modeChooser() const { return m_modeChooser; }

    // Whether to close; asks about unsaved changes. Closes only when the
    // changes were saved or the user let them go.
    bool windowShouldClose();
    // Stores the console's commit history; every window does as it closes.
    void storeHistory();
    // Stores the window's size and place for the next new window; every
    // window does as it closes.
    void storeGeometry();

    // At most this long after an edit, the unsaved text is in the journal.
    static constexpr int journalDelay = 2000;
    // Writes the unsaved text to the recovery journal now.
    void journalNow();

    // Broadcast receivers.
    void updateFontAttributes();
    void updateLineNumbers();
    void clearHistory();
    void resetEnvironment();

    bool fileChanged() override;
    void eval(const QString &text, qint32 from) override;
    void restartForReplay() override;
    void replayEnded(qsizetype replayed, qsizetype kept) override;
    bool activateOutput(qint64 shown) override;
    bool showsOutputOnRequest() const override { return m_olEditor->pending().isSet(); }
    void closeWindow() override;
    void interpreterActivityChanged(OLInterpreterActivity activity) override;

    // Menu commands. The saves answer whether the text was written.
    bool saveFile();
    bool saveFileAs();
    void changeOrientation();
    void interruptEvaluation();
    void jumpToInterpreter();
    void jumpToEditor();
    void evalNextStep();
    void evalToCursor();
    void evalFile();
    void undoStep();
    void retractToCursor();
    // The place of the next (or previous) error or warning in the editor.
    void goToMessage(bool forward);
    void backInHistory();
    void forwardInHistory();
    void find();
    void openGoToLineSheet();
    void goToLine();
    void closeGoToLineSheet();
    void mySelectAll();
    void clearConsole();
    void showKeyboardShortcuts();
    void showAbout();
    // Shows the interpreter chooser beside the window; the window's panes are
    // hidden until it closes.
    void chooseMode();

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The editor's text is `text`: the source's own, or a recovered one.
    OLWindowController(OLUserDefaults &defaults, OLAppDelegate &appDeleg, const QString &path,
                       OLSourceFile source, const QString &text);

    void createMenus();
    // Draws what waited for the interpreter's next declaration.
    void drawHeldUpdate();
    void updateTitle();
    void showInterpreterName();
    // The editor cursor's line and column, from 1.
    void showPosition();
    // The editor shows the place of the message, and the status bar what it says.
    bool showMessage(const OLEditorViewController::Message *message);
    void windowWillClose();
    void loadContent();
    // From the text as it stands, the line ends follow every edit.
    void followLineEnds();
    void trackLineEnds(qsizetype position, qsizetype removed, qsizetype added);
    bool writeTo(const QString &path);
    // Watches the file and its folder anew: a replacement by rename ends the
    // watch of the file it replaced.
    void watchFile();
    // After a change in the file's folder: asks about a file changed by
    // another program, and notes one that has gone.
    void checkFileOnDisk();
    // Whether the file holds other bytes than were last read or saved; a
    // file that has gone or cannot be read holds none. Something in its place
    // that is no regular file (a named pipe) differs, and is not read.
    bool fileDiffersOnDisk() const;
    void reload();
    // The recovery journal's report on a write: empty when it was written.
    void journalWritten(const QString &failure);
    // The focused pane's text view when it is one, for the edit commands.
    OLTextView *focusedTextView() const;

    OLUserDefaults &m_defaults;
    OLAppDelegate &m_appDeleg;
    OLInterpreterViewController *m_olInterpreter;
    OLEditorViewController *m_olEditor;
    QSplitter *m_splitView;
    QLabel *m_activityLabel;     // in the status bar
    QLabel *m_journalNotice;     // in the status bar while the journal cannot be written
    QLabel *m_interpreterLabel;  // in the status bar
    QLabel *m_positionLabel;     // in the status bar
    QAction *m_interruptAction = nullptr;
    std::unique_ptr<OLInterpreterSession> m_olProcess;
    QString m_file;
    OLSourceFile m_source;      // the text as last read or saved
    QString m_text;             // the editor's text until it is in the editor
    bool m_loaded;              // the text is in the editor
    qsizetype m_lineCount = 0;  // the editor's lines when the last edit was followed
    QPointer<QDialog> m_findSheet;
    QLineEdit *m_findSheetTextField = nullptr;
    QPointer<OLModeChooserWindowController> m_modeChooser;
    QPointer<QDialog> m_shortcuts;

    std::unique_ptr<OLRecoveryJournal> m_journal; // while the text is unsaved
    QTimer m_journalTimer;
    QFileSystemWatcher m_watcher;
    QTimer m_fileCheck;         // gathers a burst of changes into one look
    OLFileStamp m_savedStamp;   // the file when last read or saved
    OLFileStamp m_seenStamp;    // the file when last looked at
    bool m_fileGone = false;    // the file went after it was read or saved
    bool m_askingAboutFile = false;
    bool m_updateHeld = false;     // a repaint waits for the next declaration
    bool m_updateReleased = false; // the repaint that waited is on its way
    static constexpr int heldUpdateLimitMs = 5;
    QTimer m_heldUpdateLimit;
};
