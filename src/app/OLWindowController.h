#pragma once

#include "app/OLSourceFile.h"
#include "console/OLConsoleWindow.h"
#include "editor/OLEditorWindow.h"
#include "prefs/OLModeChooserWindowController.h"
#include "session/OLSessionClients.h"

#include <QDialog>
#include <QMainWindow>
#include <QPointer>

#include <memory>

class OLAppDelegate;
class OLEditorViewController;
class OLInterpreterSession;
class OLInterpreterViewController;
class OLTextView;
class OLUserDefaults;
class QLineEdit;
class QSplitter;

// One document window: the editor pane and the console pane side by side
// (or one above the other), the interpreter session that joins them, and at
// most one source file.
//
// The file is kept as it was read (OLSourceFile): the edited mark compares
// the editor's text with the text last read or saved, and saving an unedited
// text writes the exact bytes that were read.
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

    // Broadcast receivers.
    void updateFontAttributes();
    void clearHistory();
    void resetEnvironment();

    bool fileChanged() override;
    void eval(const QString &text, qint32 from) override;
    void closeWindow() override;

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
    void backInHistory();
    void forwardInHistory();
    void find();
    void openGoToLineSheet();
    void goToLine();
    void closeGoToLineSheet();
    void mySelectAll();
    // Shows the interpreter chooser beside the window; the window's panes are
    // hidden until it closes.
    void chooseMode();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    OLWindowController(OLUserDefaults &defaults, OLAppDelegate &appDeleg, const QString &path,
                       OLSourceFile source);

    void createMenus();
    void windowWillClose();
    void loadContent();
    // From the text as it stands, the line ends follow every edit.
    void followLineEnds();
    void trackLineEnds(qsizetype position, qsizetype removed, qsizetype added);
    bool writeTo(const QString &path);
    // The focused pane's text view when it is one, for the edit commands.
    OLTextView *focusedTextView() const;

    OLUserDefaults &m_defaults;
    OLAppDelegate &m_appDeleg;
    OLInterpreterViewController *m_olInterpreter;
    OLEditorViewController *m_olEditor;
    QSplitter *m_splitView;
    std::unique_ptr<OLInterpreterSession> m_olProcess;
    QString m_file;
    OLSourceFile m_source;      // the text as last read or saved
    bool m_loaded;              // m_source's text is in the editor
    int m_blockCount = 0;       // the editor's lines when the last edit was followed
    QPointer<QDialog> m_findSheet;
    QLineEdit *m_findSheetTextField = nullptr;
    QPointer<OLModeChooserWindowController> m_modeChooser;
};
