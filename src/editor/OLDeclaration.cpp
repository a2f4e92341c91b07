#include "editor/OLDeclaration.h"

#include "session/OLWhitespace.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QStringView>
#include <QVarLengthArray>

#include <array>
#include <string_view>

namespace {
Q_LOGGING_CATEGORY(lcScanner, "ostrel.scanner")

using Kind = OLUnclosed::Kind;

// What a word does to the cut. "local" opens a block and begins a
// declaration, but does not end the one before it.
enum class Role : quint8 { None, Starter, Local, Opener, Abstype, End, Joiner };

Role roleOf(QStringView w)
{
    switch (w.size()) {
    case 1:
        return w == u"=" ? Role::Joiner : Role::None; // "datatype t = datatype u"
    case 3:
        if (w == u"val" || w == u"fun")
            return Role::Starter;
        if (w == u"end")
            return Role::End;
        if (w == u"let" || w == u"sig")
            return Role::Opener;
        return w == u"and" ? Role::Joiner : Role::None;
    case 4:
        return w == u"type" || w == u"open" ? Role::Starter : Role::None;
    case 5:
        if (w == u"infix")
            return Role::Starter;
        if (w == u"local")
            return Role::Local;
        return w == u"where" ? Role::Joiner : Role::None;
    case 6:
        if (w == u"nonfix" || w == u"infixr")
            return Role::Starter;
        return w == u"struct" ? Role::Opener : Role::None;
    case 7:
        if (w == u"functor")
            return Role::Starter;
        if (w == u"abstype")
            return Role::Abstype;
        return w == u"sharing" ? Role::Joiner : Role::None;
    case 8:
        if (w == u"datatype")
            return Role::Starter;
        return w == u"withtype" ? Role::Joiner : Role::None;
    case 9:
        return w == u"signature" || w == u"structure" || w == u"exception" ? Role::Starter : Role::None;
    }
    return Role::None;
}

bool isStarter(Role role)
{
    return role == Role::Starter || role == Role::Abstype;
}

Kind blockKind(QStringView opener)
{
    if (opener == u"let")
        return Kind::Let;
    if (opener == u"sig")
        return Kind::Sig;
    if (opener == u"struct")
        return Kind::Struct;
    return opener == u"local" ? Kind::Local : Kind::Abstype;
}

// What a closer closes: parentheses, brackets, braces, or a block ("end").
enum Group { Parentheses, Brackets, Braces, Blocks, Groups };

Group groupOf(Kind kind)
{
    switch (kind) {
    case Kind::Parenthesis: return Parentheses;
    case Kind::Bracket: return Brackets;
    case Kind::Brace: return Braces;
    default: return Blocks;
    }
}

enum : quint8 { Alnum = 1, Symbolic = 2, Digit = 4 };
constexpr std::array<quint8, 128> asciiClasses = [] {
    std::array<quint8, 128> classes{};
    for (char c = 'a'; c <= 'z'; ++c)
        classes[std::size_t(c)] = classes[std::size_t(c - 'a' + 'A')] = Alnum;
    for (char c = '0'; c <= '9'; ++c)
        classes[std::size_t(c)] = Alnum | Digit;
    classes['_'] = classes['\''] = Alnum;
    for (char c : std::string_view("!%&$#+-/:<=>?@\\~`^|*"))
        classes[std::size_t(c)] = Symbolic;
    return classes;
}();

// Letters and digits of identifiers; any other character that is not white
// space is taken as one too, so that it never splits a word.
bool isAlnum(char16_t c)
{
    return c < 128 ? asciiClasses[c] & Alnum : !isWhitespaceOrNewline(QChar(c));
}

bool isSymbolic(char16_t c)
{
    return c < 128 && asciiClasses[c] & Symbolic;
}

bool isDigit(char16_t c)
{
    return c < 128 && asciiClasses[c] & Digit;
}

qsizetype alnumEnd(const char16_t *s, qsizetype i, qsizetype end)
{
    while (i < end && isAlnum(s[i]))
        ++i;
    return i;
}

qsizetype symbolicEnd(const char16_t *s, qsizetype i, qsizetype end)
{
    while (i < end && isSymbolic(s[i]))
        ++i;
    return i;
}

// An identifier, long identifier ("List.map", "Int.+") or type variable.
qsizetype identifierEnd(const char16_t *s, qsizetype i, qsizetype end)
{
    i = alnumEnd(s, i, end);
    while (i + 1 < end && s[i] == u'.' && (isAlnum(s[i + 1]) || isSymbolic(s[i + 1])))
        i = isAlnum(s[i + 1]) ? alnumEnd(s, i + 1, end) : symbolicEnd(s, i + 1, end);
    return i;
}

// "42", "0w1", "0xFF", "1.5e~3".
qsizetype numberEnd(const char16_t *s, qsizetype i, qsizetype end)
{
    i = alnumEnd(s, i, end);
    if (i + 1 < end && s[i] == u'.' && isDigit(s[i + 1]))
        i = alnumEnd(s, i + 1, end);
    if (i + 1 < end && s[i] == u'~' && (s[i - 1] == u'e' || s[i - 1] == u'E') && isDigit(s[i + 1]))
        i = alnumEnd(s, i + 1, end);
    return i;
}

// Past the comment that opens at `from`, or -1 when the text ends inside it.
qsizetype commentEnd(const char16_t *s, qsizetype from, qsizetype end)
{
    qsizetype depth = 0;
    qsizetype i = from;
    while (i + 1 < end) {
        if (s[i] == u'(' && s[i + 1] == u'*') {
            ++depth;
            i += 2;
        } else if (s[i] == u'*' && s[i + 1] == u')') {
            i += 2;
            if (--depth == 0)
                return i;
        } else {
            ++i;
        }
    }
    return -1;
}

// Past the string or character literal whose quote is at `quote`. A line
// end outside a gap ends it unclosed, as the interpreters that read line by
// line do, and so does the end of the text; `closed` tells.
qsizetype stringEnd(const char16_t *s, qsizetype quote, qsizetype end, bool *closed)
{
    *closed = false;
    qsizetype i = quote + 1;
    while (i < end) {
        const char16_t c = s[i];
        if (c == u'"') {
            *closed = true;
            return i + 1;
        }
        if (c == u'\n')
            return i;
        if (c != u'\\') {
            ++i;
            continue;
        }
        // An escape: \" \\ \n \ddd \uxxxx need only the next unit skipped,
        // \^C two, and a gap "\ white space \" runs across lines.
        if (++i == end)
            break;
        if (s[i] == u'^') {
            i += 2;
        } else if (isWhitespaceOrNewline(QChar(s[i]))) {
            while (i < end && isWhitespaceOrNewline(QChar(s[i])))
                ++i;
            if (i < end && s[i] == u'\\')
                ++i;
        } else {
            ++i;
        }
    }
    return end;
}

// Past the token that begins at `start` (no blank, no comment); `closed`
// tells whether a string or character literal is closed.
qsizetype tokenEnd(const char16_t *s, qsizetype start, qsizetype end, bool *closed)
{
    const char16_t c = s[start];
    *closed = true;
    if (c == u'"' || (c == u'#' && start + 1 < end && s[start + 1] == u'"'))
        return stringEnd(s, c == u'"' ? start : start + 1, end, closed);
    if (isDigit(c))
        return numberEnd(s, start, end);
    if (isAlnum(c))
        return identifierEnd(s, start, end);
    if (isSymbolic(c))
        return symbolicEnd(s, start, end);
    return start + 1;
}

struct Open {
    Kind kind;
    qsizetype at;
};
} // namespace

