// A running Ostrel for tests to kill: the real application delegate and
// window over the given settings file and recovery folder, with text typed
// at the end of a window (the file's, or a new document's). Once the window
// has journalled the text it prints "journalled" and waits to be killed.
//
// ostrel_journal_child <settings file> <recovery folder> <file or ""> <text>

#include "appfixture.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 5) {
        std::fprintf(stderr, "usage: %s settings recovery-folder file text\n", argv[0]);
        return 2;
    }
    QSettings settings(arguments[1], QSettings::IniFormat);
    ScriptedAsker asker; // any question stays unanswered
    OLAppDelegate delegate(settings, asker, arguments[2]);
    const QString file = arguments[3];
    if (!delegate.applicationDidFinishLaunching(file.isEmpty() ? QStringList() : QStringList(file)))
        return 3;
    OLWindowController *window = delegate.windows().constLast();

    // Polls: first for the file's text in the editor, then for the journal.
    bool typed = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (!typed) {
            if (window->editor()->content() != window->content())
                return;
            typeAtEnd(window, arguments[4]);
            typed = true;
            return;
        }
        if (QDir(arguments[2]).entryList({QStringLiteral("*.journal")}, QDir::Files).isEmpty())
            return;
        poll.stop();
        std::printf("journalled\n");
        std::fflush(stdout);
    });
    poll.start(20);
    return QApplication::exec();
}
