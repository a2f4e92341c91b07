#include "prefs/OLPreferencesWindowController.h"

#include "highlight/OLSyntaxHighlighter.h"
#include "highlight/OLTextView.h"
#include "prefs/OLBroadcaster.h"
#include "prefs/OLColorWell.h"
#include "highlight/OLQtColor.h"
#include "highlight/OLQtFont.h"
#include "settings/OLSettingsKeys.h"
#include "settings/OLSettingsValue.h"
#include "settings/OLUserDefaults.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include <array>
#include <string_view>

namespace {

// The example text: what a console shows for input, answers and an error. Its
// six pieces are laid out at fixed positions; the lengths are checked below.
enum class ExampleKind { Input, Answer, Error };
struct ExampleSegment {
    std::u16string_view text;
    ExampleKind kind;
};
constexpr std::array<ExampleSegment, 6> exampleSegments{{
    {u"fun twice f x = f (f x) (* apply f two times *);\n", ExampleKind::Input},
    {u"val twice = fn\n    : ('a -> 'a) -> 'a -> 'a\n", ExampleKind::Answer},
    {u"val (a,b) = (twice ~ 3,1.25)\n", ExampleKind::Input},
    {u"val a = 3 : int\nval b = 1.25 : real\n", ExampleKind::Answer},
    {u"val c = a ^ \"rd\";\n", ExampleKind::Input},
    {u"Error: operator and operand do not agree\n"
     u"  operator domain: string * string\n"
     u"  operand:         int * string\n"
     u"  in expression:\n"
     u"    a ^ \"rd\"",
     ExampleKind::Error},
}};
static_assert(exampleSegments[0].text.size() == 49 && exampleSegments[1].text.size() == 44
              && exampleSegments[2].text.size() == 29 && exampleSegments[3].text.size() == 36
              && exampleSegments[4].text.size() == 18);

QString exampleText()
{
    QString text;
    for (const ExampleSegment &segment : exampleSegments)
        text += QStringView(segment.text);
    return text;
}

qint64 fontTraitMask(bool bold, bool italic)
{
    return (bold ? OLFontTrait::bold : OLFontTrait::notBold)
        | (italic ? OLFontTrait::italic : OLFontTrait::notItalic);
}

OLColor withAlpha(OLColor color, double alpha)
{
    color.alpha = alpha;
    return color;
}

} // namespace

OLPreferencesWindowController::OLPreferencesWindowController(OLUserDefaults &defaults,
                                                             OLBroadcaster &broadcaster,
                                                             const QVariantMap &locations,
                                                             QWidget *parent)
    : QMainWindow(parent)
    , m_defaults(defaults)
    , m_broadcaster(broadcaster)
    , m_locations(locations)
    , m_tabView(new QStackedWidget(this))
{
    setObjectName(QStringLiteral("OLPreferencesWindowController"));
    setWindowTitle(tr("Preferences"));

    auto *toolBar = addToolBar(tr("Preferences"));
    toolBar->setObjectName(QStringLiteral("toolBar"));
    toolBar->setMovable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    auto *group = new QActionGroup(this);
    m_genToolBarItem = toolBar->addAction(QIcon::fromTheme(QStringLiteral("preferences-system")), tr("General"));
    m_facToolBarItem = toolBar->addAction(QIcon::fromTheme(QStringLiteral("preferences-desktop-font")),
                                          tr("Fonts && Colours"));
    for (QAction *item : {m_genToolBarItem, m_facToolBarItem}) {
        item->setCheckable(true);
        group->addAction(item);
    }
    m_genToolBarItem->setObjectName(QStringLiteral("genToolBarItem"));
    m_facToolBarItem->setObjectName(QStringLiteral("facToolBarItem"));
    connect(m_genToolBarItem, &QAction::triggered, this, &OLPreferencesWindowController::selectGenTab);
    connect(m_facToolBarItem, &QAction::triggered, this, &OLPreferencesWindowController::selectFacTab);

    m_tabView->setObjectName(QStringLiteral("tabView"));
    m_tabView->addWidget(createGeneralTab());
    m_tabView->addWidget(createFontsTab());
    setCentralWidget(m_tabView);
    selectGenTab();

    windowDidLoad();
}

