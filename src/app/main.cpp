#include "app/OLAppDelegate.h"
#include "app/OLAsker.h"
#include "app/OLFileName.h"
#include "app/OLHeap.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>
#include <QSettings>

int main(int argc, char *argv[])
{
    olKeepLargeBlocksOnHeap();
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
    // Qt's own list has lost the bytes of file names that are not UTF-8.
    parser.process(OLFileName::arguments(argc, argv));

    const std::unique_ptr<QSettings> userLayer = OLUserDefaults::openUserLayer();
    OLDialogAsker asker;
    OLAppDelegate delegate(*userLayer, asker, OLRecoveryStore::standardFolder());
    if (parser.isSet(defaultInterpreter))
        delegate.registerDefaultInterpreter(parser.value(defaultInterpreter));
    QObject::connect(&delegate, &OLAppDelegate::terminated, &app, [] { QCoreApplication::exit(0); });
    if (!delegate.applicationDidFinishLaunching(parser.positionalArguments()))
        return 0;
    return QApplication::exec();
}
