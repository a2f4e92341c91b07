// A child process for the tests of the child process wrapper and the session.
//   session EXE [COMMIT]
//                runs EXE as the interpreter of an OLInterpreterSession, commits
//                COMMIT, and copies what its console would show: a stand-in for
//                Ostrel (settings in the working directory)
//   repl [ignore-int] [ignore-term]
//                a stand-in interpreter with SML/NJ's prompt "- " (give it a path
//                ending in "sml"; the prompt given as SML/NJ's is given, by
//                "-Cparser.primary-prompt=P" before "repl", replaces it). Each
//                line read is a commit, answered "read N"
//                with its length, except
//                  loop;      says "started", computes until SIGINT: "Interrupt"
//                (SIGINT at the prompt is answered "Interrupt" too)
//                  exit N;    exits with status N at once
//                  flood N;   N bytes of output, in lines of 100
//                  floodline N; N bytes of output in a single line
//                It can ignore SIGINT, and SIGTERM, like a misbehaving interpreter.

#include "session/OLInterpreterSession.h"
#include "settings/OLUserDefaults.h"

#include <QCoreApplication>
#include <QSettings>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string prompt = "- ";
std::string interruptAnswer;

void say(const char *text)
{
    const ssize_t written = ::write(STDOUT_FILENO, text, std::strlen(text));
    (void)written;
}

class Console : public OLSessionEditor, public OLSessionConsole, public OLSessionWindow
{
public:
    void setLastCommitSuccess(bool) override {}
    void resetEvaluated() override {}
    void appendAnswer(const QString &text) override { print(text); }
    void appendError(const QString &text) override { print(text); }
    void closeWindow() override { QCoreApplication::quit(); }

private:
    static void print(const QString &text)
    {
        std::fputs(text.toUtf8().constData(), stdout);
        std::fflush(stdout);
    }
};

// Its settings in the working directory.
int session(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QSettings settings(QStringLiteral("settings.ini"), QSettings::IniFormat);
    OLUserDefaults defaults(settings);
    defaults.savePreferredInterpreter(QStringLiteral("file://localhost") + QString::fromLocal8Bit(argv[2]));
    Console console;
    OLInterpreterSession session(defaults, console, console, console);
    session.startProcess();
    if (argc > 3)
        session.eval(QString::fromLocal8Bit(argv[3]), OLConsoleCommitter);
    return app.exec();
}

volatile std::sig_atomic_t interrupted = 0;
volatile std::sig_atomic_t looping = 0;

// At the prompt, an interrupt is answered at once, as SML/NJ does.
void onInterrupt(int)
{
    interrupted = 1;
    if (!looping)
        say(interruptAnswer.c_str());
}

void writeAll(const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void floodOutput(long size, bool lines)
{
    std::string block;
    for (int i = 0; i < 655; ++i)
        block += lines ? std::string(99, 'x') + '\n' : std::string(100, 'x');
    for (long left = size; left > 0; left -= long(block.size()))
        std::fwrite(block.data(), 1, size_t(std::min<long>(left, long(block.size()))), stdout);
}

int repl(const std::vector<std::string> &options)
{
    interruptAnswer = "\nInterrupt\n" + prompt;
    const auto given = [&](const char *option) { return std::find(options.begin(), options.end(), option) != options.end(); };
    if (given("ignore-term"))
        std::signal(SIGTERM, SIG_IGN);
    struct sigaction action = {};
    action.sa_handler = given("ignore-int") ? SIG_IGN : onInterrupt;
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    writeAll("Stand-in ML\n" + prompt);
    for (std::string line; std::getline(std::cin, line);) {
        long number = 0;
        if (line == "loop;") {
            sigset_t blocked, waiting;
            sigemptyset(&blocked);
            sigaddset(&blocked, SIGINT);
            sigprocmask(SIG_BLOCK, &blocked, &waiting);
            interrupted = 0;
            looping = 1;
            writeAll("started\n");
            while (!interrupted)
                sigsuspend(&waiting);
            // A second interrupt that came meanwhile is part of this one.
            sigprocmask(SIG_SETMASK, &waiting, nullptr);
            looping = 0;
            writeAll(interruptAnswer);
        } else if (std::sscanf(line.c_str(), "exit %ld;", &number) == 1) {
            return int(number);
        } else if (std::sscanf(line.c_str(), "flood %ld;", &number) == 1) {
            floodOutput(number, true);
            writeAll(prompt);
        } else if (std::sscanf(line.c_str(), "floodline %ld;", &number) == 1) {
            floodOutput(number, false);
            writeAll("\n" + prompt);
        } else {
            writeAll("read " + std::to_string(line.size()) + "\n" + prompt);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "session" && argc > 2)
        return session(argc, argv);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const std::string promptOption = "-Cparser.primary-prompt=";
    for (; !arguments.empty() && arguments.front().rfind("-C", 0) == 0; arguments.erase(arguments.begin())) {
        if (arguments.front().rfind(promptOption, 0) == 0)
            prompt = arguments.front().substr(promptOption.size());
    }
    if (!arguments.empty() && arguments.front() == "repl")
        return repl({arguments.begin() + 1, arguments.end()});
    std::fprintf(stderr, "usage: ol_testchild session EXE [COMMIT]|repl [ignore-int] [ignore-term]\n");
    return 2;
}
