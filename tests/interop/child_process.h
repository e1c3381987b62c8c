// A program run as a child process of a test: lines written to its stdin,
// and a reader thread collecting its stdout lines, each stamped with the
// time it arrived.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace interop {

using Clock = std::chrono::steady_clock;

struct OutputLine {
    std::string text;
    Clock::time_point at;
};

class ChildProcess {
public:
    // argv[0] is the program's path; env holds variables added to the
    // test's own environment.
    ChildProcess(std::string name, const std::vector<std::string>& argv,
                 const std::vector<std::pair<std::string, std::string>>& env);
    virtual ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    const std::string& name() const { return name_; }

    void send(const std::string& line);
    // The first line at or after index `from` that `match` accepts, waiting
    // up to timeout for it.
    std::optional<OutputLine> waitFor(const std::function<bool(const std::string&)>& match,
                                      std::chrono::milliseconds timeout, size_t from = 0);
    std::optional<OutputLine> waitForPrefix(const std::string& prefix, std::chrono::milliseconds timeout,
                                            size_t from = 0);
    size_t lineCount() const;
    std::vector<OutputLine> lines() const;
    // The last lines (level meter lines left out), for failure reports.
    std::string transcript(size_t last = 40) const;

    // Closes its stdin and waits up to grace for it to end; then sends
    // SIGTERM, and SIGKILL if that does not end it either.
    void stop(std::chrono::milliseconds grace = std::chrono::milliseconds(0));

private:
    void readLoop(int fd);
    bool waitExit(std::chrono::milliseconds timeout);

    std::string name_;
    pid_t pid_ = -1;
    int toChild_ = -1;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<OutputLine> lines_;
    bool ended_ = false;
    std::thread reader_;
};

}  // namespace interop
