#include <gtest/gtest.h>

#include "labpbx/pbx/config.h"

namespace labpbx {
namespace {

std::optional<LabConfig> parse(const std::string& text, ConfigError& e) {
    return parseConfig(text, e);
}

TEST(Config, ParsesEverySectionOfAFullFile) {
    ConfigError e;
    auto c = parse(R"(
; comment line
# another
[general]
bindaddr = 127.0.0.2
iaxport = 0         ; ephemeral
managerport = 15038
controlport = 15039
minregexpire = 30
maxregexpire = 120
ringtimeout = 20
externalcalls = reject
allow = ulaw, alaw
demointerval = 15
democallerid = "Ms Smith" <5551234>
[extensions]
2001 = s1 callerid="Agent; One" <2001>
2002 = s2 requirecalltoken=no mailbox=2002@vm
[managers]
boss = pw
[agents]
1001 = Jane Doe
[mailboxes]
2002@vm = 12
[services]
600 = echo
601 = tone
602 = busy
603 = ring
)",
                   e);
    ASSERT_TRUE(c) << e.line << ": " << e.message;
    EXPECT_EQ(c->bindAddress, "127.0.0.2");
    EXPECT_EQ(c->iaxPort, 0);
    EXPECT_EQ(c->managerPort, 15038);
    EXPECT_EQ(c->controlPort, 15039);
    EXPECT_EQ(c->minRegExpire, 30);
    EXPECT_EQ(c->maxRegExpire, 120);
    EXPECT_EQ(c->ringTimeoutSeconds, 20);
    EXPECT_FALSE(c->externalCalls);
    EXPECT_EQ(c->codecs, (std::vector<uint32_t>{kCodecUlaw, kCodecAlaw}));
    EXPECT_EQ(c->demo.intervalSeconds, 15);
    EXPECT_EQ(c->demo.extension, "2001");  // the first extension by default
    EXPECT_EQ(c->demo.callerName, "Ms Smith");
    EXPECT_EQ(c->demo.callerNumber, "5551234");
    ASSERT_EQ(c->extensions.size(), 2u);
    const ExtensionConfig* one = c->findExtension("2001");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->secret, "s1");
    EXPECT_TRUE(one->requireCallToken);
    EXPECT_EQ(one->callerName, "Agent; One");  // ';' inside quotes is no comment
    EXPECT_EQ(one->callerNumber, "2001");
    const ExtensionConfig* two = c->findExtension("2002");
    ASSERT_TRUE(two);
    EXPECT_FALSE(two->requireCallToken);
    EXPECT_EQ(two->mailbox, "2002@vm");
    EXPECT_EQ(two->callerName, "2002");
    EXPECT_EQ(c->managers.at("boss"), "pw");
    EXPECT_EQ(c->agents.at("1001"), "Jane Doe");
    EXPECT_EQ(c->mailboxes.at("2002@vm"), 12);
    EXPECT_EQ(c->services.at("600"), ServiceKind::Echo);
    EXPECT_EQ(c->services.at("601"), ServiceKind::Tone);
    EXPECT_EQ(c->services.at("602"), ServiceKind::Busy);
    EXPECT_EQ(c->services.at("603"), ServiceKind::Ring);
}

TEST(Config, DefaultsListenOnLoopbackStandardPorts) {
    ConfigError e;
    auto c = parse("[extensions]\n2001 = x\n", e);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->bindAddress, "127.0.0.1");
    EXPECT_EQ(c->iaxPort, 4569);
    EXPECT_EQ(c->managerPort, 5038);
    EXPECT_EQ(c->controlPort, 5039);
    EXPECT_TRUE(c->externalCalls);
    EXPECT_EQ(c->codecs, (std::vector<uint32_t>{kCodecGsm, kCodecUlaw, kCodecAlaw}));
    EXPECT_EQ(c->demo.intervalSeconds, 0);
    EXPECT_EQ(c->managerDialect, "classic");
    EXPECT_TRUE(c->queues.empty());
    c = parse("[general]\nmanagerdialect = queues\nqueues = sales,support\n", e);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->managerDialect, "queues");
    EXPECT_EQ(c->queues, (std::vector<std::string>{"sales", "support"}));
}

TEST(Config, CodecChoiceFollowsTheListNotThePhone) {
    LabConfig c;
    const uint32_t all = kCodecGsm | kCodecUlaw | kCodecAlaw;
    EXPECT_EQ(c.chooseCodec(kCodecUlaw, all), kCodecGsm);
    EXPECT_EQ(c.chooseCodec(kCodecAlaw, kCodecUlaw | kCodecAlaw), kCodecUlaw);
    EXPECT_EQ(c.chooseCodec(kCodecAlaw, 0), kCodecAlaw);  // no capability: FORMAT alone
    EXPECT_EQ(c.chooseCodec(1u << 8, 1u << 8), 0u);
    EXPECT_EQ(c.codecPrefs(kCodecGsm, all), "CDE");
    EXPECT_EQ(c.codecPrefs(kCodecAlaw, all), "ECD");
    EXPECT_EQ(c.codecPrefs(kCodecUlaw, kCodecUlaw), "D");
    c.codecs = {kCodecAlaw, kCodecGsm};
    EXPECT_EQ(c.chooseCodec(kCodecGsm, all), kCodecAlaw);
    EXPECT_EQ(c.codecMask(), kCodecAlaw | kCodecGsm);
    EXPECT_EQ(codecName(kCodecUlaw), "ulaw");
    EXPECT_EQ(codecName(0), "-");
    EXPECT_EQ(codecName(0x100), "0x100");
}

