// The application object: sets up the toolkit, opens the main window as a
// modal window and ends the program when that window closes.
#pragma once

#include <memory>
#include <string>
#include <vector>

class QApplication;

class CQuendraApp {
public:
    // Takes its own copy of the arguments before the toolkit looks at them,
    // so the phone sees every word it was given.
    CQuendraApp(int& argc, char** argv);
    ~CQuendraApp();

    // Creates the main window and runs it; returns the exit status.
    int InitInstance();

private:
    std::vector<std::string> m_arguments;
    std::unique_ptr<QApplication> m_qt;
};
