#include "agent/manager_messages.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>

#include "agent/socket_layer.h"
#include "app/debug_log.h"
#include "app/settings.h"

namespace {

ManagerMessageBuffer l_messages;

// Where the blank line that ends a message starts, and its length; npos
// when there is none. Lines end in CRLF on the wire; a bare LF is taken too.
size_t findBlankLine(const std::string& text, size_t* length) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') continue;
        if (i + 1 < text.size() && text[i + 1] == '\n') {
            *length = 1;
            return i + 1;
        }
        if (i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n') {
            *length = 2;
            return i + 1;
        }
    }
    return std::string::npos;
}

// Reads from the link until accept(message) returns true for a message;
// each message is offered once. The wait covers the whole read.
int readUntil(int socket, int seconds, const std::function<bool(const std::string&)>& accept) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds > 0 ? seconds : 1);
    std::string message;
    for (;;) {
        while (l_messages.next(message)) {
            if (accept(message)) return SO_OK;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return SO_READ_TIMEOUT;
        char chunk[kSocketBufferSize];
        const int rc = utl_readMsg(socket, chunk, static_cast<int>((left + 999) / 1000));
        if (rc != SO_OK) return rc;
        if (!l_messages.append(chunk, std::strlen(chunk))) {
            logDebugf("**ERR** manager message longer than %zu bytes dropped", ManagerMessageBuffer::kLimit);
        }
    }
}

bool hasActionId(const std::string& message, const std::string& actionId) {
    std::string value;
    return messageHeader(message, "ActionID", &value) && value == actionId;
}

void logSkipped(const std::string& message) {
    if (g_settings.linkDebug) logDebugf("**DEB** manager message skipped=%s", message.c_str());
}

}  // namespace

void ManagerMessageBuffer::reset() {
    m_pending.clear();
    m_greetingDue = true;
}

bool ManagerMessageBuffer::append(const char* data, size_t length) {
    if (m_pending.size() + length > kLimit) {
        m_pending.clear();
        return false;
    }
    m_pending.append(data, length);
    return true;
}

bool ManagerMessageBuffer::next(std::string& message) {
    if (m_greetingDue) {
        const size_t end = m_pending.find('\n');
        if (end == std::string::npos) return false;
        message.assign(m_pending, 0, end + 1);
        m_pending.erase(0, end + 1);
        m_greetingDue = false;
        return true;
    }
    // Blank lines between messages are not messages.
    size_t skip = 0;
    while (skip < m_pending.size() && (m_pending[skip] == '\r' || m_pending[skip] == '\n')) ++skip;
    if (skip > 0) m_pending.erase(0, skip);
    size_t blankLength = 0;
    const size_t blank = findBlankLine(m_pending, &blankLength);
    if (blank == std::string::npos) return false;
    message.assign(m_pending, 0, blank);
    m_pending.erase(0, blank + blankLength);
    return true;
}

bool messageHeader(const std::string& message, const char* name, std::string* value) {
    const size_t nameLength = std::strlen(name);
    size_t start = 0;
    while (start < message.size()) {
        size_t end = message.find('\n', start);
        if (end == std::string::npos) end = message.size();
        if (message.compare(start, nameLength, name) == 0 && start + nameLength + 1 < end + 1 &&
            message[start + nameLength] == ':') {
            size_t from = start + nameLength + 1;
            if (from < end && message[from] == ' ') ++from;
            size_t to = end;
            if (to > from && message[to - 1] == '\r') --to;
            if (value) value->assign(message, from, to - from);
            return true;
        }
        start = end + 1;
    }
    return false;
}

std::string nextActionId() {
    static std::atomic<unsigned> counter{0};
    return "quendra-" + std::to_string(++counter);
}

void resetManagerMessages() {
    l_messages.reset();
}

int readGreeting(int socket, std::string& greeting, int seconds) {
    return readUntil(socket, seconds, [&](const std::string& message) {
        greeting = message;
        return true;
    });
}

int readReply(int socket, const std::string& actionId, std::string& reply, int seconds) {
    return readUntil(socket, seconds, [&](const std::string& message) {
        if (!hasActionId(message, actionId)) {
            logSkipped(message);
            return false;
        }
        reply = message;
        return true;
    });
}

int readListReply(int socket, const std::string& actionId, std::string& list, int seconds) {
    list.clear();
    return readUntil(socket, seconds, [&](const std::string& message) {
        if (!hasActionId(message, actionId)) {
            logSkipped(message);
            return false;
        }
        if (!list.empty()) list += "\r\n";
        list += message;
        std::string value;
        // A refused list is one error response with no events after it.
        if (messageHeader(message, "Response", &value) && value != "Success") return true;
        return messageHeader(message, "EventList", &value) && value == "Complete";
    });
}