QWidget *OLPreferencesWindowController::createGeneralTab()
{
    auto *tab = new QWidget;

    auto *interpreter = new QGroupBox(tr("Interpreter"));
    m_genProcessExecutabelChooserButton = new QComboBox;
    m_genProcessExecutabelChooserButton->setObjectName(QStringLiteral("genProcessExecutabelChooserButton"));
    m_genProcessExecutabelChooserButton->setPlaceholderText(tr("Installed interpreters"));
    auto *browse = new QPushButton(tr("Browse..."));
    browse->setObjectName(QStringLiteral("genProcessBrowseExecutable"));
    m_genProcessCommandLineTextField = new QLineEdit;
    m_genProcessCommandLineTextField->setObjectName(QStringLiteral("genProcessCommandLineTextField"));
    m_genProcessCommandLineTextField->setMinimumWidth(320);
    m_genProcessCommandLineTextField->setToolTip(
        tr("The interpreter's path, then its arguments, each after a space. A space in the path is written "
           "%20, a percent sign %25."));
    auto *chooserRow = new QHBoxLayout;
    chooserRow->addWidget(m_genProcessExecutabelChooserButton, 1);
    chooserRow->addWidget(browse);
    auto *interpreterForm = new QFormLayout(interpreter);
    interpreterForm->addRow(tr("Interpreter:"), chooserRow);
    interpreterForm->addRow(tr("Command line:"), m_genProcessCommandLineTextField);

    auto *history = new QGroupBox(tr("Console history"));
    m_genHistoryShouldLoadCheckbox = new QCheckBox(tr("Restore the history at start"));
    m_genHistoryShouldLoadCheckbox->setObjectName(QStringLiteral("genHistoryShouldLoadCheckbox"));
    m_genHistorySizeTextField = new QLineEdit;
    m_genHistorySizeTextField->setObjectName(QStringLiteral("genHistorySizeTextField"));
    m_genHistorySizeTextField->setMaximumWidth(90);
    m_genHistorySizeMessage = new QLabel(tr("The history size must be a whole number."));
    m_genHistorySizeMessage->setObjectName(QStringLiteral("genHistorySizeMessage"));
    m_genHistorySizeMessage->setStyleSheet(QStringLiteral("color: #b00020"));
    m_genHistorySizeMessage->hide();
    auto *clear = new QPushButton(tr("Clear History"));
    clear->setObjectName(QStringLiteral("genHistoryClearButton"));
    auto *sizeRow = new QHBoxLayout;
    sizeRow->addWidget(m_genHistorySizeTextField);
    sizeRow->addWidget(m_genHistorySizeMessage, 1);
    sizeRow->addStretch();
    sizeRow->addWidget(clear);
    auto *historyForm = new QFormLayout(history);
    historyForm->addRow(m_genHistoryShouldLoadCheckbox);
    historyForm->addRow(tr("Entries kept:"), sizeRow);

    auto *documents = new QGroupBox(tr("Documents"));
    m_genMiscReopenDocumentsCheckBox = new QCheckBox(tr("Reopen the documents of the last session at start"));
    m_genMiscReopenDocumentsCheckBox->setObjectName(QStringLiteral("genMiscReopenDocumentsCheckBox"));
    m_genShowLineNumbersCheckBox = new QCheckBox(tr("Show line numbers in the editor"));
    m_genShowLineNumbersCheckBox->setObjectName(QStringLiteral("genShowLineNumbersCheckBox"));
    auto *documentsColumn = new QVBoxLayout(documents);
    documentsColumn->addWidget(m_genMiscReopenDocumentsCheckBox);
    documentsColumn->addWidget(m_genShowLineNumbersCheckBox);

    auto *restore = new QPushButton(tr("Restore Defaults"));
    restore->setObjectName(QStringLiteral("genRestoreDefaultsButton"));
    auto *apply = new QPushButton(tr("Apply and Reset Interpreters"));
    apply->setObjectName(QStringLiteral("genApplyAndResetEnvButton"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(restore);
    buttons->addStretch();
    buttons->addWidget(apply);

    auto *layout = new QVBoxLayout(tab);
    layout->addWidget(interpreter);
    layout->addWidget(history);
    layout->addWidget(documents);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(m_genProcessExecutabelChooserButton, &QComboBox::activated, this,
            &OLPreferencesWindowController::chooseEntry);
    connect(browse, &QPushButton::clicked, this, &OLPreferencesWindowController::genProcessBrowseExecutableClicked);
    // Leaving a field stores it only when the user changed it, like pressing Return.
    connect(m_genProcessCommandLineTextField, &QLineEdit::editingFinished, this, [this] {
        if (m_genProcessCommandLineTextField->isModified())
            genProcessCommandLineTextFieldEntered();
    });
    connect(m_genHistorySizeTextField, &QLineEdit::editingFinished, this, [this] {
        if (m_genHistorySizeTextField->isModified())
            genHistorySizeTextFieldEntered();
    });
    connect(m_genHistoryShouldLoadCheckbox, &QCheckBox::clicked, this,
            &OLPreferencesWindowController::genHistoryShoudLoadCheckboxClicked);
    connect(clear, &QPushButton::clicked, this, &OLPreferencesWindowController::genHistoryClearButtonClicked);
    connect(m_genMiscReopenDocumentsCheckBox, &QCheckBox::clicked, this,
            &OLPreferencesWindowController::genMiscReopenDocumentsCheckBoxClicked);
    connect(m_genShowLineNumbersCheckBox, &QCheckBox::clicked, this,
            &OLPreferencesWindowController::genShowLineNumbersCheckBoxClicked);
    connect(restore, &QPushButton::clicked, this, &OLPreferencesWindowController::genRestoreDefaults);
    connect(apply, &QPushButton::clicked, this, &OLPreferencesWindowController::genApplyAndResetEnv);
    return tab;
}

OLColorWell *OLPreferencesWindowController::createColorWell(const char *name)
{
    auto *well = new OLColorWell;
    well->setObjectName(QLatin1StringView(name));
    connect(well, &OLColorWell::clicked, this, [this, well] { chooseColor(well); });
    return well;
}

QWidget *OLPreferencesWindowController::createFontsTab()
{
    auto *tab = new QWidget;

    auto *font = new QGroupBox(tr("Font"));
    m_facConsoleFontTextField = new QLineEdit;
    m_facConsoleFontTextField->setObjectName(QStringLiteral("facConsoleFontTextField"));
    m_facConsoleFontTextField->setReadOnly(true);
    auto *chooseFontButton = new QPushButton(tr("Choose..."));
    chooseFontButton->setObjectName(QStringLiteral("facConsoleChooseFont"));
    auto *fontRow = new QHBoxLayout(font);
    fontRow->addWidget(m_facConsoleFontTextField, 1);
    fontRow->addWidget(chooseFontButton);

    auto *colours = new QGroupBox(tr("Colours"));
    m_facConsoleColorWellPlain = createColorWell("facConsoleColorWellPlain");
    m_facConsoleColorWellError = createColorWell("facConsoleColorWellError");
    m_facConsoleColorWellKeyword = createColorWell("facConsoleColorWellKeyword");
    m_facConsoleColorWellString = createColorWell("facConsoleColorWellString");
    m_facConsoleColorWellComment = createColorWell("facConsoleColorWellComment");
    auto *colourForm = new QFormLayout(colours);
    colourForm->addRow(tr("Plain text:"), m_facConsoleColorWellPlain);
    colourForm->addRow(tr("Errors:"), m_facConsoleColorWellError);
    colourForm->addRow(tr("Keywords:"), m_facConsoleColorWellKeyword);
    colourForm->addRow(tr("Strings:"), m_facConsoleColorWellString);
    colourForm->addRow(tr("Comments:"), m_facConsoleColorWellComment);

    auto *output = new QGroupBox(tr("Interpreter output"));
    m_facConsoleAnswerOpacityTextField = new QDoubleSpinBox;
    m_facConsoleAnswerOpacityTextField->setObjectName(QStringLiteral("facConsoleAnswerOpacityTextField"));
    m_facConsoleAnswerOpacityTextField->setRange(0, 100);
    m_facConsoleAnswerOpacityTextField->setDecimals(1);
    m_facConsoleAnswerOpacityTextField->setSuffix(QStringLiteral(" %"));
    // Typing stores on Return or on leaving the field; the arrows store each step.
    m_facConsoleAnswerOpacityTextField->setKeyboardTracking(false);
    m_facConsoleAnswerStyleCheckBoxBold = new QCheckBox(tr("Bold"));
    m_facConsoleAnswerStyleCheckBoxBold->setObjectName(QStringLiteral("facConsoleAnswerStyleCheckBoxBold"));
    m_facConsoleAnswerStyleCheckBoxItalic = new QCheckBox(tr("Italic"));
    m_facConsoleAnswerStyleCheckBoxItalic->setObjectName(QStringLiteral("facConsoleAnswerStyleCheckBoxItalic"));
    m_facConsoleErrorStyleCheckBoxBold = new QCheckBox(tr("Bold"));
    m_facConsoleErrorStyleCheckBoxBold->setObjectName(QStringLiteral("facConsoleErrorStyleCheckBoxBold"));
    m_facConsoleErrorStyleCheckBoxItalic = new QCheckBox(tr("Italic"));
    m_facConsoleErrorStyleCheckBoxItalic->setObjectName(QStringLiteral("facConsoleErrorStyleCheckBoxItalic"));
    auto *outputGrid = new QGridLayout(output);
    outputGrid->addWidget(new QLabel(tr("Opacity:")), 0, 0);
    outputGrid->addWidget(m_facConsoleAnswerOpacityTextField, 0, 1, 1, 2);
    outputGrid->addWidget(new QLabel(tr("Answers:")), 1, 0);
    outputGrid->addWidget(m_facConsoleAnswerStyleCheckBoxBold, 1, 1);
    outputGrid->addWidget(m_facConsoleAnswerStyleCheckBoxItalic, 1, 2);
    outputGrid->addWidget(new QLabel(tr("Errors:")), 2, 0);
    outputGrid->addWidget(m_facConsoleErrorStyleCheckBoxBold, 2, 1);
    outputGrid->addWidget(m_facConsoleErrorStyleCheckBoxItalic, 2, 2);
    outputGrid->setRowStretch(3, 1);

    m_facConsoleExampleTextView = new OLTextView;
    m_facConsoleExampleTextView->setObjectName(QStringLiteral("facConsoleExampleTextView"));
    m_facConsoleExampleTextView->setReadOnly(true);
    m_facConsoleExampleTextView->setTextStorage(&m_exampleStorage);
    m_facConsoleExampleTextView->setPlainText(exampleText());

    auto *restore = new QPushButton(tr("Restore Defaults"));
    restore->setObjectName(QStringLiteral("facConsoleRestoreDefaultsButton"));

    auto *controls = new QHBoxLayout;
    controls->addWidget(colours);
    controls->addWidget(output, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(restore);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(tab);
    layout->addWidget(font);
    layout->addLayout(controls);
    layout->addWidget(m_facConsoleExampleTextView, 1);
    layout->addLayout(buttons);

    connect(chooseFontButton, &QPushButton::clicked, this, &OLPreferencesWindowController::chooseFont);
    connect(m_facConsoleAnswerOpacityTextField, &QDoubleSpinBox::valueChanged, this,
            &OLPreferencesWindowController::facConsoleAnswerOpacityChanged);
    for (QCheckBox *box : {m_facConsoleAnswerStyleCheckBoxBold, m_facConsoleAnswerStyleCheckBoxItalic})
        connect(box, &QCheckBox::clicked, this, &OLPreferencesWindowController::faCConsoleAnswerStyleChanged);
    for (QCheckBox *box : {m_facConsoleErrorStyleCheckBoxBold, m_facConsoleErrorStyleCheckBoxItalic})
        connect(box, &QCheckBox::clicked, this, &OLPreferencesWindowController::faCConsoleErrorStyleChanged);
    connect(restore, &QPushButton::clicked, this, &OLPreferencesWindowController::facRestoreDefaults);
    return tab;
}

void OLPreferencesWindowController::windowDidLoad()
{
    loadFontsTab();
    initInterpreterExists();
    showCommandLine();
    m_genHistoryShouldLoadCheckbox->setChecked(m_defaults.loadShouldRestoreCommitHistory());
    m_genHistorySizeTextField->setText(QString::number(m_defaults.loadMaximumCommitHistoryLength()));
    m_genHistorySizeMessage->hide();
    m_genMiscReopenDocumentsCheckBox->setChecked(m_defaults.loadShouldReopenFiles());
    m_genShowLineNumbersCheckBox->setChecked(m_defaults.loadShowLineNumbers());
    facConsoleUpdateExampleText();
}

void OLPreferencesWindowController::selectGenTab()
{
    m_tabView->setCurrentIndex(0);
    m_genToolBarItem->setChecked(true);
}

void OLPreferencesWindowController::selectFacTab()
{
    m_tabView->setCurrentIndex(1);
    m_facToolBarItem->setChecked(true);
}

// The dialogs close with the window and keep what was picked in them.
void OLPreferencesWindowController::closeEvent(QCloseEvent *event)
{
    if (m_fontDialog && m_fontDialog->isVisible())
        m_fontDialog->accept();
    if (m_colorDialog && m_colorDialog->isVisible())
        m_colorDialog->accept();
    QMainWindow::closeEvent(event);
}

// General tab.

void OLPreferencesWindowController::initInterpreterExists()
{
    m_genProcessExecutabelChooserButton->clear();
    m_found = discoverInterpreters(m_defaults, m_locations);
    for (const OLInterpreterRow &row : m_found)
        m_genProcessExecutabelChooserButton->addItem(displayNameForMode(row.mode));
    m_genProcessExecutabelChooserButton->setCurrentIndex(-1);
}

void OLPreferencesWindowController::chooseEntry(int index)
{
    m_defaults.savePreferredInterpreter(m_defaults.stringForKey(m_found.at(index).standardPathKey));
    showCommandLine();
}

// The field holds the command line without "file:" and its host; a stored
// line that is no file URL shows as an empty field.
void OLPreferencesWindowController::showCommandLine()
{
    m_genProcessCommandLineTextField->setText(commandLineWithoutPrefix(m_defaults.loadPreferredInterpreterPath()));
}

void OLPreferencesWindowController::genProcessBrowseExecutableClicked()
{
    const QString path = m_chooseExecutable(this);
    if (path.isEmpty())
        return;
    m_defaults.savePreferredInterpreter(commandLineForExecutable(path));
    showCommandLine();
    m_genProcessExecutabelChooserButton->setCurrentIndex(-1);
}

void OLPreferencesWindowController::genProcessCommandLineTextFieldEntered()
{
    m_defaults.savePreferredInterpreter(commandLinePrefix + m_genProcessCommandLineTextField->text());
    m_genProcessCommandLineTextField->setModified(false);
}

void OLPreferencesWindowController::genHistoryShoudLoadCheckboxClicked()
{
    m_defaults.saveShouldRestoreCommitHistory(m_genHistoryShouldLoadCheckbox->isChecked());
}

// Stores the size when the field holds a whole number; otherwise says so and
// stores nothing.
bool OLPreferencesWindowController::genHistorySizeTextFieldEntered()
{
    bool ok = false;
    const qint64 size = m_genHistorySizeTextField->text().trimmed().toLongLong(&ok);
    const bool whole = ok && size >= 0;
    m_genHistorySizeMessage->setVisible(!whole);
    if (whole) {
        m_defaults.saveMaximumCommitHistoryLength(size);
        m_genHistorySizeTextField->setModified(false);
    }
    return whole;
}

void OLPreferencesWindowController::genHistoryClearButtonClicked()
{
    m_defaults.saveCommitHistory({});
    m_broadcaster.clearAllHistory();
}

void OLPreferencesWindowController::genMiscReopenDocumentsCheckBoxClicked()
{
    m_defaults.saveShouldReopenFiles(m_genMiscReopenDocumentsCheckBox->isChecked());
}

void OLPreferencesWindowController::genShowLineNumbersCheckBoxClicked()
{
    m_defaults.saveShowLineNumbers(m_genShowLineNumbersCheckBox->isChecked());
    m_broadcaster.updateAllLineNumbers();
}

void OLPreferencesWindowController::genRestoreDefaults()
{
    const QVariantMap resource = OLUserDefaults::defaultPreferences();
    const auto value = [&resource](QLatin1StringView key) { return resource.value(QString(key)); };
    m_defaults.saveMaximumCommitHistoryLength(
        OLSettingsValue::toInteger(value(OLKey::maximumCommitHistoryLength)).value_or(0));
    m_defaults.saveShouldRestoreCommitHistory(
        OLSettingsValue::toBool(value(OLKey::shouldRestoreCommitHistory)).value_or(false));
    m_defaults.saveShouldReopenFiles(OLSettingsValue::toBool(value(OLKey::shouldReopenFiles)).value_or(false));
    m_defaults.saveShowLineNumbers(OLSettingsValue::toBool(value(OLKey::showLineNumbers)).value_or(false));
    m_broadcaster.updateAllLineNumbers();
    genHistoryClearButtonClicked();
    windowDidLoad();
}

// Stores the fields the user changed, entered or not (the check boxes store
// at once), restarts every interpreter and closes. A field the user left
// alone stores nothing, so that a choice made elsewhere since stands. A size
// that is not a whole number keeps the window open with its message, and
// nothing is stored or restarted.
void OLPreferencesWindowController::genApplyAndResetEnv()
{
    if (m_genHistorySizeTextField->isModified() && !genHistorySizeTextFieldEntered())
        return;
    if (m_genProcessCommandLineTextField->isModified())
        genProcessCommandLineTextFieldEntered();
    m_broadcaster.resetAllEnvironments();
    close();
}

// Fonts and Colours tab.

void OLPreferencesWindowController::loadFontsTab()
{
    const OLStyleSet styles = m_defaults.loadFontAttributes(true);
    m_facConsoleColorWellPlain->setColor(styles.regColor.value_or(OLColor()));
    m_facConsoleColorWellError->setColor(styles.errColor.value_or(OLColor()));
    m_facConsoleColorWellKeyword->setColor(styles.keyColor.value_or(OLColor()));
    m_facConsoleColorWellString->setColor(styles.strColor.value_or(OLColor()));
    m_facConsoleColorWellComment->setColor(styles.comColor.value_or(OLColor()));

    {
        const QSignalBlocker quiet(m_facConsoleAnswerOpacityTextField);
        m_facConsoleAnswerOpacityTextField->setValue(m_defaults.loadAnswerAlpha() * 100);
    }
    const qint64 errorTraits = m_defaults.loadErrorFontTraits();
    m_facConsoleErrorStyleCheckBoxBold->setChecked(errorTraits & OLFontTrait::bold);
    m_facConsoleErrorStyleCheckBoxItalic->setChecked(errorTraits & OLFontTrait::italic);
    const qint64 answerTraits = m_defaults.loadAnswerFontTraits();
    m_facConsoleAnswerStyleCheckBoxBold->setChecked(answerTraits & OLFontTrait::bold);
    m_facConsoleAnswerStyleCheckBoxItalic->setChecked(answerTraits & OLFontTrait::italic);

    m_facConsoleFont = fontForStyleSet(styles);
    updateFont();
}

void OLPreferencesWindowController::chooseFont()
{
    if (!m_fontDialog) {
        m_fontDialog = new QFontDialog(this);
        m_fontDialog->setObjectName(QStringLiteral("fontPanel"));
        connect(m_fontDialog, &QFontDialog::currentFontChanged, this, &OLPreferencesWindowController::changeFont);
        connect(m_fontDialog, &QFontDialog::rejected, this, [this] { changeFont(m_fontBeforeDialog); });
    }
    m_fontBeforeDialog = m_facConsoleFont;
    {
        // Named by its face, or the dialog would pick one of the family's
        // faces for itself.
        QFont named = m_facConsoleFont;
        if (named.styleName().isEmpty())
            named.setStyleName(QFontInfo(named).styleName());
        const QSignalBlocker quiet(m_fontDialog);
        m_fontDialog->setCurrentFont(named);
    }
    m_fontDialog->show();
    m_fontDialog->raise();
    m_fontDialog->activateWindow();
}

void OLPreferencesWindowController::changeFont(const QFont &font)
{
    m_facConsoleFont = font;
    updateFont();
    saveFontAttributes();
}

void OLPreferencesWindowController::updateFont()
{
    const QString name = m_facConsoleFont.family();
    const QString face = m_facConsoleFont.styleName();
    const qreal size = m_facConsoleFont.pointSizeF();
    QFont shown(name, 12);
    shown.setStyleName(face);
    m_facConsoleFontTextField->setFont(shown);
    m_facConsoleExampleTextView->document()->setDefaultFont(m_facConsoleFont);
    m_facConsoleFontTextField->setText(
        QStringLiteral("%1 - %2").arg(face.isEmpty() ? name : name + u' ' + face).arg(qint64(size)));
}

void OLPreferencesWindowController::chooseColor(OLColorWell *well)
{
    if (!m_colorDialog) {
        m_colorDialog = new QColorDialog(this);
        m_colorDialog->setObjectName(QStringLiteral("colorPanel"));
        connect(m_colorDialog, &QColorDialog::currentColorChanged, this, [this](const QColor &color) {
            m_colorDialogWell->setColor(toOLColor(color));
            facConsoleColorChanged();
        });
        connect(m_colorDialog, &QColorDialog::rejected, this, [this] {
            m_colorDialogWell->setColor(m_colorBeforeDialog);
            facConsoleColorChanged();
        });
    }
    m_colorDialogWell = well;
    m_colorBeforeDialog = well->color();
    {
        const QSignalBlocker quiet(m_colorDialog);
        m_colorDialog->setCurrentColor(toQColor(well->color()));
    }
    m_colorDialog->show();
    m_colorDialog->raise();
    m_colorDialog->activateWindow();
}

void OLPreferencesWindowController::facConsoleColorChanged()
{
    facConsoleUpdateExampleText();
    saveFontAttributes();
}

void OLPreferencesWindowController::facConsoleAnswerOpacityChanged()
{
    facConsoleUpdateExampleText();
    m_defaults.saveAnswerAlpha(float(m_facConsoleAnswerOpacityTextField->value()) / 100.0);
    m_broadcaster.updateAllFontAttributes();
}

void OLPreferencesWindowController::faCConsoleAnswerStyleChanged()
{
    facConsoleUpdateExampleText();
    m_defaults.saveAnswerFontTraits(createAnswerFontTraits());
    m_broadcaster.updateAllFontAttributes();
}

void OLPreferencesWindowController::faCConsoleErrorStyleChanged()
{
    facConsoleUpdateExampleText();
    m_defaults.saveErrorFontTraits(createErrorFontTraits());
    m_broadcaster.updateAllFontAttributes();
}

// Input as the editor colours it, answers and the error as the console does.
void OLPreferencesWindowController::facConsoleUpdateExampleText()
{
    const OLStyleSet opaque = createFontAtrributesDictionaryWithAlpha(1.0);
    const OLStyleSet answer = createFontAtrributesDictionaryWithAlpha(m_facConsoleAnswerOpacityTextField->value() / 100.0);
    const qint64 answerTraits = createAnswerFontTraits();
    const qint64 errorTraits = createErrorFontTraits();

    std::array<OLTextStorage::Range, exampleSegments.size()> ranges;
    qsizetype location = 0;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        ranges[i] = {location, qsizetype(exampleSegments[i].text.size())};
        location = ranges[i].end();
    }
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        switch (exampleSegments[i].kind) {
        case ExampleKind::Input:
            OLSyntaxHighlighter::highlightSyntaxFor(m_exampleStorage, ranges[i], opaque);
            break;
        case ExampleKind::Answer:
            OLSyntaxHighlighter::highlightSyntaxFor(m_exampleStorage, ranges[i], answer);
            break;
        case ExampleKind::Error:
            OLSyntaxHighlighter::setErrorForegroundColor(m_exampleStorage, ranges[i], answer);
            break;
        }
    }
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        if (exampleSegments[i].kind != ExampleKind::Input)
            m_exampleStorage.addFontTraits(ranges[i], exampleSegments[i].kind == ExampleKind::Answer ? answerTraits
                                                                                                  : errorTraits);
    }
    m_facConsoleExampleTextView->renderStorageChanges();
}

