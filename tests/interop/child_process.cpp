#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

extern char** environ;

namespace interop {

ChildProcess::ChildProcess(std::string name, const std::vector<std::string>& argv,
                           const std::vector<std::pair<std::string, std::string>>& env)
    : name_(std::move(name)) {
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const size_t eq = entry.find('=');
        if (eq != std::string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [key, value] : env) vars[key] = value;
    std::vector<std::string> entries;
    for (const auto& [key, value] : vars) entries.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : entries) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (std::string& arg : args) argp.push_back(arg.data());
    argp.push_back(nullptr);
    if (args.empty()) return;

    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    if (rc != 0) {
        std::fprintf(stderr, "%s: cannot start %s: %s\n", name_.c_str(), args[0].c_str(), std::strerror(rc));
        ::close(in[1]);
        ::close(out[0]);
        return;
    }
    pid_ = pid;
    toChild_ = in[1];
    reader_ = std::thread([this, fd = out[0]] { readLoop(fd); });
}

ChildProcess::~ChildProcess() {
    stop();
}

void ChildProcess::readLoop(int fd) {
    std::string pending;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pending.append(buf, static_cast<size_t>(n));
        size_t eol;
        while ((eol = pending.find('\n')) != std::string::npos) {
            OutputLine line{pending.substr(0, eol), Clock::now()};
            pending.erase(0, eol + 1);
            std::lock_guard<std::mutex> guard(lock_);
            lines_.push_back(std::move(line));
            changed_.notify_all();
        }
    }
    ::close(fd);
    std::lock_guard<std::mutex> guard(lock_);
    ended_ = true;
    changed_.notify_all();
}

void ChildProcess::send(const std::string& text) {
    if (toChild_ < 0) return;
    const std::string line = text + "\n";
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(toChild_, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

std::optional<OutputLine> ChildProcess::waitFor(const std::function<bool(const std::string&)>& match,
                                                std::chrono::milliseconds timeout, size_t from) {
    const auto deadline = Clock::now() + timeout;
    std::unique_lock<std::mutex> guard(lock_);
    size_t next = from;
    for (;;) {
        for (; next < lines_.size(); ++next)
            if (match(lines_[next].text)) return lines_[next];
        if (ended_ || changed_.wait_until(guard, deadline) == std::cv_status::timeout) {
            for (; next < lines_.size(); ++next)
                if (match(lines_[next].text)) return lines_[next];
            return std::nullopt;
        }
    }
}

std::optional<OutputLine> ChildProcess::waitForPrefix(const std::string& prefix, std::chrono::milliseconds timeout,
                                                      size_t from) {
    return waitFor([&](const std::string& text) { return text.rfind(prefix, 0) == 0; }, timeout, from);
}

size_t ChildProcess::lineCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lines_.size();
}

std::vector<OutputLine> ChildProcess::lines() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
}

std::string ChildProcess::transcript(size_t last) const {
    std::vector<std::string> kept;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (const OutputLine& line : lines_)
            if (line.text.rfind("LEVELS ", 0) != 0) kept.push_back(line.text);
    }
    std::string out = "--- last lines of " + name_ + ":\n";
    for (size_t i = kept.size() > last ? kept.size() - last : 0; i < kept.size(); ++i) out += kept[i] + "\n";
    return out;
}

bool ChildProcess::waitExit(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    int status = 0;
    for (;;) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void ChildProcess::stop(std::chrono::milliseconds grace) {
    if (pid_ <= 0) return;
    if (toChild_ >= 0) ::close(toChild_);
    toChild_ = -1;
    if (!waitExit(grace)) {
        ::kill(pid_, SIGTERM);
        if (!waitExit(std::chrono::seconds(3))) {
            ::kill(pid_, SIGKILL);
            waitExit(std::chrono::seconds(3));
        }
    }
    pid_ = -1;
    if (reader_.joinable()) reader_.join();
}

}  // namespace interop
