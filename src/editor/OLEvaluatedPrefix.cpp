#include "editor/OLEvaluatedPrefix.h"

#include "editor/OLDeclaration.h"

#include <algorithm>

void OLEvaluatedPrefix::evaluated(Declaration declaration)
{
    if (!isReplaying())
        m_declarations.push_back(declaration);
    ++m_replayed;
}

qsizetype OLEvaluatedPrefix::keptByEdit(const QString &text, qint64 location) const
{
    qsizetype keep = endingBy(location);
    // The text before the edit is as it was; only the last kept declaration
    // can go on into the edited text.
    while (keep > 0) {
        const std::optional<OLDeclaration> again = nextDeclaration(text, endOf(keep - 1));
        if (again && qint64(again->tokensEnd()) == m_declarations[size_t(keep - 1)].tokensEnd)
            break;
        --keep;
    }
    return keep;
}

qsizetype OLEvaluatedPrefix::endingBy(qint64 position) const
{
    return std::partition_point(m_declarations.cbegin(), m_declarations.cend(),
                                [position](const Declaration &d) { return d.tokensEnd <= position; })
        - m_declarations.cbegin();
}

qsizetype OLEvaluatedPrefix::startingBefore(qint64 position) const
{
    // Each begins where the one before it ends.
    if (position <= 0)
        return 0;
    const qsizetype endingBefore = std::partition_point(m_declarations.cbegin(), m_declarations.cend(),
                                                        [position](const Declaration &d) { return d.end < position; })
        - m_declarations.cbegin();
    return qMin(count(), endingBefore + 1);
}

bool OLEvaluatedPrefix::retract(qsizetype keep, qint64 end, bool sent)
{
    keep = qBound(qsizetype(0), keep, count());
    const bool restart = sent ? keep <= m_replayed : keep < m_replayed;
    m_declarations.resize(size_t(keep));
    if (keep > 0)
        m_declarations.back().end = qMin(m_declarations.back().end, end);
    if (restart)
        m_replayed = 0;
    return restart;
}

void OLEvaluatedPrefix::clear()
{
    m_declarations.clear();
    m_replayed = 0;
}
