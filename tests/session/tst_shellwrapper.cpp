#include "session/PXShellWrapper.h"

#include "OLTestProcesses.h"

#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <csignal>
#include <unistd.h>

namespace {

const QString testChild = QStringLiteral(OL_TESTCHILD);

// Records every report, in order.
class Recorder : public PXShellWrapperDelegate
{
public:
    void appendOutput(PXShellWrapper *, const QString &output) override
    {
        events << QStringLiteral("out");
        pieces << output;
        output_ += output;
    }
    void appendError(PXShellWrapper *, const QString &error) override
    {
        events << QStringLiteral("err");
        error_ += error;
    }
    void processStarted(PXShellWrapper *) override { events << QStringLiteral("started"); }
    void processFinished(PXShellWrapper *wrapper, int status) override
    {
        events << QStringLiteral("finished");
        this->status = status;
        signal = wrapper->terminationSignal();
        inputLost = wrapper->inputLost();
    }
    void appendBinaryOutput(PXShellWrapper *, const QByteArray &bytes) override
    {
        events << QStringLiteral("bytes");
        binary += bytes;
    }

    bool finished() const { return events.contains(QStringLiteral("finished")); }

    QStringList events;
    QStringList pieces;
    QString output_;
    QString error_;
    QByteArray binary;
    int status = INT_MIN;
    int signal = -1;
    bool inputLost = false;
};

std::shared_ptr<PXShellWrapper> makeWrapper(Recorder &recorder, const QStringList &arguments)
{
    auto wrapper = std::make_shared<PXShellWrapper>(QString(), QProcessEnvironment(QProcessEnvironment::InheritFromParent),
                                                    arguments);
    wrapper->setDelegate(&recorder);
    return wrapper;
}

// Waits until the wrapper has reported its end and let go of itself; after
// that nothing can report any more.
void waitForEnd(Recorder &recorder, std::shared_ptr<PXShellWrapper> &wrapper)
{
    const std::weak_ptr<PXShellWrapper> watch = wrapper;
    wrapper.reset();
    QTRY_VERIFY_WITH_TIMEOUT(watch.expired(), 20000);
    QCOMPARE(recorder.events.first(), QStringLiteral("started"));
    QCOMPARE(recorder.events.count(QStringLiteral("finished")), 1);
    QCOMPARE(recorder.events.last(), QStringLiteral("finished"));
}

QStringList sh(const QString &script)
{
    return {QStringLiteral("/bin/sh"), QStringLiteral("-c"), script};
}

} // namespace

