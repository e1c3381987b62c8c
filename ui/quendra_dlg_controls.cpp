// The main window's controls as the rest of the program sees them (the
// MainWindow interface): by control id, with texts passed as UTF-8 in
// bounded buffers.
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <cstring>

#include "app/control_ids.h"
#include "ui/level_slider.h"
#include "ui/picture_button.h"
#include "ui/quendra_dlg.h"

namespace {

// Copies at most maxChars bytes of text as UTF-8, never splitting a
// character, and ends the buffer with a NUL.
int copyOut(const QString& text, char* buffer, int maxChars) {
    if (buffer == nullptr || maxChars < 0) return 0;
    const QByteArray bytes = text.toUtf8();
    int n = bytes.size() < maxChars ? static_cast<int>(bytes.size()) : maxChars;
    while (n > 0 && n < bytes.size() && (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80) --n;
    std::memcpy(buffer, bytes.constData(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

QString textOf(const char* text) {
    return QString::fromUtf8(text ? text : "");
}

}  // namespace

QWidget* CQuendraDlg::control(int id) const {
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void CQuendraDlg::enableControl(int id, bool enable) {
    if (QWidget* w = control(id)) w->setEnabled(enable);
}

bool CQuendraDlg::isControlEnabled(int id) const {
    const QWidget* w = control(id);
    return w != nullptr && w->isEnabled();
}

void CQuendraDlg::showControl(int id, bool show) {
    if (QWidget* w = control(id)) w->setVisible(show);
}

bool CQuendraDlg::isControlVisible(int id) const {
    const QWidget* w = control(id);
    return w != nullptr && !w->isHidden();
}

void CQuendraDlg::setControlText(int id, const char* text) {
    QWidget* w = control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(textOf(text));
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(textOf(text));
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        combo->setEditText(textOf(text));
    }
}

int CQuendraDlg::controlText(int id, char* buffer, int maxChars) const {
    const QWidget* w = control(id);
    QString text;
    if (auto* edit = qobject_cast<const QLineEdit*>(w)) {
        text = edit->text();
    } else if (auto* button = qobject_cast<const QAbstractButton*>(w)) {
        text = button->text();
    } else if (auto* combo = qobject_cast<const QComboBox*>(w)) {
        text = combo->currentText();
    }
    return copyOut(text, buffer, maxChars);
}

void CQuendraDlg::setButtonFace(int id, int bitmapId) {
    if (auto* button = qobject_cast<PictureButton*>(control(id))) button->setFace(bitmapId);
}

int CQuendraDlg::buttonFace(int id) const {
    const auto* button = qobject_cast<const PictureButton*>(control(id));
    return button ? button->face() : 0;
}

void CQuendraDlg::setSliderPosition(int id, int position) {
    if (auto* slider = qobject_cast<QSlider*>(control(id))) placeLevelSlider(slider, position);
}

int CQuendraDlg::sliderPosition(int id) const {
    const auto* slider = qobject_cast<const QSlider*>(control(id));
    return slider ? levelSliderPosition(slider) : 0;
}

void CQuendraDlg::setReasonSelection(int index) {
    if (auto* combo = qobject_cast<QComboBox*>(control(IDC_COMBO_REASON))) {
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
    }
}

int CQuendraDlg::reasonSelection() const {
    const auto* combo = qobject_cast<const QComboBox*>(control(IDC_COMBO_REASON));
    return combo ? combo->currentIndex() : -1;
}

void CQuendraDlg::focusControl(int id) {
    if (QWidget* w = control(id)) w->setFocus(Qt::OtherFocusReason);
}

int CQuendraDlg::windowTitle(char* buffer, int capacity) const {
    if (buffer == nullptr || capacity <= 0) return 0;
    return copyOut(QWidget::windowTitle(), buffer, capacity - 1);
}

void CQuendraDlg::setWindowTitle(const char* title) {
    QWidget::setWindowTitle(textOf(title));
}
