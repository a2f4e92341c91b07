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
#include <QStackedWidget>
#include <QTextBlock>
#include <QTextLayout>

#include <array>
#include <cmath>

// Takes the application delegate's place: records each broadcast with what
// the store held at that moment, which is what every open window reloads.
class RecordingBroadcaster : public OLBroadcaster
{
public:
    struct Snapshot {
        OLStyleSet styles;
        double alpha = -1;
        std::pair<qint64, qint64> traits; // answers, errors
        QStringList history;
        QString commandLine;
        qint64 historyLength = -1;
    };

    explicit RecordingBroadcaster(OLUserDefaults &defaults)
        : m_defaults(defaults)
    {
    }
    void updateAllFontAttributes() override { record(QStringLiteral("update")); }
    void updateAllLineNumbers() override { record(QStringLiteral("lines")); }
    void clearAllHistory() override { record(QStringLiteral("clear")); }
    void resetAllEnvironments() override { record(QStringLiteral("reset")); }

    QStringList calls;
    QHash<QString, Snapshot> last; // by call

private:
    void record(const QString &call)
    {
        calls.append(call);
        last[call] = {m_defaults.loadFontAttributes(true), m_defaults.loadAnswerAlpha(),
                      {m_defaults.loadAnswerFontTraits(), m_defaults.loadErrorFontTraits()}, m_defaults.loadCommitHistory(),
                      m_defaults.loadPreferredInterpreterPath(), m_defaults.loadMaximumCommitHistoryLength()};
    }

    OLUserDefaults &m_defaults;
};

namespace {
// Where the example text's six segments start: input, answer, input, answer,
// input, error.
constexpr std::array<int, 6> segmentStarts{0, 49, 93, 122, 158, 176};

// The settings each tab's Restore Defaults resets, as text.
QStringList generalSettings(const OLUserDefaults &defaults)
{
    return {QString::number(defaults.loadMaximumCommitHistoryLength()),
            QString::number(defaults.loadShouldRestoreCommitHistory()), QString::number(defaults.loadShouldReopenFiles()),
            QString::number(defaults.loadShowLineNumbers()), defaults.loadCommitHistory().join(u'|')};
}

QStringList fontSettings(const OLUserDefaults &defaults)
{
    const OLStyleSet styles = defaults.loadFontAttributes(true);
    QStringList text{styles.name.toString(), QString::number(styles.size.toInt()), styles.style.toString(),
                     QString::number(defaults.loadAnswerAlpha()), QString::number(defaults.loadAnswerFontTraits()),
                     QString::number(defaults.loadErrorFontTraits())};
    for (const auto &colour : {styles.regColor, styles.errColor, styles.keyColor, styles.strColor, styles.comColor})
        text.append(OLUserDefaults::encodeColor(colour));
    return text;
}
} // namespace

// The preferences window over a temporary store. Poly ML and SML/NJ are
// found at their real places; Moscow ML is a stand-in script (it is not
// installed here) and Alice ML is missing.
class TestPreferencesWindow : public QObject
{
    Q_OBJECT

    struct Prefs {
        void open()
        {
            window = std::make_unique<OLPreferencesWindowController>(*store.defaults, broadcaster, resource);
            window->setExecutableChooser([this](QWidget *) { return browseAnswer; });
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        }
        template<typename T>
        T *child(const char *name) const
        {
            T *widget = window->findChild<T *>(QLatin1StringView(name));
            if (!widget)
                qFatal("no child %s", name);
            return widget;
        }
        void click(const char *name) const { child<QAbstractButton>(name)->click(); }
        // Replaces a field's text as typing does, optionally pressing Return.
        void type(const char *name, const QString &text, bool enter = true) const
        {
            auto *field = child<QLineEdit>(name);
            field->selectAll();
            QTest::keyClick(field, Qt::Key_Delete);
            QTest::keyClicks(field, text);
            if (enter)
                QTest::keyClick(field, Qt::Key_Return);
        }
        OLTextView *example() const { return child<OLTextView>("facConsoleExampleTextView"); }
        // The format drawn at a character of the example text.
        QTextCharFormat exampleFormatAt(int position) const
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
        QColor exampleColorAt(int position) const { return exampleFormatAt(position).foreground().color(); }
        QString stored(const char *key) const { return store.defaults->stringForKey(QLatin1StringView(key)); }
        qsizetype broadcasts(const char *call) const { return broadcaster.calls.count(QLatin1StringView(call)); }
        // What the store held at the last broadcast of the call.
        RecordingBroadcaster::Snapshot heard(const char *call) const
        {
            return broadcaster.last.value(QString::fromLatin1(call));
        }

