#include "program/quendra_app.h"

#include <QApplication>

#include "app/message_box.h"
#include "ui/cursor_blink.h"
#include "ui/qt_message_boxes.h"
#include "ui/quendra_dlg.h"

CQuendraApp::CQuendraApp(int& argc, char** argv) {
    for (int i = 0; i < argc; ++i) m_arguments.emplace_back(argv[i] ? argv[i] : "");
    m_qt = std::make_unique<QApplication>(argc, argv);
    // The settings store's name; nothing is ever stored there.
    QCoreApplication::setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    QCoreApplication::setApplicationName(QStringLiteral("Quendra"));
    // The installed desktop entry, so that task bars match the window to its
    // menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("quendra"));
}

CQuendraApp::~CQuendraApp() = default;

int CQuendraApp::InitInstance() {
    static QtMessageBoxes boxes;
    setMessageBoxes(&boxes);

    std::vector<const char*> argv;
    argv.reserve(m_arguments.size() + 1);
    for (const std::string& a : m_arguments) argv.push_back(a.c_str());
    argv.push_back(nullptr);

    // The window stays open all day, mostly untouched: its text cursor
    // rests after a while without input instead of waking the program.
    CursorBlinkLimit blinkLimit;
    m_qt->installEventFilter(&blinkLimit);

    CQuendraDlg dialog(static_cast<int>(m_arguments.size()), argv.data());
    dialog.exec();
    setMessageBoxes(nullptr);
    return 0;
}
