#pragma once

#include "settings/OLUserDefaults.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

inline QString fileUrl(const QString &path)
{
    return QStringLiteral("file://localhost") + path;
}

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

    // A stand-in executable, a shell script that does nothing: for Moscow ML
    // and Alice ML, which are not installed here, and for located files.
    QString standIn(const QString &name) const
    {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\nexit 0\n") < 0)
            qFatal("cannot write the stand-in %s", qPrintable(file.fileName()));
        file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
        return file.fileName();
    }
    QString missing(const QString &name) const { return dir.filePath(QStringLiteral("missing/") + name); }

    // The standard locations resource for the interpreters named ("alice",
    // "poly", "mosml", "sml"): Poly ML and SML/NJ at their real places, the
    // others as stand-ins; those not named are missing.
    QVariantMap locations(const QStringList &installed) const
    {
        const auto location = [&](const QString &name, const QString &realPath) {
            if (!installed.contains(name))
                return fileUrl(missing(name));
            return fileUrl(realPath.isEmpty() ? standIn(name) : realPath);
        };
        return {{QStringLiteral("aliceml-std"), location(QStringLiteral("alice"), {})},
                {QStringLiteral("polyml-std"), location(QStringLiteral("poly"), QStringLiteral("/usr/bin/poly"))},
                {QStringLiteral("mosml-std"), location(QStringLiteral("mosml"), {})},
                {QStringLiteral("smlnj-std"), location(QStringLiteral("sml"), QStringLiteral("/usr/bin/sml"))}};
    }

    QTemporaryDir dir;
    std::unique_ptr<QSettings> settings;
    std::unique_ptr<OLUserDefaults> defaults;
};
