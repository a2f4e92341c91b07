#include "session/OLInterpreterMode.h"
#include "settings/OLUserDefaults.h"

#include <QTest>

class TestInterpreterMode : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("mode");
        const QString p = QStringLiteral("file://localhost");
        QTest::newRow("mosml with two arguments") << p + "/usr/local/bin/mosml -P full"
            << QStringList{"/usr/local/bin/mosml", "-P", "full"} << int(OLMosML);
        QTest::newRow("smlnj") << p + "/usr/local/smlnj/bin/sml" << QStringList{"/usr/local/smlnj/bin/sml"} << int(OLSmlNJ);
        QTest::newRow("poly") << p + "/opt/bin/poly" << QStringList{"/opt/bin/poly"} << int(OLPolyML);
        QTest::newRow("alice") << p + "/opt/bin/alice" << QStringList{"/opt/bin/alice"} << int(OLAliceML);
        QTest::newRow("other executable") << p + "/usr/bin/ocaml" << QStringList{"/usr/bin/ocaml"} << int(OLUnknownMode);
        QTest::newRow("two blanks keep an empty argument") << p + "/usr/local/bin/mosml  -P"
            << QStringList{"/usr/local/bin/mosml", "", "-P"} << int(OLMosML);
        QTest::newRow("no-break space, tab and line feed separate") << p + QString::fromUtf8("/usr/bin/poly\u00a0-q\t-i\n")
            << QStringList{"/usr/bin/poly", "-q", "-i", ""} << int(OLPolyML);
        QTest::newRow("suffix test is case-sensitive") << p + "/usr/local/bin/SML" << QStringList{"/usr/local/bin/SML"}
                                                       << int(OLUnknownMode);
        QTest::newRow("prefix is dropped unseen") << QStringLiteral("XXXXXXXXXXXXXXXX/bin/sml") << QStringList{"/bin/sml"}
                                                  << int(OLSmlNJ);
        QTest::newRow("shorter than the prefix") << QStringLiteral("file://") << QStringList{""} << int(OLUnknownMode);
    }

    void parse()
    {
        QFETCH(QString, commandLine);
        const OLCommandLine parsed = parsePreferredInterpreter(commandLine);
        QTEST(parsed.arguments, "arguments");
        QTEST(int(parsed.mode), "mode");
    }

    // Every mode has a key of its own, in capitals.
    void keys()
    {
        QCOMPARE(OLUserDefaults::keyForMode(OLSmlNJ), QStringLiteral("SMLNJ"));
        QCOMPARE(OLUserDefaults::modeForKey(QStringLiteral("mosml")), OLNoMode);
        QVERIFY(OLUserDefaults::keyForMode(OLInterpreterMode(7)).isNull());
        for (int m = OLMosML; m <= OLUnknownMode; ++m)
            QCOMPARE(int(OLUserDefaults::modeForKey(OLUserDefaults::keyForMode(OLInterpreterMode(m)))), m);
    }
};

QTEST_GUILESS_MAIN(TestInterpreterMode)
#include "tst_interpretermode.moc"
