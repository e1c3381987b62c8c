// Joins the manager interface (labpbx/manager) to the PBX: it answers
// IAXExtState from the registrar and MailboxCount from the PBX's mailbox
// counts, and carries the control interface's manager commands (agent
// pause history, faults for the next reply, dropping the link).
// The manager server runs its own threads; stop() must not be called from
// the loop thread while a connection may be waiting for the registrar.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "labpbx/pbx/config.h"
#include "labpbx/pbx/event_loop.h"

namespace labpbx {

class PbxCore;

class ManagerBridge {
public:
    ManagerBridge(EventLoop& loop, PbxCore& core, const LabConfig& config);
    ~ManagerBridge();

    bool start(const std::string& address, uint16_t port, std::string& error);
    void stop();
    uint16_t port() const;
    size_t socketCount() const;

    // Keeps the manager's MailboxCount answers in step with the PBX.
    bool setNewMessages(const std::string& mailbox, int count);
    // "pauses <agent>" and "manager fail|split [ms]|delay <ms>|drop|reset|actions".
    // Any thread (the manager server guards itself).
    std::string command(const std::vector<std::string>& words);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace labpbx
