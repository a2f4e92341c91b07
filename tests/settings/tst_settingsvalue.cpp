#include "settings/OLSettingsValue.h"

#include <QTest>

#include <limits>

using namespace OLSettingsValue;

// Values come from two places: text parsed from the user's ini file and typed
// values of the registered property list. Both kinds are fed in here; an
// invalid expected value means unreadable.
class TestSettingsValue : public QObject
{
    Q_OBJECT

    template<typename T>
    static QVariant read(const std::optional<T> &value) { return value ? QVariant::fromValue(*value) : QVariant(); }

private Q_SLOTS:
    void booleans_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("bool false") << QVariant(false) << QVariant(false);
        QTest::newRow("ini text true") << QVariant("true") << QVariant(true);
        QTest::newRow("ini text false") << QVariant("false") << QVariant(false);
        QTest::newRow("hand-written YES") << QVariant(" YES ") << QVariant(true);
        QTest::newRow("hand-written no") << QVariant("no") << QVariant(false);
        QTest::newRow("number text 0") << QVariant("0") << QVariant(false);
        QTest::newRow("number text 2") << QVariant("2") << QVariant(true);
        QTest::newRow("plist integer 0") << QVariant(qlonglong(0)) << QVariant(false);
        QTest::newRow("word") << QVariant("maybe") << QVariant();
        QTest::newRow("empty text") << QVariant("") << QVariant();
        QTest::newRow("list") << QVariant(QStringList{"true", "false"}) << QVariant();
        QTest::newRow("invalid") << QVariant() << QVariant();
    }
    void booleans()
    {
        QFETCH(QVariant, value);
        QFETCH(QVariant, expected);
        QCOMPARE(read(toBool(value)), expected);
    }

    void numbers_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("integer");
        QTest::addColumn<QVariant>("real");
        const qlonglong big = std::numeric_limits<qint64>::max();
        QTest::newRow("ini text with spaces and sign") << QVariant(" -7 ") << QVariant(qint64(-7)) << QVariant(-7.0);
        QTest::newRow("ini text of a float") << QVariant("0.800000011920929") << QVariant(qint64(0)) << QVariant(0.800000011920929);
        QTest::newRow("exponent truncated") << QVariant("1.5e2") << QVariant(qint64(150)) << QVariant(150.0);
        QTest::newRow("negative real truncates toward zero") << QVariant(-2.7) << QVariant(qint64(-2)) << QVariant(-2.7);
        QTest::newRow("largest integer") << QVariant(QString::number(big)) << QVariant(qint64(big)) << QVariant(double(big));
        QTest::newRow("beyond 64 bits") << QVariant("1e30") << QVariant() << QVariant(1e30);
        QTest::newRow("plist integer") << QVariant(qlonglong(16777220)) << QVariant(qint64(16777220)) << QVariant(16777220.0);
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
        QCOMPARE(read(toInteger(value)), integer);
        QCOMPARE(read(toReal(value)), real);
    }

    // A font size written as 12 must come back as an integer, 12.5 as a real.
    void numberKeepsIntegers()
    {
        QCOMPARE(toNumber(QVariant("12"))->typeId(), QMetaType::LongLong);
        QCOMPARE(toNumber(QVariant("12.5"))->typeId(), QMetaType::Double);
    }

    void strings_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("string");
        QTest::addColumn<QVariant>("list");
        const QVariant none;
        QTest::newRow("ini text") << QVariant("a b") << QVariant("a b") << QVariant(QStringList{"a b"});
        QTest::newRow("ini empty text, a list of one empty string") << QVariant("") << QVariant("") << QVariant(QStringList{""});
        QTest::newRow("ini list") << QVariant(QStringList{"a", "b"}) << none << QVariant(QStringList{"a", "b"});
        QTest::newRow("ini empty list is invalid") << none << none << QVariant(QStringList{});
        QTest::newRow("plist array of strings") << QVariant(QVariantList{"x", "y"}) << none << QVariant(QStringList{"x", "y"});
        QTest::newRow("plist array with a number") << QVariant(QVariantList{"x", 1}) << none << none;
        QTest::newRow("number") << QVariant(12) << none << none;
        QTest::newRow("map") << QVariant(QVariantMap{{"a", "b"}}) << none << none;
    }
    void strings()
    {
        QFETCH(QVariant, value);
        QFETCH(QVariant, string);
        QFETCH(QVariant, list);
        QCOMPARE(read(toString(value)), string);
        QCOMPARE(read(toStringList(value)), list);
    }
};

QTEST_GUILESS_MAIN(TestSettingsValue)
#include "tst_settingsvalue.moc"
