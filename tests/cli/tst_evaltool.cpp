// ostrel-eval end to end: the built program is run as a user would run it,
// against the real Poly ML and SML of New Jersey. Every run gets a settings
// folder of its own (XDG_CONFIG_HOME), so the user's settings are never read.

#include "settings/OLUserDefaults.h"

#include "OLTestProcesses.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace {

const QString tool = QStringLiteral(OSTREL_EVAL);
const QString poly = QStringLiteral("/usr/bin/poly");
const QString smlnj = QStringLiteral("/usr/bin/sml");

QString data(const QString &name)
{
    return QStringLiteral(OSTREL_TEST_DATA "/") + name;
}

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// One declaration as the JSON Lines report it.
struct Expected {
    int line;
    int location;
    int length;
    QString status;
    QString answerMark; // a piece of the interpreter's answer
};

} // namespace

Q_DECLARE_METATYPE(QList<Expected>)

class TestEvalTool : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_config; // the settings folder of every run

    QProcessEnvironment environment(const QString &configFolder) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configFolder);
        return env;
    }

    Run run(const QStringList &arguments, const QString &configFolder = QString(),
            const QProcessEnvironment &extra = QProcessEnvironment())
    {
        QProcess process;
        QProcessEnvironment env = environment(configFolder.isEmpty() ? m_config.path() : configFolder);
        for (const QString &name : extra.keys())
            env.insert(name, extra.value(name));
        process.setProcessEnvironment(env);
        process.start(tool, arguments);
        Run result;
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
            qWarning() << "ostrel-eval did not end:" << arguments;
            return result;
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    // Every line of the output as a JSON object; fails on anything else.
    static QList<QJsonObject> jsonLines(const QByteArray &out)
    {
        QList<QJsonObject> objects;
        if (!out.isEmpty() && !out.endsWith('\n'))
            qWarning() << "the last JSON line has no line end";
        for (const QByteArray &line : out.split('\n')) {
            if (line.isEmpty())
                continue;
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(line, &error);
            if (error.error != QJsonParseError::NoError || !document.isObject()) {
                qWarning() << "not a JSON object:" << line;
                return {};
            }
            objects.append(document.object());
        }
        return objects;
    }

    static QStringList sortedKeys(const QJsonObject &object)
    {
        QStringList keys = object.keys();
        keys.sort();
        return keys;
    }

    // The one line of standard error, without its line end.
    static QString oneLine(const QByteArray &err)
    {
        if (!err.endsWith('\n') || err.count('\n') != 1)
            return QStringLiteral("not one line: ") + QString::fromUtf8(err);
        return QString::fromUtf8(err.chopped(1));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        QVERIFY2(QFileInfo(tool).isExecutable(), qPrintable(tool));
        QVERIFY(QFileInfo(poly).isExecutable());
        QVERIFY(QFileInfo(smlnj).isExecutable());
    }

    // Declaration by declaration up to the first failure, with the session's
    // verdicts; positions in UTF-16 code units of the editor's text.
    void evaluate_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QList<Expected>>("expected");

        // mixed.sml begins with a comment holding "ü", "—" and "𝔸": 71 code
        // points, 72 UTF-16 code units, 77 bytes before its second line.
        const auto mixed = [](const QString &warning, const QString &rejection) {
            return QList<Expected>{
                {1, 0, 82, "accepted", "val x = 1"},
                {3, 82, 12, "accepted", warning},
                {4, 94, 30, "accepted", "datatype colour"},
                {5, 124, 24, "accepted", "\"plain\""},
                {6, 148, 12, "failed", rejection},
            };
        };
        QTest::newRow("poly: warning accepted, rejected declaration stops")
            << poly << "mixed.sml" << 1 << mixed("Matches are not exhaustive", "poly: : error:");
        QTest::newRow("sml: warning accepted, rejected declaration stops")
            << smlnj << "mixed.sml" << 1 << mixed("Warning: match nonexhaustive", "Error:");

        const auto exception = [](const QString &raised) {
            return QList<Expected>{
                {1, 0, 11, "accepted", "val a = 10"},
                {2, 11, 41, "accepted", "structure S"},
                {5, 52, 18, "failed", raised},
            };
        };
        QTest::newRow("poly: uncaught exception stops")
            << poly << "exception.sml" << 1 << exception("Exception- Div raised");
        QTest::newRow("sml: uncaught exception stops")
            << smlnj << "exception.sml" << 1 << exception("uncaught exception Div");

        const QList<Expected> accepted{
            {1, 0, 66, "accepted", "\"hello\""},
            {4, 66, 24, "accepted", "val twice = fn"},
            {5, 90, 49, "accepted", "datatype shape"},
            {6, 139, 35, "accepted", "val four = 4"},
        };
        QTest::newRow("poly: all accepted") << poly << "accepted.sml" << 0 << accepted;
        QTest::newRow("sml: all accepted") << smlnj << "accepted.sml" << 0 << accepted;

        // A byte-order mark and CRLF line ends, which the editor does not
        // show: positions count the text as the editor holds it.
        const QList<Expected> editorForm{
            {1, 0, 14, "accepted", "val first = 1"},
            {2, 14, 16, "accepted", "val second = 2"},
            {4, 30, 14, "accepted", "val third = 3"},
        };
        QTest::newRow("poly: byte-order mark and CRLF") << poly << "bom-crlf.sml" << 0 << editorForm;
        QTest::newRow("sml: byte-order mark and CRLF") << smlnj << "bom-crlf.sml" << 0 << editorForm;
    }

    void evaluate()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, file);
        QFETCH(int, exitCode);
        QFETCH(QList<Expected>, expected);

        const Run result = run({QStringLiteral("--json"), QStringLiteral("--interpreter"), interpreter, data(file)});
        QCOMPARE(result.exitCode, exitCode);
        QCOMPARE(result.err, QByteArray());
        const QList<QJsonObject> records = jsonLines(result.out);
        QCOMPARE(records.size(), expected.size());
        const QStringList keys{"answer", "length", "line", "location", "status"};
        for (qsizetype i = 0; i < records.size(); ++i) {
            const QJsonObject &record = records.at(i);
            const Expected &want = expected.at(i);
            QCOMPARE(sortedKeys(record), keys);
            QCOMPARE(record.value("line").toInt(), want.line);
            QCOMPARE(record.value("location").toInt(), want.location);
            QCOMPARE(record.value("length").toInt(), want.length);
            QCOMPARE(record.value("status").toString(), want.status);
            const QString answer = record.value("answer").toString();
            QVERIFY2(answer.contains(want.answerMark), qPrintable(answer));
            // Each answer is its own: no banner, no prompt, no other answer.
            QVERIFY2(!answer.contains("Poly/ML") && !answer.contains("Standard ML of New Jersey"), qPrintable(answer));
            QVERIFY2(!answer.endsWith("> ") && !answer.endsWith("- "), qPrintable(answer));
            if (i > 0)
                QVERIFY2(!answer.contains(expected.at(i - 1).answerMark), qPrintable(answer));
        }
    }

    // For people: the line range, the verdict and the answer indented below,
    // with no colour when standard output is not a terminal.
    void peopleOutput()
    {
        const QString file = data("exception.sml");
        const Run result = run({QStringLiteral("--interpreter"), poly, file});
        QCOMPARE(result.exitCode, 1);
        const QStringList lines = QString::fromUtf8(result.out).split(u'\n');
        QCOMPARE(lines.value(0), file + ":1: accepted");
        QCOMPARE(lines.value(1), "    val a = 10: int");
        QCOMPARE(lines.value(2), file + ":2-4: accepted");
        QCOMPARE(lines.value(3), "    structure S: sig val b: int end");
        QCOMPARE(lines.value(4), file + ":5: failed");
        QCOMPARE(lines.value(5), "    Exception- Div raised");
        QCOMPARE(lines.value(6), QString());
        QCOMPARE(lines.size(), 7);
        QVERIFY(!result.out.contains('\x1b'));
    }

    // On a terminal the verdicts are coloured, and so are errors.
    void colourOnTerminal()
    {
        int master = -1;
        int slave = -1;
        QCOMPARE(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        QProcess process;
        process.setProcessEnvironment(environment(m_config.path()));
        process.setChildProcessModifier([slave] { ::dup2(slave, STDOUT_FILENO); });
        process.start(tool, {QStringLiteral("--interpreter"), smlnj, data("exception.sml")});
        QVERIFY(process.waitForFinished(120000));
        ::close(slave);
        QCOMPARE(process.exitCode(), 1);
        QByteArray shown;
        char buffer[4096];
        pollfd readable{master, POLLIN, 0};
        while (::poll(&readable, 1, 1000) > 0) {
            const ssize_t got = ::read(master, buffer, sizeof buffer);
            if (got <= 0)
                break;
            shown.append(buffer, got);
        }
        ::close(master);
        QVERIFY2(shown.contains(":1: \x1b[32maccepted\x1b[0m"), shown.constData());
        QVERIFY2(shown.contains(":5: \x1b[1;31mfailed\x1b[0m"), shown.constData());
        // The failed answer is an error: red from its start to its end.
        const qsizetype red = shown.indexOf("\x1b[31m");
        QVERIFY2(red >= 0, shown.constData());
        const qsizetype plain = shown.indexOf("\x1b[0m", red);
        QVERIFY2(shown.mid(red, plain - red).contains("uncaught exception Div"), shown.constData());
    }

    // --split prints what the scanner cuts and starts nothing: it works even
    // when the preferred interpreter of the settings is gone.
    void split_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QList<int>>("lines");
        QTest::addColumn<QList<int>>("locations");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("not ASCII") << "mixed.sml" << QList<int>{1, 3, 4, 5, 6, 7}
                                   << QList<int>{0, 82, 94, 124, 148, 160}
                                   << QStringList{
                                          "(* Prüfung: 𝔸 — text that is not ASCII before the first declaration *)\n"
                                          "val x = 1\n",
                                          "fun f 0 = 1\n", "datatype colour = Red | Green\n",
                                          "val s = \"plain\" (* ü *)\n", "val y = x +\n", "val never = 2\n"};
        QTest::newRow("byte-order mark and CRLF")
            << "bom-crlf.sml" << QList<int>{1, 2, 4} << QList<int>{0, 14, 30}
            << QStringList{"val first = 1\n", "val second = 2\n\n", "val third = 3\n"};
        QTest::newRow("nested structure") << "exception.sml" << QList<int>{1, 2, 5, 6}
                                          << QList<int>{0, 11, 52, 70}
                                          << QStringList{"val a = 10\n",
                                                         "structure S = struct\n  val b = a * 2\nend\n",
                                                         "val c = S.b div 0\n", "val d = 3\n"};
        QTest::newRow("no declaration") << "nodeclaration.sml" << QList<int>() << QList<int>() << QStringList();
    }

    void split()
    {
        QFETCH(QString, file);
        QFETCH(QList<int>, lines);
        QFETCH(QList<int>, locations);
        QFETCH(QStringList, texts);

        QTemporaryDir config;
        QSettings settings(config.filePath("Ostrel/Ostrel.conf"), QSettings::NativeFormat);
        OLUserDefaults(settings).savePreferredInterpreter("file://localhost/nonexistent/poly");
        settings.sync();

        const Run result = run({QStringLiteral("--split"), QStringLiteral("--json"), data(file)}, config.path());
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.err, QByteArray());
        const QList<QJsonObject> records = jsonLines(result.out);
        QCOMPARE(records.size(), texts.size());
        for (qsizetype i = 0; i < records.size(); ++i) {
            const QJsonObject &record = records.at(i);
            QCOMPARE(sortedKeys(record), (QStringList{"length", "line", "location", "text"}));
            QCOMPARE(record.value("line").toInt(), lines.at(i));
            QCOMPARE(record.value("location").toInt(), locations.at(i));
            QCOMPARE(record.value("text").toString(), texts.at(i));
            QCOMPARE(record.value("length").toInt(), texts.at(i).size());
        }

    }

    // The same cut for people: a header with the line range and the place,
    // then the text indented.
    void splitForPeople()
    {
        const QString file = data("bom-crlf.sml");
        const Run result = run({QStringLiteral("--split"), file});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(QString::fromUtf8(result.out),
                 file + ":1: location 0, length 14\n"
                        "    val first = 1\n"
                 + file + ":2: location 14, length 16\n"
                          "    val second = 2\n"
                          "    \n"
                 + file + ":4: location 30, length 14\n"
                          "    val third = 3\n");
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("cause");
        const QString file = data("accepted.sml");
        QTest::newRow("no file") << QStringList{"--json"} << "no file given";
        QTest::newRow("two files") << QStringList{file, file} << "one file only";
        QTest::newRow("unknown option") << QStringList{"--verbose", file} << "verbose";
        QTest::newRow("interpreter without value") << QStringList{file, "--interpreter"} << "interpreter";
        QTest::newRow("empty interpreter") << QStringList{"--interpreter", " ", file} << "--interpreter";
        QTest::newRow("timeout zero") << QStringList{"--timeout", "0", file} << "--timeout";
        QTest::newRow("timeout not a number") << QStringList{"--timeout", "soon", file} << "soon";
        QTest::newRow("timeout negative") << QStringList{"--timeout=-2", file} << "--timeout";
        QTest::newRow("split with interpreter") << QStringList{"--split", "--interpreter", poly, file} << "--split";
        QTest::newRow("split with timeout") << QStringList{"--split", "--timeout", "1", file} << "--split";
        QTest::newRow("json twice") << QStringList{"--json", "--json", file} << "--json given twice";
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, cause);
        const Run result = run(arguments);
        QCOMPARE(result.exitCode, 2);
        QCOMPARE(result.out, QByteArray());
        const QString message = oneLine(result.err);
        QVERIFY2(message.startsWith("ostrel-eval: ") && message.contains(cause), qPrintable(message));
    }

    void help()
    {
        const Run result = run({QStringLiteral("--help")});
        QCOMPARE(result.exitCode, 0);
        QVERIFY(result.out.contains("ostrel-eval [--interpreter COMMANDLINE] [--json] [--timeout SECONDS] FILE"));
        QVERIFY(result.out.contains("ostrel-eval --split [--json] FILE"));
    }

    void unreadableFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("cause");
        QTest::newRow("missing") << data("nothing-here.sml") << "No such file";
        QTest::newRow("folder") << data(QString()) << "nothing-here";
        QTest::newRow("not UTF-8") << data("invalid-utf8.sml") << "UTF-8";
    }

    void unreadableFile()
    {
        QFETCH(QString, file);
        QFETCH(QString, cause);
        for (const QStringList &options : {QStringList{"--interpreter", poly}, QStringList{"--split"}}) {
            const Run result = run(options + QStringList{file});
            QCOMPARE(result.exitCode, 2);
            QCOMPARE(result.out, QByteArray());
            const QString message = oneLine(result.err);
            QVERIFY2(message.startsWith("ostrel-eval: cannot read " + file), qPrintable(message));
            if (cause != "nothing-here")
                QVERIFY2(message.contains(cause), qPrintable(message));
        }
    }

    // Exit status 2 and the interpreter named, before anything is evaluated.
    void missingInterpreter_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("stored"); // in the settings instead
        QTest::addColumn<QString>("cause");
        QTest::newRow("no such path") << "/nonexistent/bin/poly -q" << QString()
                                      << "cannot start the interpreter /nonexistent/bin/poly: no such file";
        QTest::newRow("no such name") << "ostrel-no-such-interpreter" << QString()
                                      << "interpreter not found: ostrel-no-such-interpreter";
        QTest::newRow("not executable") << data("accepted.sml") << QString()
                                        << "cannot start the interpreter " + data("accepted.sml")
                                               + ": not an executable file";
        QTest::newRow("gone from the settings")
            << QString() << "file://localhost/nonexistent/sml"
            << "cannot start the interpreter /nonexistent/sml: no such file";
    }

    void missingInterpreter()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, stored);
        QFETCH(QString, cause);
        QTemporaryDir config;
        if (!stored.isEmpty()) {
            QSettings settings(config.filePath("Ostrel/Ostrel.conf"), QSettings::NativeFormat);
            OLUserDefaults(settings).savePreferredInterpreter(stored);
        }
        QStringList arguments{data("accepted.sml")};
        if (!interpreter.isEmpty())
            arguments = QStringList{"--interpreter", interpreter} + arguments;
        const Run result = run(arguments, config.path());
        QCOMPARE(result.exitCode, 2);
        QCOMPARE(result.out, QByteArray());
        QCOMPARE(oneLine(result.err), "ostrel-eval: " + cause);
    }

    // An interpreter that ends before its first answer, or cannot be run at
    // all, could not be started: exit status 2 and its own reason. These
    // interpreters are stand-in scripts in data/.
    void startFailure_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown kind, ends at start")
            << data("quits-at-start") << "the interpreter ended at start: quits: no heap image found";
        QTest::newRow("SML/NJ stand-in, ends at start")
            << data("quitting/sml") << "the interpreter ended at start: quits: no heap image found";
        QTest::newRow("cannot be executed")
            << data("unrunnable") << "Could not start " + data("unrunnable") + ": No such file or directory";
    }

    void startFailure()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, message);
        const Run result = run({"--interpreter", interpreter, data("accepted.sml")});
        QCOMPARE(result.exitCode, 2);
        QCOMPARE(result.out, QByteArray());
        QCOMPARE(oneLine(result.err), "ostrel-eval: " + message);
    }

    // Qt's other event dispatcher orders a loop turn differently: the
    // records, the end and a start failure must not depend on it.
    void otherEventDispatcher()
    {
        QProcessEnvironment unixDispatcher;
        unixDispatcher.insert("QT_NO_GLIB", "1");
        const Run evaluated = run({"--json", "--interpreter", smlnj, data("exception.sml")}, QString(), unixDispatcher);
        QCOMPARE(evaluated.exitCode, 1);
        const QList<QJsonObject> records = jsonLines(evaluated.out);
        QCOMPARE(records.size(), 3);
        QVERIFY(records.at(0).value("answer").toString().contains("val a = 10"));
        QVERIFY(records.at(1).value("answer").toString().contains("structure S"));
        QVERIFY(records.at(2).value("answer").toString().contains("uncaught exception Div"));

        const Run unstarted = run({"--interpreter", data("unrunnable"), data("accepted.sml")}, QString(), unixDispatcher);
        QCOMPARE(unstarted.exitCode, 2);
    }

    // Without --interpreter: the user's preferred interpreter, read and never
    // written; without one, Poly ML. A bare name is found in PATH, and the
    // arguments of a command line reach the interpreter.
    void chosenInterpreter_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("answer");
        QTest::newRow("settings name SML/NJ") << QString() << "file://localhost/usr/bin/sml" << "val start = 1 : int\n";
        QTest::newRow("nothing stored: Poly ML") << QString() << QString() << "val start = 1: int\n";
        QTest::newRow("option wins over settings") << poly << "file://localhost/usr/bin/sml" << "val start = 1: int\n";
        QTest::newRow("bare name from PATH") << "sml" << QString() << "val start = 1 : int\n";
        // Poly ML's -q keeps the banner away and the answers quiet.
        QTest::newRow("arguments passed") << "/usr/bin/poly   -q" << QString() << QString();
    }

    void chosenInterpreter()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, stored);
        QFETCH(QString, answer);
        QTemporaryDir config;
        const QString settingsPath = config.filePath("Ostrel/Ostrel.conf");
        if (!stored.isEmpty()) {
            QSettings settings(settingsPath, QSettings::NativeFormat);
            OLUserDefaults(settings).savePreferredInterpreter(stored);
        }
        const auto snapshot = [&] {
            QFile file(settingsPath);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("absent");
        };
        const QByteArray before = snapshot();

        const QString file = data("exits.sml");
        QStringList arguments{"--json", file};
        if (!interpreter.isEmpty())
            arguments = QStringList{"--interpreter", interpreter} + arguments;
        const Run result = run(arguments, config.path());
        const QList<QJsonObject> records = jsonLines(result.out);
        QVERIFY(!records.isEmpty());
        QCOMPARE(records.first().value("status").toString(), "accepted");
        QCOMPARE(records.first().value("answer").toString(), answer);

        QCOMPARE(snapshot(), before);
        QCOMPARE(QDir(config.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 stored.isEmpty() ? QStringList() : QStringList{"Ostrel"});
    }

    // An interpreter that ends by itself fails the declaration it was given,
    // whether or not something was left of its output (both warn about the
    // type of the expression). On the first declaration too: an interpreter
    // that came to its prompt has started, banner or not ("poly -q").
    void interpreterEnds_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("line");
        QTest::newRow("poly") << poly << "exits.sml" << 2;
        QTest::newRow("sml") << smlnj << "exits.sml" << 2;
        QTest::newRow("poly, first declaration") << poly << "exits-first.sml" << 1;
        QTest::newRow("poly -q, first declaration") << poly + " -q" << "exits-first.sml" << 1;
        QTest::newRow("sml, first declaration") << smlnj << "exits-first.sml" << 1;
    }

    void interpreterEnds()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, file);
        QFETCH(int, line);
        const QString path = data(file);
        const Run result = run({"--json", "--interpreter", interpreter, path});
        QCOMPARE(result.exitCode, 1);
        const QList<QJsonObject> records = jsonLines(result.out);
        QCOMPARE(records.size(), line);
        for (qsizetype i = 0; i + 1 < records.size(); ++i)
            QCOMPARE(records.at(i).value("status").toString(), "accepted");
        QCOMPARE(records.last().value("status").toString(), "failed");
        QCOMPARE(records.last().value("line").toInt(), line);
        QCOMPARE(oneLine(result.err), "ostrel-eval: " + path + QStringLiteral(":%1: the interpreter has ended").arg(line));
    }

    // An interpreter killed from outside while it computes a declaration,
    // with no time limit: the tool ends, that declaration failed, and the
    // answer says how the interpreter ended.
    void interpreterKilled_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::newRow("poly") << poly;
        QTest::newRow("sml") << smlnj;
    }

    void interpreterKilled()
    {
        QFETCH(QString, interpreter);
        const QString file = data("loop.sml");
        QProcess process;
        process.setProcessEnvironment(environment(m_config.path()));
        process.start(tool, {"--json", "--interpreter", interpreter, file});
        // The two quick declarations are reported; the third computes for ever.
        QByteArray out;
        QVERIFY(QTest::qWaitFor(
            [&] {
                out += process.readAllStandardOutput();
                return out.count('\n') >= 2;
            },
            60000));
        const QList<qint64> interpreters = OLTestProcesses::liveChildren(process.processId());
        QCOMPARE(interpreters.size(), 1);
        QCOMPARE(::kill(pid_t(interpreters.first()), SIGKILL), 0);
        const bool ended = process.waitForFinished(60000);
        if (!ended) {
            process.kill();
            process.waitForFinished();
        }
        QVERIFY2(ended, "ostrel-eval did not end");
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        out += process.readAllStandardOutput();
        const QList<QJsonObject> records = jsonLines(out);
        QCOMPARE(records.size(), 3);
        QCOMPARE(records.at(2).value("status").toString(), "failed");
        QCOMPARE(records.at(2).value("line").toInt(), 3);
        QVERIFY2(records.at(2).value("answer").toString().contains("killed by signal 9"),
                 qPrintable(records.at(2).value("answer").toString()));
        QCOMPARE(oneLine(process.readAllStandardError()), "ostrel-eval: " + file + ":3: the interpreter has ended");
    }

    // A declaration without a verdict in time is interrupted and fails;
    // quick ones before it are not touched by the limit.
    void timeout_data()
    {
        QTest::addColumn<QString>("interpreter");
        QTest::addColumn<QString>("interruptMark");
        QTest::newRow("poly") << poly << "Interrupt";
        QTest::newRow("sml") << smlnj << "Interrupt";
    }

    void timeout()
    {
        QFETCH(QString, interpreter);
        QFETCH(QString, interruptMark);
        const QString file = data("loop.sml");
        const Run result = run({"--json", "--timeout", "1.5", "--interpreter", interpreter, file});
        QCOMPARE(result.exitCode, 1);
        const QList<QJsonObject> records = jsonLines(result.out);
        QCOMPARE(records.size(), 3);
        QCOMPARE(records.at(0).value("status").toString(), "accepted");
        QCOMPARE(records.at(1).value("status").toString(), "accepted");
        QCOMPARE(records.at(2).value("status").toString(), "failed");
        QCOMPARE(records.at(2).value("line").toInt(), 3);
        QVERIFY2(records.at(2).value("answer").toString().contains(interruptMark),
                 qPrintable(records.at(2).value("answer").toString()));
        QCOMPARE(oneLine(result.err), "ostrel-eval: " + file + ":3: no answer within 1.5 s; interrupted");
    }
};

QTEST_GUILESS_MAIN(TestEvalTool)
#include "tst_evaltool.moc"
