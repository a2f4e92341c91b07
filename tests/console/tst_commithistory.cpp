#include "../settings/settingstestsupport.h"
#include "console/OLCommitHistory.h"

#include <QStandardPaths>
#include <QTest>

#include <utility>

namespace {
// Stands in for the console pane: only its unfixed input matters here.
struct Console : OLUnfixedInput {
    QString replaceUnfixedWithString(const QString &text) override { return std::exchange(unfixed, text); }
    QString unfixed = QStringLiteral("x");
};
} // namespace

class TestCommitHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // A history made over the stored one, with the maximum stored, then steps:
    // "+a" adds a, "=n" stores the maximum n, "b" back, "f" forward, "r" reset
    // (a fix after output), "e" an edit of the input (the pane appends a
    // character, then resets). After each of the last four: the input and
    // the index walked to.
    void history_data()
    {
        QTest::addColumn<bool>("restore");
        QTest::addColumn<qint64>("maximum");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("kept");
        QStringList ten;
        for (int i = 1; i <= 10; ++i)
            ten.append(QString::number(i));
        const auto row = [](const char *name, bool restore, qint64 maximum, const QStringList &stored, const char *steps,
                            const QStringList &shown, const QStringList &kept) {
            QTest::newRow(name) << restore << maximum << stored << QString::fromLatin1(steps) << shown << kept;
        };
        const QStringList abc{"a", "b", "c"};
        row("back to the oldest, forward past the newest, back again", false, 100, {}, "+a +b +c b b b b f f f f b",
            {"c 2", "b 1", "a 0", "a 0", "b 1", "c 2", "x -1", "x -1", "c 2"}, abc);
        row("empty list: back and forward do nothing", false, 100, {}, "b f", {"x -1", "x -1"}, {});
        row("edit of a recalled item ends the walk and is saved by the next", false, 100, {}, "+a +b +c b b e b f",
            {"c 2", "b 1", "b! -1", "c 2", "b! -1"}, abc);
        row("output during a walk ends it, keeping the recalled item", false, 100, {}, "+a +b +c b b r f b f",
            {"c 2", "b 1", "b -1", "b -1", "c 2", "b -1"}, abc);
        row("a full list drops the oldest", false, 3, {}, "+a +b +c +d", {}, {"b", "c", "d"});
        row("a lowered maximum lets the list grow", false, 10, {}, "+a +b +c =2 +d", {}, {"a", "b", "c", "d"});
        row("maximum 0 never trims", false, 0, {}, "+a +b", {}, {"a", "b"});
        row("negative maximum never trims", false, -1, {}, "+a +b", {}, {"a", "b"});
        row("duplicates and empty inputs are kept", false, 10, {}, "+1; +1; +", {}, {"1;", "1;", ""});
        row("restored: the newest of those stored", true, 4, ten, "b +n", {"10 3"}, {"8", "9", "10", "n"});
        row("restored: exactly the maximum", true, 10, ten, "", {}, ten);
        row("restored: a negative maximum keeps everything", true, -1, ten, "", {}, ten);
        row("restored: maximum 0 keeps nothing", true, 0, ten, "b", {"x -1"}, {});
        row("restoring off starts empty", false, 10, ten, "b", {"x -1"}, {});
    }
    void history()
    {
        QFETCH(bool, restore);
        QFETCH(qint64, maximum);
        QFETCH(QStringList, stored);
        QFETCH(QString, steps);
        TempSettings s;
        s.defaults.saveShouldRestoreCommitHistory(restore);
        s.defaults.saveMaximumCommitHistoryLength(maximum);
        s.defaults.saveCommitHistory(stored);
        Console console;
        OLCommitHistory history(console, s.defaults);
        QStringList shown;
        for (const QString &step : steps.split(u' ', Qt::SkipEmptyParts)) {
            if (step.startsWith(u'+')) {
                history.addItem(step.sliced(1));
                continue;
            }
            if (step.startsWith(u'=')) {
                s.defaults.saveMaximumCommitHistoryLength(step.sliced(1).toLongLong());
                continue;
            }
            if (step == u"b")
                history.back();
            else if (step == u"f")
                history.forward();
            else if (step == u"e")
                console.unfixed += u'!';
            if (step == u"e" || step == u"r")
                history.reset();
            shown.append(QStringLiteral("%1 %2").arg(console.unfixed).arg(history.index()));
            QCOMPARE(history.inSession(), history.index() >= 0);
        }
        QTEST(shown, "shown");
        QTEST(history.createArray(), "kept");
    }
};

QTEST_GUILESS_MAIN(TestCommitHistory)
#include "tst_commithistory.moc"
