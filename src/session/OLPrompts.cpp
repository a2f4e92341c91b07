#include "session/OLPrompts.h"

namespace {
// Control characters around a word: program output that holds them by
// chance is not to be expected.
constexpr QStringView uniquePrimary = u"\u0001ostrel>\u0002";
constexpr QStringView uniqueContinuation = u"\u0001ostrel=\u0002";
} // namespace

OLPrompts promptsOf(OLInterpreterMode mode)
{
    switch (mode) {
    case OLPolyML:
    case OLSmlNJ:
        return {uniquePrimary, uniqueContinuation, true};
    case OLMosML:
    case OLAliceML:
        return {u"- ", QStringView(), false};
    default:
        return {};
    }
}

void requestPrompts(OLCommandLine &command)
{
    switch (command.mode) {
    case OLPolyML:
        if (command.arguments.indexOf(QStringLiteral("-i"), 1) < 0)
            command.arguments.insert(1, QStringLiteral("-i"));
        break;
    case OLSmlNJ:
        command.arguments.insert(1, QStringLiteral("-Cparser.primary-prompt=") + uniquePrimary.toString());
        command.arguments.insert(2, QStringLiteral("-Cparser.secondary-prompt=") + uniqueContinuation.toString());
        break;
    default:
        break;
    }
}

QString promptSetupInput(OLInterpreterMode mode)
{
    if (mode != OLPolyML)
        return QString();
    // "\^A" is control-A in a Standard ML string; "val _" binds nothing and
    // makes Poly ML print nothing.
    const auto literal = [](QStringView prompt) {
        return u'"' + prompt.toString().replace(QChar(1), QStringLiteral("\\^A")).replace(QChar(2), QStringLiteral("\\^B"))
            + u'"';
    };
    return QStringLiteral("val _ = (PolyML.Compiler.prompt1 := %1; PolyML.Compiler.prompt2 := %2);\n")
        .arg(literal(uniquePrimary), literal(uniqueContinuation));
}

QStringView defaultPrompt(OLInterpreterMode mode)
{
    return mode == OLPolyML ? QStringView(u"> ") : QStringView();
}
