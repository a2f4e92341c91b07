#include "settings/OLSettingsKeys.h"
#include "settings/OLUserDefaults.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <cmath>

namespace {

// A settings file in a temporary folder with a store on top of it.
// QSettings keeps the parsed contents of a file for the whole process, typed
// as they were written; restart() copies the file to a new name so that it is
// parsed from disk as by the next run of the program.
class Store
{
public:
    explicit Store(const QString &relativePath = QStringLiteral("Ostrel.conf"))
        : m_path(m_dir.filePath(relativePath))
    {
        open();
    }

    // A store on a file written by hand.
    static std::unique_ptr<Store> withFile(const QByteArray &contents)
    {
        auto store = std::make_unique<Store>();
        store->m_defaults.reset();
        store->m_settings.reset();
        QFile file(store->m_path);
        if (file.open(QIODevice::WriteOnly))
            file.write(contents);
        file.close();
        store->restart();
        return store;
    }

    bool isValid() const { return m_dir.isValid(); }
    OLUserDefaults &defaults() { return *m_defaults; }
    QSettings &settings() { return *m_settings; }
    QString path() const { return m_path; }
    QString folder() const { return m_dir.path(); }

    void registerDefaults(const QVariantMap &defaults)
    {
        m_registered.insert(defaults);
        m_defaults->registerDefaults(defaults);
    }

    void restart()
    {
        m_defaults.reset();
        m_settings.reset(); // writes the file
        const QString next = m_dir.filePath(QStringLiteral("run%1.conf").arg(++m_runs));
        if (QFile::exists(m_path))
            QFile::copy(m_path, next);
        m_path = next;
        open();
    }

private:
    void open()
    {
        m_settings = std::make_unique<QSettings>(m_path, QSettings::IniFormat);
        m_defaults = std::make_unique<OLUserDefaults>(*m_settings);
        m_defaults->registerDefaults(m_registered);
    }

    QTemporaryDir m_dir;
    QString m_path;
    int m_runs = 0;
    QVariantMap m_registered;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<OLUserDefaults> m_defaults;
};

struct BoolSetting {
    QLatin1StringView key;
    bool (OLUserDefaults::*load)() const;
    void (OLUserDefaults::*save)(bool);
};

const std::array<BoolSetting, 4> boolSettings{{
    {OLKey::verticalOrientation, &OLUserDefaults::loadVerticalOrientation, &OLUserDefaults::saveVerticalOrientation},
    {OLKey::shouldHighlightSyntax, &OLUserDefaults::loadShouldHighlightSyntax,
     &OLUserDefaults::saveShouldHighlightSyntax},
    {OLKey::shouldReopenFiles, &OLUserDefaults::loadShouldReopenFiles, &OLUserDefaults::saveShouldReopenFiles},
    {OLKey::shouldRestoreCommitHistory, &OLUserDefaults::loadShouldRestoreCommitHistory,
     &OLUserDefaults::saveShouldRestoreCommitHistory},
}};

QString describe(const std::optional<OLColor> &color)
{
    if (!color)
        return QStringLiteral("none");
    QString text;
    for (double component : {color->red, color->green, color->blue, color->alpha})
        text += QString::number(component, 'g', 17) + u' ';
    return text;
}

QString describe(const OLStyleSet &styles)
{
    QString text;
    QDebug(&text) << describe(styles.regColor) << describe(styles.errColor) << describe(styles.keyColor)
                  << describe(styles.strColor) << describe(styles.comColor) << styles.name << styles.size;
    return text;
}

// Every setting as the program reads it, one line each, for comparing stores.
QStringList describe(const OLUserDefaults &defaults)
{
    QStringList lines;
    for (const BoolSetting &setting : boolSettings)
        lines << QStringLiteral("%1: %2").arg(setting.key).arg((defaults.*setting.load)());
    lines << QStringLiteral("history length: %1").arg(defaults.loadMaximumCommitHistoryLength())
          << QStringLiteral("answer alpha: %1").arg(defaults.loadAnswerAlpha())
          << QStringLiteral("answer traits: %1").arg(defaults.loadAnswerFontTraits())
          << QStringLiteral("error traits: %1").arg(defaults.loadErrorFontTraits())
          << QStringLiteral("opaque styles: %1").arg(describe(defaults.loadFontAttributes(true)))
          << QStringLiteral("answer styles: %1").arg(describe(defaults.loadFontAttributes(false)))
          << QStringLiteral("preferred: %1").arg(defaults.loadPreferredInterpreterPath())
          << QStringLiteral("history: %1").arg(defaults.loadCommitHistory().join(u'|'));
    QStringList files;
    for (const QUrl &url : defaults.loadOpenedFiles())
        files << url.toString();
    lines << QStringLiteral("opened: %1").arg(files.join(u'|'));
    for (int mode = OLMosML; mode <= OLUnknownMode; ++mode) {
        const std::optional<QUrl> url = defaults.loadPathForInterpreter(OLInterpreterMode(mode));
        lines << QStringLiteral("path %1: %2").arg(mode).arg(url ? url->toString() : QStringLiteral("none"));
    }
    for (QLatin1StringView key : {OLKey::alicePath, OLKey::mosmlPath, OLKey::polyPath, OLKey::smlnjPath})
        lines << QStringLiteral("%1: %2").arg(key, defaults.stringForKey(key));
    return lines;
}

// The registered layer of the corrupt-file tests: the real resource plus
// values for the keys it leaves out, so that every fallback shows.
QVariantMap fullRegisteredLayer()
{
    QVariantMap layer = OLUserDefaults::defaultPreferences();
    layer.insert(OLKey::preferredInterpreter, "file://localhost/usr/bin/poly");
    layer.insert(OLUserDefaults::keyForMode(OLPolyML), "file://localhost/usr/bin/poly");
    layer.insert(OLKey::polyPath, "file://localhost/usr/bin/poly");
    return layer;
}

bool closeTo(double a, double b)
{
    return std::fabs(a - b) <= 1e-6;
}

} // namespace

