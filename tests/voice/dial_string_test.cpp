// The dial string of iaxc_call and the host of iaxc_register.
#include <gtest/gtest.h>

#include "voice/engine/dial_string.h"

using voice::engine::parseDialString;
using voice::engine::splitHostPort;

TEST(DialString, FullForm) {
    auto d = parseDialString("101:s3cret@pbx.example:4570/5551234@outbound", 4569);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->user, "101");
    EXPECT_EQ(d->secret, "s3cret");
    EXPECT_EQ(d->host, "pbx.example");
    EXPECT_EQ(d->port, 4570);
    EXPECT_EQ(d->exten, "5551234");
    EXPECT_EQ(d->context, "outbound");
    EXPECT_EQ(d->afterSlash, "5551234@outbound");
    EXPECT_EQ(d->withoutSecret, "101@pbx.example:4570/5551234@outbound");
}

TEST(DialString, ShortForms) {
    auto d = parseDialString("10.0.0.1", 4569);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->host, "10.0.0.1");
    EXPECT_EQ(d->port, 4569);
    EXPECT_EQ(d->user, "");
    EXPECT_EQ(d->exten, "");
    EXPECT_EQ(d->withoutSecret, "10.0.0.1");
    d = parseDialString("user@host/", 4569);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->user, "user");
    EXPECT_EQ(d->secret, "");
    EXPECT_EQ(d->exten, "");
    // A secret may hold '@' and ':'.
    d = parseDialString("101:a@b:c@host/9", 4569);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->secret, "a@b:c");
    EXPECT_EQ(d->host, "host");
    EXPECT_EQ(d->withoutSecret, "101@host/9");
}

TEST(DialString, Refused) {
    EXPECT_FALSE(parseDialString("", 4569));
    EXPECT_FALSE(parseDialString("101:x@/200", 4569));
    EXPECT_FALSE(parseDialString("host:0/1", 4569));
    EXPECT_FALSE(parseDialString("host:65536/1", 4569));
    EXPECT_FALSE(parseDialString("host:12a/1", 4569));
    EXPECT_FALSE(parseDialString("host:/1", 4569));
    std::string h;
    uint16_t p = 0;
    EXPECT_TRUE(splitHostPort("127.0.0.1:4570", 4569, h, p));
    EXPECT_EQ(p, 4570);
    EXPECT_FALSE(splitHostPort(":4570", 4569, h, p));
}
