#pragma once

#include "session/OLOutputDecoder.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringConverter>
#include <QStringEncoder>
#include <QStringList>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <sys/types.h>

class PXShellWrapper;
class QObject;
class QProcess;
class QSocketNotifier;
class QTimer;

// The reports of a child process wrapper, all made on the main thread:
// processStarted() first, processFinished() exactly once and last.
class PXShellWrapperDelegate
{
public:
    // One piece of standard output, as one read delivered it, decoded.
    virtual void appendOutput(PXShellWrapper *wrapper, const QString &output) = 0;
    // One piece of standard error, decoded.
    virtual void appendError(PXShellWrapper *wrapper, const QString &error) = 0;
    virtual void processStarted(PXShellWrapper *wrapper) = 0;
    // The run is over; status is the exit code, 128 + the signal number for a
    // child ended by a signal, or PXShellWrapper::notLaunchedStatus.
    virtual void processFinished(PXShellWrapper *wrapper, int status) = 0;

protected:
    ~PXShellWrapperDelegate() = default;
};

// Runs one child process with pipes on its standard input, output and error.
//
// Built on QProcess for starting the child and reading its output: QProcess
// reports the child's death only after draining both pipes, which gives the
// end report its place after all output. The child's input is the wrapper's
// own non-blocking pipe: input goes into it at once as far as it has room
// (QProcess would wait for a later turn of the event loop, a delay on every
// declaration), the rest in order as the child reads. Writing never blocks
// the user interface (a blocking write deadlocks against a child that is
// itself blocked writing an answer nobody reads), and SIGPIPE is ignored
// from the first child on (children get the default back), so writing to a
// child that has gone does no harm.
//
// A started wrapper holds itself until its end report, so it must be owned by
// a std::shared_ptr. It never waits for its child: QProcess's destructor would,
// so the QProcess lives exactly as long as the child runs.
//
// The child leads a process group of its own, and every signal goes to the
// whole group, so that what the child started (a shell and its commands) is
// interrupted, stopped and ended with it. When the child ends, the rest of
// its group is killed. A guard in the group kills it when Ostrel ends in any
// way (even by SIGKILL); terminateAll() ends every group at quit.
class PXShellWrapper : public std::enable_shared_from_this<PXShellWrapper>
{
public:
    static constexpr int notLaunchedStatus = -1;

    // arguments[0] is the executable. An empty working directory leaves the
    // child in Ostrel's; the default environment is inherited.
    PXShellWrapper(const QString &workingDirectory, const QProcessEnvironment &environment,
                   const QStringList &arguments, void *context = nullptr);
    ~PXShellWrapper();

    PXShellWrapper(const PXShellWrapper &) = delete;
    PXShellWrapper &operator=(const PXShellWrapper &) = delete;

    PXShellWrapperDelegate *delegate() const { return m_delegate; }
    // Not owned; none detaches.
    void setDelegate(PXShellWrapperDelegate *delegate) { m_delegate = delegate; }
    void *context() const { return m_context; }
    QString program() const { return m_arguments.value(0); }

    void setOutputStringEncoding(QStringConverter::Encoding encoding);

    // Reports processStarted at once. A child that cannot be started gets an
    // error report with its path and the reason, then the end report with
    // notLaunchedStatus, both on a later turn of the event loop.
    void startProcess();
    // Signals to the child's process group.
    void stopProcess();      // SIGTERM
    void interruptProcess(); // SIGINT
    void killProcess();      // SIGKILL
    // SIGTERM now and SIGKILL after the grace time, unless the child has ended
    // by then; returns at once (the wrapper holds itself until the end).
    void terminateProcess(std::chrono::milliseconds grace);
    // Written at once as far as the pipe has room, the rest as the child
    // reads; returns at once. Pieces given together go in one write where
    // they fit.
    void appendInput(const QString &text);
    void appendInput(const QStringList &pieces);
    void appendInput(const QByteArray &bytes);
    // The child reads end of file once everything queued has been written.
    void closeInput();

    // Kills every child that is still running, without waiting for any.
    static void terminateAll();

    // After the end report: the signal that ended the child; 0 when it
    // exited or never ran.
    int terminationSignal() const { return m_terminationSignal; }
    // After the end report: the child ended, or shut its input, before it
    // had taken everything written to it.
    bool inputLost() const { return m_inputLost; }
    // The child has taken all of its input and one of its threads is blocked
    // reading more from it, or waiting for it without a time limit (Linux:
    // /proc/PID/task/*/syscall), and all it wrote has been read here. False
    // when that cannot be told.
    bool waitsForInput() const;
    // Whether waitsForInput() can tell, for a running child.
    bool seesInputWait() const;

private:
    enum class Phase { Created, Running, Ended };

    void signalChild(int signal);
    bool acceptsInput() const;
    // Encodes the next slice of the text input behind the bytes; false when
    // there is none.
    bool encodeInput();
    bool hasPendingInput() const;
    void readOutput();
    void readError();
    void writeInput();
    void closeInputPipe();
    void reportOutput(const QByteArray &bytes);
    void reportError(const QString &text);
    void failToStart(const QString &reason);
    void cleanup(int status);

    struct DeleteLater {
        void operator()(QObject *object) const;
    };

    std::unique_ptr<QProcess, DeleteLater> m_process;
    pid_t m_pid = 0;            // the child's, and its process group's
    bool m_groupKilled = false; // SIGKILL sent: the group's number may be free
    std::unique_ptr<QTimer, DeleteLater> m_killTimer;
    PXShellWrapperDelegate *m_delegate = nullptr;
    void *m_context;
    QString m_workingDirectory;
    QProcessEnvironment m_environment;
    QStringList m_arguments;
    int m_inputFd = -1;         // the writing end of the child's input pipe
    QByteArray m_pendingInput;  // not yet taken by the pipe, from m_pendingStart
    qsizetype m_pendingStart = 0;
    std::deque<QString> m_unencodedInput; // behind it, from m_unencodedStart
    qsizetype m_unencodedStart = 0;
    bool m_closeInputWhenWritten = false;
    std::unique_ptr<QSocketNotifier, DeleteLater> m_inputNotifier;
    QStringEncoder m_inputEncoder{QStringConverter::Utf8};
    OLOutputDecoder m_outputDecoder;
    OLOutputDecoder m_errorDecoder;
    int m_terminationSignal = 0;
    mutable std::optional<bool> m_seesInputWait;
    bool m_inputLost = false;
    Phase m_phase = Phase::Created;
    std::shared_ptr<PXShellWrapper> m_self; // held from start to the end report
};
