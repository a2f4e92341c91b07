#include "prefs/OLInterpreterDiscovery.h"

#include "settings/OLSettingsKeys.h"

#include <array>

namespace {
const std::array<OLInterpreterRow, 4> interpreterTable{{
    {OLAliceML, OLKey::aliceStdLocation, OLKey::alicePath},
    {OLPolyML, OLKey::polyStdLocation, OLKey::polyPath},
    {OLMosML, OLKey::mosmlStdLocation, OLKey::mosmlPath},
    {OLSmlNJ, OLKey::smlnjStdLocation, OLKey::smlnjPath},
}};
} // namespace

QList<OLInterpreterRow> discoverInterpreters(OLUserDefaults &defaults, const QVariantMap &locations)
{
    // Every row is probed before any setting is written.
    QList<OLInterpreterRow> found;
    QStringList foundAt;
    for (const OLInterpreterRow &row : interpreterTable) {
        const QString location = OLUserDefaults::existingLocation(locations.value(QString(row.resourceKey)));
        if (!location.isEmpty()) {
            found.append(row);
            foundAt.append(location);
        }
    }
    for (qsizetype i = 0; i < found.size(); ++i)
        defaults.setValue(foundAt.at(i), found.at(i).standardPathKey);
    return found;
}
