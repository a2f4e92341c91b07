#include "highlight/OLQtColor.h"

#include <algorithm>

namespace {
float unit(double component)
{
    return float(std::clamp(component, 0.0, 1.0));
}
} // namespace

QColor toQColor(const OLColor &color)
{
    return QColor::fromRgbF(unit(color.red), unit(color.green), unit(color.blue), unit(color.alpha));
}

OLColor toOLColor(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return {rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()};
}
