#include "ui/button_faces.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>

#include "app/control_ids.h"

namespace {

const QColor kGrey(192, 192, 192);
const QColor kDarkGrey(128, 128, 128);
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kYellow(255, 255, 0);
const QColor kEnvelopePaper(255, 250, 225);

void paintWord(QPainter& painter, const QRect& rect, const FaceLook& look) {
    painter.fillRect(rect, look.background);
    painter.setPen(look.background.darker(160));
    painter.drawRect(rect.adjusted(0, 0, -1, -1));

    QFont font = painter.font();
    font.setBold(true);
    int pixels = rect.height() * 11 / 20;
    if (pixels < 6) pixels = 6;
    const QString word = QString::fromLatin1(look.word);
    for (; pixels > 6; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).horizontalAdvance(word) <= rect.width() - 4) break;
    }
    font.setPixelSize(pixels);
    painter.setFont(font);
    if (look.greyed) {
        // Engraved, as a disabled caption looks.
        painter.setPen(Qt::white);
        painter.drawText(rect.translated(1, 1), Qt::AlignCenter, word);
    }
    painter.setPen(look.text);
    painter.drawText(rect, Qt::AlignCenter, word);
}

QPolygonF star(const QPointF& centre, double outer, double inner) {
    QPolygonF points;
    for (int i = 0; i < 10; ++i) {
        const double radius = (i % 2 == 0) ? outer : inner;
        const double angle = -M_PI / 2 + i * M_PI / 5;
        points << QPointF(centre.x() + radius * std::cos(angle), centre.y() + radius * std::sin(angle));
    }
    return points;
}

void paintEnvelope(QPainter& painter, const QRect& rect) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double w = rect.width();
    const double h = rect.height();
    const QRectF body(rect.left() + w * 0.08, rect.top() + h * 0.28, w * 0.74, h * 0.62);
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    painter.setBrush(kEnvelopePaper);
    painter.drawRect(body);
    QPainterPath flap;
    flap.moveTo(body.topLeft());
    flap.lineTo(body.center().x(), body.top() + body.height() * 0.55);
    flap.lineTo(body.topRight());
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(flap);
    const double outer = h * 0.26;
    painter.setPen(QPen(QColor(160, 90, 0), 1));
    painter.setBrush(kYellow);
    painter.drawPolygon(star(QPointF(rect.left() + w * 0.78, rect.top() + h * 0.27), outer, outer * 0.45));
}

}  // namespace

FaceLook faceLook(int bitmapId) {
    switch (bitmapId) {
        case IDB_START:
            return {"Start", Qt::black, kGrey, false};
        case IDB_START_GREYED:
            return {"Start", kDarkGrey, kGrey, true};
        case IDB_ONLINE:
            return {"Online", Qt::black, kGreen, false};
        case IDB_OFFLINE:
            return {"Offline", kYellow, kRed, false};
        case IDB_ANSWER_IDLE:
            return {"Answer", kDarkGrey, kGrey, true};
        case IDB_ANSWER_RED:
            return {"Answer", kYellow, kRed, false};
        case IDB_ANSWER_GREEN:
            return {"Answer", Qt::black, kGreen, false};
        case IDB_VOICEMAIL:
            return {nullptr, Qt::black, kEnvelopePaper, false};
        default:
            return {nullptr, QColor(), QColor(), false};
    }
}

QSize faceSize(int bitmapId) {
    return bitmapId == IDB_VOICEMAIL ? QSize(35, 27) : QSize(80, 30);
}

void paintFace(QPainter& painter, const QRect& rect, int bitmapId) {
    painter.save();
    if (bitmapId == IDB_VOICEMAIL) {
        paintEnvelope(painter, rect);
    } else {
        const FaceLook look = faceLook(bitmapId);
        if (look.word != nullptr) paintWord(painter, rect, look);
    }
    painter.restore();
}

QPixmap facePixmap(int bitmapId) {
    QPixmap pixmap(faceSize(bitmapId));
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paintFace(painter, pixmap.rect(), bitmapId);
    return pixmap;
}

QPixmap mainIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double s = size;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 84, 160));
    painter.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.2, s * 0.2);
    // A telephone handset: a curved grip with an ear and a mouth piece.
    QPen grip(Qt::white, s * 0.16, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(grip);
    painter.setBrush(Qt::NoBrush);
    const QRectF arc(s * 0.22, s * 0.18, s * 0.56, s * 0.7);
    painter.drawArc(arc, 20 * 16, 140 * 16);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(s * 0.12, s * 0.52, s * 0.26, s * 0.2));
    painter.drawEllipse(QRectF(s * 0.62, s * 0.52, s * 0.26, s * 0.2));
    return pixmap;
}

QIcon mainIcon() {
    QIcon icon;
    icon.addPixmap(mainIconPixmap(kLargeIconSize));
    icon.addPixmap(mainIconPixmap(kSmallIconSize));
    return icon;
}
