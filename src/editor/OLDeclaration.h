#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// What a declaration leaves open: no interpreter can take it as it stands,
// and one that prints no continuation prompt would wait for ever.
struct OLUnclosed {
    enum class Kind { Comment, String, Character, Parenthesis, Bracket, Brace, Let, Local, Struct, Sig, Abstype };
    Kind kind;
    // Where it opens, in UTF-16 code units of the whole text.
    quint64 location;
};

// One piece of the editor text: its characters and where they stand, counted
// in UTF-16 code units.
class OLDeclaration
{
public:
    QString text() const { return m_text; }
    void setText(const QString &text) { m_text = text; }
    quint64 location() const { return m_location; }
    void setLocation(quint64 location) { m_location = location; }
    quint64 length() const { return m_length; }
    void setLength(quint64 length) { m_length = length; }
    // Where its last token ends: blanks and comments may follow up to its end.
    quint64 tokensEnd() const { return m_tokensEnd; }
    void setTokensEnd(quint64 end) { m_tokensEnd = end; }

    // Set when the tokens prove the declaration incomplete: the text ends
    // inside a comment, or inside a bracket or a let/local/struct/sig/abstype
    // block opened in it, or a string or character literal in it is not
    // closed on its line.
    const std::optional<OLUnclosed> &unclosed() const { return m_unclosed; }
    void setUnclosed(const std::optional<OLUnclosed> &unclosed) { m_unclosed = unclosed; }
    // What is left open and where, in words for the user; empty when nothing
    // is. `firstLine` is the line, counted from 1, on which the declaration
    // begins.
    QString incompleteReason(qsizetype firstLine) const;

    QString description() const;

private:
    QString m_text;
    quint64 m_location = 0;
    quint64 m_length = 0;
    quint64 m_tokensEnd = 0;
    std::optional<OLUnclosed> m_unclosed;
};

// Cuts the next top-level declaration out of text[interpreted, end), reading
// Standard ML tokens (comments and strings hide what they hold). It begins at
// interpreted: leading blanks, comments and semicolons travel with it. Its
// first token makes it a declaration (a starter word or "local") or a
// top-level expression. At nesting depth zero (outside brackets and
// let/local/struct/sig/abstype ... end) it ends before the first token after
// a ";", and a declaration also before the next starter word that does not
// follow "=", "where", "withtype", "and" or "sharing"; else it runs to the
// end of the text. None when the rest holds no token, or when interpreted
// lies outside the text. Reads only as far as the cut.
std::optional<OLDeclaration> nextDeclaration(const QString &text, qsizetype interpreted);

// Where a token of a Standard ML text stands, in UTF-16 code units.
struct OLToken {
    qsizetype from;
    qsizetype to;
};

// The tokens of a text as the scanner reads them; blanks and comments are
// skipped, and a comment left open ends the text.
QList<OLToken> tokensOf(QStringView text);
