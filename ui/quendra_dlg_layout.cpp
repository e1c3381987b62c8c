// The main window's controls: one widget for each entry of the control
// table, at its place in dialog units, with the tab chain of the edit
// fields and the voicemail button.
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstring>

#include "app/control_ids.h"
#include "ui/control_table.h"
#include "ui/level_slider.h"
#include "ui/picture_button.h"
#include "ui/quendra_dlg.h"

void CQuendraDlg::createControls() {
    std::size_t count = 0;
    const ControlSpec* table = mainControlTable(&count);
    QList<QWidget*> tabChain;
    QList<QWidget*> frames;
    for (std::size_t i = 0; i < count; ++i) {
        const ControlSpec& entry = table[i];
        const QRect r = m_units.rect(entry.x, entry.y, entry.width, entry.height);
        const QString text = QString::fromLatin1(entry.text);
        QWidget* widget = nullptr;
        switch (entry.kind) {
            case ControlKind::Edit:
            case ControlKind::MaskedEdit: {
                auto* edit = new QLineEdit(this);
                if (entry.kind == ControlKind::MaskedEdit) edit->setEchoMode(QLineEdit::Password);
                edit->setGeometry(r);
                edit->setFocusPolicy(Qt::StrongFocus);
                tabChain << edit;
                widget = edit;
                break;
            }
            case ControlKind::Button: {
                auto* button = new QPushButton(text, this);
                button->setAutoDefault(false);
                button->setFocusPolicy(Qt::NoFocus);
                button->setGeometry(r);
                widget = button;
                break;
            }
            case ControlKind::PictureButton: {
                auto* button = new PictureButton(text, this);
                button->setAutoDefault(false);
                button->setGeometry(r);
                if (entry.id == IDC_BUT_VOICEMAIL) {
                    button->setFocusPolicy(Qt::StrongFocus);
                    tabChain << button;
                } else {
                    button->setFocusPolicy(Qt::NoFocus);
                }
                widget = button;
                break;
            }
            case ControlKind::KeypadButton: {
                // The sunken edge is a frame around the button.
                auto* frame = new QFrame(this);
                frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
                frame->setLineWidth(1);
                frame->setGeometry(r);
                auto* button = new QPushButton(text, frame);
                button->setAutoDefault(false);
                button->setFocusPolicy(Qt::NoFocus);
                button->setGeometry(frame->contentsRect());
                widget = button;
                break;
            }
            case ControlKind::GroupBox: {
                auto* group = new QGroupBox(text, this);
                group->setGeometry(r);
                frames << group;
                break;
            }
            case ControlKind::Label: {
                auto* label = new QLabel(text, this);
                const bool centred = std::strcmp(entry.text, "MIC") == 0 || std::strcmp(entry.text, "SPK") == 0;
                label->setAlignment((centred ? Qt::AlignHCenter : Qt::AlignRight) | Qt::AlignTop);
                label->setGeometry(r);
                break;
            }
            case ControlKind::Slider:
                widget = createLevelSlider(this, r);
                break;
            case ControlKind::ReasonList: {
                auto* combo = new QComboBox(this);
                combo->setEditable(true);
                combo->setInsertPolicy(QComboBox::NoInsert);
                combo->setMaxVisibleItems(8);
                combo->setFocusPolicy(Qt::ClickFocus);
                combo->lineEdit()->setFocusPolicy(Qt::ClickFocus);
                // The table's height includes the dropped-down list.
                const int lineHeight = combo->sizeHint().height();
                combo->setGeometry(r.x(), r.y(), r.width(), lineHeight < r.height() ? lineHeight : r.height());
                widget = combo;
                break;
            }
        }
        if (widget != nullptr && entry.id != kStaticId) m_controls[entry.id] = widget;
    }
    // Frames stay behind the controls they surround, so they never take
    // their clicks.
    for (QWidget* frame : frames) frame->lower();
    for (int i = 1; i < tabChain.size(); ++i) QWidget::setTabOrder(tabChain[i - 1], tabChain[i]);
}
