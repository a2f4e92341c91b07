#include "settings/OLSettingsValue.h"

#include <QTest>

#include <limits>

using namespace OLSettingsValue;

// Values come from two places: text parsed from the user's ini file and typed
// values of the registered property list. Both kinds are fed in here.
class TestSettingsValue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void booleans_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("expected"); // -1: unreadable
        QTest::newRow("bool true") << QVariant(true) << 1;
        QTest::newRow("bool false") << QVariant(false) << 0;
        QTest::newRow("ini text true") << QVariant("true") << 1;
        QTest::newRow("ini text false") << QVariant("false") << 0;
        QTest::newRow("hand-written YES") << QVariant(" YES ") << 1;
        QTest::newRow("hand-written no") << QVariant("no") << 0;
        QTest::newRow("number text 0") << QVariant("0") << 0;
        QTest::newRow("number text 2") << QVariant("2") << 1;
        QTest::newRow("plist integer 0") << QVariant(qlonglong(0)) << 0;
        QTest::newRow("word") << QVariant("maybe") << -1;
        QTest::newRow("empty text") << QVariant("") << -1;
        QTest::newRow("list") << QVariant(QStringList{"true", "false"}) << -1;
        QTest::newRow("invalid") << QVariant() << -1;
    }

    void booleans()
    {
        QFETCH(QVariant, value);
        QFETCH(int, expected);
        const std::optional<bool> result = toBool(value);
        QCOMPARE(result.has_value(), expected != -1);
        if (result)
            QCOMPARE(int(*result), expected);
    }

    void numbers_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("integer"); // invalid: unreadable
        QTest::addColumn<QVariant>("real");
        const qlonglong big = std::numeric_limits<qint64>::max();
        QTest::newRow("ini text 100") << QVariant("100") << QVariant(qint64(100)) << QVariant(100.0);
        QTest::newRow("ini text with spaces and sign") << QVariant(" -7 ") << QVariant(qint64(-7)) << QVariant(-7.0);
        QTest::newRow("ini text of a float") << QVariant("0.800000011920929") << QVariant(qint64(0))
                                             << QVariant(0.800000011920929);
        QTest::newRow("exponent truncated") << QVariant("1.5e2") << QVariant(qint64(150)) << QVariant(150.0);
        QTest::newRow("negative real truncates toward zero") << QVariant(-2.7) << QVariant(qint64(-2)) << QVariant(-2.7);
        QTest::newRow("largest integer") << QVariant(QString::number(big)) << QVariant(qint64(big)) << QVariant(double(big));
        QTest::newRow("beyond 64 bits") << QVariant("1e30") << QVariant() << QVariant(1e30);
        QTest::newRow("plist integer") << QVariant(qlonglong(16777220)) << QVariant(qint64(16777220))
                                       << QVariant(16777220.0);
        QTest::newRow("float") << QVariant(0.5f) << QVariant(qint64(0)) << QVariant(0.5);
        QTest::newRow("bool") << QVariant(true) << QVariant(qint64(1)) << QVariant(1.0);
        QTest::newRow("trailing letters") << QVariant("12abc") << QVariant() << QVariant();
        QTest::newRow("infinity") << QVariant("inf") << QVariant() << QVariant();
        QTest::newRow("not a number") << QVariant(std::numeric_limits<double>::quiet_NaN()) << QVariant() << QVariant();
        QTest::newRow("boolean text") << QVariant("true") << QVariant() << QVariant();
        QTest::newRow("list") << QVariant(QStringList{"1", "2"}) << QVariant() << QVariant();
        QTest::newRow("byte array") << QVariant(QByteArray("12")) << QVariant() << QVariant();
        QTest::newRow("invalid") << QVariant() << QVariant() << QVariant();
    }

    void numbers()
    {
        QFETCH(QVariant, value);
        QFETCH(QVariant, integer);
        QFETCH(QVariant, real);
        const std::optional<qint64> asInteger = toInteger(value);
        QCOMPARE(asInteger.has_value(), integer.isValid());
        if (asInteger)
            QCOMPARE(*asInteger, integer.toLongLong());
        const std::optional<double> asReal = toReal(value);
        QCOMPARE(asReal.has_value(), real.isValid());
        if (asReal)
            QCOMPARE(*asReal, real.toDouble());
    }

    void numberKeepsIntegers()
    {
        // A font size written as 12 must come back as an integer, 12.5 as a real.
        QCOMPARE(toNumber(QVariant("12"))->typeId(), QMetaType::LongLong);
        QCOMPARE(toNumber(QVariant("12.5"))->typeId(), QMetaType::Double);
    }

    void strings()
    {
        QCOMPARE(toString(QVariant("a b")), std::optional<QString>("a b"));
        QCOMPARE(toString(QVariant("")), std::optional<QString>(""));
        QVERIFY(!toString(QVariant(QStringList{"a", "b"})));
        QVERIFY(!toString(QVariant(12)));
        QVERIFY(!toString(QVariant()));
    }

    void stringLists_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("expected"); // invalid: unreadable
        QTest::newRow("ini list") << QVariant(QStringList{"a", "b"}) << QVariant(QStringList{"a", "b"});
        QTest::newRow("ini one-element list is a string") << QVariant("a") << QVariant(QStringList{"a"});
        QTest::newRow("ini list of one empty string") << QVariant("") << QVariant(QStringList{""});
        QTest::newRow("ini empty list is invalid") << QVariant() << QVariant(QStringList{});
        QTest::newRow("plist array of strings") << QVariant(QVariantList{"x", "y"}) << QVariant(QStringList{"x", "y"});
        QTest::newRow("plist array with a number") << QVariant(QVariantList{"x", 1}) << QVariant();
        QTest::newRow("number") << QVariant(12) << QVariant();
        QTest::newRow("map") << QVariant(QVariantMap{{"a", "b"}}) << QVariant();
    }

    void stringLists()
    {
        QFETCH(QVariant, value);
        QFETCH(QVariant, expected);
        const std::optional<QStringList> list = toStringList(value);
        QCOMPARE(list.has_value(), expected.isValid());
        if (list)
            QCOMPARE(*list, expected.toStringList());
    }
};

QTEST_GUILESS_MAIN(TestSettingsValue)
#include "tst_settingsvalue.moc"
