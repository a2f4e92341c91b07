#include "session/OLOutputDecoder.h"

#include <QTest>

class TestOutputDecoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every cut of the bytes into two pieces gives the same text: characters
    // of two, three and four bytes, back to back.
    void splitAnywhere()
    {
        const QByteArray bytes("caf\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80y\n");
        for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
            OLOutputDecoder decoder;
            QString text = decoder.decode(bytes.left(cut));
            text += decoder.decode(bytes.mid(cut));
            text += decoder.finish();
            QCOMPARE(text, QString::fromUtf8(bytes));
        }
    }

    // Bytes that are no UTF-8 become U+FFFD; the bytes around them survive.
    void invalid_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<QString>("text");
        const QString r(QChar::ReplacementCharacter);
        QTest::newRow("bytes that start nothing") << QList<QByteArray>{"a\xff" "b\x80\n"} << "a" + r + "b" + r + "\n";
        QTest::newRow("a lead byte followed by a new piece of text")
            << QList<QByteArray>{"\xc3", "val it"} << r + "val it";
        QTest::newRow("cut off by the end of the stream") << QList<QByteArray>{"x\xe2\x82"} << "x" + r;
        QTest::newRow("an incomplete sequence before a line feed") << QList<QByteArray>{"x\xc3", "\n"} << "x" + r + "\n";
        QTest::newRow("byte order mark kept") << QList<QByteArray>{"\xef\xbb\xbfhi"} << QString(QChar(0xFEFF)) + "hi";
    }

    void invalid()
    {
        QFETCH(QList<QByteArray>, pieces);
        OLOutputDecoder decoder;
        QString decoded;
        for (const QByteArray &piece : std::as_const(pieces))
            decoded += decoder.decode(piece);
        QTEST(decoded + decoder.finish(), "text");
    }
};

QTEST_GUILESS_MAIN(TestOutputDecoder)
#include "tst_outputdecoder.moc"
