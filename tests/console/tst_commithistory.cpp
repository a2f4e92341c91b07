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

    // Steps: b back, f forward, r reset (a fix after output), e an edit of the
    // input (the pane appends the character, then resets the history).
    void walk_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("shown"); // after each step, with the index walked to
        const QStringList abc{"a", "b", "c"};
        QTest::newRow("back to the oldest, forward past the newest, back again")
            << abc << "bbbbffffb" << QStringList{"c 2", "b 1", "a 0", "a 0", "b 1", "c 2", "x -1", "x -1", "c 2"};
        QTest::newRow("forward outside a walk does nothing") << abc << "ff" << QStringList{"x -1", "x -1"};
        QTest::newRow("empty list: back and forward do nothing") << QStringList{} << "bf" << QStringList{"x -1", "x -1"};
        QTest::newRow("single item") << QStringList{"a"} << "bbf" << QStringList{"a 0", "a 0", "x -1"};
        QTest::newRow("edit of a recalled item ends the walk and is saved by the next")
            << abc << "bbebf" << QStringList{"c 2", "b 1", "b! -1", "c 2", "b! -1"};
        QTest::newRow("output during a walk ends it, keeping the recalled item")
            << abc << "bbrfbf" << QStringList{"c 2", "b 1", "b -1", "b -1", "c 2", "b -1"};
    }
    void walk()
    {
        QFETCH(QStringList, items);
        QFETCH(QString, steps);
        QFETCH(QStringList, shown);
        TempSettings s;
        s.defaults.saveMaximumCommitHistoryLength(100);
        Console console;
        OLCommitHistory history(console, s.defaults);
        for (const QString &item : items)
            history.addItem(item);
        QStringList seen;
        for (const QChar step : steps) {
            switch (step.toLatin1()) {
            case 'b': history.back(); break;
            case 'f': history.forward(); break;
            case 'e': console.unfixed += u'!'; [[fallthrough]];
            case 'r': history.reset(); break;
            }
            seen.append(QStringLiteral("%1 %2").arg(console.unfixed).arg(history.index()));
            QCOMPARE(history.inSession(), history.index() >= 0);
        }
        QCOMPARE(seen, shown);
        QCOMPARE(history.createArray(), items);
    }

    // The maximum is read again at every add; only exact equality drops.
    void addItem_data()
    {
        QTest::addColumn<qint64>("firstMaximum");
        QTest::addColumn<QStringList>("firstItems");
        QTest::addColumn<qint64>("secondMaximum");
        QTest::addColumn<QStringList>("expected"); // after adding "d"
        const QStringList abc{"a", "b", "c"};
        QTest::newRow("full list drops the oldest") << qint64(3) << abc << qint64(3) << QStringList{"b", "c", "d"};
        QTest::newRow("every add to a full list drops one") << qint64(2) << abc << qint64(2) << QStringList{"c", "d"};
        QTest::newRow("lowered maximum lets the list grow") << qint64(10) << abc << qint64(2) << QStringList{"a", "b", "c", "d"};
        QTest::newRow("maximum 0 never trims") << qint64(0) << abc << qint64(0) << QStringList{"a", "b", "c", "d"};
        QTest::newRow("maximum 1 keeps the newest") << qint64(1) << abc << qint64(1) << QStringList{"d"};
        QTest::newRow("negative maximum never trims") << qint64(-1) << abc << qint64(-1) << QStringList{"a", "b", "c", "d"};
        QTest::newRow("duplicates and empty inputs are kept") << qint64(10) << QStringList{"1;", "1;", ""} << qint64(10)
                                                              << QStringList{"1;", "1;", "", "d"};
    }
    void addItem()
    {
        QFETCH(qint64, firstMaximum);
        QFETCH(QStringList, firstItems);
        QFETCH(qint64, secondMaximum);
        QFETCH(QStringList, expected);
        TempSettings s;
        Console console;
        OLCommitHistory history(console, s.defaults);
        s.defaults.saveMaximumCommitHistoryLength(firstMaximum);
        for (const QString &item : firstItems)
            history.addItem(item);
        s.defaults.saveMaximumCommitHistoryLength(secondMaximum);
        history.addItem(QStringLiteral("d"));
        QCOMPARE(history.createArray(), expected);
    }

    void restore_data()
    {
        QTest::addColumn<bool>("restore");
        QTest::addColumn<int>("stored");
        QTest::addColumn<qint64>("maximum");
        QTest::addColumn<int>("kept"); // the newest of those stored
        QTest::newRow("ten items, maximum four keeps the newest four") << true << 10 << qint64(4) << 4;
        QTest::newRow("restore off starts empty") << false << 10 << qint64(4) << 0;
        QTest::newRow("exactly the maximum is kept whole") << true << 10 << qint64(10) << 10;
        QTest::newRow("negative maximum keeps everything") << true << 10 << qint64(-1) << 10;
        QTest::newRow("maximum 0 restores nothing") << true << 10 << qint64(0) << 0;
        QTest::newRow("nothing stored") << true << 0 << qint64(5) << 0;
    }
    void restore()
    {
        QFETCH(bool, restore);
        QFETCH(int, stored);
        QFETCH(qint64, maximum);
        QFETCH(int, kept);
        TempSettings s;
        QStringList items;
        for (int i = 1; i <= stored; ++i)
            items.append(QStringLiteral("val v%1 = %1;").arg(i));
        s.defaults.saveShouldRestoreCommitHistory(restore);
        s.defaults.saveMaximumCommitHistoryLength(maximum);
        if (stored)
            s.defaults.saveCommitHistory(items);
        Console console;
        OLCommitHistory history(console, s.defaults);
        QCOMPARE(history.createArray(), items.sliced(stored - kept));
        QVERIFY(!history.inSession());
        // What a closing window stores is what the next window's history starts with.
        history.addItem(QStringLiteral("new;"));
        s.defaults.saveCommitHistory(history.createArray());
        OLCommitHistory next(console, s.defaults);
        QCOMPARE(next.createArray(), restore && maximum ? history.createArray() : QStringList());
        next.back();
        QCOMPARE(console.unfixed, restore && maximum ? QStringLiteral("new;") : QStringLiteral("x"));
    }
};

QTEST_GUILESS_MAIN(TestCommitHistory)
#include "tst_commithistory.moc"
