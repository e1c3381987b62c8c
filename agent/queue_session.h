// The queue dialect's side of the manager session: the manager login, the
// extension check over the peer list, the agent login with QueueAdd and the
// read-back of the member's state, and the QueueRemove log-off. Internal to
// the agent folder; every function runs under the link lock its caller holds.
#pragma once

#include <string>

#include "agent/manager_exchange.h"
#include "agent/queue_actions.h"

// After utl_connect2server: reads the greeting, logs in with events off,
// then verifies the extension (verify != 0) or joins every queue of
// acmQueues. Results as init_iaxAgiSocket's.
int queueOpenSession(int verify, char* inUseAddress, int readTimer);

// Removes the agent's interface from every queue of acmQueues; "Not there"
// counts as removed. 0, a socket code, or MGR_REFUSED.
int queueRemoveAgent(int socket);
