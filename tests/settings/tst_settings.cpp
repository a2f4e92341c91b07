#include "settings/OLPropertyList.h"
#include "settings/OLSettingsValue.h"
#include "settingstestsupport.h"

#include <QStandardPaths>
#include <QTest>

#include <limits>

using namespace OLSettingsValue;

namespace {
QByteArray plist(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body + "\n</plist>\n";
}

// The resource, and values for the keys it leaves out, so that every fallback shows.
QVariantMap registered()
{
    QVariantMap registered = OLUserDefaults::defaultPreferences();
    for (const QString &key : {QString(OLKey::preferredInterpreter), QString(OLKey::polyPath)})
        registered.insert(key, "file://localhost/usr/bin/poly");
    return registered;
}

// A settings file (written by hand when `contents` is given) in a temporary
// folder, with a store on top of it, registered() or nothing registered.
struct Store {
    Store(const char *contents, bool registered) : registered(registered)
    {
        if (QFile file(path); contents && file.open(QIODevice::WriteOnly))
            file.write(contents);
        open();
    }
    // QSettings keeps the parsed contents of a file for the whole process,
    // typed as they were written: the next run reads a copy.
    void restart()
    {
        defaults.reset();
        settings.reset(); // writes the file
        QFile::copy(path, path + u'2');
        path += u'2';
        open();
    }
    void open()
    {
        settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        defaults = std::make_unique<OLUserDefaults>(*settings);
        if (registered)
            defaults->registerDefaults(::registered());
    }
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Ostrel.conf"));
    bool registered;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<OLUserDefaults> defaults;
};

// What reads otherwise than in a store holding nothing over registered().
QString changes(const OLUserDefaults &d)
{
    TempSettings resource;
    resource.defaults.registerDefaults(registered());
    return changes(describe(resource.defaults), describe(d));
}

using D = OLUserDefaults;
struct Row {
    const char *name;
    const char *ini; // the user's file, written by hand; none: empty
    bool registered; // registered() or nothing
    void (*save)(OLUserDefaults &);
    const char *expected; // changes(), in this run and the next
};
const char corrupt[] =
    "[General]\nverticalOrientation=maybe\nshouldHighlightSyntax=2x\nshouldReopenFiles=@Invalid()\n"
    "shouldRestoreCommitHistory=true, false\nmaximumCommitHistoryLength=1e30\nmaximumConsoleLength=x\n"
    "outAlpha=1e300\nansFontTraits=12abc\nerrFontTraits=@ByteArray(12)\nfontName=DejaVu, Sans\nfontSize=inf\n"
    "regColor=0.5 0.5\nerrColor=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x3xyz)\nkeyColor=1.0, 0.0, 0.0\nstrColor=\n"
    "comColor=0.5\npreferredInterpreter=file://localhost/usr/bin/poly, -q\nPOLYML=@Rect(1 2 3 4)\n"
    "polyPath=a, b\nopenedFiles=@Variant(garbage)\ncommitHistory=@Rect(1 2 3 4)\nwindowGeometry=120 90 700 450\n";
const OLStyleSet styleSet{OLColor{0.1, 0.2, 0.3, 0.4}, OLColor{1, 0, 0, 0.4}, OLColor{0, 0, 1, 1},
                         OLColor{0.123456789, 0.5, 0.987654321, 0}, OLColor{0, 0.5, 0, 0.4},
                         QStringLiteral("Mono"), 12.5, QStringLiteral("Bold Oblique")};
const Row rows[] = {
    // A console that keeps nothing could show no output, though.
    {"nothing registered: nothing", nullptr, false, nullptr, "alpha=0.800000012>0 | alphas=1/0.800000012>/ | answerTraits=16777220>0 | com=0.400000 0.400000 0.400000 1.0>none | err=0.800000 0.000000 0.000000 1.0>none | errorTraits=16777218>0 | font=DejaVu Sans Mono,12,>,, | highlight=true>false | historyLength=100>0 | interpreter=file://localhost/usr/bin/poly> | key=0.000000 0.200000 0.700000 1.0>none | lines=true>false | polyPath=file://localhost/usr/bin/poly> | reg=0.000000 0.000000 0.000000 1.0>none | reopen=true>false | restore=true>false | str=0.600000 0.300000 0.000000 1.0>none | vertical=true>false"},
    // Each key holds what the program cannot read; each reads as if absent.
    {"unreadable: the registered values", corrupt, true, nullptr, ""},
    {"a hand-edited list: what can be read of it",
     "[General]\nopenedFiles=not a url, file:///a.sml, relative/b.sml, , \"file://localhost/c,d.sml\"\n", true, nullptr, "openedFiles=QList()>QList(QUrl(\"file:///a.sml\"), QUrl(\"file://localhost/c,d.sml\"))"},
    // A stored false must not fall through to a registered true.
    {"vertical orientation false", nullptr, true, [](D &d) { d.saveVerticalOrientation(false); }, "vertical=true>false"},
    {"history length zero over a registered 100", nullptr, true, [](D &d) { d.saveMaximumCommitHistoryLength(0); }, "historyLength=100>0"},
    {"console length 7, where the registered layer holds none", nullptr, true, [](D &d) { d.saveMaximumConsoleLength(7); }, "consoleLength=1500000>7"},
    {"console length zero gives the default", nullptr, true, [](D &d) { d.saveMaximumConsoleLength(0); }, ""},
    {"answer traits bold italic", nullptr, true, [](D &d) { d.saveAnswerFontTraits(OLFontTrait::bold | OLFontTrait::italic); }, "answerTraits=16777220>3"},
    {"alpha narrowed to single precision", nullptr, true, [](D &d) { d.saveAnswerAlpha(0.3); }, "alpha=0.800000012>0.300000012 | alphas=1/0.800000012>1/0.300000012"},
    {"history of one empty entry", nullptr, true, [](D &d) { d.saveCommitHistory({""}); }, "history=QList()>QList(\"\")"},
    {"history entries the ini form must escape", nullptr, true, [](D &d) { d.saveCommitHistory({"\"quoted\", back\\slash", "fun f x =\n  x + 1", "@Invalid()", " key = value ", "\u00e9\U0001F600"}); }, "history=QList()>QList(\"\\\"quoted\\\", back\\\\slash\", \"fun f x =\\n  x + 1\", \"@Invalid()\", \" key = value \", \"\u00e9\U0001F600\")"},
    {"opened files in order, awkward names", nullptr, true, [](D &d) { d.saveOpenedFiles({QUrl::fromLocalFile("/home/u/z.sml"), QUrl::fromLocalFile("/u/a,b 100%#1.sml"), QUrl("file://localhost/usr/share/x.txt")}); }, "openedFiles=QList()>QList(QUrl(\"file:///home/u/z.sml\"), QUrl(\"file:///u/a,b 100%25%231.sml\"), QUrl(\"file://localhost/usr/share/x.txt\"))"},
    {"window geometry", nullptr, true, [](D &d) { d.saveWindowGeometry(QRect(-20, 40, 700, 450)); }, "geometry=QRect(0,0 0x0)>QRect(-20,40 700x450)"},
    // The colours' own alpha is never stored: the opaque set has alpha 1, the answer set the answer alpha.
    {"a style set", nullptr, true, [](D &d) { d.saveFontAttributes(styleSet); }, "com=0.400000 0.400000 0.400000 1.0>0.000000 0.500000 0.000000 1.0 | err=0.800000 0.000000 0.000000 1.0>1.000000 0.000000 0.000000 1.0 | font=DejaVu Sans Mono,12,>Mono,12.5,Bold Oblique | key=0.000000 0.200000 0.700000 1.0>0.000000 0.000000 1.000000 1.0 | reg=0.000000 0.000000 0.000000 1.0>0.100000 0.200000 0.300000 1.0 | str=0.600000 0.300000 0.000000 1.0>0.123457 0.500000 0.987654 1.0"},
    // An absent name, size or face removes its key; an absent colour is stored as black.
    {"a style set of one colour", nullptr, true, [](D &d) { d.saveFontAttributes({OLColor{1, 0, 0, 1}, {}, {}, {}, {}, {}, {}, {}}); }, "com=0.400000 0.400000 0.400000 1.0>0.000000 0.000000 0.000000 1.0 | err=0.800000 0.000000 0.000000 1.0>0.000000 0.000000 0.000000 1.0 | key=0.000000 0.200000 0.700000 1.0>0.000000 0.000000 0.000000 1.0 | reg=0.000000 0.000000 0.000000 1.0>1.000000 0.000000 0.000000 1.0 | str=0.600000 0.300000 0.000000 1.0>0.000000 0.000000 0.000000 1.0"},
};
} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

    template<typename T>
    static QVariant read(const std::optional<T> &value) { return value ? QVariant::fromValue(*value) : QVariant(); }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // The registered layer shows through, the user's value wins, read in this
    // run and the next; the user's layer is where the desktop keeps settings.
    void reads_data()
    {
        QTest::addColumn<int>("row");
        for (const Row &row : rows)
            QTest::newRow(row.name) << int(&row - rows);
    }
    void reads()
    {
        QFETCH(int, row);
        Store store(rows[row].ini, rows[row].registered);
        if (rows[row].save)
            rows[row].save(*store.defaults);
        QVERIFY(!store.defaults->lastWriteFailed());
        QCOMPARE(changes(*store.defaults), QString::fromUtf8(rows[row].expected));
        store.restart();
        QCOMPARE(changes(*store.defaults), QString::fromUtf8(rows[row].expected));
        QCOMPARE(OLUserDefaults::openUserLayer()->fileName(),
                 QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Ostrel/Ostrel.conf");
    }

    // A failed write is reported, and the run goes on with the values saved in it.
    void writeFailure()
    {
        TempSettings store;
        QVERIFY(QDir(store.dir.path()).mkdir(QStringLiteral("ostrel.ini")));
        store.defaults.saveMaximumCommitHistoryLength(42);
        QVERIFY(store.defaults.lastWriteFailed());
        QCOMPARE(store.defaults.loadMaximumCommitHistoryLength(), 42);
    }

    void localPathForUrl_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QString>("path");
        QTest::newRow("localhost in capitals") << QUrl("FILE://LocalHost/usr/bin/sml") << "/usr/bin/sml";
        QTest::newRow("no host, escapes decoded") << QUrl("file:///opt/my%20sml/caf%C3%A9") << "/opt/my sml/caf\u00e9";
        QTest::newRow("loopback address is another host") << QUrl("file://127.0.0.1/usr/bin/poly") << "";
        QTest::newRow("another scheme") << QUrl("http://localhost/usr/bin/poly") << "";
        QTest::newRow("relative file URL") << QUrl("file:usr/bin/poly") << "";
    }
    void localPathForUrl()
    {
        QFETCH(QUrl, url);
        QTEST(::localPathForUrl(url), "path");
    }

    // What is read keeps its types (integers stay integers, reals reals);
    // anything malformed is refused with the line it failed at.
    void propertyList_data()
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

    void propertyList()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QVariant, expected);
        QString error;
        const std::optional<QVariant> value = readPropertyList(xml, &error);
        QCOMPARE(text(value.value_or(QVariant())), text(expected));
        QVERIFY2(value || (error.startsWith("line ") && error.size() > 10), qPrintable(error));
    }

    // Values come from two places: text parsed from the user's ini file and typed
    // values of the registered property list. Both kinds are fed in here; an
    // invalid expected value means unreadable as that type.
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
        row("hand-written YES: three fields", " YES ", true, no, no, QStringList{" YES "}, rgb(0, 0, 0));
        row("spaces and sign", " -7 ", true, qint64(-7), -7.0, QStringList{" -7 "}, rgb(0, -7, 0));
        row("text of a float, exponent", "1.5e2", true, qint64(150), 150.0, QStringList{"1.5e2"});
        row("largest integer", QString::number(big), true, big, double(big), QStringList{QString::number(big)});
        row("beyond 64 bits", "1e30", true, no, 1e30, QStringList{"1e30"});
        row("trailing letters", "12abc", no, no, no, QStringList{"12abc"});
        row("empty text: a list of one empty string", "", no, no, no, QStringList{""});
        row("plist integer 0", qlonglong(0), false, qint64(0), 0.0, no);
        row("negative real truncates toward zero", -2.7, true, qint64(-2), -2.7, no);
        row("not a number", std::numeric_limits<double>::quiet_NaN(), no, no, no, no);
        row("bool", true, true, qint64(1), 1.0, no);
        row("byte array", QByteArray("12"), no, no, no, no);
        row("ini list, no colour", QStringList{"1", "0", "0"}, no, no, no, QStringList{"1", "0", "0"});
        row("ini empty list is invalid", no, no, no, no, QStringList{});
        row("plist array of strings", QVariantList{"x", "y"}, no, no, no, QStringList{"x", "y"});
        row("plist array with a number", QVariantList{"x", 1}, no, no, no, no);
        row("colour: no fourth field", "0.1 0.2 0.3", no, no, no, QStringList{"0.1 0.2 0.3"}, rgb(0.1f, 0.2f, 0.3f));
        row("colour: longest numeric prefix; signs, bare points", "0.5x 1e-1junk +.5", no, no, no, QStringList{"0.5x 1e-1junk +.5"}, rgb(0.5f, 0.1f, 0.5f));
        row("colour: two spaces make an empty field; incomplete exponents", "1e+  2E2", no, no, no, QStringList{"1e+  2E2"}, rgb(1, 0, 200));
        row("colour: no numbers, two signs, no NaN", "abc +-1 nan", no, no, no, QStringList{"abc +-1 nan"}, rgb(0, 0, 0));
        row("colour: other digits than ASCII, beyond single precision", "\u0663 1e39 \t1", no, no, no, QStringList{"\u0663 1e39 \t1"}, rgb(0, 0, 1));
        row("colour: comma separated is one field, fewer than three", "1.0,0.5,0.0", no, no, no, QStringList{"1.0,0.5,0.0"});
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
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
