#include "tests/support/window/ui_fixture.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

void UiTest::SetUp() {
    AppTest::SetUp();
    setMessageBoxes(&m_boxes);
    setPrioritySystem(&m_priority);
}

void UiTest::TearDown() {
    m_dialog.reset();
    setPrioritySystem(nullptr);
    setMessageBoxes(nullptr);
    AppTest::TearDown();
}

CQuendraDlg& UiTest::makeDialog(const std::vector<std::string>& words) {
    std::vector<std::string> all = {"quendra"};
    all.insert(all.end(), words.begin(), words.end());
    std::vector<const char*> argv;
    for (const std::string& w : all) argv.push_back(w.c_str());
    argv.push_back(nullptr);
    m_dialog.reset();
    m_dialog = std::make_unique<CQuendraDlg>(static_cast<int>(all.size()), argv.data());
    return *m_dialog;
}

std::string UiTest::text(int id) const {
    char buffer[512];
    m_dialog->controlText(id, buffer, sizeof buffer - 1);
    return buffer;
}

ModalWatcher::ModalWatcher(std::function<void(QWidget*)> action)
    : m_action(std::move(action)), m_timer(std::make_unique<QTimer>()) {
    m_timer->setInterval(5);
    QObject::connect(m_timer.get(), &QTimer::timeout, [this] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) return;
        ++m_opened;
        if (m_action) m_action(modal);
        if (modal->isVisible()) {
            if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialog->done(QDialog::Rejected);
            } else {
                modal->close();
            }
        }
    });
    m_timer->start();
}

ModalWatcher::~ModalWatcher() = default;
