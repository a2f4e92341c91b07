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

    void appendOutput(PXShellWrapper *, const QString &text) override { events << "out"; output += text; }
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
    // Lets go of the wrapper, which holds itself and its child until its end
    // report, and waits until it has reported its one end, last, and let go of itself.
    void end()
    {
        watch = wrapper;
        wrapper.reset();
        QTRY_VERIFY_WITH_TIMEOUT(watch.expired(), 20000);
        QCOMPARE(events.count(QStringLiteral("finished")), 1);
        QCOMPARE(events.last(), QStringLiteral("finished"));
    }

    std::shared_ptr<PXShellWrapper> wrapper;
    std::weak_ptr<PXShellWrapper> watch;
    QStringList events;
    QString output;
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
    // order, at once as far as the pipe has room, never blocking; a piece
    // "end" closes it. Only a signal is a signal, whatever the status says.
    void run()
    {
        const QString r(QChar::ReplacementCharacter);
        const int mega = 1 << 20;
        // Text input is encoded in slices of 64 K units.
        const QString cutPair = QString(64 * 1024 - 1, u'a') + "\U0001F600" + QString(70 * 1024, u'b');
        const struct {
            QStringList arguments;
            QString output;
            int status;
            QString error = {};
            int signal = 0;
            QStringList input = {};
            bool lost = false;
        } rows[] = {
            {sh("echo a; echo b >&2; exec 2>&-; echo c; exit 3"), "a\nc\n", 3, "b\n"},
            {sh("printf 'a\\377b\\nx\\303'"), "a" + r + "b\nx" + r, 0},
            {sh("kill -TERM $$"), "", 128 + SIGTERM, "", SIGTERM},
            {sh("exit 137"), "", 137},
            {{"/nonexistent/ostrel/poly"}, "", PXShellWrapper::notLaunchedStatus, "Could not start /nonexistent/ostrel/poly: No such file or directory\n"},
            {{"/bin/cat"}, "caf\u00e9 more", 0, "", 0, {"caf\u00e9 ", "more", "end"}},
            {{"/bin/cat"}, cutPair, 0, "", 0, {cutPair, "end"}},
            // A blocking write of two megabytes (twice what the pipe holds) would never
            // return: the child writes one before it reads. It reads in small pieces,
            // so that writes find the pipe part full and are cut short.
            {sh(QStringLiteral("head -c %1 /dev/zero | tr '\\0' x; printf 'read %s\\n' \"$(dd bs=1000 2>/dev/null | wc -c)\"").arg(mega)), QString(mega, u'x') + QStringLiteral("read %1\n").arg(2 * mega), 0, "", 0, {QString(2 * mega, u'd'), "end"}},
            // Input on the way to a child that exits is lost, with no SIGPIPE.
            {sh("read line; exit 0"), "", 0, "", 0, {"one line\n" + QString(4 * mega, u'z')}, true},
        };
        for (const auto &row : rows) {
            Child child(row.arguments);
            child.start();
            for (const QString &piece : row.input)
                piece == u"end" ? child.wrapper->closeInput() : child.wrapper->appendInput(piece);
            child.end();
            QVERIFY2(child.output == row.output && child.status == row.status && child.error == row.error
                         && child.signal == row.signal && child.inputLost == row.lost,
                     qPrintable(row.arguments.join(u' ').left(80) + " gave " + child.output.left(80) + child.error));
        }
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
        QTRY_VERIFY_WITH_TIMEOUT(first.events.contains(u"finished"), 10000);
        QVERIFY(!second.events.contains(u"finished"));
        second.wrapper->closeInput();
        first.end();
        second.end();
        QCOMPARE(first.output, QStringLiteral("through the pipe\n"));
        QCOMPARE(second.status, 0);
    }
};

QTEST_GUILESS_MAIN(TestShellWrapper)
#include "tst_shellwrapper.moc"
