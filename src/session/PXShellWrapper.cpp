#include "session/PXShellWrapper.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(lcWrapper, "ostrel.wrapper", QtWarningMsg)

// Text input is encoded this many units at a time, as the pipe takes it.
constexpr qsizetype inputSlice = 64 * 1024;

// Every wrapper whose child may still run.
QSet<PXShellWrapper *> &liveWrappers()
{
    static auto *wrappers = new QSet<PXShellWrapper *>;
    return *wrappers;
}

// Whether output the child wrote is still in its pipes (or that cannot be
// told): what it wrote before it blocked reading has not been read here yet.
bool hasUnreadOutput(qint64 pid)
{
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        const QByteArray path = QStringLiteral("/proc/%1/fd/%2").arg(pid).arg(fd).toLocal8Bit();
        const int output = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (output < 0)
            return true;
        int unread = 0;
        const bool written = ::ioctl(output, FIONREAD, &unread) != 0 || unread > 0;
        ::close(output);
        if (written)
            return true;
    }
    return false;
}

// QProcess says "execvp: No such file or directory"; the part after the last
// colon is the system's reason.
QString reasonOf(const QString &errorString)
{
    const qsizetype colon = errorString.lastIndexOf(QLatin1String(": "));
    return colon < 0 ? errorString : errorString.mid(colon + 2);
}