Q_DECLARE_METATYPE(std::optional<OLColor>)

class TestUserDefaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Before any QSettings: the user's layer is looked up once per process.
        QStandardPaths::setTestModeEnabled(true);
    }

    void absentSettingsReadAsNothing()
    {
        Store store;
        QVERIFY(store.isValid());
        OLUserDefaults &defaults = store.defaults();
        for (const BoolSetting &setting : boolSettings)
            QVERIFY2(!(defaults.*setting.load)(), setting.key.data());
        QCOMPARE(defaults.loadMaximumCommitHistoryLength(), 0);
        QCOMPARE(defaults.loadAnswerAlpha(), 0.0);
        QCOMPARE(defaults.loadAnswerFontTraits(), 0);
        QCOMPARE(defaults.loadErrorFontTraits(), 0);
        QVERIFY(defaults.loadPreferredInterpreterPath().isNull());
        QVERIFY(defaults.loadOpenedFiles().isEmpty());
        QVERIFY(defaults.loadCommitHistory().isEmpty());
        QCOMPARE(defaults.loadFontAttributes(true), OLStyleSet());
        QCOMPARE(defaults.loadFontAttributes(false), OLStyleSet());
        for (int mode = OLMosML; mode <= OLUnknownMode; ++mode)
            QVERIFY(!defaults.loadPathForInterpreter(OLInterpreterMode(mode)));
    }

    void registeredDefaultsApply()
    {
        Store store;
        store.defaults().registerDefaultPreferences();
        OLUserDefaults &defaults = store.defaults();
        QCOMPARE(defaults.loadMaximumCommitHistoryLength(), 100);
        QVERIFY(defaults.loadShouldRestoreCommitHistory());
        QVERIFY(defaults.loadShouldReopenFiles());
        QCOMPARE(defaults.loadAnswerAlpha(), double(0.8f));
        const OLStyleSet answer = defaults.loadFontAttributes(false);
        QCOMPARE(answer.name, QVariant("DejaVu Sans Mono"));
        QCOMPARE(answer.size.toInt(), 12);
        QVERIFY(answer.regColor && answer.errColor && answer.keyColor && answer.strColor && answer.comColor);
        QCOMPARE(answer.keyColor->alpha, double(0.8f));
        // The user's value wins over the registered one.
        defaults.saveMaximumCommitHistoryLength(7);
        QCOMPARE(defaults.loadMaximumCommitHistoryLength(), 7);
    }

    void booleanRoundTrip_data()
    {
        QTest::addColumn<int>("setting");
        QTest::addColumn<bool>("value");
        for (int i = 0; i < int(boolSettings.size()); ++i) {
            const QByteArray name(boolSettings[i].key.data());
            QTest::addRow("%s true", name.constData()) << i << true;
            QTest::addRow("%s false", name.constData()) << i << false;
        }
    }

    void booleanRoundTrip()
    {
        QFETCH(int, setting);
        QFETCH(bool, value);
        const BoolSetting &s = boolSettings[setting];
        Store store;
        // The registered value is the opposite: a stored false must not fall through to it.
        store.registerDefaults({{QString(s.key), !value}});
        (store.defaults().*s.save)(value);
        QCOMPARE((store.defaults().*s.load)(), value);
        store.restart();
        QCOMPARE(store.settings().value(s.key).typeId(), QMetaType::QString); // read from disk, as text
        QCOMPARE((store.defaults().*s.load)(), value);
    }

    void historyLengthRoundTrip_data()
    {
        QTest::addColumn<qint64>("length");
        QTest::newRow("zero, over a registered 100") << qint64(0);
        QTest::newRow("default size") << qint64(100);
        QTest::newRow("negative, unchecked") << qint64(-5);
        QTest::newRow("beyond 32 bits") << (qint64(1) << 40);
        QTest::newRow("largest") << std::numeric_limits<qint64>::max();
    }

    void historyLengthRoundTrip()
    {
        QFETCH(qint64, length);
        Store store;
        store.registerDefaults({{QString(OLKey::maximumCommitHistoryLength), 100}});
        store.defaults().saveMaximumCommitHistoryLength(length);
        store.restart();
        QCOMPARE(store.defaults().loadMaximumCommitHistoryLength(), length);
    }

    void fontTraitsRoundTrip_data()
    {
        QTest::addColumn<qint64>("answer");
        QTest::addColumn<qint64>("error");
        using namespace OLFontTrait;
        QTest::newRow("bold italic / neither") << (bold | italic) << (notBold | notItalic);
        QTest::newRow("bold only / italic only") << (bold | notItalic) << (italic | notBold);
    }

    void fontTraitsRoundTrip()
    {
        QFETCH(qint64, answer);
        QFETCH(qint64, error);
        Store store;
        store.registerDefaults(OLUserDefaults::defaultPreferences());
        store.defaults().saveAnswerFontTraits(answer);
        store.defaults().saveErrorFontTraits(error);
        store.restart();
        QCOMPARE(store.defaults().loadAnswerFontTraits(), answer);
        QCOMPARE(store.defaults().loadErrorFontTraits(), error);
    }

    void answerAlphaRoundTrip_data()
    {
        QTest::addColumn<double>("saved");
        QTest::addColumn<double>("loaded");
        QTest::newRow("narrowed to single precision") << 0.3 << double(0.3f);
        QTest::newRow("opaque") << 1.0 << 1.0;
        QTest::newRow("zero, over a registered 0.8") << 0.0 << 0.0;
        QTest::newRow("unlimited range") << 2.5 << 2.5;
        QTest::newRow("beyond single precision reads as the registered") << 1e300 << double(0.8f);
    }

    void answerAlphaRoundTrip()
    {
        QFETCH(double, saved);
        QFETCH(double, loaded);
        Store store;
        store.registerDefaults(OLUserDefaults::defaultPreferences());
        store.defaults().saveAnswerAlpha(saved);
        QCOMPARE(store.defaults().loadAnswerAlpha(), loaded);
        store.restart();
        QCOMPARE(store.defaults().loadAnswerAlpha(), loaded);
    }

    void commitHistoryRoundTrip_data()
    {
        QTest::addColumn<QStringList>("history");
        QTest::newRow("empty") << QStringList();
        QTest::newRow("one entry, stored as a plain string") << QStringList{"val x = 1"};
        QTest::newRow("one empty entry") << QStringList{""};
        QTest::newRow("entries the ini form must escape")
            << QStringList{"val (a, b) = (1, 2)", "\"quoted\"", "back\\slash", "fun f x =\n  x + 1",
                           "@Invalid()", "@Variant(x)", " leading and trailing ", "; comment-like", "# hash",
                           "key = value", "tab\there", QString::fromUtf8("val \u00e9 = \"\u20ac\U0001F600\""), ""};
        QStringList many;
        for (int i = 0; i < 1000; ++i)
            many << QStringLiteral("val x%1 = %1;").arg(i);
        QTest::newRow("a thousand entries") << many;
    }

    void commitHistoryRoundTrip()
    {
        QFETCH(QStringList, history);
        Store store;
        store.defaults().saveCommitHistory(history);
        store.restart();
        QCOMPARE(store.defaults().loadCommitHistory(), history);
    }

    void openedFilesRoundTrip_data()
    {
        QTest::addColumn<QList<QUrl>>("files");
        QTest::newRow("empty") << QList<QUrl>();
        QTest::newRow("one file") << QList<QUrl>{QUrl::fromLocalFile("/home/u/a.sml")};
        QTest::newRow("order kept, awkward names")
            << QList<QUrl>{QUrl::fromLocalFile("/home/u/z.sml"), QUrl::fromLocalFile("/home/u/with space.sml"),
                           QUrl::fromLocalFile("/home/u/a,b.sml"), QUrl::fromLocalFile("/home/u/100%#1.sml"),
                           QUrl::fromLocalFile(QString::fromUtf8("/home/u/caf\u00e9.aml")),
                           QUrl("file://localhost/usr/share/x.txt")};
    }

    void openedFilesRoundTrip()
    {
        QFETCH(QList<QUrl>, files);
        Store store;
        store.defaults().saveOpenedFiles(files);
        store.restart();
        QCOMPARE(store.defaults().loadOpenedFiles(), files);
    }

    void openedFilesLeaveOutWhatIsNoUrl()
    {
        const auto store = Store::withFile(
            "[General]\nopenedFiles=not a url, file:///home/u/a.sml, relative/b.sml, , http://[broken, "
            "\"file://localhost/tmp/c,d.sml\"\n");
        QCOMPARE(store->defaults().loadOpenedFiles(),
                 (QList<QUrl>{QUrl("file:///home/u/a.sml"), QUrl("file://localhost/tmp/c,d.sml")}));
    }

    void styleSetRoundTrip()
    {
        Store store;
        OLStyleSet saved;
        saved.regColor = OLColor{0.1, 0.2, 0.3, 0.4};
        saved.errColor = OLColor{1, 0, 0, 0.4};
        saved.keyColor = OLColor{0, 0, 1, 1};
        saved.strColor = OLColor{0.123456789, 0.5, 0.987654321, 0};
        saved.comColor = OLColor{0, 0.5, 0, 0.4};
        saved.name = QStringLiteral("DejaVu Sans Mono");
        saved.size = 13;
        store.defaults().saveAnswerAlpha(0.3);
        store.defaults().saveFontAttributes(saved);
        store.restart();

        // The colour's own alpha is never stored.
        QCOMPARE(store.settings().value(OLKey::regColor), QVariant("0.100000 0.200000 0.300000 1.0"));
        const OLStyleSet opaque = store.defaults().loadFontAttributes(true);
        const OLStyleSet answer = store.defaults().loadFontAttributes(false);
        for (auto member : {&OLStyleSet::regColor, &OLStyleSet::errColor, &OLStyleSet::keyColor,
                            &OLStyleSet::strColor, &OLStyleSet::comColor}) {
            const OLColor expected = *(saved.*member);
            for (const auto &[styles, alpha] : {std::pair{&opaque, 1.0}, std::pair{&answer, double(0.3f)}}) {
                const std::optional<OLColor> color = styles->*member;
                QVERIFY(color);
                QVERIFY2(closeTo(color->red, expected.red) && closeTo(color->green, expected.green)
                             && closeTo(color->blue, expected.blue),
                         qPrintable(describe(color)));
                QCOMPARE(color->alpha, alpha);
            }
        }
        QCOMPARE(opaque.name, QVariant("DejaVu Sans Mono"));
        QCOMPARE(opaque.size.toInt(), 13);
        QCOMPARE(answer.name, opaque.name);
        QCOMPARE(answer.size, opaque.size);

        // Sizes are stored as given: a fractional one stays fractional.
        saved.size = 12.5;
        store.defaults().saveFontAttributes(saved);
        store.restart();
        QCOMPARE(store.defaults().loadFontAttributes(true).size.toDouble(), 12.5);
    }

    void answerStylesWithoutAlphaAreTransparent()
    {
        Store store;
        store.defaults().saveFontAttributes(OLStyleSet{OLColor{1, 0, 0, 1}, {}, {}, {}, {}, {}, {}});
        const OLStyleSet answer = store.defaults().loadFontAttributes(false);
        QVERIFY(answer.regColor);
        QCOMPARE(answer.regColor->alpha, 0.0);
        QCOMPARE(store.defaults().loadFontAttributes(true).regColor->alpha, 1.0);
    }

    void absentStyleEntries()
    {
        Store store;
        OLStyleSet named;
        named.name = QStringLiteral("Mono");
        named.size = 10;
        store.defaults().saveFontAttributes(named);
        QVERIFY(store.settings().contains(OLKey::fontName));
        store.defaults().saveFontAttributes(OLStyleSet());
        // An absent name or size removes the key; an absent colour is stored as black.
        QVERIFY(!store.settings().contains(OLKey::fontName));
        QVERIFY(!store.settings().contains(OLKey::fontSize));
        QCOMPARE(store.settings().value(OLKey::comColor), QVariant("0.000000 0.000000 0.000000 1.0"));
        QCOMPARE(describe(store.defaults().loadFontAttributes(true).comColor), describe(OLColor{0, 0, 0, 1}));
    }

    void decodeColor_data()
    {
        QTest::addColumn<QVariant>("text");
        QTest::addColumn<std::optional<OLColor>>("expected");
        const double a = 0.25;
        const auto rgb = [a](float r, float g, float b) { return std::optional<OLColor>(OLColor{r, g, b, a}); };
        QTest::newRow("stored form") << QVariant("1.000000 0.500000 0.000000 1.0") << rgb(1, 0.5f, 0);
        QTest::newRow("no fourth field") << QVariant("0 0 1") << rgb(0, 0, 1);
        QTest::newRow("two spaces make an empty field") << QVariant("0.5  0.5 0.5 1.0") << rgb(0.5f, 0, 0.5f);
        QTest::newRow("single precision") << QVariant("0.1 0.2 0.3") << rgb(0.1f, 0.2f, 0.3f);
        QTest::newRow("no numbers read 0") << QVariant("abc def ghi") << rgb(0, 0, 0);
        QTest::newRow("longest numeric prefix") << QVariant("0.5x 1e-1junk -0.25") << rgb(0.5f, 0.1f, -0.25f);
        QTest::newRow("signs and bare points") << QVariant("+0.5 .5 5.") << rgb(0.5f, 0.5f, 5);
        QTest::newRow("incomplete exponents are left off") << QVariant("1e 1e+ 2E2") << rgb(1, 1, 200);
        QTest::newRow("leading white space skipped") << QVariant("\t0.5 \n0.25 0.75") << rgb(0.5f, 0.25f, 0.75f);
        QTest::newRow("two signs, lone sign, lone point") << QVariant("+-1 - .") << rgb(0, 0, 0);
        QTest::newRow("no hexadecimal, infinity or NaN") << QVariant("0x1p3 inf nan") << rgb(0, 0, 0);
        QTest::newRow("other digits than ASCII") << QVariant(QString::fromUtf8("\u0663 1 1")) << rgb(0, 1, 1);
        QTest::newRow("beyond single precision") << QVariant("1e39 -1e39 1") << rgb(0, 0, 1);
        QTest::newRow("comma separated is one field") << QVariant("1.0,0.5,0.0") << std::optional<OLColor>();
        QTest::newRow("two fields") << QVariant("0.5 0.5") << std::optional<OLColor>();
        QTest::newRow("empty text") << QVariant("") << std::optional<OLColor>();
        QTest::newRow("no value") << QVariant() << std::optional<OLColor>();
        QTest::newRow("a list from the ini file") << QVariant(QStringList{"1", "0", "0"}) << std::optional<OLColor>();
        QTest::newRow("a number") << QVariant(1) << std::optional<OLColor>();
    }

    void decodeColor()
    {
        QFETCH(QVariant, text);
        QFETCH(std::optional<OLColor>, expected);
        QCOMPARE(describe(OLUserDefaults::decodeColor(text, 0.25)), describe(expected));
    }

    void encodeColor_data()
    {
        QTest::addColumn<std::optional<OLColor>>("color");
        QTest::addColumn<QString>("text");
        QTest::newRow("design example") << std::optional<OLColor>(OLColor{1, 0.5, 0, 1})
                                        << "1.000000 0.500000 0.000000 1.0";
        QTest::newRow("alpha is not stored") << std::optional<OLColor>(OLColor{0, 0, 1, 0.3})
                                             << "0.000000 0.000000 1.000000 1.0";
        QTest::newRow("six decimals, negative") << std::optional<OLColor>(OLColor{-0.25, 0.1234567, 0.9999999, 1})
                                                << "-0.250000 0.123457 1.000000 1.0";
        QTest::newRow("no colour is black") << std::optional<OLColor>() << "0.000000 0.000000 0.000000 1.0";
    }

    void encodeColor()
    {
        QFETCH(std::optional<OLColor>, color);
        QFETCH(QString, text);
        QCOMPARE(OLUserDefaults::encodeColor(color), text);
    }

    void handEditedColoursInTheFile()
    {
        const auto store = Store::withFile("[General]\nregColor=0 0 1\nerrColor=0.5  0.5 0.5 1.0\n"
                                           "keyColor=red green blue\ncomColor=0.5 0.5\n");
        const OLStyleSet styles = store->defaults().loadFontAttributes(true);
        QCOMPARE(describe(styles.regColor), describe(OLColor{0, 0, 1, 1}));
        QCOMPARE(describe(styles.errColor), describe(OLColor{0.5, 0, 0.5, 1}));
        QCOMPARE(describe(styles.keyColor), describe(OLColor{0, 0, 0, 1}));
        QVERIFY(!styles.comColor); // two fields
        QVERIFY(!styles.strColor); // absent
    }

    // Every key holds something the program cannot read: each load gives what
    // it gives with an empty user's layer, that is the registered value or,
    // without one, nothing.
    void corruptFile_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("values of the wrong kind")
            << QByteArray("[General]\nverticalOrientation=maybe\nshouldHighlightSyntax=2x\n"
                          "shouldReopenFiles=@Invalid()\nshouldRestoreCommitHistory=true, false\n"
                          "maximumCommitHistoryLength=many\noutAlpha=opaque\nansFontTraits=12abc\n"
                          "errFontTraits=@ByteArray(12)\nfontName=DejaVu, Sans\nfontSize=big\n"
                          "regColor=0.5 0.5\nerrColor=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x3xyz)\n"
                          "keyColor=1.0, 0.0, 0.0\nstrColor=\ncomColor=0.5\n"
                          "preferredInterpreter=file://localhost/usr/bin/poly, -q\nPOLYML=@Rect(1 2 3 4)\n"
                          "polyPath=a, b\nopenedFiles=@Variant(garbage)\ncommitHistory=@Rect(1 2 3 4)\n");
        QTest::newRow("numbers out of range")
            << QByteArray("[General]\noutAlpha=1e300\nmaximumCommitHistoryLength=1e30\nansFontTraits=nan\n"
                          "errFontTraits=-inf\nfontSize=inf\nverticalOrientation=1e999\n");
        QTest::newRow("unterminated section") << QByteArray("[General\nfontSize=big\nverticalOrientation\n");
        QTest::newRow("lines without equals signs") << QByteArray("fontName\nregColor\n\x01\x02\x03\n[\n]\n=\n");
        QTest::newRow("quotes running over lines")
            << QByteArray("\xef\xbb\xbf[General]\nfontSize=\"12\nverticalOrientation=\"true\n");
        QTest::newRow("empty file") << QByteArray();
        const char withNul[] = "[General]\0\nfontName\0=x\0\nfontSize=\0\n";
        QTest::newRow("NUL bytes") << QByteArray(withNul, sizeof withNul - 1);
        QTest::newRow("one long line") << QByteArray(1 << 20, 'x');
        QByteArray noise(64 * 1024, '\0');
        QRandomGenerator random(20240611);
        for (char &c : noise)
            c = char(random.bounded(256));
        QTest::newRow("random bytes") << noise;
    }

    void corruptFile()
    {
        QFETCH(QByteArray, contents);
        for (const QVariantMap &registered : {fullRegisteredLayer(), QVariantMap()}) {
            const auto corrupt = Store::withFile(contents);
            Store clean;
            corrupt->registerDefaults(registered);
            clean.registerDefaults(registered);
            QCOMPARE(describe(corrupt->defaults()), describe(clean.defaults()));
        }
    }

    void settingsPathIsAFolder()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Ostrel.conf")));
        QSettings settings(dir.filePath(QStringLiteral("Ostrel.conf")), QSettings::IniFormat);
        OLUserDefaults defaults(settings);
        defaults.registerDefaultPreferences();
        QCOMPARE(defaults.loadMaximumCommitHistoryLength(), 100);
        defaults.saveMaximumCommitHistoryLength(5);
        QCOMPARE(defaults.loadMaximumCommitHistoryLength(), 5);
        QVERIFY(defaults.lastWriteFailed());
    }

    void localPathForUrl_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QString>("path");
        QTest::newRow("localhost") << QUrl("file://localhost/usr/bin/poly") << "/usr/bin/poly";
        QTest::newRow("no host") << QUrl("file:///usr/bin/poly") << "/usr/bin/poly";
        QTest::newRow("host in capitals") << QUrl("FILE://LocalHost/usr/bin/sml") << "/usr/bin/sml";
        QTest::newRow("escapes decoded") << QUrl("file://localhost/opt/my%20sml/caf%C3%A9") << "/opt/my sml/caf\u00e9";
        QTest::newRow("query and fragment ignored") << QUrl("file://localhost/usr/bin/poly?x#y") << "/usr/bin/poly";
        QTest::newRow("root") << QUrl("file://localhost/") << "/";
        QTest::newRow("from a local file") << QUrl::fromLocalFile("/tmp/a b#c,d") << "/tmp/a b#c,d";
        QTest::newRow("no path") << QUrl("file://localhost") << "";
        QTest::newRow("another host") << QUrl("file://example.org/usr/bin/poly") << "";
        QTest::newRow("loopback address is another host") << QUrl("file://127.0.0.1/usr/bin/poly") << "";
        QTest::newRow("another scheme") << QUrl("http://localhost/usr/bin/poly") << "";
        QTest::newRow("a path, not a URL") << QUrl("/usr/bin/poly") << "";
        QTest::newRow("relative file URL") << QUrl("file:usr/bin/poly") << "";
        QTest::newRow("empty") << QUrl() << "";
    }

    void localPathForUrl()
    {
        QFETCH(QUrl, url);
        QFETCH(QString, path);
        QCOMPARE(::localPathForUrl(url), path);
    }

    void perModePaths()
    {
        Store store;
        OLUserDefaults &defaults = store.defaults();
        const QUrl mosml("file://localhost/opt/mosml/bin/mosml");
        defaults.savePath(mosml, OLMosML);
        QCOMPARE(store.settings().value("MOSML"), QVariant(mosml.toString()));

        defaults.saveStandardPathForInterpreter(OLPolyML);
        QCOMPARE(store.settings().value("POLYML"), QVariant("file://localhost/usr/bin/poly"));
        // UNKNOWN has no standard location: its key is removed.
        defaults.savePath(QUrl("file:///usr/bin/ocaml"), OLUnknownMode);
        defaults.saveStandardPathForInterpreter(OLUnknownMode);
        QVERIFY(!store.settings().contains("UNKNOWN"));
        // A value that is no mode has no key and changes nothing.
        defaults.savePath(QUrl("file:///x"), OLInterpreterMode(7));
        defaults.saveStandardPathForInterpreter(OLNoMode);
        QCOMPARE(store.settings().allKeys(), (QStringList{"MOSML", "POLYML"}));

        store.restart();
        QCOMPARE(store.defaults().loadPathForInterpreter(OLMosML), std::optional<QUrl>(mosml));
        QCOMPARE(::localPathForUrl(*store.defaults().loadPathForInterpreter(OLPolyML)), "/usr/bin/poly");
        QVERIFY(!store.defaults().loadPathForInterpreter(OLUnknownMode));
        QVERIFY(!store.defaults().loadPathForInterpreter(OLInterpreterMode(7)));
        store.defaults().setValue("no url at all", OLKey::modeKeys[OLSmlNJ]);
        QVERIFY(!store.defaults().loadPathForInterpreter(OLSmlNJ));
    }

    void accessibleStandardInterpreters()
    {
        Store store;
        const QStringList found = store.defaults().loadAccessibleStandardInterpreters();
        // Poly ML and SML/NJ are installed on every machine that runs these tests.
        for (const QString key : {"POLYML", "SMLNJ", "polyml-std", "smlnj-std"})
            QVERIFY2(found.contains(key), qPrintable(found.join(u' ')));
        const bool mosml = QFileInfo::exists("/usr/local/bin/mosml");
        QCOMPARE(found.contains("MOSML"), mosml);
        QCOMPARE(found.contains("mosml-std"), mosml);
        const bool alice = QFileInfo::exists("/usr/local/bin/alice");
        QCOMPARE(found.contains("ALICEML"), alice);
        QCOMPARE(found.contains("aliceml-std"), alice);
        QStringList sorted = found;
        sorted.sort();
        QCOMPARE(found, sorted);
    }

    void preferredInterpreterKeepsItsText()
    {
        Store store;
        const QString commandLine = "file://localhost/usr/bin/poly -q --eval \"a, b\"";
        store.defaults().savePreferredInterpreter(commandLine);
        store.restart();
        QCOMPARE(store.defaults().loadPreferredInterpreterPath(), commandLine);
        store.defaults().savePreferredInterpreter(QString());
        QVERIFY(!store.settings().contains(OLKey::preferredInterpreter));
    }

    void userLayerLocation()
    {
        const std::unique_ptr<QSettings> layer = OLUserDefaults::openUserLayer();
        QCOMPARE(layer->fileName(), QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                                        + "/Ostrel/Ostrel.conf");
        QCOMPARE(layer->format(), QSettings::NativeFormat);
        QCOMPARE(layer->scope(), QSettings::UserScope);
    }

    void writeFailureIsReported()
    {
        Store writable;
        writable.defaults().saveShouldReopenFiles(true);
        QVERIFY(!writable.defaults().lastWriteFailed());
        QVERIFY(QFileInfo(writable.path()).size() > 0);

        // A file where the settings folder belongs: no folder can be made,
        // whoever runs the test.
        Store blocked(QStringLiteral("blocker/Ostrel/Ostrel.conf"));
        QFile blocker(blocked.folder() + "/blocker");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        blocked.defaults().saveMaximumCommitHistoryLength(42);
        QVERIFY(blocked.defaults().lastWriteFailed());
        // Editing goes on with the values of this run.
        QCOMPARE(blocked.defaults().loadMaximumCommitHistoryLength(), 42);
    }
};

QTEST_GUILESS_MAIN(TestUserDefaults)
#include "tst_userdefaults.moc"
