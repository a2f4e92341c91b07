#include "session/OLErrorLocator.h"

#include "editor/OLDeclaration.h"
#include "session/OLWhitespace.h"

#include <QRegularExpression>

#include <algorithm>
#include <optional>

namespace {
// A message's tip shows at most this many of its lines.
constexpr qsizetype messageLines = 24;

struct Line {
    QStringView text;
    qsizetype from; // in the whole text
};

QList<Line> linesOf(QStringView text)
{
    QList<Line> lines;
    for (qsizetype from = 0; from < text.size();) {
        const qsizetype end = text.indexOf(u'\n', from);
        const qsizetype to = end < 0 ? text.size() : end;
        lines.append({text.sliced(from, to - from), from});
        from = to + 1;
    }
    return lines;
}

// The UTF-8 bytes of a unit; a surrogate pair counts on its first unit.
int utf8Bytes(QChar unit)
{
    const char16_t u = unit.unicode();
    return u < 0x80 ? 1 : u < 0x800 ? 2 : unit.isLowSurrogate() ? 0 : unit.isHighSurrogate() ? 4 : 3;
}

qint64 utf8Size(QStringView text)
{
    qint64 size = 0;
    for (QChar unit : text)
        size += utf8Bytes(unit);
    return size;
}

// The unit of `text` whose UTF-8 form holds byte `column`, a tab reaching
// to the next multiple of `tabStop` when one is given; nothing beyond the end.
std::optional<qsizetype> unitAtColumn(QStringView text, qint64 column, int tabStop = 0)
{
    if (column < 0)
        return std::nullopt;
    qint64 at = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isLowSurrogate())
            continue;
        at += tabStop > 0 && text[i] == u'\t' ? tabStop - at % tabStop : utf8Bytes(text[i]);
        if (at > column)
            return i;
    }
    return at == column ? std::optional(text.size()) : std::nullopt;
}

// A reported message before it is placed.
struct Reported {
    bool warning = false;
    qsizetype from = 0; // its lines in the answer
    qsizetype to = 0;
    QString message;
    // SML/NJ and Alice ML: the line and column of both ends; no end line
    // for a single position.
    qint64 line = 0, column = 0, endLine = -1, endColumn = 0;
    QStringView excerpt;     // Poly ML
    QList<QStringView> echo; // Moscow ML: the lines, with the caret line last when there is one
};

// The lines of a message after its first, up to the first that `goesOn` refuses.
template<typename GoesOn>
qsizetype messageEnd(const QList<Line> &lines, qsizetype first, GoesOn goesOn)
{
    qsizetype last = first + 1;
    while (last < lines.size() && goesOn(lines[last].text))
        ++last;
    return last;
}

// The message's text: `head`, then its further lines, at most messageLines.
QString messageText(QStringView head, const QList<Line> &lines, qsizetype first, qsizetype end)
{
    QStringList parts{head.toString()};
    for (qsizetype i = first; i < end && parts.size() < messageLines; ++i)
        parts.append(lines[i].text.toString());
    return parts.join(u'\n').trimmed();
}

void setSpan(Reported &reported, const QList<Line> &lines, qsizetype first, qsizetype end)
{
    reported.from = lines[first].from;
    reported.to = lines[end - 1].from + lines[end - 1].text.size();
}

bool startsIndented(QStringView line)
{
    return !line.isEmpty() && (line.front() == u' ' || line.front() == u'\t');
}

// Each message that begins at a line `header` matches and goes on over the
// lines `goesOn` takes: its span set, then `fill` reads the rest of it.
template<typename GoesOn, typename Fill>
QList<Reported> messagesIn(const QList<Line> &lines, const QRegularExpression &header, GoesOn goesOn, Fill fill)
{
    QList<Reported> found;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch match = header.match(lines[i].text);
        if (!match.hasMatch())
            continue;
        const qsizetype end = messageEnd(lines, i, goesOn);
        Reported reported;
        setSpan(reported, lines, i, end);
        fill(reported, match, i, end);
        found.append(reported);
        i = end - 1;
    }
    return found;
}

