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
    // What is read keeps its types (integers stay integers, reals reals);
    // anything malformed is refused with the line it failed at.
    void reads_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QVariant>("expected"); // invalid: refused
        QTest::newRow("every kind of value, nested")
            << plist("<dict><key>s</key><string> DejaVu </string><key>i</key><integer>12</integer><key>r</key><real>0.8"
                     "</real><key>t</key><true/><key>f</key><false/><key>a</key><array><string>x</string><array/>"
                     "</array><key>d</key><dict/></dict>")
            << QVariant(QVariantMap{{"s", " DejaVu "}, {"i", qlonglong(12)}, {"r", 0.8}, {"t", true}, {"f", false},
                                    {"a", QVariantList{"x", QVariantList{}}}, {"d", QVariantMap{}}});
        QTest::newRow("comments, a document type and white space are skipped")
            << QByteArray("<?xml version=\"1.0\"?>\n<!DOCTYPE plist SYSTEM \"plist.dtd\">\n<!-- c -->\n<plist>\n\t<!-- c -->"
                          "\n\t<dict>\n\t\t<key>k</key>\n\t\t<!-- c -->\n\t\t<string>v</string>\n\t</dict>\n</plist>\n")
            << QVariant(QVariantMap{{"k", "v"}});
        QTest::newRow("numbers: white space, signs, decimal only, exponents")
            << plist("<array><integer> 42 </integer><integer>+7</integer><integer>9223372036854775807</integer>"
                     "<integer>010</integer><real>1e-3</real><real>3</real></array>")
            << QVariant(QVariantList{qlonglong(42), qlonglong(7), qlonglong(9223372036854775807LL), qlonglong(10), 1e-3, 3.0});
        const char *refused[] = {"<dict><key>a</key></dict>", "<dict><key>a</key><true/><key>a</key><false/></dict>",
                                 "<date>2024-01-01T00:00:00Z</date>", "<integer>12abc</integer>",
                                 "<integer>99999999999999999999</integer>", "<true>yes</true>",
                                 "<dict>loose<key>a</key><true/></dict>", "<string>a</string><string>b</string>"};
        for (const char *body : refused)
            QTest::addRow("refused: %s", body) << plist(body) << QVariant();
        QTest::newRow("refused: root is not plist") << QByteArray("<dict><key>a</key><string>b</string></dict>") << QVariant();
        QTest::newRow("refused: no value") << QByteArray("<plist/>") << QVariant();
        QTest::newRow("refused: nested beyond any real file")
            << plist(QByteArray("<array>").repeated(100000) + QByteArray("</array>").repeated(100000)) << QVariant();
    }

    void reads()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QVariant, expected);
        QString error;
        const std::optional<QVariant> value = readPropertyList(xml, &error);
        QCOMPARE(withTypes(value.value_or(QVariant())), withTypes(expected));
        QVERIFY2(value || (error.startsWith("line ") && error.size() > 10), qPrintable(error));
    }

    // The registered defaults hold only settings keys (a misspelt one would
    // silently never apply; their values are the user defaults tests'
    // matter). Each mode's location and its discovery entry name the same
    // local file.
    void resources()
    {
        using namespace OLKey;
        QStringList keys{maximumCommitHistoryLength, ansFontTraits, errFontTraits, fontSize, shouldRestoreCommitHistory,
                         shouldReopenFiles, verticalOrientation, shouldHighlightSyntax, showLineNumbers, outAlpha, fontName,
                         regColor, errColor, keyColor, strColor, comColor};
        keys.sort();
        QCOMPARE(OLUserDefaults::defaultPreferences().keys(), keys);
        const QVariantMap locations = OLUserDefaults::standardInterpreterLocations();
        const QLatin1StringView discovery[] = {mosmlStdLocation, smlnjStdLocation, aliceStdLocation, polyStdLocation};
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
