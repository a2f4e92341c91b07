#include "session/PXShellWrapper.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QProcess>
#include <QSet>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

Q_LOGGING_CATEGORY(lcWrapper, "ostrel.wrapper", QtWarningMsg)

// Every wrapper whose child may still run.
QSet<PXShellWrapper *> &liveWrappers()
{
    static auto *wrappers = new QSet<PXShellWrapper *>;
    return *wrappers;
}

// QProcess says "execvp: No such file or directory"; the part after the last
// colon is the system's reason.
QString reasonOf(const QString &errorString)
{
    const qsizetype colon = errorString.lastIndexOf(QLatin1String(": "));
    return colon < 0 ? errorString : errorString.mid(colon + 2);
}

} // namespace

void PXShellWrapper::DeleteLater::operator()(QProcess *process) const
{
    // The wrapper may go while QProcess is still emitting the signal that
    // ended the run.
    process->deleteLater();
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

void PXShellWrapper::setInputStringEncoding(QStringConverter::Encoding encoding)
{
    m_inputEncoder = QStringEncoder(encoding);
}

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
    const pid_t parent = ::getpid();
    process->setChildProcessModifier([parent] {
        // Killed when Ostrel dies, however it dies; and at once if it already has.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
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
        if (error == QProcess::FailedToStart)
            QMetaObject::invokeMethod(m_process.get(), [this] { failToStart(); }, Qt::QueuedConnection);
        else
            qCDebug(lcWrapper) << "child" << m_arguments.value(0) << error << m_process->errorString();
        // The child's input is gone (EPIPE, without SIGPIPE): QProcess keeps
        // what it could not write.
        if (error == QProcess::WriteError)
            m_inputLost = true;
    });
    process->start();
}

void PXShellWrapper::signalChild(int signal) const
{
    if (m_phase != Phase::Running)
        return;
    const qint64 pid = m_process->processId();
    if (pid > 0)
        ::kill(pid_t(pid), signal);
}

void PXShellWrapper::stopProcess()
{
    signalChild(SIGTERM);
}

void PXShellWrapper::interruptProcess()
{
    signalChild(SIGINT);
}

void PXShellWrapper::suspendProcess()
{
    signalChild(SIGTSTP);
}

void PXShellWrapper::killProcess()
{
    signalChild(SIGKILL);
}

void PXShellWrapper::appendInput(const QString &text)
{
    appendInput(QByteArray(m_inputEncoder.encode(text)));
}

void PXShellWrapper::appendInput(const QByteArray &bytes)
{
    if (m_phase != Phase::Running) {
        qCDebug(lcWrapper) << "no child to write to:" << m_arguments.value(0);
        return;
    }
    m_process->write(bytes);
}

void PXShellWrapper::closeInput()
{
    if (m_phase == Phase::Running)
        m_process->closeWriteChannel();
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
    if (m_binaryOutput) {
        m_delegate->appendBinaryOutput(this, bytes);
        return;
    }
    const QString text = m_outputDecoder.decode(bytes);
    if (!text.isEmpty())
        m_delegate->appendOutput(this, text);
}

void PXShellWrapper::reportError(const QString &text)
{
    if (!text.isEmpty() && m_delegate)
        m_delegate->appendError(this, text);
}

void PXShellWrapper::failToStart()
{
    reportError(QCoreApplication::translate("PXShellWrapper", "Could not start %1: %2")
                    .arg(m_arguments.value(0), reasonOf(m_process->errorString()))
                + u'\n');
    cleanup(notLaunchedStatus);
}

void PXShellWrapper::cleanup(int status)
{
    if (m_phase == Phase::Ended)
        return;
    m_phase = Phase::Ended;
    liveWrappers().remove(this);
    QObject::disconnect(m_process.get(), nullptr, nullptr, nullptr);
    m_inputLost = m_inputLost || m_process->bytesToWrite() > 0;
    // What is left in the pipes, and a character cut off by the end.
    reportOutput(m_process->readAllStandardOutput());
    reportError(m_errorDecoder.decode(m_process->readAllStandardError()));
    if (!m_binaryOutput && m_delegate) {
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
