// Any datagrams into the lab PBX's IAX2 side: the input is a sequence of
// records [source selector (1 byte)][length (2 bytes, big-endian)][bytes],
// each delivered as one datagram from one of four loopback sources, so
// dialogs can be started and then continued. The PBX must survive all of
// it, and its state must stay within its bounds.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "labpbx/pbx/config.h"
#include "labpbx/pbx/event_loop.h"
#include "labpbx/pbx/pbx_core.h"

namespace {

labpbx::LabConfig makeConfig() {
    labpbx::ConfigError error;
    auto cfg = labpbx::parseConfig(
        "[general]\niaxport = 0\n[extensions]\n2001 = s1\n2003 = s3 requirecalltoken=no\n"
        "[mailboxes]\n2001@default = 1\n[services]\n600 = echo\n601 = tone\n",
        error);
    if (!cfg) std::abort();
    return *cfg;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static labpbx::LabConfig config = makeConfig();
    labpbx::EventLoop loop;
    labpbx::PbxCore core(loop, config, labpbx::WireTiming{});
    std::string error;
    if (!core.bind(error)) return 0;
    size_t pos = 0;
    int records = 0;
    while (pos + 3 <= size && records < 64) {
        uint8_t source = data[pos];
        size_t length = (static_cast<size_t>(data[pos + 1]) << 8) | data[pos + 2];
        pos += 3;
        if (length > size - pos) length = size - pos;
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        from.sin_port = htons(static_cast<uint16_t>(45000 + (source & 3)));
        core.endpoint().receive(data + pos, length, from);
        pos += length;
        ++records;
    }
    // One session at most per dialog-starting datagram.
    if (core.counts().sessions > static_cast<size_t>(records)) std::abort();
    core.shutdown();
    if (core.counts().sessions != 0 || loop.timerCount() != 0) std::abort();
    return 0;
}
