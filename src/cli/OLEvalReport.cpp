#include "cli/OLEvalReport.h"

#include "editor/OLDeclaration.h"
#include "session/OLWhitespace.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {
constexpr QLatin1StringView indent{"    "};

// Terminal colours (SGR).
constexpr QLatin1StringView green{"\x1b[32m"};
constexpr QLatin1StringView red{"\x1b[31m"};
constexpr QLatin1StringView boldRed{"\x1b[1;31m"};
constexpr QLatin1StringView plain{"\x1b[0m"};

// Every line of text indented; a line end closes the last line.
QString indented(QStringView text)
{
    QString result;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        end = end < 0 ? text.size() : end + 1;
        result += indent;
        result += text.sliced(start, end - start);
        start = end;
    }
    if (!result.isEmpty() && !result.endsWith(u'\n'))
        result += u'\n';
    return result;
}
} // namespace

QString OLEvalRecord::answerText() const
{
    QString text;
    for (const OLEvalPiece &piece : answer)
        text += piece.text;
    return text;
}

qsizetype OLLineCounter::lineAt(qsizetype position)
{
    Q_ASSERT(position >= m_position);
    m_line += QStringView(m_text).sliced(m_position, position - m_position).count(u'\n');
    m_position = position;
    return m_line;
}

OLEvalRecord OLLineCounter::recordFor(const OLDeclaration &declaration)
{
    OLEvalRecord record;
    record.location = declaration.location();
    record.length = declaration.length();
    record.text = declaration.text();
    record.line = lineAt(qsizetype(record.location));
    qsizetype last = record.text.size();
    while (last > 0 && isWhitespaceOrNewline(record.text.at(last - 1)))
        --last;
    record.lastLine = record.line + QStringView(record.text).first(last).count(u'\n');
    return record;
}

OLEvalPrinter::OLEvalPrinter(std::FILE *out, const QString &fileName, bool json, bool colour)
    : m_out(out)
    , m_fileName(fileName)
    , m_json(json)
    , m_colour(colour)
{
}

void OLEvalPrinter::print(const OLEvalRecord &record)
{
    const QByteArray bytes = m_json ? jsonLine(record) : peopleText(record);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out);
}

void OLEvalPrinter::flush()
{
    std::fflush(m_out);
}

QByteArray OLEvalPrinter::jsonLine(const OLEvalRecord &record)
{
    QJsonObject object{
        {QStringLiteral("line"), record.line},
        {QStringLiteral("location"), qint64(record.location)},
        {QStringLiteral("length"), qint64(record.length)},
    };
    if (record.accepted) {
        object.insert(QStringLiteral("status"), *record.accepted ? QStringLiteral("accepted") : QStringLiteral("failed"));
        object.insert(QStringLiteral("answer"), record.answerText());
    } else {
        object.insert(QStringLiteral("text"), record.text);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray OLEvalPrinter::peopleText(const OLEvalRecord &record) const
{
    // Line ends stay outside the colour, so that indenting adds no line.
    const auto coloured = [this](QStringView text, QLatin1StringView colour) {
        if (!m_colour)
            return text.toString();
        qsizetype end = text.size();
        while (end > 0 && text.at(end - 1) == u'\n')
            --end;
        QString result = colour;
        result += text.first(end);
        result += plain;
        result += text.sliced(end);
        return result;
    };
    QString lines = QString::number(record.line);
    if (record.lastLine != record.line)
        lines += u'-' + QString::number(record.lastLine);
    QString out = m_fileName + u':' + lines + QStringLiteral(": ");
    if (!record.accepted) {
        out += QStringLiteral("location %1, length %2\n").arg(record.location).arg(record.length);
        return (out + indented(record.text)).toUtf8();
    }
    out += *record.accepted ? coloured(u"accepted", green) : coloured(u"failed", boldRed);
    out += u'\n';
    QString answer;
    for (const OLEvalPiece &piece : record.answer)
        answer += piece.error ? coloured(piece.text, red) : piece.text;
    return (out + indented(answer)).toUtf8();
}
