// The manager actions the session sends, byte for byte, and the reading of
// the replies it gets. Plain functions over text buffers, shared by the
// session's exchanges and their tests.
#pragma once

// Actions are formatted into, and replies read into, buffers of this size.
constexpr int kActionBufferSize = 1024;
constexpr int kReplyBufferSize = 1024;

// Each formatter writes into buffer (kActionBufferSize bytes, always ended by
// a NUL) and returns the full length the action needs, as snprintf does. A
// length of kActionBufferSize or more means the action did not fit; the send
// refuses it as too big, so a cut action never goes out.
int formatLoginAction(char* buffer, const char* user, const char* secret);
int formatExtStateAction(char* buffer, const char* extension);
int formatAgentLoginAction(char* buffer, const char* agentId, const char* extension);
// The interface is "Agent/<id>", or the agent ID itself when it holds a "/".
int formatQueuePauseAction(char* buffer, const char* agentId, const char* pausedValue);
int formatMailboxCountAction(char* buffer, const char* mailbox, const char* context);
int formatAgentLogoffAction(char* buffer, const char* agentId);
int formatLogoffAction(char* buffer);

// A keyword anywhere in the text read counts.
bool replyHas(const char* reply, const char* keyword);

// The extension-state reply, by its first matching keyword.
enum class ExtStateReply { NoExt, NotExist, Unused, Address, Unexpected };
// For Address, address (capacity bytes) holds the run of digits and dots
// read with "Response: %[0-9.]" from the start of the reply; otherwise it is
// emptied.
ExtStateReply classifyExtStateReply(const char* reply, char* address, int capacity);

// The mailbox-count reply: the number after "NewMessages:", read as
// "NewMessages: %d" reads it. A negative number is not a count of messages
// and reads as NoCount; a number beyond the int range is capped.
enum class NewMessagesReply { KeywordMissing, NoCount, Count };
NewMessagesReply readNewMessages(const char* reply, int* count);
