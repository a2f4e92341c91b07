#pragma once

#include "settings/OLColor.h"

#include <QPushButton>

// A button that shows a colour. It keeps the colour as the settings store
// does, so that a colour loaded and stored again is not rounded by QColor.
class OLColorWell : public QPushButton
{
    Q_OBJECT

public:
    explicit OLColorWell(QWidget *parent = nullptr);

    OLColor color() const { return m_color; }
    void setColor(const OLColor &color);

private:
    OLColor m_color;
};
