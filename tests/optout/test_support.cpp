#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/main_window.h"
#include "app/message_box.h"
#include "app/settings.h"
#include "optout/dnc_database.h"

namespace optout_test {

LogCapture::LogCapture() {
    char pattern[] = "/tmp/quendra-optout-log-XXXXXX";
    const char* made = mkdtemp(pattern);
    EXPECT_NE(made, nullptr);
    folder_ = std::string(made ? made : "/tmp") + "/";
    copyText(g_settings.debugLogDir, folder_.c_str());
    copyText(g_settings.user, "t");
}

LogCapture::~LogCapture() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::vector<std::string> LogCapture::lines() const {
    std::vector<std::string> result;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
        std::ifstream in(entry.path());
        std::string line;
        while (std::getline(in, line)) {
            // "YYYY-MM-DD hh:mm:ss " precedes each text.
            result.push_back(line.size() >= 20 ? line.substr(20) : line);
        }
    }
    return result;
}

bool LogCapture::has(const std::string& text) const {
    for (const auto& line : lines())
        if (line == text) return true;
    return false;
}

int LogCapture::countContaining(const std::string& part) const {
    int n = 0;
    for (const auto& line : lines())
        if (line.find(part) != std::string::npos) ++n;
    return n;
}

void LogCapture::clear() {
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) std::filesystem::remove(entry.path());
}

void resetGlobals() {
    dbUnInitialize();
    g_settings = defaultSettings();
    resetStartupDefaults();
    g_dncEnabled = 0;
    g_mainDlg = nullptr;
    setMessageBoxes(nullptr);
}

}  // namespace optout_test
