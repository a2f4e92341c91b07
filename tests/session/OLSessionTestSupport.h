#pragma once

// A session on an interpreter, with stand-ins for the panes and the window it
// reports to and settings in a temporary place.

#include "OLTestProcesses.h"
#include "session/OLInterpreterSession.h"
#include "session/PXShellWrapper.h"
#include "settings/OLUserDefaults.h"

#include <QDeadlineTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <optional>

class OLSessionRecorder : public OLSessionEditor, public OLSessionConsole, public OLSessionWindow
{
public:
    using Piece = std::pair<bool, QString>; // an error?, the text

    void setLastCommitSuccess(bool success) override
    {
        verdicts.append(success);
        if (onVerdict)
            onVerdict(success);
    }
    void resetEvaluated() override { ++resets; }
    void appendAnswer(const QString &text) override { pieces.append({false, text}); }
    void appendError(const QString &text) override { pieces.append({true, text}); }
    void closeWindow() override { ++closes; }
    void interpreterActivityChanged(OLInterpreterActivity) override {}
    void interpreterStarted() override { ++starts; }
    void showMessages(const QList<OLErrorLocation> &found) override { messages = found; }

    // What the console shows, in order: all of it, or what it shows in one style.
    QString shown(std::optional<bool> error = std::nullopt) const
    {
        QString all;
        for (const Piece &piece : pieces)
            all += !error || piece.first == *error ? piece.second : QString();
        return all;
    }
    void clear()
    {
        verdicts.clear();
        pieces.clear();
    }

    QList<bool> verdicts;
    QList<Piece> pieces;
    QList<OLErrorLocation> messages;
    int resets = 0, closes = 0, starts = 0;
    std::function<void(bool)> onVerdict;
};

inline const QString polyPath = QStringLiteral("/usr/bin/poly");
inline const QString smlPath = QStringLiteral("/usr/bin/sml");
inline const QString endlessLoop = QStringLiteral("let fun loop (x : int) : int = loop x in print \"started\\n\"; loop 0 end");

// Kills every interpreter a test started and waits until all are gone, so no
// test sees another's children.
inline void endAllChildren()
{
    PXShellWrapper::terminateAll();
    QTRY_VERIFY_WITH_TIMEOUT(OLTestProcesses::liveChildren().isEmpty(), 10000);
}

// The one interpreter running, or -1.
inline qint64 onlyChild()
{
    const QList<qint64> children = OLTestProcesses::liveChildren();
    return children.size() == 1 ? children.first() : -1;
}

// The command line of an interpreter: "standin ARGS" is the test child's repl
// with those arguments (built as "sml", so that the session takes it for SML/NJ).
inline QString commandLine(const QString &interpreter)
{
    return interpreter.startsWith(u"standin") ? QStringLiteral(OL_TESTCHILD " repl") + interpreter.mid(7) : interpreter;
}

// One session, started on an interpreter's command line.
template<typename Recorder = OLSessionRecorder>
struct OLSessionRun {
    explicit OLSessionRun(const QString &interpreter)
    {
        setInterpreter(interpreter);
        session->startProcess();
    }

