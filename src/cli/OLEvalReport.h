#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdio>
#include <optional>

class OLDeclaration;

// One piece of what the interpreter answered, as the console would show it.
struct OLEvalPiece {
    QString text;
    bool error = false;
};

// One declaration of the file, and what became of it.
struct OLEvalRecord {
    quint64 location = 0; // UTF-16 code units into the editor's text
    quint64 length = 0;
    qsizetype line = 1;     // of its first character, 1-based
    qsizetype lastLine = 1; // of its last character that is not white space
    QString text;
    std::optional<bool> accepted; // none: not evaluated (--split)
    QList<OLEvalPiece> answer;

    QString answerText() const;
};

// Line numbers of positions in a text whose line ends are all "\n" (the
// editor's form), for positions that never go back: the count goes on from
// the last position asked, so stepping through a file stays linear.
class OLLineCounter
{
public:
    explicit OLLineCounter(const QString &text)
        : m_text(text)
    {
    }

    OLEvalRecord recordFor(const OLDeclaration &declaration);

private:
    qsizetype lineAt(qsizetype position);

    const QString &m_text;
    qsizetype m_position = 0;
    qsizetype m_line = 1;
};

// Writes records as they come: for people, or as JSON Lines.
class OLEvalPrinter
{
public:
    OLEvalPrinter(std::FILE *out, const QString &fileName, bool json, bool colour);

    // Buffered: flush() writes out what is printed.
    void print(const OLEvalRecord &record);
    void flush();

    // The forms, without writing them.
    static QByteArray jsonLine(const OLEvalRecord &record);
    QByteArray peopleText(const OLEvalRecord &record) const;

private:
    std::FILE *m_out;
    QString m_fileName;
    bool m_json;
    bool m_colour;
};
