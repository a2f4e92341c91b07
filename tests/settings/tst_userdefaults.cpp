#include "settings/OLSettingsKeys.h"
#include "settings/OLUserDefaults.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {
// A settings file (written by hand when `contents` is given) in a temporary
// folder, with a store on top of it. QSettings keeps the parsed contents of a
// file for the whole process, typed as they were written; restart() copies
// the file to a new name so that it is parsed from disk as by the next run.
class Store
{
public:
    explicit Store(const QByteArray &contents = {}, const QString &name = QStringLiteral("Ostrel.conf"))
        : m_path(m_dir.filePath(name))
    {
        if (QFile file(m_path); !contents.isNull() && file.open(QIODevice::WriteOnly))
            file.write(contents);
        open();
    }
    OLUserDefaults &defaults() { return *m_defaults; }
    QSettings &settings() { return *m_settings; }
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

// A setting's save and load, with its values carried in QVariants.
struct Accessor {
    std::function<void(OLUserDefaults &, const QVariant &)> save;
    std::function<QVariant(const OLUserDefaults &)> load;
};
template<typename T, typename A>
Accessor accessor(T (OLUserDefaults::*load)() const, void (OLUserDefaults::*save)(A))
{
    return {[save](OLUserDefaults &d, const QVariant &v) { (d.*save)(v.value<T>()); },
            [load](const OLUserDefaults &d) { return QVariant::fromValue((d.*load)()); }};
}
const QMap<QString, Accessor> accessors{
    {OLKey::verticalOrientation, accessor(&OLUserDefaults::loadVerticalOrientation, &OLUserDefaults::saveVerticalOrientation)},
    {OLKey::shouldHighlightSyntax, accessor(&OLUserDefaults::loadShouldHighlightSyntax, &OLUserDefaults::saveShouldHighlightSyntax)},
    {OLKey::showLineNumbers, accessor(&OLUserDefaults::loadShowLineNumbers, &OLUserDefaults::saveShowLineNumbers)},
    {OLKey::shouldReopenFiles, accessor(&OLUserDefaults::loadShouldReopenFiles, &OLUserDefaults::saveShouldReopenFiles)},
    {OLKey::shouldRestoreCommitHistory, accessor(&OLUserDefaults::loadShouldRestoreCommitHistory, &OLUserDefaults::saveShouldRestoreCommitHistory)},
    {OLKey::maximumCommitHistoryLength, accessor(&OLUserDefaults::loadMaximumCommitHistoryLength, &OLUserDefaults::saveMaximumCommitHistoryLength)},
    {OLKey::maximumConsoleLength, accessor(&OLUserDefaults::loadMaximumConsoleLength, &OLUserDefaults::saveMaximumConsoleLength)},
    {OLKey::ansFontTraits, accessor(&OLUserDefaults::loadAnswerFontTraits, &OLUserDefaults::saveAnswerFontTraits)},
    {OLKey::errFontTraits, accessor(&OLUserDefaults::loadErrorFontTraits, &OLUserDefaults::saveErrorFontTraits)},
    {OLKey::outAlpha, accessor(&OLUserDefaults::loadAnswerAlpha, &OLUserDefaults::saveAnswerAlpha)},
    {OLKey::commitHistory, accessor(&OLUserDefaults::loadCommitHistory, &OLUserDefaults::saveCommitHistory)},
    {OLKey::openedFiles, accessor(&OLUserDefaults::loadOpenedFiles, &OLUserDefaults::saveOpenedFiles)},
    {OLKey::preferredInterpreter, accessor(&OLUserDefaults::loadPreferredInterpreterPath, &OLUserDefaults::savePreferredInterpreter)},
    {OLKey::windowGeometry, accessor(&OLUserDefaults::loadWindowGeometry, &OLUserDefaults::saveWindowGeometry)},
};

QString describe(const std::optional<OLColor> &color)
{
    return color ? QStringLiteral("%1 %2 %3 %4").arg(color->red, 0, 'g', 17).arg(color->green, 0, 'g', 17).arg(color->blue, 0, 'g', 17).arg(color->alpha, 0, 'g', 17)
                 : QStringLiteral("none");
}

// Every setting as the program reads it, one line each, for comparing stores.
QStringList describe(const OLUserDefaults &defaults)
{
    QStringList lines;
    for (auto it = accessors.begin(); it != accessors.end(); ++it) {
        QString value;
        QDebug(&value) << it->load(defaults);
        lines << it.key() + u' ' + value;
    }
    for (bool opaque : {true, false}) {
        const OLStyleSet s = defaults.loadFontAttributes(opaque);
        lines << QStringList{describe(s.regColor), describe(s.errColor), describe(s.keyColor), describe(s.strColor),
                             describe(s.comColor), s.name.toString(), s.size.toString(), s.style.toString()};
    }
    for (int mode = OLMosML; mode <= OLUnknownMode; ++mode)
        lines << defaults.loadPathForInterpreter(OLInterpreterMode(mode)).value_or(QUrl(QStringLiteral("none"))).toString();
    for (QLatin1StringView key : {OLKey::alicePath, OLKey::mosmlPath, OLKey::polyPath, OLKey::smlnjPath})
        lines << defaults.stringForKey(key);
    return lines;
}

QList<QUrl> urls(const QStringList &texts)
{
    QList<QUrl> list;
    for (const QString &text : texts)
        list.append(QUrl(text));
    return list;
}
} // namespace

