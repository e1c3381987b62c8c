// Message boxes go through one small interface so that tests can answer
// them. The Qt window installs the real one; until then boxes are answered
// with their default button.
#pragma once

enum class BoxButtons { Ok, YesNo, YesNoCancel };
enum class BoxIcon { None, Error, Warning, Question, Information };

// Answers, with the platform's traditional values.
enum BoxAnswer : int { IDOK_ANSWER = 1, IDCANCEL_ANSWER = 2, IDYES_ANSWER = 6, IDNO_ANSWER = 7 };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // defaultAnswer is the button that has the focus when the box opens.
    virtual int show(const char* text, BoxButtons buttons, BoxIcon icon, int defaultAnswer) = 0;
};

// Installs the implementation; nullptr restores the default-answer one.
void setMessageBoxes(MessageBoxes* boxes);

// OK box (no icon unless given).
void showMessage(const char* text, BoxIcon icon = BoxIcon::None);
// Yes/No box with No as the default button; returns IDYES_ANSWER or IDNO_ANSWER.
int askYesNo(const char* text, BoxIcon icon = BoxIcon::None);
// Yes/No/Cancel box with Cancel as the default button.
int askYesNoCancel(const char* text, BoxIcon icon = BoxIcon::None);

// Writes the text to the debug log when debug logging is on, then shows it
// in an OK box without icon.
void logAndShow(const char* text);