OLStyleSet OLPreferencesWindowController::createFontAtrributesDictionaryWithAlpha(double alpha) const
{
    OLStyleSet styles;
    styles.regColor = withAlpha(m_facConsoleColorWellPlain->color(), alpha);
    styles.errColor = withAlpha(m_facConsoleColorWellError->color(), alpha);
    styles.keyColor = withAlpha(m_facConsoleColorWellKeyword->color(), alpha);
    styles.comColor = withAlpha(m_facConsoleColorWellComment->color(), alpha);
    styles.strColor = withAlpha(m_facConsoleColorWellString->color(), alpha);
    styles.name = m_facConsoleFont.family();
    // Stored sizes are whole points.
    styles.size = int(m_facConsoleFont.pointSizeF());
    if (const QString face = m_facConsoleFont.styleName(); !face.isEmpty())
        styles.style = face;
    return styles;
}

void OLPreferencesWindowController::saveFontAttributes()
{
    const OLStyleSet styles = createFontAtrributesDictionaryWithAlpha(1.0);
    if (styles == m_defaults.loadFontAttributes(true))
        return;
    m_defaults.saveFontAttributes(styles);
    m_broadcaster.updateAllFontAttributes();
}

qint64 OLPreferencesWindowController::createAnswerFontTraits() const
{
    return fontTraitMask(m_facConsoleAnswerStyleCheckBoxBold->isChecked(),
                         m_facConsoleAnswerStyleCheckBoxItalic->isChecked());
}

qint64 OLPreferencesWindowController::createErrorFontTraits() const
{
    return fontTraitMask(m_facConsoleErrorStyleCheckBoxBold->isChecked(),
                         m_facConsoleErrorStyleCheckBoxItalic->isChecked());
}

void OLPreferencesWindowController::facRestoreDefaults()
{
    for (QLatin1StringView key : OLKey::fontsAndColoursKeys)
        m_defaults.removeObjectForKey(key);
    m_defaults.registerDefaultPreferences();
    windowDidLoad();
    m_broadcaster.updateAllFontAttributes();
}
