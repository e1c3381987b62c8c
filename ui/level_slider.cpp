#include "ui/level_slider.h"

#include <QRect>
#include <QSignalBlocker>
#include <QSlider>

QSlider* createLevelSlider(QWidget* parent, const QRect& rect) {
    auto* slider = new QSlider(Qt::Vertical, parent);
    slider->setRange(0, 100);
    slider->setFocusPolicy(Qt::ClickFocus);
    slider->setGeometry(rect);
    return slider;
}

void onLevelChosen(QSlider* slider, QObject* context, const std::function<void()>& apply) {
    // A drag applies the level when the handle is let go; a click on the
    // track, the wheel and the keys move the handle by steps, each applied
    // at once.
    QObject::connect(slider, &QSlider::sliderReleased, context, apply);
    QObject::connect(slider, &QSlider::valueChanged, context, [slider, apply] {
        if (!slider->isSliderDown()) apply();
    });
}

void placeLevelSlider(QSlider* slider, int position) {
    const QSignalBlocker quiet(slider);
    slider->setValue(-position);
}

int levelSliderPosition(const QSlider* slider) {
    return -slider->value();
}
