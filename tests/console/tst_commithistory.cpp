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

    // A history made over the stored one (1 to 10 where "stored"), with the
    // maximum stored, then steps: "+a" adds a, "=n" stores the maximum n, "b"
    // back, "f" forward. After each of the last two: the input and the index
    // walked to; at the end, the list. (How an edit or output ends a walk is
    // checked through the console pane.)
    void history()
    {
        const struct { const char *name; bool restore; qint64 maximum; bool stored; const char *steps, *expected; } rows[] = {
            {"back to the oldest, forward past the newest, back again", false, 100, false, "+a +b +c b b b b f f f f b", "c 2,b 1,a 0,a 0,b 1,c 2,x -1,x -1,c 2 | a,b,c"},
            {"empty list: back and forward do nothing", false, 100, false, "b f", "x -1,x -1 | "},
            {"a full list drops the oldest", false, 3, false, "+a +b +c +d", " | b,c,d"},
            {"a lowered maximum lets the list grow", false, 10, false, "+a +b +c =2 +d", " | a,b,c,d"},
            {"maximum 0 never trims", false, 0, false, "+a +b", " | a,b"},
            {"negative maximum never trims", false, -1, false, "+a +b", " | a,b"},
            {"duplicates and empty inputs are kept", false, 10, false, "+1; +1; +", " | 1;,1;,"},
            {"restored: the newest of those stored", true, 4, true, "b +n", "10 3 | 8,9,10,n"},
            {"restored: exactly the maximum", true, 10, true, "", " | 1,2,3,4,5,6,7,8,9,10"},
            {"restored: a negative maximum keeps everything", true, -1, true, "", " | 1,2,3,4,5,6,7,8,9,10"},
            {"restored: maximum 0 keeps nothing", true, 0, true, "b", "x -1 | "},
            {"restoring off starts empty", false, 10, true, "b", "x -1 | "},
        };
        for (const auto &[name, restore, maximum, stored, steps, expected] : rows) {
            TempSettings s;
            s.defaults.saveShouldRestoreCommitHistory(restore);
            s.defaults.saveMaximumCommitHistoryLength(maximum);
            s.defaults.saveCommitHistory(stored ? QStringLiteral("1 2 3 4 5 6 7 8 9 10").split(u' ') : QStringList());
            Console console;
            OLCommitHistory history(console, s.defaults);
            QStringList shown;
            for (const QString &step : QString::fromLatin1(steps).split(u' ', Qt::SkipEmptyParts)) {
                if (step[0] == u'+' || step[0] == u'=') {
                    step[0] == u'+' ? history.addItem(step.sliced(1)) : s.defaults.saveMaximumCommitHistoryLength(step.sliced(1).toLongLong());
                    continue;
                }
                step == u"b" ? history.back() : history.forward();
                shown.append(QStringLiteral("%1 %2").arg(console.unfixed).arg(history.index()));
                QVERIFY(history.inSession() == (history.index() >= 0));
            }
            const QString seen = shown.join(u',') + QStringLiteral(" | ") + history.createArray().join(u',');
            QVERIFY2(seen == QLatin1String(expected), qPrintable(QStringLiteral("%1: %2").arg(name, seen)));
        }
    }
};

QTEST_GUILESS_MAIN(TestCommitHistory)
#include "tst_commithistory.moc"
