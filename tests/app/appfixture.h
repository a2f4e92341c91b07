#pragma once

#include "app/OLAppDelegate.h"
#include "app/OLAsker.h"
#include "app/OLWindowController.h"
#include "console/OLInterpreterViewController.h"
#include "editor/OLEditorViewController.h"
#include "highlight/OLSyntaxHighlighter.h"
#include "highlight/OLTextView.h"
#include "session/OLInterpreterSession.h"
#include "session/PXShellWrapper.h"

#include "OLTestProcesses.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fstream>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

// Files at paths given as bytes, which need not be UTF-8.
inline void writeBytesAt(const QByteArray &path, const QByteArray &bytes)
{
    if (!(std::ofstream(path.constData(), std::ios::binary) << bytes.toStdString()))
        qFatal("cannot write %s", path.constData());
}
inline QByteArray readBytesAt(const QByteArray &path)
{
    std::ifstream file(path.constData(), std::ios::binary);
    return file ? QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(file), {})) : "<unreadable>";
}
inline QString writeBytes(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    writeBytesAt(QFile::encodeName(dir.filePath(name)), bytes);
    return dir.filePath(name);
}
inline QByteArray readBytes(const QString &path) { return readBytesAt(QFile::encodeName(path)); }

// Changes a file as another program does: "append", "rewrite" in place,
// "rename" (replaced by rename), "touch" (a new time, the same bytes),
// "delete", or "folder" or "fifo" (a folder or a named pipe in its place).
inline void changeFile(const QString &how, const QString &path, const QByteArray &bytes = QByteArray())
{
    const QByteArray name = QFile::encodeName(path);
    bool done = true;
    if (how == u"touch") {
        QFile file(path);
        done = file.open(QIODevice::ReadWrite)
               && file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(60), QFileDevice::FileModificationTime);
    } else if (how == u"append" || how == u"rewrite") {
        done = bool(std::ofstream(name.constData(), how == u"append" ? std::ios::app : std::ios::trunc) << bytes.toStdString());
    } else if (how == u"rename") {
        writeBytesAt(name + ".new", bytes);
        done = ::rename((name + ".new").constData(), name.constData()) == 0;
    } else {
        done = ::unlink(name.constData()) == 0
               && (how == u"delete" || (how == u"folder" ? ::mkdir(name.constData(), 0700) : ::mkfifo(name.constData(), 0600)) == 0);
    }
    if (!done)
        qFatal("cannot %s %s", qPrintable(how), qPrintable(path));
}

inline mode_t modeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Every entry, hidden ones included: a temporary file left behind shows here.
inline QStringList entriesOf(const QString &folder) { return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name); }

inline QStringList journalsIn(const QString &folder) { return QDir(folder).entryList({QStringLiteral("*.journal")}, QDir::Files, QDir::Name); }

// A journal and its lock copied under a new name, unlocked: what a killed
// Ostrel leaves, while the journal's own writer lives on. The copy's name.
inline QString leaveJournalBehind(const QString &journal)
{
    const QString copy = QFileInfo(journal).absolutePath() + QStringLiteral("/left-") + QFileInfo(journal).fileName();
    if (!QFile::copy(journal, copy) || !QFile::copy(journal + QStringLiteral(".lock"), copy + QStringLiteral(".lock")))
        qFatal("cannot copy %s", qPrintable(journal));
    return QFileInfo(copy).fileName();
}

// Writes past `bytes` fail part way with EFBIG, as on a full disk; unlike
// chmod this holds for root.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        const rlimit limit{bytes, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
    rlimit old;
};

// Answers the application's questions from queues the test fills and
// records every question; an empty queue cancels (recovery: later; changed
// file: keep the window's text; overwrite: no).
class ScriptedAsker final : public OLAsker
{
public:
    struct Offer { QString file; OLRecoveredText::Origin origin; QString text; }; // the text in the editor's form
    void alert(QWidget *, const QString &message, const QString &details) override { alerts.append(message + u'|' + details); }
    SaveChanges askToSaveChanges(QWidget *parent) override { return saveChangesAskedBy.append(parent), take(saveChanges, SaveChanges::Cancel); }
    QString saveFileName(QWidget *, const QString &directory, const QString &) override { return saveDirectories.append(directory), take(saveFileNames, QString()); }
    QString openFileName(QWidget *, const QString &) override { return {}; }
    bool chooseInterpreter(OLUserDefaults &defaults) override { return ++choosersRun, chooser && chooser(defaults); }
    Recovery askToRecover(const OLRecoveredText &text) override
    {
        return offers.append({text.file, text.origin, text.text.editorText()}), take(recoveries, Recovery::Later);
    }
    ChangedFile askAboutChangedFile(QWidget *, const QString &path, bool edited) override
    {
        return changedFileQuestions.append({path, edited}), take(changedFileAnswers, ChangedFile::Keep);
    }
    bool askToOverwriteChangedFile(QWidget *, const QString &path) override { return overwriteQuestions.append(path), take(overwriteAnswers, false); }

