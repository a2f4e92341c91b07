#pragma once

// An RGBA colour with components from 0 to 1. The core library links QtCore
// only, so it carries its own colour type; the panes turn it into a QColor.
struct OLColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    friend bool operator==(const OLColor &, const OLColor &) = default;
};
