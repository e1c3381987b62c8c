// Shared helpers for the app tests: every test runs in a fresh temporary
// working folder with the settings at their start-up values and the log
// clock fixed, so tests never see each other's files.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

// A local time (UTC in the tests) as the log clock's value.
std::time_t utcTime(int year, int month, int day, int hour, int minute, int second);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
bool fileExists(const std::string& path);
// Files in a folder, sorted, without "." and "..".
std::vector<std::string> listFiles(const std::string& folder);
// The log's lines with their time stamps ("YYYY-MM-DD hh:mm:ss ") removed.
std::vector<std::string> logTexts(const std::string& path);

// The program's picture of the active call back to "no call", for a case
// that follows another in the same process.
void resetCallGlobals();

class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Name of the log file for the fixed test date (2008-12-31) and the
    // current extension.
    std::string logName() const;
    std::string logContent() const { return readFile(logName()); }
    std::vector<std::string> logLines() const { return logTexts(logName()); }

    std::string m_folder;
    std::string m_previousFolder;
    std::time_t m_now = 0;
};