    void setInterpreter(const QString &interpreter)
    {
        defaults.savePreferredInterpreter(QStringLiteral("file://localhost") + commandLine(interpreter));
    }
    // Spins the event loop between checks (QTest::qWaitFor sleeps after each pass, which throttles a flood).
    static bool waitFor(const std::function<bool()> &condition, int timeoutMs = 20000)
    {
        for (QDeadlineTimer deadline(timeoutMs); !condition(); QTest::qWait(20)) {
            if (deadline.hasExpired())
                return false;
        }
        return true;
    }
    // The interpreter answers a plain declaration of the editor: one verdict, a success.
    bool answers()
    {
        recorder.verdicts.clear();
        session->eval(QStringLiteral("val answered = 5"), OLEditorCommitter);
        return waitFor([&] { return !recorder.verdicts.isEmpty(); }) && recorder.verdicts == QList<bool>{true};
    }
    // Drives the session step by step; returns the first step that failed, or
    // nothing. Actions: "answer" (a declaration answered with success),
    // "eval:T" (a commit of the editor), "use:I" (the interpreter the next
    // reset starts), "loop" and "console-loop" (one that computes until
    // interrupted, once it has started), "big" (a console commit of 5 MB),
    // "interrupt", "reset", "kill" (SIGKILL to the interpreter), "quit"
    // (Ostrel), "close" (the window, and with it the session), "clear" (what
    // was reported), "mark" (notes the interpreter running). Waits: "ignored"
    // (the last interrupt is taken for ignored), "ended", "busy", "more"
    // (more shown), "has:T", "gone" (the marked interpreter), "verdicts:10"
    // (a success, a failure). Checks: "heeded" (the last interrupt is not
    // taken for ignored, yet), "shown:T" (all that was shown), "errors:T"
    // (all shown, as errors), "lacks:T", "last:T" (the last piece, an
    // error), "closes:N", "resets:N", "starts:N", "children:N" (interpreters
    // running).
    QString play(const QStringList &steps)
    {
        using enum OLInterpreterActivity;
        for (const QString &step : steps) {
            const qsizetype shown = recorder.shown().size();
            const QString text = step.section(u':', 1);
            bool done = true;
            if (step == u"answer")
                done = answers();
            else if (step.startsWith(u"eval:"))
                session->eval(text, OLEditorCommitter);
            else if (step.startsWith(u"use:"))
                setInterpreter(text);
            else if (step == u"loop" || step == u"console-loop") {
                // Says "started" and computes until it is interrupted.
                const bool standIn = defaults.loadPreferredInterpreterPath().contains(u" repl");
                session->eval(standIn ? QStringLiteral("loop") : endlessLoop, step == u"loop" ? OLEditorCommitter : OLConsoleCommitter);
                done = waitFor([&] { return recorder.shown().mid(shown).contains(u"started\n"); });
            } else if (step == u"big")
                session->eval("(* " + QString(5 << 20, u'y') + " *) val after = 1", OLConsoleCommitter);
            else if (step == u"interrupt")
                session->interruptEvaluation();
            else if (step == u"reset")
                session->resetEnvironment();
            else if (step == u"kill")
                done = ::kill(pid_t(onlyChild()), SIGKILL) == 0;
            else if (step == u"clear")
                recorder.clear();
            else if (step == u"heeded")
                done = !session->interruptIgnored();
            else if (step == u"ignored")
                done = waitFor([&] { return session->interruptIgnored(); });
            else if (step == u"ended" || step == u"busy")
                done = waitFor([&] { return session->activity() == (step == u"ended" ? Ended : Busy); });
            else if (step == u"more")
                done = waitFor([&] { return recorder.shown().size() > shown; });
            else if (step == u"mark")
                marked = onlyChild();
            else if (step == u"quit")
                PXShellWrapper::terminateAll();
            else if (step == u"close")
                session.reset();
            else if (step == u"gone")
                done = waitFor([&] { return !OLTestProcesses::isAlive(marked); });
            else if (step.startsWith(u"verdicts:"))
                done = waitFor([&] { return std::ranges::equal(recorder.verdicts, text, [](bool success, QChar c) { return success == (c == u'1'); }); });
            else if (step.startsWith(u"shown:"))
                done = recorder.shown() == text;
            else if (step.startsWith(u"has:"))
                done = waitFor([&] { return recorder.shown().contains(text); });
            else if (step.startsWith(u"lacks:"))
                done = !recorder.shown().contains(text);
            else if (step.startsWith(u"last:"))
                done = !recorder.pieces.isEmpty() && recorder.pieces.last() == OLSessionRecorder::Piece{true, text};
            else if (step.startsWith(u"closes:"))
                done = recorder.closes == text.toInt();
            else if (step.startsWith(u"resets:"))
                done = recorder.resets == text.toInt();
            else if (step.startsWith(u"starts:"))
                done = recorder.starts == text.toInt();
            else if (step.startsWith(u"children:"))
                done = OLTestProcesses::liveChildren().size() == text.toInt();
            else if (step.startsWith(u"errors:"))
                done = recorder.shown() == text && recorder.shown(true) == text;
            else
                done = false;
            if (!done)
                return step.left(60) + QStringLiteral(" after: ") + recorder.shown().right(200);
        }
        return {};
    }

    qint64 marked = -1;
    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    OLUserDefaults defaults{settings};
    Recorder recorder;
    std::unique_ptr<OLInterpreterSession> session =
        std::make_unique<OLInterpreterSession>(defaults, recorder, recorder, recorder);
};

// A table of sessions played step by step: its columns, and the row at hand played.
inline void addPlayColumns()
{
    QTest::addColumn<QString>("interpreter");
    QTest::addColumn<QStringList>("steps");
}
inline void playRow()
{
    QFETCH(QString, interpreter);
    QFETCH(QStringList, steps);
    if (interpreter.startsWith(u"/opt"))
        SKIP_UNLESS_INSTALLED(interpreter);
    QCOMPARE(OLSessionRun<>(interpreter).play(steps), QString());
}
