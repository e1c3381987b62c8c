// The voice engine's events: the callback the engine calls, the handling of
// each event on the window's thread, and the tones the handling plays.
#pragma once

#include <iaxclient.h>

// Set by the first accepted registration; never cleared.
extern int g_registeredOnce;

// The engine's one event handler, installed by [Start]. Runs on the engine's
// thread: drops the event types the phone ignores (levels, statistics, URL,
// video, DTMF, audio) and relays a copy of every other event to the window's
// thread (event_relay.h). Touches no program state. Returns 1.
int iaxEventCallback(iaxc_event e);

// The whole handling of one event, on the window's thread: call states,
// registration replies, text messages and unknown types. Returns 1. Does
// nothing once event handling has been closed or when there is no window.
// While other serial work runs (an event's or a timer's handling waiting for
// a message box), the event is kept and handled right after it
// (serial_work.h).
int handleIaxEvent(const iaxc_event& event);

// Stops the handling of events still on their way (Exit and the start-up
// abort close it just before the window goes away).
void closeEventHandling();
// Opens it again (tests that run several phones in one process).
void reopenEventHandling();

// Hands the ring-tone table to the engine, repeat count 8; returns the
// engine's sound id.
int play_ringingTone();
// Plays the auto-answer alert once (repeat count 1).
void play_autoAnswerAlert();
