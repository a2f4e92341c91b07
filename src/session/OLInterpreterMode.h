#pragma once

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

// A preferred interpreter command line turned into what a run needs.
struct OLCommandLine {
    QStringList arguments; // element 0 is the executable
    OLInterpreterMode mode = OLUnknownMode;
};

// Drops the 16-character "file://localhost" prefix, splits at white space
// (empty components kept) and detects the mode from the executable's suffix.
OLCommandLine parsePreferredInterpreter(const QString &commandLine);
OLInterpreterMode modeForExecutable(const QString &path);
