#pragma once

#include <QString>

// What the editor pane asks of its document window.
class OLEditorWindow
{
public:
    // Hands a declaration to the interpreter session; `from` is the committer
    // number (0 for the editor).
    virtual void eval(const QString &text, qint32 from) = 0;
    // Recomputes the edited mark after a change of the text; answers whether
    // the text differs from what is saved.
    virtual bool fileChanged() = 0;
    // The interpreter holds declarations that have been retracted: a new one
    // takes its place, and the editor replays the kept declarations into it.
    virtual void restartForReplay() {}
    // The replay is over: `replayed` of the `kept` declarations stand in the
    // new interpreter; fewer when one of them failed.
    virtual void replayEnded(qsizetype, qsizetype) {}

protected:
    ~OLEditorWindow() = default;
};
