#pragma once

#include "prefs/OLExecutableDialog.h"
#include "prefs/OLInterpreterDiscovery.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

// The chooser run when no usable interpreter is configured: it offers the
// interpreters found at their standard locations and lets the user locate one.
// Every way of closing it commits: with a choice, the choice is stored as the
// preferred interpreter and the dialog is accepted; without one, the dialog is
// rejected and the caller ends the application.
class OLModeChooserWindowController : public QDialog
{
    Q_OBJECT

public:
    explicit OLModeChooserWindowController(OLUserDefaults &defaults,
                                           const QVariantMap &locations = OLUserDefaults::standardInterpreterLocations(),
                                           QWidget *parent = nullptr);

    void setExecutableChooser(OLExecutableChooser chooser) { m_chooseExecutable = std::move(chooser); }

    // Locates an executable by hand; a confirmed choice closes the chooser.
    void browseExec();
    void apply();

    void done(int result) override;

private:
    void initInterpreterExists(const QVariantMap &locations);
    void noneFound();
    void chooseEntry(int index);

    OLUserDefaults &m_defaults;
    OLExecutableChooser m_chooseExecutable = chooseExecutable;
    QList<OLInterpreterRow> m_found; // the pop-up's entries, in order
    QComboBox *m_chooserButton;
    QLabel *m_labelTop;
    QLabel *m_labelBottom;
    QPushButton *m_browse;
    QPushButton *m_apply;
    QString m_chosenPath; // the command line to store; empty until the user chooses
};
