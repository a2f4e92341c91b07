#include "prefs/OLModeChooserWindowController.h"
#include "prefstestsupport.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

// The chooser with its standard locations pointed into a temporary folder:
// Poly ML and SML/NJ at their real places, Moscow ML and Alice ML as stand-in
// scripts (they are not installed here), located files as stand-ins too.
class TestModeChooser : public QObject
{
    Q_OBJECT

    struct Chooser {
        explicit Chooser(const QStringList &installed)
        {
            const auto location = [&](const QString &name, const QString &realPath) {
                if (!installed.contains(name))
                    return fileUrl(store.missing(name));
                return fileUrl(realPath.isEmpty() ? store.standIn(name) : realPath);
            };
            resource = {
                {QStringLiteral("aliceml-std"), location(QStringLiteral("alice"), {})},
                {QStringLiteral("polyml-std"), location(QStringLiteral("poly"), QStringLiteral("/usr/bin/poly"))},
                {QStringLiteral("mosml-std"), location(QStringLiteral("mosml"), {})},
                {QStringLiteral("smlnj-std"), location(QStringLiteral("sml"), QStringLiteral("/usr/bin/sml"))},
            };
            window = std::make_unique<OLModeChooserWindowController>(*store.defaults, resource);
            window->setExecutableChooser([this](QWidget *) {
                ++browsed;
                return browseAnswer;
            });
            window->show();
        }

        QComboBox *popUp() const { return window->findChild<QComboBox *>(QStringLiteral("chooserButton")); }
        QString label(const char *name) const
        {
            return window->findChild<QLabel *>(QLatin1StringView(name))->text();
        }
        void click(const char *button) const
        {
            window->findChild<QPushButton *>(QLatin1StringView(button))->click();
        }
        // What the user's pick in the pop-up does.
        void pick(const QString &title) const
        {
            const int index = popUp()->findText(title);
            QVERIFY2(index >= 0, qPrintable(title));
            popUp()->setCurrentIndex(index);
            Q_EMIT popUp()->activated(index);
        }
        QString stored() const { return store.defaults->loadPreferredInterpreterPath(); }

        TemporarySettings store;
        QVariantMap resource;
        std::unique_ptr<OLModeChooserWindowController> window;
        QString browseAnswer;
        int browsed = 0;
    };

    static QStringList entries(QComboBox *popUp)
    {
        QStringList result;
        for (int i = 0; i < popUp->count(); ++i)
            result.append(popUp->itemText(i));
        return result;
    }

private Q_SLOTS:
    void menu_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("Poly ML and SML/NJ") << QStringList{"sml", "poly"} << QStringList{"Poly ML", "SML of New Jersey"};
        QTest::newRow("all four, in the fixed order")
            << QStringList{"mosml", "sml", "poly", "alice"}
            << QStringList{"Alice ML", "Poly ML", "Moscow ML", "SML of New Jersey"};
        QTest::newRow("Alice ML alone") << QStringList{"alice"} << QStringList{"Alice ML"};
    }
    void menu()
    {
        QFETCH(QStringList, installed);
        QFETCH(QStringList, expected);
        Chooser chooser(installed);
        QVERIFY(chooser.popUp());
        QCOMPARE(entries(chooser.popUp()), expected);
        QCOMPARE(chooser.popUp()->currentIndex(), -1);
        QVERIFY(chooser.label("labelTop") != QStringLiteral("Unfortunately, no installed SML-Interpreter was found."));
    }

    void nothingInstalled()
    {
        Chooser chooser({});
        QCOMPARE(chooser.label("labelTop"), QStringLiteral("Unfortunately, no installed SML-Interpreter was found."));
        QCOMPARE(chooser.label("labelBottom"), QStringLiteral("Please locate the executable manually:"));
        QVERIFY(!chooser.window->findChild<QComboBox *>());

        // Locating a file still works.
        chooser.browseAnswer = chooser.store.standIn(QStringLiteral("mosml"));
        chooser.click("browse");
        QCOMPARE(chooser.window->result(), int(QDialog::Accepted));
        QCOMPARE(chooser.stored(), fileUrl(chooser.browseAnswer));
    }

    // Every way of closing commits a pick exactly as the apply button does.
    void closeCommits_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("apply button") << QStringLiteral("apply");
        QTest::newRow("close control") << QStringLiteral("close");
        QTest::newRow("Escape") << QStringLiteral("escape");
    }
    void closeCommits()
    {
        QFETCH(QString, how);
        Chooser chooser({QStringLiteral("poly"), QStringLiteral("mosml")});
        chooser.pick(QStringLiteral("Moscow ML"));
        QVERIFY(chooser.stored().isEmpty());
        QSignalSpy finished(chooser.window.get(), &QDialog::finished);
        if (how == u"apply")
            chooser.click("apply");
        else if (how == u"close")
            chooser.window->close();
        else
            QTest::keyClick(chooser.window.get(), Qt::Key_Escape);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
        QVERIFY(!chooser.window->isVisible());
        QCOMPARE(chooser.stored(), chooser.resource.value(QStringLiteral("mosml-std")).toString());
    }

    // Without a choice the chooser is rejected (the application then quits)
    // and stores nothing, whatever closed it.
    void closeWithoutChoice_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("apply with no selection") << QStringLiteral("apply");
        QTest::newRow("close control") << QStringLiteral("close");
        QTest::newRow("browse cancelled, then apply") << QStringLiteral("cancelled browse");
    }
    void closeWithoutChoice()
    {
        QFETCH(QString, how);
        Chooser chooser({QStringLiteral("poly")});
        if (how == u"cancelled browse") {
            chooser.click("browse");
            QCOMPARE(chooser.browsed, 1);
            QVERIFY(chooser.window->isVisible());
        }
        if (how == u"close")
            chooser.window->close();
        else
            chooser.click("apply");
        QVERIFY(!chooser.window->isVisible());
        QCOMPARE(chooser.window->result(), int(QDialog::Rejected));
        QVERIFY(!chooser.store.settings->contains(QStringLiteral("preferredInterpreter")));
    }

    // The last choice wins, and a confirmed file dialog closes the chooser at once.
    void lastChoiceWins()
    {
        Chooser chooser({QStringLiteral("poly"), QStringLiteral("sml"), QStringLiteral("mosml")});
        chooser.pick(QStringLiteral("Moscow ML"));
        chooser.pick(QStringLiteral("SML of New Jersey"));
        chooser.browseAnswer = chooser.store.standIn(QStringLiteral("alice"));
        chooser.click("browse");
        QVERIFY(!chooser.window->isVisible());
        QCOMPARE(chooser.window->result(), int(QDialog::Accepted));
        QCOMPARE(chooser.stored(), fileUrl(chooser.browseAnswer));
    }

    // An entry stores its standard-path setting, which discovery has just
    // rewritten from the resource: a stale value from an earlier run is gone.
    void entryStoresFreshStandardPath()
    {
        TemporarySettings store;
        store.defaults->setValue(QStringLiteral("file://localhost/old/poly"), "polyPath");
        const QVariantMap resource{{QStringLiteral("polyml-std"), QStringLiteral("file://localhost/usr/bin/poly")}};
        OLModeChooserWindowController window(*store.defaults, resource);
        window.show();
        auto *popUp = window.findChild<QComboBox *>();
        QCOMPARE(popUp->count(), 1);
        Q_EMIT popUp->activated(0);
        window.close();
        QCOMPARE(store.defaults->loadPreferredInterpreterPath(), QStringLiteral("file://localhost/usr/bin/poly"));
    }
};

QTEST_MAIN(TestModeChooser)
#include "tst_modechooser.moc"
