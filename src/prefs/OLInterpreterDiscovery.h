#pragma once

#include "session/OLInterpreterMode.h"

#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QVariantMap>

#include <array>

class OLUserDefaults;

// One interpreter that discovery looks for at its standard location.
struct OLInterpreterRow {
    OLInterpreterMode mode;            // its menu title is displayNameForMode(mode)
    QLatin1StringView resourceKey;     // its entry in "StdInterpreterLocations"
    QLatin1StringView standardPathKey; // the standard-path setting discovery writes
};

// Probing order and menu order, fixed whatever order the resource has.
extern const std::array<OLInterpreterRow, 4> interpreterTable;

// The "StdInterpreterLocations" resource: key to "file://localhost/..." string.
QVariantMap standardInterpreterLocations();

// Probes the location of every row (existence only: nothing is started or
// tested for being executable), then, for each row found, in table order,
// copies its location unchanged into its standard-path setting. Rows not found
// keep whatever their setting held. Returns the rows found, in table order.
QList<OLInterpreterRow> discoverInterpreters(OLUserDefaults &defaults,
                                             const QVariantMap &locations = standardInterpreterLocations());

// The preferred interpreter command line for a located executable: the
// "file://localhost" prefix and the absolute path, unescaped, since the
// session drops the prefix and runs the rest as it stands.
QString commandLineForExecutable(const QString &path);
