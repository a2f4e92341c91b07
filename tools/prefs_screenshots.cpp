// Shows the preferences window over a temporary settings store with the
// defaults, and saves a picture of each tab:
//   prefs_screenshots DIR  ->  DIR/preferences-general.png, DIR/preferences-fonts.png
// Run it under a real display server (xvfb-run -a) for the pictures in docs/.
#include "highlight/OLTextView.h"
#include "prefs/OLBroadcaster.h"
#include "prefs/OLPreferencesWindowController.h"
#include "settings/OLUserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {
class NoWindows : public OLBroadcaster
{
    void updateAllFontAttributes() override {}
    void updateAllLineNumbers() override {}
    void clearAllHistory() override {}
    void resetAllEnvironments() override {}
};
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: prefs_screenshots DIR\n");
        return 2;
    }
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    OLUserDefaults defaults(settings);
    defaults.registerDefaultPreferences();
    defaults.savePreferredInterpreter(QStringLiteral("file://localhost/usr/bin/poly"));

    NoWindows broadcaster;
    OLPreferencesWindowController window(defaults, broadcaster);
    window.resize(640, 600);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;

    const QDir out(QString::fromLocal8Bit(argv[1]));
    const auto shoot = [&](const char *name) {
        const auto *example = window.findChild<OLTextView *>();
        const QString path = out.filePath(QLatin1StringView(name));
        if (!QTest::qWaitFor([example] { return example->isRenderingComplete(); }) || !window.grab().save(path))
            return false;
        std::printf("%s\n", qPrintable(path));
        return true;
    };
    window.selectGenTab();
    if (!shoot("preferences-general.png"))
        return 1;
    window.selectFacTab();
    return shoot("preferences-fonts.png") ? 0 : 1;
}