        TemporarySettings store;
        RecordingBroadcaster broadcaster{*store.defaults};
        QVariantMap resource = store.locations({QStringLiteral("poly"), QStringLiteral("mosml"), QStringLiteral("sml")});
        std::unique_ptr<OLPreferencesWindowController> window;
        QString browseAnswer;
    };

private Q_SLOTS:
    // The toolbar switches tabs. Opening, looking and closing store no style
    // and tell the windows nothing, a font dialog cancelled included.
    void openAndSwitchTabs()
    {
        Prefs prefs;
        prefs.open();
        auto *tabs = prefs.child<QStackedWidget>("tabView");
        QCOMPARE(tabs->currentIndex(), 0);
        prefs.child<QAction>("facToolBarItem")->trigger();
        QCOMPARE(tabs->currentIndex(), 1);
        prefs.click("facConsoleChooseFont");
        prefs.window->findChild<QFontDialog *>()->reject();
        prefs.child<QAction>("genToolBarItem")->trigger();
        QCOMPARE(tabs->currentIndex(), 0);
        prefs.window->close();
        for (QLatin1StringView key : OLKey::fontsAndColoursKeys)
            QVERIFY2(!prefs.store.settings->contains(key), key.data());
        QCOMPARE(prefs.broadcaster.calls, QStringList());
    }

    // A window opened before a choice made elsewhere (the interpreter chooser)
    // shows it once loaded again, as each opening does; Apply keeps it either way.
    void applyKeepsAChoiceMadeElsewhere_data()
    {
        QTest::addColumn<bool>("reloaded");
        QTest::newRow("window loaded again") << true;
        QTest::newRow("window left as it was") << false;
    }
    void applyKeepsAChoiceMadeElsewhere()
    {
        QFETCH(bool, reloaded);
        const QString sml = fileUrl("/usr/bin/sml");
        Prefs prefs;
        prefs.store.defaults->savePreferredInterpreter(fileUrl("/usr/bin/poly"));
        prefs.open();
        prefs.store.defaults->savePreferredInterpreter(sml);
        prefs.store.defaults->saveShowLineNumbers(false);
        if (reloaded)
            prefs.window->windowDidLoad();
        QCOMPARE(prefs.child<QLineEdit>("genProcessCommandLineTextField")->text(), QString::fromLatin1(reloaded ? "/usr/bin/sml" : "/usr/bin/poly"));
        QCOMPARE(prefs.child<QCheckBox>("genShowLineNumbersCheckBox")->isChecked(), !reloaded);
        prefs.click("genApplyAndResetEnvButton");
        QCOMPARE(prefs.heard("reset").commandLine, sml);
        QVERIFY(!prefs.store.defaults->loadShowLineNumbers());
    }

    // General tab.

    // The field shows the stored command line without its prefix; what is
    // typed is stored with it and shown again on the next opening.
    void commandLineRoundTrip_data()
    {
        QTest::addColumn<QVariant>("storedLine");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("typed");
        QTest::newRow("executable; emptied stores the bare prefix")
            << QVariant(fileUrl("/usr/bin/poly")) << "/usr/bin/poly" << QString();
        QTest::newRow("arguments, two blanks kept")
            << QVariant(fileUrl("/usr/bin/sml @SMLquiet  -x")) << "/usr/bin/sml @SMLquiet  -x" << "/usr/bin/sml  @SMLquiet";
        QTest::newRow("absent") << QVariant() << "" << "/usr/bin/poly -q";
        QTest::newRow("shorter than the prefix") << QVariant(QStringLiteral("/usr/bin/poly")) << "" << "/usr/bin/poly";
        QTest::newRow("the prefix alone") << QVariant(fileUrl(QString())) << "" << "/usr/bin/sml";
        QTest::newRow("three slashes; a space written %20")
            << QVariant(QStringLiteral("file:///usr/bin/poly -q")) << "/usr/bin/poly -q" << "/opt/my%20ml/poly -q";
    }
    void commandLineRoundTrip()
    {
        QFETCH(QVariant, storedLine);
        QFETCH(QString, shown);
        QFETCH(QString, typed);
        Prefs prefs;
        prefs.store.defaults->setValue(storedLine, "preferredInterpreter");
        prefs.open();
        QCOMPARE(prefs.child<QLineEdit>("genProcessCommandLineTextField")->text(), shown);
        prefs.type("genProcessCommandLineTextField", typed);
        QCOMPARE(prefs.store.defaults->loadPreferredInterpreterPath(), fileUrl(typed));
        prefs.open();
        QCOMPARE(prefs.child<QLineEdit>("genProcessCommandLineTextField")->text(), typed);
    }

