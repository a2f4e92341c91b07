#pragma once

#include <QCoreApplication>
#include <QString>

class OLUserDefaults;
class QWidget;
struct OLRecoveredText;

// Every modal question Ostrel puts to the user: alerts, the save-changes
// question, the save and open panels and the launch chooser. The application
// uses OLDialogAsker; tests answer in its place.
class OLAsker
{
public:
    enum class SaveChanges { Save, DontSave, Cancel };
    // Later keeps the journal for the next start.
    enum class Recovery { Recover, Discard, Later };
    enum class ChangedFile { Reload, Keep };

    virtual ~OLAsker() = default;

    virtual void alert(QWidget *parent, const QString &message, const QString &informative) = 0;
    // "Would you like to save your changes first?"
    virtual SaveChanges askToSaveChanges(QWidget *parent) = 0;
    // The chosen path, or an empty string when the panel was cancelled.
    virtual QString saveFileName(QWidget *parent, const QString &directory, const QString &proposedName) = 0;
    virtual QString openFileName(QWidget *parent, const QString &directory) = 0;
    // Runs the interpreter chooser modally; false when the user chose nothing.
    virtual bool chooseInterpreter(OLUserDefaults &defaults) = 0;
    // At start-up, for a text an Ostrel that did not end properly left
    // unsaved: which file it belongs to, and whether that file has changed.
    virtual Recovery askToRecover(const OLRecoveredText &text) = 0;
    // Another program changed the window's file; `edited`: the window has
    // unsaved changes, which reloading would lose.
    virtual ChangedFile askAboutChangedFile(QWidget *parent, const QString &path, bool edited) = 0;
    // Saving would write over changes another program made to the file.
    virtual bool askToOverwriteChangedFile(QWidget *parent, const QString &path) = 0;
};

// The real dialogs.
class OLDialogAsker final : public OLAsker
{
    Q_DECLARE_TR_FUNCTIONS(OLDialogAsker)

public:
    void alert(QWidget *parent, const QString &message, const QString &informative) override;
    SaveChanges askToSaveChanges(QWidget *parent) override;
    QString saveFileName(QWidget *parent, const QString &directory, const QString &proposedName) override;
    QString openFileName(QWidget *parent, const QString &directory) override;
    bool chooseInterpreter(OLUserDefaults &defaults) override;
    Recovery askToRecover(const OLRecoveredText &text) override;
    ChangedFile askAboutChangedFile(QWidget *parent, const QString &path, bool edited) override;
    bool askToOverwriteChangedFile(QWidget *parent, const QString &path) override;
};