QString OLDeclaration::incompleteReason(qsizetype firstLine) const
{
    if (!m_unclosed)
        return QString();
    const QStringView before = QStringView(m_text).first(
        qBound(qsizetype(0), qsizetype(m_unclosed->location - m_location), m_text.size()));
    const qsizetype lineStart = before.lastIndexOf(u'\n') + 1;
    qsizetype column = 1;
    for (const QChar c : before.sliced(lineStart))
        column += c.isLowSurrogate() ? 0 : 1;
    const auto say = [&](const char *text) {
        return QCoreApplication::translate("OLDeclaration", text).arg(firstLine + before.count(u'\n')).arg(column);
    };
    const auto block = [&](const char *opener) {
        return say(QT_TRANSLATE_NOOP("OLDeclaration",
                                     "Incomplete declaration: the \"%3\" opened at line %1, column %2 has no "
                                     "matching \"end\"."))
            .arg(QLatin1StringView(opener));
    };
    switch (m_unclosed->kind) {
    case Kind::Comment:
        return say(QT_TRANSLATE_NOOP("OLDeclaration",
                                     "Incomplete declaration: the comment opened at line %1, column %2 is never "
                                     "closed. A comment ends with \"*)\", and comments nest: each \"(*\" inside it "
                                     "needs its own \"*)\"."));
    case Kind::String:
        return say(QT_TRANSLATE_NOOP("OLDeclaration",
                                     "Incomplete declaration: the string opened at line %1, column %2 is not closed "
                                     "on its line. End it with a double quote (\"); to go on with it on the next "
                                     "line, end this line with \\ and begin the next one with \\."));
    case Kind::Character:
        return say(QT_TRANSLATE_NOOP("OLDeclaration",
                                     "Incomplete declaration: the character literal opened at line %1, column %2 is "
                                     "not closed on its line; a character is written #\"c\"."));
    case Kind::Parenthesis:
        return say(QT_TRANSLATE_NOOP("OLDeclaration",
                                     "Incomplete declaration: the parenthesis \"(\" opened at line %1, column %2 is "
                                     "never closed with \")\"."));
    case Kind::Bracket:
        return say(QT_TRANSLATE_NOOP("OLDeclaration",
                                     "Incomplete declaration: the bracket \"[\" opened at line %1, column %2 is never "
                                     "closed with \"]\"."));
    case Kind::Brace:
        return say(QT_TRANSLATE_NOOP("OLDeclaration",
                                     "Incomplete declaration: the brace \"{\" opened at line %1, column %2 is never "
                                     "closed with \"}\"."));
    case Kind::Let: return block("let");
    case Kind::Local: return block("local");
    case Kind::Struct: return block("struct");
    case Kind::Sig: return block("sig");
    case Kind::Abstype: return block("abstype");
    }
    return QString();
}

