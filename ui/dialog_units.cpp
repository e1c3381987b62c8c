#include "ui/dialog_units.h"

#include <QApplication>
#include <QFontMetrics>

DialogUnits DialogUnits::forFont(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average over the 52 letters, rounded, is the width the layout's
    // numbers were made for; the font's own average often counts wide glyphs.
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    DialogUnits units;
    units.baseX = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    units.baseY = metrics.height();
    if (units.baseX < 1) units.baseX = 1;
    if (units.baseY < 1) units.baseY = 1;
    return units;
}

QFont dialogFont() {
    QFont font = QApplication::font();
    font.setPointSize(8);
    return font;
}
