#include "highlight/OLTextView.h"
#include "prefs/OLBroadcaster.h"
#include "prefs/OLColorWell.h"
#include "prefs/OLPreferencesWindowController.h"
#include "prefs/OLQtColor.h"
#include "prefs/OLQtFont.h"
#include "prefstestsupport.h"
#include "settings/OLSettingsKeys.h"

#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextLayout>

#include <cmath>

namespace {
// The settings each tab's Restore Defaults resets, as text.
QStringList generalSettings(const OLUserDefaults &d)
{
    return {QString::number(d.loadMaximumCommitHistoryLength()), QString::number(d.loadShouldRestoreCommitHistory()),
            QString::number(d.loadShouldReopenFiles()), QString::number(d.loadShowLineNumbers()),
            d.loadCommitHistory().join(u'|')};
}

QStringList fontSettings(const OLUserDefaults &d)
{
    const OLStyleSet styles = d.loadFontAttributes(true);
    QStringList text{styles.name.toString(), QString::number(styles.size.toInt()), styles.style.toString(),
                     QString::number(d.loadAnswerAlpha()), QString::number(d.loadAnswerFontTraits()),
                     QString::number(d.loadErrorFontTraits())};
    for (const auto &colour : {styles.regColor, styles.errColor, styles.keyColor, styles.strColor, styles.comColor})
        text.append(OLUserDefaults::encodeColor(colour));
    return text;
}

QStringList allSettings(const OLUserDefaults &d)
{
    return generalSettings(d) + fontSettings(d) << d.loadPreferredInterpreterPath();
}

// Where the example text's six segments start: input, answer, input, answer, input, error.
constexpr int segmentStarts[] = {0, 49, 93, 122, 158, 176};

// Takes the application delegate's place: records each broadcast with what
// the store held at that moment, which is what every open window reloads.
class RecordingBroadcaster : public OLBroadcaster
{
public:
    explicit RecordingBroadcaster(OLUserDefaults &defaults) : m_defaults(defaults) {}
    void updateAllFontAttributes() override { record(QStringLiteral("update")); }
    void updateAllLineNumbers() override { record(QStringLiteral("lines")); }
    void clearAllHistory() override { record(QStringLiteral("clear")); }
    void resetAllEnvironments() override { record(QStringLiteral("reset")); }

    QStringList calls; // a repeated one once
    QStringList last;  // allSettings() at the last call

private:
    void record(const QString &call)
    {
        if (calls.isEmpty() || calls.last() != call)
            calls.append(call);
        last = allSettings(m_defaults);
    }
    OLUserDefaults &m_defaults;
};

// The preferences window over a temporary store. Poly ML and SML/NJ are
// found at their real places; Moscow ML is a stand-in script and Alice ML is missing.
struct Prefs {
    void open()
    {
        window = std::make_unique<OLPreferencesWindowController>(store.defaults, broadcaster, resource);
        window->setExecutableChooser([this](QWidget *) { return browseAnswer; });
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    template<typename T = QAbstractButton>
    T *child(const QString &name) const
    {
        T *widget = window->findChild<T *>(name);
        if (!widget)
            qFatal("no child %s", qPrintable(name));
        return widget;
    }
    void click(const QString &name) const { child(name)->click(); }
    // Replaces a field's text as typing does, optionally pressing Return.
    void type(const char *name, const QString &text, bool enter = true) const
    {
        auto *field = child<QLineEdit>(QLatin1StringView(name));
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, text);
        if (enter)
            QTest::keyClick(field, Qt::Key_Return);
    }
    QString field(const char *name) const { return child<QLineEdit>(QLatin1StringView(name))->text(); }
    OLTextView *example() const { return child<OLTextView>(QStringLiteral("facConsoleExampleTextView")); }
    // The format drawn at a character of the example text.
    QTextCharFormat formatAt(int position) const
    {
        if (!QTest::qWaitFor([this] { return example()->isRenderingComplete(); }))
            qWarning("the example text is not drawn yet");
        const QTextBlock block = example()->document()->findBlock(position);
        for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
            if (range.start <= position - block.position() && position - block.position() < range.start + range.length)
                return range.format;
        }
        return {};
    }
    QColor colourAt(int position) const { return formatAt(position).foreground().color(); }
    QString stored(const QString &key) const { return store.defaults.stringForKey(key); }
    // The broadcasts, the last when the store held what it holds now.
    void checkHeard(const QStringList &calls) const
    {
        QCOMPARE(broadcaster.calls, calls);
        QCOMPARE(broadcaster.last, calls.isEmpty() ? QStringList() : allSettings(store.defaults));
    }

