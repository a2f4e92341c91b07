#include "app/OLAsker.h"

#include "prefs/OLModeChooserWindowController.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

void OLDialogAsker::alert(QWidget *parent, const QString &message, const QString &informative)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Ostrel"), message, QMessageBox::Ok, parent);
    box.setInformativeText(informative);
    box.exec();
}

OLAsker::SaveChanges OLDialogAsker::askToSaveChanges(QWidget *parent)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Ostrel"), tr("Would you like to save your changes first?"),
                    QMessageBox::NoButton, parent);
    QPushButton *save = box.addButton(tr("Save"), QMessageBox::AcceptRole);
    QPushButton *dontSave = box.addButton(tr("Don't Save"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save)
        return SaveChanges::Save;
    if (box.clickedButton() == dontSave)
        return SaveChanges::DontSave;
    return SaveChanges::Cancel;
}

QString OLDialogAsker::saveFileName(QWidget *parent, const QString &directory, const QString &proposedName)
{
    QFileDialog panel(parent, tr("Save"), directory, tr("Standard ML source (*.sml)"));
    panel.setAcceptMode(QFileDialog::AcceptSave);
    panel.setDefaultSuffix(QStringLiteral("sml"));
    panel.selectFile(proposedName);
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty())
        return QString();
    return panel.selectedFiles().constFirst();
}

QString OLDialogAsker::openFileName(QWidget *parent, const QString &directory)
{
    QFileDialog panel(parent, tr("Open"), directory, tr("Standard ML source (*.sml *.txt *.aml)"));
    panel.setAcceptMode(QFileDialog::AcceptOpen);
    panel.setFileMode(QFileDialog::ExistingFile);
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty())
        return QString();
    return panel.selectedFiles().constFirst();
}

bool OLDialogAsker::chooseInterpreter(OLUserDefaults &defaults)
{
    OLModeChooserWindowController chooser(defaults);
    return chooser.exec() == QDialog::Accepted;
}
