// Arbitrary bytes for the lab PBX's manager interface: split into actions
// (in pieces whose sizes the input chooses) and answered by its behaviour.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "labpbx/manager/manager_behaviour.h"

namespace {

labpbx::ManagerConfig config() {
    labpbx::ManagerConfig c;
    c.users = {{"queueopr", "bramwick"}};
    c.agents = {"1001", "SIP/1002"};
    c.mailboxes = {{"2001", "default", 3, 1, 0}};
    c.mailboxSplitMs = 0;
    return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    labpbx::ManagerBehaviour behaviour(config());
    behaviour.setExtStateLookup([](const std::string& extension) {
        const auto state = static_cast<labpbx::ExtState>(extension.size() % 4);
        return labpbx::ExtStateAnswer{state, extension.size() % 2 ? "10.1.2.3" : ""};
    });

    // First byte: already logged in or not, and the piece size.
    labpbx::ConnectionState connection;
    connection.authenticated = (data[0] & 1) != 0;
    const size_t piece = 1 + (data[0] >> 1);

    labpbx::ActionSplitter splitter;
    std::vector<labpbx::ManagerAction> actions;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    for (size_t at = 0; at < bytes.size(); at += piece) {
        actions.clear();
        splitter.feed(bytes.substr(at, piece), actions);
        for (const labpbx::ManagerAction& action : actions) {
            for (const labpbx::ReplyStep& step : behaviour.respond(action, connection)) {
                if (step.kind == labpbx::ReplyStep::Kind::Close) return 0;
            }
        }
    }
    return 0;
}