// A pipe whose ends close on exec and lie above the standard descriptors, so
// that putting one on a child's standard input never overwrites the other.
bool pipeAboveStandard(int (&ends)[2])
{
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return false;
    for (int &end : ends) {
        if (end <= STDERR_FILENO) {
            const int moved = ::fcntl(end, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
            ::close(end);
            end = moved;
        }
    }
    if (ends[0] >= 0 && ends[1] >= 0)
        return true;
    const int error = errno;
    for (int end : ends) {
        if (end >= 0)
            ::close(end);
    }
    errno = error;
    return false;
}

// The child's input pipe; the writing end never blocks.
bool openInputPipe(int &readEnd, int &writeEnd)
{
    int ends[2];
    if (!pipeAboveStandard(ends))
        return false;
    if (::fcntl(ends[1], F_SETFL, O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(ends[0]);
        ::close(ends[1]);
        errno = error;
        return false;
    }
    readEnd = ends[0];
    writeEnd = ends[1];
    return true;
}

// The reading end of a pipe whose writing end only Ostrel holds, for as long
// as it runs (children lose it at exec): it reads end of file when Ostrel
// has ended, however it ended. -1 when there is none.
int lifeline()
{
    static const int readEnd = [] {
        int ends[2];
        return pipeAboveStandard(ends) ? ends[0] : -1;
    }();
    return readEnd;
}

// In the child, before exec (async-signal-safe calls only): starts the guard
// of the child's process group, a shell in the group that waits for the end
// of Ostrel and then kills the group. It ignores every signal the group is
// sent but SIGKILL, and keeps nothing of Ostrel's open but the lifeline.
// Being in the group, it also keeps the group's number from being reused
// while anything of the group may still run.
// vfork, not fork: the child shares Ostrel's memory until the interpreter
// execs, and a fork would mark every page of it copy-on-write, so that each
// page Ostrel writes after a start would take a fault (a full repaint, 600).
bool startGuard(int lifelineEnd)
{
    const pid_t guard = ::vfork();
    if (guard != 0)
        return guard > 0;
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    for (int signal : {SIGINT, SIGTERM, SIGTSTP, SIGHUP, SIGQUIT, SIGTTIN, SIGTTOU})
        ::sigaction(signal, &ignore, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    constexpr int guardFd = STDERR_FILENO + 1;
    if (lifelineEnd == guardFd ? ::fcntl(guardFd, F_SETFD, 0) != 0 : ::dup2(lifelineEnd, guardFd) < 0)
        ::_exit(127);
    const int null = ::open("/dev/null", O_RDWR);
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        ::dup2(null, fd);
    ::close_range(guardFd + 1, ~0U, 0);
    static const char *const argv[] = {"ostrel-guard", "-c", "read _ <&3; kill -9 0", nullptr};
    static const char *const environment[] = {nullptr};
    ::execve("/bin/sh", const_cast<char *const *>(argv), const_cast<char *const *>(environment));
    ::_exit(127);
}

} // namespace

void PXShellWrapper::DeleteLater::operator()(QObject *object) const
{
    // The wrapper may go while the object is still emitting a signal.
    object->deleteLater();
}

PXShellWrapper::PXShellWrapper(const QString &workingDirectory, const QProcessEnvironment &environment,
                               const QStringList &arguments, void *context)
    : m_context(context)
    , m_workingDirectory(workingDirectory)
    , m_environment(environment)
    , m_arguments(arguments)
{
}

PXShellWrapper::~PXShellWrapper() = default;

void PXShellWrapper::setOutputStringEncoding(QStringConverter::Encoding encoding)
{
    m_outputDecoder = OLOutputDecoder(encoding);
    m_errorDecoder = OLOutputDecoder(encoding);
}

void PXShellWrapper::startProcess()
{
    if (m_phase != Phase::Created) {
        qCWarning(lcWrapper) << "a wrapper runs only once:" << m_arguments;
        return;
    }
    m_phase = Phase::Running;
    // Writing to a child that has gone fails with EPIPE instead of ending the
    // program (holding the signal back at each write would cost three system
    // calls a declaration); children get the default back.
    std::signal(SIGPIPE, SIG_IGN);
    m_self = weak_from_this().lock();
    Q_ASSERT_X(m_self, "PXShellWrapper::startProcess", "a wrapper must be owned by a std::shared_ptr");
    liveWrappers().insert(this);
    if (m_delegate)
        m_delegate->processStarted(this);

    m_process.reset(new QProcess);
    QProcess *process = m_process.get();
    if (!m_workingDirectory.isEmpty())
        process->setWorkingDirectory(m_workingDirectory);
    process->setProcessEnvironment(m_environment);
    process->setProgram(m_arguments.value(0));
    process->setArguments(m_arguments.mid(1));
    int inputReadEnd = -1;
    if (!openInputPipe(inputReadEnd, m_inputFd)) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QMetaObject::invokeMethod(process, [this, reason] { failToStart(reason); }, Qt::QueuedConnection);
        return;
    }
    // A large commit goes in a megabyte per turn of the event loop, not the
    // default 64 KB (where the system allows; the default pipe serves too).
    ::fcntl(m_inputFd, F_SETPIPE_SZ, 1 << 20);
    m_inputNotifier.reset(new QSocketNotifier(m_inputFd, QSocketNotifier::Write));
    m_inputNotifier->setEnabled(false);
    QObject::connect(m_inputNotifier.get(), &QSocketNotifier::activated, m_inputNotifier.get(),
                     [this] { writeInput(); });
    // QProcess gives the child an empty input, replaced by the pipe here.
    process->setStandardInputFile(QProcess::nullDevice());
    const int guardLifeline = lifeline();
    process->setChildProcessModifier([inputReadEnd, guardLifeline] {
        if (::dup2(inputReadEnd, STDIN_FILENO) < 0)
            ::_exit(127);
        // Ostrel ignores them for its own writes (its saves, its pipes); the interpreter must not inherit that.
        ::signal(SIGXFSZ, SIG_DFL);
        ::signal(SIGPIPE, SIG_DFL);
        // Its own process group, which goes when Ostrel goes, however it goes.
        if (::setpgid(0, 0) != 0 || guardLifeline < 0 || !startGuard(guardLifeline)) {
            static const char message[] = "Ostrel could not give the interpreter a process group of its own\n";
            [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message, sizeof message - 1);
            ::_exit(127);
        }
    });
    QObject::connect(process, &QProcess::readyReadStandardOutput, process, [this] {
        reportOutput(m_process->readAllStandardOutput());
    });
    QObject::connect(process, &QProcess::readyReadStandardError, process, [this] {
        reportError(m_errorDecoder.decode(m_process->readAllStandardError()));
    });
    QObject::connect(process, &QProcess::finished, process, [this](int code, QProcess::ExitStatus exit) {
        // For a crash, QProcess gives the signal as the code.
        if (exit == QProcess::CrashExit)
            m_terminationSignal = code;
        cleanup(exit == QProcess::CrashExit ? 128 + code : code);
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [this](QProcess::ProcessError error) {
        // QProcess reports some failures from inside start(), and never sends
        // finished() after one.
        if (error == QProcess::FailedToStart) {
            const QString reason = reasonOf(m_process->errorString());
            QMetaObject::invokeMethod(m_process.get(), [this, reason] { failToStart(reason); },
                                      Qt::QueuedConnection);
        } else {
            qCDebug(lcWrapper) << "child" << m_arguments.value(0) << error << m_process->errorString();
        }
    });
    process->start();
    ::close(inputReadEnd);
    // The child makes its group as well: signals sent before it has must reach it.
    m_pid = pid_t(process->processId());
    if (m_pid > 0)
        ::setpgid(m_pid, m_pid);
}

void PXShellWrapper::signalChild(int signal)
{
    if (m_phase != Phase::Running || m_pid <= 0)
        return;
    ::killpg(m_pid, signal);
    m_groupKilled = m_groupKilled || signal == SIGKILL;
}

void PXShellWrapper::stopProcess()
{
    signalChild(SIGTERM);
}

void PXShellWrapper::terminateProcess(std::chrono::milliseconds grace)
{
    if (m_phase != Phase::Running)
        return;
    signalChild(SIGTERM);
    if (!m_killTimer) {
        m_killTimer.reset(new QTimer);
        m_killTimer->setSingleShot(true);
        QObject::connect(m_killTimer.get(), &QTimer::timeout, m_killTimer.get(), [this] { killProcess(); });
    }
    m_killTimer->start(grace);
}

void PXShellWrapper::interruptProcess()
{
    signalChild(SIGINT);
}

void PXShellWrapper::killProcess()
{
    signalChild(SIGKILL);
}

void PXShellWrapper::appendInput(const QString &text)
{
    appendInput(QStringList(text));
}

void PXShellWrapper::appendInput(const QStringList &pieces)
{
    if (!acceptsInput())
        return;
    m_unencodedInput.insert(m_unencodedInput.end(), pieces.begin(), pieces.end());
    // While the notifier waits for room, the pipe is full.
    if (!m_inputNotifier->isEnabled())
        writeInput();
}

void PXShellWrapper::appendInput(const QByteArray &bytes)
{
    if (!acceptsInput())
        return;
    while (encodeInput()) {
    }
    m_pendingInput.append(bytes);
    if (!m_inputNotifier->isEnabled())
        writeInput();
}

bool PXShellWrapper::acceptsInput() const
{
    if (m_phase == Phase::Running && m_inputFd >= 0 && !m_closeInputWhenWritten)
        return true;
    qCDebug(lcWrapper) << "no child input to write to:" << m_arguments.value(0);
    return false;
}

bool PXShellWrapper::encodeInput()
{
    if (m_unencodedInput.empty())
        return false;
    // A slice at a time, so that a large text is never copied whole. The
    // encoder carries a character cut in two over to the next slice.
    const QString &text = m_unencodedInput.front();
    const qsizetype length = qMin(inputSlice, text.size() - m_unencodedStart);
    m_pendingInput.append(m_inputEncoder.encode(QStringView(text).sliced(m_unencodedStart, length)));
    m_unencodedStart += length;
    if (m_unencodedStart == text.size()) {
        m_unencodedInput.pop_front();
        m_unencodedStart = 0;
    }
    return true;
}

bool PXShellWrapper::hasPendingInput() const
{
    return m_pendingStart < m_pendingInput.size() || !m_unencodedInput.empty();
}

void PXShellWrapper::writeInput()
{
    while (m_pendingStart < m_pendingInput.size() || encodeInput()) {
        // A commit and its end go in one write (up to a slice): an
        // interpreter that read the text alone would prompt for the rest.
        while (m_pendingInput.size() - m_pendingStart < inputSlice && encodeInput()) {
        }
        ssize_t written;
        do
            written = ::write(m_inputFd, m_pendingInput.constData() + m_pendingStart,
                              size_t(m_pendingInput.size() - m_pendingStart));
        while (written < 0 && errno == EINTR);
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_inputNotifier->setEnabled(true);
            return;
        }
        if (written < 0) {
            // The child has shut its input or gone: the rest can never arrive.
            qCDebug(lcWrapper) << "child input lost:" << m_arguments.value(0) << std::strerror(errno);
            m_inputLost = true;
            closeInputPipe();
            return;
        }
        m_pendingStart += written;
        if (m_pendingStart == m_pendingInput.size()) {
            m_pendingInput.clear();
            m_pendingStart = 0;
        }
    }
    m_inputNotifier->setEnabled(false);
    if (m_closeInputWhenWritten)
        closeInputPipe();
}

bool PXShellWrapper::seesInputWait() const
{
    if (!m_seesInputWait && m_phase == Phase::Running) {
        QFile syscall(QStringLiteral("/proc/%1/syscall").arg(m_pid));
        m_seesInputWait = syscall.open(QIODevice::ReadOnly) && !syscall.readAll().isEmpty();
    }
    return m_seesInputWait.value_or(false);
}

bool PXShellWrapper::waitsForInput() const
{
    if (m_phase != Phase::Running || m_inputFd < 0 || hasPendingInput())
        return false;
    int unread = 0;
    if (::ioctl(m_inputFd, FIONREAD, &unread) != 0 || unread > 0)
        return false;
    const qint64 pid = m_process->processId();
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    // A read of descriptor 0, or a wait without time limit for it to be
    // readable: pselect6 over descriptor 0 alone (Alice ML's runtime).
    const QByteArray readingInput = QByteArray::number(SYS_read) + " 0x0 ";
    const QByteArray selectingInput = QByteArray::number(SYS_pselect6) + " 0x1 ";
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile syscall(tasks + u'/' + task + QStringLiteral("/syscall"));
        if (!syscall.open(QIODevice::ReadOnly))
            continue;
        const QByteArray call = syscall.readAll();
        if (call.startsWith(readingInput))
            return !hasUnreadOutput(pid);
        // nfds, readfds, writefds, exceptfds, timeout
        const QList<QByteArray> arguments = call.split(' ');
        if (call.startsWith(selectingInput) && arguments.size() > 5 && arguments.at(3) == "0x0"
            && arguments.at(4) == "0x0" && arguments.at(5) == "0x0")
            return !hasUnreadOutput(pid);
    }
    return false;
}

