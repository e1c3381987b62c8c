// The agent-mode fixture over the real manager session, against the lab
// PBX's manager interface on loopback: the ACM user queueopr and mailbox
// 2001 are set up; a test adds to config before LabManagerFixture::SetUp()
// starts the server and points the session at it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "agent_fixture.h"
#include "labpbx/manager/manager_interface.h"

class LabManagerFixture : public AgentFixture {
protected:
    using Strings = std::vector<std::string>;

    LabManagerFixture();
    void SetUp() override;
    void TearDown() override;

    // Starts a new server with config.
    void startServer();
    // A PBX back on line (on a new port) after it went away.
    void restartServer();
    // Called on each server just started, before any link reaches it.
    virtual void serverStarted() {}

    // Names of the actions received, in order.
    Strings actionNames() const;
    // Picks a reason in the list as the agent does.
    void pick(int index);

    labpbx::ManagerConfig config;
    std::unique_ptr<labpbx::ManagerServer> server;
};