TEST(Config, ErrorsNameTheLine) {
    struct Case {
        const char* text;
        int line;
        const char* fragment;
    } cases[] = {
        {"[nosuch]\n", 1, "unknown section"},
        {"[general]\nfoo = 1\n", 2, "unknown key"},
        {"[general]\nmanagerdialect = modern\n", 2, "managerdialect"},
        {"[general]\nqueues = sales,,support\n", 2, "queue name"},
        {"[general]\niaxport = 70000\n", 2, "port"},
        {"[general]\niaxport = 12x\n", 2, "port"},
        {"[general]\nbindaddr = localhost\n", 2, "IPv4"},
        {"x = 1\n", 1, "outside"},
        {"[general\n", 1, "unterminated"},
        {"[general]\njust words\n", 2, "key = value"},
        {"[extensions]\n2001 =\n", 2, "secret"},
        {"[extensions]\n2001 = s\n2001 = t\n", 3, "twice"},
        {"[extensions]\n2001 = s requirecalltoken=maybe\n", 2, "requirecalltoken"},
        {"[extensions]\n2001 = s colour=blue\n", 2, "unknown extension option"},
        {"[extensions]\n2001 = s mailbox=nocontext\n", 2, "mailbox"},
        {"[extensions]\n2001 = s callerid=Bob\n", 2, "callerid"},
        {"[extensions]\nbad ext = s\n", 2, "extension number"},
        {"[mailboxes]\n2001@default = -1\n", 2, "count"},
        {"[mailboxes]\n2001 = 1\n", 2, "number@context"},
        {"[services]\n600 = music\n", 2, "echo, tone, busy or ring"},
        {"[general]\nexternalcalls = maybe\n", 2, "externalcalls"},
        {"[general]\nallow = gsm, g729\n", 2, "allow"},
        {"[general]\nallow = gsm, gsm\n", 2, "allow"},
        {"[general]\nallow =\n", 2, "allow"},
        {"[general]\nminregexpire = 100\nmaxregexpire = 50\n", 0, "minregexpire"},
        {"[extensions]\n600 = s\n[services]\n600 = echo\n", 0, "both"},
        {"[general]\ndemointerval = 5\n", 0, "demoextension"},
        {"[general]\ndemointerval = 5\ndemoextension = 9\n[extensions]\n1 = s\n", 0, "demoextension"},
    };
    for (const auto& c : cases) {
        ConfigError e;
        EXPECT_FALSE(parse(c.text, e)) << c.text;
        EXPECT_EQ(e.line, c.line) << c.text;
        EXPECT_NE(e.message.find(c.fragment), std::string::npos) << c.text << " -> " << e.message;
    }
}

TEST(Config, OverlongLinesAndValuesAreRefused) {
    ConfigError e;
    EXPECT_FALSE(parse("[extensions]\n2001 = " + std::string(2000, 'x') + "\n", e));
    EXPECT_EQ(e.line, 2);
    EXPECT_FALSE(parse("[managers]\nu = " + std::string(200, 'x') + "\n", e));
    EXPECT_FALSE(parse("[extensions]\n" + std::string(70, '1') + " = s\n", e));
}

TEST(Config, ShippedLabConfigurationLoads) {
    ConfigError e;
    auto c = loadConfigFile(LABPBX_SOURCE_DIR "/lab.conf", e);
    ASSERT_TRUE(c) << e.line << ": " << e.message;
    EXPECT_TRUE(c->findExtension("2001"));
    EXPECT_EQ(c->iaxPort, 4569);
    EXPECT_EQ(c->managerPort, 5038);
    EXPECT_FALSE(c->managers.empty());
    EXPECT_FALSE(c->findExtension("2003")->requireCallToken);
}

TEST(Config, MissingFileIsAnError) {
    ConfigError e;
    EXPECT_FALSE(loadConfigFile("/nonexistent/lab.conf", e));
    EXPECT_EQ(e.line, 0);
    EXPECT_NE(e.message.find("cannot read"), std::string::npos);
}

TEST(Config, CallerIdForms) {
    std::string name, number;
    EXPECT_TRUE(parseCallerId("\"Jo Bloggs\" <123>", name, number));
    EXPECT_EQ(name, "Jo Bloggs");
    EXPECT_EQ(number, "123");
    EXPECT_TRUE(parseCallerId("Plain Name <9>", name, number));
    EXPECT_EQ(name, "Plain Name");
    EXPECT_FALSE(parseCallerId("<>", name, number));
    EXPECT_FALSE(parseCallerId("No number", name, number));
}

}  // namespace
}  // namespace labpbx
