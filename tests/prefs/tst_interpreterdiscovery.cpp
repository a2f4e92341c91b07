#include "prefs/OLInterpreterDiscovery.h"
#include "prefstestsupport.h"

// Poly ML and SML of New Jersey are probed at their real places; Moscow ML
// and Alice ML are not installed here and are stand-in scripts. Which URLs
// name a local file is the settings tests' matter.
class TestInterpreterDiscovery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void found_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("nothing installed") << QStringList() << QStringList();
        QTest::newRow("all four: the fixed order, not the resource's key order")
            << QStringList{"sml", "mosml", "poly", "alice"}
            << QStringList{"Alice ML", "Poly ML", "Moscow ML", "SML of New Jersey"};
        QTest::newRow("Moscow ML alone") << QStringList{"mosml"} << QStringList{"Moscow ML"};
    }
    // Each run writes the setting of every interpreter found and leaves the
    // others as they were.
    void found()
    {
        QFETCH(QStringList, installed);
        QFETCH(QStringList, expected);
        TemporarySettings store;
        const QVariantMap resource = store.locations(installed);
        const QMap<QString, QStringList> keys{{"Alice ML", {"alicePath", "aliceml-std"}}, {"Poly ML", {"polyPath", "polyml-std"}},
                                              {"Moscow ML", {"mosmlPath", "mosml-std"}},
                                              {"SML of New Jersey", {"smlnjPath", "smlnj-std"}}};
        for (const QStringList &key : keys)
            store.defaults.setValue(QStringLiteral("stale"), key[0]);
        QStringList titles;
        for (const OLInterpreterRow &row : discoverInterpreters(store.defaults, resource))
            titles.append(displayNameForMode(row.mode));
        QCOMPARE(titles, expected);
        for (auto it = keys.begin(); it != keys.end(); ++it)
            QCOMPARE(store.defaults.stringForKey(it.value()[0]),
                     expected.contains(it.key()) ? resource.value(it.value()[1]).toString() : QStringLiteral("stale"));
    }

    // A resource entry may list locations tried in turn: the first that exists wins.
    void firstLocationThatExists()
    {
        TemporarySettings store;
        const QString poly = QStringLiteral("file:///usr/bin/poly");
        const QVariantMap resource{{QStringLiteral("polyml-std"),
                                    QStringList{"file:///nonexistent/poly", poly, "file:///usr/bin/sml"}}};
        QCOMPARE(discoverInterpreters(store.defaults, resource).size(), 1);
        QCOMPARE(store.defaults.stringForKey("polyPath"), poly);
    }
};

QTEST_GUILESS_MAIN(TestInterpreterDiscovery)
#include "tst_interpreterdiscovery.moc"
