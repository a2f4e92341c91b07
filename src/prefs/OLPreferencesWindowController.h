#pragma once

#include "highlight/OLTextStorage.h"
#include "prefs/OLExecutableDialog.h"
#include "prefs/OLInterpreterDiscovery.h"
#include "settings/OLColor.h"

#include <QFont>
#include <QMainWindow>

struct OLStyleSet;
class OLBroadcaster;
class OLColorWell;
class OLTextView;
class QCheckBox;
class QColorDialog;
class QComboBox;
class QDoubleSpinBox;
class QFontDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;

// The preferences window: a General tab (the interpreter and its command line,
// the commit history, reopening documents, line numbers) and a Fonts and
// Colours tab (the style set, the answer opacity and the answer and error font
// traits). Every control stores its setting at once and tells the open windows
// through the broadcaster; showing the settings stores and tells nothing.
class OLPreferencesWindowController : public QMainWindow
{
    Q_OBJECT

public:
    OLPreferencesWindowController(OLUserDefaults &defaults, OLBroadcaster &broadcaster,
                                  const QVariantMap &locations = OLUserDefaults::standardInterpreterLocations(),
                                  QWidget *parent = nullptr);

    void setExecutableChooser(OLExecutableChooser chooser) { m_chooseExecutable = std::move(chooser); }

    // Loads every control from the settings; run again after restoring
    // defaults, and on each opening.
    void windowDidLoad();

    void selectGenTab();
    void selectFacTab();

    // Takes a font picked in the font dialog: shown, applied and stored at once.
    void changeFont(const QFont &font);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *createGeneralTab();
    QWidget *createFontsTab();
    OLColorWell *createColorWell(const char *name);

    // General tab.
    void initInterpreterExists();
    void chooseEntry(int index);
    void showCommandLine();
    void genProcessBrowseExecutableClicked();
    void genProcessCommandLineTextFieldEntered();
    void genHistoryShoudLoadCheckboxClicked();
    bool genHistorySizeTextFieldEntered();
    void genHistoryClearButtonClicked();
    void genMiscReopenDocumentsCheckBoxClicked();
    void genShowLineNumbersCheckBoxClicked();
    void genRestoreDefaults();
    void genApplyAndResetEnv();

    // Fonts and Colours tab.
    void loadFontsTab();
    void chooseFont();
    // Shows the font in the field and the example.
    void updateFont();
    void chooseColor(OLColorWell *well);
    void facConsoleColorChanged();
    void facConsoleAnswerOpacityChanged();
    void faCConsoleAnswerStyleChanged();
    void faCConsoleErrorStyleChanged();
    void facConsoleUpdateExampleText();
    OLStyleSet createFontAtrributesDictionaryWithAlpha(double alpha) const;
    void saveFontAttributes();
    qint64 createAnswerFontTraits() const;
    qint64 createErrorFontTraits() const;
    void facRestoreDefaults();

    OLUserDefaults &m_defaults;
    OLBroadcaster &m_broadcaster;
    const QVariantMap m_locations;
    OLExecutableChooser m_chooseExecutable = chooseExecutable;
    QList<OLInterpreterRow> m_found; // the interpreter pop-up's entries, in order

    QStackedWidget *m_tabView;
    QAction *m_genToolBarItem;
    QAction *m_facToolBarItem;

    QLineEdit *m_genProcessCommandLineTextField;
    QComboBox *m_genProcessExecutabelChooserButton;
    QCheckBox *m_genHistoryShouldLoadCheckbox;
    QLineEdit *m_genHistorySizeTextField;
    QLabel *m_genHistorySizeMessage;
    QCheckBox *m_genMiscReopenDocumentsCheckBox;
    QCheckBox *m_genShowLineNumbersCheckBox;

    QLineEdit *m_facConsoleFontTextField;
    OLTextView *m_facConsoleExampleTextView;
    OLTextStorage m_exampleStorage; // the example text and its colours, drawn by the view
    OLColorWell *m_facConsoleColorWellPlain;
    OLColorWell *m_facConsoleColorWellError;
    OLColorWell *m_facConsoleColorWellKeyword;
    OLColorWell *m_facConsoleColorWellString;
    OLColorWell *m_facConsoleColorWellComment;
    QDoubleSpinBox *m_facConsoleAnswerOpacityTextField;
    QCheckBox *m_facConsoleAnswerStyleCheckBoxItalic;
    QCheckBox *m_facConsoleAnswerStyleCheckBoxBold;
    QCheckBox *m_facConsoleErrorStyleCheckBoxItalic;
    QCheckBox *m_facConsoleErrorStyleCheckBoxBold;
    QFont m_facConsoleFont;

    // Open while the user picks; each pick applies at once, Cancel takes it back.
    QFontDialog *m_fontDialog = nullptr;
    QFont m_fontBeforeDialog;
    QColorDialog *m_colorDialog = nullptr;
    OLColorWell *m_colorDialogWell = nullptr;
    OLColor m_colorBeforeDialog;
};
