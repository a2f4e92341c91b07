#pragma once

#include "session/OLInterpreterMode.h"
#include "settings/OLUserDefaults.h"

#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QVariantMap>

// One interpreter that discovery looks for at its standard location.
struct OLInterpreterRow {
    OLInterpreterMode mode;            // its menu title is displayNameForMode(mode)
    QLatin1StringView resourceKey;     // its entry in "StdInterpreterLocations"
    QLatin1StringView standardPathKey; // the standard-path setting discovery writes
};

// Looks for Alice ML, Poly ML, Moscow ML and SML of New Jersey at their
// standard locations, always in this order, which is also the menus' order.
// An interpreter may have several locations, tried in turn. Every location is
// probed first (existence only: nothing is started or tested for being
// executable); then, for each interpreter found, the location it was found at
// is copied unchanged into its standard-path setting. Interpreters not found keep
// whatever their setting held. Returns the rows found, in that order.
QList<OLInterpreterRow> discoverInterpreters(OLUserDefaults &defaults,
                                             const QVariantMap &locations
                                             = OLUserDefaults::standardInterpreterLocations());
