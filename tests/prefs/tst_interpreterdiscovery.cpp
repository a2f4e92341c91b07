#include "prefs/OLInterpreterDiscovery.h"
#include "prefstestsupport.h"

// Poly ML and SML of New Jersey are probed at their real places; Moscow ML
// and Alice ML are not installed here and are stand-in scripts.
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
    void found()
    {
        QFETCH(QStringList, installed);
        QFETCH(QStringList, expected);
        TemporarySettings store;
        QStringList titles;
        for (const OLInterpreterRow &row : discoverInterpreters(*store.defaults, store.locations(installed)))
            titles.append(displayNameForMode(row.mode));
        QCOMPARE(titles, expected);
    }

    // The resource's entries are URLs, or lists of them tried in turn; which
    // of them name a local file is the settings tests' matter.
    void locationForms_data()
    {
        QTest::addColumn<QStringList>("locations");
        QTest::addColumn<QString>("found"); // and written; none: not found
        const QString poly = QStringLiteral("file:///usr/bin/poly");
        QTest::newRow("file:// without a host") << QStringList{poly} << poly;
        QTest::newRow("another host") << QStringList{"file://elsewhere/usr/bin/poly"} << "";
        QTest::newRow("a bare path is no URL of a file") << QStringList{"/usr/bin/poly"} << "";
        QTest::newRow("the first of a list that exists")
            << QStringList{"file:///nonexistent/poly", poly, "file:///usr/bin/sml"} << poly;
    }
    void locationForms()
    {
        QFETCH(QStringList, locations);
        QFETCH(QString, found);
        TemporarySettings store;
        QCOMPARE(discoverInterpreters(*store.defaults, {{QStringLiteral("polyml-std"), locations}}).size(),
                 found.isEmpty() ? 0 : 1);
        if (!found.isEmpty())
            QCOMPARE(store.defaults->stringForKey("polyPath"), found);
    }

    // Each run writes the setting of every interpreter found and leaves the
    // others as they were, even when their resource entry changed.
    void standardPathsRewrittenOnlyForFound()
    {
        TemporarySettings store;
        for (const char *key : {"alicePath", "polyPath", "mosmlPath", "smlnjPath"})
            store.defaults->setValue(QStringLiteral("stale"), QLatin1StringView(key));
        const QVariantMap resource = store.locations({QStringLiteral("poly"), QStringLiteral("mosml")});
        discoverInterpreters(*store.defaults, resource);
        QCOMPARE(store.defaults->stringForKey("polyPath"), resource.value("polyml-std").toString());
        QCOMPARE(store.defaults->stringForKey("mosmlPath"), resource.value("mosml-std").toString());
        QCOMPARE(store.defaults->stringForKey("alicePath"), QStringLiteral("stale"));
        QCOMPARE(store.defaults->stringForKey("smlnjPath"), QStringLiteral("stale"));
        store.defaults->setValue(QStringLiteral("edited"), "polyPath");
        discoverInterpreters(*store.defaults, resource);
        QCOMPARE(store.defaults->stringForKey("polyPath"), resource.value("polyml-std").toString());
    }
};

QTEST_GUILESS_MAIN(TestInterpreterDiscovery)
#include "tst_interpreterdiscovery.moc"
