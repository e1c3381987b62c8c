// The speaker and microphone level sliders of the main window. The window
// speaks of a slider position from -100 at the top to 0 at the bottom (the
// negated level); the widget holds the level itself, 0 at the bottom and
// 100 at the top, so that the part a style fills from the bottom end grows
// with the level. These functions are the one place that converts.
#pragma once

#include <functional>

class QObject;
class QRect;
class QSlider;
class QWidget;

// A vertical level slider at rect, taking the focus only when clicked.
QSlider* createLevelSlider(QWidget* parent, const QRect& rect);

// Runs apply (in context) each time the agent sets a level: when a drag lets
// go of the handle, and at every step a click on the track, the wheel or a
// key moves it.
void onLevelChosen(QSlider* slider, QObject* context, const std::function<void()>& apply);

// Places the handle at a window position (-level) without applying it: the
// program placed it, the agent did not move it.
void placeLevelSlider(QSlider* slider, int position);

// The window position (-level) the handle is at.
int levelSliderPosition(const QSlider* slider);
