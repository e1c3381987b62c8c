#include "manager_bridge.h"

#include "pbx_core.h"

namespace labpbx {

// Until the manager interface is part of the build, the bridge listens on
// nothing and says so to the control interface.
struct ManagerBridge::Impl {};

ManagerBridge::ManagerBridge(EventLoop&, PbxCore&, const LabConfig&) {}
ManagerBridge::~ManagerBridge() = default;
bool ManagerBridge::start(const std::string&, uint16_t, std::string&) { return true; }
void ManagerBridge::stop() {}
uint16_t ManagerBridge::port() const { return 0; }
size_t ManagerBridge::socketCount() const { return 0; }
std::string ManagerBridge::command(const std::vector<std::string>&) {
    return "ERR manager interface not built\n";
}

}  // namespace labpbx
