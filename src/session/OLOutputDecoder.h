#pragma once

#include <QByteArray>
#include <QString>
#include <QStringConverter>
#include <QStringDecoder>

// Decodes a stream that arrives in pieces. A character split between two
// pieces is carried over to the next; bytes that are not text in the encoding
// become U+FFFD. (QStringDecoder keeps state for UTF-8 too, but Qt 6.4 drops
// the byte that follows an incomplete sequence, so UTF-8 is done here.)
class OLOutputDecoder
{
public:
    explicit OLOutputDecoder(QStringConverter::Encoding encoding = QStringConverter::Utf8);

    QString decode(QByteArrayView bytes);
    // End of stream: an incomplete character left over becomes U+FFFD.
    QString finish();

private:
    QStringConverter::Encoding m_encoding;
    QStringDecoder m_decoder;
    QByteArray m_pending; // UTF-8: the start of a character
};
