#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// What the command line of ostrel-eval asks for.
struct OLEvalOptions {
    bool help = false;
    bool split = false; // print the declarations, start nothing
    bool json = false;  // JSON Lines instead of text for people
    std::optional<QString> interpreter;              // as given: "/usr/bin/poly -q"
    std::optional<std::chrono::milliseconds> timeout; // per declaration
    QString file;
};

// What --help prints: the synopsis, the options and the exit statuses.
QString evalHelp();

// arguments[0] is the program. Nothing, and the cause in *error, for a
// command line that does not match the synopsis.
std::optional<OLEvalOptions> parseEvalArguments(const QStringList &arguments, QString *error);

// The stored form (commandLineForExecutable) of a plain interpreter command
// line: the executable (a bare name is looked up in PATH) and the arguments.
// Nothing, and the cause in *error, when the executable is not there or
// cannot be run.
std::optional<QString> storedInterpreterCommandLine(const QString &plain, QString *error);

// Whether the executable of a stored command line is there and can be run;
// the cause in *error when not.
bool checkInterpreter(const QString &storedCommandLine, QString *error);
