#pragma once

#include "session/OLErrorLocator.h"

#include <QString>

// What the interpreter session reports to the panes and the window of its
// document.

class OLSessionEditor
{
public:
    // The verdict on the editor's last commit: YES for an answer, NO for an error.
    virtual void setLastCommitSuccess(bool success) = 0;
    // Forget which prefix of the source has been evaluated.
    virtual void resetEvaluated() = 0;
    // The errors and warnings in the answer to the editor's last commit, in
    // place of those told before for it: more may come as the answer goes
    // on. Told before the verdict.
    virtual void showMessages(const QList<OLErrorLocation> &) {}

protected:
    ~OLSessionEditor() = default;
};

// The console's output is counted in UTF-16 units from the first appended:
// OLErrorLocation::shownFrom tells where a message stands in it.
class OLSessionConsole
{
public:
    virtual void appendAnswer(const QString &text) = 0;
    virtual void appendError(const QString &text) = 0;

protected:
    ~OLSessionConsole() = default;
};

// What the window's current interpreter is doing.
enum class OLInterpreterActivity {
    Idle,  // at its prompt, or answering a commit for less than a moment
    Busy,  // a commit has not brought it back to its prompt for a while
    Ended, // no interpreter runs until the next reset
};

class OLSessionWindow
{
public:
    // The interpreter ended by itself: close through the ordinary path.
    virtual void closeWindow() = 0;
    // Told on every change, for the current run only; Idle when a run
    // starts. Ended comes before closeWindow() when the interpreter exited by
    // itself, and alone when it was killed, stopped after an ignored
    // interrupt, ended before it was ready, or never started (the window then stays open, and the
    // console says why). Must not close the window.
    virtual void interpreterActivityChanged(OLInterpreterActivity) {}
    // The current run's interpreter stands at its first prompt, and what it
    // wrote as it started has been shown. Not told for an interpreter without
    // known prompts.
    virtual void interpreterStarted() {}
    // The current run's interpreter ended before it was ready: before its
    // first prompt (without known prompts, before anything was written to
    // it). The console says so and where to choose another; the window stays.
    virtual void interpreterEndedAtStart() {}

protected:
    ~OLSessionWindow() = default;
};
