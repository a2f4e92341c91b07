#include "session/OLInterpreterMode.h"

#include "session/OLWhitespace.h"

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
    const QString rest = commandLine.mid(16);
    OLCommandLine result;
    qsizetype start = 0;
    for (qsizetype i = 0; i < rest.size(); ++i) {
        if (isWhitespaceOrNewline(rest.at(i))) {
            result.arguments.append(rest.mid(start, i - start));
            start = i + 1;
        }
    }
    result.arguments.append(rest.mid(start));
    result.mode = modeForExecutable(result.arguments.constFirst());
    return result;
}
