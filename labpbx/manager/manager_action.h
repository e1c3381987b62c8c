// One action as the manager interface receives it: "Key: Value" lines ended
// by CRLF (a bare LF is accepted too) and closed by an empty line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace labpbx {

struct ManagerHeader {
    std::string key;
    std::string value;
};

struct ManagerAction {
    // The block's bytes as they arrived, the closing empty line included
    // (cut at kMaxRecordedActionBytes; rawTruncated then says so).
    std::string raw;
    bool rawTruncated = false;
    std::vector<ManagerHeader> headers;

    // The value of the first header with this key (keys compare without
    // regard to case); empty when there is none.
    std::string value(std::string_view key) const;
    bool has(std::string_view key) const;
    // The value of "Action".
    std::string name() const { return value("Action"); }
};

// Limits that keep hostile input bounded.
constexpr size_t kMaxLineBytes = 1024;        // longer lines are dropped
constexpr size_t kMaxHeadersPerAction = 128;  // further lines are ignored
constexpr size_t kMaxRecordedActionBytes = 8192;

// Splits a byte stream into actions. Feed it whatever arrives; it keeps at
// most one partial line and one partial action.
class ActionSplitter {
public:
    // Appends the actions completed by these bytes to out.
    void feed(std::string_view bytes, std::vector<ManagerAction>& out);
    // True when bytes of an unfinished action are held.
    bool hasPartial() const { return !line_.empty() || !current_.raw.empty(); }

private:
    void endLine(std::vector<ManagerAction>& out);
    void appendRaw(std::string_view bytes);

    std::string line_;
    bool lineTooLong_ = false;
    ManagerAction current_;
};

bool equalsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace labpbx