    TemporarySettings store;
    RecordingBroadcaster broadcaster{store.defaults};
    QVariantMap resource = store.locations({QStringLiteral("poly"), QStringLiteral("mosml"), QStringLiteral("sml")});
    std::unique_ptr<OLPreferencesWindowController> window;
    QString browseAnswer;
};
} // namespace

class TestPreferencesWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Opening, looking and closing store no style and tell the windows
    // nothing, a cancelled font dialog included. A window opened before a
    // choice made elsewhere (the interpreter chooser) shows it once loaded
    // again, as each opening does; Apply keeps it either way.
    void choicesMadeElsewhereStand_data()
    {
        QTest::addColumn<bool>("reloaded");
        QTest::newRow("window loaded again") << true;
        QTest::newRow("window left as it was") << false;
    }
    void choicesMadeElsewhereStand()
    {
        QFETCH(bool, reloaded);
        Prefs prefs;
        prefs.store.defaults.savePreferredInterpreter(fileUrl("/usr/bin/poly"));
        prefs.open();
        prefs.child<QAction>(QStringLiteral("facToolBarItem"))->trigger();
        prefs.click(QStringLiteral("facConsoleChooseFont"));
        prefs.window->findChild<QFontDialog *>()->reject();
        prefs.store.defaults.savePreferredInterpreter(fileUrl("/usr/bin/sml"));
        prefs.store.defaults.saveShowLineNumbers(false);
        if (reloaded)
            prefs.window->windowDidLoad();
        QCOMPARE(prefs.field("genProcessCommandLineTextField"), QString::fromLatin1(reloaded ? "/usr/bin/sml" : "/usr/bin/poly"));
        QCOMPARE(prefs.child<QCheckBox>(QStringLiteral("genShowLineNumbersCheckBox"))->isChecked(), !reloaded);
        prefs.click(QStringLiteral("genApplyAndResetEnvButton"));
        for (QLatin1StringView key : OLKey::fontsAndColoursKeys)
            QVERIFY2(!prefs.store.settings.contains(key), key.data());
        QCOMPARE(prefs.store.defaults.loadPreferredInterpreterPath(), fileUrl("/usr/bin/sml"));
        QVERIFY(!prefs.store.defaults.loadShowLineNumbers());
        prefs.checkHeard({QStringLiteral("reset")});
    }

    // The field shows the stored command line without its prefix; what is
    // typed is stored with it and shown again on the next opening.
    void commandLine_data()
    {
        QTest::addColumn<QVariant>("storedLine");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("typed");
        QTest::newRow("emptied stores the bare prefix") << QVariant(fileUrl("/usr/bin/poly")) << "/usr/bin/poly" << QString();
        QTest::newRow("arguments, two blanks kept")
            << QVariant(fileUrl("/usr/bin/sml @SMLquiet  -x")) << "/usr/bin/sml @SMLquiet  -x" << "/usr/bin/sml  @SMLquiet";
        QTest::newRow("absent") << QVariant() << "" << "/usr/bin/poly -q";
        QTest::newRow("shorter than the prefix") << QVariant(QStringLiteral("/usr/bin/poly")) << "" << "/usr/bin/poly";
        QTest::newRow("three slashes; a space written %20")
            << QVariant(QStringLiteral("file:///usr/bin/poly -q")) << "/usr/bin/poly -q" << "/opt/my%20ml/poly -q";
    }
    void commandLine()
    {
        QFETCH(QVariant, storedLine);
        QFETCH(QString, typed);
        Prefs prefs;
        prefs.store.defaults.setValue(storedLine, "preferredInterpreter");
        prefs.open();
        QTEST(prefs.field("genProcessCommandLineTextField"), "shown");
        prefs.type("genProcessCommandLineTextField", typed);
        QCOMPARE(prefs.store.defaults.loadPreferredInterpreterPath(), fileUrl(typed));
        prefs.open();
        QCOMPARE(prefs.field("genProcessCommandLineTextField"), typed);
    }

    // The entries, in their fixed order, store their standard-path setting as
    // it is, replacing any arguments; locating a file stores its URL and
    // clears the selection; a cancelled search changes nothing.
    void interpreterPopUp()
    {
        Prefs prefs;
        prefs.store.defaults.savePreferredInterpreter(fileUrl("/usr/bin/sml @SMLquiet"));
        prefs.open();
        auto *popUp = prefs.child<QComboBox>(QStringLiteral("genProcessExecutabelChooserButton"));
        QCOMPARE(QStringList({popUp->itemText(0), popUp->itemText(1), popUp->itemText(2)}),
                 QStringList({"Poly ML", "Moscow ML", "SML of New Jersey"}));
        QCOMPARE(popUp->currentIndex(), -1);
        popUp->setCurrentIndex(1);
        Q_EMIT popUp->activated(1);
        const QString mosml = prefs.resource.value("mosml-std").toString();
        QCOMPARE(prefs.store.defaults.loadPreferredInterpreterPath(), mosml);
        QCOMPARE(fileUrl(prefs.field("genProcessCommandLineTextField")), mosml);
        prefs.click(QStringLiteral("genProcessBrowseExecutable"));
        QCOMPARE(prefs.store.defaults.loadPreferredInterpreterPath(), mosml);
        prefs.browseAnswer = prefs.store.standIn(QStringLiteral("alice"));
        prefs.click(QStringLiteral("genProcessBrowseExecutable"));
        QCOMPARE(prefs.store.defaults.loadPreferredInterpreterPath(), fileUrl(prefs.browseAnswer));
        QCOMPARE(prefs.field("genProcessCommandLineTextField"), prefs.browseAnswer);
        QCOMPARE(popUp->currentIndex(), -1);
        prefs.checkHeard({});
    }

    // A size is stored on Return, or by Apply with the command line (neither
    // entered), which then restarts every interpreter and closes. A size that
    // is no whole number shows the message until one is entered; by Apply,
    // it keeps the window open, and nothing is stored or restarted.
    void historySize_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("apply");
        QTest::addColumn<qint64>("expected"); // -1: refused with the message
        QTest::newRow("whole number, surrounding blanks") << QStringLiteral(" 7 ") << false << qint64(7);
        QTest::newRow("zero") << QStringLiteral("0") << false << qint64(0);
        QTest::newRow("fraction") << QStringLiteral("12.5") << false << qint64(-1);
        QTest::newRow("negative") << QStringLiteral("-3") << false << qint64(-1);
        QTest::newRow("beyond 64 bits") << QStringLiteral("99999999999999999999") << false << qint64(-1);
        QTest::newRow("whole number by Apply") << QStringLiteral("42") << true << qint64(42);
        QTest::newRow("no whole number by Apply") << QStringLiteral("4x2") << true << qint64(-1);
    }
    void historySize()
    {
        QFETCH(QString, typed);
        QFETCH(bool, apply);
        QFETCH(qint64, expected);
        const bool valid = expected >= 0;
        Prefs prefs;
        OLUserDefaults &defaults = prefs.store.defaults;
        defaults.saveMaximumCommitHistoryLength(50);
        defaults.savePreferredInterpreter(fileUrl("/usr/bin/sml"));
        prefs.open();
        auto *message = prefs.child<QLabel>(QStringLiteral("genHistorySizeMessage"));
        QVERIFY(!message->isVisible());
        prefs.type("genHistorySizeTextField", typed, !apply);
        if (apply) {
            prefs.type("genProcessCommandLineTextField", QStringLiteral("/usr/bin/poly -q"), false);
            QCOMPARE(defaults.loadMaximumCommitHistoryLength(), 50);
            prefs.click(QStringLiteral("genApplyAndResetEnvButton"));
            QCOMPARE(defaults.loadPreferredInterpreterPath(), fileUrl(valid ? "/usr/bin/poly -q" : "/usr/bin/sml"));
            QCOMPARE(prefs.window->isVisible(), !valid);
            prefs.checkHeard(valid ? QStringList{"reset"} : QStringList());
        }
        QCOMPARE(defaults.loadMaximumCommitHistoryLength(), valid ? expected : 50);
        QCOMPARE(message->isVisible(), !valid);
        if (!valid && !apply) {
            prefs.type("genHistorySizeTextField", QStringLiteral("60"));
            QVERIFY(!message->isVisible());
            QCOMPARE(defaults.loadMaximumCommitHistoryLength(), 60);
        }
    }

    // Stored at once, false too rather than removed; the line numbers are
    // shown or hidden in every window at once.
    void checkBoxesStoreAtOnce_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("broadcasts");
        QTest::newRow("restore history") << "genHistoryShouldLoadCheckbox" << "shouldRestoreCommitHistory" << QStringList();
        QTest::newRow("reopen documents") << "genMiscReopenDocumentsCheckBox" << "shouldReopenFiles" << QStringList();
        QTest::newRow("line numbers") << "genShowLineNumbersCheckBox" << "showLineNumbers" << QStringList{"lines"};
    }
    void checkBoxesStoreAtOnce()
    {
        QFETCH(QString, box);
        QFETCH(QString, key);
        Prefs prefs;
        prefs.store.defaults.setValue(false, key);
        prefs.open();
        auto *check = prefs.child<QCheckBox>(box);
        QVERIFY(!check->isChecked());
        check->click();
        QCOMPARE(prefs.store.defaults.boolForKey(key), true);
        check->click();
        QCOMPARE(prefs.store.settings.value(key), QVariant(false));
        QFETCH(QStringList, broadcasts);
        prefs.checkHeard(broadcasts);
    }

    // Each tab's Restore Defaults resets its own settings to the registered
    // ones, shows them, and tells the windows; the other tab's settings and
    // the interpreter stay.
    void restoreDefaults_data()
    {
        QTest::addColumn<bool>("fonts");
        QTest::newRow("General") << false;
        QTest::newRow("Fonts and Colours") << true;
    }
    void restoreDefaults()
    {
        QFETCH(bool, fonts);
        Prefs prefs;
        OLUserDefaults &defaults = prefs.store.defaults;
        defaults.saveMaximumCommitHistoryLength(113);
        for (const char *key : {"shouldRestoreCommitHistory", "shouldReopenFiles", "showLineNumbers"})
            defaults.setValue(false, QLatin1StringView(key));
        defaults.saveCommitHistory({QStringLiteral("val kept = 1")});
        defaults.savePreferredInterpreter(fileUrl("/usr/bin/poly -q"));
        defaults.saveFontAttributes({OLColor{0.1, 0.2, 0.3, 1}, OLColor{}, OLColor{}, OLColor{}, OLColor{},
                                     QStringLiteral("Custom Mono"), 31, QStringLiteral("Bold")});
        defaults.saveAnswerAlpha(0.42);
        defaults.saveAnswerFontTraits(3);
        defaults.saveErrorFontTraits(5);
        prefs.open();
        const QStringList generalBefore = generalSettings(defaults), fontsBefore = fontSettings(defaults);
        prefs.click(QLatin1StringView(fonts ? "facConsoleRestoreDefaultsButton" : "genRestoreDefaultsButton"));

        const TemporarySettings pristine; // a store holding nothing but the defaults
        const OLUserDefaults &expected = pristine.defaults;
        QCOMPARE(generalSettings(defaults), fonts ? generalBefore : generalSettings(expected));
        QCOMPARE(fontSettings(defaults), fonts ? fontSettings(expected) : fontsBefore);
        QCOMPARE(defaults.loadPreferredInterpreterPath(), fileUrl("/usr/bin/poly -q"));
        prefs.checkHeard(fonts ? QStringList{"update"} : QStringList{"lines", "clear"});
        QCOMPARE(prefs.child<QDoubleSpinBox>(QStringLiteral("facConsoleAnswerOpacityTextField"))->value(),
                 std::round((fonts ? expected : defaults).loadAnswerAlpha() * 1000) / 10);
        QCOMPARE(prefs.child<OLColorWell>(QStringLiteral("facConsoleColorWellPlain"))->color(),
                 *(fonts ? expected : defaults).loadFontAttributes(true).regColor);
        QCOMPARE(prefs.field("genHistorySizeTextField"), QString::number(defaults.loadMaximumCommitHistoryLength()));
        QCOMPARE(prefs.child<QCheckBox>(QStringLiteral("genMiscReopenDocumentsCheckBox"))->isChecked(), !fonts);
    }

    // Loading reads bit 1 as bold and bit 0 as italic, whatever else is set
    // (the start masks, some hand-edited). Each group's two boxes give one
    // mask naming a state of both traits; the example text (never its input)
    // and a reloaded window follow it.
    void fontTraitMasks_data()
    {
        QTest::addColumn<bool>("errors");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("mask");
        QTest::newRow("answers: italic and not italic, to bold only") << false << qint64(0x01000001) << qint64(0x01000002);
        QTest::newRow("errors: zero, to bold and italic") << true << qint64(0) << qint64(3);
        QTest::newRow("errors: bold and not bold, to italic only") << true << qint64(6) << qint64(5);
    }
    void fontTraitMasks()
    {
        QFETCH(bool, errors);
        QFETCH(qint64, start);
        QFETCH(qint64, mask);
        const bool bold = mask & OLFontTrait::bold, italic = mask & OLFontTrait::italic;
        const qint64 otherGroup = 0x01000004;
        Prefs prefs;
        OLUserDefaults &defaults = prefs.store.defaults;
        defaults.saveAnswerFontTraits(errors ? otherGroup : start);
        defaults.saveErrorFontTraits(errors ? start : otherGroup);
        prefs.open();
        const QString prefix = errors ? "facConsoleErrorStyleCheckBox" : "facConsoleAnswerStyleCheckBox";
        // Each row starts in the opposite state, so that both boxes are clicked.
        QCOMPARE(prefs.child<QCheckBox>(prefix + "Bold")->isChecked(), !bold);
        QCOMPARE(prefs.child<QCheckBox>(prefix + "Italic")->isChecked(), !italic);
        prefs.click(prefix + "Bold");
        prefs.click(prefix + "Italic");
        QCOMPARE(std::pair(defaults.loadAnswerFontTraits(), defaults.loadErrorFontTraits()),
                 errors ? std::pair(otherGroup, mask) : std::pair(mask, otherGroup));
        prefs.checkHeard({"update"});
        for (int segment = 0; segment < 6; ++segment) {
            const bool changed = errors ? segment == 5 : segment == 1 || segment == 3;
            const int at = segmentStarts[segment] + (changed ? 5 : 0);
            if (changed || (segment % 2 == 0 && segment < 5)) {
                QCOMPARE(prefs.formatAt(segmentStarts[segment]).fontWeight(), changed && bold ? QFont::Bold : QFont::Normal);
                QCOMPARE(prefs.formatAt(at).fontItalic(), changed && italic);
            }
        }
        prefs.open();
        QCOMPARE(prefs.child<QCheckBox>(prefix + "Bold")->isChecked(), bold);
        QCOMPARE(prefs.child<QCheckBox>(prefix + "Italic")->isChecked(), italic);
    }

    // The opacity applies to the answers and the error of the example, never
    // to the input, right at the segment borders.
    void opacity_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("alpha");
        QTest::newRow("fraction of a per cent") << QStringLiteral("12.5") << 0.125;
        QTest::newRow("a digit beyond 100 is refused") << QStringLiteral("1000") << 1.0;
    }
    void opacity()
    {
        QFETCH(QString, typed);
        QFETCH(double, alpha);
        Prefs prefs;
        prefs.store.defaults.saveAnswerAlpha(0.5);
        prefs.open();
        prefs.window->selectFacTab();
        auto *field = prefs.child<QDoubleSpinBox>(QStringLiteral("facConsoleAnswerOpacityTextField"));
        QCOMPARE(field->value(), 50.0);
        field->selectAll();
        QTest::keyClicks(field, typed);
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(prefs.store.defaults.loadAnswerAlpha(), double(float(alpha)));
        prefs.checkHeard({"update"});
        // The first and the last character of each segment before its line end.
        for (int position : {0, 47, 93, 120, 158, 174})
            QCOMPARE(prefs.colourAt(position).alphaF(), 1.0f);
        for (int position : {49, 91, 122, 156, 176, prefs.example()->document()->characterCount() - 2})
            QVERIFY2(qAbs(prefs.colourAt(position).alphaF() - alpha) < 0.002, qPrintable(QString::number(position)));
    }

    // The dialog opens on the stored face, or on the family's regular one
    // when none is stored (as before faces were). Each pick applies at once,
    // face and size, to the store, the windows and their font; Cancel takes
    // the picks back, and closing the window closes the dialog and keeps the pick.
    void fontDialog_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("opensOn");
        QTest::newRow("none stored") << QVariant() << "Book";
        QTest::newRow("bold") << QVariant("Bold") << "Bold";
    }
    void fontDialog()
    {
        QFETCH(QVariant, stored);
        Prefs prefs;
        prefs.store.defaults.setValue(stored, "fontStyle");
        prefs.open();
        prefs.click(QStringLiteral("facConsoleChooseFont"));
        auto *dialog = prefs.window->findChild<QFontDialog *>();
        QTEST(dialog->currentFont().styleName(), "opensOn");
        QCOMPARE(dialog->currentFont().pointSize(), 12);
        const QStringList before = allSettings(prefs.store.defaults);
        dialog->setCurrentFont(QFontDatabase::font(QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Bold Oblique"), 14));
        QCOMPARE(prefs.field("facConsoleFontTextField"), QStringLiteral("DejaVu Sans Mono Bold Oblique - 14"));
        QCOMPARE(prefs.store.defaults.loadFontAttributes(true).size.toInt(), 14);
        QCOMPARE(QFontInfo(fontForStyleSet(prefs.store.defaults.loadFontAttributes(true))).styleName(), "Bold Oblique");
        prefs.checkHeard({"update"});
        dialog->reject();
        QCOMPARE(allSettings(prefs.store.defaults), before);

        prefs.click(QStringLiteral("facConsoleChooseFont"));
        QFont picked = dialog->currentFont();
        picked.setPointSize(18);
        dialog->setCurrentFont(picked);
        prefs.window->close();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(prefs.store.defaults.loadFontAttributes(true).size.toInt(), 18);
    }

    // Each well opens the colour dialog on its colour; a pick is stored, shown
    // in its part of the example and broadcast at once, no other colour
    // changes; Cancel takes it back, closing the window keeps it.
    void colourWells_data()
    {
        QTest::addColumn<QString>("well");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("position"); // a character of the example in that colour
        QTest::newRow("plain text") << "facConsoleColorWellPlain" << "regColor" << 4;
        QTest::newRow("keywords") << "facConsoleColorWellKeyword" << "keyColor" << 0;
        QTest::newRow("comments") << "facConsoleColorWellComment" << "comColor" << 24;
        QTest::newRow("strings") << "facConsoleColorWellString" << "strColor" << 170;
        QTest::newRow("errors") << "facConsoleColorWellError" << "errColor" << 176;
    }
    void colourWells()
    {
        QFETCH(QString, well);
        QFETCH(QString, key);
        QFETCH(int, position);
        const QString red = QStringLiteral("1.000000 0.000000 0.000000 1.0");
        Prefs prefs;
        prefs.open();
        prefs.window->selectFacTab();
        const QString before = prefs.stored(key);
        QVERIFY(prefs.colourAt(position).rgb() != QColor(Qt::red).rgb());
        prefs.click(well);
        auto *dialog = prefs.window->findChild<QColorDialog *>();
        QCOMPARE(dialog->currentColor().rgb(), toQColor(*OLUserDefaults::decodeColor(before, 1)).rgb());
        dialog->setCurrentColor(Qt::red);
        QCOMPARE(prefs.stored(key), red);
        QCOMPARE(prefs.colourAt(position).rgb(), QColor(Qt::red).rgb());
        QCOMPARE(fontSettings(prefs.store.defaults).count(red), 1);
        prefs.checkHeard({"update"});
        dialog->reject();
        QCOMPARE(prefs.stored(key), before);
        QVERIFY(prefs.colourAt(position).rgb() != QColor(Qt::red).rgb());
        prefs.click(well);
        dialog->setCurrentColor(Qt::blue);
        prefs.window->close();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(prefs.stored(key), QStringLiteral("0.000000 0.000000 1.000000 1.0"));
    }
};

QTEST_MAIN(TestPreferencesWindow)
#include "tst_preferenceswindow.moc"
