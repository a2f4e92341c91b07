#pragma once

// Settings in a fresh temporary folder, never the user's; shared by the
// settings, console and preferences tests. Call QStandardPaths::setTestModeEnabled(true)
// before the first.

#include "settings/OLUserDefaults.h"

#include <QSettings>
#include <QTemporaryDir>

struct TempSettings {
    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("ostrel.ini")), QSettings::IniFormat};
    OLUserDefaults defaults{settings};
};
