// ostrel-eval end to end: the built program is run as a user would run it,
// against the real Poly ML and SML of New Jersey. Every run gets a settings
// folder of its own (XDG_CONFIG_HOME), so the user's settings are never read.

#include "settings/OLUserDefaults.h"

#include "OLTestProcesses.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

namespace {

const QString poly = QStringLiteral("/usr/bin/poly"), smlnj = QStringLiteral("/usr/bin/sml");
const QString unixLoop = QStringLiteral("QT_NO_GLIB"); // Qt's other event dispatcher

QString data(const QString &name) { return QStringLiteral(OSTREL_TEST_DATA "/") + name; }

// A settings folder for the runs, holding this preferred interpreter if any.
struct Config {
    explicit Config(const QString &stored = QString())
    {
        if (!stored.isEmpty())
            OLUserDefaults(settings).savePreferredInterpreter(stored);
        settings.sync();
    }
    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("Ostrel/Ostrel.conf")), QSettings::NativeFormat};
};

// ostrel-eval with a settings folder and, if named, one more environment variable set.
struct Run {
    // terminal: a descriptor to take as standard output; waiting: whether to wait for the end.
    Run(const QStringList &arguments, const Config &config = Config(), const QString &variable = {}, int terminal = -1, bool waiting = true)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.dir.path());
        if (!variable.isEmpty())
            env.insert(variable, QStringLiteral("1"));
        process.setProcessEnvironment(env);
        if (terminal >= 0)
            process.setChildProcessModifier([terminal] { ::dup2(terminal, STDOUT_FILENO); });
        process.start(QStringLiteral(OSTREL_EVAL), arguments);
        if (waiting)
            finish();
    }
    void finish()
    {
        if (!process.waitForFinished(120000))
            process.kill(), process.waitForFinished();
        exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        out += process.readAllStandardOutput();
        err = process.readAllStandardError();
    }
    // Every line of the output as a JSON object (empty if it is something else).
    QList<QJsonObject> records() const
    {
        QList<QJsonObject> objects;
        for (const QByteArray &line : out.split('\n'))
            objects.append(QJsonDocument::fromJson(line).object());
        return objects.mid(0, objects.size() - 1); // after the last line end
    }
    // The one line of standard error, without its line end.
    QString message() const
    {
        return err.count('\n') == 1 && err.endsWith('\n') ? QString::fromUtf8(err.chopped(1)) : "not one line: " + QString::fromUtf8(err);
    }
    QProcess process;
    int exitCode = -1;
    QByteArray out, err;
};

} // namespace

