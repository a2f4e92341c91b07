// What the window shows of its interpreter: busy, idle again, not running;
// the window stays open when the interpreter did not quit by itself, or when
// the user kept it, and Interrupt and Reset are always there.
//
// The interpreter is a stand-in: the test child in its "repl" mode, reached
// through a link named "sml" so that the session takes it for SML of New
// Jersey. "loop;" computes until SIGINT, which it can ignore; "exit N;" exits.

#include "appfixture.h"

#include <QLabel>
#include <QMenu>

namespace {
constexpr int waitMs = 20000;
const QString busy = QStringLiteral("Interpreter busy");
const QString notRunning = QStringLiteral("Interpreter not running — Reset to start a new one");

// A window whose interpreter is the stand-in with these arguments.
struct StandInWindow {
    explicit StandInWindow(const QString &arguments = QString())
    {
        const QString link = fixture.path(QStringLiteral("sml"));
        QFile::link(QStringLiteral(OL_TESTCHILD), link);
        fixture.app->defaults().savePreferredInterpreter(QStringLiteral("file://localhost") + link
                                                         + QStringLiteral(" repl ") + arguments);
        window = fixture.untitled();
    }

    QString status() const { return window->findChild<QLabel *>(QStringLiteral("interpreterActivity"))->text(); }
    QAction *action(const char *name) const { return window->findChild<QAction *>(QString::fromLatin1(name)); }
    bool consoleShows(const char16_t *text) const { return window->console()->textStorage().string().contains(text); }
    bool commandsEnabled() const { return action("interruptAction")->isEnabled() && action("resetAction")->isEnabled(); }
    // The Interrupt command's title in the Evaluate menu as the user opens it.
    QString interruptTitle() const
    {
        auto *menu = qobject_cast<QMenu *>(action("interruptAction")->parent());
        menu->popup(window->mapToGlobal(QPoint(0, 0)));
        const QString title = action("interruptAction")->text().remove(u'&');
        menu->close();
        return title;
    }
    void startLoop() const
    {
        window->eval(QStringLiteral("loop"), OLConsoleCommitter);
        QTRY_VERIFY_WITH_TIMEOUT(consoleShows(u"started"), waitMs);
        QTRY_COMPARE_WITH_TIMEOUT(status(), busy, waitMs);
        QVERIFY(commandsEnabled());
        QCOMPARE(interruptTitle(), QStringLiteral("Interrupt"));
    }

    AppFixture fixture;
    OLWindowController *window = nullptr;
};
} // namespace

class TestInterpreterActivity : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A commit that keeps the interpreter from its prompt shows it busy after
    // a while; back at its prompt, the status is empty again.
    void busyUntilBackAtPrompt()
    {
        StandInWindow stand;
        QTRY_VERIFY_WITH_TIMEOUT(stand.consoleShows(u"Stand-in ML"), waitMs);
        QCOMPARE(stand.status(), QString());
        stand.startLoop();
        stand.action("interruptAction")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(stand.status(), QString(), waitMs);
        QTRY_VERIFY_WITH_TIMEOUT(stand.consoleShows(u"Interrupt"), waitMs); // the console shows output in slices
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
        QTRY_VERIFY_WITH_TIMEOUT(stand.consoleShows(u"Stand-in ML"), waitMs);
        const QList<qint64> pids = liveChildren(QStringLiteral("sml"));
        QCOMPARE(pids.size(), 1);
        if (how == u"kill") {
            stand.startLoop();
            QCOMPARE(::kill(pid_t(pids[0]), SIGKILL), 0);
        } else if (how == u"terminate") {
            stand.startLoop();
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
        QTRY_VERIFY_WITH_TIMEOUT(!OLTestProcesses::isAlive(pids[0]), waitMs);
        QCOMPARE(stand.fixture.app->windows().size(), 1);
        QVERIFY(stand.window->isVisible() && stand.commandsEnabled());
        QCOMPARE(stand.interruptTitle(), QStringLiteral("Interrupt"));
        // An interrupt with nothing running changes nothing.
        stand.action("interruptAction")->trigger();
        QCOMPARE(stand.status(), notRunning);

        stand.action("resetAction")->trigger();
        QCOMPARE(stand.status(), QString());
        stand.window->eval(QStringLiteral("x"), OLConsoleCommitter);
        QTRY_VERIFY_WITH_TIMEOUT(stand.consoleShows(u"read 2"), waitMs);
        QCOMPARE(stand.status(), QString());
    }
};

QTEST_MAIN(TestInterpreterActivity)
#include "tst_interpreteractivity.moc"
