#include "ui/picture_button.h"

#include <QPainter>
#include <QStyleOptionButton>

#include "ui/button_faces.h"

PictureButton::PictureButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setFlat(true);
}

void PictureButton::setFace(int bitmapId) {
    if (m_face == bitmapId) return;
    m_face = bitmapId;
    update();
}

void PictureButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    // The frame shows the pressed and focused states; the face fills the rest.
    style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, this);
    QRect area = rect().adjusted(2, 2, -2, -2);
    if (isDown()) area.translate(1, 1);
    paintFace(painter, area, m_face);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}
