#include "settings/OLPropertyList.h"

#include <QFile>
#include <QXmlStreamReader>

namespace {

// Deep enough for any real property list, shallow enough for the stack.
constexpr int maximumDepth = 256;

class Reader
{
public:
    explicit Reader(const QByteArray &xml) : m_xml(xml) {}

    std::optional<QVariant> document()
    {
        std::optional<QVariant> result;
        if (nextElement() && expectName(u"plist")) {
            if (nextElement())
                result = value(0);
            else
                fail(QStringLiteral("the property list holds no value"));
            // Nothing may follow the one value but the end of "plist" and of the document.
            if (result && nextToken() != QXmlStreamReader::EndElement)
                fail(QStringLiteral("a property list holds exactly one value"));
            while (!m_xml.atEnd() && !m_xml.hasError())
                nextToken();
        }
        if (m_xml.hasError())
            return std::nullopt;
        return result;
    }

    QString errorText() const
    {
        return QStringLiteral("line %1: %2").arg(m_xml.lineNumber()).arg(m_xml.errorString());
    }

private:
    // The next token that matters: comments, processing instructions, the
    // document type and white space between elements are skipped; other text
    // is an error.
    QXmlStreamReader::TokenType nextToken()
    {
        for (;;) {
            const QXmlStreamReader::TokenType token = m_xml.readNext();
            switch (token) {
            case QXmlStreamReader::StartDocument:
            case QXmlStreamReader::Comment:
            case QXmlStreamReader::ProcessingInstruction:
            case QXmlStreamReader::DTD:
                continue;
            case QXmlStreamReader::Characters:
                if (m_xml.isWhitespace())
                    continue;
                fail(QStringLiteral("unexpected text \"%1\"").arg(m_xml.text().trimmed()));
                return QXmlStreamReader::Invalid;
            default:
                return token;
            }
        }
    }

    // Moves to the next start element; false at an end element or an error.
    bool nextElement()
    {
        const QXmlStreamReader::TokenType token = nextToken();
        if (token == QXmlStreamReader::StartElement)
            return true;
        if (!m_xml.hasError() && token != QXmlStreamReader::EndElement)
            fail(QStringLiteral("an element is missing"));
        return false;
    }

    bool expectName(QStringView name)
    {
        if (m_xml.name() == name)
            return true;
        fail(QStringLiteral("<%1> found where <%2> belongs").arg(m_xml.name(), name));
        return false;
    }

    void fail(const QString &message)
    {
        if (!m_xml.hasError())
            m_xml.raiseError(message);
    }

    // The value whose start element is current; on return its end element is.
    std::optional<QVariant> value(int depth)
    {
        if (depth > maximumDepth) {
            fail(QStringLiteral("nested deeper than %1").arg(maximumDepth));
            return std::nullopt;
        }
        const QStringView name = m_xml.name();
        if (name == u"dict")
            return dictionary(depth);
        if (name == u"array")
            return array(depth);
        if (name != u"string" && name != u"integer" && name != u"real" && name != u"true"
            && name != u"false") {
            fail(QStringLiteral("unsupported element <%1>").arg(name));
            return std::nullopt;
        }
        const QString kind = name.toString();
        const QString text = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (m_xml.hasError())
            return std::nullopt;
        if (kind == u"string")
            return text;
        bool ok = kind == u"true" || kind == u"false" ? text.trimmed().isEmpty() : false;
        QVariant result;
        if (kind == u"integer")
            result = text.trimmed().toLongLong(&ok, 10);
        else if (kind == u"real")
            result = text.trimmed().toDouble(&ok);
        else
            result = kind == u"true";
        if (!ok) {
            fail(QStringLiteral("<%1> cannot hold \"%2\"").arg(kind, text));
            return std::nullopt;
        }
        return result;
    }

    std::optional<QVariant> dictionary(int depth)
    {
        QVariantMap map;
        while (nextElement()) {
            if (!expectName(u"key"))
                return std::nullopt;
            const QString key = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
            if (m_xml.hasError())
                return std::nullopt;
            if (map.contains(key)) {
                fail(QStringLiteral("the key \"%1\" occurs twice").arg(key));
                return std::nullopt;
            }
            if (!nextElement()) {
                fail(QStringLiteral("the key \"%1\" has no value").arg(key));
                return std::nullopt;
            }
            std::optional<QVariant> item = value(depth + 1);
            if (!item)
                return std::nullopt;
            map.insert(key, *item);
        }
        if (m_xml.hasError())
            return std::nullopt;
        return map;
    }

    std::optional<QVariant> array(int depth)
    {
        QVariantList list;
        while (nextElement()) {
            std::optional<QVariant> item = value(depth + 1);
            if (!item)
                return std::nullopt;
            list.append(*item);
        }
        if (m_xml.hasError())
            return std::nullopt;
        return list;
    }

    QXmlStreamReader m_xml;
};

} // namespace

std::optional<QVariant> readPropertyList(const QByteArray &xml, QString *error)
{
    Reader reader(xml);
    std::optional<QVariant> result = reader.document();
    if (!result && error)
        *error = reader.errorText();
    return result;
}

QVariantMap readPropertyListResource(QAnyStringView name)
{
    QFile file(QStringLiteral(":/ostrel/%1.plist").arg(name.toString()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return readPropertyList(file.readAll()).value_or(QVariant()).toMap();
}
