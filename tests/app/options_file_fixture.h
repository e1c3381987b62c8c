// The options-file tests' base: the debug log on, and the text under test
// written as the options file (owner-only, so no permission warning) and read.
#pragma once

#include <sys/stat.h>

#include <string>

#include "app/options_file.h"
#include "app/settings.h"
#include "tests/support/app/app_test_support.h"

class OptionsFileTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        g_settings.debug = 1;
    }
    // Writes the text as the options file, readable by its owner only, and
    // reads it.
    int read(const std::string& text) {
        writeFile("opts.ini", text);
        ::chmod("opts.ini", 0600);
        return readIAX2Options("opts.ini");
    }
    std::string invalidLine(const std::string& line) const {
        return "**WRN** readIAX2Options() invalid input line: [" + line + "]";
    }
};
