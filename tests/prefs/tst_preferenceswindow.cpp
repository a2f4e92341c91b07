#include "highlight/OLTextView.h"
#include "prefs/OLBroadcaster.h"
#include "prefs/OLColorWell.h"
#include "prefs/OLPreferencesWindowController.h"
#include "prefs/OLQtColor.h"
#include "prefstestsupport.h"

#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextBlock>
#include <QTextLayout>

// Takes the application delegate's place: records each broadcast together
// with what the store held at that moment, which is what every open window
// reloads when it hears the broadcast.
class RecordingBroadcaster : public OLBroadcaster
{
public:
    explicit RecordingBroadcaster(OLUserDefaults &defaults)
        : m_defaults(defaults)
    {
    }

    void updateAllFontAttributes() override
    {
        calls.append(QStringLiteral("updateAllFontAttributes"));
        stylesAtUpdate = m_defaults.loadFontAttributes(true);
        alphaAtUpdate = m_defaults.loadAnswerAlpha();
        answerTraitsAtUpdate = m_defaults.loadAnswerFontTraits();
        errorTraitsAtUpdate = m_defaults.loadErrorFontTraits();
    }
    void clearAllHistory() override
    {
        calls.append(QStringLiteral("clearAllHistory"));
        historyAtClear = m_defaults.loadCommitHistory();
    }
    void resetAllEnvironments() override
    {
        calls.append(QStringLiteral("resetAllEnvironments"));
        commandLineAtReset = m_defaults.loadPreferredInterpreterPath();
        historyLengthAtReset = m_defaults.loadMaximumCommitHistoryLength();
    }

    qsizetype count(const QString &call) const { return calls.count(call); }

    QStringList calls;
    OLStyleSet stylesAtUpdate;
    double alphaAtUpdate = -1;
    qint64 answerTraitsAtUpdate = -1;
    qint64 errorTraitsAtUpdate = -1;
    QStringList historyAtClear{QStringLiteral("not cleared")};
    QString commandLineAtReset;
    qint64 historyLengthAtReset = -1;

private:
    OLUserDefaults &m_defaults;
};

// Where the example text's six segments start, and one past its last piece.
constexpr std::array<int, 6> segmentStarts{0, 49, 93, 122, 158, 176};

// The preferences window over a temporary store. Poly ML and SML/NJ are
// found at their real places; Moscow ML is a stand-in script (it is not
// installed here) and Alice ML is missing.
class TestPreferencesWindow : public QObject
{
    Q_OBJECT

    struct Prefs {
        Prefs()
        {
            resource = {
                {QStringLiteral("aliceml-std"), fileUrl(store.missing(QStringLiteral("alice")))},
                {QStringLiteral("polyml-std"), QStringLiteral("file://localhost/usr/bin/poly")},
                {QStringLiteral("mosml-std"), fileUrl(store.standIn(QStringLiteral("mosml")))},
                {QStringLiteral("smlnj-std"), QStringLiteral("file://localhost/usr/bin/sml")},
            };
        }

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
            const int offset = position - block.position();
            for (const QTextLayout::FormatRange &range : block.layout()->formats()) {
                if (range.start <= offset && offset < range.start + range.length)
                    return range.format;
            }
            return {};
        }
        QColor exampleColorAt(int position) const { return exampleFormatAt(position).foreground().color(); }

