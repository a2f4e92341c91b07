#pragma once

#include "app/OLAppDelegate.h"
#include "app/OLAsker.h"

#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>

// Answers nothing: the benchmarks run no dialogs. An alert goes to stderr.
class SilentAsker final : public OLAsker
{
public:
    void alert(QWidget *, const QString &message, const QString &) override
    {
        std::fprintf(stderr, "alert: %s\n", qPrintable(message));
    }
    SaveChanges askToSaveChanges(QWidget *) override { return SaveChanges::DontSave; }
    QString saveFileName(QWidget *, const QString &, const QString &) override { return {}; }
    QString openFileName(QWidget *, const QString &) override { return {}; }
    bool chooseInterpreter(OLUserDefaults &) override { return false; }
    Recovery askToRecover(const OLRecoveredText &) override { return Recovery::Later; }
    ChangedFile askAboutChangedFile(QWidget *, const QString &, bool) override { return ChangedFile::Keep; }
    bool askToOverwriteChangedFile(QWidget *, const QString &) override { return false; }
};

// An application over settings and recovery journals in a temporary folder,
// with the given interpreter and no reopening of files.
struct BenchDelegate {
    explicit BenchDelegate(const QString &interpreterPath = QStringLiteral("/usr/bin/poly"))
    {
        delegate.defaults().savePreferredInterpreter(QStringLiteral("file://localhost") + interpreterPath);
        delegate.defaults().saveShouldReopenFiles(false);
    }

    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    SilentAsker asker;
    OLAppDelegate delegate{settings, asker, dir.filePath(QStringLiteral("recovery"))};
};