// "stdIn:2.5-3.10 Error: ..." and its indented lines.
QList<Reported> smlNJMessages(const QList<Line> &lines)
{
    static const QRegularExpression header(
        QStringLiteral("^stdIn:(\\d+)\\.(\\d+)(?:-(\\d+)\\.(\\d+))? (Error|Warning): "));
    return messagesIn(lines, header, startsIndented,
                      [&](Reported &reported, const QRegularExpressionMatch &match, qsizetype i, qsizetype end) {
        reported.warning = match.capturedView(5) == u"Warning";
        reported.line = match.capturedView(1).toLongLong();
        reported.column = match.capturedView(2).toLongLong();
        if (match.hasCaptured(3)) {
            reported.endLine = match.capturedView(3).toLongLong();
            reported.endColumn = match.capturedView(4).toLongLong();
        }
        reported.message = messageText(lines[i].text.sliced(match.capturedStart(5)), lines, i + 1, end);
    });
}

// "poly: : error: ...", its indented lines and the "Found near" excerpt.
QList<Reported> polyMessages(QStringView answer, const QList<Line> &lines)
{
    static const QRegularExpression header(QStringLiteral("^[^\\s:]*: : (error|warning): "));
    const auto goesOn = [](QStringView line) { return startsIndented(line) || line.startsWith(u"Found near"); };
    return messagesIn(lines, header, goesOn,
                      [&](Reported &reported, const QRegularExpressionMatch &match, qsizetype i, qsizetype end) {
        reported.warning = match.capturedView(1) == u"warning";
        reported.message = messageText(lines[i].text.sliced(match.capturedStart(1)), lines, i + 1, end);
        reported.message[0] = reported.message[0].toUpper();
        const QStringView block = answer.sliced(reported.from, reported.to - reported.from);
        const QStringView near = u"Found near";
        if (const qsizetype at = block.indexOf(near); at >= 0)
            reported.excerpt = block.sliced(at + near.size());
    });
}

// "! Toplevel input:", the echoed lines, carets or dots, what is wrong.
QList<Reported> mosmlMessages(const QList<Line> &lines)
{
    static const QRegularExpression header(QStringLiteral("^! Toplevel input:$"));
    const auto goesOn = [](QStringView line) { return line.startsWith(u'!') && line != u"! Toplevel input:"; };
    return messagesIn(lines, header, goesOn,
                      [&](Reported &reported, const QRegularExpressionMatch &, qsizetype i, qsizetype end) {
        for (qsizetype k = i + 1; k < end; ++k) {
            reported.echo.append(lines[k].text.sliced(qMin<qsizetype>(2, lines[k].text.size())));
            reported.warning = reported.warning || lines[k].text.startsWith(u"! Warning:");
        }
    });
}

// "2.2-3.5: ..." (after continuation prompts) and the lines up to the next such.
QList<Reported> aliceMessages(const QList<Line> &lines)
{
    static const QRegularExpression header(QStringLiteral("^\\s*(\\d+)\\.(\\d+)-(\\d+)\\.(\\d+): "));
    const auto goesOn = [](QStringView line) {
        return !line.trimmed().isEmpty() && !line.startsWith(u"- ") && !header.match(line).hasMatch();
    };
    return messagesIn(lines, header, goesOn,
                      [&](Reported &reported, const QRegularExpressionMatch &match, qsizetype i, qsizetype end) {
        reported.line = match.capturedView(1).toLongLong();
        reported.column = match.capturedView(2).toLongLong();
        reported.endLine = match.capturedView(3).toLongLong();
        reported.endColumn = match.capturedView(4).toLongLong();
        const QStringView head = lines[i].text.sliced(match.capturedEnd());
        reported.warning = head.startsWith(u"warning:");
        reported.message = messageText(head, lines, i + 1, end);
    });
}