void PXShellWrapper::closeInput()
{
    if (m_phase != Phase::Running || m_inputFd < 0)
        return;
    m_closeInputWhenWritten = true;
    if (!hasPendingInput())
        closeInputPipe();
}

void PXShellWrapper::closeInputPipe()
{
    if (m_inputFd < 0)
        return;
    // The notifier may be the one whose signal runs now: it is disabled and
    // cut off here, and deleted later.
    m_inputNotifier->setEnabled(false);
    QObject::disconnect(m_inputNotifier.get(), nullptr, nullptr, nullptr);
    m_inputNotifier.reset();
    ::close(m_inputFd);
    m_inputFd = -1;
    m_pendingInput.clear();
    m_pendingStart = 0;
    m_unencodedInput.clear();
    m_unencodedStart = 0;
}

void PXShellWrapper::terminateAll()
{
    for (PXShellWrapper *wrapper : std::as_const(liveWrappers()))
        wrapper->signalChild(SIGKILL);
}

void PXShellWrapper::reportOutput(const QByteArray &bytes)
{
    if (bytes.isEmpty() || !m_delegate)
        return;
    const QString text = m_outputDecoder.decode(bytes);
    if (!text.isEmpty())
        m_delegate->appendOutput(this, text);
}

void PXShellWrapper::reportError(const QString &text)
{
    if (!text.isEmpty() && m_delegate)
        m_delegate->appendError(this, text);
}

