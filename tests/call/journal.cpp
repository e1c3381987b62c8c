#include "journal.h"

#include <algorithm>

Journal g_journal;

std::vector<std::string> Journal::with(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const auto& e : entries) {
        if (e.compare(0, prefix.size(), prefix) == 0) found.push_back(e);
    }
    return found;
}

bool Journal::has(const std::string& entry) const {
    return indexOf(entry) >= 0;
}

int Journal::indexOf(const std::string& entry) const {
    const auto it = std::find(entries.begin(), entries.end(), entry);
    return it == entries.end() ? -1 : static_cast<int>(it - entries.begin());
}
