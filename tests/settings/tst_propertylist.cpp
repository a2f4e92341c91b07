#include "settings/OLPropertyList.h"
#include "settings/OLSettingsKeys.h"
#include "settings/OLUserDefaults.h"

#include <QTest>

namespace {
QByteArray plist(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body + "\n</plist>\n";
}

QString withTypes(const QVariant &value)
{
    QString text;
    QDebug(&text) << value;
    return text;
}
} // namespace

class TestPropertyList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reads_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QVariant>("expected");

        QTest::newRow("every kind of value in a dict")
            << plist("<dict><key>s</key><string>DejaVu Sans Mono</string><key>i</key><integer>12</integer>"
                     "<key>r</key><real>0.8</real><key>t</key><true/><key>f</key><false/>"
                     "<key>a</key><array><string>x</string><integer>-3</integer></array></dict>")
            << QVariant(QVariantMap{{"s", "DejaVu Sans Mono"}, {"i", qlonglong(12)}, {"r", 0.8}, {"t", true},
                                    {"f", false}, {"a", QVariantList{"x", qlonglong(-3)}}});
        QTest::newRow("nested dicts and arrays")
            << plist("<array><dict><key>k</key><array><array/></array></dict><dict/></array>")
            << QVariant(QVariantList{QVariantMap{{"k", QVariantList{QVariantList{}}}}, QVariantMap{}});
        QTest::newRow("comments, a document type and white space are skipped")
            << QByteArray("<?xml version=\"1.0\"?>\n<!DOCTYPE plist SYSTEM \"plist.dtd\">\n<!-- c -->\n"
                          "<plist>\n\t<!-- c -->\n\t<dict>\n\t\t<key>k</key>\n\t\t<!-- c -->\n\t\t<string>v</string>\n"
                          "\t</dict>\n</plist>\n<!-- after -->\n")
            << QVariant(QVariantMap{{"k", "v"}});
        QTest::newRow("numbers with white space, signs and exponents")
            << plist("<array><integer> 42 </integer><integer>+7</integer><integer>9223372036854775807</integer>"
                     "<integer>010</integer><real>1e-3</real><real>-0.5</real><real>3</real></array>")
            << QVariant(QVariantList{qlonglong(42), qlonglong(7), qlonglong(9223372036854775807LL), qlonglong(10), 1e-3, -0.5,
                                     3.0});
        QTest::newRow("a string at the top, spaces kept") << plist("<string> alone </string>") << QVariant(" alone ");
        QTest::newRow("root is not plist") << QByteArray("<dict><key>a</key><string>b</string></dict>") << QVariant();
        QTest::newRow("plist without a value") << QByteArray("<plist/>") << QVariant();
        QTest::newRow("two values") << plist("<string>a</string><string>b</string>") << QVariant();
        QTest::newRow("key without a value") << plist("<dict><key>a</key></dict>") << QVariant();
        QTest::newRow("key twice") << plist("<dict><key>a</key><true/><key>a</key><false/></dict>") << QVariant();
        QTest::newRow("unsupported date") << plist("<date>2024-01-01T00:00:00Z</date>") << QVariant();
        QTest::newRow("integer with letters") << plist("<integer>12abc</integer>") << QVariant();
        QTest::newRow("integer beyond 64 bits") << plist("<integer>99999999999999999999</integer>") << QVariant();
        QTest::newRow("text in true") << plist("<true>yes</true>") << QVariant();
        QTest::newRow("text between dict entries") << plist("<dict>loose<key>a</key><true/></dict>") << QVariant();
        QTest::newRow("nested beyond any real file")
            << plist(QByteArray("<array>").repeated(100000) + QByteArray("</array>").repeated(100000)) << QVariant();
    }

    // What is read keeps its types: integers stay integers, reals reals.
    // Anything malformed is refused with the line it failed at.
    void reads()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QVariant, expected); // invalid: refused
        QString error;
        const std::optional<QVariant> value = readPropertyList(xml, &error);
        QCOMPARE(value.has_value(), expected.isValid());
        if (value)
            QCOMPARE(withTypes(*value), withTypes(expected));
        else
            QVERIFY2(error.startsWith("line ") && error.size() > 10, qPrintable(error));
    }

    // The registered defaults hold only settings keys (a misspelt one would
    // silently never apply), each in the form the settings store keeps it,
    // colours as the program writes them. Each mode's location and its
    // discovery entry name the same local file.
    void resources()
    {
        const QVariantMap defaults = OLUserDefaults::defaultPreferences();
        const QSet<QString> integers{OLKey::maximumCommitHistoryLength, OLKey::ansFontTraits, OLKey::errFontTraits, OLKey::fontSize};
        const QSet<QString> booleans{OLKey::shouldRestoreCommitHistory, OLKey::shouldReopenFiles, OLKey::verticalOrientation,
                                     OLKey::shouldHighlightSyntax, OLKey::showLineNumbers};
        const QSet<QString> colours{OLKey::regColor, OLKey::errColor, OLKey::keyColor, OLKey::strColor, OLKey::comColor};
        QCOMPARE(QSet<QString>(defaults.keyBegin(), defaults.keyEnd()),
                 integers + booleans + colours + QSet<QString>({OLKey::outAlpha, OLKey::fontName}));
        for (auto it = defaults.begin(); it != defaults.end(); ++it) {
            const int type = integers.contains(it.key()) ? QMetaType::LongLong : booleans.contains(it.key()) ? QMetaType::Bool
                           : it.key() == OLKey::outAlpha ? QMetaType::Double : QMetaType::QString;
            QVERIFY2(it->typeId() == type, qPrintable(it.key()));
            if (colours.contains(it.key()))
                QCOMPARE(OLUserDefaults::encodeColor(OLUserDefaults::decodeColor(*it, 1.0)), it->toString());
        }
        const QVariantMap locations = OLUserDefaults::standardInterpreterLocations();
        const QLatin1StringView discovery[] = {OLKey::mosmlStdLocation, OLKey::smlnjStdLocation, OLKey::aliceStdLocation,
                                               OLKey::polyStdLocation};
        QCOMPARE(locations.size(), 8);
        for (int mode = OLMosML; mode <= OLPolyML; ++mode) {
            const QVariant url = locations.value(OLUserDefaults::keyForMode(OLInterpreterMode(mode)));
            QCOMPARE(url.toString(), locations.value(discovery[mode]).toStringList().value(0));
            QVERIFY(localPathForUrl(url.toUrl()).startsWith(u'/'));
        }
    }
};

QTEST_GUILESS_MAIN(TestPropertyList)
#include "tst_propertylist.moc"
