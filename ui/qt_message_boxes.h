// Message boxes shown with QMessageBox: the buttons, the default button and
// the icon each case asks for, over the main window.
#pragma once

#include "app/message_box.h"

class QtMessageBoxes final : public MessageBoxes {
public:
    int show(const char* text, BoxButtons buttons, BoxIcon icon, int defaultAnswer) override;
};