    QStringList alerts; // "message|informative text"
    QList<SaveChanges> saveChanges;
    QList<QWidget *> saveChangesAskedBy;
    QStringList saveFileNames, saveDirectories, overwriteQuestions;
    std::function<bool(OLUserDefaults &)> chooser;
    int choosersRun = 0;
    QList<Offer> offers;
    QList<Recovery> recoveries;
    QList<std::pair<QString, bool>> changedFileQuestions; // the path, and whether the window's text was edited
    QList<ChangedFile> changedFileAnswers;
    QList<bool> overwriteAnswers;

private:
    template <typename T>
    static T take(QList<T> &answers, T unanswered) { return answers.isEmpty() ? unanswered : answers.takeFirst(); }
};

inline const QString polyCommandLine = QStringLiteral("file://localhost/usr/bin/poly");
inline const QString smlnjCommandLine = QStringLiteral("file://localhost/usr/bin/sml");
inline const QString mosmlCommandLine = QStringLiteral("file://localhost/opt/mosml/bin/mosml");
// An interpreter of no known kind that starts at once, for tests of the window alone.
inline const QString catCommandLine = QStringLiteral("file://localhost/bin/cat");

// Types into a text view through real key events, "\n" as Enter.
inline void typeInto(QWidget *view, const QString &text)
{
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(view, Qt::Key_Return);
        QTest::keyClicks(view, lines[i]);
    }
}

// Types at the end of the editor's text, or of the console's input.
inline void typeAtEnd(OLWindowController *window, const QString &text, bool console = false)
{
    OLTextView *view = console ? window->console()->textView() : window->editor()->textView();
    view->setFocus();
    view->moveCursor(QTextCursor::End);
    typeInto(view, text);
}

// The editor's text of a file with these bytes.
inline QString editorTextOf(const QByteArray &bytes) { QString error; return OLSourceFile::fromBytes(bytes, &error).value_or(OLSourceFile::fromEditorText(QString())).editorText(); }

// Whether the console shows the interpreter's first output.
inline bool waitForBanner(OLWindowController *window) { return QTest::qWaitFor([window] { return window->console()->fixedLength() > 0; }, 30000); }

inline bool consoleShows(OLWindowController *window, const QString &text) { return window->console()->textStorage().string().contains(text); }

// Whether every unit in [from, to) has the background (none: no background).
inline bool backgroundIs(const OLTextStorage &storage, qsizetype from, qsizetype to, const std::optional<OLColor> &color)
{
    for (qsizetype i = from; i < to; ++i) {
        if (storage.backgroundColorAt(i) != color)
            return false;
    }
    return from < to;
}

// The console's answers (or errors), the text of each range in turn.
inline QString answers(const OLWindowController *window, bool errors = false)
{
    const OLInterpreterViewController *console = window->console();
    QString text;
    for (const OLTextStorage::Range &range : errors ? console->errorRanges() : console->answerRanges())
        text += console->textStorage().string().mid(range.location, range.length);
    return text;
}

// The application with its settings in a temporary folder, the given
// interpreter, and scripted answers to its questions.
struct AppFixture {
    explicit AppFixture(const QString &interpreter = polyCommandLine)
    {
        QStandardPaths::setTestModeEnabled(true);
        relaunch();
        app->defaults().savePreferredInterpreter(interpreter);
    }
    ~AppFixture() { app.reset(), PXShellWrapper::terminateAll(); } // closed windows' interpreters may be in their grace time

    // A new application over the same settings and journals: the next start.
    void relaunch() { app.reset(), app = std::make_unique<OLAppDelegate>(settings, asker, recoveryFolder()); }
    QString path(const QString &name) const { return dir.filePath(name); }
    QString stateHome() const { return dir.filePath(QStringLiteral("state")); } // as XDG_STATE_HOME
    QString recoveryFolder() const { return stateHome() + QStringLiteral("/Ostrel/recovery"); }
    QString write(const QString &name, const QByteArray &bytes) const { return writeBytes(dir, name, bytes); }
    QString journal() const { return QDir(recoveryFolder()).filePath(journalsIn(recoveryFolder()).value(0)); }

    // A window on the file once its text is in the editor; null when it
    // does not open or its text does not come.
    OLWindowController *open(const QString &path)
    {
        const QString text = editorTextOf(readBytes(path));
        OLWindowController *window = app->openDocumentWindow(path);
        return window && QTest::qWaitFor([&] { return window->editor()->content() == text; }, 10000) ? window : nullptr;
    }
    // A window on a new file with these bytes.
    OLWindowController *open(const QString &name, const QByteArray &bytes) { return open(write(name, bytes)); }
    // A new untitled window with this text typed into it.
    OLWindowController *untitled(const QString &typed = QString())
    {
        app->newDocument();
        OLWindowController *window = app->windows().constLast();
        if (!typed.isEmpty())
            typeAtEnd(window, typed);
        return window;
    }

    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    ScriptedAsker asker;
    std::unique_ptr<OLAppDelegate> app;
};

// This process's live children that run `name`.
inline QList<qint64> liveChildren(const QString &name)
{
    QList<qint64> pids = OLTestProcesses::liveChildren();
    pids.removeIf([&](qint64 pid) {
        return OLTestProcesses::fileBytes(QStringLiteral("/proc/%1/comm").arg(pid)).trimmed() != name.toUtf8();
    });
    return pids;
}

// The window's text once it has reached the editor.
#define WAIT_FOR_TEXT(window, text) QTRY_COMPARE_WITH_TIMEOUT((window)->editor()->content(), (text), 10000)
