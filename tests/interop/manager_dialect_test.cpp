// Every action the phone sends on its manager link, byte for byte as the
// phone formats it, sent to Asterisk and to the lab PBX; the two replies
// are printed side by side. Where both PBXs have the action (Login,
// MailboxCount, Logoff, and any action before login) the Response and
// Message lines must agree; the rest are recorded as dialect differences.
#include <algorithm>
#include <regex>
#include <sstream>

#include "agent/manager_actions.h"
#include "interop_fixture.h"
#include "manager_client.h"

namespace interop {
namespace {

struct Step {
    std::string label;
    std::string action;
    bool sharedByBoth;  // both PBXs implement it: replies must agree
};

std::vector<Step> phoneActions(const std::string& user, const std::string& secret) {
    char buf[kActionBufferSize];
    std::vector<Step> steps;
    auto add = [&](const std::string& label, int length, bool shared) {
        steps.push_back(
            {label, std::string(buf, static_cast<size_t>(std::min(length, kActionBufferSize - 1))), shared});
    };
    add("MailboxCount before Login", formatMailboxCountAction(buf, "1001", "default"), true);
    add("Login", formatLoginAction(buf, user.c_str(), secret.c_str()), true);
    add("IAXExtState 1001", formatExtStateAction(buf, "1001"), false);
    add("AgentCallBackLogin 1001", formatAgentLoginAction(buf, "1001", "1001"), false);
    add("QueuePause Agent/1001 true", formatQueuePauseAction(buf, "1001", "true"), false);
    add("MailboxCount 1001@default", formatMailboxCountAction(buf, "1001", "default"), true);
    add("AgentLogoff 1001", formatAgentLogoffAction(buf, "1001"), false);
    add("Logoff", formatLogoffAction(buf), true);
    return steps;
}

struct Dialogue {
    std::string banner;
    std::vector<std::string> replies;  // one per step; "(no reply)" when none came
    bool closedAfterLogoff = false;
};

Dialogue talk(int port, const std::vector<Step>& steps) {
    Dialogue d;
    ManagerClient link;
    if (!link.connect(port)) return d;
    d.banner = link.banner();
    for (const Step& step : steps) {
        link.send(step.action);
        d.replies.push_back(link.readResponse(5s).value_or("(no reply)"));
    }
    d.closedAfterLogoff = link.closedByPeer(3s);
    return d;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

void printSideBySide(const std::string& title, const std::string& left, const std::string& right,
                     const char* verdict) {
    std::printf("  -- %s: %s\n", title.c_str(), verdict);
    const auto a = linesOf(left), b = linesOf(right);
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i)
        std::printf("     %-64s | %s\n", i < a.size() ? a[i].c_str() : "", i < b.size() ? b[i].c_str() : "");
}

// The lab PBX with its shipped configuration on ports of its own.
class LabPbx {
public:
    LabPbx()
        : process_("labpbx",
                   {LABPBX_PATH, "-c", std::string(QUENDRA_SOURCE_DIR) + "/labpbx/lab.conf", "--iax-port", "0",
                    "--manager-port", "0", "--control-port", "0"},
                   {}) {
        const auto ports = process_.waitForPrefix("labpbx: IAX2 ", 10s);
        std::smatch m;
        static const std::regex manager("manager [0-9.]+:([0-9]+)/tcp");
        if (ports && std::regex_search(ports->text, m, manager)) managerPort = std::stoi(m[1]);
    }
    int managerPort = 0;

private:
    ChildProcess process_;
};

using ManagerDialect = InteropTest;

TEST_F(ManagerDialect, PhoneActionsAgainstBothPbxs) {
    LabPbx lab;
    ASSERT_GT(lab.managerPort, 0) << "the lab PBX did not start";
    const auto realSteps = phoneActions(site->managerUser, site->managerSecret);
    const auto labSteps = phoneActions("quendra", "labsecret");  // labpbx/lab.conf's manager account
    const Dialogue real = talk(site->managerPort, realSteps);
    const Dialogue mine = talk(lab.managerPort, labSteps);
    ASSERT_EQ(real.replies.size(), realSteps.size()) << "no manager link to Asterisk";
    ASSERT_EQ(mine.replies.size(), labSteps.size()) << "no manager link to the lab PBX";

    std::printf("  manager replies: Asterisk 22 (left) and the lab PBX (right)\n");
    printSideBySide("banner", real.banner, mine.banner, real.banner == mine.banner ? "same" : "differs");
    int differences = 0;
    for (size_t i = 0; i < realSteps.size(); ++i) {
        const std::string& a = real.replies[i];
        const std::string& b = mine.replies[i];
        const bool same = headerValue(a, "Response") == headerValue(b, "Response") &&
                          headerValue(a, "Message") == headerValue(b, "Message");
        const char* verdict = same                        ? "same Response/Message"
                              : realSteps[i].sharedByBoth ? "DIFFERENT"
                                                          : "differs: known dialect difference";
        printSideBySide(realSteps[i].label, a, b, verdict);
        if (!same && !realSteps[i].sharedByBoth) ++differences;
        if (realSteps[i].sharedByBoth) {
            EXPECT_TRUE(headerValue(a, "Response").has_value()) << realSteps[i].label << ": Asterisk: " << a;
            EXPECT_EQ(headerValue(a, "Response"), headerValue(b, "Response")) << realSteps[i].label;
            EXPECT_EQ(headerValue(a, "Message"), headerValue(b, "Message")) << realSteps[i].label;
        }
    }
    figure("manager: %d of the phone's actions answered differently by the two PBXs (dialect differences)",
           differences);
    EXPECT_TRUE(real.closedAfterLogoff) << "Asterisk kept the link after Logoff";
    EXPECT_EQ(real.closedAfterLogoff, mine.closedAfterLogoff) << "only one PBX closed the link after Logoff";
}

}  // namespace
}  // namespace interop
