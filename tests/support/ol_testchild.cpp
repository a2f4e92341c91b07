// A child process for the tests of the child process wrapper and the session.
//   signals      reports SIGINT and SIGTSTP on standard output; exits 7 on SIGTERM
//   flood N      writes N bytes before it reads any input, then reports how much it read
//   split        writes "a" and the first byte of "é", waits for a line, writes the rest
//   closed       closes its standard input, says so, and waits for a signal
//   hold EXE...  runs EXE through a PXShellWrapper and copies its output: a parent
//                whose death must take its child along

#include "session/PXShellWrapper.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

void say(const char *text)
{
    const ssize_t written = ::write(STDOUT_FILENO, text, std::strlen(text));
    (void)written;
}

void onSignal(int signal)
{
    if (signal == SIGINT)
        say("INT\n");
    else if (signal == SIGTSTP)
        say("TSTP\n");
    else {
        say("TERM\n");
        ::_exit(7);
    }
}

int reportSignals()
{
    for (int signal : {SIGINT, SIGTSTP, SIGTERM})
        std::signal(signal, onSignal);
    say("ready\n");
    for (;;)
        ::pause();
}

int flood(long size)
{
    std::string block(65536, 'x');
    for (long left = size; left > 0; left -= long(block.size())) {
        const size_t chunk = size_t(std::min<long>(left, long(block.size())));
        if (std::fwrite(block.data(), 1, chunk, stdout) != chunk)
            return 1;
    }
    std::fflush(stdout);
    long count = 0;
    char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;)
        count += long(got);
    std::printf("read %ld\n", count);
    return 0;
}

int split()
{
    say("a\xc3");
    char line[64];
    if (!std::fgets(line, sizeof line, stdin))
        return 1;
    say("\xa9\n");
    return 0;
}

int closedInput()
{
    ::close(STDIN_FILENO);
    say("closed\n");
    for (;;)
        ::pause();
}

class Forwarder : public PXShellWrapperDelegate
{
public:
    void appendOutput(PXShellWrapper *, const QString &output) override
    {
        std::fputs(output.toUtf8().constData(), stdout);
        std::fflush(stdout);
    }
    void appendError(PXShellWrapper *, const QString &) override {}
    void processStarted(PXShellWrapper *) override {}
    void processFinished(PXShellWrapper *, int) override { QCoreApplication::quit(); }
};

int hold(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments;
    for (int i = 2; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    Forwarder forwarder;
    auto wrapper = std::make_shared<PXShellWrapper>(QString(), QProcessEnvironment(QProcessEnvironment::InheritFromParent),
                                                    arguments);
    wrapper->setDelegate(&forwarder);
    wrapper->startProcess();
    return app.exec();
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "signals")
        return reportSignals();
    if (mode == "flood" && argc > 2)
        return flood(std::atol(argv[2]));
    if (mode == "split")
        return split();
    if (mode == "closed")
        return closedInput();
    if (mode == "hold" && argc > 2)
        return hold(argc, argv);
    std::fprintf(stderr, "usage: ol_testchild signals|flood N|split|closed|hold EXE...\n");
    return 2;
}
