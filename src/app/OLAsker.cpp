#include "app/OLAsker.h"

#include "app/OLRecoveryJournal.h"
#include "prefs/OLModeChooserWindowController.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
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
    QFileDialog panel(parent, tr("Open"), directory);
    panel.setNameFilters({tr("SML files (*.sml *.sig *.fun *.ML *.aml)"), tr("Text files (*.txt)"), tr("All files (*)")});
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

OLAsker::Recovery OLDialogAsker::askToRecover(const OLRecoveredText &text)
{
    using Origin = OLRecoveredText::Origin;
    const QString name = text.file.isEmpty() ? tr("an untitled document") : QFileInfo(text.file).fileName();
    QString about = text.file.isEmpty() ? QString() : text.file + QStringLiteral("\n\n");
    about += tr("Ostrel ended without saving these changes; they were last recorded %1.")
                 .arg(QLocale().toString(text.written.toLocalTime(), QLocale::ShortFormat));
    switch (text.origin) {
    case Origin::Untitled:
    case Origin::Unchanged:
        break;
    case Origin::Changed:
        about += QLatin1Char(' ')
            + tr("The file has been changed on disk since. The recovered text opens as an edited window; the file "
                 "stays as it is until you save.");
        break;
    case Origin::Missing:
        about += QLatin1Char(' ') + tr("The file no longer exists or cannot be read. The text opens in a new window.");
        break;
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("Ostrel"), tr("Recover unsaved changes to %1?").arg(name),
                    QMessageBox::NoButton);
    box.setInformativeText(about);
    QPushButton *recover = box.addButton(tr("Recover"), QMessageBox::AcceptRole);
    QPushButton *discard = box.addButton(tr("Discard"), QMessageBox::DestructiveRole);
    QPushButton *later = box.addButton(tr("Decide Later"), QMessageBox::RejectRole);
    box.setDefaultButton(recover);
    box.setEscapeButton(later);
    box.exec();
    if (box.clickedButton() == recover)
        return Recovery::Recover;
    if (box.clickedButton() == discard)
        return Recovery::Discard;
    return Recovery::Later;
}

OLAsker::ChangedFile OLDialogAsker::askAboutChangedFile(QWidget *parent, const QString &path, bool edited)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Ostrel"),
                    tr("The file %1 has been changed by another program.").arg(QFileInfo(path).fileName()),
                    QMessageBox::NoButton, parent);
    box.setInformativeText(edited ? tr("Reloading it loses your unsaved changes. If you keep your text, saving it "
                                       "asks before writing over the file.")
                                  : tr("Reload it, or keep the text as the window shows it?"));
    QPushButton *reload = box.addButton(tr("Reload"), QMessageBox::DestructiveRole);
    QPushButton *keep = box.addButton(tr("Keep This Text"), QMessageBox::RejectRole);
    box.setDefaultButton(edited ? keep : reload);
    box.setEscapeButton(keep);
    box.exec();
    return box.clickedButton() == reload ? ChangedFile::Reload : ChangedFile::Keep;
}

bool OLDialogAsker::askToOverwriteChangedFile(QWidget *parent, const QString &path)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Ostrel"),
                    tr("The file %1 has been changed by another program.").arg(QFileInfo(path).fileName()),
                    QMessageBox::NoButton, parent);
    box.setInformativeText(tr("Saving writes over the other program's changes."));
    QPushButton *save = box.addButton(tr("Save Anyway"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box.addButton(tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == save;
}
