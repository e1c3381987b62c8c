// A flat push button that shows a face (button_faces.h) instead of its text.
// The text still gives the button its keyboard mnemonic.
#pragma once

#include <QPushButton>

class PictureButton : public QPushButton {
    Q_OBJECT
public:
    explicit PictureButton(const QString& text, QWidget* parent = nullptr);

    void setFace(int bitmapId);
    int face() const { return m_face; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_face = 0;
};
