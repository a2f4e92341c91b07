#include "session/PXShellWrapper.h"

#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <csignal>
#include <unistd.h>

namespace {

const QString testChild = QStringLiteral(OL_TESTCHILD);

QStringList sh(const QString &script)
{
    return {QStringLiteral("/bin/sh"), QStringLiteral("-c"), script};
}

// One child and every report of its wrapper, in order.
class Child : public PXShellWrapperDelegate
{
public:
    explicit Child(const QStringList &arguments, const QString &directory = QString(),
                   const QProcessEnvironment &environment = QProcessEnvironment(QProcessEnvironment::InheritFromParent))
        : wrapper(std::make_shared<PXShellWrapper>(directory, environment, arguments))
    {
        wrapper->setDelegate(this);
    }

    void appendOutput(PXShellWrapper *, const QString &text) override
    {
        events << QStringLiteral("out");
        pieces << text;
        output += text;
    }
    void appendError(PXShellWrapper *, const QString &text) override { events << QStringLiteral("err"); error += text; }
    void processStarted(PXShellWrapper *) override { events << QStringLiteral("started"); }
    void processFinished(PXShellWrapper *ended, int endStatus) override
    {
        events << QStringLiteral("finished");
        status = endStatus;
        signal = ended->terminationSignal();
        inputLost = ended->inputLost();
    }
    void appendBinaryOutput(PXShellWrapper *, const QByteArray &bytes) override
    {
        events << QStringLiteral("bytes");
        binary += bytes;
    }

    // Reports come only after startProcess has returned, except the first.
    void start()
    {
        wrapper->startProcess();
        QCOMPARE(events, QStringList{"started"});
    }
    bool finished() const { return events.contains(QStringLiteral("finished")); }
    // Waits until the wrapper has reported its one end, last, and let go of itself.
    void end()
    {
        const std::weak_ptr<PXShellWrapper> watch = wrapper;
        wrapper.reset();
        QTRY_VERIFY_WITH_TIMEOUT(watch.expired(), 20000);
        QCOMPARE(events.count(QStringLiteral("finished")), 1);
        QCOMPARE(events.last(), QStringLiteral("finished"));
    }

    std::shared_ptr<PXShellWrapper> wrapper;
    QStringList events;
    QStringList pieces;
    QString output;
    QString error;
    QByteArray binary;
    int status = INT_MIN;
    int signal = -1;
    bool inputLost = false;
};

} // namespace

