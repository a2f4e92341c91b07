#pragma once

#include "settings/OLColor.h"

#include <QColor>

// The settings keep colours as OLColor (the core links no QtGui); widgets
// draw QColor. Components outside 0..1, from a hand-edited store, are clamped.
QColor toQColor(const OLColor &color);
OLColor toOLColor(const QColor &color);
