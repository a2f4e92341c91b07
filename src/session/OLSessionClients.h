#pragma once

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

protected:
    ~OLSessionEditor() = default;
};

class OLSessionConsole
{
public:
    virtual void appendAnswer(const QString &text) = 0;
    virtual void appendError(const QString &text) = 0;

protected:
    ~OLSessionConsole() = default;
};

class OLSessionWindow
{
public:
    // The interpreter ended by itself: close through the ordinary path.
    virtual void closeWindow() = 0;

protected:
    ~OLSessionWindow() = default;
};
