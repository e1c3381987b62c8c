// The main window itself: its construction, and how it behaves as a window
// (the height toggle, the settings window, the keys, the close box, the
// minimised icon and the right-click menu). The controls, their bindings
// and the start-up sequence are in the quendra_dlg_*.cpp files beside it.
#include "ui/quendra_dlg.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QTimer>
#include <cstring>

#include "app/control_ids.h"
#include "app/quendra_version.h"
#include "app/settings.h"
#include "ui/about_dlg.h"
#include "ui/button_faces.h"
#include "ui/control_table.h"

namespace {

const char* const kWindowTitle = "IAX2 Soft Phone v" QUENDRA_VERSION;

}  // namespace

CQuendraDlg::CQuendraDlg(int argc, const char* const* argv, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_hIcon(mainIcon()) {
    setFont(dialogFont());
    m_units = DialogUnits::forFont(font());
    QWidget::setWindowTitle(QString::fromLatin1(kWindowTitle));
    setFixedSize(m_units.x(kMainWidthDlu), m_units.y(kMainHeightDlu));
    createControls();
    bindControls();
    onInitDialog(argc, argv);
}

CQuendraDlg::~CQuendraDlg() {
    if (g_mainDlg == this) g_mainDlg = nullptr;
}

// --- window behaviour -----------------------------------------------------

void CQuendraDlg::bringToFront() {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
}

void CQuendraDlg::closeWindow() {
    m_closing = true;
    for (auto& [id, timer] : m_timers) timer->stop();
    QDialog::done(QDialog::Rejected);
}

void CQuendraDlg::OnBnClickedButResize() {
    char caption[7];
    controlText(IDC_BUT_RESIZE, caption, 6);
    const QPoint topLeft = frameGeometry().topLeft();
    int newHeight = height();
    if (std::strcmp(caption, "<<") == 0) {
        setControlText(IDC_BUT_RESIZE, ">>");
        newHeight -= g_settings.resizedHeight;
    } else {
        setControlText(IDC_BUT_RESIZE, "<<");
        newHeight += g_settings.resizedHeight;
    }
    if (newHeight < 0) newHeight = 0;
    // Controls below the new bottom edge are simply cut off.
    setFixedSize(width(), newHeight);
    move(topLeft);
}

void CQuendraDlg::OnSysCommand(int commandId) {
    if ((commandId & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.exec();
    }
}

QPoint CQuendraDlg::minimisedIconPosition(const QSize& client, const QSize& icon) {
    return QPoint((client.width() - icon.width() + 1) / 2, (client.height() - icon.height() + 1) / 2);
}

void CQuendraDlg::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier) {
        switch (event->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                event->accept();
                runCommand(IDC_BUT_START);
                return;
            case Qt::Key_Escape:
                event->accept();
                runCommand(IDC_BUT_EXIT);
                return;
            case Qt::Key_F1:
                event->accept();
                OnSysCommand(IDM_ABOUTBOX);
                return;
            default:
                break;
        }
    }
    QDialog::keyPressEvent(event);
}

void CQuendraDlg::closeEvent(QCloseEvent* event) {
    if (m_closing) {
        event->accept();
        return;
    }
    // The close box asks Exit, which closes the window itself when it may.
    event->ignore();
    runCommand(IDC_BUT_EXIT);
}

void CQuendraDlg::reject() {
    runCommand(IDC_BUT_EXIT);
}

void CQuendraDlg::accept() {
    runCommand(IDC_BUT_START);
}

void CQuendraDlg::paintEvent(QPaintEvent* event) {
    if (!isMinimized()) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const QSize iconSize(kLargeIconSize, kLargeIconSize);
    painter.drawPixmap(minimisedIconPosition(size(), iconSize), m_hIcon.pixmap(iconSize));
}

void CQuendraDlg::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    const QAction* chosen = m_contextMenu->exec(event->globalPos());
    if (chosen != nullptr) OnSysCommand(chosen->data().toInt());
}
