#include "settings/OLSettingsKeys.h"
#include "settings/OLUserDefaults.h"

#include <QFile>
#include <QFileInfo>
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
struct Store {
    explicit Store(const QByteArray &contents = {}, const QString &name = QStringLiteral("Ostrel.conf"))
        : path(dir.filePath(name))
    {
        if (QFile file(path); !contents.isNull() && file.open(QIODevice::WriteOnly))
            file.write(contents);
        open();
    }
    void registerDefaults(const QVariantMap &more)
    {
        registered.insert(more);
        defaults->registerDefaults(more);
    }
    void restart()
    {
        defaults.reset();
        settings.reset(); // writes the file
        const QString next = dir.filePath(QStringLiteral("run%1.conf").arg(++runs));
        QFile::copy(path, next);
        path = next;
        open();
    }
    void open()
    {
        settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
        defaults = std::make_unique<OLUserDefaults>(*settings);
        defaults->registerDefaults(registered);
    }
    QTemporaryDir dir;
    QString path;
    int runs = 0;
    QVariantMap registered;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<OLUserDefaults> defaults;
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
using D = OLUserDefaults;
const QMap<QString, Accessor> accessors{
    {OLKey::verticalOrientation, accessor(&D::loadVerticalOrientation, &D::saveVerticalOrientation)},
    {OLKey::shouldHighlightSyntax, accessor(&D::loadShouldHighlightSyntax, &D::saveShouldHighlightSyntax)},
    {OLKey::showLineNumbers, accessor(&D::loadShowLineNumbers, &D::saveShowLineNumbers)},
    {OLKey::shouldReopenFiles, accessor(&D::loadShouldReopenFiles, &D::saveShouldReopenFiles)},
    {OLKey::shouldRestoreCommitHistory, accessor(&D::loadShouldRestoreCommitHistory, &D::saveShouldRestoreCommitHistory)},
    {OLKey::maximumCommitHistoryLength, accessor(&D::loadMaximumCommitHistoryLength, &D::saveMaximumCommitHistoryLength)},
    {OLKey::maximumConsoleLength, accessor(&D::loadMaximumConsoleLength, &D::saveMaximumConsoleLength)},
    {OLKey::ansFontTraits, accessor(&D::loadAnswerFontTraits, &D::saveAnswerFontTraits)},
    {OLKey::errFontTraits, accessor(&D::loadErrorFontTraits, &D::saveErrorFontTraits)},
    {OLKey::outAlpha, accessor(&D::loadAnswerAlpha, &D::saveAnswerAlpha)},
    {OLKey::commitHistory, accessor(&D::loadCommitHistory, &D::saveCommitHistory)},
    {OLKey::openedFiles, accessor(&D::loadOpenedFiles, &D::saveOpenedFiles)},
    {OLKey::preferredInterpreter, accessor(&D::loadPreferredInterpreterPath, &D::savePreferredInterpreter)},
    {OLKey::windowGeometry, accessor(&D::loadWindowGeometry, &D::saveWindowGeometry)},
};

// Every setting as the program reads it, one line each, for comparing stores.
QStringList describe(const OLUserDefaults &defaults)
{
    QStringList lines;
    for (auto it = accessors.begin(); it != accessors.end(); ++it)
        QDebug(&lines.emplace_back(it.key())) << it->load(defaults);
    for (bool opaque : {true, false}) {
        const OLStyleSet s = defaults.loadFontAttributes(opaque);
        for (const auto &colour : {s.regColor, s.errColor, s.keyColor, s.strColor, s.comColor})
            lines << OLUserDefaults::encodeColor(colour) + QString::number(colour ? colour->alpha : -1);
        lines << s.name.toString() << s.size.toString() << s.style.toString();
    }
    return lines << defaults.stringForKey(OLKey::polyPath);
}
} // namespace

class TestUserDefaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // An empty store reads as nothing (a console that keeps nothing could show
    // no output, though), the registered layer shows through, the user's value
    // wins; the user's layer is where the desktop keeps settings.
    void layers()
    {
        Store store;
        OLUserDefaults &d = *store.defaults;
        QCOMPARE(d.loadFontAttributes(false), OLStyleSet());
        QVERIFY(!d.loadShouldReopenFiles() && !d.loadMaximumCommitHistoryLength() && !d.loadAnswerAlpha());
        QCOMPARE(d.loadMaximumConsoleLength(), OLUserDefaults::defaultMaximumConsoleLength);
        d.registerDefaultPreferences();
        QCOMPARE(d.loadMaximumCommitHistoryLength(), 100);
        QVERIFY(d.loadShouldRestoreCommitHistory() && d.loadShouldReopenFiles() && d.loadShowLineNumbers());
        QCOMPARE(d.loadFontAttributes(false).keyColor->alpha, double(0.8f));
        d.saveMaximumCommitHistoryLength(7);
        QCOMPARE(d.loadMaximumCommitHistoryLength(), 7);
        QCOMPARE(OLUserDefaults::openUserLayer()->fileName(),
                 QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/Ostrel/Ostrel.conf");
    }

    // Saved, then read in this run and the next, over the registered layer of
    // the resource (and a saved boolean's opposite).
    void roundTrip_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("saved");
        QTest::addColumn<QVariant>("loaded");
        const auto row = [](const char *name, QLatin1StringView key, const QVariant &saved, const QVariant &loaded = {}) {
            QTest::newRow(name) << QString(key) << saved << (loaded.isValid() ? loaded : saved);
        };
        for (const QLatin1StringView key : {OLKey::verticalOrientation, OLKey::shouldHighlightSyntax, OLKey::showLineNumbers,
                                            OLKey::shouldReopenFiles, OLKey::shouldRestoreCommitHistory})
            row(key.data(), key, false);
        using namespace OLFontTrait;
        row("history length zero, over a registered 100", OLKey::maximumCommitHistoryLength, qint64(0));
        row("history length, largest", OLKey::maximumCommitHistoryLength, std::numeric_limits<qint64>::max());
        row("console length zero gives the default", OLKey::maximumConsoleLength, qint64(0), D::defaultMaximumConsoleLength);
        row("answer traits bold italic", OLKey::ansFontTraits, bold | italic);
        row("error traits neither", OLKey::errFontTraits, notBold | notItalic);
        row("alpha narrowed to single precision", OLKey::outAlpha, 0.3, double(0.3f));
        row("alpha beyond single precision reads as the registered", OLKey::outAlpha, 1e300, double(0.8f));
        row("history of one empty entry", OLKey::commitHistory, QStringList{""});
        row("history entries the ini form must escape", OLKey::commitHistory,
            QStringList{"\"quoted\", back\\slash", "fun f x =\n  x + 1", "@Invalid()", " key = value ", "\u00e9\U0001F600"});
        row("opened files in order, awkward names", OLKey::openedFiles,
            QVariant::fromValue(QList<QUrl>{QUrl::fromLocalFile("/home/u/z.sml"), QUrl::fromLocalFile("/u/a,b 100%#1.sml"),
                                            QUrl("file://localhost/usr/share/x.txt")}));
        row("preferred interpreter with arguments", OLKey::preferredInterpreter, QString("file://localhost/usr/bin/poly -q"));
        row("window geometry", OLKey::windowGeometry, QRect(-20, 40, 700, 450));
    }
    void roundTrip()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, saved);
        Store store;
        store.registerDefaults(OLUserDefaults::defaultPreferences());
        if (saved.typeId() == QMetaType::Bool) // a stored false must not fall through to a registered true
            store.registerDefaults({{key, !saved.toBool()}});
        accessors[key].save(*store.defaults, saved);
        QTEST(accessors[key].load(*store.defaults), "loaded");
        store.restart();
        QTEST(accessors[key].load(*store.defaults), "loaded");
    }

    // The colour's own alpha is never stored: the opaque set has alpha 1, the
    // answer set the answer alpha. An absent name, size or face removes its
    // key; an absent colour is stored as black.
    void styleSetRoundTrip()
    {
        Store store;
        const OLStyleSet saved{OLColor{0.1, 0.2, 0.3, 0.4}, OLColor{1, 0, 0, 0.4}, OLColor{0, 0, 1, 1},
                               OLColor{0.123456789, 0.5, 0.987654321, 0}, OLColor{0, 0.5, 0, 0.4},
                               QStringLiteral("DejaVu Sans Mono"), 12.5, QStringLiteral("Bold Oblique")};
        store.defaults->saveAnswerAlpha(0.3);
        store.defaults->saveFontAttributes(saved);
        store.restart();
        QCOMPARE(store.settings->value(OLKey::strColor), QVariant("0.123457 0.500000 0.987654 1.0"));
        for (const auto &[opaque, alpha] : {std::pair{true, 1.0}, std::pair{false, double(0.3f)}}) {
            const OLStyleSet loaded = store.defaults->loadFontAttributes(opaque);
            for (auto role : {&OLStyleSet::regColor, &OLStyleSet::errColor, &OLStyleSet::keyColor, &OLStyleSet::strColor,
                              &OLStyleSet::comColor}) {
                QCOMPARE(OLUserDefaults::encodeColor(loaded.*role), OLUserDefaults::encodeColor(saved.*role));
                QCOMPARE((loaded.*role)->alpha, alpha);
            }
            QCOMPARE(QVariantList({loaded.name, loaded.size.toDouble(), loaded.style}),
                     QVariantList({saved.name, 12.5, saved.style}));
        }
        store.defaults->saveFontAttributes(OLStyleSet{OLColor{1, 0, 0, 1}, {}, {}, {}, {}, {}, {}, {}});
        for (QLatin1StringView key : {OLKey::fontName, OLKey::fontSize, OLKey::fontStyle})
            QVERIFY2(!store.settings->contains(key), key.data());
        QCOMPARE(store.settings->value(OLKey::comColor), QVariant("0.000000 0.000000 0.000000 1.0"));
    }

    // Three fields at least, each its longest numeric prefix, in single precision.
    void decodeColor_data()
    {
        QTest::addColumn<QVariant>("text");
        QTest::addColumn<QList<double>>("rgb"); // none: refused
        const auto row = [](const char *name, const QVariant &text, const QList<float> &rgb) {
            QTest::newRow(name) << text << QList<double>(rgb.begin(), rgb.end());
        };
        row("no fourth field", "0.1 0.2 0.3", {0.1f, 0.2f, 0.3f});
        row("longest numeric prefix; signs, bare points", "0.5x 1e-1junk +.5", {0.5f, 0.1f, 0.5f});
        row("two spaces make an empty field; incomplete exponents", "1e+  2E2", {1, 0, 200});
        row("no numbers, two signs, no NaN", "abc +-1 nan", {0, 0, 0});
        row("other digits than ASCII, beyond single precision", "\u0663 1e39 \t1", {0, 0, 1});
        row("comma separated is one field", "1.0,0.5,0.0", {});
        row("two fields", "0.5 0.5", {});
        row("a list from the ini file", QStringList{"1", "0", "0"}, {});
    }
    void decodeColor()
    {
        QFETCH(QVariant, text);
        const std::optional<OLColor> c = OLUserDefaults::decodeColor(text, 0.25);
        QTEST(c ? QList<double>({c->red, c->green, c->blue}) : QList<double>(), "rgb");
        QVERIFY(!c || c->alpha == 0.25);
    }

    // Every key holds something the program cannot read: each load gives what
    // it gives with an empty user's layer, that is the registered value or,
    // without one, nothing. What can be read of a hand-edited list is.
    void corruptFile()
    {
        const QByteArray contents(
            "[General]\nverticalOrientation=maybe\nshouldHighlightSyntax=2x\nshouldReopenFiles=@Invalid()\n"
            "shouldRestoreCommitHistory=true, false\nmaximumCommitHistoryLength=1e30\nmaximumConsoleLength=x\n"
            "outAlpha=1e300\nansFontTraits=12abc\nerrFontTraits=@ByteArray(12)\nfontName=DejaVu, Sans\nfontSize=inf\n"
            "regColor=0.5 0.5\nerrColor=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x3xyz)\nkeyColor=1.0, 0.0, 0.0\nstrColor=\n"
            "comColor=0.5\npreferredInterpreter=file://localhost/usr/bin/poly, -q\nPOLYML=@Rect(1 2 3 4)\n"
            "polyPath=a, b\nopenedFiles=@Variant(garbage)\ncommitHistory=@Rect(1 2 3 4)\nwindowGeometry=120 90 700 450\n");
        // The real resource plus values for the keys it leaves out, so that every fallback shows; then none.
        QVariantMap full = OLUserDefaults::defaultPreferences();
        for (const QString &key : {QString(OLKey::preferredInterpreter), QString(OLKey::polyPath)})
            full.insert(key, "file://localhost/usr/bin/poly");
        for (const QVariantMap &registered : {full, QVariantMap()}) {
            Store corrupt(contents), clean;
            corrupt.registerDefaults(registered);
            clean.registerDefaults(registered);
            QCOMPARE(describe(*corrupt.defaults), describe(*clean.defaults));
        }
        Store edited("[General]\nopenedFiles=not a url, file:///a.sml, relative/b.sml, , \"file://localhost/c,d.sml\"\n");
        QCOMPARE(edited.defaults->loadOpenedFiles(), (QList<QUrl>{QUrl("file:///a.sml"), QUrl("file://localhost/c,d.sml")}));
    }

    // A failed write is reported, and the run goes on with the values saved in it.
    void writeFailure_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("blocker"); // made before the store writes
        QTest::newRow("a writable file") << "Ostrel.conf" << QString();
        QTest::newRow("the settings path is a folder") << "Ostrel.conf" << "Ostrel.conf/";
        // No folder can be made, whoever runs the test.
        QTest::newRow("a file where the settings folder belongs") << "blocker/Ostrel/Ostrel.conf" << "blocker";
    }
    void writeFailure()
    {
        QFETCH(QString, name);
        QFETCH(QString, blocker);
        Store store({}, name);
        if (blocker.endsWith(u'/'))
            QVERIFY(QDir(store.dir.path()).mkdir(blocker));
        else if (QFile file(store.dir.filePath(blocker)); !blocker.isEmpty())
            QVERIFY(file.open(QIODevice::WriteOnly));
        store.defaults->saveMaximumCommitHistoryLength(42);
        QCOMPARE(store.defaults->lastWriteFailed(), !blocker.isEmpty());
        QCOMPARE(store.defaults->loadMaximumCommitHistoryLength(), 42);
        const QFileInfo file(store.dir.filePath(name));
        QCOMPARE(file.isFile() && file.size() > 0, blocker.isEmpty());
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
};

QTEST_GUILESS_MAIN(TestUserDefaults)
#include "tst_userdefaults.moc"
