#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <string>

#include "agent/socket_layer.h"
#include "platform_fakes.h"

namespace {

bool isDottedAddress(const std::string& text) {
    in_addr address;
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

class LocalAddresses : public ::testing::Test {
protected:
    void TearDown() override { fakes::useRealInterfaces(); }
    char buffer[256];
};

TEST_F(LocalAddresses, ListFormatWithLoopbackLast) {
    fakes::useInterfaces({{"lo", true, "127.0.0.1"},
                          {"eth0", false, "10.0.0.5"},
                          {"eth0", false, "v6"},
                          {"tun0", false, ""},
                          {"wlan0", false, "192.168.1.7"}});
    ASSERT_EQ(utl_getlocalipaddresses(buffer, sizeof buffer), SO_OK);
    EXPECT_STREQ(buffer, "10.0.0.5, 192.168.1.7, 127.0.0.1");

    fakes::useInterfaces({{"eth0", false, "10.0.0.5"}});
    ASSERT_EQ(utl_getlocalipaddresses(buffer, sizeof buffer), SO_OK);
    EXPECT_STREQ(buffer, "10.0.0.5");

    // A 127.x address counts as loopback even on another interface.
    fakes::useInterfaces({{"dummy0", false, "127.0.1.1"}, {"eth0", false, "172.16.0.9"}});
    ASSERT_EQ(utl_getlocalipaddresses(buffer, sizeof buffer), SO_OK);
    EXPECT_STREQ(buffer, "172.16.0.9, 127.0.1.1");
}

TEST_F(LocalAddresses, FailuresAndSmallBuffers) {
    fakes::useInterfaces({{"eth0", false, "v6"}});
    EXPECT_EQ(utl_getlocalipaddresses(buffer, sizeof buffer), SO_INVALID_HOST);
    EXPECT_STREQ(buffer, "");
    fakes::useInterfaces({});
    EXPECT_EQ(utl_getlocalipaddresses(buffer, sizeof buffer), SO_INVALID_HOST);
    fakes::failInterfaces();
    EXPECT_EQ(utl_getlocalipaddresses(buffer, sizeof buffer), SO_GETHOSTNAME_ERROR);

    // Only whole addresses go in; the text always ends in a NUL.
    fakes::useInterfaces({{"eth0", false, "10.0.0.5"}, {"eth1", false, "192.168.100.200"}});
    char small[20];
    std::memset(small, 'Z', sizeof small);
    ASSERT_EQ(utl_getlocalipaddresses(small, sizeof small), SO_OK);
    EXPECT_STREQ(small, "10.0.0.5");
    char exact[26];  // "10.0.0.5, 192.168.100.200" is 25 characters
    ASSERT_EQ(utl_getlocalipaddresses(exact, sizeof exact), SO_OK);
    EXPECT_STREQ(exact, "10.0.0.5, 192.168.100.200");
    EXPECT_EQ(utl_getlocalipaddresses(nullptr, 10), SO_INVALID_READ_BUFFER);
    EXPECT_EQ(utl_getlocalipaddresses(small, 0), SO_INVALID_READ_BUFFER);
}

TEST_F(LocalAddresses, ThisMachine) {
    ASSERT_EQ(utl_getlocalipaddresses(buffer, sizeof buffer), SO_OK);
    const std::string list = buffer;
    // Dotted addresses joined by ", "; the loopback address is there, and no
    // other address follows the first loopback one.
    EXPECT_NE(list.find("127.0.0.1"), std::string::npos) << list;
    bool inLoopback = false;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(", ", start);
        if (end == std::string::npos) end = list.size();
        EXPECT_TRUE(isDottedAddress(list.substr(start, end - start))) << list;
        const bool loopback = list.compare(start, 4, "127.") == 0;
        EXPECT_FALSE(inLoopback && !loopback) << list;
        inLoopback = inLoopback || loopback;
        start = end + 2;
    }
}

}  // namespace