using Place = std::optional<std::pair<qsizetype, qsizetype>>;

// Moscow ML: the echoed lines as a block of the commit's lines. A single
// line has a caret line under it; the first line of several has dots for
// the bytes before the place, the last dots for the bytes after it. What
// follows them is the message.
Place mosmlPlace(Reported &reported, const QList<Line> &lines)
{
    const QList<QStringView> &echo = reported.echo;
    const auto isCarets = [](QStringView line) {
        return line.contains(u'^') && std::all_of(line.begin(), line.end(), [](QChar c) {
                   return c == u'^' || c == u' ' || c == u'\t';
               });
    };
    const auto takeMessage = [&](qsizetype from) {
        QStringList parts;
        for (qsizetype k = from; k < echo.size() && parts.size() < messageLines; ++k)
            parts.append(echo[k].toString());
        reported.message = parts.join(u'\n').trimmed();
    };
    if (echo.size() >= 2 && isCarets(echo[1])) {
        takeMessage(2);
        for (const Line &line : lines) {
            if (line.text != echo[0])
                continue;
            const qsizetype first = echo[1].indexOf(u'^');
            const std::optional<qsizetype> from = unitAtColumn(line.text, first);
            const std::optional<qsizetype> to = unitAtColumn(line.text, first + echo[1].count(u'^'));
            if (from && to)
                return std::pair(line.from + *from, line.from + *to);
        }
        return std::nullopt;
    }
    const auto dots = [](QStringView text, bool leading) {
        qsizetype n = 0;
        while (n < text.size() && text[leading ? n : text.size() - 1 - n] == u'.')
            ++n;
        return n;
    };
    // The most echoed lines that are a block of the commit's lines; what follows is the message.
    for (qsizetype count = echo.size() - 1; count >= 2; --count) {
        const QStringView first = echo[0], last = echo[count - 1];
        const qsizetype before = dots(first, true);
        const qsizetype after = dots(last, false);
        const QStringView head = first.sliced(before), tail = last.first(last.size() - after);
        if (head.isEmpty() || tail.isEmpty())
            continue;
        for (qsizetype at = 0; at + count <= lines.size(); ++at) {
            const QStringView top = lines[at].text, bottom = lines[at + count - 1].text;
            bool same = top.endsWith(head) && utf8Size(top) == before + utf8Size(head) && bottom.startsWith(tail)
                && utf8Size(bottom) == utf8Size(tail) + after;
            for (qsizetype k = 1; same && k + 1 < count; ++k)
                same = lines[at + k].text == echo[k];
            if (same) {
                takeMessage(count);
                return std::pair(lines[at].from + top.size() - head.size(), lines[at + count - 1].from + tail.size());
            }
        }
    }
    takeMessage(1);
    return std::nullopt;
}