QString OLDeclaration::description() const
{
    // Signed, as the log line has always shown them. One arg() call, so a
    // "%1" inside the text stays as it is.
    return QStringLiteral("OLDeclaration {\n\t%1\nat\t%2 , %3\n}")
        .arg(m_text, QString::number(qint64(m_location)), QString::number(qint64(m_length)));
}

std::optional<OLDeclaration> nextDeclaration(const QString &text, qsizetype interpreted)
{
    const qsizetype end = text.size();
    if (interpreted < 0 || interpreted >= end)
        return std::nullopt;
    const auto *s = reinterpret_cast<const char16_t *>(text.utf16());

    // What the first token made of it; undecided while only closers with
    // nothing to close have come.
    enum class Mode { None, Undecided, Declaration, Expression } mode = Mode::None;
    QVarLengthArray<Open, 16> open;
    std::array<qsizetype, Groups> openIn{}; // members of `open` in each group
    bool afterSemicolon = false;            // a ";" at depth zero: the next token begins another
    bool joined = false;                    // the last token lets a starter word go on with it
    std::optional<OLUnclosed> unclosed;     // the first string not closed on its line
    qsizetype commentAt = -1;               // the comment the text ends in
    qsizetype tokensEnd = interpreted;      // the end of the last token so far

    const auto cut = [&](qsizetype at) {
        OLDeclaration declaration;
        declaration.setLocation(quint64(interpreted));
        declaration.setLength(quint64(at - interpreted));
        declaration.setTokensEnd(quint64(commentAt >= 0 ? at : tokensEnd));
        declaration.setText(text.sliced(interpreted, at - interpreted));
        declaration.setUnclosed(unclosed);
        return declaration;
    };
    // A declaration that ends before another is logged.
    const auto cutBefore = [&](qsizetype next) {
        const OLDeclaration declaration = cut(next);
        qCDebug(lcScanner).nospace().noquote() << declaration.text();
        return declaration;
    };
    // Closes the innermost member of `group` and whatever is open inside it;
    // a closer with nothing to close is ignored.
    const auto close = [&](Group group) {
        if (openIn[group] == 0)
            return;
        for (;;) {
            const Group closed = groupOf(open.last().kind);
            open.removeLast();
            --openIn[closed];
            if (closed == group)
                return;
        }
    };
    const auto push = [&](Kind kind, qsizetype at) {
        open.append({kind, at});
        ++openIn[groupOf(kind)];
    };

    qsizetype pos = interpreted;
    while (pos < end) {
        const char16_t c = s[pos];
        if (isWhitespaceOrNewline(QChar(c))) {
            ++pos;
            continue;
        }
        if (c == u'(' && pos + 1 < end && s[pos + 1] == u'*') {
            const qsizetype after = commentEnd(s, pos, end);
            if (after >= 0) {
                pos = after;
                continue;
            }
            // What comes after a finished declaration does not spoil it.
            if (afterSemicolon)
                return cutBefore(pos);
            if (mode == Mode::None)
                mode = Mode::Undecided;
            commentAt = pos;
            break;
        }
        if (c == u';' && mode == Mode::None) {
            ++pos;
            continue;
        }

        // One token from `start` to `pos`.
        const qsizetype start = pos;
        bool closed;
        pos = tokenEnd(s, start, end, &closed);
        if (!closed && !unclosed)
            unclosed = OLUnclosed{c == u'"' ? Kind::String : Kind::Character, quint64(start)};
        const QStringView token(s + start, pos - start);
        const Role role = (isAlnum(c) && !isDigit(c)) || isSymbolic(c) ? roleOf(token) : Role::None;
        std::optional<Group> closes;
        if (c == u')' || c == u']' || c == u'}')
            closes = c == u')' ? Parentheses : c == u']' ? Brackets : Braces;
        else if (role == Role::End)
            closes = Blocks;

        if (mode != Mode::None && open.empty()
            && (afterSemicolon ? c != u';' : mode == Mode::Declaration && isStarter(role) && !joined))
            return cutBefore(start);
        if (mode == Mode::None || mode == Mode::Undecided) {
            if (closes && openIn[*closes] == 0)
                mode = Mode::Undecided;
            else if (isStarter(role) || role == Role::Local)
                mode = Mode::Declaration;
            else if (c != u';')
                mode = Mode::Expression;
        }

        if (c == u'(')
            push(Kind::Parenthesis, start);
        else if (c == u'[')
            push(Kind::Bracket, start);
        else if (c == u'{')
            push(Kind::Brace, start);
        else if (role == Role::Opener || role == Role::Local || role == Role::Abstype)
            push(blockKind(token), start);
        else if (closes)
            close(*closes);
        else if (c == u';' && open.empty())
            afterSemicolon = true;
        joined = role == Role::Joiner;
        tokensEnd = pos;
    }

    if (mode == Mode::None)
        return std::nullopt;
    if (!unclosed && commentAt >= 0)
        unclosed = OLUnclosed{Kind::Comment, quint64(commentAt)};
    else if (!unclosed && !open.empty())
        unclosed = OLUnclosed{open.last().kind, quint64(open.last().at)};
    return cut(end);
}

QList<OLToken> tokensOf(QStringView text)
{
    const auto *s = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype end = text.size();
    QList<OLToken> tokens;
    for (qsizetype pos = 0; pos < end;) {
        if (isWhitespaceOrNewline(QChar(s[pos]))) {
            ++pos;
        } else if (s[pos] == u'(' && pos + 1 < end && s[pos + 1] == u'*') {
            pos = commentEnd(s, pos, end);
            if (pos < 0)
                break;
        } else {
            bool closed;
            const qsizetype to = tokenEnd(s, pos, end, &closed);
            tokens.append({pos, to});
            pos = to;
        }
    }
    return tokens;
}
