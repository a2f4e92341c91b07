#pragma once

#include <QString>

#include <optional>

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

    QString description() const;

private:
    QString m_text;
    quint64 m_location = 0;
    quint64 m_length = 0;
};

// Cuts the next top-level declaration out of text[interpreted, end): from
// interpreted up to the next starter word that stands at nesting depth zero
// after the first one, or to the end of the text. Words are the pieces
// between white-space-and-newline characters; nothing is parsed, so comments
// and strings count like any other words. None when the rest holds no starter
// word at depth zero. Reads only as far as the cut.
std::optional<OLDeclaration> nextDeclaration(const QString &text, qsizetype interpreted);
