#pragma once

// Settings in a fresh temporary folder, never the user's; shared by the
// settings, console and preferences tests. Call QStandardPaths::setTestModeEnabled(true)
// before the first.

#include "settings/OLSettingsKeys.h"
#include "settings/OLUserDefaults.h"

#include <QDebug>
#include <QSettings>
#include <QTemporaryDir>

struct TempSettings {
    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("ostrel.ini")), QSettings::IniFormat};
    OLUserDefaults defaults{settings};
};

// A value as a test compares it: reals with the digits that tell single
// precision apart, the rest as QDebug writes it.
inline QString text(double value)
{
    return QString::number(value, 'g', 9);
}
template<typename T>
QString text(const T &value)
{
    QString out;
    QDebug(&out).nospace() << value;
    return out;
}

// Every setting as the program reads it, by name; the alpha of a colour in
// the opaque set and in the answer set (one decoder gives every colour its alpha).
inline QMap<QString, QString> describe(const OLUserDefaults &d)
{
    const OLStyleSet s = d.loadFontAttributes(true), answer = d.loadFontAttributes(false);
    QMap<QString, QString> now;
    for (const auto &[name, role] : {std::pair{"reg", &OLStyleSet::regColor}, {"err", &OLStyleSet::errColor},
                                     {"key", &OLStyleSet::keyColor}, {"str", &OLStyleSet::strColor}, {"com", &OLStyleSet::comColor}})
        now[name] = s.*role ? OLUserDefaults::encodeColor(s.*role) : QStringLiteral("none");
    const auto alpha = [](const OLStyleSet &set) { return set.regColor ? text(set.regColor->alpha) : QString(); };
    now["alphas"] = alpha(s) + u'/' + alpha(answer);
    now.insert({{"vertical", text(d.loadVerticalOrientation())}, {"highlight", text(d.loadShouldHighlightSyntax())},
                {"lines", text(d.loadShowLineNumbers())}, {"reopen", text(d.loadShouldReopenFiles())},
                {"restore", text(d.loadShouldRestoreCommitHistory())}, {"historyLength", text(d.loadMaximumCommitHistoryLength())},
                {"consoleLength", text(d.loadMaximumConsoleLength())}, {"answerTraits", text(d.loadAnswerFontTraits())},
                {"errorTraits", text(d.loadErrorFontTraits())}, {"alpha", text(d.loadAnswerAlpha())},
                {"history", text(d.loadCommitHistory())}, {"openedFiles", text(d.loadOpenedFiles())},
                {"interpreter", d.loadPreferredInterpreterPath()}, {"geometry", text(d.loadWindowGeometry())},
                {"polyPath", d.stringForKey(OLKey::polyPath)},
                {"font", QStringList({s.name.toString(), s.size.toString(), s.style.toString()}).join(u',')}});
    return now;
}

// The entries that differ, as "key=was>now".
inline QString changes(const QMap<QString, QString> &was, const QMap<QString, QString> &now)
{
    QStringList out;
    for (auto it = now.begin(); it != now.end(); ++it) {
        if (was.value(it.key()) != *it)
            out += it.key() + u'=' + was.value(it.key()) + u'>' + *it;
    }
    return out.join(QStringLiteral(" | "));
}
