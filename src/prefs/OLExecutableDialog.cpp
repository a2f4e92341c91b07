#include "prefs/OLExecutableDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

QString chooseExecutable(QWidget *parent)
{
    const QString preferred = QStringLiteral("/opt/local/bin");
    QFileDialog dialog(parent, QFileDialog::tr("Locate the interpreter"),
                       QFileInfo(preferred).isDir() ? preferred : QDir::homePath());
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Only Qt's own dialog honours the executables-only filter.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFilter(QDir::AllDirs | QDir::Files | QDir::Executable | QDir::NoDotAndDotDot);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}