class TestEvalTool : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Declaration by declaration up to the first failure, with the session's
    // verdicts; positions in UTF-16 code units of the editor's text, which
    // holds no byte-order mark and no CRLF. --split prints the scanner's cut
    // and starts nothing: it works even when the preferred interpreter is gone.
    // The records must not depend on the event dispatcher.
    void evaluate_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("exitCode");
        // Each record: "line|location|length|status|" (no status: --split), then
        // a piece of the interpreter's answer, or the whole cut.
        QTest::addColumn<QStringList>("expected");
        // mixed.sml begins with a comment holding "ü", "—" and "𝔸": 71 code
        // points, 72 UTF-16 code units, 77 bytes before its second line.
        const auto mixed = [](const QString &warning, const QString &rejection) {
            return QStringList{"1|0|82|accepted|val x = 1", "3|82|12|accepted|" + warning, "4|94|30|accepted|datatype colour",
                               "5|124|24|accepted|\"plain\"", "6|148|12|failed|" + rejection};
        };
        QTest::newRow("poly: a warning accepted, a rejection stops") << QStringList{"--interpreter", poly} << "mixed.sml" << 1 << mixed("Matches are not exhaustive", "poly: : error:");
        QTest::newRow("sml, other dispatcher: a warning accepted, a rejection stops")
            << QStringList{"--interpreter", smlnj, unixLoop} << "mixed.sml" << 1 << mixed("Warning: match nonexhaustive", "Error:");
        QTest::newRow("poly: byte-order mark and CRLF") << QStringList{"--interpreter", poly} << "bom-crlf.sml" << 0
            << QStringList{"1|0|14|accepted|val first = 1", "2|14|16|accepted|val second = 2", "4|30|14|accepted|val third = 3"};
        // A test harness that ends the interpreter with success.
        QTest::newRow("sml: exit with success at the end") << QStringList{"--interpreter", smlnj} << "exits-last.sml" << 0
            << QStringList{"1|0|14|accepted|val start = 1", "2|14|43|accepted|"};
        QTest::newRow("split: not ASCII") << QStringList{"--split"} << "mixed.sml" << 0
            << QStringList{"1|0|82||(* Prüfung: 𝔸 — text that is not ASCII before the first declaration *)\nval x = 1\n",
                           "3|82|12||fun f 0 = 1\n", "4|94|30||datatype colour = Red | Green\n",
                           "5|124|24||val s = \"plain\" (* ü *)\n", "6|148|12||val y = x +\n", "7|160|14||val never = 2\n"};
        QTest::newRow("split: no declaration") << QStringList{"--split"} << "nodeclaration.sml" << 0 << QStringList();
    }

    void evaluate()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, file);
        QFETCH(QStringList, expected);
        const bool split = options.contains(u"--split");
        const QString variable = options.removeAll(unixLoop) ? unixLoop : QString();
        const Run result(options + QStringList{"--json", data(file)}, Config("file://localhost/nonexistent/poly"), variable);
        QTEST(result.exitCode, "exitCode");
        QCOMPARE(result.err, QByteArray());
        const QList<QJsonObject> records = result.records();
        QCOMPARE(records.size(), expected.size());
        for (qsizetype i = 0; i < records.size(); ++i) {
            const QJsonObject &record = records.at(i);
            const QString answer = record.value(split ? "text" : "answer").toString(), want = expected[i].section(u'|', 4);
            QCOMPARE(QStringLiteral("%1|%2|%3|%4").arg(record.value("line").toInt()).arg(record.value("location").toInt())
                         .arg(record.value("length").toInt()).arg(record.value("status").toString()), expected[i].section(u'|', 0, 3));
            // Each answer is its own: no banner, no prompt, no other answer.
            QVERIFY2(split ? answer == want
                           : answer.contains(want) && !answer.contains("Poly/ML") && !answer.contains("Standard ML of New Jersey")
                                 && !answer.endsWith("> ") && !answer.endsWith("- ") && (i == 0 || !answer.contains(expected[i - 1].section(u'|', 4))),
                     qPrintable(answer));
        }
    }

    // For people: the line range, the verdict and the answer indented below,
    // with no colour when standard output is not a terminal.
    void peopleOutput()
    {
        const QString file = data("exception.sml");
        const Run evaluated({"--interpreter", poly, file});
        QCOMPARE(evaluated.exitCode, 1);
        QCOMPARE(QString::fromUtf8(evaluated.out), file + ":1: accepted\n    val a = 10: int\n" + file
                     + ":2-4: accepted\n    structure S: sig val b: int end\n" + file + ":5: failed\n    Exception- Div raised\n");
        // On a terminal the verdicts are coloured, and a failed answer is red
        // from its start to its end.
        int master = -1, slave = -1;
        QCOMPARE(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        const Run result({"--interpreter", smlnj, data("exception.sml")}, Config(), {}, slave);
        ::close(slave);
        QCOMPARE(result.exitCode, 1);
        QByteArray shown;
        char buffer[4096];
        pollfd readable{master, POLLIN, 0};
        for (ssize_t got; ::poll(&readable, 1, 1000) > 0 && (got = ::read(master, buffer, sizeof buffer)) > 0;)
            shown.append(buffer, got);
        ::close(master);
        const qsizetype red = shown.indexOf("\x1b[31m");
        QVERIFY2(shown.contains(":1: \x1b[32maccepted\x1b[0m") && shown.contains(":5: \x1b[1;31mfailed\x1b[0m") && red >= 0
                     && shown.mid(red, shown.indexOf("\x1b[0m", red) - red).contains("uncaught exception Div"),
                 shown.constData());
    }
    // Exit status 2, nothing on standard output and one line on standard
    // error, with either event dispatcher: a usage error, a file that cannot
    // be read, an interpreter that cannot be found or run, or one that ends
    // before its first answer (the stand-in scripts in data/).
    void trouble()
    {
        const QString file = data("accepted.sml"), usage = QStringLiteral(" (see ostrel-eval --help)");
        const QString timeout = QStringLiteral("--timeout needs a number of seconds above 0 and up to 2000000, not ");
        const QString atStart = QStringLiteral("the interpreter ended at start: quits: no heap image found");
        // The arguments, the message, the preferred interpreter in the settings.
        const std::tuple<QStringList, QString, QString> rows[]{
            {{"--json"}, "no file given" + usage, ""},
            {{file, file}, "one file only, not 2" + usage, ""},
            {{"--verbose", file}, "Unknown option 'verbose'." + usage, ""},
            {{"--interpreter", " ", file}, "--interpreter needs a command line" + usage, ""},
            {{"--timeout", "soon", file}, timeout + "\"soon\"" + usage, ""},
            {{"--timeout=0", file}, timeout + "\"0\"" + usage, ""},
            {{"--split", "--interpreter", poly, file}, "--split starts no interpreter: --interpreter and --timeout do not apply" + usage, ""},
            {{"--json", "--json", file}, "--json given twice" + usage, ""},
            {{data("nothing-here.sml")}, "cannot read " + data("nothing-here.sml") + ": No such file or directory", ""},
            {{"--interpreter", "/nonexistent/bin/poly -q", file}, "cannot start the interpreter /nonexistent/bin/poly: no such file", ""},
            {{"--interpreter", "ostrel-no-such-interpreter", file}, "interpreter not found: ostrel-no-such-interpreter", ""},
            {{"--interpreter", file, file}, "cannot start the interpreter " + file + ": not an executable file", ""},
            {{file}, "cannot start the interpreter /nonexistent/sml: no such file", "file://localhost/nonexistent/sml"},
            {{"--interpreter", data("quits-at-start"), file}, atStart, ""}, // of no known kind
            {{"--interpreter", data("quitting/sml"), file}, atStart, ""},
            {{"--interpreter", data("unrunnable"), file}, "Could not start " + data("unrunnable") + ": No such file or directory", ""},
        };
        for (const auto &[arguments, message, stored] : rows) {
            const Config config(stored);
            for (const QString &variable : {QString(), unixLoop}) {
                const Run result(arguments, config, variable);
                QVERIFY2(result.exitCode == 2 && result.out.isEmpty() && result.message() == "ostrel-eval: " + message,
                         qPrintable(result.message()));
            }
        }
    }

    // The interpreter ends while a declaration is on: it fails, and the tool
    // says why. By itself, on the first declaration too (an interpreter that
    // came to its prompt has started, banner or not: "poly -q"), whatever it
    // wrote before (both warn about the type of the expression); killed from
    // outside while it computes, with no time limit; or interrupted after the
    // time limit, which quick declarations before it do not touch.
    // Without --interpreter: the user's preferred interpreter, read and never
    // written; without one, Poly ML. A bare name is found in PATH, and the
    // arguments of a command line reach the interpreter (Poly ML's -q keeps
    // the answers quiet).
    void declarationFails()
    {
        const QString ended = QStringLiteral("the interpreter has ended"), storedSml = QStringLiteral("file://localhost/usr/bin/sml");
        const QString smlStart = QStringLiteral("val start = 1 : int\n"), polyStart = QStringLiteral("val start = 1: int\n");
        // The options, the preferred interpreter stored, the file, its first answer (none: not checked),
        // the failed line, a piece of its answer, the message.
        const std::tuple<QStringList, QString, QString, QString, int, QString, QString> rows[]{
            {{}, storedSml, "exits.sml", smlStart, 3, "", ended},
            {{}, "", "exits.sml", polyStart, 3, "", ended},
            {{"--interpreter", poly}, storedSml, "exits.sml", polyStart, 3, "", ended},
            {{"--interpreter", "sml"}, "", "exits.sml", smlStart, 3, "", ended},
            {{"--interpreter", "/usr/bin/poly   -q"}, "", "exits.sml", QStringLiteral(""), 3, "", ended},
            {{"--interpreter", poly + " -q"}, "", "exits-first.sml", {}, 2, "", ended},
            {{"--interpreter", smlnj}, "", "loop.sml", {}, 3, "killed by signal 9", ended},
            {{"--timeout", "3", "--interpreter", poly}, "", "loop.sml", {}, 3, "Interrupt", "no answer within 3 s; interrupted"}};
        for (const auto &[options, stored, file, first, line, answer, message] : rows) {
            const Config config(stored);
            const QByteArray settings = OLTestProcesses::fileBytes(config.settings.fileName());
            Run result(options + QStringList{"--json", data(file)}, config, {}, -1, false);
            if (answer.startsWith(u"killed")) {
                // The two quick declarations are reported; the third computes for ever.
                QVERIFY(QTest::qWaitFor([&] { return (result.out += result.process.readAllStandardOutput()).count('\n') >= 2; }, 60000));
                const QList<qint64> interpreters = OLTestProcesses::liveChildren(result.process.processId());
                QVERIFY(interpreters.size() == 1 && ::kill(pid_t(interpreters.first()), SIGKILL) == 0);
            }
            result.finish();
            const QList<QJsonObject> records = result.records();
            QStringList statuses;
            for (const QJsonObject &record : records)
                statuses.append(record.value("status").toString());
            QVERIFY2(result.exitCode == 1 && statuses == QStringList(line - 1, "accepted") + QStringList("failed"), qPrintable(file));
            QVERIFY2(first.isNull() || records.constFirst().value("answer").toString() == first, qPrintable(options.join(u' ') + stored));
            QVERIFY2(records.constLast().value("line").toInt() == line && records.constLast().value("answer").toString().contains(answer), qPrintable(file));
            QCOMPARE(result.message(), QStringLiteral("ostrel-eval: %1:%2: %3").arg(data(file)).arg(line).arg(message));
            QCOMPARE(OLTestProcesses::fileBytes(config.settings.fileName()), settings);
            QCOMPARE(QDir(config.dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                     stored.isEmpty() ? QStringList() : QStringList{"Ostrel"});
        }
    }
};

QTEST_GUILESS_MAIN(TestEvalTool)
#include "tst_evaltool.moc"
