#include "prefs/OLInterpreterDiscovery.h"
#include "prefs/OLModeChooserWindowController.h"
#include "prefstestsupport.h"
#include "settings/OLSettingsKeys.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>

// Poly ML and SML/NJ are probed at their real places; Moscow ML and Alice ML
// are not installed here and are stand-in scripts, as are located files.
class TestModeChooser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each run writes the standard-path setting of every interpreter found,
    // from the first of its locations that exists, and leaves the others as
    // they were; the interpreters come in a fixed order, not the resource's.
    void discovery()
    {
        TemporarySettings store;
        QVariantMap resource = store.locations({"mosml", "alice"});
        resource["polyml-std"] = QStringList{"file:///nonexistent/poly", "file:///usr/bin/poly", "file:///usr/bin/sml"};
        for (QLatin1StringView key : {OLKey::alicePath, OLKey::polyPath, OLKey::mosmlPath, OLKey::smlnjPath})
            store.defaults.setValue(QStringLiteral("stale"), key);
        QStringList found;
        for (const OLInterpreterRow &row : discoverInterpreters(store.defaults, resource))
            found << displayNameForMode(row.mode);
        QCOMPARE(found, QStringList({"Alice ML", "Poly ML", "Moscow ML"}));
        QCOMPARE(QStringList({store.defaults.stringForKey(OLKey::alicePath), store.defaults.stringForKey(OLKey::polyPath),
                              store.defaults.stringForKey(OLKey::mosmlPath), store.defaults.stringForKey(OLKey::smlnjPath)}),
                 QStringList({resource["aliceml-std"].toString(), "file:///usr/bin/poly", resource["mosml-std"].toString(), "stale"}));
    }

    // Every way of closing commits the last pick as the apply button does; a
    // located file wins and closes the chooser at once. Without a pick the
    // chooser is rejected (the application then quits) and stores nothing,
    // whatever closed it. An entry stores its standard-path setting, which
    // discovery has just rewritten from the resource, not an earlier run's.
    void closing_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QStringList>("picks"); // "browse" locates a stand-in; "cancelled browse" finds nothing
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("stored"); // a resource key or "browsed"; empty: nothing
        const QStringList two{"poly", "mosml"};
        QTest::newRow("apply button") << two << QStringList{"Moscow ML"} << "apply" << "mosml-std";
        QTest::newRow("close control") << two << QStringList{"Moscow ML"} << "close" << "mosml-std";
        QTest::newRow("Escape") << two << QStringList{"SML of New Jersey", "Moscow ML"} << "escape" << "mosml-std";
        QTest::newRow("no pick: close control") << two << QStringList() << "close" << "";
        QTest::newRow("no pick: browse cancelled, then apply") << two << QStringList{"cancelled browse"} << "apply" << "";
        QTest::newRow("a located file wins") << two << QStringList{"Moscow ML", "browse"} << "" << "browsed";
        QTest::newRow("nothing installed: a file is located") << QStringList() << QStringList{"browse"} << "" << "browsed";
    }
    void closing()
    {
        QFETCH(QStringList, installed);
        QFETCH(QStringList, picks);
        QFETCH(QString, how);
        QFETCH(QString, stored);
        TemporarySettings store;
        store.defaults.setValue(fileUrl("/old/mosml"), "mosmlPath");
        const QVariantMap resource = store.locations(installed.isEmpty() ? installed : installed << "sml");
        const QString located = store.standIn(QStringLiteral("located"));
        QString browseAnswer;
        OLModeChooserWindowController window(store.defaults, resource);
        window.setExecutableChooser([&](QWidget *) { return browseAnswer; });
        window.show();
        auto *popUp = window.findChild<QComboBox *>(QStringLiteral("chooserButton"));
        QCOMPARE(popUp ? popUp->currentIndex() : -2, installed.isEmpty() ? -2 : -1);
        QSignalSpy finished(&window, &QDialog::finished);
        for (const QString &pick : std::as_const(picks)) {
            if (pick.endsWith(u"browse")) {
                browseAnswer = pick == u"browse" ? located : QString();
                window.findChild<QPushButton *>(QStringLiteral("browse"))->click();
            } else {
                popUp->setCurrentIndex(popUp->findText(pick));
                Q_EMIT popUp->activated(popUp->currentIndex());
            }
        }
        QCOMPARE(store.defaults.loadPreferredInterpreterPath().isEmpty(), stored != u"browsed");
        if (how == u"close")
            window.close();
        else if (how == u"escape")
            QTest::keyClick(&window, Qt::Key_Escape);
        else if (how == u"apply")
            window.findChild<QPushButton *>(QStringLiteral("apply"))->click();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), int(stored.isEmpty() ? QDialog::Rejected : QDialog::Accepted));
        QVERIFY(!window.isVisible());
        QCOMPARE(store.settings.value(QStringLiteral("preferredInterpreter")).toString(),
                 stored.isEmpty() ? QString() : stored == u"browsed" ? fileUrl(located) : resource.value(stored).toString());
    }
};

QTEST_MAIN(TestModeChooser)
#include "tst_modechooser.moc"