    // The entries store their standard-path setting as it is, replacing any
    // arguments; locating a file stores its URL and clears the selection.
    void interpreterPopUp()
    {
        Prefs prefs;
        prefs.store.defaults->savePreferredInterpreter(fileUrl("/usr/bin/sml @SMLquiet"));
        prefs.open();
        auto *popUp = prefs.child<QComboBox>("genProcessExecutabelChooserButton");
        QStringList entries;
        for (int i = 0; i < popUp->count(); ++i)
            entries.append(popUp->itemText(i));
        QCOMPARE(entries, (QStringList{"Poly ML", "Moscow ML", "SML of New Jersey"}));
        QCOMPARE(popUp->currentIndex(), -1);
        QCOMPARE(prefs.stored("polyPath"), fileUrl("/usr/bin/poly"));

        popUp->setCurrentIndex(1);
        Q_EMIT popUp->activated(1);
        const QString mosml = prefs.resource.value("mosml-std").toString();
        QCOMPARE(prefs.store.defaults->loadPreferredInterpreterPath(), mosml);
        QCOMPARE(fileUrl(prefs.child<QLineEdit>("genProcessCommandLineTextField")->text()), mosml);
        prefs.click("genProcessBrowseExecutable"); // cancelled
        QCOMPARE(prefs.store.defaults->loadPreferredInterpreterPath(), mosml);
        QCOMPARE(popUp->currentIndex(), 1);

        prefs.browseAnswer = prefs.store.standIn(QStringLiteral("alice"));
        prefs.click("genProcessBrowseExecutable");
        QCOMPARE(prefs.store.defaults->loadPreferredInterpreterPath(), fileUrl(prefs.browseAnswer));
        QCOMPARE(prefs.child<QLineEdit>("genProcessCommandLineTextField")->text(), prefs.browseAnswer);
        QCOMPARE(popUp->currentIndex(), -1);
        QCOMPARE(prefs.broadcasts("reset"), 0);
    }

    void nothingInstalled()
    {
        Prefs prefs;
        prefs.resource = prefs.store.locations({});
        prefs.open();
        QCOMPARE(prefs.child<QComboBox>("genProcessExecutabelChooserButton")->count(), 0);
        prefs.type("genProcessCommandLineTextField", QStringLiteral("/usr/bin/poly"));
        QCOMPARE(prefs.store.defaults->loadPreferredInterpreterPath(), fileUrl("/usr/bin/poly"));
    }