Q_DECLARE_METATYPE(std::optional<OLColor>)

class TestUserDefaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Before any QSettings: the user's layer is looked up once per process.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // An empty store reads as nothing, the registered layer shows through, the user's value wins.
    void layers()
    {
        Store store;
        OLUserDefaults &d = store.defaults();
        for (QLatin1StringView key : {OLKey::verticalOrientation, OLKey::maximumCommitHistoryLength, OLKey::outAlpha, OLKey::ansFontTraits})
            QVERIFY2(!accessors[key].load(d).toBool(), key.data());
        QVERIFY(d.loadPreferredInterpreterPath().isNull() && d.loadOpenedFiles().isEmpty() && d.loadCommitHistory().isEmpty());
        QCOMPARE(d.loadFontAttributes(false), OLStyleSet());
        QVERIFY(!d.loadPathForInterpreter(OLPolyML));
        // A console that keeps nothing could show no output.
        QCOMPARE(d.loadMaximumConsoleLength(), OLUserDefaults::defaultMaximumConsoleLength);

        d.registerDefaultPreferences();
        QCOMPARE(d.loadMaximumCommitHistoryLength(), 100);
        QVERIFY(d.loadShouldRestoreCommitHistory() && d.loadShouldReopenFiles());
        const OLStyleSet answer = d.loadFontAttributes(false);
        QCOMPARE(answer.name, QVariant("DejaVu Sans Mono"));
        QVERIFY(answer.regColor && answer.errColor && answer.keyColor && answer.strColor && answer.comColor);
        QCOMPARE(answer.keyColor->alpha, double(0.8f));
        d.saveMaximumCommitHistoryLength(7);
        QCOMPARE(d.loadMaximumCommitHistoryLength(), 7);
    }

    // Saved, then read in this run and the next; the registered layer is the
    // resource's, and a saved boolean's opposite.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("saved");
        QTest::addColumn<QVariant>("loaded");
        for (const QLatin1StringView key : {OLKey::verticalOrientation, OLKey::shouldHighlightSyntax, OLKey::showLineNumbers, OLKey::shouldReopenFiles, OLKey::shouldRestoreCommitHistory}) {
            for (const bool value : {true, false})
                QTest::addRow("%s %d", key.data(), value) << QString(key) << QVariant(value) << QVariant(value);
        }
        const auto row = [](const char *name, QLatin1StringView key, const QVariant &saved, const QVariant &loaded = {}) {
            QTest::newRow(name) << QString(key) << saved << (loaded.isValid() ? loaded : saved);
        };
        using namespace OLFontTrait;
        row("history length zero, over a registered 100", OLKey::maximumCommitHistoryLength, qint64(0));
        row("history length negative, unchecked", OLKey::maximumCommitHistoryLength, qint64(-5));
        row("history length, largest", OLKey::maximumCommitHistoryLength, std::numeric_limits<qint64>::max());
        row("console length", OLKey::maximumConsoleLength, qint64(1234));
        row("console length zero gives the default", OLKey::maximumConsoleLength, qint64(0), OLUserDefaults::defaultMaximumConsoleLength);
        row("console length negative gives the default", OLKey::maximumConsoleLength, qint64(-5), OLUserDefaults::defaultMaximumConsoleLength);
        row("answer traits bold italic", OLKey::ansFontTraits, bold | italic);
        row("error traits neither", OLKey::errFontTraits, notBold | notItalic);
        row("alpha narrowed to single precision", OLKey::outAlpha, 0.3, double(0.3f));
        row("alpha zero, over a registered 0.8", OLKey::outAlpha, 0.0);
        row("alpha beyond single precision reads as the registered", OLKey::outAlpha, 1e300, double(0.8f));
        row("history empty", OLKey::commitHistory, QStringList());
        row("history of one entry, stored as a plain string", OLKey::commitHistory, QStringList{"val x = 1"});
        row("history of one empty entry", OLKey::commitHistory, QStringList{""});
        row("history entries the ini form must escape", OLKey::commitHistory,
            QStringList{"val (a, b) = (1, 2)", "\"quoted\"", "back\\slash", "fun f x =\n  x + 1", "@Invalid()", "@Variant(x)",
                        " leading and trailing ", "; comment-like", "# hash", "key = value", "tab\there", "val \u00e9 = \"\u20ac\U0001F600\"", ""});
        row("no opened files", OLKey::openedFiles, QVariant::fromValue(QList<QUrl>()));
        row("opened files in order, awkward names", OLKey::openedFiles,
            QVariant::fromValue(QList<QUrl>{QUrl::fromLocalFile("/home/u/z.sml"), QUrl::fromLocalFile("/home/u/with space.sml"),
                                            QUrl::fromLocalFile("/home/u/a,b.sml"), QUrl::fromLocalFile("/home/u/100%#1.sml"),
                                            QUrl::fromLocalFile("/home/u/caf\u00e9.aml"), QUrl("file://localhost/usr/share/x.txt")}));
        row("preferred interpreter with arguments", OLKey::preferredInterpreter, QString("file://localhost/usr/bin/poly -q --eval \"a, b\""));
        row("window geometry", OLKey::windowGeometry, QRect(-20, 40, 700, 450));
    }
    void roundTrip()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, saved);
        QFETCH(QVariant, loaded);
        Store store;
        store.registerDefaults(OLUserDefaults::defaultPreferences());
        if (saved.typeId() == QMetaType::Bool) // a stored false must not fall through to a registered true
            store.registerDefaults({{key, !saved.toBool()}});
        accessors[key].save(store.defaults(), saved);
        QCOMPARE(accessors[key].load(store.defaults()), loaded);
        store.restart();
        QCOMPARE(accessors[key].load(store.defaults()), loaded);
    }

    void styleSetRoundTrip()
    {
        Store store;
        OLStyleSet saved{OLColor{0.1, 0.2, 0.3, 0.4}, OLColor{1, 0, 0, 0.4}, OLColor{0, 0, 1, 1},
                         OLColor{0.123456789, 0.5, 0.987654321, 0}, OLColor{0, 0.5, 0, 0.4}, QStringLiteral("DejaVu Sans Mono"), 13,
                         QStringLiteral("Bold Oblique")};
        store.defaults().saveAnswerAlpha(0.3);
        store.defaults().saveFontAttributes(saved);
        store.restart();
        // The colour's own alpha is never stored; the opaque set has alpha 1, the answer set the answer alpha.
        QCOMPARE(store.settings().value(OLKey::regColor), QVariant("0.100000 0.200000 0.300000 1.0"));
        for (const auto &[opaque, alpha] : {std::pair{true, 1.0}, std::pair{false, double(0.3f)}}) {
            const OLStyleSet loaded = store.defaults().loadFontAttributes(opaque);
            for (auto role : {&OLStyleSet::regColor, &OLStyleSet::errColor, &OLStyleSet::keyColor, &OLStyleSet::strColor, &OLStyleSet::comColor}) {
                QCOMPARE(OLUserDefaults::encodeColor(loaded.*role), OLUserDefaults::encodeColor(saved.*role));
                QCOMPARE((loaded.*role)->alpha, alpha);
            }
            QCOMPARE(loaded.name, QVariant("DejaVu Sans Mono"));
            QCOMPARE(loaded.size.toInt(), 13);
            QCOMPARE(loaded.style, QVariant("Bold Oblique"));
        }
        // Sizes are stored as given: a fractional one stays fractional.
        saved.size = 12.5;
        store.defaults().saveFontAttributes(saved);
        store.restart();
        QCOMPARE(store.defaults().loadFontAttributes(true).size.toDouble(), 12.5);
    }

    // An absent name, size, face or preferred interpreter removes its key; an absent
    // colour is stored as black; without an alpha, answer colours are transparent.
    void absentValues()
    {
        Store store;
        store.defaults().saveFontAttributes(OLStyleSet{{}, {}, {}, {}, {}, QStringLiteral("Mono"), 10, QStringLiteral("Bold")});
        store.defaults().savePreferredInterpreter(QStringLiteral("file://localhost/usr/bin/sml"));
        QVERIFY(store.settings().contains(OLKey::fontStyle) && store.settings().contains(OLKey::preferredInterpreter));
        store.defaults().saveFontAttributes(OLStyleSet{OLColor{1, 0, 0, 1}, {}, {}, {}, {}, {}, {}, {}});
        store.defaults().savePreferredInterpreter(QString());
        for (QLatin1StringView key : {OLKey::fontName, OLKey::fontSize, OLKey::fontStyle, OLKey::preferredInterpreter})
            QVERIFY2(!store.settings().contains(key), key.data());
        QCOMPARE(store.settings().value(OLKey::comColor), QVariant("0.000000 0.000000 0.000000 1.0"));
        QCOMPARE(store.defaults().loadFontAttributes(false).regColor->alpha, 0.0);
        QCOMPARE(store.defaults().loadFontAttributes(true).regColor->alpha, 1.0);
    }

    void decodeColor_data()
    {
        QTest::addColumn<QVariant>("text");
        QTest::addColumn<std::optional<OLColor>>("expected");
        const auto rgb = [](float r, float g, float b) { return std::optional<OLColor>(OLColor{r, g, b, 0.25}); };
        const std::optional<OLColor> none;
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
        QTest::newRow("other digits than ASCII") << QVariant("\u0663 1 1") << rgb(0, 1, 1);
        QTest::newRow("beyond single precision") << QVariant("1e39 -1e39 1") << rgb(0, 0, 1);
        QTest::newRow("comma separated is one field") << QVariant("1.0,0.5,0.0") << none;
        QTest::newRow("two fields") << QVariant("0.5 0.5") << none;
        QTest::newRow("empty text") << QVariant("") << none;
        QTest::newRow("no value") << QVariant() << none;
        QTest::newRow("a list from the ini file") << QVariant(QStringList{"1", "0", "0"}) << none;
        QTest::newRow("a number") << QVariant(1) << none;
    }
    void decodeColor()
    {
        QFETCH(QVariant, text);
        QFETCH(std::optional<OLColor>, expected);
        QCOMPARE(describe(OLUserDefaults::decodeColor(text, 0.25)), describe(expected));
    }

    void encodeColor()
    {
        QCOMPARE(OLUserDefaults::encodeColor(OLColor{1, 0.5, 0, 0.3}), QStringLiteral("1.000000 0.500000 0.000000 1.0"));
        QCOMPARE(OLUserDefaults::encodeColor(OLColor{-0.25, 0.1234567, 0.9999999, 1}), QStringLiteral("-0.250000 0.123457 1.000000 1.0"));
        QCOMPARE(OLUserDefaults::encodeColor(std::nullopt), QStringLiteral("0.000000 0.000000 0.000000 1.0"));
    }

    // Hand-edited values are read leniently where they can be.
    void handEditedFile()
    {
        Store store("[General]\nregColor=0 0 1\nerrColor=0.5  0.5 0.5 1.0\nkeyColor=red green blue\ncomColor=0.5 0.5\n"
                    "openedFiles=not a url, file:///home/u/a.sml, relative/b.sml, , http://[broken, \"file://localhost/tmp/c,d.sml\"\n");
        const OLStyleSet styles = store.defaults().loadFontAttributes(true);
        QCOMPARE(describe(styles.regColor), describe(OLColor{0, 0, 1, 1}));
        QCOMPARE(describe(styles.errColor), describe(OLColor{0.5, 0, 0.5, 1}));
        QCOMPARE(describe(styles.keyColor), describe(OLColor{0, 0, 0, 1}));
        QVERIFY(!styles.comColor && !styles.strColor); // two fields; absent
        QCOMPARE(store.defaults().loadOpenedFiles(), urls({"file:///home/u/a.sml", "file://localhost/tmp/c,d.sml"}));
    }

    // Every key holds something the program cannot read: each load gives what
    // it gives with an empty user's layer, that is the registered value or,
    // without one, nothing.
    void corruptFile_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("values of the wrong kind")
            << QByteArray("[General]\nverticalOrientation=maybe\nshouldHighlightSyntax=2x\nshouldReopenFiles=@Invalid()\n"
                          "shouldRestoreCommitHistory=true, false\nmaximumCommitHistoryLength=many\nmaximumConsoleLength=x\n"
                          "outAlpha=opaque\nansFontTraits=12abc\nerrFontTraits=@ByteArray(12)\nfontName=DejaVu, Sans\nfontSize=big\n"
                          "regColor=0.5 0.5\nerrColor=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x3xyz)\nkeyColor=1.0, 0.0, 0.0\nstrColor=\n"
                          "comColor=0.5\npreferredInterpreter=file://localhost/usr/bin/poly, -q\nPOLYML=@Rect(1 2 3 4)\n"
                          "polyPath=a, b\nopenedFiles=@Variant(garbage)\ncommitHistory=@Rect(1 2 3 4)\nwindowGeometry=120 90 700 450\n");
        QTest::newRow("numbers out of range") << QByteArray("[General]\noutAlpha=1e300\nmaximumCommitHistoryLength=1e30\nansFontTraits=nan\n"
                                                            "errFontTraits=-inf\nfontSize=inf\nverticalOrientation=1e999\n");
        QTest::newRow("unterminated section") << QByteArray("[General\nfontSize=big\nverticalOrientation\n");
        QTest::newRow("lines without equals signs") << QByteArray("fontName\nregColor\n\x01\x02\x03\n[\n]\n=\n");
        QTest::newRow("quotes running over lines") << QByteArray("\xef\xbb\xbf[General]\nfontSize=\"12\nverticalOrientation=\"true\n");
        QTest::newRow("empty file") << QByteArray("");
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
        // The real resource plus values for the keys it leaves out, so that every fallback shows; then none.
        QVariantMap full = OLUserDefaults::defaultPreferences();
        for (const QString &key : {QString(OLKey::preferredInterpreter), OLUserDefaults::keyForMode(OLPolyML), QString(OLKey::polyPath)})
            full.insert(key, "file://localhost/usr/bin/poly");
        for (const QVariantMap &registered : {full, QVariantMap()}) {
            Store corrupt(contents), clean;
            corrupt.registerDefaults(registered);
            clean.registerDefaults(registered);
            QCOMPARE(describe(corrupt.defaults()), describe(clean.defaults()));
        }
    }

    // A failed write is reported, and the run goes on with the values saved in it.
    void writeFailure_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("blocker"); // made before the store writes
        QTest::addColumn<bool>("fails");
        QTest::newRow("a writable file") << "Ostrel.conf" << QString() << false;
        QTest::newRow("the settings path is a folder") << "Ostrel.conf" << "Ostrel.conf/" << true;
        // No folder can be made, whoever runs the test.
        QTest::newRow("a file where the settings folder belongs") << "blocker/Ostrel/Ostrel.conf" << "blocker" << true;
    }
    void writeFailure()
    {
        QFETCH(QString, name);
        QFETCH(QString, blocker);
        QFETCH(bool, fails);
        Store store({}, name);
        if (blocker.endsWith(u'/'))
            QVERIFY(QDir(store.folder()).mkdir(blocker));
        else if (QFile file(store.folder() + u'/' + blocker); !blocker.isEmpty())
            QVERIFY(file.open(QIODevice::WriteOnly));
        store.registerDefaults(OLUserDefaults::defaultPreferences());
        QCOMPARE(store.defaults().loadMaximumCommitHistoryLength(), 100);
        store.defaults().saveMaximumCommitHistoryLength(42);
        QCOMPARE(store.defaults().lastWriteFailed(), fails);
        QCOMPARE(store.defaults().loadMaximumCommitHistoryLength(), 42);
        const QFileInfo file(store.folder() + u'/' + name);
        QCOMPARE(file.isFile() && file.size() > 0, !fails);
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
        QTest::newRow("from a local file") << QUrl::fromLocalFile("/tmp/a b#c,d") << "/tmp/a b#c,d";
        QTest::newRow("no path") << QUrl("file://localhost") << "";
        QTest::newRow("another host") << QUrl("file://example.org/usr/bin/poly") << "";
        QTest::newRow("loopback address is another host") << QUrl("file://127.0.0.1/usr/bin/poly") << "";
        QTest::newRow("another scheme") << QUrl("http://localhost/usr/bin/poly") << "";
        QTest::newRow("a path, not a URL") << QUrl("/usr/bin/poly") << "";
        QTest::newRow("relative file URL") << QUrl("file:usr/bin/poly") << "";
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
        OLUserDefaults &d = store.defaults();
        const QUrl mosml("file://localhost/opt/mosml/bin/mosml");
        d.savePath(mosml, OLMosML);
        d.saveStandardPathForInterpreter(OLPolyML);
        // UNKNOWN has no standard location: its key is removed.
        d.savePath(QUrl("file:///usr/bin/ocaml"), OLUnknownMode);
        d.saveStandardPathForInterpreter(OLUnknownMode);
        // A value that is no mode has no key and changes nothing.
        d.savePath(QUrl("file:///x"), OLInterpreterMode(7));
        d.saveStandardPathForInterpreter(OLNoMode);
        QCOMPARE(store.settings().allKeys(), (QStringList{"MOSML", "POLYML"}));
        QCOMPARE(store.settings().value("POLYML"), QVariant("file://localhost/usr/bin/poly"));
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
        const QStringList found = Store().defaults().loadAccessibleStandardInterpreters();
        // Poly ML and SML/NJ are installed on every machine that runs these tests.
        for (const QString key : {"POLYML", "SMLNJ", "polyml-std", "smlnj-std"})
            QVERIFY2(found.contains(key), qPrintable(found.join(u' ')));
        const bool mosml = QFileInfo::exists("/usr/local/bin/mosml"), alice = QFileInfo::exists("/usr/local/bin/alice");
        QCOMPARE(found.contains("MOSML") && found.contains("mosml-std"), mosml);
        QCOMPARE(found.contains("ALICEML") && found.contains("aliceml-std"), alice);
        QStringList sorted = found;
        sorted.sort();
        QCOMPARE(found, sorted);
    }

    void userLayerLocation()
    {
        const std::unique_ptr<QSettings> layer = OLUserDefaults::openUserLayer();
        QCOMPARE(layer->fileName(), QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Ostrel/Ostrel.conf");
        QCOMPARE(layer->format(), QSettings::NativeFormat);
        QCOMPARE(layer->scope(), QSettings::UserScope);
    }
};

QTEST_GUILESS_MAIN(TestUserDefaults)
#include "tst_userdefaults.moc"
