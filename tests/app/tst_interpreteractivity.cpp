// What the window shows of its interpreter: busy, idle again, not running;
// the window stays open when the interpreter did not quit by itself, or when
// the user kept it, and Interrupt and Reset are always there.
//
// The interpreter is a stand-in: the test child in its "repl" mode, reached
// through a link named "sml" so that the session takes it for SML of New
// Jersey. "loop;" computes until SIGINT, which it can ignore; "exit N;" exits.

#include "appfixture.h"

#include "OLTestProcesses.h"

#include <QLabel>
#include <QMenu>

namespace {

const QString testChild = QStringLiteral(OL_TESTCHILD);
constexpr int waitMs = 20000;

const QString busy = QStringLiteral("Interpreter busy");
const QString notRunning = QStringLiteral("Interpreter not running — Reset to start a new one");

// A window whose interpreter is the stand-in with these arguments, standing
// at its first prompt.
struct StandInWindow {
    explicit StandInWindow(const QString &arguments = QString())
    {
        const QString link = fixture.path(QStringLiteral("sml"));
        QFile::link(testChild, link);
        fixture.app->defaults().savePreferredInterpreter(QStringLiteral("file://localhost") + link
                                                         + QStringLiteral(" repl ") + arguments);
        fixture.app->newDocument();
        window = fixture.app->windows().constFirst();
    }

    QString status() const { return window->findChild<QLabel *>(QStringLiteral("interpreterActivity"))->text(); }
    QAction *action(const char *name) const { return window->findChild<QAction *>(QString::fromLatin1(name)); }
    QString consoleText() const { return window->console()->textStorage().string(); }
    bool commandsEnabled() const { return action("interruptAction")->isEnabled() && action("resetAction")->isEnabled(); }
    // The Evaluate menu as the user opens it.
    QString interruptTitle() const
    {
        auto *menu = qobject_cast<QMenu *>(action("interruptAction")->parent());
        menu->popup(window->mapToGlobal(QPoint(0, 0)));
        const QString title = action("interruptAction")->text().remove(u'&');
        menu->close();
        return title;
    }
    static qint64 interpreterPid()
    {
        const QList<qint64> pids = liveChildren(QStringLiteral("sml"));
        return pids.size() == 1 ? pids.first() : -1;
    }

    AppFixture fixture;
    OLWindowController *window = nullptr;
};

} // namespace

class TestInterpreterActivity : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A commit that keeps the interpreter from its prompt shows it busy
    // after a while; back at its prompt, the status is empty again.
    void busyUntilBackAtPrompt()
    {
        StandInWindow stand;
        QTRY_VERIFY_WITH_TIMEOUT(stand.consoleText().contains(u"Stand-in ML"), waitMs);
        QCOMPARE(stand.status(), QString());

        stand.window->eval(QStringLiteral("loop"), OLConsoleCommitter);
        QTRY_VERIFY_WITH_TIMEOUT(stand.consoleText().contains(u"started"), waitMs);
        QTRY_COMPARE_WITH_TIMEOUT(stand.status(), busy, waitMs);
        QVERIFY(stand.commandsEnabled());
        QCOMPARE(stand.interruptTitle(), QStringLiteral("Interrupt"));

        stand.action("interruptAction")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(stand.status(), QString(), waitMs);
        QVERIFY(stand.consoleText().contains(u"Interrupt"));
        QVERIFY(stand.commandsEnabled());
    }

    // However the interpreter ended without closing the window, the window
    // says that none runs until a reset starts one; the commands stay.
    void notRunningUntilReset_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QString>("how");
        QTest::newRow("killed from outside") << QString() << "kill";
        QTest::newRow("terminated after an ignored interrupt") << "ignore-int" << "terminate";
        QTest::newRow("exited, the user kept the unsaved text") << QString() << "exit";
    }

    void notRunningUntilReset()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, how);
        StandInWindow stand(arguments);
        QTRY_VERIFY_WITH_TIMEOUT(stand.consoleText().contains(u"Stand-in ML"), waitMs);
        const qint64 pid = StandInWindow::interpreterPid();
        QVERIFY(pid > 0);

        if (how == u"kill") {
            stand.window->eval(QStringLiteral("loop"), OLConsoleCommitter);
            QTRY_COMPARE_WITH_TIMEOUT(stand.status(), busy, waitMs);
            QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
        } else if (how == u"terminate") {
            stand.window->eval(QStringLiteral("loop"), OLConsoleCommitter);
            QTRY_COMPARE_WITH_TIMEOUT(stand.status(), busy, waitMs);
            stand.action("interruptAction")->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(stand.window->session().interruptIgnored(), waitMs);
            // The next interrupt ends the interpreter, and says so.
            QCOMPARE(stand.interruptTitle(), QStringLiteral("Terminate Interpreter"));
            QVERIFY(stand.commandsEnabled());
            stand.action("interruptAction")->trigger();
        } else {
            typeAtEnd(stand.window, QStringLiteral("val kept = 1"));
            stand.window->eval(QStringLiteral("exit 3"), OLConsoleCommitter);
            // The window asks about the unsaved text; the user cancels.
            QTRY_COMPARE_WITH_TIMEOUT(stand.fixture.asker.saveChangesAskedBy.size(), 1, waitMs);
        }
        QTRY_COMPARE_WITH_TIMEOUT(stand.status(), notRunning, waitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!OLTestProcesses::isAlive(pid), waitMs);
        QCOMPARE(stand.fixture.app->windows().size(), 1);
        QVERIFY(stand.window->isVisible());
        QVERIFY(stand.commandsEnabled());
        QCOMPARE(stand.interruptTitle(), QStringLiteral("Interrupt"));
        // An interrupt with nothing running changes nothing.
        stand.action("interruptAction")->trigger();
        QCOMPARE(stand.status(), notRunning);

        stand.action("resetAction")->trigger();
        QCOMPARE(stand.status(), QString());
        stand.window->eval(QStringLiteral("x"), OLConsoleCommitter);
        QTRY_VERIFY_WITH_TIMEOUT(stand.consoleText().contains(u"read 2"), waitMs);
        QCOMPARE(stand.status(), QString());
    }
};

QTEST_MAIN(TestInterpreterActivity)
#include "tst_interpreteractivity.moc"
