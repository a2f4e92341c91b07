#include "console/OLCommitHistory.h"
#include "settings/OLUserDefaults.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <utility>

namespace {
// Stands in for the console pane: only its unfixed input matters here.
class Console : public OLUnfixedInput
{
public:
    QString replaceUnfixedWithString(const QString &text) override { return std::exchange(unfixed, text); }
    QString unfixed;
};
} // namespace

class TestCommitHistory : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<OLUserDefaults> m_defaults;

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_settings = std::make_unique<QSettings>(m_dir->filePath("ostrel.ini"), QSettings::IniFormat);
        m_defaults = std::make_unique<OLUserDefaults>(*m_settings);
    }

    void cleanup()
    {
        m_defaults.reset();
        m_settings.reset();
        m_dir.reset();
    }

    // Steps: b back, f forward, r reset (a fix after output), e an edit of the
    // input (the pane appends the character, then resets the history).
    void walk_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QList<qint64>>("indexes");

        const QStringList abc{"a", "b", "c"};
        QTest::newRow("back to the oldest, forward past the newest, back again")
            << abc << "bbbbffffb" << QStringList{"c", "b", "a", "a", "b", "c", "x", "x", "c"}
            << QList<qint64>{2, 1, 0, 0, 1, 2, -1, -1, 2};
        QTest::newRow("forward outside a walk does nothing")
            << abc << "ff" << QStringList{"x", "x"} << QList<qint64>{-1, -1};
        QTest::newRow("empty list: back and forward do nothing")
            << QStringList{} << "bf" << QStringList{"x", "x"} << QList<qint64>{-1, -1};
        QTest::newRow("single item")
            << QStringList{"a"} << "bbf" << QStringList{"a", "a", "x"} << QList<qint64>{0, 0, -1};
        QTest::newRow("edit of a recalled item ends the walk and is saved by the next")
            << abc << "bbebf" << QStringList{"c", "b", "b!", "c", "b!"} << QList<qint64>{2, 1, -1, 2, -1};
        QTest::newRow("output during a walk ends it, keeping the recalled item")
            << abc << "bbrfbf" << QStringList{"c", "b", "b", "b", "c", "b"} << QList<qint64>{2, 1, -1, -1, 2, -1};
    }

    void walk()
    {
        QFETCH(QStringList, items);
        QFETCH(QString, steps);
        QFETCH(QStringList, shown);
        QFETCH(QList<qint64>, indexes);

        m_defaults->saveMaximumCommitHistoryLength(100);
        Console console;
        console.unfixed = QStringLiteral("x");
        OLCommitHistory history(console, *m_defaults);
        for (const QString &item : items)
            history.addItem(item);

        for (qsizetype i = 0; i < steps.size(); ++i) {
            switch (steps.at(i).toLatin1()) {
            case 'b': history.back(); break;
            case 'f': history.forward(); break;
            case 'r': history.reset(); break;
            case 'e':
                console.unfixed += u'!';
                history.reset();
                break;
            }
            const QByteArray step = QByteArray::number(i) + ' ' + steps.at(i).toLatin1();
            QVERIFY2(console.unfixed == shown.at(i), step + " shows " + console.unfixed.toUtf8());
            QVERIFY2(history.index() == indexes.at(i), step + " index " + QByteArray::number(history.index()));
            QCOMPARE(history.inSession(), indexes.at(i) >= 0);
        }
        QCOMPARE(history.createArray(), items);
    }

    // The maximum is read again at every add; only exact equality drops.
    void addItem_data()
    {
        QTest::addColumn<qint64>("firstMaximum");
        QTest::addColumn<QStringList>("firstItems");
        QTest::addColumn<qint64>("secondMaximum");
        QTest::addColumn<QStringList>("secondItems");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("full list drops the oldest")
            << qint64(3) << QStringList{"a", "b", "c"} << qint64(3) << QStringList{"d"}
            << QStringList{"b", "c", "d"};
        QTest::newRow("every add to a full list drops one")
            << qint64(2) << QStringList{"a", "b", "c"} << qint64(2) << QStringList{"d"} << QStringList{"c", "d"};
        QTest::newRow("lowered maximum lets the list grow")
            << qint64(10) << QStringList{"a", "b", "c", "d"} << qint64(3) << QStringList{"e"}
            << QStringList{"a", "b", "c", "d", "e"};
        QTest::newRow("maximum set to the length drops again")
            << qint64(10) << QStringList{"a", "b", "c", "d"} << qint64(4) << QStringList{"e"}
            << QStringList{"b", "c", "d", "e"};
        QTest::newRow("maximum 0 never trims")
            << qint64(0) << QStringList{"a"} << qint64(0) << QStringList{"b", "c"} << QStringList{"a", "b", "c"};
        QTest::newRow("maximum 1 keeps the newest")
            << qint64(1) << QStringList{"a", "b"} << qint64(1) << QStringList{"c"} << QStringList{"c"};
        QTest::newRow("negative maximum never trims")
            << qint64(-1) << QStringList{"a", "b"} << qint64(-1) << QStringList{"c"} << QStringList{"a", "b", "c"};
        QTest::newRow("duplicates and empty inputs are kept")
            << qint64(10) << QStringList{"1 + 2;", "1 + 2;"} << qint64(10) << QStringList{""}
            << QStringList{"1 + 2;", "1 + 2;", ""};
    }

    void addItem()
    {
        QFETCH(qint64, firstMaximum);
        QFETCH(QStringList, firstItems);
        QFETCH(qint64, secondMaximum);
        QFETCH(QStringList, secondItems);
        QFETCH(QStringList, expected);

        Console console;
        OLCommitHistory history(console, *m_defaults);
        m_defaults->saveMaximumCommitHistoryLength(firstMaximum);
        for (const QString &item : firstItems)
            history.addItem(item);
        m_defaults->saveMaximumCommitHistoryLength(secondMaximum);
        for (const QString &item : secondItems)
            history.addItem(item);
        QCOMPARE(history.createArray(), expected);
    }

    void restore_data()
    {
        QTest::addColumn<bool>("restore");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<qint64>("maximum");
        QTest::addColumn<QStringList>("expected");

        QStringList ten;
        for (int i = 1; i <= 10; ++i)
            ten.append(QStringLiteral("val v%1 = %1;").arg(i));

        QTest::newRow("ten items, maximum four keeps the newest four") << true << ten << qint64(4) << ten.sliced(6);
        QTest::newRow("restore off starts empty") << false << ten << qint64(4) << QStringList{};
        QTest::newRow("exactly the maximum is kept whole") << true << ten << qint64(10) << ten;
        QTest::newRow("fewer than the maximum") << true << ten.first(2) << qint64(100) << ten.first(2);
        QTest::newRow("negative maximum keeps everything") << true << ten << qint64(-1) << ten;
        QTest::newRow("maximum 0 restores nothing") << true << ten << qint64(0) << QStringList{};
        QTest::newRow("nothing stored") << true << QStringList{} << qint64(5) << QStringList{};
    }

    void restore()
    {
        QFETCH(bool, restore);
        QFETCH(QStringList, stored);
        QFETCH(qint64, maximum);
        QFETCH(QStringList, expected);

        m_defaults->saveShouldRestoreCommitHistory(restore);
        m_defaults->saveMaximumCommitHistoryLength(maximum);
        if (!stored.isEmpty())
            m_defaults->saveCommitHistory(stored);

        Console console;
        const OLCommitHistory history(console, *m_defaults);
        QCOMPARE(history.createArray(), expected);
        QCOMPARE(history.index(), qint64(-1));
        QVERIFY(!history.inSession());
    }

    // What a closing window stores is what the next window's history starts with.
    void createArrayRoundTrip()
    {
        m_defaults->saveShouldRestoreCommitHistory(true);
        m_defaults->saveMaximumCommitHistoryLength(3);
        Console console;
        OLCommitHistory first(console, *m_defaults);
        for (const char *item : {"val a = 1;", "fun f x = x;", "f a;", "a + 1;"})
            first.addItem(QString::fromUtf8(item));
        m_defaults->saveCommitHistory(first.createArray());

        OLCommitHistory second(console, *m_defaults);
        QCOMPARE(second.createArray(), (QStringList{"fun f x = x;", "f a;", "a + 1;"}));
        QCOMPARE(second.description(), QStringLiteral("OLCOmmitHistory"));
        second.back();
        QCOMPARE(console.unfixed, QStringLiteral("a + 1;"));
    }
};

QTEST_GUILESS_MAIN(TestCommitHistory)
#include "tst_commithistory.moc"
