// How an engine event reaches the window's thread. The engine calls
// iaxEventCallback on its own thread; the callback copies the event and hands
// the copy to the relay, which must return at once and have
// handleIaxEvent(copy) run later on the window's thread, in the order the
// events were relayed. So the engine's thread never waits for the window and
// every control change and manager exchange happens on the window's thread.
//
// The program's relay posts a queued call to the Qt application object (the
// only part of call control that knows Qt); tests install their own.
#pragma once

#include <iaxclient.h>

using EventRelay = void (*)(const iaxc_event& event);

// Installs the relay; nullptr restores the default one. Install it before
// the engine starts; it may be called from any thread afterwards.
void setEventRelay(EventRelay relay);
// Hands the event to the relay in force.
void relayEvent(const iaxc_event& event);

// The default relay: with Qt, a queued call on the application object's
// thread (events are dropped when no application object exists); without
// Qt, the event is handled on the calling thread.
void defaultEventRelay(const iaxc_event& event);
