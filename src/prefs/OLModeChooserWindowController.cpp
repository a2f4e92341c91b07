#include "prefs/OLModeChooserWindowController.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

OLModeChooserWindowController::OLModeChooserWindowController(OLUserDefaults &defaults,
                                                             const QVariantMap &locations,
                                                             QWidget *parent)
    : QDialog(parent)
    , m_defaults(defaults)
    , m_chooserButton(new QComboBox(this))
    , m_labelTop(new QLabel(tr("Please choose the Standard ML interpreter to use:"), this))
    , m_labelBottom(new QLabel(tr("Or locate an interpreter executable:"), this))
    , m_browse(new QPushButton(tr("Browse..."), this))
    , m_apply(new QPushButton(tr("Apply"), this))
{
    setObjectName(QStringLiteral("OLModeChooserWindowController"));
    setWindowTitle(tr("Choose an Interpreter"));
    m_chooserButton->setObjectName(QStringLiteral("chooserButton"));
    m_chooserButton->setPlaceholderText(tr("Installed interpreters"));
    m_labelTop->setObjectName(QStringLiteral("labelTop"));
    m_labelBottom->setObjectName(QStringLiteral("labelBottom"));
    m_browse->setObjectName(QStringLiteral("browse"));
    m_apply->setObjectName(QStringLiteral("apply"));
    m_apply->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_labelTop);
    layout->addWidget(m_chooserButton);
    layout->addWidget(m_labelBottom);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_browse);
    buttons->addStretch();
    buttons->addWidget(m_apply);
    layout->addLayout(buttons);

    connect(m_chooserButton, &QComboBox::activated, this, &OLModeChooserWindowController::chooseEntry);
    connect(m_browse, &QPushButton::clicked, this, &OLModeChooserWindowController::browseExec);
    connect(m_apply, &QPushButton::clicked, this, &OLModeChooserWindowController::apply);

    initInterpreterExists(locations);
}

void OLModeChooserWindowController::initInterpreterExists(const QVariantMap &locations)
{
    m_found = discoverInterpreters(m_defaults, locations);
    for (const OLInterpreterRow &row : m_found)
        m_chooserButton->addItem(displayNameForMode(row.mode));
    if (m_found.isEmpty())
        noneFound();
    else
        m_chooserButton->setCurrentIndex(-1);
}

void OLModeChooserWindowController::noneFound()
{
    m_labelTop->setText(tr("Unfortunately, no installed SML-Interpreter was found."));
    m_labelBottom->setText(tr("Please locate the executable manually:"));
    delete m_chooserButton;
    m_chooserButton = nullptr;
}

void OLModeChooserWindowController::chooseEntry(int index)
{
    m_chosenPath = m_defaults.stringForKey(m_found.at(index).standardPathKey);
}

void OLModeChooserWindowController::browseExec()
{
    const QString path = m_chooseExecutable(this);
    if (path.isEmpty())
        return;
    m_chosenPath = commandLineForExecutable(path);
    accept();
}

void OLModeChooserWindowController::apply()
{
    accept();
}

// Every way out (apply, the close control, Escape, a located file) ends here.
void OLModeChooserWindowController::done(int)
{
    if (m_chosenPath.isEmpty()) {
        QDialog::done(Rejected);
        return;
    }
    m_defaults.savePreferredInterpreter(m_chosenPath);
    QDialog::done(Accepted);
}
