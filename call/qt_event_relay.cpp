// The program's relay: a queued call on the Qt application object, which
// lives on the window's thread. QCoreApplication::postEvent underneath is
// safe from any thread and keeps the order of posting.
#include <QCoreApplication>
#include <QMetaObject>

#include "call/engine_events.h"
#include "call/event_relay.h"

void defaultEventRelay(const iaxc_event& event) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;
    QMetaObject::invokeMethod(
        app, [event] { handleIaxEvent(event); }, Qt::QueuedConnection);
}
