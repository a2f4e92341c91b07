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

} // namespace

int main(int argc, char **argv)
{
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i], option = "-Cparser.primary-prompt=";
        if (argument.rfind(option, 0) == 0)
            prompt = argument.substr(option.size());
        else if (argument == "ignore-int")
            action.sa_handler = SIG_IGN;
        else if (argument == "ignore-term")
            std::signal(SIGTERM, SIG_IGN);
    }
    interruptAnswer = "\nInterrupt\n" + prompt;
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    std::cout << "Stand-in ML\n" << prompt << std::flush;
    for (std::string line; std::getline(std::cin, line);) {
        long number = 0;
        if (line == "loop;") {
            sigset_t blocked, waiting;
            sigemptyset(&blocked);
            sigaddset(&blocked, SIGINT);
            sigprocmask(SIG_BLOCK, &blocked, &waiting);
            interrupted = 0;
            looping = 1;
            std::cout << "started\n" << std::flush;
            while (!interrupted)
                sigsuspend(&waiting);
            // A second interrupt that came meanwhile is part of this one.
            sigprocmask(SIG_SETMASK, &waiting, nullptr);
            looping = 0;
            std::cout << interruptAnswer << std::flush;
        } else if (std::sscanf(line.c_str(), "exit %ld;", &number) == 1) {
            return int(number);
        } else if (std::sscanf(line.c_str(), "flood %ld;", &number) == 1 || std::sscanf(line.c_str(), "floodline %ld;", &number) == 1) {
            const bool lines = line[5] == ' ';
            const std::string piece = lines ? std::string(99, 'x') + '\n' : std::string(100, 'x');
            for (long left = number; left > 0; left -= 100)
                std::cout.write(piece.data(), std::min(left, 100L));
            std::cout << (lines ? "" : "\n") << prompt << std::flush;
        } else {
            std::cout << "read " << line.size() << "\n" << prompt << std::flush;
        }
    }
    return 0;
}
