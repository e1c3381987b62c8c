// labpbx-ctl: sends one control command to a running lab PBX and prints the
// reply. Exit status 0 for an OK reply, 1 otherwise.
//   labpbx-ctl [-p port] [-a address] <command words...>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "labpbx/pbx/control_client.h"
#include "labpbx/pbx/leading_number.h"

int main(int argc, char** argv) {
    std::string address = "127.0.0.1";
    int port = 5039;
    int i = 1;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-p" && i + 1 < argc)
            port = labpbx::leadingNumber(argv[++i]);
        else if (a == "-a" && i + 1 < argc)
            address = argv[++i];
        else
            break;
    }
    if (i >= argc || port <= 0 || port > 65535) {
        // The program as it was started: the package installs it under another name.
        const char* slash = std::strrchr(argv[0], '/');
        std::fprintf(stderr, "usage: %s [-p port] [-a address] <command...>\n", slash ? slash + 1 : argv[0]);
        return 2;
    }
    std::string line;
    for (; i < argc; ++i) {
        if (!line.empty()) line += ' ';
        line += argv[i];
    }
    labpbx::ControlClient client;
    std::string error;
    if (!client.connect(address, static_cast<uint16_t>(port), error)) {
        std::fprintf(stderr, "labpbx-ctl: %s\n", error.c_str());
        return 1;
    }
    labpbx::ControlReply reply = client.command(line);
    for (const auto& l : reply.lines) std::printf("%s\n", l.c_str());
    std::printf("%s\n", reply.status.c_str());
    return reply.ok ? 0 : 1;
}
