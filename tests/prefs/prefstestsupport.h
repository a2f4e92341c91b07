#pragma once

#include "settings/OLUserDefaults.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A settings store in a temporary folder, with the defaults resource
// registered as the application registers it at launch.
struct TemporarySettings {
    TemporarySettings()
    {
        QStandardPaths::setTestModeEnabled(true);
        settings = std::make_unique<QSettings>(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        defaults = std::make_unique<OLUserDefaults>(*settings);
        defaults->registerDefaultPreferences();
    }

    // A stand-in executable: a shell script that does nothing, for the
    // interpreters that are not installed here (Moscow ML, Alice ML) and for
    // locations the tests must control.
    QString standIn(const QString &name) const
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\nexit 0\n") < 0)
            qFatal("cannot write the stand-in %s", qPrintable(path));
        file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
        return path;
    }

    QString missing(const QString &name) const { return dir.filePath(QStringLiteral("missing/") + name); }

    QTemporaryDir dir;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<OLUserDefaults> defaults;
};

inline QString fileUrl(const QString &path)
{
    return QStringLiteral("file://localhost") + path;
}
