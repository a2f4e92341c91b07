#include "editor/OLDeclaration.h"

#include "session/OLWhitespace.h"

#include <QLoggingCategory>
#include <QStringList>
#include <QStringView>

namespace {
Q_LOGGING_CATEGORY(lcScanner, "ostrel.scanner")

const QStringList &starterWords()
{
    static const QStringList words =
        QStringLiteral("signature,structure,functor,val,fun,type,datatype,abstype,exception,open,nonfix,infix")
            .split(u',');
    return words;
}

const QStringList &openerWords()
{
    static const QStringList words = QStringLiteral("sig,struct,local,let").split(u',');
    return words;
}

const QStringList &closerWords()
{
    static const QStringList words = QStringLiteral("end").split(u',');
    return words;
}

// Whole, exact, case-sensitive match.
bool isIn(QStringView word, const QStringList &words)
{
    for (const QString &w : words) {
        if (word == w)
            return true;
    }
    return false;
}
} // namespace

QString OLDeclaration::description() const
{
    // Signed, as the log line has always shown them. One arg() call, so a
    // "%1" inside the text stays as it is.
    return QStringLiteral("OLDeclaration {\n\t%1\nat\t%2 , %3\n}")
        .arg(m_text, QString::number(qint64(m_location)), QString::number(qint64(m_length)));
}

std::optional<OLDeclaration> nextDeclaration(const QString &text, qsizetype interpreted)
{
    Q_ASSERT(interpreted >= 0 && interpreted <= text.size());
    const qsizetype end = text.size();
    qsizetype depth = 0; // an unmatched "end" takes it below zero
    bool started = false;
    const auto cut = [&](qsizetype length) {
        OLDeclaration declaration;
        declaration.setLocation(quint64(interpreted));
        declaration.setLength(quint64(length));
        declaration.setText(text.sliced(interpreted, length));
        return declaration;
    };

    // Each separator ends one word, so runs of separators give empty words
    // and a trailing separator an empty last word; all of them are single
    // code units, so a word starts one unit after the previous one ends.
    qsizetype pos = interpreted;
    while (true) {
        qsizetype wordEnd = pos;
        while (wordEnd < end && !isWhitespaceOrNewline(text.at(wordEnd)))
            ++wordEnd;
        const QStringView word = QStringView(text).sliced(pos, wordEnd - pos);

        if (depth == 0 && isIn(word, starterWords())) {
            if (started) {
                const OLDeclaration declaration = cut(pos - interpreted);
                qCDebug(lcScanner).nospace().noquote() << declaration.text();
                return declaration;
            }
            started = true;
        }
        if (isIn(word, closerWords()))
            --depth;
        else if (isIn(word, openerWords()))
            ++depth;

        if (wordEnd == end)
            break;
        pos = wordEnd + 1;
    }

    if (!started)
        return std::nullopt;
    return cut(end - interpreted);
}
