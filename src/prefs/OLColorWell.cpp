#include "prefs/OLColorWell.h"

#include "highlight/OLQtColor.h"

#include <QPixmap>

OLColorWell::OLColorWell(QWidget *parent)
    : QPushButton(parent)
{
    setIconSize(QSize(40, 14));
    setColor(m_color);
}

void OLColorWell::setColor(const OLColor &color)
{
    m_color = color;
    QPixmap swatch(iconSize());
    swatch.fill(toQColor(color));
    setIcon(swatch);
}
