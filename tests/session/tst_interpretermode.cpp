#include "session/OLInterpreterMode.h"

#include <QDir>
#include <QTemporaryDir>
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
        QTest::newRow("alice") << p + "/opt/bin/alice" << QStringList{"/opt/bin/alice"} << int(OLAliceML);
        QTest::newRow("other executable") << p + "/usr/bin/ocaml" << QStringList{"/usr/bin/ocaml"} << int(OLUnknownMode);
        QTest::newRow("two blanks keep an empty argument") << p + "/usr/local/bin/mosml  -P"
            << QStringList{"/usr/local/bin/mosml", "", "-P"} << int(OLMosML);
        QTest::newRow("no-break space, tab and line feed separate") << p + QString::fromUtf8("/usr/bin/poly\u00a0-q\t-i\n")
            << QStringList{"/usr/bin/poly", "-q", "-i", ""} << int(OLPolyML);
        QTest::newRow("suffix test is case-sensitive") << p + "/usr/local/bin/SML" << QStringList{"/usr/local/bin/SML"}
                                                       << int(OLUnknownMode);
        QTest::newRow("three slashes") << "file:///usr/bin/poly -q" << QStringList{"/usr/bin/poly", "-q"} << int(OLPolyML);
        QTest::newRow("one slash, capitals") << "FILE:/usr/bin/sml" << QStringList{"/usr/bin/sml"} << int(OLSmlNJ);
        QTest::newRow("space as %20") << p + "/my%20ml/poly -q" << QStringList{"/my ml/poly", "-q"} << int(OLPolyML);
        QTest::newRow("# and ? are the path") << p + "/a#b?c%23%3f/sml" << QStringList{"/a#b?c#?/sml"} << int(OLSmlNJ);
        QTest::newRow("a % that is no escape") << p + "/100%/x%zz%4" << QStringList{"/100%/x%zz%4"} << int(OLUnknownMode);
        QTest::newRow("non-ASCII") << p + "/j\u00fcrgen/%C3%BC" << QStringList{"/j\u00fcrgen/\u00fc"} << int(OLUnknownMode);
        // Refused: no arguments.
        for (const QString &line : QStringList{"file://example.org/usr/bin/poly", p + "poly", "/usr/bin/poly", p,
                                               " " + p + "/x", "XXXXXXXXXXXXXXXX/bin/sml", p + "/a%00b", p + "/a%FFb"})
            QTest::addRow("refused: %s", qPrintable(line)) << line << QStringList() << int(OLUnknownMode);
        static const QTemporaryDir dir;
        QFile::link(QCoreApplication::applicationFilePath(), dir.filePath("ostrel"));
        QTest::newRow("Ostrel itself") << p + dir.filePath("ostrel") << QStringList() << int(OLUnknownMode);
    }

    void parse()
    {
        QFETCH(QString, commandLine);
        const OLCommandLine parsed = parsePreferredInterpreter(commandLine);
        QTEST(parsed.arguments, "arguments");
        QTEST(int(parsed.mode), "mode");
        QCOMPARE(parsed.error.isEmpty(), !parsed.arguments.isEmpty());
    }

    // What is written reads back as exactly that executable, made absolute,
    // and its arguments; so does the preferences' form of it.
    void writeAndRead_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("stored");
        QTest::newRow("relative") << "bin/mosml" << commandLinePrefix + QDir::currentPath() + "/bin/mosml";
        QTest::newRow("space, #, ?, %") << "/my ml/a#b?c%41%" << "file://localhost/my%20ml/a%23b%3Fc%2541%25";
        QTest::newRow("non-ASCII, no-break space") << "/j\u00fcrgen\u00a0ml" << "file://localhost/j\u00fcrgen%C2%A0ml";
        QTest::newRow("controls, quotes, brackets")
            << "/a\tb\n\"<[\\]>`{|}^" << "file://localhost/a%09b%0A%22%3C%5B%5C%5D%3E%60%7B%7C%7D%5E";
    }

    void writeAndRead()
    {
        QFETCH(QString, path);
        const QString stored = commandLineForExecutable(path, {"-q", "@SMLload=x"});
        QTEST(stored.section(u' ', 0, 0), "stored");
        const QStringList expected{QFileInfo(path).absoluteFilePath(), "-q", "@SMLload=x"};
        QCOMPARE(parsePreferredInterpreter(stored).arguments, expected);
        QCOMPARE(parsePreferredInterpreter(commandLinePrefix + commandLineWithoutPrefix(stored)).arguments, expected);
    }
};

QTEST_GUILESS_MAIN(TestInterpreterMode)
#include "tst_interpretermode.moc"
