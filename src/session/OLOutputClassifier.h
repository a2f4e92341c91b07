#pragma once

#include "session/OLInterpreterMode.h"

#include <QString>
#include <QStringView>

// One answer of an interpreter with its prompts stripped, and whether it is
// the interpreter's report of a failure.
struct OLClassifiedOutput {
    QString text;
    bool error = false;
};

// Removes the prompts (and Moscow ML's banner line and answer marks) that the
// interpreter of this mode writes at the beginning and the end of its output.
// Only the two ends are touched: prompts in the middle stay.
QString stripPrompts(OLInterpreterMode mode, QStringView text);

// Whether stripped output reports a failure: a rejected declaration, an
// uncaught exception or an interrupted evaluation. Warnings next to accepted
// bindings are not failures. It holds when one of the three rules below does.
bool isErrorOutput(OLInterpreterMode mode, QStringView stripped);

// The rules by the part of the output they look at, for output judged in
// parts: the beginning of the whole output, each line by its beginning (after
// any prompts; a line equal to a short marker is judged whole), and the end.
bool startsAsError(OLInterpreterMode mode, QStringView stripped);
bool hasErrorLine(OLInterpreterMode mode, QStringView text);
bool endsAsError(OLInterpreterMode mode, QStringView stripped);

OLClassifiedOutput classifyOutput(OLInterpreterMode mode, QStringView text);

// Whether a whole line of standard error reports a failure. Alice ML writes
// its rejections, uncaught exceptions and interruptions there; for the other
// modes standard error is printed output.
bool isErrorReport(OLInterpreterMode mode, QStringView line);

// The mark of a declaration that the compiler rejected, where the mode has one
// that can stand anywhere in an answer ("poly: : error:"); empty otherwise.
QStringView rejectionMarker(OLInterpreterMode mode);
