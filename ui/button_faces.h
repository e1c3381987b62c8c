// The pictures of the picture buttons and the window icon, drawn rather than
// loaded: each face is a word in its colours (or, for the voicemail button,
// an envelope with a star), painted to whatever size the button has.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QRect>
#include <QSize>

class QPainter;

struct FaceLook {
    const char* word;  // null for the envelope
    QColor text;
    QColor background;
    bool greyed;
};

// The look of a face; word null and background invalid for an unknown id.
FaceLook faceLook(int bitmapId);
// The nominal size of a face: 80 by 30, the envelope 35 by 27.
QSize faceSize(int bitmapId);
// Draws the face into rect.
void paintFace(QPainter& painter, const QRect& rect, int bitmapId);
// The face at its nominal size.
QPixmap facePixmap(int bitmapId);
// Icon 128 in its large and small sizes, in pixels a side.
constexpr int kLargeIconSize = 32;
constexpr int kSmallIconSize = 16;
QIcon mainIcon();
QPixmap mainIconPixmap(int size);