void PXShellWrapper::failToStart(const QString &reason)
{
    reportError(QCoreApplication::translate("PXShellWrapper", "Could not start %1: %2").arg(m_arguments.value(0), reason)
                + u'\n');
    cleanup(notLaunchedStatus);
}

void PXShellWrapper::cleanup(int status)
{
    if (m_phase == Phase::Ended)
        return;
    m_phase = Phase::Ended;
    liveWrappers().remove(this);
    if (m_killTimer)
        m_killTimer->stop();
    // What the child started goes with it. The group's number is still taken
    // by its guard, unless the group has been killed already.
    if (m_pid > 0 && !m_groupKilled)
        ::killpg(m_pid, SIGKILL);
    QObject::disconnect(m_process.get(), nullptr, nullptr, nullptr);
    m_inputLost = m_inputLost || hasPendingInput();
    closeInputPipe();
    // What is left in the pipes, and a character cut off by the end.
    reportOutput(m_process->readAllStandardOutput());
    reportError(m_errorDecoder.decode(m_process->readAllStandardError()));
    if (m_delegate) {
        const QString rest = m_outputDecoder.finish();
        if (!rest.isEmpty())
            m_delegate->appendOutput(this, rest);
    }
    reportError(m_errorDecoder.finish());
    if (m_delegate)
        m_delegate->processFinished(this, status);
    m_delegate = nullptr;
    // The last reference may be this one: nothing of the wrapper is touched after it.
    const std::shared_ptr<PXShellWrapper> self = std::move(m_self);
}
