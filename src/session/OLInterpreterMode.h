#pragma once

#include <QLatin1StringView>
#include <QString>
#include <QStringList>

// The interpreters Ostrel can drive. The numbering is stored in settings and
// must not change.
enum OLInterpreterMode : qint32 {
    OLNoMode = -1,
    OLMosML = 0,
    OLSmlNJ = 1,
    OLAliceML = 2,
    OLPolyML = 3,
    OLUnknownMode = 4,
};

// "Moscow ML", ... ; empty for UNKNOWN and out-of-range values.
QString displayNameForMode(OLInterpreterMode mode);

// The preferred interpreter command line is the file URL of the executable
// ("file://localhost/usr/bin/poly", "file:///usr/bin/poly") followed by its
// arguments, each after white space. The URL ends at the first white space, so
// a path holding some has it percent-encoded ("%20"). "#" and "?" are part of
// the path, encoded or not: stored lines have always held them as they stand.
// A "%" followed by two hex digits is an escape; any other "%" is itself.
inline constexpr QLatin1StringView commandLinePrefix{"file://localhost"};

// A preferred interpreter command line turned into what a run needs.
struct OLCommandLine {
    QStringList arguments; // element 0 is the executable; empty when it cannot be run
    OLInterpreterMode mode = OLUnknownMode;
    QString error;         // why it cannot be run; empty when it can
};

// The one reader of command lines. Arguments are split at every white space
// (empty ones kept); the mode comes from the executable's name. A line that
// names no local absolute path, or names Ostrel itself, has an error.
OLCommandLine parsePreferredInterpreter(const QString &commandLine);
OLInterpreterMode modeForExecutable(const QString &path);

// The command line that parsePreferredInterpreter reads back as exactly this
// executable (made absolute) and these arguments (which must hold no white
// space).
QString commandLineForExecutable(const QString &path, const QStringList &arguments = {});

// The command line without "file:" and its host, as the preferences show it
// for editing (commandLinePrefix + it is the same command line); empty for
// a line that is no file URL.
QString commandLineWithoutPrefix(const QString &commandLine);
