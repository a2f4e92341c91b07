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

class TestInterpreterActivity : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Interrupted, then killed from outside; terminated after an ignored
    // interrupt; exited, the user kept the unsaved text.
    void busyIdleAndNotRunning_data()
    {
        QTest::addColumn<int>("unused");
        for (const char *how : {"kill", "ignore-int", "exit"})
            QTest::newRow(how) << 0;
    }
    // A commit that keeps the interpreter from its prompt shows it busy after
    // a while; back at its prompt, the status is empty again. However the
    // interpreter ended without closing the window, the window says that none
    // runs until a reset starts one; the commands stay.
    void busyIdleAndNotRunning()
    {
        const QString how = QString::fromLatin1(QTest::currentDataTag());
        AppFixture fixture;
        const QString link = fixture.path(QStringLiteral("sml"));
        QVERIFY(QFile::link(QStringLiteral(OL_TESTCHILD), link));
        fixture.app->defaults().savePreferredInterpreter(QStringLiteral("file://localhost%1 repl %2").arg(link, how == u"ignore-int" ? how : QString()));
        OLWindowController *window = fixture.untitled();
        const auto status = [window] { return window->findChild<QLabel *>(QStringLiteral("interpreterActivity"))->text(); };
        QAction *interrupt = window->findChild<QAction *>(QStringLiteral("interruptAction"));
        QAction *reset = window->findChild<QAction *>(QStringLiteral("resetAction"));
        // The Interrupt command's title in the Evaluate menu as the user opens it.
        const auto interruptTitle = [&] {
            auto *menu = qobject_cast<QMenu *>(interrupt->parent());
            menu->popup(window->mapToGlobal(QPoint(0, 0)));
            const QString title = interrupt->text().remove(u'&');
            menu->close();
            return title;
        };
        const QString notRunning = QStringLiteral("Interpreter not running — Reset to start a new one");
        QTRY_VERIFY_WITH_TIMEOUT(consoleShows(window, QStringLiteral("Stand-in ML")), 20000);
        const QList<qint64> pids = liveChildren(QStringLiteral("sml"));
        QVERIFY(status().isEmpty() && pids.size() == 1);
        if (how == u"exit") {
            typeAtEnd(window, QStringLiteral("val kept = 1"));
            window->eval(QStringLiteral("exit 3"), OLConsoleCommitter);
            // The window asks about the unsaved text; the user cancels.
            QTRY_COMPARE_WITH_TIMEOUT(fixture.asker.saveChangesAskedBy.size(), 1, 20000);
        } else {
            window->eval(QStringLiteral("loop"), OLConsoleCommitter);
            QTRY_VERIFY_WITH_TIMEOUT(consoleShows(window, QStringLiteral("started")) && status() == u"Interpreter busy", 20000);
            QVERIFY(interrupt->isEnabled() && reset->isEnabled() && interruptTitle() == u"Interrupt");
            interrupt->trigger();
        }
        if (how == u"kill") {
            QTRY_VERIFY_WITH_TIMEOUT(status().isEmpty() && consoleShows(window, QStringLiteral("Interrupt")), 20000);
            QCOMPARE(::kill(pid_t(pids[0]), SIGKILL), 0);
        } else if (how == u"ignore-int") {
            QTRY_VERIFY_WITH_TIMEOUT(window->session().interruptIgnored(), 20000);
            // The next interrupt ends the interpreter, and says so.
            QVERIFY(interruptTitle() == u"Terminate Interpreter" && interrupt->isEnabled() && reset->isEnabled());
            interrupt->trigger();
        }
        QTRY_VERIFY_WITH_TIMEOUT(status() == notRunning && !OLTestProcesses::isAlive(pids[0]), 20000);
        QVERIFY(fixture.app->windows().size() == 1 && window->isVisible() && interrupt->isEnabled() && reset->isEnabled());
        QCOMPARE(interruptTitle(), QStringLiteral("Interrupt"));
        // An interrupt with nothing running changes nothing.
        interrupt->trigger();
        QCOMPARE(status(), notRunning);

        reset->trigger();
        QCOMPARE(status(), QString());
        window->eval(QStringLiteral("x"), OLConsoleCommitter);
        QTRY_VERIFY_WITH_TIMEOUT(consoleShows(window, QStringLiteral("read 2")), 20000);
        QCOMPARE(status(), QString());
    }
};

QTEST_MAIN(TestInterpreterActivity)
#include "tst_interpreteractivity.moc"
