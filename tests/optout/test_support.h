// Shared pieces of the Do-Not-Call tests: a captured debug log and a clean
// start for the globals.
#pragma once

#include <string>
#include <vector>

namespace optout_test {

// Points the debug log at a fresh folder of its own and reads it back.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    // Every line written so far, without the time stamps.
    std::vector<std::string> lines() const;
    // Whether some line is exactly text.
    bool has(const std::string& text) const;
    // How many lines contain part.
    int countContaining(const std::string& part) const;
    void clear();

private:
    std::string folder_;
};

// Defaults in every setting and opt-out global, the database layer shut.
void resetGlobals();

}  // namespace optout_test