// Poly ML: the excerpt's tokens among the commit's, "..." standing for any
// tokens; ";" and brackets may be missing on either side (but for the
// excerpt's first and last), and "op" in the commit. Of the matches, the one
// that ends first, as short as it can be.
Place polyPlace(QStringView excerpt, QStringView text)
{
    const QList<OLToken> patternTokens = tokensOf(excerpt);
    const QList<OLToken> textTokens = tokensOf(text);
    const auto tokenText = [](QStringView of, const OLToken &token) {
        return of.sliced(token.from, token.to - token.from);
    };
    // The pattern: tokens, an empty one standing for "...".
    QList<QStringView> pattern;
    for (qsizetype i = 0; i < patternTokens.size(); ++i) {
        if (i + 2 < patternTokens.size() && tokenText(excerpt, patternTokens[i]) == u"."
            && tokenText(excerpt, patternTokens[i + 2]) == u"."
            && patternTokens[i + 2].to == patternTokens[i].from + 3) {
            pattern.append(QStringView());
            i += 2;
        } else {
            pattern.append(tokenText(excerpt, patternTokens[i]));
        }
    }
    const auto optional = [](QStringView token) { return token == u";" || token == u"(" || token == u")"; };
    const auto same = [](QStringView a, QStringView b) {
        const auto literal = [](QStringView t) { return t.startsWith(u'"') ? 1 : t.startsWith(u"#\"") ? 2 : 0; };
        return a == b || (literal(a) != 0 && literal(a) == literal(b));
    };
    const qsizetype m = pattern.size();
    if (m == 0 || std::all_of(pattern.begin(), pattern.end(), [](QStringView t) { return t.isEmpty(); }))
        return std::nullopt;
    // starts[k]: the latest token where a match of the first k pattern items
    // that ends here begins; -1 for none.
    std::vector<qsizetype> starts(m + 1, -1), next(m + 1);
    // The first and the last token are never skipped: a match begins and ends with what the excerpt does.
    const auto close = [&](std::vector<qsizetype> &s) {
        for (qsizetype k = 0; k < m; ++k) {
            if (pattern[k].isEmpty() || (k > 0 && k + 1 < m && optional(pattern[k])))
                s[k + 1] = std::max(s[k + 1], s[k]);
        }
    };
    for (qsizetype t = 0; t <= textTokens.size(); ++t) {
        starts[0] = t;
        close(starts);
        if (starts[m] >= 0 && starts[m] < t)
            return std::pair(textTokens[starts[m]].from, textTokens[t - 1].to);
        if (t == textTokens.size())
            break;
        const QStringView token = tokenText(text, textTokens[t]);
        std::fill(next.begin(), next.end(), -1);
        for (qsizetype k = 0; k <= m; ++k) {
            if (starts[k] < 0)
                continue;
            if (k < m && !pattern[k].isEmpty() && same(pattern[k], token))
                next[k + 1] = std::max(next[k + 1], starts[k]);
            if (k > 0 && (pattern[k - 1].isEmpty() || (k < m && (optional(token) || token == u"op"))))
                next[k] = std::max(next[k], starts[k]);
        }
        starts.swap(next);
    }
    return std::nullopt;
}

// Alice ML: lines from the commit's first, columns from 0.
Place alicePlace(const Reported &reported, const QList<Line> &lines)
{
    const auto at = [&](qint64 line, qint64 column) -> std::optional<qsizetype> {
        if (line < 1 || line > lines.size())
            return std::nullopt;
        const Line &l = lines[line - 1];
        const std::optional<qsizetype> unit = unitAtColumn(l.text, column, 8);
        return unit ? std::optional(l.from + *unit) : std::nullopt;
    };
    const std::optional<qsizetype> from = at(reported.line, reported.column);
    const std::optional<qsizetype> to = at(reported.endLine, reported.endColumn);
    return from && to ? Place(std::pair(*from, *to)) : std::nullopt;
}
} // namespace

OLErrorLocator::OLErrorLocator(OLInterpreterMode mode)
    : m_mode(mode)
{
}

