// Registration against Asterisk: call token and MD5 challenge (REGACK), a
// wrong secret refused, an extension without call tokens, and the release
// (REGREL) that leaves the extension unregistered. Refreshes are counted in
// the long call (long_call_test.cpp).
#include <sstream>

#include "interop_fixture.h"

namespace interop {
namespace {

// The line of `iax2 show peers` for ext.
std::string peerLine(const AsteriskSite& site, const std::string& ext) {
    std::istringstream lines(asteriskCli(site, "iax2 show peers"));
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind(ext + " ", 0) == 0 || line.rfind(ext + "/", 0) == 0) return line;
    return {};
}

bool holdsWord(const std::string& line, const std::string& word) {
    std::istringstream words(line);
    std::string w;
    while (words >> w)
        if (w == word) return true;
    return false;
}

using Registration = InteropTest;

TEST_F(Registration, TokenAndChallengeThenRelease) {
    Phone phone = startPhone("1001", 1000, 5);
    AsteriskLog log(*site);

    const auto asked = Clock::now();
    ASSERT_TRUE(registerPhone(phone, "1001"));
    figure("registration of 1001 (call token + MD5): REGACK after %.0f ms",
           1000 * secondsBetween(asked, Clock::now()));
    const std::string port = std::to_string(phone->port());
    std::string line = peerLine(*site, "1001");
    EXPECT_TRUE(holdsWord(line, "127.0.0.1") && holdsWord(line, port))
        << "iax2 show peers does not show 1001 at the phone's port " << port << ": " << line;
    figure("iax2 show peers while registered: %s", line.c_str());

    // The release goes through its own token and challenge; Asterisk then
    // forgets the address.
    const size_t before = phone->lineCount();
    ASSERT_EQ(phone->command("unregister"), "1");
    const auto released = log.waitFor("Unregistered IAX2 '1001'", 10s);
    ASSERT_TRUE(released) << "Asterisk logged no release of 1001";
    figure("REGREL: Asterisk logged: %s", released->c_str());
    line = peerLine(*site, "1001");
    EXPECT_FALSE(holdsWord(line, port)) << "1001 still registered after the release: " << line;
    figure("iax2 show peers after the release: %s", line.c_str());
    EXPECT_FALSE(phone->waitForPrefix("REG ", 1s, before)) << "a release is not reported as a registration";
}

TEST_F(Registration, WrongSecretIsRefused) {
    Phone phone = startPhone("1002", 1000, 5);
    const size_t from = phone->lineCount();
    ASSERT_EQ(phone->command("register 1002 wrong " + site->iaxHost()), "1");
    const auto reply = phone->waitForPrefix("REG id=1 ", 10s, from);
    ASSERT_TRUE(reply) << "no registration reply";
    EXPECT_NE(reply->text.find(" reply=30 "), std::string::npos) << reply->text;
    figure("registration with a wrong secret: %s", reply->text.c_str());
    // A refused registration is not tried again.
    EXPECT_FALSE(phone->waitForPrefix("REG ", 2s, phone->lineCount()));
}

TEST_F(Registration, ExtensionWithoutCallTokens) {
    Phone phone = startPhone("1009", 1000, 5);
    ASSERT_TRUE(registerPhone(phone, "1009"));
    EXPECT_TRUE(holdsWord(peerLine(*site, "1009"), std::to_string(phone->port())));
}

}  // namespace
}  // namespace interop
