#include "settings/OLSettingsValue.h"
#include "settings/OLUserDefaults.h"

#include <QTest>

#include <limits>

using namespace OLSettingsValue;

// Values come from two places: text parsed from the user's ini file and typed
// values of the registered property list. Both kinds are fed in here; an
// invalid expected value means unreadable as that type.
class TestSettingsValue : public QObject
{
    Q_OBJECT

    template<typename T>
    static QVariant read(const std::optional<T> &value) { return value ? QVariant::fromValue(*value) : QVariant(); }

private Q_SLOTS:
    void conversions_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("boolean");
        QTest::addColumn<QVariant>("integer");
        QTest::addColumn<QVariant>("real");
        QTest::addColumn<QVariant>("list"); // of strings; a string is a list of one
        // Three blank-separated fields at least, each its longest numeric prefix, in single precision.
        QTest::addColumn<QVariant>("colour");
        const QVariant no;
        const auto row = [](const char *name, const QVariant &value, const QVariant &boolean, const QVariant &integer,
                            const QVariant &real, const QVariant &list, const QVariant &colour = {}) {
            QTest::newRow(name) << value << boolean << integer << real << list << colour;
        };
        const auto rgb = [](float red, float green, float blue) { return QVariant::fromValue(QList<double>{red, green, blue}); };
        const qint64 big = std::numeric_limits<qint64>::max();
        row("ini text true", "true", true, no, no, QStringList{"true"});
        row("hand-written YES: three fields", " YES ", true, no, no, QStringList{" YES "}, rgb(0, 0, 0));
        row("hand-written no", "no", false, no, no, QStringList{"no"});
        row("spaces and sign", " -7 ", true, qint64(-7), -7.0, QStringList{" -7 "}, rgb(0, -7, 0));
        row("text of a float, exponent", "1.5e2", true, qint64(150), 150.0, QStringList{"1.5e2"});
        row("largest integer", QString::number(big), true, big, double(big), QStringList{QString::number(big)});
        row("beyond 64 bits", "1e30", true, no, 1e30, QStringList{"1e30"});
        row("trailing letters", "12abc", no, no, no, QStringList{"12abc"});
        row("infinity", "inf", no, no, no, QStringList{"inf"});
        row("empty text: a list of one empty string", "", no, no, no, QStringList{""});
        row("plist integer 0", qlonglong(0), false, qint64(0), 0.0, no);
        row("negative real truncates toward zero", -2.7, true, qint64(-2), -2.7, no);
        row("not a number", std::numeric_limits<double>::quiet_NaN(), no, no, no, no);
        row("bool", true, true, qint64(1), 1.0, no);
        row("byte array", QByteArray("12"), no, no, no, no);
        row("ini list", QStringList{"1", "0"}, no, no, no, QStringList{"1", "0"});
        row("ini list of three, no colour", QStringList{"1", "0", "0"}, no, no, no, QStringList{"1", "0", "0"});
        row("ini empty list is invalid", no, no, no, no, QStringList{});
        row("plist array of strings", QVariantList{"x", "y"}, no, no, no, QStringList{"x", "y"});
        row("plist array with a number", QVariantList{"x", 1}, no, no, no, no);
        row("colour: no fourth field", "0.1 0.2 0.3", no, no, no, QStringList{"0.1 0.2 0.3"}, rgb(0.1f, 0.2f, 0.3f));
        row("colour: longest numeric prefix; signs, bare points", "0.5x 1e-1junk +.5", no, no, no, QStringList{"0.5x 1e-1junk +.5"}, rgb(0.5f, 0.1f, 0.5f));
        row("colour: two spaces make an empty field; incomplete exponents", "1e+  2E2", no, no, no, QStringList{"1e+  2E2"}, rgb(1, 0, 200));
        row("colour: no numbers, two signs, no NaN", "abc +-1 nan", no, no, no, QStringList{"abc +-1 nan"}, rgb(0, 0, 0));
        row("colour: other digits than ASCII, beyond single precision", "\u0663 1e39 \t1", no, no, no, QStringList{"\u0663 1e39 \t1"}, rgb(0, 0, 1));
        row("colour: comma separated is one field", "1.0,0.5,0.0", no, no, no, QStringList{"1.0,0.5,0.0"});
        row("colour: two fields", "0.5 0.5", no, no, no, QStringList{"0.5 0.5"});
    }
    void conversions()
    {
        QFETCH(QVariant, value);
        QTEST(read(toBool(value)), "boolean");
        QTEST(read(toInteger(value)), "integer");
        QTEST(read(toReal(value)), "real");
        QTEST(read(toStringList(value)), "list");
        const std::optional<OLColor> colour = OLUserDefaults::decodeColor(value, 0.25);
        QTEST(colour ? QVariant::fromValue(QList<double>{colour->red, colour->green, colour->blue}) : QVariant(), "colour");
        QVERIFY(!colour || colour->alpha == 0.25);
        QCOMPARE(read(toString(value)), value.typeId() == QMetaType::QString ? value : QVariant());
        // A font size written as 12 must come back as an integer, 12.5 as a real.
        if (const auto number = toNumber(value); number && value.typeId() == QMetaType::QString)
            QCOMPARE(number->typeId(), value.toString().contains(u'.') || value.toString().contains(u'e')
                                           ? QMetaType::Double : QMetaType::LongLong);
    }
};

QTEST_GUILESS_MAIN(TestSettingsValue)
#include "tst_settingsvalue.moc"
