#pragma once

#include <QString>

// What the console pane needs of its document window: the commit of the
// input typed into it, and the messages of its output.
class OLConsoleWindow
{
public:
    // Sends text to the interpreter; `from` is the committer number (the
    // console commits as 1).
    virtual void eval(const QString &text, qint32 from) = 0;
    // The user activated the output at `shown` (a unit of the console's
    // output, counted as OLSessionConsole says): shows the message there in
    // the editor; false when there is none.
    virtual bool activateOutput(qint64 shown) = 0;
    // Whether output taken in waits to be shown until the window asks (just
    // after it gives the interpreter a declaration), a moment at most,
    // rather than being shown at once.
    virtual bool showsOutputOnRequest() const = 0;

protected:
    ~OLConsoleWindow() = default;
};
