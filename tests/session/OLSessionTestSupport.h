#pragma once

// Stand-ins for the panes and the window that an interpreter session reports
// to, and settings in a temporary place.

#include "OLTestProcesses.h"
#include "session/OLSessionClients.h"
#include "session/PXShellWrapper.h"
#include "settings/OLUserDefaults.h"

#include <QList>
#include <QTest>
#include <QSettings>
#include <QTemporaryDir>

#include <functional>

class OLSessionRecorder : public OLSessionEditor, public OLSessionConsole, public OLSessionWindow
{
public:
    struct Piece {
        bool error;
        QString text;
        friend bool operator==(const Piece &, const Piece &) = default;
    };

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
    void interpreterActivityChanged(OLInterpreterActivity activity) override { activities.append(activity); }
    void interpreterStarted() override { ++starts; }

    // Everything the console shows, in order.
    QString console() const
    {
        QString all;
        for (const Piece &piece : pieces)
            all += piece.text;
        return all;
    }
    // The text shown in one style.
    QString shown(bool error) const
    {
        QString all;
        for (const Piece &piece : pieces) {
            if (piece.error == error)
                all += piece.text;
        }
        return all;
    }
    void clear()
    {
        verdicts.clear();
        pieces.clear();
        activities.clear();
    }

    QList<bool> verdicts;
    QList<Piece> pieces;
    QList<OLInterpreterActivity> activities;
    int resets = 0;
    int closes = 0;
    int starts = 0;
    std::function<void(bool)> onVerdict;
};

// The store of a test: a settings file in a temporary directory.
class OLTestSettings
{
public:
    // path: the executable and its arguments, without the URL prefix.
    void setInterpreter(const QString &path)
    {
        defaults.savePreferredInterpreter(QStringLiteral("file://localhost") + path);
    }

    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    OLUserDefaults defaults{settings};
};

// Kills every interpreter a test started and waits until all are gone, so no
// test sees another's children.
inline void endAllChildren()
{
    PXShellWrapper::terminateAll();
    QTRY_VERIFY_WITH_TIMEOUT(OLTestProcesses::liveChildren().isEmpty(), 10000);
}