    void historySize_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qint64>("expected"); // -1: refused with the message
        QTest::newRow("whole number") << QStringLiteral("250") << qint64(250);
        QTest::newRow("surrounding blanks") << QStringLiteral(" 7 ") << qint64(7);
        QTest::newRow("zero") << QStringLiteral("0") << qint64(0);
        QTest::newRow("fraction") << QStringLiteral("12.5") << qint64(-1);
        QTest::newRow("negative") << QStringLiteral("-3") << qint64(-1);
        QTest::newRow("empty") << QString() << qint64(-1);
        QTest::newRow("beyond 64 bits") << QStringLiteral("99999999999999999999") << qint64(-1);
    }
    // A refused size shows the message until a whole number is entered.
    void historySize()
    {
        QFETCH(QString, typed);
        QFETCH(qint64, expected);
        Prefs prefs;
        prefs.store.defaults->saveMaximumCommitHistoryLength(50);
        prefs.open();
        auto *message = prefs.child<QLabel>("genHistorySizeMessage");
        QVERIFY(!message->isVisible());
        prefs.type("genHistorySizeTextField", typed);
        QCOMPARE(prefs.store.defaults->loadMaximumCommitHistoryLength(), expected < 0 ? 50 : expected);
        QCOMPARE(message->isVisible(), expected < 0);
        prefs.type("genHistorySizeTextField", QStringLiteral("60"));
        QVERIFY(!message->isVisible());
        QCOMPARE(prefs.store.defaults->loadMaximumCommitHistoryLength(), 60);
    }

    // Stored at once, false too rather than removed; the line numbers are
    // shown or hidden in every window at once.
    void checkBoxesStoreAtOnce_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("broadcasts"); // of the line numbers
        QTest::newRow("restore history") << "genHistoryShouldLoadCheckbox" << "shouldRestoreCommitHistory" << 0;
        QTest::newRow("reopen documents") << "genMiscReopenDocumentsCheckBox" << "shouldReopenFiles" << 0;
        QTest::newRow("line numbers") << "genShowLineNumbersCheckBox" << "showLineNumbers" << 2;
    }
    void checkBoxesStoreAtOnce()
    {
        QFETCH(QString, box);
        QFETCH(QString, key);
        QFETCH(int, broadcasts);
        Prefs prefs;
        prefs.store.defaults->setValue(false, key);
        prefs.open();
        auto *check = prefs.child<QCheckBox>(qPrintable(box));
        QVERIFY(!check->isChecked());
        check->click();
        QCOMPARE(prefs.store.defaults->boolForKey(key), true);
        check->click();
        QCOMPARE(prefs.store.defaults->boolForKey(key), false);
        QVERIFY(prefs.store.settings->contains(key));
        QCOMPARE(prefs.broadcasts("lines"), broadcasts);
    }

    void clearHistory()
    {
        Prefs prefs;
        prefs.store.defaults->saveCommitHistory({QStringLiteral("val a = 1"), QStringLiteral("a + 1")});
        prefs.open();
        prefs.click("genHistoryClearButton");
        QVERIFY(prefs.store.defaults->loadCommitHistory().isEmpty());
        QCOMPARE(prefs.broadcasts("clear"), 1);
        QCOMPARE(prefs.heard("clear").history, QStringList());
    }

    // Apply stores what stands in the fields even when Return was never
    // pressed, then restarts every interpreter and closes. A size that is no
    // whole number keeps the window open with its message; then nothing is
    // stored and no interpreter restarts.
    void apply_data()
    {
        QTest::addColumn<QString>("size");
        QTest::newRow("whole number") << QStringLiteral("42");
        QTest::newRow("no whole number") << QStringLiteral("4x2");
    }
    void apply()
    {
        QFETCH(QString, size);
        const bool valid = size == u"42";
        const QString sml = fileUrl("/usr/bin/sml"), polyQuiet = fileUrl("/usr/bin/poly -q");
        Prefs prefs;
        prefs.store.defaults->saveMaximumCommitHistoryLength(50);
        prefs.store.defaults->savePreferredInterpreter(sml);
        prefs.open();
        prefs.type("genHistorySizeTextField", size, false);
        prefs.type("genProcessCommandLineTextField", QStringLiteral("/usr/bin/poly -q"), false);
        QCOMPARE(prefs.store.defaults->loadMaximumCommitHistoryLength(), 50);
        prefs.click("genApplyAndResetEnvButton");
        QCOMPARE(prefs.store.defaults->loadMaximumCommitHistoryLength(), valid ? 42 : 50);
        QCOMPARE(prefs.store.defaults->loadPreferredInterpreterPath(), valid ? polyQuiet : sml);
        QCOMPARE(prefs.broadcasts("reset"), valid ? 1 : 0);
        QCOMPARE(prefs.window->isVisible(), !valid);
        QCOMPARE(prefs.child<QLabel>("genHistorySizeMessage")->isVisible(), !valid);
        if (valid) {
            QCOMPARE(prefs.heard("reset").commandLine, polyQuiet);
            QCOMPARE(prefs.heard("reset").historyLength, 42);
        }
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
        OLUserDefaults &defaults = *prefs.store.defaults;
        const QVariantMap resource = OLUserDefaults::defaultPreferences();
        defaults.saveMaximumCommitHistoryLength(resource.value("maximumCommitHistoryLength").toLongLong() + 13);
        defaults.saveShouldRestoreCommitHistory(!resource.value("shouldRestoreCommitHistory").toBool());
        defaults.saveShouldReopenFiles(!resource.value("shouldReopenFiles").toBool());
        defaults.saveShowLineNumbers(!resource.value("showLineNumbers").toBool());
        defaults.saveCommitHistory({QStringLiteral("val kept = 1")});
        defaults.savePreferredInterpreter(fileUrl("/usr/bin/poly -q"));
        defaults.setValue(QStringLiteral("Custom Mono"), "fontName");
        defaults.setValue(31, "fontSize");
        defaults.setValue(QStringLiteral("Bold"), "fontStyle");
        for (const char *key : {"regColor", "errColor", "keyColor", "strColor", "comColor"})
            defaults.setValue(QStringLiteral("0.100000 0.200000 0.300000 1.0"), QLatin1StringView(key));
        defaults.saveAnswerAlpha(0.42);
        defaults.saveAnswerFontTraits(3);
        defaults.saveErrorFontTraits(5);
        prefs.open();
        const QStringList generalBefore = generalSettings(defaults), fontsBefore = fontSettings(defaults);
        prefs.broadcaster.calls.clear();
        prefs.click(fonts ? "facConsoleRestoreDefaultsButton" : "genRestoreDefaultsButton");

        const TemporarySettings pristine; // a store holding nothing but the defaults
        const OLUserDefaults &expected = *pristine.defaults;
        QCOMPARE(generalSettings(defaults), fonts ? generalBefore : generalSettings(expected));
        QCOMPARE(fontSettings(defaults), fonts ? fontSettings(expected) : fontsBefore);
        QCOMPARE(defaults.loadPreferredInterpreterPath(), fileUrl("/usr/bin/poly -q"));
        QCOMPARE(prefs.broadcasts("clear"), fonts ? 0 : 1);
        QCOMPARE(prefs.broadcasts("lines"), fonts ? 0 : 1);
        QCOMPARE(prefs.broadcasts("reset"), 0);
        if (fonts) {
            QVERIFY(prefs.broadcasts("update") >= 1);
            QCOMPARE(prefs.heard("update").styles.name.toString(), expected.loadFontAttributes(true).name.toString());
            QCOMPARE(prefs.heard("update").alpha, expected.loadAnswerAlpha());
            QCOMPARE(prefs.child<QDoubleSpinBox>("facConsoleAnswerOpacityTextField")->value(),
                     std::round(expected.loadAnswerAlpha() * 1000) / 10);
            QCOMPARE(prefs.child<QCheckBox>("facConsoleErrorStyleCheckBoxBold")->isChecked(),
                     bool(expected.loadErrorFontTraits() & OLFontTrait::bold));
            QCOMPARE(prefs.child<OLColorWell>("facConsoleColorWellPlain")->color(),
                     *expected.loadFontAttributes(true).regColor);
        } else {
            QCOMPARE(prefs.heard("clear").history, QStringList());
            QCOMPARE(prefs.child<QLineEdit>("genHistorySizeTextField")->text(),
                     QString::number(expected.loadMaximumCommitHistoryLength()));
            QCOMPARE(prefs.child<QCheckBox>("genMiscReopenDocumentsCheckBox")->isChecked(),
                     expected.loadShouldReopenFiles());
        }
    }

    // Fonts and Colours tab.

    // Loading reads bit 1 as bold and bit 0 as italic, whatever else is set
    // (the start masks, some hand-edited). Each group's two boxes give one
    // mask naming a state of both traits; the example text and a reloaded
    // window follow it.
    void fontTraitMasks_data()
    {
        QTest::addColumn<bool>("errors");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("mask");
        QTest::newRow("answers: italic and not italic, to bold only") << false << qint64(0x01000001) << qint64(0x01000002);
        QTest::newRow("answers: bold and italic, to neither") << false << qint64(3) << qint64(0x01000004);
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
        OLUserDefaults &defaults = *prefs.store.defaults;
        defaults.saveAnswerFontTraits(errors ? otherGroup : start);
        defaults.saveErrorFontTraits(errors ? start : otherGroup);
        prefs.open();
        const QByteArray prefix = errors ? "facConsoleErrorStyleCheckBox" : "facConsoleAnswerStyleCheckBox";
        // Each row starts in the opposite state, so that both boxes are clicked.
        QCOMPARE(prefs.child<QCheckBox>(prefix + "Bold")->isChecked(), !bold);
        QCOMPARE(prefs.child<QCheckBox>(prefix + "Italic")->isChecked(), !italic);
        prefs.click(prefix + "Bold");
        prefs.click(prefix + "Italic");
        const std::pair<qint64, qint64> expected = errors ? std::pair(otherGroup, mask) : std::pair(mask, otherGroup);
        QCOMPARE(std::pair(defaults.loadAnswerFontTraits(), defaults.loadErrorFontTraits()), expected);
        QCOMPARE(prefs.heard("update").traits, expected);
        const QList<int> changed = errors ? QList<int>{segmentStarts[5]} : QList<int>{segmentStarts[1], segmentStarts[3]};
        for (int position : changed) {
            QCOMPARE(prefs.exampleFormatAt(position).fontWeight(), bold ? QFont::Bold : QFont::Normal);
            QCOMPARE(prefs.exampleFormatAt(position + 5).fontItalic(), italic);
        }
        for (int position : {segmentStarts[0], segmentStarts[2], segmentStarts[4]}) { // input never changes
            QCOMPARE(prefs.exampleFormatAt(position).fontWeight(), QFont::Normal);
            QVERIFY(!prefs.exampleFormatAt(position).fontItalic());
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
        QTest::newRow("30 per cent") << QStringLiteral("30") << 0.3;
        QTest::newRow("fraction of a per cent") << QStringLiteral("12.5") << 0.125;
        QTest::newRow("transparent") << QStringLiteral("0") << 0.0;
        QTest::newRow("a digit beyond 100 is refused") << QStringLiteral("1000") << 1.0;
    }
    void opacity()
    {
        QFETCH(QString, typed);
        QFETCH(double, alpha);
        Prefs prefs;
        prefs.store.defaults->saveAnswerAlpha(0.5);
        prefs.open();
        prefs.window->selectFacTab();
        auto *field = prefs.child<QDoubleSpinBox>("facConsoleAnswerOpacityTextField");
        QCOMPARE(field->value(), 50.0);
        field->selectAll();
        QTest::keyClicks(field, typed);
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(prefs.store.defaults->loadAnswerAlpha(), double(float(alpha)));
        QCOMPARE(prefs.heard("update").alpha, double(float(alpha)));
        // The first and the last character of each segment before its line end.
        for (int position : {0, 47, 93, 120, 158, 174})
            QCOMPARE(prefs.exampleColorAt(position).alphaF(), 1.0f);
        for (int position : {49, 91, 122, 156, 176, prefs.example()->document()->characterCount() - 2})
            QVERIFY2(qAbs(prefs.exampleColorAt(position).alphaF() - alpha) < 0.002, qPrintable(QString::number(position)));
    }

    // A font pick is shown and stored at once: the example at its exact size,
    // the field and the store with the whole points.
    void fontPick_data()
    {
        QTest::addColumn<double>("size");
        QTest::addColumn<QString>("shown");
        QTest::newRow("just below a whole size") << 8.75 << QStringLiteral("Ostrel Test Mono - 8");
        QTest::newRow("whole") << 40.0 << QStringLiteral("Ostrel Test Mono - 40");
    }
    void fontPick()
    {
        QFETCH(double, size);
        QFETCH(QString, shown);
        Prefs prefs;
        prefs.open();
        QFont font(QStringLiteral("Ostrel Test Mono"));
        font.setPointSizeF(size);
        prefs.window->changeFont(font);
        auto *field = prefs.child<QLineEdit>("facConsoleFontTextField");
        QCOMPARE(field->text(), shown);
        QCOMPARE(field->font().family(), QStringLiteral("Ostrel Test Mono"));
        QCOMPARE(field->font().pointSizeF(), 12.0);
        QCOMPARE(prefs.example()->document()->defaultFont().pointSizeF(), size);
        QCOMPARE(prefs.stored("fontName"), QStringLiteral("Ostrel Test Mono"));
        QCOMPARE(prefs.store.defaults->loadFontAttributes(true).size.toInt(), int(size));
        QCOMPARE(prefs.heard("update").styles.size.toInt(), int(size));
        prefs.open();
        QCOMPARE(prefs.child<QLineEdit>("facConsoleFontTextField")->text(), shown);
        QCOMPARE(prefs.example()->document()->defaultFont().pointSizeF(), double(int(size)));
    }

    // The font dialog applies each pick at once; Cancel takes the picks back,
    // and closing the window closes the dialog and keeps the pick.
    void fontDialog()
    {
        Prefs prefs;
        prefs.open();
        prefs.window->selectFacTab();
        prefs.click("facConsoleChooseFont");
        auto *dialog = prefs.window->findChild<QFontDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->currentFont().pointSize(), 12);
        QFont picked = dialog->currentFont();
        picked.setPointSize(20);
        dialog->setCurrentFont(picked);
        QCOMPARE(prefs.store.defaults->loadFontAttributes(true).size.toInt(), 20);
        QCOMPARE(prefs.heard("update").styles.size.toInt(), 20);
        dialog->reject();
        QCOMPARE(prefs.store.defaults->loadFontAttributes(true).size.toInt(), 12);
        QCOMPARE(prefs.stored("fontName"), QStringLiteral("DejaVu Sans Mono"));

        prefs.click("facConsoleChooseFont");
        QVERIFY(dialog->isVisible());
        picked.setPointSize(18);
        dialog->setCurrentFont(picked);
        prefs.window->close();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(prefs.store.defaults->loadFontAttributes(true).size.toInt(), 18);
    }

    // The dialog opens on the stored face, or on the family's regular one
    // when none is stored (as before faces were); a face picked reaches the
    // store, the windows and their font.
    void fontFaces_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("opensOn");
        QTest::newRow("none stored") << QVariant() << "Book";
        QTest::newRow("bold") << QVariant("Bold") << "Bold";
    }
    void fontFaces()
    {
        QFETCH(QVariant, stored);
        QFETCH(QString, opensOn);
        Prefs prefs;
        prefs.store.defaults->setValue(stored, "fontStyle");
        prefs.open();
        prefs.click("facConsoleChooseFont");
        auto *dialog = prefs.window->findChild<QFontDialog *>();
        QCOMPARE(dialog->currentFont().styleName(), opensOn);
        dialog->setCurrentFont(QFontDatabase::font(QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Bold Oblique"), 14));
        QCOMPARE(prefs.heard("update").styles.style, QVariant("Bold Oblique"));
        QCOMPARE(prefs.child<QLineEdit>("facConsoleFontTextField")->text(), QStringLiteral("DejaVu Sans Mono Bold Oblique - 14"));
        QCOMPARE(QFontInfo(fontForStyleSet(prefs.store.defaults->loadFontAttributes(true))).styleName(), QStringLiteral("Bold Oblique"));
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
        const QString before = prefs.stored(qPrintable(key));
        QVERIFY(prefs.exampleColorAt(position).rgb() != QColor(Qt::red).rgb());
        prefs.click(qPrintable(well));
        auto *dialog = prefs.window->findChild<QColorDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->currentColor().rgb(), toQColor(*OLUserDefaults::decodeColor(before, 1)).rgb());

        dialog->setCurrentColor(Qt::red);
        QCOMPARE(prefs.stored(qPrintable(key)), red);
        QCOMPARE(prefs.exampleColorAt(position).rgb(), QColor(Qt::red).rgb());
        QCOMPARE(prefs.heard("update").styles, prefs.store.defaults->loadFontAttributes(true));
        QCOMPARE(fontSettings(*prefs.store.defaults).count(red), 1);
        dialog->reject();
        QCOMPARE(prefs.stored(qPrintable(key)), before);
        QVERIFY(prefs.exampleColorAt(position).rgb() != QColor(Qt::red).rgb());

        prefs.click(qPrintable(well));
        dialog->setCurrentColor(Qt::blue);
        prefs.window->close();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(prefs.stored(qPrintable(key)), QStringLiteral("0.000000 0.000000 1.000000 1.0"));
    }
};

QTEST_MAIN(TestPreferencesWindow)
#include "tst_preferenceswindow.moc"
