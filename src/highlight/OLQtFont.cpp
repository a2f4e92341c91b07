#include "highlight/OLQtFont.h"

#include "settings/OLUserDefaults.h"

QFont fontForStyleSet(const OLStyleSet &styles)
{
    QFont font;
    if (const QString name = styles.name.toString(); !name.isEmpty())
        font.setFamily(name);
    if (const int size = int(styles.size.toDouble()); size > 0)
        font.setPointSize(size);
    if (const QString face = styles.style.toString(); !face.isEmpty())
        font.setStyleName(face);
    return font;
}
