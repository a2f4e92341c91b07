// A stand-in interpreter for the tests of the child process wrapper and the session:
//   ol_testchild [-Cparser.primary-prompt=P] repl [ignore-int] [ignore-term]
// (other arguments are ignored).
// It prompts "- " as SML/NJ does (give it a path ending in "sml"; the prompt
// option the session gives SML/NJ replaces it). Each line read is a commit,
// answered "read N" with its length, except
//   loop;        says "started", computes until SIGINT: "Interrupt"
//                (SIGINT at the prompt is answered "Interrupt" too)
//   exit N;      exits with status N at once
//   flood N;     N bytes of output, in lines of 100
//   floodline N; N bytes of output in a single line
// It can ignore SIGINT, and SIGTERM, like a misbehaving interpreter.

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

std::string prompt = "- ";
std::string interruptAnswer;
volatile std::sig_atomic_t interrupted = 0;
volatile std::sig_atomic_t looping = 0;

// At the prompt, an interrupt is answered at once, as SML/NJ does.
void onInterrupt(int)
{
    interrupted = 1;
    if (!looping)
        (void)!::write(STDOUT_FILENO, interruptAnswer.data(), interruptAnswer.size());
}

void writeAll(const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void flood(long size, bool lines)
{
    const std::string piece = lines ? std::string(99, 'x') + '\n' : std::string(100, 'x');
    for (long left = size; left > 0; left -= 100)
        std::fwrite(piece.data(), 1, size_t(std::min(left, 100L)), stdout);
}

} // namespace

int main(int argc, char **argv)
{
    const std::string option = "-Cparser.primary-prompt=";
    for (char **arg = argv + 1; arg < argv + argc; ++arg) {
        if (std::string(*arg).rfind(option, 0) == 0)
            prompt = *arg + option.size();
    }
    const auto given = [&](const char *name) { return std::find_if(argv + 1, argv + argc, [&](const char *a) { return std::strcmp(a, name) == 0; }) != argv + argc; };
    interruptAnswer = "\nInterrupt\n" + prompt;
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
        } else if (std::sscanf(line.c_str(), "flood %ld;", &number) == 1 || std::sscanf(line.c_str(), "floodline %ld;", &number) == 1) {
            flood(number, line[5] == ' ');
            writeAll(line[5] == ' ' ? prompt : "\n" + prompt);
        } else {
            writeAll("read " + std::to_string(line.size()) + "\n" + prompt);
        }
    }
    return 0;
}
