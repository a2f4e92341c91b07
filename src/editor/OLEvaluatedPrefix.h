#pragma once

#include <QString>

#include <limits>
#include <vector>

// The declarations of the editor text that the interpreter holds, from the
// start of the text, each by where it ends and where its last token ends
// (blanks and comments may follow it); and what a retract keeps of them.
//
// The interpreter cannot forget a declaration. A retract that keeps fewer
// than it holds (a declaration on its way counts) needs a new interpreter,
// into which the kept declarations are replayed one after another: until the
// replay is over, only the first replayed() of them stand in the interpreter.
// A retract that keeps those and the one on its way only shortens the replay,
// so retracts in quick succession cost one replay.
class OLEvaluatedPrefix
{
public:
    struct Declaration {
        qint64 end;       // where its text ends
        qint64 tokensEnd; // where its last token ends
    };
    static constexpr qint64 anywhere = std::numeric_limits<qint64>::max();

    qsizetype count() const { return qsizetype(m_declarations.size()); }
    qsizetype replayed() const { return m_replayed; }
    bool isReplaying() const { return m_replayed < count(); }
    // Where the first n declarations end.
    qint64 endOf(qsizetype n) const { return n > 0 ? m_declarations[size_t(n - 1)].end : 0; }
    // The end of what the interpreter holds, and of all that is kept.
    qint64 interpreted() const { return endOf(m_replayed); }
    qint64 end() const { return endOf(count()); }

    // The declaration after interpreted() has been evaluated: the next of the
    // replay (as it was kept), or one more.
    void evaluated(Declaration declaration);

    // How many an edit at `location` keeps, `text` as it is after the edit:
    // those whose tokens all stand before it, as long as the edited text still
    // ends the last of them there ("val a = 1" with a "0" typed after it, or
    // with an expression on the next line, is another declaration).
    qsizetype keptByEdit(const QString &text, qint64 location) const;
    // How many have all their tokens at or before `position`.
    qsizetype endingBy(qint64 position) const;
    // How many begin before `position`.
    qsizetype startingBefore(qint64 position) const;

    // Keeps the first `keep`, the last of them ending at `end` at the latest.
    // Answers whether a new interpreter must take the old one's place: the
    // old one holds more than the kept ones, the declaration on its way
    // (`sent`) included. The replay then begins with the first.
    bool retract(qsizetype keep, qint64 end, bool sent);
    void clear();

private:
    std::vector<Declaration> m_declarations;
    qsizetype m_replayed = 0;
};
