#pragma once

#include "session/OLInterpreterMode.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>

class QSettings;

// The settings store: the user's layer (a QSettings) over a registered-defaults
// layer held in memory. Reads fall back on the registered layer; writes go to
// the user's layer. One instance is made at start-up and passed to whoever
// needs settings.
class OLUserDefaults
{
public:
    explicit OLUserDefaults(QSettings &userLayer);

    // The registered-defaults layer.
    void registerDefaults(const QVariantMap &defaults);
    QVariantMap registeredDefaults() const { return m_registered; }

    // Raw access: the user's value, else the registered one, else invalid.
    QVariant valueForKey(QLatin1StringView key) const;
    // An invalid value removes the key from the user's layer.
    void setValue(const QVariant &value, QLatin1StringView key);
    void removeObjectForKey(QLatin1StringView key);

    QString loadPreferredInterpreterPath() const;
    void savePreferredInterpreter(const QString &commandLine);

    static QString keyForMode(OLInterpreterMode mode);
    static OLInterpreterMode modeForKey(const QString &key);

private:
    QSettings &m_user;
    QVariantMap m_registered;
};
