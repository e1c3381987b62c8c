// One ordered record of what the call operations did to the fakes around
// them (engine calls, window changes, agent-mode reactions, database), so
// that tests can check both what happened and in which order.
#pragma once

#include <string>
#include <vector>

struct Journal {
    std::vector<std::string> entries;

    void add(std::string entry) { entries.push_back(std::move(entry)); }
    void clear() { entries.clear(); }
    // Entries that start with prefix, in order.
    std::vector<std::string> with(const std::string& prefix) const;
    bool has(const std::string& entry) const;
    // Position of the first entry equal to entry, -1 when absent.
    int indexOf(const std::string& entry) const;
};

extern Journal g_journal;
