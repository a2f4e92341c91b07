#include "prefs/OLInterpreterDiscovery.h"

#include "settings/OLSettingsKeys.h"

#include <QFileInfo>
#include <QUrl>

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
    for (const OLInterpreterRow &row : interpreterTable) {
        const QString path = localPathForUrl(QUrl(locations.value(QString(row.resourceKey)).toString()));
        if (!path.isEmpty() && QFileInfo::exists(path))
            found.append(row);
    }
    for (const OLInterpreterRow &row : found)
        defaults.setValue(locations.value(QString(row.resourceKey)), row.standardPathKey);
    return found;
}
