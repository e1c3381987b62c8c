// Work of the window's thread that touches the call or the agent's state
// (the handling of one engine event, the tick of a call or agent timer) runs
// one item at a time. A message box opened inside an item runs a nested
// event loop that delivers further engine events and timer ticks; such work
// is kept, in the order it arrived, and run as soon as the current item has
// ended, so no item ever starts in the middle of another. Window thread only.
#pragma once

#include <cstddef>
#include <functional>

// Runs work at once when no item is running; otherwise queues it behind the
// items already waiting and returns.
void runSerialWork(std::function<void()> work);

// True while an item runs (also while it waits for a message box).
bool serialWorkRunning();

// Items waiting behind the one that runs.
std::size_t serialWorkWaiting();
