#include "prefs/OLModeChooserWindowController.h"
#include "prefstestsupport.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

// The chooser with its standard locations in a temporary folder: Poly ML and
// SML/NJ at their real places, Moscow ML and Alice ML as stand-in scripts
// (they are not installed here), located files as stand-ins too.
class TestModeChooser : public QObject
{
    Q_OBJECT

    struct Chooser {
        explicit Chooser(const QStringList &installed)
            : resource(store.locations(installed))
            , window(*store.defaults, resource)
        {
            window.setExecutableChooser([this](QWidget *) {
                ++browsed;
                return browseAnswer;
            });
            window.show();
        }

        QComboBox *popUp() { return window.findChild<QComboBox *>(QStringLiteral("chooserButton")); }
        QString label(const char *name) const { return window.findChild<QLabel *>(QLatin1StringView(name))->text(); }
        void click(const char *button) { window.findChild<QPushButton *>(QLatin1StringView(button))->click(); }
        // What the user's pick in the pop-up does.
        void pick(const QString &title)
        {
            const int index = popUp()->findText(title);
            QVERIFY2(index >= 0, qPrintable(title));
            popUp()->setCurrentIndex(index);
            Q_EMIT popUp()->activated(index);
        }
        QString stored() const { return store.defaults->loadPreferredInterpreterPath(); }

        TemporarySettings store;
        QVariantMap resource;
        OLModeChooserWindowController window;
        QString browseAnswer;
        int browsed = 0;
    };

private Q_SLOTS:
    void nothingInstalled()
    {
        Chooser chooser({});
        QCOMPARE(chooser.label("labelTop"), QStringLiteral("Unfortunately, no installed SML-Interpreter was found."));
        QCOMPARE(chooser.label("labelBottom"), QStringLiteral("Please locate the executable manually:"));
        QVERIFY(!chooser.popUp());
        // Locating a file still works.
        chooser.browseAnswer = chooser.store.standIn(QStringLiteral("mosml"));
        chooser.click("browse");
        QCOMPARE(chooser.window.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.stored(), fileUrl(chooser.browseAnswer));
    }

    // Every way of closing commits a pick as the apply button does; without a
    // pick the chooser is rejected (the application then quits) and stores
    // nothing, whatever closed it.
    void closing_data()
    {
        QTest::addColumn<QString>("pick");
        QTest::addColumn<QString>("how");
        const QString mosml = QStringLiteral("Moscow ML");
        QTest::newRow("apply button") << mosml << QStringLiteral("apply");
        QTest::newRow("close control") << mosml << QStringLiteral("close");
        QTest::newRow("Escape") << mosml << QStringLiteral("escape");
        QTest::newRow("no pick: apply") << QString() << QStringLiteral("apply");
        QTest::newRow("no pick: close control") << QString() << QStringLiteral("close");
        QTest::newRow("no pick: browse cancelled, then apply") << QString() << QStringLiteral("browse");
    }
    void closing()
    {
        QFETCH(QString, pick);
        QFETCH(QString, how);
        Chooser chooser({QStringLiteral("poly"), QStringLiteral("mosml")});
        QCOMPARE(chooser.popUp()->count(), 2);
        QCOMPARE(chooser.popUp()->itemText(1), QStringLiteral("Moscow ML")); // the fixed order, not by name
        QCOMPARE(chooser.popUp()->currentIndex(), -1);
        QVERIFY(chooser.label("labelTop") != QStringLiteral("Unfortunately, no installed SML-Interpreter was found."));
        if (!pick.isEmpty())
            chooser.pick(pick);
        QVERIFY(chooser.stored().isEmpty());
        QSignalSpy finished(&chooser.window, &QDialog::finished);
        if (how == u"browse") {
            chooser.click("browse");
            QCOMPARE(chooser.browsed, 1);
            QVERIFY(chooser.window.isVisible());
        }
        if (how == u"close")
            chooser.window.close();
        else if (how == u"escape")
            QTest::keyClick(&chooser.window, Qt::Key_Escape);
        else
            chooser.click("apply");
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), int(pick.isEmpty() ? QDialog::Rejected : QDialog::Accepted));
        QVERIFY(!chooser.window.isVisible());
        if (pick.isEmpty())
            QVERIFY(!chooser.store.settings->contains(QStringLiteral("preferredInterpreter")));
        else
            QCOMPARE(chooser.stored(), chooser.resource.value(QStringLiteral("mosml-std")).toString());
    }

    // The last choice wins, and a confirmed file dialog closes the chooser.
    void lastChoiceWins()
    {
        Chooser chooser({QStringLiteral("poly"), QStringLiteral("sml"), QStringLiteral("mosml")});
        chooser.pick(QStringLiteral("Moscow ML"));
        chooser.pick(QStringLiteral("SML of New Jersey"));
        chooser.browseAnswer = chooser.store.standIn(QStringLiteral("alice"));
        chooser.click("browse");
        QVERIFY(!chooser.window.isVisible());
        QCOMPARE(chooser.window.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.stored(), fileUrl(chooser.browseAnswer));
    }

    // An entry stores its standard-path setting, which discovery has just
    // rewritten from the resource: a stale value from an earlier run is gone.
    void entryStoresFreshStandardPath()
    {
        TemporarySettings store;
        store.defaults->setValue(QStringLiteral("file://localhost/old/poly"), "polyPath");
        OLModeChooserWindowController window(*store.defaults, {{QStringLiteral("polyml-std"), fileUrl("/usr/bin/poly")}});
        window.show();
        auto *popUp = window.findChild<QComboBox *>();
        QCOMPARE(popUp->count(), 1);
        Q_EMIT popUp->activated(0);
        window.close();
        QCOMPARE(store.defaults->loadPreferredInterpreterPath(), fileUrl("/usr/bin/poly"));
    }
};

QTEST_MAIN(TestModeChooser)
#include "tst_modechooser.moc"
