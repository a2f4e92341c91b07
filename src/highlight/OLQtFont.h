#pragma once

#include <QFont>

struct OLStyleSet;

// The font a style set names: its family, its size in whole points (cut, not
// rounded) and its face. A missing name, a size that is not positive and a
// missing face keep the default's.
QFont fontForStyleSet(const OLStyleSet &styles);
