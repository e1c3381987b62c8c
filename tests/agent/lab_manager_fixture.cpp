#include "lab_manager_fixture.h"

#include "agent/agent_modes.h"
#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "app/main_window.h"
#include "app/settings.h"

void resetTestLink() {}

void closeTestLink() {
    // Closes a link that a test left open, also one lost on the way.
    if (g_acmSocket != 0) agi_Logout(nullptr);
    g_acmSocket = 0;
}

LabManagerFixture::LabManagerFixture() {
    config.port = 0;
    config.users = {{"queueopr", "bramwick"}};
    config.mailboxes = {{"2001"}};
    config.mailboxSplitMs = 1;
}

void LabManagerFixture::SetUp() {
    startServer();
    if (HasFatalFailure()) return;
    AgentFixture::SetUp();
    copyText(g_settings.host, "127.0.0.1");
    g_settings.acmPort = server->port();
    g_settings.acmDelayB4Read = 15;
}

void LabManagerFixture::TearDown() {
    AgentFixture::TearDown();
    server->stop();
}

void LabManagerFixture::startServer() {
    server = std::make_unique<labpbx::ManagerServer>(config);
    std::string error;
    ASSERT_TRUE(server->start(&error)) << error;
    serverStarted();
}

void LabManagerFixture::restartServer() {
    server->stop();
    startServer();
    g_settings.acmPort = server->port();
}

LabManagerFixture::Strings LabManagerFixture::actionNames() const {
    Strings names;
    for (const auto& received : server->actions()) names.push_back(received.action.name());
    return names;
}

void LabManagerFixture::pick(int index) {
    window.pickReason(index);
    OnCbnSelchangeComboReason();
}
