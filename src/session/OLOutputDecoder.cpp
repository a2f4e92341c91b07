#include "session/OLOutputDecoder.h"

namespace {

// Length of the UTF-8 sequence that `lead` begins, 0 when it begins none.
int sequenceLength(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Where an incomplete sequence at the end of `bytes` begins; the size when
// the bytes end with a whole character (or with bytes that start none).
qsizetype incompleteTail(QByteArrayView bytes)
{
    const qsizetype size = bytes.size();
    for (qsizetype back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(bytes.at(size - back));
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte: look further back for its lead
        return sequenceLength(byte) > back ? size - back : size;
    }
    return size;
}

} // namespace

OLOutputDecoder::OLOutputDecoder(QStringConverter::Encoding encoding)
    : m_encoding(encoding)
    // UTF-8 gets whole characters only, so its decoder needs no state.
    , m_decoder(encoding,
                encoding == QStringConverter::Utf8
                    ? QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom
                    : QStringConverter::Flag::ConvertInitialBom)
{
}

QString OLOutputDecoder::decode(QByteArrayView bytes)
{
    if (m_encoding != QStringConverter::Utf8)
        return m_decoder.decode(bytes);
    QByteArray data = m_pending;
    data.append(bytes);
    const qsizetype cut = incompleteTail(data);
    m_pending = data.mid(cut);
    data.truncate(cut);
    return m_decoder.decode(data);
}

QString OLOutputDecoder::finish()
{
    if (m_pending.isEmpty())
        return {};
    m_pending.clear();
    return QString(QChar::ReplacementCharacter);
}
