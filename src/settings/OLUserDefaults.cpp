#include "settings/OLUserDefaults.h"

#include "settings/OLSettingsKeys.h"

#include <QSettings>

#include <array>

namespace {
constexpr std::array<QLatin1StringView, 5> modeKeys{
    QLatin1StringView("MOSML"), QLatin1StringView("SMLNJ"), QLatin1StringView("ALICEML"),
    QLatin1StringView("POLYML"), QLatin1StringView("UNKNOWN")};
} // namespace

OLUserDefaults::OLUserDefaults(QSettings &userLayer)
    : m_user(userLayer)
{
}

void OLUserDefaults::registerDefaults(const QVariantMap &defaults)
{
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        m_registered.insert(it.key(), it.value());
}

QVariant OLUserDefaults::valueForKey(QLatin1StringView key) const
{
    const QString name(key);
    if (m_user.contains(name))
        return m_user.value(name);
    return m_registered.value(name);
}

void OLUserDefaults::setValue(const QVariant &value, QLatin1StringView key)
{
    if (!value.isValid())
        m_user.remove(QString(key));
    else
        m_user.setValue(QString(key), value);
}

void OLUserDefaults::removeObjectForKey(QLatin1StringView key)
{
    m_user.remove(QString(key));
}

QString OLUserDefaults::loadPreferredInterpreterPath() const
{
    const QVariant value = valueForKey(OLKey::preferredInterpreter);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

void OLUserDefaults::savePreferredInterpreter(const QString &commandLine)
{
    setValue(commandLine.isNull() ? QVariant() : QVariant(commandLine), OLKey::preferredInterpreter);
}

QString OLUserDefaults::keyForMode(OLInterpreterMode mode)
{
    if (mode < OLMosML || mode > OLUnknownMode)
        return {};
    return QString(modeKeys[mode]);
}

OLInterpreterMode OLUserDefaults::modeForKey(const QString &key)
{
    for (OLInterpreterMode mode : {OLMosML, OLPolyML, OLSmlNJ, OLAliceML, OLUnknownMode}) {
        if (key == modeKeys[mode])
            return mode;
    }
    return OLNoMode;
}
