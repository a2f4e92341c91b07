#pragma once

#include "app/OLAsker.h"

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