class TestShellWrapper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What the child writes arrives in full, standard error included, before
    // the one end report.
    void run_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("signal");
        const QString r(QChar::ReplacementCharacter);
        QTest::newRow("standard output only") << sh("printf 'one\\ntwo\\n'") << "one\ntwo\n" << "" << 0 << 0;
        QTest::newRow("standard error before exiting") << sh("printf oops >&2; exit 3") << "" << "oops" << 3 << 0;
        QTest::newRow("both streams") << sh("echo a; echo b >&2; echo c") << "a\nc\n" << "b\n" << 0 << 0;
        QTest::newRow("output after standard error closed") << sh("exec 2>&-; echo late") << "late\n" << "" << 0 << 0;
        QTest::newRow("a megabyte of output") << sh("head -c 1000000 /dev/zero | tr '\\0' y")
                                              << QString(1000000, u'y') << "" << 0 << 0;
        QTest::newRow("bytes that are no UTF-8") << sh("printf 'a\\377b\\n'") << "a" + r + "b\n" << "" << 0 << 0;
        QTest::newRow("a character cut off by the end") << sh("printf 'x\\303'") << "x" + r << "" << 0 << 0;
        QTest::newRow("ended by a signal") << sh("kill -TERM $$") << "" << "" << 128 + SIGTERM << int(SIGTERM);
        // Only a signal is a signal, whatever the status says.
        QTest::newRow("exit status of a signal's size") << sh("exit 137") << "" << "" << 137 << 0;
    }

    void run()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        QFETCH(QString, error);
        QFETCH(int, status);
        QFETCH(int, signal);
        Recorder recorder;
        auto wrapper = makeWrapper(recorder, arguments);
        wrapper->startProcess();
        QCOMPARE(recorder.events, QStringList{"started"});
        waitForEnd(recorder, wrapper);
        QCOMPARE(recorder.output_, output);
        QCOMPARE(recorder.error_, error);
        QCOMPARE(recorder.status, status);
        QCOMPARE(recorder.signal, signal);
        QVERIFY(!recorder.inputLost);
    }

    // A child that cannot start: a clear reason on standard error, then the
    // end, both after startProcess has returned.
    void failedStart_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << "/nonexistent/ostrel/poly" << "No such file or directory";
        QTest::newRow("not executable") << "not-executable" << "Permission denied";
        QTest::newRow("a directory") << "." << "Permission denied";
    }

    void failedStart()
    {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        if (path == u"not-executable") {
            path = dir.filePath(path);
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("#!/bin/sh\necho never\n");
        } else if (path == u".") {
            path = dir.path();
        }
        Recorder recorder;
        auto wrapper = makeWrapper(recorder, {path});
        wrapper->startProcess();
        QCOMPARE(recorder.events, QStringList{"started"});
        waitForEnd(recorder, wrapper);
        QCOMPARE(recorder.events, (QStringList{"started", "err", "finished"}));
        QCOMPARE(recorder.error_, QStringLiteral("Could not start %1: %2\n").arg(path, reason));
        QCOMPARE(recorder.status, PXShellWrapper::notLaunchedStatus);
    }

    void splitCharacter()
    {
        Recorder recorder;
        auto wrapper = makeWrapper(recorder, {testChild, "split"});
        wrapper->startProcess();
        QTRY_COMPARE_WITH_TIMEOUT(recorder.output_, QStringLiteral("a"), 10000);
        wrapper->appendInput(QStringLiteral("go\n"));
        waitForEnd(recorder, wrapper);
        QCOMPARE(recorder.pieces, (QStringList{"a", "\u00e9\n"}));
    }

    // The child writes a megabyte before it reads anything; a blocking write
    // of a megabyte would never return.
    void largeWriteWhileChildWrites()
    {
        const int size = 1 << 20;
        Recorder recorder;
        auto wrapper = makeWrapper(recorder, {testChild, "flood", QString::number(size)});
        wrapper->startProcess();
        wrapper->appendInput(QString(size, u'd'));
        wrapper->closeInput();
        waitForEnd(recorder, wrapper);
        QCOMPARE(recorder.output_.size(), size + qsizetype(sizeof "read 1048576\n") - 1);
        QVERIFY(recorder.output_.startsWith(QString(size, u'x')));
        QVERIFY(recorder.output_.endsWith(QStringLiteral("read %1\n").arg(size)));
        QCOMPARE(recorder.status, 0);
    }

    void inputInOrderThenEndOfFile()
    {
        Recorder recorder;
        auto wrapper = makeWrapper(recorder, {"/bin/cat"});
        wrapper->startProcess();
        wrapper->appendInput(QStringLiteral("caf\u00e9 "));
        wrapper->appendInput(QByteArray("bytes"));
        wrapper->closeInput();
        waitForEnd(recorder, wrapper);
        QCOMPARE(recorder.output_, QStringLiteral("caf\u00e9 bytes"));
        QCOMPARE(recorder.status, 0);
        QVERIFY(!recorder.inputLost);
    }

    // The child's input pipe must end up on its standard input even when
    // Ostrel itself was started without one (the pipe then takes the free
    // descriptor 0).
    void inputWithoutOurOwnStandardInput()
    {
        const int saved = ::dup(STDIN_FILENO);
        QVERIFY(saved >= 0);
        ::close(STDIN_FILENO);
        Recorder recorder;
        auto wrapper = makeWrapper(recorder, {"/bin/cat"});
        wrapper->startProcess();
        wrapper->appendInput(QStringLiteral("through the pipe\n"));
        wrapper->closeInput();
        ::dup2(saved, STDIN_FILENO);
        ::close(saved);
        waitForEnd(recorder, wrapper);
        QCOMPARE(recorder.output_, QStringLiteral("through the pipe\n"));
        QCOMPARE(recorder.status, 0);
    }

    // A child started later must not inherit the writing end of an earlier
    // child's input, or that child would never read end of file.
    void laterChildDoesNotHoldInputOpen()
    {
        Recorder first;
        Recorder second;
        auto one = makeWrapper(first, {"/bin/cat"});
        auto two = makeWrapper(second, {"/bin/cat"});
        one->startProcess();
        two->startProcess();
        one->closeInput();
        QTRY_VERIFY_WITH_TIMEOUT(first.finished(), 10000);
        QVERIFY(!second.finished());
        two->closeInput();
        waitForEnd(first, one);
        waitForEnd(second, two);
        QCOMPARE(second.status, 0);
    }

    void encodings()
    {
        Recorder recorder;
        auto wrapper = makeWrapper(recorder, {"/bin/cat"});
        wrapper->setInputStringEncoding(QStringConverter::Latin1);
        wrapper->setBinaryOutput(true);
        wrapper->startProcess();
        wrapper->appendInput(QStringLiteral("caf\u00e9"));
        wrapper->closeInput();
        waitForEnd(recorder, wrapper);
        QCOMPARE(recorder.binary, QByteArray("caf\xe9"));
        QVERIFY(!recorder.events.contains(QStringLiteral("out")));
    }

    void binaryOutputStillDecodesErrors()
    {
        Recorder recorder;
        auto wrapper = makeWrapper(recorder, sh("printf 'a\\377'; printf '\\303\\251' >&2"));
        wrapper->setBinaryOutput(true);
        wrapper->startProcess();
        waitForEnd(recorder, wrapper);
        QCOMPARE(recorder.binary, QByteArray("a\xff"));
        QCOMPARE(recorder.error_, QStringLiteral("\u00e9"));
    }

    void workingDirectoryAndEnvironment()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("OSTREL_TEST"), QStringLiteral("given"));
        Recorder recorder;
        auto wrapper = std::make_shared<PXShellWrapper>(dir.path(), environment,
                                                        sh("pwd; echo \"$OSTREL_TEST\"; echo \"${HOME:-none}\""));
        wrapper->setDelegate(&recorder);
        wrapper->startProcess();
        waitForEnd(recorder, wrapper);
        QCOMPARE(recorder.output_, dir.path() + "\ngiven\nnone\n");
    }

    void inheritedEnvironment()
    {
        qputenv("OSTREL_TEST_INHERITED", "yes");
        Recorder recorder;
        auto wrapper = makeWrapper(recorder, sh("echo \"$OSTREL_TEST_INHERITED\""));
        wrapper->startProcess();
        waitForEnd(recorder, wrapper);
        QCOMPARE(recorder.output_, QStringLiteral("yes\n"));
    }

    void signals()
    {
        Recorder recorder;
        auto wrapper = makeWrapper(recorder, {testChild, "signals"});
        wrapper->startProcess();
        QTRY_COMPARE_WITH_TIMEOUT(recorder.output_, QStringLiteral("ready\n"), 10000);
        wrapper->interruptProcess();
        QTRY_COMPARE_WITH_TIMEOUT(recorder.output_, QStringLiteral("ready\nINT\n"), 10000);
        wrapper->suspendProcess();
        QTRY_COMPARE_WITH_TIMEOUT(recorder.output_, QStringLiteral("ready\nINT\nTSTP\n"), 10000);
        wrapper->stopProcess();
        waitForEnd(recorder, wrapper);
        QCOMPARE(recorder.output_, QStringLiteral("ready\nINT\nTSTP\nTERM\n"));
        QCOMPARE(recorder.status, 7);
        QCOMPARE(recorder.signal, 0);
    }

    // The wrapper keeps itself, and its child, until the end report.
    void holdsItselfUntilTheEnd()
    {
        Recorder recorder;
        auto wrapper = makeWrapper(recorder, {"/bin/cat"});
        wrapper->startProcess();
        const std::weak_ptr<PXShellWrapper> watch = wrapper;
        PXShellWrapper *raw = wrapper.get();
        wrapper.reset();
        QVERIFY(!watch.expired());
        raw->appendInput(QStringLiteral("still here\n"));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.output_, QStringLiteral("still here\n"), 10000);
        raw->closeInput();
        QTRY_VERIFY_WITH_TIMEOUT(watch.expired(), 10000);
        QCOMPARE(recorder.events.last(), QStringLiteral("finished"));
    }

    // Writing to a child that has closed its input must not kill us with
    // SIGPIPE; writing after the end does nothing.
    void writeToClosedInput()
    {
        Recorder recorder;
        auto wrapper = makeWrapper(recorder, {testChild, "closed"});
        wrapper->startProcess();
        QTRY_COMPARE_WITH_TIMEOUT(recorder.output_, QStringLiteral("closed\n"), 10000);
        wrapper->appendInput(QString(1 << 20, u'z'));
        wrapper->appendInput(QStringLiteral("more\n"));
        wrapper->stopProcess();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.finished(), 10000);
        wrapper->appendInput(QStringLiteral("after the end\n"));
        wrapper->interruptProcess();
        waitForEnd(recorder, wrapper);
        QCOMPARE(recorder.status, 128 + SIGTERM);
        QVERIFY(recorder.inputLost);
    }

    // A child that exits with input still on the way to it.
    void exitWhileWritten()
    {
        Recorder recorder;
        auto wrapper = makeWrapper(recorder, sh("read line; exit 0"));
        wrapper->startProcess();
        wrapper->appendInput(QStringLiteral("one line\n") + QString(1 << 22, u'z'));
        waitForEnd(recorder, wrapper);
        QCOMPARE(recorder.status, 0);
        QCOMPARE(recorder.signal, 0);
        QVERIFY(recorder.inputLost);
    }

    void terminateAll()
    {
        Recorder first;
        Recorder second;
        auto one = makeWrapper(first, {testChild, "signals"});
        auto two = makeWrapper(second, {testChild, "signals"});
        one->startProcess();
        two->startProcess();
        QTRY_COMPARE_WITH_TIMEOUT(first.output_ + second.output_, QStringLiteral("ready\nready\n"), 10000);
        PXShellWrapper::terminateAll();
        waitForEnd(first, one);
        waitForEnd(second, two);
        QCOMPARE(first.status, 128 + SIGKILL);
        QCOMPARE(second.status, 128 + SIGKILL);
        QCOMPARE(first.signal, int(SIGKILL));
    }

    // SIGKILL for a child that handles SIGTERM and SIGINT its own way.
    void kill()
    {
        Recorder recorder;
        auto wrapper = makeWrapper(recorder, {testChild, "signals"});
        wrapper->startProcess();
        QTRY_COMPARE_WITH_TIMEOUT(recorder.output_, QStringLiteral("ready\n"), 10000);
        wrapper->killProcess();
        waitForEnd(recorder, wrapper);
        QCOMPARE(recorder.output_, QStringLiteral("ready\n"));
        QCOMPARE(recorder.signal, int(SIGKILL));
    }

    // A parent killed outright takes its interpreter along.
    void childDiesWithKilledParent()
    {
        Recorder recorder;
        auto holder = makeWrapper(recorder, {testChild, "hold", "/bin/sh", "-c", "echo $$; exec sleep 600"});
        holder->startProcess();
        QTRY_VERIFY_WITH_TIMEOUT(recorder.output_.endsWith(u'\n'), 10000);
        const qint64 grandchild = recorder.output_.trimmed().toLongLong();
        QVERIFY(OLTestProcesses::isAlive(grandchild));
        const QList<qint64> children = OLTestProcesses::liveChildren();
        QCOMPARE(children.size(), 1);
        ::kill(pid_t(children.first()), SIGKILL);
        waitForEnd(recorder, holder);
        QTRY_VERIFY_WITH_TIMEOUT(!OLTestProcesses::isAlive(grandchild), 10000);
    }
};

QTEST_GUILESS_MAIN(TestShellWrapper)
#include "tst_shellwrapper.moc"
