#pragma once

#include "../settings/settingstestsupport.h"

#include <QFile>
#include <QStandardPaths>
#include <QTest>

inline QString fileUrl(const QString &path)
{
    return QStringLiteral("file://localhost") + path;
}

// Temporary settings with the defaults resource registered as the
// application registers it at launch.
struct TemporarySettings : TempSettings {
    TemporarySettings()
    {
        QStandardPaths::setTestModeEnabled(true);
        defaults.registerDefaultPreferences();
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

    // The standard locations resource for the interpreters named ("alice",
    // "poly", "mosml", "sml"): Poly ML and SML/NJ at their real places, the
    // others as stand-ins; those not named are missing.
    QVariantMap locations(const QStringList &installed) const
    {
        const auto location = [&](const QString &name, const QString &realPath) {
            if (!installed.contains(name))
                return fileUrl(dir.filePath(QStringLiteral("missing/") + name));
            return fileUrl(realPath.isEmpty() ? standIn(name) : realPath);
        };
        return {{QStringLiteral("aliceml-std"), location(QStringLiteral("alice"), {})},
                {QStringLiteral("polyml-std"), location(QStringLiteral("poly"), QStringLiteral("/usr/bin/poly"))},
                {QStringLiteral("mosml-std"), location(QStringLiteral("mosml"), {})},
                {QStringLiteral("smlnj-std"), location(QStringLiteral("sml"), QStringLiteral("/usr/bin/sml"))}};
    }
};
