#include "console/OLCommitHistory.h"

#include "settings/OLUserDefaults.h"

#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcHistory, "ostrel.history")
}

OLCommitHistory::OLCommitHistory(OLUnfixedInput &interpreter, const OLUserDefaults &defaults)
    : m_interpreter(interpreter)
    , m_defaults(defaults)
{
    if (!m_defaults.loadShouldRestoreCommitHistory())
        return;
    const QStringList stored = m_defaults.loadCommitHistory();
    // Compared unsigned: a negative maximum keeps everything.
    const quint64 maximum = quint64(m_defaults.loadMaximumCommitHistoryLength());
    if (quint64(stored.size()) <= maximum)
        m_history = stored;
    else
        m_history = stored.sliced(stored.size() - qsizetype(maximum));
}

void OLCommitHistory::reset()
{
    m_index = -1;
    m_inSession = false;
    m_tmp.clear();
}

void OLCommitHistory::addItem(const QString &item)
{
    // Only exact equality drops the oldest item: a maximum lowered below the
    // current length lets the list grow until the next restore trims it.
    const qint64 maximum = m_defaults.loadMaximumCommitHistoryLength();
    if (m_history.size() == maximum && !m_history.isEmpty())
        m_history.removeFirst();
    m_history.append(item);
}

void OLCommitHistory::back()
{
    qCDebug(lcHistory).noquote() << description();
    if (m_inSession) {
        if (m_index > 0) {
            --m_index;
            m_interpreter.replaceUnfixedWithString(m_history.at(m_index));
        }
    } else if (!m_history.isEmpty()) {
        m_index = m_history.size() - 1;
        m_tmp = m_interpreter.replaceUnfixedWithString(m_history.at(m_index));
        m_inSession = true;
    }
    qCDebug(lcHistory).nospace().noquote() << "===\nthen\n===\n" << description();
}

void OLCommitHistory::forward()
{
    qCDebug(lcHistory).noquote() << description();
    if (m_inSession) {
        if (m_index >= m_history.size() - 1) {
            m_interpreter.replaceUnfixedWithString(m_tmp);
            reset();
        } else {
            ++m_index;
            m_interpreter.replaceUnfixedWithString(m_history.at(m_index));
        }
    }
    qCDebug(lcHistory).nospace().noquote() << "===\nthen\n===\n" << description();
}

QString OLCommitHistory::description() const
{
    return QStringLiteral("OLCOmmitHistory");
}
