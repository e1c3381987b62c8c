// The call appearances: a fixed number of slots, the one the application
// has selected, and the rules for choosing a slot. Holds no sockets and
// posts no events; the engine reports what changed. Guarded by the engine
// lock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <iaxclient.h>

namespace voice::engine {

struct CallSlot {
    int state = 0;  // IAXC_CALL_STATE_* without SELECTED (derived)
    int format = 0;
    std::string remote;
    std::string remoteName;
    std::string local;
    std::string localContext;
    std::string callerName;
    std::string callerNumber;
    uint16_t session = 0;  // local call number, 0 when none
    // Selected by the application. A call that later lands in a slot the
    // selection still points at is not selected until chosen.
    bool selected = false;
};

class CallTable {
public:
    // `count` free slots (at least one), each with the given caller id;
    // nothing selected.
    void reset(int count, const std::string& callerName, const std::string& callerNumber);
    void clear();

    int size() const { return static_cast<int>(slots_.size()); }
    bool valid(int slot) const { return slot >= 0 && slot < size(); }
    // Only for a valid slot.
    CallSlot& at(int slot) { return slots_[static_cast<size_t>(slot)]; }
    const CallSlot& at(int slot) const { return slots_[static_cast<size_t>(slot)]; }
    // A valid slot that holds a call.
    bool inUse(int slot) const { return valid(slot) && at(slot).state != IAXC_CALL_STATE_FREE; }

    // The lowest FREE slot, -1 when every slot holds a call.
    int firstFree() const;
    // Where a call the application places goes: the selected slot when it
    // holds no active call, else the first free one; -1 when none.
    int slotForOutgoing() const;

    int selected() const { return selected_; }
    // The selected slot while it still carries the selection (a call that
    // landed in it later does not); -1 otherwise.
    int selectedCall() const;
    // Moves the selection to `slot` (any value; an invalid one selects
    // nothing). Returns the slot that lost the selection and holds a call,
    // whose new state the application must hear of, else -1.
    int select(int slot);
    // Selects nothing.
    void deselect();

    // The state the application sees: the slot's state with SELECTED
    // added when it holds the selected call.
    int reportedState(int slot) const;

    // The slot becomes FREE, without a dialog or the selection.
    void setFree(int slot);
    // The slot forgets its dialog if it is `localCall`.
    void detachSession(int slot, uint16_t localCall);
    void setCallerId(const std::string& name, const std::string& number);

private:
    std::vector<CallSlot> slots_;
    int selected_ = -1;
};

}  // namespace voice::engine
