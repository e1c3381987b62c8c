#include "phone_process.h"

#include <sstream>

namespace interop {

namespace {

std::string fieldOf(const std::string& line, const std::string& key) {
    const std::string tag = " " + key + "=";
    const size_t at = line.find(tag);
    if (at == std::string::npos) return {};
    const size_t start = at + tag.size();
    const size_t end = line.find(' ', start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

std::optional<PhoneState> parseState(const std::string& line) {
    if (line.rfind("STATE ", 0) != 0) return std::nullopt;
    PhoneState s;
    try {
        s.slot = std::stoi(fieldOf(line, "slot"));
        s.state = static_cast<int>(std::stoul(fieldOf(line, "state"), nullptr, 16));
        s.format = std::stoi(fieldOf(line, "format"));
        s.heard = std::stol(fieldOf(line, "heard"));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    s.remote = fieldOf(line, "remote");
    return s;
}

PhoneProcess::PhoneProcess(std::string name, const std::vector<std::pair<std::string, std::string>>& env)
    : ChildProcess(std::move(name), {INTEROP_PHONE_PATH}, env) {
    if (auto ready = waitForPrefix("READY ", std::chrono::seconds(10))) {
        const std::string port = fieldOf(ready->text, "port");
        port_ = port.empty() ? 0 : std::stoi(port);
    }
}

PhoneProcess::~PhoneProcess() {
    quit();
}

void PhoneProcess::quit() {
    if (!started()) return;
    send("quit");
    // Releasing registrations takes up to about a second.
    stop(std::chrono::seconds(5));
}

std::optional<std::string> PhoneProcess::command(const std::string& text, std::chrono::milliseconds timeout) {
    const size_t from = lineCount();
    send(text);
    std::istringstream in(text);
    std::string verb;
    in >> verb;
    const std::string ok = "OK " + verb;
    auto reply = waitFor(
        [&](const std::string& line) {
            return line == ok || line.rfind(ok + " ", 0) == 0 || line.rfind("ERR ", 0) == 0;
        },
        timeout, from);
    if (!reply || reply->text.rfind("ERR ", 0) == 0) return std::nullopt;
    return reply->text.size() > ok.size() ? reply->text.substr(ok.size() + 1) : std::string();
}

std::optional<std::pair<PhoneState, Clock::time_point>> PhoneProcess::waitForState(
    int slot, int all, std::chrono::milliseconds timeout, size_t from) {
    std::optional<PhoneState> found;
    auto line = waitFor(
        [&](const std::string& text) {
            auto s = parseState(text);
            if (!s || s->slot != slot) return false;
            if (all == 0 ? s->state != 0 : (s->state & all) != all) return false;
            found = s;
            return true;
        },
        timeout, from);
    if (!line || !found) return std::nullopt;
    return std::make_pair(*found, line->at);
}

}  // namespace interop
