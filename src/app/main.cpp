#include "app/OLAppDelegate.h"
#include "app/OLAsker.h"
#include "prefs/OLInterpreterDiscovery.h"
#include "settings/OLSettingsKeys.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Developer logs are for the developer: QT_LOGGING_RULES="ostrel.*=true" shows them.
    QLoggingCategory::setFilterRules(QStringLiteral("ostrel.*.debug=false"));
    QApplication::setApplicationName(QStringLiteral("Ostrel"));
    QApplication::setDesktopFileName(QStringLiteral("ostrel"));
    // The application delegate decides when to quit: after the last document
    // window, and only when every window agrees.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption defaultInterpreter(
        QStringLiteral("default-interpreter"),
        QCoreApplication::translate("main", "The interpreter to use until one is chosen in the preferences."),
        QCoreApplication::translate("main", "path"));
    parser.addOption(defaultInterpreter);
    parser.addPositionalArgument(QStringLiteral("files"), QCoreApplication::translate("main", "Files to open."),
                                 QStringLiteral("[files...]"));
    parser.process(app);

    const std::unique_ptr<QSettings> userLayer = OLUserDefaults::openUserLayer();
    OLDialogAsker asker;
    OLAppDelegate delegate(*userLayer, asker, OLRecoveryStore::standardFolder());
    // Registered, never stored: an interpreter the user chose still wins.
    if (parser.isSet(defaultInterpreter)) {
        const QString path = QFileInfo(parser.value(defaultInterpreter)).absoluteFilePath();
        delegate.defaults().registerDefaults({{OLKey::preferredInterpreter, commandLineForExecutable(path)}});
    }
    QObject::connect(&delegate, &OLAppDelegate::terminated, &app, [] { QCoreApplication::exit(0); });
    if (!delegate.applicationDidFinishLaunching(parser.positionalArguments()))
        return 0;
    return QApplication::exec();
}
