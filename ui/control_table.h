// The main window's controls, in tab and creation order, with their ids,
// captions and positions in dialog units.
#pragma once

#include <cstddef>

enum class ControlKind {
    Edit,
    MaskedEdit,
    Button,
    PictureButton,
    KeypadButton,  // drawn with a sunken edge around it
    GroupBox,
    Label,
    Slider,      // vertical, -100 at the top, 0 at the bottom
    ReasonList,  // drop-down list with an edit field
};

constexpr int kStaticId = -1;

struct ControlSpec {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, width, height;
};

// The whole table; count receives the number of entries.
const ControlSpec* mainControlTable(std::size_t* count);

// Client size of the main window in dialog units.
constexpr int kMainWidthDlu = 294;
constexpr int kMainHeightDlu = 266;
