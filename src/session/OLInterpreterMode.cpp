#include "session/OLInterpreterMode.h"

#include "app/OLFileName.h"
#include "session/OLWhitespace.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>

namespace {

// ASCII that stands for itself in a URL path; everything else but non-ASCII
// letters is percent-encoded when written.
bool keptInPath(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= 0x80)
        return !isWhitespaceOrNewline(c);
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9')
        || QLatin1StringView("-._~!$&'()*+,;=:@/").contains(c);
}

// Where the path of the URL a command line begins with starts (after "file:"
// and any "//host"); -1 for none.
qsizetype pathStart(QStringView commandLine)
{
    if (!commandLine.startsWith(u"file:", Qt::CaseInsensitive))
        return -1;
    if (!commandLine.sliced(5).startsWith(u"//"))
        return commandLine.size() > 5 && commandLine.at(5) == u'/' ? 5 : -1;
    const QStringView afterSlashes = commandLine.sliced(7);
    const auto end = std::find_if(afterSlashes.cbegin(), afterSlashes.cend(), isWhitespaceOrNewline);
    const qsizetype slash = afterSlashes.first(end - afterSlashes.cbegin()).indexOf(u'/');
    return slash < 0 ? -1 : 7 + slash;
}

bool isOstrel(const QString &path)
{
    if (!QCoreApplication::instance())
        return false;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
}

} // namespace

QString displayNameForMode(OLInterpreterMode mode)
{
    switch (mode) {
    case OLMosML: return QStringLiteral("Moscow ML");
    case OLSmlNJ: return QStringLiteral("SML of New Jersey");
    case OLAliceML: return QStringLiteral("Alice ML");
    case OLPolyML: return QStringLiteral("Poly ML");
    default: return {};
    }
}

OLInterpreterMode modeForExecutable(const QString &path)
{
    // "mosml" before "sml": every "mosml" path also ends with "sml".
    if (path.endsWith(u"poly"))
        return OLPolyML;
    if (path.endsWith(u"mosml"))
        return OLMosML;
    if (path.endsWith(u"sml"))
        return OLSmlNJ;
    if (path.endsWith(u"alice"))
        return OLAliceML;
    return OLUnknownMode;
}

OLCommandLine parsePreferredInterpreter(const QString &commandLine)
{
    const auto separator = std::find_if(commandLine.cbegin(), commandLine.cend(), isWhitespaceOrNewline);
    QString url = commandLine.first(separator - commandLine.cbegin());
    OLCommandLine result;
    if (separator != commandLine.cend()) {
        qsizetype start = separator - commandLine.cbegin() + 1;
        for (qsizetype i = start; i <= commandLine.size(); ++i) {
            if (i == commandLine.size() || isWhitespaceOrNewline(commandLine.at(i))) {
                result.arguments.append(commandLine.sliced(start, i - start));
                start = i + 1;
            }
        }
    }
    // QUrl would end the path at "#" or "?".
    url.replace(u'#', QLatin1StringView("%23")).replace(u'?', QLatin1StringView("%3F"));
    // A path that is no UTF-8, or holds a zero, could only be run as another.
    const QString path = OLFileName::fromUrl(QUrl(url));
    if (path.isEmpty() || path.contains(QChar::Null) || OLFileName::hasForeignBytes(path)) {
        result.arguments.clear();
        result.error = QCoreApplication::translate("OLInterpreterMode",
                                                   "The interpreter command line \"%1\" does not begin with the file "
                                                   "URL of an executable on this computer.")
                           .arg(commandLine);
        return result;
    }
    if (isOstrel(path)) {
        result.arguments.clear();
        result.error = QCoreApplication::translate("OLInterpreterMode", "Ostrel cannot be its own interpreter (%1).")
                           .arg(path);
        return result;
    }
    result.arguments.prepend(path);
    result.mode = modeForExecutable(path);
    return result;
}

QString commandLineForExecutable(const QString &path, const QStringList &arguments)
{
    QString line = commandLinePrefix;
    for (const QChar c : QFileInfo(path).absoluteFilePath())
        line += keptInPath(c) ? QString(c) : QString::fromLatin1(QString(c).toUtf8().toPercentEncoding());
    for (const QString &argument : arguments)
        line += u' ' + argument;
    return line;
}

QString commandLineWithoutPrefix(const QString &commandLine)
{
    const qsizetype start = pathStart(commandLine);
    return start < 0 ? QString() : commandLine.sliced(start);
}
