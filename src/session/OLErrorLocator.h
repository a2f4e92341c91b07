#pragma once

#include "session/OLInterpreterMode.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <vector>

// One error or warning an interpreter reported about a commit, and its place.
struct OLErrorLocation {
    bool warning = false;
    QString message;     // what is wrong, without the place the interpreter names
    bool exact = false;  // the place is the one the interpreter named; else the whole commit
    qsizetype from = 0;  // the place in the commit's text, in UTF-16 units
    qsizetype to = 0;
    qint64 shownFrom = 0; // where the message stands in the answer that holds it
    qint64 shownTo = 0;
    friend bool operator==(const OLErrorLocation &, const OLErrorLocation &) = default;
};

// Finds the errors and warnings in the answer to a commit and places each
// in the commit's text, by what each interpreter reports:
// - SML/NJ: "stdIn:L.C-L.C Error:", lines counted over all the input of the
//   session, columns in bytes from 1. After a rejection or an uncaught
//   exception it drops the rest of its input (the line end after the ";"
//   included) and counts positions from the start again, while its table of
//   line ends keeps growing: a place on the first line read after that is
//   named "line 1" with a column one too large, and a place on a later line
//   is named after a line end from before. So the locator keeps the same
//   count and table as SML/NJ, and turns a line and column back into the
//   position that SML/NJ read.
// - Poly ML names no line for standard input; the text after "Found near"
//   (printed from the parse tree: blanks, ";" and brackets may differ, "..."
//   stands for what is left out) is looked for among the commit's tokens.
// - Moscow ML echoes the lines of the place after "! Toplevel input:",
//   marked by carets under a single line or by dots over what lies outside
//   it, columns in bytes.
// - Alice ML: "L.C-L.C:" counted from the commit's first line, columns from
//   0 in bytes, a tab to the next multiple of 8.
// Where no place is found, the place is the whole commit; so is the place of
// an answer that is an error and holds no message (an uncaught exception).
class OLErrorLocator
{
public:
    explicit OLErrorLocator(OLInterpreterMode mode);

    // The messages of `answer`, the text shown for the commit `text` + `end`
    // (what the user wrote, and what the session added), in the order
    // shown; their places lie in `text`. `error` is the verdict on the answer.
    QList<OLErrorLocation> locate(QStringView answer, QStringView text, QStringView end, bool error) const;
    // The interpreter is done with the commit `text` + `end` (what the
    // session added): its answers held `messages` and were an error or not.
    void commitDone(QStringView text, QStringView end, const QList<OLErrorLocation> &messages, bool error);
    // Whether a failure makes the interpreter drop the input it has not read
    // yet (SML/NJ): commits written while it answered get no answer.
    bool dropsInputAfterFailure() const { return m_mode == OLSmlNJ; }

private:
    OLInterpreterMode m_mode;
    // SML/NJ: where it read each line end (the one before line n + 2), and
    // the position of the next byte it reads.
    std::vector<qint64> m_lineEnds;
    qint64 m_next = 2;
};
