#include "session/OLInterpreterMode.h"
#include "settings/OLUserDefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestInterpreterMode : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every form a stored command line takes runs exactly the executable it
    // names; a line that names none, or names Ostrel itself, is refused.
    void parse_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("refused");
        const QString p = QStringLiteral("file://localhost");
        const auto row = [](const char *name, const QString &line, const QStringList &arguments, int mode,
                            bool refused = false) { QTest::newRow(name) << line << arguments << mode << refused; };
        row("mosml with two arguments", p + "/usr/local/bin/mosml -P full", {"/usr/local/bin/mosml", "-P", "full"}, OLMosML);
        row("smlnj", p + "/usr/local/smlnj/bin/sml", {"/usr/local/smlnj/bin/sml"}, OLSmlNJ);
        row("alice", p + "/opt/bin/alice", {"/opt/bin/alice"}, OLAliceML);
        row("other executable", p + "/usr/bin/ocaml", {"/usr/bin/ocaml"}, OLUnknownMode);
        row("two blanks keep an empty argument", p + "/usr/local/bin/mosml  -P", {"/usr/local/bin/mosml", "", "-P"},
            OLMosML);
        row("no-break space, tab and line feed separate", p + QString::fromUtf8("/usr/bin/poly\u00a0-q\t-i\n"),
            {"/usr/bin/poly", "-q", "-i", ""}, OLPolyML);
        row("suffix test is case-sensitive", p + "/usr/local/bin/SML", {"/usr/local/bin/SML"}, OLUnknownMode);
        row("three slashes", "file:///usr/bin/poly -q", {"/usr/bin/poly", "-q"}, OLPolyML);
        row("one slash, scheme and host in capitals", "FILE:/usr/bin/sml", {"/usr/bin/sml"}, OLSmlNJ);
        row("host in capitals", "file://LocalHost/usr/bin/sml", {"/usr/bin/sml"}, OLSmlNJ);
        row("space written %20", p + "/opt/my%20ml/bin/poly -q", {"/opt/my ml/bin/poly", "-q"}, OLPolyML);
        row("# and ? as they stand", p + "/opt/a#b?c/sml", {"/opt/a#b?c/sml"}, OLSmlNJ);
        row("# and ? encoded", "file:///opt/a%23b%3fc/sml", {"/opt/a#b?c/sml"}, OLSmlNJ);
        row("a % that is no escape", p + "/opt/100%/x%zz%4/sml", {"/opt/100%/x%zz%4/sml"}, OLSmlNJ);
        row("non-ASCII as it stands and encoded", p + QString::fromUtf8("/opt/j\u00fcrgen/%C3%BC/poly"),
            {QString::fromUtf8("/opt/j\u00fcrgen/\u00fc/poly")}, OLPolyML);
        row("another host", "file://example.org/usr/bin/poly", {}, OLUnknownMode, true);
        row("relative after the prefix", p + "poly", {}, OLUnknownMode, true);
        row("a bare path", "/usr/bin/poly", {}, OLUnknownMode, true);
        row("another prefix of the same length", "XXXXXXXXXXXXXXXX/bin/sml", {}, OLUnknownMode, true);
        row("the prefix alone", p, {}, OLUnknownMode, true);
        row("leading white space", " " + p + "/usr/bin/poly", {}, OLUnknownMode, true);
        row("an encoded zero", p + "/opt/a%00b/poly", {}, OLUnknownMode, true);
        row("encoded bytes that are no UTF-8", p + "/opt/a%FFb/poly", {}, OLUnknownMode, true);
        static const QTemporaryDir dir;
        const QString self = dir.filePath(QStringLiteral("ostrel"));
        QFile::link(QCoreApplication::applicationFilePath(), self);
        row("Ostrel itself, through a link", p + self + " -q", {self, "-q"}, OLUnknownMode, true);
    }

    void parse()
    {
        QFETCH(QString, commandLine);
        const OLCommandLine parsed = parsePreferredInterpreter(commandLine);
        QTEST(parsed.arguments, "arguments");
        QTEST(int(parsed.mode), "mode");
        QTEST(!parsed.error.isEmpty(), "refused");
    }

    // What the writer stores reads back as exactly the executable (made
    // absolute) and its arguments; so does the preferences' form of it.
    void writeAndRead_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("stored");
        QTest::newRow("plain") << "/usr/bin/poly" << "file://localhost/usr/bin/poly";
        QTest::newRow("relative, made absolute") << "bin/mosml" << commandLinePrefix + QDir::currentPath() + "/bin/mosml";
        QTest::newRow("space, #, ?, % and an escape") << "/opt/my ml/a#b?c%41%/sml"
                                                      << "file://localhost/opt/my%20ml/a%23b%3Fc%2541%25/sml";
        QTest::newRow("non-ASCII kept, a no-break space encoded")
            << QString::fromUtf8("/opt/j\u00fcrgen\u00a0ml/poly") << QString::fromUtf8("file://localhost/opt/j\u00fcrgen%C2%A0ml/poly");
        QTest::newRow("tab, line feed, quotes, brackets")
            << "/opt/a\tb\nc\"<[\\]>`{|}^/x" << "file://localhost/opt/a%09b%0Ac%22%3C%5B%5C%5D%3E%60%7B%7C%7D%5E/x";
    }

    void writeAndRead()
    {
        QFETCH(QString, path);
        const QStringList arguments{"-q", "@SMLload=x"};
        const QString stored = commandLineForExecutable(path, arguments);
        QTEST(stored.section(u' ', 0, 0), "stored");
        const QStringList expected = QStringList{QFileInfo(path).absoluteFilePath()} + arguments;
        QCOMPARE(parsePreferredInterpreter(stored).arguments, expected);
        QCOMPARE(parsePreferredInterpreter(commandLinePrefix + commandLineWithoutPrefix(stored)).arguments, expected);
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
