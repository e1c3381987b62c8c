// Whole manager messages for the queue dialect. The PBX writes a message
// header by header, so one message may come in many reads and one read may
// hold the end of one message and the start of the next; a message ends at
// its blank line. Replies are told apart by their ActionID, and events that
// still arrive are skipped.
#pragma once

#include <cstddef>
#include <string>

// Collects the bytes read from the link and hands out whole messages.
// The first message of a link is the one-line greeting.
class ManagerMessageBuffer {
public:
    // Bytes kept while waiting for a blank line; more is a hostile peer.
    static constexpr size_t kLimit = size_t{256} * 1024;

    // Forgets what is pending; the next message is the greeting line.
    void reset();
    // Adds bytes; false (and everything pending dropped) when the pending
    // text would pass kLimit.
    bool append(const char* data, size_t length);
    // Moves the next whole message (its lines with their ends, without the
    // blank line) into message; false when no message is complete yet.
    bool next(std::string& message);

private:
    std::string m_pending;
    bool m_greetingDue = true;
};

// The value of the header name in message ("Name: value", name matched
// exactly at the start of a line); false when the header is absent.
bool messageHeader(const std::string& message, const char* name, std::string* value);

// A new ActionID, unique within the run.
std::string nextActionId();

// Socket reads for the link in g_acmSocket's session. Results are socket
// codes; SO_READ_TIMEOUT when the wanted message did not come in time.
// The buffer is reset whenever a link opens.
void resetManagerMessages();
int readGreeting(int socket, std::string& greeting, int seconds);
// Reads until the message that carries ActionID actionId; other messages
// are skipped.
int readReply(int socket, const std::string& actionId, std::string& reply, int seconds);
// A list reply: the response and every event with the ActionID, up to and
// including the one with "EventList: Complete", joined with blank lines.
int readListReply(int socket, const std::string& actionId, std::string& list, int seconds);
