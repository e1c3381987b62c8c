#include "labpbx/manager/manager_action.h"

#include <cctype>

namespace labpbx {

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string ManagerAction::value(std::string_view key) const {
    for (const ManagerHeader& header : headers) {
        if (equalsIgnoreCase(header.key, key)) return header.value;
    }
    return {};
}

bool ManagerAction::has(std::string_view key) const {
    for (const ManagerHeader& header : headers) {
        if (equalsIgnoreCase(header.key, key)) return true;
    }
    return false;
}

void ActionSplitter::appendRaw(std::string_view bytes) {
    const size_t room = kMaxRecordedActionBytes - current_.raw.size();
    if (bytes.size() > room) {
        current_.raw.append(bytes.substr(0, room));
        current_.rawTruncated = true;
    } else {
        current_.raw.append(bytes);
    }
}

void ActionSplitter::feed(std::string_view bytes, std::vector<ManagerAction>& out) {
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t newline = bytes.find('\n', start);
        const size_t end = newline == std::string_view::npos ? bytes.size() : newline + 1;
        const std::string_view piece = bytes.substr(start, end - start);
        appendRaw(piece);
        std::string_view content = piece;
        if (newline != std::string_view::npos) content.remove_suffix(1);
        if (!lineTooLong_) {
            if (line_.size() + content.size() > kMaxLineBytes) {
                lineTooLong_ = true;
                line_.clear();
            } else {
                line_.append(content);
            }
        }
        if (newline != std::string_view::npos) endLine(out);
        start = end;
    }
}

void ActionSplitter::endLine(std::vector<ManagerAction>& out) {
    const bool dropped = lineTooLong_;
    std::string line;
    line.swap(line_);
    lineTooLong_ = false;
    if (dropped) return;
    if (!line.empty() && line.back() == '\r') line.pop_back();

    if (line.empty()) {
        // An empty line ends the action; with no header yet it is ignored.
        if (!current_.headers.empty()) out.push_back(std::move(current_));
        current_ = ManagerAction{};
        return;
    }
    const size_t colon = line.find(':');
    if (colon == std::string::npos || current_.headers.size() >= kMaxHeadersPerAction) return;
    size_t valueStart = colon + 1;
    while (valueStart < line.size() && line[valueStart] == ' ') ++valueStart;
    current_.headers.push_back({line.substr(0, colon), line.substr(valueStart)});
}

}  // namespace labpbx
