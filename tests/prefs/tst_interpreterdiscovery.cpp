#include "prefs/OLInterpreterDiscovery.h"
#include "prefstestsupport.h"

// Poly ML and SML of New Jersey are probed at their real places; Moscow ML
// and Alice ML are not installed here and are stand-in scripts in a
// temporary folder.
class TestInterpreterDiscovery : public QObject
{
    Q_OBJECT

    // Resource key to location, for the interpreters named: real ones for
    // Poly ML and SML/NJ, stand-ins for the others, missing files for the rest.
    static QVariantMap locations(const TemporarySettings &store, const QStringList &installed)
    {
        const auto location = [&](const QString &name, const QString &realPath) {
            if (!installed.contains(name))
                return fileUrl(store.missing(name));
            return fileUrl(realPath.isEmpty() ? store.standIn(name) : realPath);
        };
        return {
            {QStringLiteral("aliceml-std"), location(QStringLiteral("alice"), {})},
            {QStringLiteral("polyml-std"), location(QStringLiteral("poly"), QStringLiteral("/usr/bin/poly"))},
            {QStringLiteral("mosml-std"), location(QStringLiteral("mosml"), {})},
            {QStringLiteral("smlnj-std"), location(QStringLiteral("sml"), QStringLiteral("/usr/bin/sml"))},
        };
    }

    static QStringList titles(const QList<OLInterpreterRow> &rows)
    {
        QStringList result;
        for (const OLInterpreterRow &row : rows)
            result.append(displayNameForMode(row.mode));
        return result;
    }

private Q_SLOTS:
    void found_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("nothing installed") << QStringList() << QStringList();
        QTest::newRow("Poly ML and SML/NJ, the real ones")
            << QStringList{"poly", "sml"} << QStringList{"Poly ML", "SML of New Jersey"};
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
        QCOMPARE(titles(discoverInterpreters(*store.defaults, locations(store, installed))), expected);
    }

    void locationForms_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<bool>("found");
        QTest::newRow("file://localhost") << QStringLiteral("file://localhost/usr/bin/poly") << true;
        QTest::newRow("file:// without a host") << QStringLiteral("file:///usr/bin/poly") << true;
        QTest::newRow("another host") << QStringLiteral("file://elsewhere/usr/bin/poly") << false;
        QTest::newRow("a bare path is no URL of a file") << QStringLiteral("/usr/bin/poly") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void locationForms()
    {
        QFETCH(QString, location);
        QFETCH(bool, found);
        TemporarySettings store;
        const QVariantMap resource{{QStringLiteral("polyml-std"), location}};
        QCOMPARE(discoverInterpreters(*store.defaults, resource).size(), found ? 1 : 0);
    }

    // Each run writes the setting of every interpreter found and leaves the
    // others as they were, even when their resource entry changed.
    void standardPathsRewrittenOnlyForFound()
    {
        TemporarySettings store;
        for (const char *key : {"alicePath", "polyPath", "mosmlPath", "smlnjPath"})
            store.defaults->setValue(QStringLiteral("stale"), QLatin1StringView(key));
        const QVariantMap resource = locations(store, {QStringLiteral("poly"), QStringLiteral("mosml")});

        discoverInterpreters(*store.defaults, resource);
        QCOMPARE(store.defaults->stringForKey("polyPath"), resource.value("polyml-std").toString());
        QCOMPARE(store.defaults->stringForKey("mosmlPath"), resource.value("mosml-std").toString());
        QCOMPARE(store.defaults->stringForKey("alicePath"), QStringLiteral("stale"));
        QCOMPARE(store.defaults->stringForKey("smlnjPath"), QStringLiteral("stale"));

        store.defaults->setValue(QStringLiteral("edited"), "polyPath");
        discoverInterpreters(*store.defaults, resource);
        QCOMPARE(store.defaults->stringForKey("polyPath"), resource.value("polyml-std").toString());
    }

    void commandLineForExecutable_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("absolute") << QStringLiteral("/usr/bin/poly") << QStringLiteral("file://localhost/usr/bin/poly");
        QTest::newRow("relative, made absolute")
            << QStringLiteral("bin/mosml") << fileUrl(QDir::current().absoluteFilePath(QStringLiteral("bin/mosml")));
        QTest::newRow("unescaped, as the session runs it")
            << QStringLiteral("/opt/a%b#c/sml") << QStringLiteral("file://localhost/opt/a%b#c/sml");
    }
    void commandLineForExecutable()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(::commandLineForExecutable(path), expected);
    }
};

QTEST_GUILESS_MAIN(TestInterpreterDiscovery)
#include "tst_interpreterdiscovery.moc"
