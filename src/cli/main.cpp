// ostrel-eval: evaluates a Standard ML file declaration by declaration, as
// Ostrel's "evaluate the whole file" does, or prints the declarations it cuts.

#include "app/OLFileName.h"
#include "app/OLSourceFile.h"
#include "cli/OLEvalOptions.h"
#include "cli/OLEvalReport.h"
#include "cli/OLEvalRunner.h"
#include "editor/OLDeclaration.h"
#include "settings/OLSettingsKeys.h"
#include "settings/OLUserDefaults.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <vector>
#include <unistd.h>

namespace {

int complain(const QString &message)
{
    std::fprintf(stderr, "ostrel-eval: %s\n", qPrintable(message));
    return OLEvalRunner::Trouble;
}

// The --interpreter command line, else the preferred one of the user's
// settings (only read), else the standard place of Poly ML.
std::optional<QString> interpreterCommandLine(const OLEvalOptions &options, QString *error)
{
    if (options.interpreter)
        return storedInterpreterCommandLine(*options.interpreter, error);
    const std::unique_ptr<QSettings> userLayer = OLUserDefaults::openUserLayer();
    OLUserDefaults user(*userLayer);
    user.registerDefaultPreferences();
    QString stored = user.loadPreferredInterpreterPath();
    if (stored.isEmpty())
        stored = OLUserDefaults::standardInterpreterLocations().value(OLKey::polyStdLocation).toString();
    if (!checkInterpreter(stored, error))
        return std::nullopt;
    return stored;
}

int split(const QString &text, OLEvalPrinter &printer)
{
    OLLineCounter lines(text);
    qsizetype interpreted = 0;
    while (const std::optional<OLDeclaration> declaration = nextDeclaration(text, interpreted)) {
        printer.print(lines.recordFor(*declaration));
        interpreted += qsizetype(declaration->length());
    }
    return OLEvalRunner::AllAccepted;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The developer log of the scanner and the session would mix with the
    // report; QT_LOGGING_RULES can still switch it on.
    QLoggingCategory::setFilterRules(QStringLiteral("ostrel.*.debug=false"));

    QString error;
    // Qt's own list has lost the bytes of file names that are not UTF-8.
    const std::optional<OLEvalOptions> options = parseEvalArguments(OLFileName::arguments(argc, argv), &error);
    if (!options)
        return complain(error + QStringLiteral(" (see ostrel-eval --help)"));
    if (options->help) {
        std::fputs(qPrintable(evalHelp()), stdout);
        return OLEvalRunner::AllAccepted;
    }

    const std::optional<OLSourceFile> source = OLSourceFile::read(options->file, &error);
    if (!source)
        return complain(QStringLiteral("cannot read %1: %2").arg(options->file, error));
    OLEvalPrinter printer(stdout, options->file, options->json, ::isatty(STDOUT_FILENO) == 1);
    if (options->split)
        return split(source->editorText(), printer);

    const std::optional<QString> interpreter = interpreterCommandLine(*options, &error);
    if (!interpreter)
        return complain(error);
    // The tool's own settings: the chosen interpreter registered over an
    // empty layer that nothing writes, so the user's settings stay untouched.
    QTemporaryDir settingsDir;
    if (!settingsDir.isValid())
        return complain(QStringLiteral("cannot make a temporary folder: %1").arg(settingsDir.errorString()));
    QSettings settings(settingsDir.filePath(QStringLiteral("ostrel-eval.conf")), QSettings::IniFormat);
    OLUserDefaults defaults(settings);
    defaults.registerDefaults({{QString(OLKey::preferredInterpreter), *interpreter}});

    // Records are written a moment after their verdicts, in batches: the
    // time from an answer to the next declaration is the interpreter's
    // idle time, and formatting and writing each record at once would add
    // to it.
    std::vector<OLEvalRecord> unwritten;
    const auto writeOut = [&printer, &unwritten] {
        for (const OLEvalRecord &record : unwritten)
            printer.print(record);
        unwritten.clear();
        printer.flush();
    };
    QTimer writeTimer;
    writeTimer.setSingleShot(true);
    writeTimer.setInterval(std::chrono::milliseconds(100));
    QObject::connect(&writeTimer, &QTimer::timeout, &app, writeOut);

    OLEvalRunner runner(defaults, options->file, source->editorText(), options->timeout);
    QObject::connect(&runner, &OLEvalRunner::evaluated, &app, [&unwritten, &writeTimer](const OLEvalRecord &record) {
        unwritten.push_back(record);
        if (!writeTimer.isActive())
            writeTimer.start();
    });
    QObject::connect(&runner, &OLEvalRunner::finished, &app, [&writeOut](int status, const QString &message) {
        writeOut();
        if (!message.isEmpty())
            complain(message);
        QCoreApplication::exit(status);
    });
    runner.start();
    const int status = QCoreApplication::exec();
    // Nothing waits for the interpreter to end.
    PXShellWrapper::terminateAll();
    return status;
}
