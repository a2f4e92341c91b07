#include "app/OLAppDelegate.h"
#include "app/OLAsker.h"

#include <QApplication>
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

    const std::unique_ptr<QSettings> userLayer = OLUserDefaults::openUserLayer();
    OLDialogAsker asker;
    OLAppDelegate delegate(*userLayer, asker, OLRecoveryStore::standardFolder());
    QObject::connect(&delegate, &OLAppDelegate::terminated, &app, [] { QCoreApplication::exit(0); });
    // Qt has taken its own options out of the arguments; the rest are files.
    if (!delegate.applicationDidFinishLaunching(QApplication::arguments().mid(1)))
        return 0;
    return QApplication::exec();
}
