#include "cli/OLEvalOptions.h"

#include "session/OLInterpreterMode.h"
#include "session/OLWhitespace.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QStandardPaths>

#include <cmath>

namespace {
// QTimer counts in int milliseconds.
constexpr double maximumTimeoutSeconds = 2'000'000;

QStringList splitAtWhitespace(const QString &text)
{
    QStringList fields;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool separator = i == text.size() || isWhitespaceOrNewline(text.at(i));
        if (separator && start >= 0) {
            fields.append(text.sliced(start, i - start));
            start = -1;
        } else if (!separator && start < 0) {
            start = i;
        }
    }
    return fields;
}
} // namespace

QString evalHelp()
{
    return QStringLiteral(
        "usage: ostrel-eval [--interpreter COMMANDLINE] [--json] [--timeout SECONDS] FILE\n"
        "       ostrel-eval --split [--json] FILE\n"
        "\n"
        "Evaluates a Standard ML file declaration by declaration, as Ostrel's\n"
        "\"evaluate the whole file\" does, and stops at the first declaration that fails.\n"
        "\n"
        "  --interpreter COMMANDLINE  the interpreter and its arguments (\"/usr/bin/poly -q\");\n"
        "                             without it, Ostrel's preferred interpreter, else Poly ML\n"
        "  --json                     one JSON object per declaration and line\n"
        "  --timeout SECONDS          interrupt a declaration with no answer in time; it fails\n"
        "  --split                    print the declarations the file is cut into; start nothing\n"
        "\n"
        "Exit status: 0 every declaration accepted, 1 one failed, 2 a usage error,\n"
        "a file that cannot be read or an interpreter that cannot be started.\n");
}

std::optional<OLEvalOptions> parseEvalArguments(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption split(QStringLiteral("split"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption interpreter(QStringLiteral("interpreter"), QString(), QStringLiteral("COMMANDLINE"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(), QStringLiteral("SECONDS"));
    parser.addOptions({help, split, json, interpreter, timeout});
    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return std::nullopt;
    }

    OLEvalOptions options;
    options.help = parser.isSet(help);
    if (options.help)
        return options;
    options.split = parser.isSet(split);
    options.json = parser.isSet(json);
    // A repeated option would be ambiguous: QCommandLineParser keeps both.
    for (const QCommandLineOption &option : {split, json, interpreter, timeout}) {
        if (parser.optionNames().count(option.names().constFirst()) > 1) {
            *error = QStringLiteral("--%1 given twice").arg(option.names().constFirst());
            return std::nullopt;
        }
    }
    if (options.split && (parser.isSet(interpreter) || parser.isSet(timeout))) {
        *error = QStringLiteral("--split starts no interpreter: --interpreter and --timeout do not apply");
        return std::nullopt;
    }
    if (parser.isSet(interpreter)) {
        options.interpreter = parser.value(interpreter);
        if (splitAtWhitespace(*options.interpreter).isEmpty()) {
            *error = QStringLiteral("--interpreter needs a command line");
            return std::nullopt;
        }
    }
    if (parser.isSet(timeout)) {
        bool isNumber = false;
        const double seconds = parser.value(timeout).toDouble(&isNumber);
        if (!isNumber || !std::isfinite(seconds) || seconds <= 0 || seconds > maximumTimeoutSeconds) {
            *error = QStringLiteral("--timeout needs a number of seconds above 0 and up to %1, not \"%2\"")
                         .arg(maximumTimeoutSeconds, 0, 'f', 0)
                         .arg(parser.value(timeout));
            return std::nullopt;
        }
        options.timeout = std::chrono::milliseconds(qint64(std::ceil(seconds * 1000)));
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        *error = files.isEmpty() ? QStringLiteral("no file given")
                                 : QStringLiteral("one file only, not %1").arg(files.size());
        return std::nullopt;
    }
    options.file = files.constFirst();
    return options;
}

std::optional<QString> storedInterpreterCommandLine(const QString &plain, QString *error)
{
    const QStringList fields = splitAtWhitespace(plain);
    const QString program = fields.constFirst();
    // The session runs a path as it stands; a bare name is found the way a shell finds it.
    QString path = program.contains(u'/') ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        *error = QStringLiteral("interpreter not found: %1").arg(program);
        return std::nullopt;
    }
    const QString stored = commandLineForExecutable(path, fields.mid(1));
    if (!checkInterpreter(stored, error))
        return std::nullopt;
    return stored;
}

bool checkInterpreter(const QString &storedCommandLine, QString *error)
{
    const OLCommandLine command = parsePreferredInterpreter(storedCommandLine);
    if (!command.error.isEmpty()) {
        *error = command.error;
        return false;
    }
    const QString path = command.arguments.constFirst();
    const QFileInfo info(path);
    QString reason;
    if (!info.exists())
        reason = QStringLiteral("no such file");
    else if (!info.isFile() || !info.isExecutable())
        reason = QStringLiteral("not an executable file");
    if (reason.isEmpty())
        return true;
    *error = QStringLiteral("cannot start the interpreter %1: %2").arg(path, reason);
    return false;
}
