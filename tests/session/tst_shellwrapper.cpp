#include "OLTestProcesses.h"
#include "session/PXShellWrapper.h"

#include <QTest>

#include <climits>
#include <csignal>
#include <unistd.h>

namespace {

QStringList sh(const QString &script)
{
    return {QStringLiteral("/bin/sh"), QStringLiteral("-c"), script};
}

// One child and every report of its wrapper, in order.
class Child : public PXShellWrapperDelegate
{
public:
    explicit Child(const QStringList &arguments)
        : wrapper(std::make_shared<PXShellWrapper>(QString(), QProcessEnvironment(QProcessEnvironment::InheritFromParent),
                                                   arguments))
    {
        wrapper->setDelegate(this);
    }

    void appendOutput(PXShellWrapper *, const QString &text) override { events << "out"; pieces << text; }
    void appendError(PXShellWrapper *, const QString &text) override { events << "err"; error += text; }
    void processStarted(PXShellWrapper *) override { events << "started"; }
    void processFinished(PXShellWrapper *ended, int endStatus) override
    {
        events << "finished";
        status = endStatus;
        signal = ended->terminationSignal();
        inputLost = ended->inputLost();
    }

    // Only the first report comes before startProcess has returned.
    void start()
    {
        wrapper->startProcess();
        QCOMPARE(events, QStringList{"started"});
    }
    QString output() const { return pieces.join(QString()); }
    bool finished() const { return events.contains(u"finished"); }
    // Lets go of the wrapper, which holds itself and its child until its end report.
    PXShellWrapper *release()
    {
        watch = wrapper;
        wrapper.reset();
        return watch.lock().get();
    }
    // Waits until the wrapper has reported its one end, last, and let go of itself.
    void end()
    {
        if (wrapper)
            release();
        QTRY_VERIFY_WITH_TIMEOUT(watch.expired(), 20000);
        QCOMPARE(events.count(QStringLiteral("finished")), 1);
        QCOMPARE(events.last(), QStringLiteral("finished"));
    }

    std::shared_ptr<PXShellWrapper> wrapper;
    std::weak_ptr<PXShellWrapper> watch;
    QStringList events;
    QStringList pieces;
    QString error;
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
    // the end report; a child that cannot start says why. Input goes in
    // order, at once as far as the pipe has room, never blocking.
    void run_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QStringList>("input");
        QTest::addColumn<bool>("lost");
        const auto row = [](const char *name, const QStringList &arguments, const QString &output, int status,
                            const QString &error = {}, int signal = 0, const QStringList &input = {}, bool lost = false) {
            QTest::newRow(name) << arguments << output << status << error << signal << input << lost;
        };
        const QString r(QChar::ReplacementCharacter);
        const int mega = 1 << 20;
        row("both streams, output after standard error closed, exit status",
            sh("echo a; echo b >&2; exec 2>&-; echo c; exit 3"), "a\nc\n", 3, "b\n");
        row("bytes that are no UTF-8, a character cut off by the end", sh("printf 'a\\377b\\nx\\303'"),
            "a" + r + "b\nx" + r, 0);
        row("ended by a signal", sh("kill -TERM $$"), "", 128 + SIGTERM, "", SIGTERM);
        // Only a signal is a signal, whatever the status says.
        row("exit status of a signal's size", sh("exit 137"), "", 137);
        row("missing executable", {"/nonexistent/ostrel/poly"}, "", PXShellWrapper::notLaunchedStatus,
            "Could not start /nonexistent/ostrel/poly: No such file or directory\n");
        row("input in order, then end of file", {"/bin/cat"}, "caf\u00e9 more", 0, "", 0, {"caf\u00e9 ", "more", "end"});
        // Text input is encoded in slices of 64 K units.
        const QString cutPair = QString(64 * 1024 - 1, u'a') + "\U0001F600" + QString(70 * 1024, u'b');
        row("a character across two slices of text input", {"/bin/cat"}, cutPair, 0, "", 0, {cutPair, "end"});
        // A blocking write of two megabytes (twice what the pipe holds) would never
        // return: the child writes one before it reads.
        row("megabytes of input while the child writes one",
            sh(QStringLiteral("head -c %1 /dev/zero | tr '\\0' x; printf 'read %s\\n' \"$(wc -c)\"").arg(mega)),
            QString(mega, u'x') + QStringLiteral("read %1\n").arg(2 * mega), 0, "", 0, {QString(2 * mega, u'd'), "end"});
        row("the child exits with input on the way", sh("read line; exit 0"), "", 0, "", 0,
            {"one line\n" + QString(4 * mega, u'z')}, true);
    }

    void run()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, input);
        Child child(arguments);
        child.start();
        PXShellWrapper *wrapper = child.release();
        QVERIFY(wrapper);
        // A piece "end" closes the input.
        for (const QString &piece : std::as_const(input))
            piece == u"end" ? wrapper->closeInput() : wrapper->appendInput(piece);
        child.end();
        QTEST(child.output(), "output");
        QTEST(child.status, "status");
        QTEST(child.error, "error");
        QTEST(child.signal, "signal");
        QTEST(child.inputLost, "lost");
    }

    // The child's input pipe must end up on its standard input even when
    // Ostrel itself was started without one (the pipe then takes descriptor
    // 0); and a child started later must not inherit the writing end of an
    // earlier child's input, or that child would never read end of file.
    void inputPipes()
    {
        const int saved = ::dup(STDIN_FILENO);
        ::close(STDIN_FILENO);
        Child first({"/bin/cat"});
        Child second({"/bin/cat"});
        first.start();
        ::dup2(saved, STDIN_FILENO);
        ::close(saved);
        second.start();
        first.wrapper->appendInput(QStringLiteral("through the pipe\n"));
        first.wrapper->closeInput();
        QTRY_VERIFY_WITH_TIMEOUT(first.finished(), 10000);
        QVERIFY(!second.finished());
        second.wrapper->closeInput();
        first.end();
        second.end();
        QCOMPARE(first.output(), QStringLiteral("through the pipe\n"));
        QCOMPARE(second.status, 0);
    }

    // Writing to a child that has closed its input must not kill us with
    // SIGPIPE; the input is lost, and writing or signalling after the end does nothing.
    void writeToClosedInput()
    {
        Child child(sh("exec 0<&-; echo closed; exec sleep 600"));
        child.start();
        QTRY_COMPARE_WITH_TIMEOUT(child.output(), QStringLiteral("closed\n"), 10000);
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

    // SIGINT reaches the child (a stand-in interpreter answers it);
    // killProcess and terminateAll kill.
    void signals()
    {
        Child handled({OL_TESTCHILD, "repl"});
        handled.start();
        Child other({"/bin/cat"});
        other.start();
        QTRY_COMPARE_WITH_TIMEOUT(handled.output(), QStringLiteral("Stand-in ML\n- "), 10000);
        handled.wrapper->interruptProcess();
        QTRY_COMPARE_WITH_TIMEOUT(handled.output(), QStringLiteral("Stand-in ML\n- \nInterrupt\n- "), 10000);
        handled.wrapper->killProcess();
        handled.end();
        QCOMPARE(handled.signal, int(SIGKILL));
        QVERIFY(!other.finished());
        PXShellWrapper::terminateAll();
        other.end();
        QCOMPARE(other.signal, int(SIGKILL));
    }
};

QTEST_GUILESS_MAIN(TestShellWrapper)
#include "tst_shellwrapper.moc"
