#pragma once

#include <QCoreApplication>
#include <QString>

class OLUserDefaults;
class QWidget;

// Every modal question Ostrel puts to the user: alerts, the save-changes
// question, the save and open panels and the launch chooser. The application
// uses OLDialogAsker; tests answer in its place.
class OLAsker
{
public:
    enum class SaveChanges { Save, DontSave, Cancel };

    virtual ~OLAsker() = default;

    virtual void alert(QWidget *parent, const QString &message, const QString &informative) = 0;
    // "Would you like to save your changes first?"
    virtual SaveChanges askToSaveChanges(QWidget *parent) = 0;
    // The chosen path, or an empty string when the panel was cancelled.
    virtual QString saveFileName(QWidget *parent, const QString &directory, const QString &proposedName) = 0;
    virtual QString openFileName(QWidget *parent, const QString &directory) = 0;
    // Runs the interpreter chooser modally; false when the user chose nothing.
    virtual bool chooseInterpreter(OLUserDefaults &defaults) = 0;
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
};
