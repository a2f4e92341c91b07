#pragma once

#include <QString>

// What the console pane needs of its document window: the commit of the
// input typed into it.
class OLConsoleWindow
{
public:
    // Sends text to the interpreter; `from` is the committer number (the
    // console commits as 1).
    virtual void eval(const QString &text, qint32 from) = 0;

protected:
    ~OLConsoleWindow() = default;
};