        TemporarySettings store;
        RecordingBroadcaster broadcaster{*store.defaults};
        QVariantMap resource;
        std::unique_ptr<OLPreferencesWindowController> window;
        QString browseAnswer;
    };

    static QString stored(const Prefs &prefs, const char *key)
    {
        return prefs.store.defaults->stringForKey(QLatin1StringView(key));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(!OLUserDefaults::defaultPreferences().isEmpty());
    }

    // Opening stores the style set and tells the windows; the toolbar switches tabs.
    void openAndSwitchTabs()
    {
        Prefs prefs;
        QVERIFY(!prefs.store.settings->contains(QStringLiteral("fontName")));
        prefs.open();
        QCOMPARE(prefs.store.settings->value(QStringLiteral("fontName")).toString(), QStringLiteral("DejaVu Sans Mono"));
        QVERIFY(prefs.broadcaster.count(QStringLiteral("updateAllFontAttributes")) >= 1);

        auto *tabs = prefs.child<QStackedWidget>("tabView");
        QCOMPARE(tabs->currentIndex(), 0);
        prefs.child<QAction>("facToolBarItem")->trigger();
        QCOMPARE(tabs->currentIndex(), 1);
        prefs.child<QAction>("genToolBarItem")->trigger();
        QCOMPARE(tabs->currentIndex(), 0);
    }

    // General tab.

    void commandLineShown_data()
    {
        QTest::addColumn<QVariant>("storedLine");
        QTest::addColumn<QString>("shown");
        QTest::newRow("executable") << QVariant(QStringLiteral("file://localhost/usr/bin/poly")) << "/usr/bin/poly";
        QTest::newRow("with arguments") << QVariant(QStringLiteral("file://localhost/usr/bin/sml @SMLquiet  -x"))
                                        << "/usr/bin/sml @SMLquiet  -x";
        QTest::newRow("absent") << QVariant() << "";
        QTest::newRow("shorter than the prefix") << QVariant(QStringLiteral("/usr/bin/poly")) << "";
        QTest::newRow("the prefix alone") << QVariant(QStringLiteral("file://localhost")) << "";
    }
    void commandLineShown()
    {
        QFETCH(QVariant, storedLine);
        QFETCH(QString, shown);
        Prefs prefs;
        prefs.store.defaults->setValue(storedLine, "preferredInterpreter");
        prefs.open();
        QCOMPARE(prefs.child<QLineEdit>("genProcessCommandLineTextField")->text(), shown);
    }

    void commandLineEntered_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("path, blank and argument") << QStringLiteral("/usr/bin/poly -q");
        QTest::newRow("two blanks kept") << QStringLiteral("/usr/bin/sml  @SMLquiet");
        QTest::newRow("empty stores the bare prefix") << QString();
    }
    void commandLineEntered()
    {
        QFETCH(QString, typed);
        Prefs prefs;
        prefs.store.defaults->savePreferredInterpreter(QStringLiteral("file://localhost/usr/bin/sml"));
        prefs.open();
        prefs.type("genProcessCommandLineTextField", typed);
        QCOMPARE(prefs.store.defaults->loadPreferredInterpreterPath(), QStringLiteral("file://localhost") + typed);

        prefs.open();
        QCOMPARE(prefs.child<QLineEdit>("genProcessCommandLineTextField")->text(), typed);
    }

    // The entries store their standard-path setting as it is, replacing any
    // arguments; locating a file stores its URL and clears the selection.
    void interpreterPopUp()
    {
        Prefs prefs;
        prefs.store.defaults->savePreferredInterpreter(QStringLiteral("file://localhost/usr/bin/sml @SMLquiet"));
        prefs.open();
        auto *popUp = prefs.child<QComboBox>("genProcessExecutabelChooserButton");
        QCOMPARE(popUp->count(), 3);
        QCOMPARE(popUp->itemText(0), QStringLiteral("Poly ML"));
        QCOMPARE(popUp->itemText(1), QStringLiteral("Moscow ML"));
        QCOMPARE(popUp->itemText(2), QStringLiteral("SML of New Jersey"));
        QCOMPARE(popUp->currentIndex(), -1);
        QCOMPARE(stored(prefs, "polyPath"), QStringLiteral("file://localhost/usr/bin/poly"));

        popUp->setCurrentIndex(1);
        Q_EMIT popUp->activated(1);
        QCOMPARE(prefs.store.defaults->loadPreferredInterpreterPath(), prefs.resource.value("mosml-std").toString());
        QCOMPARE(prefs.child<QLineEdit>("genProcessCommandLineTextField")->text(),
                 prefs.resource.value("mosml-std").toString().mid(16));

        prefs.click("genProcessBrowseExecutable"); // cancelled
        QCOMPARE(prefs.store.defaults->loadPreferredInterpreterPath(), prefs.resource.value("mosml-std").toString());
        QCOMPARE(popUp->currentIndex(), 1);

        prefs.browseAnswer = prefs.store.standIn(QStringLiteral("alice"));
        prefs.click("genProcessBrowseExecutable");
        QCOMPARE(prefs.store.defaults->loadPreferredInterpreterPath(), fileUrl(prefs.browseAnswer));
        QCOMPARE(prefs.child<QLineEdit>("genProcessCommandLineTextField")->text(), prefs.browseAnswer);
        QCOMPARE(popUp->currentIndex(), -1);
        QVERIFY(prefs.broadcaster.count(QStringLiteral("resetAllEnvironments")) == 0);
    }

    void nothingInstalled()
    {
        Prefs prefs;
        for (const QString &key : prefs.resource.keys())
            prefs.resource[key] = fileUrl(prefs.store.missing(key));
        prefs.open();
        QCOMPARE(prefs.child<QComboBox>("genProcessExecutabelChooserButton")->count(), 0);
        prefs.type("genProcessCommandLineTextField", QStringLiteral("/usr/bin/poly"));
        QCOMPARE(prefs.store.defaults->loadPreferredInterpreterPath(), QStringLiteral("file://localhost/usr/bin/poly"));
    }

    void historySize_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qint64>("expected"); // -1: refused with the message
        QTest::newRow("whole number") << QStringLiteral("250") << qint64(250);
        QTest::newRow("surrounding blanks") << QStringLiteral(" 7 ") << qint64(7);
        QTest::newRow("zero") << QStringLiteral("0") << qint64(0);
        QTest::newRow("fraction") << QStringLiteral("12.5") << qint64(-1);
        QTest::newRow("words") << QStringLiteral("ten") << qint64(-1);
        QTest::newRow("negative") << QStringLiteral("-3") << qint64(-1);
        QTest::newRow("empty") << QString() << qint64(-1);
        QTest::newRow("beyond 64 bits") << QStringLiteral("99999999999999999999") << qint64(-1);
    }
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
        if (expected < 0) {
            prefs.type("genHistorySizeTextField", QStringLiteral("60"));
            QVERIFY(!message->isVisible());
            QCOMPARE(prefs.store.defaults->loadMaximumCommitHistoryLength(), 60);
        }
    }

    void checkBoxesStoreAtOnce_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("key");
        QTest::newRow("restore history") << "genHistoryShouldLoadCheckbox" << "shouldRestoreCommitHistory";
        QTest::newRow("reopen documents") << "genMiscReopenDocumentsCheckBox" << "shouldReopenFiles";
    }
    void checkBoxesStoreAtOnce()
    {
        QFETCH(QString, box);
        QFETCH(QString, key);
        Prefs prefs;
        prefs.store.defaults->setValue(false, key);
        prefs.open();
        auto *check = prefs.child<QCheckBox>(qPrintable(box));
        QVERIFY(!check->isChecked());
        check->click();
        QCOMPARE(prefs.store.defaults->boolForKey(key), true);
        check->click();
        QCOMPARE(prefs.store.defaults->boolForKey(key), false);
        QVERIFY(prefs.store.settings->contains(key)); // stored false, not removed
    }

    void clearHistory()
    {
        Prefs prefs;
        prefs.store.defaults->saveCommitHistory({QStringLiteral("val a = 1"), QStringLiteral("a + 1")});
        prefs.open();
        prefs.click("genHistoryClearButton");
        QVERIFY(prefs.store.defaults->loadCommitHistory().isEmpty());
        QCOMPARE(prefs.broadcaster.count(QStringLiteral("clearAllHistory")), 1);
        QCOMPARE(prefs.broadcaster.historyAtClear, QStringList());
    }

    // Apply stores what stands in the fields even when Return was never
    // pressed, then restarts every interpreter and closes.
    void applyStoresUnenteredFields()
    {
        Prefs prefs;
        prefs.store.defaults->saveMaximumCommitHistoryLength(50);
        prefs.store.defaults->savePreferredInterpreter(QStringLiteral("file://localhost/usr/bin/sml"));
        prefs.store.defaults->saveShouldReopenFiles(true);
        prefs.open();
        prefs.type("genHistorySizeTextField", QStringLiteral("42"), false);
        prefs.type("genProcessCommandLineTextField", QStringLiteral("/usr/bin/poly -q"), false);
        prefs.child<QCheckBox>("genMiscReopenDocumentsCheckBox")->setChecked(false);
        QCOMPARE(prefs.store.defaults->loadMaximumCommitHistoryLength(), 50);

        prefs.click("genApplyAndResetEnvButton");
        QCOMPARE(prefs.store.defaults->loadMaximumCommitHistoryLength(), 42);
        QCOMPARE(prefs.store.defaults->loadPreferredInterpreterPath(), QStringLiteral("file://localhost/usr/bin/poly -q"));
        QCOMPARE(prefs.store.defaults->loadShouldReopenFiles(), false);
        QCOMPARE(prefs.broadcaster.count(QStringLiteral("resetAllEnvironments")), 1);
        QCOMPARE(prefs.broadcaster.commandLineAtReset, QStringLiteral("file://localhost/usr/bin/poly -q"));
        QCOMPARE(prefs.broadcaster.historyLengthAtReset, 42);
        QVERIFY(!prefs.window->isVisible());
    }

    // A size that is no whole number keeps the window open with its message;
    // nothing is stored and no interpreter restarts.
    void applyRefusesBadSize()
    {
        Prefs prefs;
        prefs.store.defaults->saveMaximumCommitHistoryLength(50);
        prefs.store.defaults->savePreferredInterpreter(QStringLiteral("file://localhost/usr/bin/sml"));
        prefs.open();
        prefs.type("genHistorySizeTextField", QStringLiteral("4x2"), false);
        prefs.type("genProcessCommandLineTextField", QStringLiteral("/usr/bin/poly"), false);
        prefs.click("genApplyAndResetEnvButton");
        QVERIFY(prefs.window->isVisible());
        QVERIFY(prefs.child<QLabel>("genHistorySizeMessage")->isVisible());
        QCOMPARE(prefs.store.defaults->loadMaximumCommitHistoryLength(), 50);
        QCOMPARE(prefs.store.defaults->loadPreferredInterpreterPath(), QStringLiteral("file://localhost/usr/bin/sml"));
        QCOMPARE(prefs.broadcaster.count(QStringLiteral("resetAllEnvironments")), 0);
    }

    // Settings of both tabs set away from the defaults, so that restoring
    // shows what it touches and what it leaves.
    static void storeNonDefaults(OLUserDefaults &defaults)
    {
        const QVariantMap resource = OLUserDefaults::defaultPreferences();
        defaults.saveMaximumCommitHistoryLength(resource.value("maximumCommitHistoryLength").toLongLong() + 13);
        defaults.saveShouldRestoreCommitHistory(!resource.value("shouldRestoreCommitHistory").toBool());
        defaults.saveShouldReopenFiles(!resource.value("shouldReopenFiles").toBool());
        defaults.saveCommitHistory({QStringLiteral("val kept = 1")});
        defaults.savePreferredInterpreter(QStringLiteral("file://localhost/usr/bin/poly -q"));
        defaults.setValue(QStringLiteral("Custom Mono"), "fontName");
        defaults.setValue(31, "fontSize");
        for (const char *key : {"regColor", "errColor", "keyColor", "strColor", "comColor"})
            defaults.setValue(QStringLiteral("0.100000 0.200000 0.300000 1.0"), QLatin1StringView(key));
        defaults.saveAnswerAlpha(0.42);
        defaults.saveAnswerFontTraits(3);
        defaults.saveErrorFontTraits(5);
    }

    void restoreGeneralDefaults()
    {
        Prefs prefs;
        OLUserDefaults &defaults = *prefs.store.defaults;
        storeNonDefaults(defaults);
        prefs.open();
        const OLStyleSet stylesBefore = defaults.loadFontAttributes(true);
        prefs.click("genRestoreDefaultsButton");

        const QVariantMap resource = OLUserDefaults::defaultPreferences();
        QCOMPARE(defaults.loadMaximumCommitHistoryLength(), resource.value("maximumCommitHistoryLength").toLongLong());
        QCOMPARE(defaults.loadShouldRestoreCommitHistory(), resource.value("shouldRestoreCommitHistory").toBool());
        QCOMPARE(defaults.loadShouldReopenFiles(), resource.value("shouldReopenFiles").toBool());
        QVERIFY(defaults.loadCommitHistory().isEmpty());
        QCOMPARE(prefs.broadcaster.count(QStringLiteral("clearAllHistory")), 1);
        QCOMPARE(prefs.broadcaster.historyAtClear, QStringList());
        // The controls show the restored values.
        QCOMPARE(prefs.child<QLineEdit>("genHistorySizeTextField")->text(),
                 QString::number(resource.value("maximumCommitHistoryLength").toLongLong()));
        QCOMPARE(prefs.child<QCheckBox>("genMiscReopenDocumentsCheckBox")->isChecked(),
                 resource.value("shouldReopenFiles").toBool());

        // Left alone: the interpreter and the Fonts and Colours settings.
        QCOMPARE(defaults.loadPreferredInterpreterPath(), QStringLiteral("file://localhost/usr/bin/poly -q"));
        QCOMPARE(defaults.loadFontAttributes(true), stylesBefore);
        QCOMPARE(stored(prefs, "fontName"), QStringLiteral("Custom Mono"));
        QCOMPARE(defaults.loadFontAttributes(true).size.toInt(), 31);
        QCOMPARE(defaults.loadAnswerAlpha(), double(0.42f));
        QCOMPARE(defaults.loadAnswerFontTraits(), 3);
        QCOMPARE(defaults.loadErrorFontTraits(), 5);
        QCOMPARE(prefs.broadcaster.count(QStringLiteral("resetAllEnvironments")), 0);
    }

    void restoreFontDefaults()
    {
        Prefs prefs;
        OLUserDefaults &defaults = *prefs.store.defaults;
        storeNonDefaults(defaults);
        prefs.open();
        prefs.broadcaster.calls.clear();
        prefs.click("facConsoleRestoreDefaultsButton");

        // What a store holding nothing but the defaults gives.
        TemporarySettings pristine;
        const OLUserDefaults &expected = *pristine.defaults;
        const OLStyleSet restored = defaults.loadFontAttributes(true);
        const OLStyleSet defaultStyles = expected.loadFontAttributes(true);
        QCOMPARE(restored.name.toString(), defaultStyles.name.toString());
        QCOMPARE(restored.size.toInt(), defaultStyles.size.toInt());
        QCOMPARE(restored.regColor, defaultStyles.regColor);
        QCOMPARE(restored.errColor, defaultStyles.errColor);
        QCOMPARE(restored.keyColor, defaultStyles.keyColor);
        QCOMPARE(restored.strColor, defaultStyles.strColor);
        QCOMPARE(restored.comColor, defaultStyles.comColor);
        QCOMPARE(defaults.loadAnswerAlpha(), expected.loadAnswerAlpha());
        QCOMPARE(defaults.loadAnswerFontTraits(), expected.loadAnswerFontTraits());
        QCOMPARE(defaults.loadErrorFontTraits(), expected.loadErrorFontTraits());
        // Every window hears of it with the defaults already in the store.
        QVERIFY(prefs.broadcaster.count(QStringLiteral("updateAllFontAttributes")) >= 1);
        QCOMPARE(prefs.broadcaster.stylesAtUpdate.name.toString(), defaultStyles.name.toString());
        QCOMPARE(prefs.broadcaster.alphaAtUpdate, expected.loadAnswerAlpha());
        // The controls show the defaults.
        QCOMPARE(prefs.child<QDoubleSpinBox>("facConsoleAnswerOpacityTextField")->value(),
                 std::round(expected.loadAnswerAlpha() * 1000) / 10);
        QCOMPARE(prefs.child<QCheckBox>("facConsoleErrorStyleCheckBoxBold")->isChecked(),
                 bool(expected.loadErrorFontTraits() & 2));
        QCOMPARE(prefs.child<OLColorWell>("facConsoleColorWellPlain")->color(), *defaultStyles.regColor);

        // Left alone: the General settings and the interpreter.
        const QVariantMap resource = OLUserDefaults::defaultPreferences();
        QCOMPARE(defaults.loadMaximumCommitHistoryLength(),
                 resource.value("maximumCommitHistoryLength").toLongLong() + 13);
        QCOMPARE(defaults.loadShouldRestoreCommitHistory(), !resource.value("shouldRestoreCommitHistory").toBool());
        QCOMPARE(defaults.loadShouldReopenFiles(), !resource.value("shouldReopenFiles").toBool());
        QCOMPARE(defaults.loadCommitHistory(), QStringList{QStringLiteral("val kept = 1")});
        QCOMPARE(defaults.loadPreferredInterpreterPath(), QStringLiteral("file://localhost/usr/bin/poly -q"));
        QCOMPARE(prefs.broadcaster.count(QStringLiteral("clearAllHistory")), 0);
    }

    // Fonts and Colours tab.

    // Each group's two boxes give one mask naming a state of both traits;
    // the example text and a reloaded window follow it.
    void fontTraitMasks_data()
    {
        QTest::addColumn<bool>("errors");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("italic");
        QTest::addColumn<qint64>("mask");
        for (bool errors : {false, true}) {
            const char *group = errors ? "errors" : "answers";
            QTest::addRow("%s: bold only", group) << errors << true << false << qint64(0x01000002);
            QTest::addRow("%s: bold and italic", group) << errors << true << true << qint64(3);
            QTest::addRow("%s: italic only", group) << errors << false << true << qint64(5);
            QTest::addRow("%s: neither", group) << errors << false << false << qint64(0x01000004);
        }
    }
    void fontTraitMasks()
    {
        QFETCH(bool, errors);
        QFETCH(bool, bold);
        QFETCH(bool, italic);
        QFETCH(qint64, mask);
        Prefs prefs;
        OLUserDefaults &defaults = *prefs.store.defaults;
        // Start from the opposite state, so that both boxes are clicked.
        const qint64 opposite = (bold ? 4 : 2) | (italic ? 0x01000000 : 1);
        const qint64 otherGroup = 0x01000004;
        defaults.saveAnswerFontTraits(errors ? otherGroup : opposite);
        defaults.saveErrorFontTraits(errors ? opposite : otherGroup);
        prefs.open();

        const QByteArray prefix = errors ? "facConsoleErrorStyleCheckBox" : "facConsoleAnswerStyleCheckBox";
        prefs.click(prefix + "Bold");
        prefs.click(prefix + "Italic");
        QCOMPARE(errors ? defaults.loadErrorFontTraits() : defaults.loadAnswerFontTraits(), mask);
        QCOMPARE(errors ? defaults.loadAnswerFontTraits() : defaults.loadErrorFontTraits(), otherGroup);
        QCOMPARE(errors ? prefs.broadcaster.errorTraitsAtUpdate : prefs.broadcaster.answerTraitsAtUpdate, mask);

        // Answers are segments 2 and 4, the error segment 6; input never changes.
        const QList<int> changed = errors ? QList<int>{segmentStarts[5]} : QList<int>{segmentStarts[1], segmentStarts[3]};
        for (int position : changed) {
            QCOMPARE(prefs.exampleFormatAt(position).fontWeight(), bold ? QFont::Bold : QFont::Normal);
            QCOMPARE(prefs.exampleFormatAt(position + 5).fontItalic(), italic);
        }
        for (int position : {segmentStarts[0], segmentStarts[2], segmentStarts[4]}) {
            QCOMPARE(prefs.exampleFormatAt(position).fontWeight(), QFont::Normal);
            QVERIFY(!prefs.exampleFormatAt(position).fontItalic());
        }

        prefs.open();
        QCOMPARE(prefs.child<QCheckBox>(prefix + "Bold")->isChecked(), bold);
        QCOMPARE(prefs.child<QCheckBox>(prefix + "Italic")->isChecked(), italic);
    }

    // Loading reads bit 1 as bold and bit 0 as italic, whatever else is set.
    void masksLoaded_data()
    {
        QTest::addColumn<qint64>("mask");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("italic");
        QTest::newRow("bold and italic") << qint64(3) << true << true;
        QTest::newRow("not bold, not italic") << qint64(0x01000004) << false << false;
        QTest::newRow("zero") << qint64(0) << false << false;
        QTest::newRow("hand-edited: bold and not bold") << qint64(6) << true << false;
        QTest::newRow("hand-edited: italic and not italic") << qint64(0x01000001) << false << true;
    }
    void masksLoaded()
    {
        QFETCH(qint64, mask);
        QFETCH(bool, bold);
        QFETCH(bool, italic);
        Prefs prefs;
        prefs.store.defaults->saveAnswerFontTraits(mask);
        prefs.store.defaults->saveErrorFontTraits(mask);
        prefs.open();
        for (const char *group : {"facConsoleAnswerStyleCheckBox", "facConsoleErrorStyleCheckBox"}) {
            QCOMPARE(prefs.child<QCheckBox>(QByteArray(group) + "Bold")->isChecked(), bold);
            QCOMPARE(prefs.child<QCheckBox>(QByteArray(group) + "Italic")->isChecked(), italic);
        }
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
        QTest::newRow("opaque") << QStringLiteral("100") << 1.0;
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
        QCOMPARE(prefs.broadcaster.alphaAtUpdate, double(float(alpha)));
        const int end = prefs.example()->document()->characterCount() - 2;
        // The first and the last character of each segment before its line end.
        for (int position : {0, 47, 93, 120, 158, 174})
            QCOMPARE(prefs.exampleColorAt(position).alphaF(), 1.0f);
        for (int position : {49, 91, 122, 156, 176, end})
            QVERIFY2(qAbs(prefs.exampleColorAt(position).alphaF() - alpha) < 0.002, qPrintable(QString::number(position)));
    }

    // A font pick is shown and stored at once: the example at its exact size,
    // the field and the store with the whole points.
    void fontPick_data()
    {
        QTest::addColumn<double>("size");
        QTest::addColumn<QString>("shown");
        QTest::newRow("fractional") << 13.5 << QStringLiteral("Ostrel Test Mono - 13");
        QTest::newRow("just below a whole size") << 8.75 << QStringLiteral("Ostrel Test Mono - 8");
        QTest::newRow("large") << 40.0 << QStringLiteral("Ostrel Test Mono - 40");
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
        QCOMPARE(stored(prefs, "fontName"), QStringLiteral("Ostrel Test Mono"));
        QCOMPARE(prefs.store.defaults->loadFontAttributes(true).size.toInt(), int(size));
        QCOMPARE(prefs.broadcaster.stylesAtUpdate.size.toInt(), int(size));

        prefs.open();
        QCOMPARE(prefs.child<QLineEdit>("facConsoleFontTextField")->text(), shown);
        QCOMPARE(prefs.example()->document()->defaultFont().pointSizeF(),
                 double(int(size)));
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
        QCOMPARE(prefs.broadcaster.stylesAtUpdate.size.toInt(), 20);

        dialog->reject();
        QCOMPARE(prefs.store.defaults->loadFontAttributes(true).size.toInt(), 12);
        QCOMPARE(stored(prefs, "fontName"), QStringLiteral("DejaVu Sans Mono"));

        prefs.click("facConsoleChooseFont");
        QVERIFY(dialog->isVisible());
        picked.setPointSize(18);
        dialog->setCurrentFont(picked);
        prefs.window->close();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(prefs.store.defaults->loadFontAttributes(true).size.toInt(), 18);
    }

    // Each well opens the colour dialog on its colour; a pick is stored, shown
    // in its part of the example and broadcast at once; Cancel takes it back.
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
        Prefs prefs;
        prefs.open();
        prefs.window->selectFacTab();
        const QString before = stored(prefs, qPrintable(key));
        QVERIFY(prefs.exampleColorAt(position).rgb() != QColor(Qt::red).rgb());

        prefs.click(qPrintable(well));
        auto *dialog = prefs.window->findChild<QColorDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->currentColor().rgb(), toQColor(*OLUserDefaults::decodeColor(before, 1)).rgb());

        dialog->setCurrentColor(Qt::red);
        QCOMPARE(stored(prefs, qPrintable(key)), QStringLiteral("1.000000 0.000000 0.000000 1.0"));
        QCOMPARE(prefs.exampleColorAt(position).rgb(), QColor(Qt::red).rgb());
        QCOMPARE(prefs.broadcaster.stylesAtUpdate, prefs.store.defaults->loadFontAttributes(true));
        for (const char *other : {"regColor", "errColor", "keyColor", "strColor", "comColor"}) {
            if (key != QLatin1StringView(other))
                QVERIFY(stored(prefs, other) != QStringLiteral("1.000000 0.000000 0.000000 1.0"));
        }

        dialog->reject();
        QCOMPARE(stored(prefs, qPrintable(key)), before);
        QVERIFY(prefs.exampleColorAt(position).rgb() != QColor(Qt::red).rgb());

        // Closing the window closes the dialog and keeps its pick.
        prefs.click(qPrintable(well));
        dialog->setCurrentColor(Qt::blue);
        prefs.window->close();
        QVERIFY(!dialog->isVisible());
        QCOMPARE(stored(prefs, qPrintable(key)), QStringLiteral("0.000000 0.000000 1.000000 1.0"));
    }
};

QTEST_MAIN(TestPreferencesWindow)
#include "tst_preferenceswindow.moc"
