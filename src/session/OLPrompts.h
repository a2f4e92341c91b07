#pragma once

#include "session/OLInterpreterMode.h"

#include <QString>
#include <QStringView>

// The prompts an interpreter writes on its standard output, as the session
// makes it write them. Poly ML and SML/NJ are given prompts of their own that
// no program output can be taken for, so an answer ends where the prompt says,
// however the pipe splits the reads. The others keep theirs ("- "), which can
// only be recognised where they stand: at the start of a line.
struct OLPrompts {
    QStringView primary;      // before a new declaration; empty: none known
    QStringView continuation; // inside a declaration; empty: none
    bool unique = false;      // recognised anywhere in the output
};

OLPrompts promptsOf(OLInterpreterMode mode);

// Makes a command line write the session's prompts: adds what the mode needs
// to its arguments. Poly ML writes prompts on a pipe only with "-i".
void requestPrompts(OLCommandLine &command);

// Input to write before anything else, to the same end; empty when none.
QString promptSetupInput(OLInterpreterMode mode);

// The prompt the interpreter writes of its own before the setup input takes
// effect; it ends its start-up text and is not shown.
QStringView defaultPrompt(OLInterpreterMode mode);