QList<OLErrorLocation> OLErrorLocator::locate(QStringView answer, QStringView text, QStringView end, bool error) const
{
    const QList<Line> answerLines = linesOf(answer);
    QList<Reported> reported;
    switch (m_mode) {
    case OLSmlNJ: reported = smlNJMessages(answerLines); break;
    case OLPolyML: reported = polyMessages(answer, answerLines); break;
    case OLMosML: reported = mosmlMessages(answerLines); break;
    case OLAliceML: reported = aliceMessages(answerLines); break;
    default: break;
    }
    // Places are looked for in the text as written, and kept within the
    // user's part. Most answers name none: a long commit is not copied then.
    QString written;
    if (!reported.isEmpty()) {
        written = text.toString();
        written += end;
    }
    const QList<Line> lines = linesOf(written);
    // SML/NJ: a line and column back to the position it read, and on to the
    // commit, which it began to read at m_next; the commit's own line ends
    // come after those read before it.
    const auto smlNJAt = [&](qint64 line, qint64 column) -> std::optional<qsizetype> {
        const qint64 before = qint64(m_lineEnds.size());
        if (line < 1 || line - 2 - before >= lines.size() - 1)
            return std::nullopt;
        const qint64 lineEnd = line == 1 ? 0
            : line - 2 < before            ? m_lineEnds[line - 2]
                                           : m_next + utf8Size(written.first(lines[line - 1 - before].from - 1));
        return unitAtColumn(written, lineEnd + column - m_next);
    };
    // The place of a single position: the token there.
    const auto tokenAt = [text](qsizetype at) {
        const QList<OLToken> tokens = tokensOf(text);
        const auto token = std::find_if(tokens.begin(), tokens.end(), [at](const OLToken &t) { return t.to > at; });
        return token != tokens.end() && token->from <= at ? token->to : at + 1;
    };

    QList<OLErrorLocation> located;
    bool anError = false;
    for (Reported &message : reported) {
        Place place;
        switch (m_mode) {
        case OLSmlNJ:
            if (const std::optional<qsizetype> from = smlNJAt(message.line, message.column)) {
                const std::optional<qsizetype> to =
                    message.endLine < 0 ? tokenAt(*from) : smlNJAt(message.endLine, message.endColumn);
                if (to)
                    place = std::pair(*from, *to);
            }
            break;
        case OLPolyML: place = polyPlace(message.excerpt, text); break;
        case OLMosML: place = mosmlPlace(message, lines); break;
        case OLAliceML: place = alicePlace(message, lines); break;
        default: break;
        }
        OLErrorLocation location{message.warning, message.message};
        if (place && place->first <= place->second && place->first < text.size()) {
            location.exact = true;
            location.from = place->first;
            location.to = std::clamp(place->second, place->first + 1, text.size());
        }
        location.shownFrom = message.from;
        location.shownTo = message.to;
        anError = anError || !message.warning;
        located.append(location);
    }
    if (error && !anError) {
        OLErrorLocation location{false, answer.trimmed().toString()};
        location.shownTo = answer.size();
        located.append(location);
    }
    // Not found: the commit's text but the blanks around it.
    for (OLErrorLocation &location : located) {
        if (location.exact)
            continue;
        location.from = 0;
        location.to = text.size();
        while (location.from < location.to && isWhitespaceOrNewline(text[location.from]))
            ++location.from;
        while (location.to > location.from && isWhitespaceOrNewline(text[location.to - 1]))
            --location.to;
    }
    return located;
}

void OLErrorLocator::commitDone(QStringView text, QStringView end, const QList<OLErrorLocation> &messages, bool error)
{
    if (m_mode != OLSmlNJ)
        return;
    // A rejected phrase was read up to its ";", and the rest of the input dropped.
    qsizetype readTo = text.size();
    if (error) {
        const auto rejected = std::find_if(messages.begin(), messages.end(),
                                           [](const OLErrorLocation &m) { return !m.warning && m.exact; });
        const QString whole = text.toString();
        for (qsizetype at = 0; const std::optional<OLDeclaration> phrase = nextDeclaration(whole, at);) {
            at = qsizetype(phrase->location() + phrase->length());
            if (rejected == messages.end() ? at < whole.size() : at <= rejected->from)
                continue;
            const QString phraseText = phrase->text();
            const QList<OLToken> tokens = tokensOf(phraseText);
            const auto semicolon = std::find_if(tokens.rbegin(), tokens.rend(), [&](const OLToken &t) {
                return QStringView(phraseText).sliced(t.from, t.to - t.from) == u";";
            });
            if (semicolon != tokens.rend())
                readTo = qsizetype(phrase->location()) + semicolon->from;
            break;
        }
    }
    qint64 position = m_next;
    for (QStringView part : {text.first(readTo), error ? QStringView() : end}) {
        for (QChar unit : part) {
            if (unit == u'\n')
                m_lineEnds.push_back(position);
            position += utf8Bytes(unit);
        }
    }
    m_next = error ? 2 : position;
}
