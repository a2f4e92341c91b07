#include "session/OLOutputClassifier.h"

#include "session/OLPrompts.h"

#include <QStringTokenizer>

#include <algorithm>

namespace {

// Removes `token` from the front (or back) of `text` as long as it is there.
void stripLeading(QStringView &text, QStringView token)
{
    while (text.startsWith(token))
        text = text.mid(token.size());
}

// Whether a line of the text, after any prompts at its start, is a marker.
// Prompts stand in the middle of an answer that spans several of them.
template<typename Predicate>
bool anyLine(QStringView text, std::initializer_list<QStringView> prompts, Predicate isMarker)
{
    for (QStringView line : qTokenize(text, u'\n')) {
        for (bool stripped = true; stripped;) {
            stripped = false;
            for (QStringView prompt : prompts) {
                if (line.startsWith(prompt)) {
                    line = line.mid(prompt.size());
                    stripped = true;
                }
            }
        }
        if (isMarker(line))
            return true;
    }
    return false;
}

// "stdIn:7.5-7.12 Warning: match nonexhaustive": a location, then the kind.
bool isSmlNJWarning(QStringView line)
{
    const QStringView prefix = u"stdIn:";
    if (!line.startsWith(prefix))
        return false;
    const qsizetype space = line.indexOf(u' ', prefix.size());
    return space >= 0 && line.mid(space + 1).startsWith(u"Warning: ");
}

constexpr QStringView polyRejection = u"poly: : error:";

} // namespace

QString stripPrompts(OLInterpreterMode mode, QStringView text)
{
    const OLPrompts prompts = promptsOf(mode);
    if (prompts.unique) {
        // Wherever they stand: output cannot hold them.
        QString stripped = text.toString();
        stripped.remove(prompts.primary.toString()).remove(prompts.continuation.toString());
        return stripped;
    }
    switch (mode) {
    case OLMosML:
        // One prompt: what is before it may be printed output.
        if (text.endsWith(u"- "))
            text.chop(2);
        if (text.endsWith(u"Enter `quit();' to quit.\n"))
            text.chop(25);
        stripLeading(text, u"> ");
        break;
    case OLAliceML:
        if (text.endsWith(u"- "))
            text.chop(2);
        break;
    default:
        break;
    }
    return text.toString();
}

// Moscow ML's messages about a phrase: "! Toplevel input:", the phrase, a
// caret line, and what is wrong; a warning's last part begins "! Warning:".
bool isMosmlRejection(QStringView stripped)
{
    if (!stripped.startsWith(u"! Toplevel input:\n"))
        return false;
    for (QStringView line : qTokenize(stripped, u'\n')) {
        if (!line.startsWith(u'!'))
            break;
        if (line.startsWith(u"! Warning:"))
            return false;
    }
    return true;
}

bool startsAsError(OLInterpreterMode mode, QStringView stripped)
{
    switch (mode) {
    case OLMosML: return isMosmlRejection(stripped);
    case OLPolyML: return stripped.startsWith(u"Error");
    default: return false;
    }
}

bool hasErrorLine(OLInterpreterMode mode, QStringView text)
{
    const OLPrompts prompts = promptsOf(mode);
    switch (mode) {
    case OLMosML:
        // Printed output without a line feed goes before it on its line.
        return anyLine(text, {}, [](QStringView line) { return line.endsWith(u"! Uncaught exception:"); });
    case OLSmlNJ:
        // A line of the compiler that is not a warning, an exception that
        // nothing handled, or the note of an interrupted evaluation.
        return anyLine(text, {prompts.primary, prompts.continuation}, [](QStringView line) {
            return (line.startsWith(u"stdIn") && !isSmlNJWarning(line))
                || line.startsWith(u"uncaught exception ") || line == u"Interrupt";
        });
    case OLPolyML:
        // A long exception value goes on the next line: "Exception-" ends it.
        return anyLine(text, {prompts.primary, prompts.continuation}, [](QStringView line) {
            return line.startsWith(polyRejection) || line.startsWith(u"Exception- ") || line == u"Exception-"
                || line == u"Compilation interrupted";
        });
    default:
        return false;
    }
}

bool endsAsError(OLInterpreterMode mode, QStringView stripped)
{
    return mode == OLPolyML && stripped.endsWith(u"Errors\n");
}

bool isErrorOutput(OLInterpreterMode mode, QStringView stripped)
{
    return startsAsError(mode, stripped) || hasErrorLine(mode, stripped) || endsAsError(mode, stripped);
}

OLClassifiedOutput classifyOutput(OLInterpreterMode mode, QStringView text)
{
    OLClassifiedOutput result;
    result.text = stripPrompts(mode, text);
    result.error = isErrorOutput(mode, result.text);
    return result;
}

// "1.4-1.18: expression does not match pattern type:": where in the
// declaration ("line.column-line.column"), then what is wrong; a warning says
// so.
bool isAliceReport(QStringView line)
{
    const qsizetype colon = line.indexOf(u": ");
    const qsizetype dash = line.first(std::max<qsizetype>(colon, 0)).indexOf(u'-');
    const auto isPosition = [](QStringView position) {
        const qsizetype dot = position.indexOf(u'.');
        const auto digits = [](QStringView s) {
            return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) { return c.isDigit(); });
        };
        return dot > 0 && digits(position.first(dot)) && digits(position.sliced(dot + 1));
    };
    return dash > 0 && isPosition(line.first(dash)) && isPosition(line.sliced(dash + 1, colon - dash - 1))
        && !line.sliced(colon + 2).startsWith(u"warning:");
}

bool isErrorReport(OLInterpreterMode mode, QStringView line)
{
    return mode == OLAliceML
        && (isAliceReport(line) || line == u"Uncaught exception" || line == u"Evaluation interrupted");
}

QStringView rejectionMarker(OLInterpreterMode mode)
{
    return mode == OLPolyML ? polyRejection : QStringView();
}
