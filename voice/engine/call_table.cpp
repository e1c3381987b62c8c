#include "voice/engine/call_table.h"

namespace voice::engine {

void CallTable::reset(int count, const std::string& callerName, const std::string& callerNumber) {
    slots_.assign(static_cast<size_t>(count > 0 ? count : 1), CallSlot{});
    setCallerId(callerName, callerNumber);
    selected_ = -1;
}

void CallTable::clear() {
    slots_.clear();
    selected_ = -1;
}

int CallTable::firstFree() const {
    for (int i = 0; i < size(); ++i)
        if (at(i).state == IAXC_CALL_STATE_FREE) return i;
    return -1;
}

int CallTable::slotForOutgoing() const {
    if (valid(selected_) && !(at(selected_).state & IAXC_CALL_STATE_ACTIVE)) return selected_;
    return firstFree();
}

int CallTable::selectedCall() const {
    return valid(selected_) && at(selected_).selected ? selected_ : -1;
}

int CallTable::select(int slot) {
    const int previous = selected_;
    selected_ = slot;
    if (valid(slot)) at(slot).selected = true;
    if (previous == slot || !valid(previous)) return -1;
    at(previous).selected = false;
    return inUse(previous) ? previous : -1;
}

void CallTable::deselect() {
    if (valid(selected_)) at(selected_).selected = false;
    selected_ = -1;
}

int CallTable::reportedState(int slot) const {
    const CallSlot& c = at(slot);
    int state = c.state;
    if (c.state != IAXC_CALL_STATE_FREE && selected_ == slot && c.selected) state |= IAXC_CALL_STATE_SELECTED;
    return state;
}

void CallTable::setFree(int slot) {
    if (!valid(slot)) return;
    CallSlot& c = at(slot);
    c.state = IAXC_CALL_STATE_FREE;
    c.format = 0;
    c.session = 0;
    c.selected = false;
}

void CallTable::detachSession(int slot, uint16_t localCall) {
    if (valid(slot) && at(slot).session == localCall) at(slot).session = 0;
}

void CallTable::setCallerId(const std::string& name, const std::string& number) {
    for (CallSlot& c : slots_) {
        c.callerName = name;
        c.callerNumber = number;
    }
}

}  // namespace voice::engine