class TestShellWrapper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What the child writes arrives in full, standard error included, before
    // the end report; a child that cannot start says why.
    void run_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("signal");
        const QString r(QChar::ReplacementCharacter);
        const int notLaunched = PXShellWrapper::notLaunchedStatus;
        QTest::newRow("both streams, exit status") << sh("echo a; echo b >&2; echo c; exit 3") << "a\nc\n" << "b\n" << 3 << 0;
        QTest::newRow("output after standard error closed") << sh("exec 2>&-; echo late") << "late\n" << "" << 0 << 0;
        QTest::newRow("bytes that are no UTF-8") << sh("printf 'a\\377b\\n'") << "a" + r + "b\n" << "" << 0 << 0;
        QTest::newRow("a character cut off by the end") << sh("printf 'x\\303'") << "x" + r << "" << 0 << 0;
        QTest::newRow("inherited environment") << sh("printf %s \"$PATH\"") << qEnvironmentVariable("PATH") << "" << 0 << 0;
        QTest::newRow("ended by a signal") << sh("kill -TERM $$") << "" << "" << 128 + SIGTERM << int(SIGTERM);
        // Only a signal is a signal, whatever the status says.
        QTest::newRow("exit status of a signal's size") << sh("exit 137") << "" << "" << 137 << 0;
        QTest::newRow("missing executable") << QStringList{"/nonexistent/ostrel/poly"} << ""
            << "Could not start /nonexistent/ostrel/poly: No such file or directory\n" << notLaunched << 0;
        QTest::newRow("not executable") << QStringList{"/etc/passwd"} << ""
            << "Could not start /etc/passwd: Permission denied\n" << notLaunched << 0;
    }

    void run()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        QFETCH(QString, error);
        QFETCH(int, status);
        QFETCH(int, signal);
        Child child(arguments);
        child.start();
        child.end();
        QCOMPARE(child.output, output);
        QCOMPARE(child.error, error);
        QCOMPARE(child.status, status);
        QCOMPARE(child.signal, signal);
        QVERIFY(!child.inputLost);
    }

    // A character split between two reads arrives whole with the second.
    void splitCharacter()
    {
        Child child(sh("printf 'a\\303'; read line; printf '\\251\\n'"));
        child.start();
        QTRY_COMPARE_WITH_TIMEOUT(child.output, QStringLiteral("a"), 10000);
        child.wrapper->appendInput(QStringLiteral("go\n"));
        child.end();
        QCOMPARE(child.pieces, (QStringList{"a", "\u00e9\n"}));
    }

    // The child writes a megabyte before it reads anything; a blocking write
    // of a megabyte would never return.
    void largeWriteWhileChildWrites()
    {
        const int size = 1 << 20;
        Child child(sh(QStringLiteral("head -c %1 /dev/zero | tr '\\0' x; printf 'read %s\\n' \"$(wc -c)\"").arg(size)));
        child.start();
        child.wrapper->appendInput(QString(size, u'd'));
        child.wrapper->closeInput();
        child.end();
        QCOMPARE(child.output, QString(size, u'x') + QStringLiteral("read %1\n").arg(size));
        QCOMPARE(child.status, 0);
    }

    // Input in order, then end of file; the wrapper holds itself, and its
    // child, until the end report.
    void inputInOrderThenEndOfFile()
    {
        Child child({"/bin/cat"});
        child.start();
        const std::weak_ptr<PXShellWrapper> watch = child.wrapper;
        PXShellWrapper *raw = child.wrapper.get();
        child.wrapper.reset();
        QVERIFY(!watch.expired());
        raw->appendInput(QStringLiteral("caf\u00e9 "));
        raw->appendInput(QByteArray("bytes"));
        raw->closeInput();
        QTRY_VERIFY_WITH_TIMEOUT(watch.expired(), 10000);
        QCOMPARE(child.events.last(), QStringLiteral("finished"));
        QCOMPARE(child.output, QStringLiteral("caf\u00e9 bytes"));
        QCOMPARE(child.status, 0);
        QVERIFY(!child.inputLost);
    }

    // The child's input pipe must end up on its standard input even when
    // Ostrel itself was started without one (the pipe then takes descriptor 0).
    void inputWithoutOurOwnStandardInput()
    {
        const int saved = ::dup(STDIN_FILENO);
        QVERIFY(saved >= 0);
        ::close(STDIN_FILENO);
        Child child({"/bin/cat"});
        child.start();
        child.wrapper->appendInput(QStringLiteral("through the pipe\n"));
        child.wrapper->closeInput();
        ::dup2(saved, STDIN_FILENO);
        ::close(saved);
        child.end();
        QCOMPARE(child.output, QStringLiteral("through the pipe\n"));
    }

    // A child started later must not inherit the writing end of an earlier
    // child's input, or that child would never read end of file.
    void laterChildDoesNotHoldInputOpen()
    {
        Child first({"/bin/cat"});
        Child second({"/bin/cat"});
        first.start();
        second.start();
        first.wrapper->closeInput();
        QTRY_VERIFY_WITH_TIMEOUT(first.finished(), 10000);
        QVERIFY(!second.finished());
        second.wrapper->closeInput();
        first.end();
        second.end();
        QCOMPARE(second.status, 0);
    }

    // Input in Latin-1, output undecoded; standard error is still decoded.
    void encodings()
    {
        Child child(sh("cat; printf '\\303\\251' >&2"));
        child.wrapper->setInputStringEncoding(QStringConverter::Latin1);
        child.wrapper->setBinaryOutput(true);
        child.start();
        child.wrapper->appendInput(QStringLiteral("caf\u00e9\xff"));
        child.wrapper->closeInput();
        child.end();
        QCOMPARE(child.binary, QByteArray("caf\xe9\xff"));
        QCOMPARE(child.error, QStringLiteral("\u00e9"));
        QVERIFY(!child.events.contains(QStringLiteral("out")));
    }

    void workingDirectoryAndEnvironment()
    {
        QTemporaryDir dir;
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("OSTREL_TEST"), QStringLiteral("given"));
        Child child(sh("pwd; echo \"$OSTREL_TEST\"; echo \"${HOME:-none}\""), dir.path(), environment);
        child.start();
        child.end();
        QCOMPARE(child.output, dir.path() + "\ngiven\nnone\n");
    }

    // SIGINT, SIGTSTP and SIGTERM reach a child that handles them; killProcess
    // and terminateAll kill it, whatever it handles.
    void signals()
    {
        Child child({testChild, "signals"});
        Child killed({testChild, "signals"});
        Child other({testChild, "signals"});
        for (Child *each : {&child, &killed, &other})
            each->start();
        QTRY_COMPARE_WITH_TIMEOUT(child.output + killed.output + other.output, QStringLiteral("ready\nready\nready\n"),
                                  10000);
        child.wrapper->interruptProcess();
        QTRY_COMPARE_WITH_TIMEOUT(child.output, QStringLiteral("ready\nINT\n"), 10000);
        child.wrapper->suspendProcess();
        QTRY_COMPARE_WITH_TIMEOUT(child.output, QStringLiteral("ready\nINT\nTSTP\n"), 10000);
        child.wrapper->stopProcess();
        child.end();
        QCOMPARE(child.output, QStringLiteral("ready\nINT\nTSTP\nTERM\n"));
        QCOMPARE(child.status, 7);
        QCOMPARE(child.signal, 0);

        killed.wrapper->killProcess();
        killed.end();
        QVERIFY(!other.finished());
        PXShellWrapper::terminateAll();
        other.end();
        for (Child *each : {&killed, &other}) {
            QCOMPARE(each->output, QStringLiteral("ready\n"));
            QCOMPARE(each->status, 128 + SIGKILL);
            QCOMPARE(each->signal, int(SIGKILL));
        }
    }

    // Writing to a child that has closed its input must not kill us with
    // SIGPIPE; the input is lost, and writing after the end does nothing.
    void writeToClosedInput()
    {
        Child child(sh("exec 0<&-; echo closed; exec sleep 600"));
        child.start();
        QTRY_COMPARE_WITH_TIMEOUT(child.output, QStringLiteral("closed\n"), 10000);
        child.wrapper->appendInput(QString(1 << 20, u'z'));
        child.wrapper->appendInput(QStringLiteral("more\n"));
        child.wrapper->stopProcess();
        QTRY_VERIFY_WITH_TIMEOUT(child.finished(), 10000);
        child.wrapper->appendInput(QStringLiteral("after the end\n"));
        child.wrapper->interruptProcess();
        child.end();
        QCOMPARE(child.status, 128 + SIGTERM);
        QVERIFY(child.inputLost);
    }

    // A child that exits with input still on the way to it.
    void exitWhileWritten()
    {
        Child child(sh("read line; exit 0"));
        child.start();
        child.wrapper->appendInput(QStringLiteral("one line\n") + QString(1 << 22, u'z'));
        child.end();
        QCOMPARE(child.status, 0);
        QCOMPARE(child.signal, 0);
        QVERIFY(child.inputLost);
    }
};

QTEST_GUILESS_MAIN(TestShellWrapper)
#include "tst_shellwrapper.moc"
