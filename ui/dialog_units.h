// Dialog units: positions and sizes given in quarters of the dialog font's
// average character width (x) and eighths of its height (y), so that the
// layout follows the font.
#pragma once

#include <QFont>
#include <QRect>

struct DialogUnits {
    int baseX = 6;   // average character width in pixels
    int baseY = 13;  // character height in pixels

    static DialogUnits forFont(const QFont& font);

    int x(int units) const { return (units * baseX + 2) / 4; }
    int y(int units) const { return (units * baseY + 4) / 8; }
    QRect rect(int x0, int y0, int width, int height) const { return QRect(x(x0), y(y0), x(width), y(height)); }
};

// The dialogs' font: the desktop's sans-serif family at 8 points.
QFont dialogFont();
