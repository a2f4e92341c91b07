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

bool isInteger(const QVariant &value)
{
    return value.typeId() == QMetaType::LongLong;
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
        QTest::newRow("empty string, entities and CDATA")
            << plist("<array><string/><string>&lt;a &amp; b&gt;</string><string><![CDATA[<x>]]></string>"
                     "<string>  spaced  </string></array>")
            << QVariant(QVariantList{"", "<a & b>", "<x>", "  spaced  "});
        QTest::newRow("numbers with white space, signs and exponents")
            << plist("<array><integer> 42 </integer><integer>+7</integer><integer>9223372036854775807</integer>"
                     "<real>1e-3</real><real>-0.5</real><real>3</real></array>")
            << QVariant(QVariantList{qlonglong(42), qlonglong(7), qlonglong(9223372036854775807LL), 1e-3, -0.5, 3.0});
        QTest::newRow("a string at the top") << plist("<string>alone</string>") << QVariant("alone");
    }

    void reads()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QVariant, expected);
        QString error;
        const std::optional<QVariant> value = readPropertyList(xml, &error);
        QVERIFY2(value, qPrintable(error));
        // Compared with their types: integers must stay integers, reals reals.
        QCOMPARE(withTypes(*value), withTypes(expected));
    }

    void refusesMalformed_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("not XML") << QByteArray("fontName = DejaVu");
        QTest::newRow("unclosed elements") << QByteArray("<plist><dict><key>a</key><string>b</string>");
        QTest::newRow("mismatched end tag") << plist("<dict><key>a</key><string>b</integer></dict>");
        QTest::newRow("root is not plist") << QByteArray("<dict><key>a</key><string>b</string></dict>");
        QTest::newRow("plist without a value") << QByteArray("<plist/>");
        QTest::newRow("two values") << plist("<string>a</string><string>b</string>");
        QTest::newRow("key without a value") << plist("<dict><key>a</key></dict>");
        QTest::newRow("value without a key") << plist("<dict><string>a</string></dict>");
        QTest::newRow("key twice") << plist("<dict><key>a</key><true/><key>a</key><false/></dict>");
        QTest::newRow("unsupported date") << plist("<date>2024-01-01T00:00:00Z</date>");
        QTest::newRow("unsupported data") << plist("<data>AAEC</data>");
        QTest::newRow("integer with letters") << plist("<integer>12abc</integer>");
        QTest::newRow("fractional integer") << plist("<integer>1.5</integer>");
        QTest::newRow("integer beyond 64 bits") << plist("<integer>99999999999999999999</integer>");
        QTest::newRow("real that is no number") << plist("<real>opaque</real>");
        QTest::newRow("empty real") << plist("<real/>");
        QTest::newRow("text in true") << plist("<true>yes</true>");
        QTest::newRow("text between dict entries") << plist("<dict>loose<key>a</key><true/></dict>");
        QTest::newRow("element inside a string") << plist("<string>a<b/>c</string>");
        QTest::newRow("element inside a key") << plist("<dict><key><b/></key><true/></dict>");
        QTest::newRow("nested beyond any real file")
            << plist(QByteArray("<array>").repeated(100000) + QByteArray("</array>").repeated(100000));
    }

    void refusesMalformed()
    {
        QFETCH(QByteArray, xml);
        QString error;
        const std::optional<QVariant> value = readPropertyList(xml, &error);
        QVERIFY2(!value, qPrintable(value ? value->toString() : QString()));
        QVERIFY2(error.startsWith("line ") && error.size() > 10, qPrintable(error));
    }

    // The registered defaults hold every key the program relies on, each in
    // the form the settings store keeps it.
    void defaultPreferencesResource()
    {
        const QVariantMap defaults = OLUserDefaults::defaultPreferences();
        QVERIFY(!defaults.isEmpty());

        QVERIFY(isInteger(defaults.value(OLKey::maximumCommitHistoryLength)));
        QCOMPARE(defaults.value(OLKey::maximumCommitHistoryLength).toLongLong(), 100);
        QCOMPARE(defaults.value(OLKey::shouldRestoreCommitHistory), QVariant(true));
        QCOMPARE(defaults.value(OLKey::shouldReopenFiles), QVariant(true));
        QCOMPARE(defaults.value(OLKey::verticalOrientation).typeId(), QMetaType::Bool);

        const QVariant alpha = defaults.value(OLKey::outAlpha);
        QCOMPARE(alpha.typeId(), QMetaType::Double);
        QVERIFY(alpha.toDouble() > 0 && alpha.toDouble() < 1);

        // As the preferences window stores them: one of bold and not bold, one of italic and not italic.
        for (QLatin1StringView key : {OLKey::ansFontTraits, OLKey::errFontTraits}) {
            const QVariant traits = defaults.value(key);
            QVERIFY2(isInteger(traits), key.data());
            const qint64 mask = traits.toLongLong();
            QVERIFY2(bool(mask & OLFontTrait::bold) != bool(mask & OLFontTrait::notBold), key.data());
            QVERIFY2(bool(mask & OLFontTrait::italic) != bool(mask & OLFontTrait::notItalic), key.data());
            QCOMPARE(mask & ~(OLFontTrait::bold | OLFontTrait::notBold | OLFontTrait::italic | OLFontTrait::notItalic), 0);
        }

        for (QLatin1StringView key : {OLKey::regColor, OLKey::errColor, OLKey::keyColor, OLKey::strColor, OLKey::comColor}) {
            const QVariant text = defaults.value(key);
            QCOMPARE(text.typeId(), QMetaType::QString);
            const std::optional<OLColor> color = OLUserDefaults::decodeColor(text, 1.0);
            QVERIFY2(color, key.data());
            for (double component : {color->red, color->green, color->blue})
                QVERIFY2(component >= 0 && component <= 1, key.data());
            // Stored exactly as the program itself writes colour text.
            QCOMPARE(OLUserDefaults::encodeColor(color), text.toString());
        }

        QCOMPARE(defaults.value(OLKey::fontName), QVariant("DejaVu Sans Mono"));
        QVERIFY(isInteger(defaults.value(OLKey::fontSize)));
        QCOMPARE(defaults.value(OLKey::fontSize).toLongLong(), 12);

        // Nothing but settings keys; a misspelt key would silently never apply.
        const QSet<QString> known{OLKey::maximumCommitHistoryLength, OLKey::shouldRestoreCommitHistory,
                                  OLKey::shouldReopenFiles, OLKey::verticalOrientation, OLKey::shouldHighlightSyntax,
                                  OLKey::outAlpha, OLKey::ansFontTraits, OLKey::errFontTraits, OLKey::regColor,
                                  OLKey::errColor, OLKey::keyColor, OLKey::strColor, OLKey::comColor,
                                  OLKey::fontName, OLKey::fontSize};
        for (const QString &key : defaults.keys())
            QVERIFY2(known.contains(key), qPrintable(key));
    }

    void standardLocationsResource()
    {
        const QVariantMap locations = OLUserDefaults::standardInterpreterLocations();
        const QList<std::pair<QString, QLatin1StringView>> expected{
            {"file://localhost/usr/local/bin/mosml", OLKey::mosmlStdLocation},
            {"file://localhost/usr/bin/sml", OLKey::smlnjStdLocation},
            {"file://localhost/usr/local/bin/alice", OLKey::aliceStdLocation},
            {"file://localhost/usr/bin/poly", OLKey::polyStdLocation},
        };
        QCOMPARE(locations.size(), 8);
        for (int mode = OLMosML; mode <= OLPolyML; ++mode) {
            const auto &[url, discoveryKey] = expected.at(mode);
            const QString modeKey = OLUserDefaults::keyForMode(OLInterpreterMode(mode));
            QCOMPARE(locations.value(modeKey), QVariant(url));
            QCOMPARE(locations.value(discoveryKey), QVariant(url));
            QCOMPARE(localPathForUrl(QUrl(url)), url.mid(16));
        }
    }
};

QTEST_GUILESS_MAIN(TestPropertyList)
#include "tst_propertylist.moc"
