// Passwords on disk: the debug log, which echoes them, is created for its
// owner alone; an options file that holds a password and that others can
// read is named in a warning line.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/debug_log.h"
#include "app/options_file.h"
#include "app/settings.h"
#include "tests/support/app/app_test_support.h"

namespace {

unsigned modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<unsigned>(st.st_mode) & 07777u : 0u;
}

// Sets the process's umask for as long as it lives.
class Umask {
public:
    explicit Umask(mode_t mask) : m_previous(::umask(mask)) {}
    ~Umask() { ::umask(m_previous); }

private:
    mode_t m_previous;
};

class SecretFilesTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        g_settings.debug = 1;
    }
    void writeOptions(const std::string& text, mode_t mode) {
        writeFile("opts.ini", text);
        ASSERT_EQ(::chmod("opts.ini", mode), 0);
    }
    int warnings() const {
        int n = 0;
        for (const std::string& line : logLines()) n += line.find("holds a password") != std::string::npos;
        return n;
    }
};

TEST_F(SecretFilesTest, NewLogIsForItsOwnerOnly) {
    Umask usual(022);
    copyText(g_settings.user, "1001");
    ASSERT_EQ(writeDebugLog("**INF** IAX password         = [secret]"), 1);
    EXPECT_EQ(modeOf("Quendra1001-20081231.log"), 0600u);
}

TEST_F(SecretFilesTest, ExistingLogKeepsItsMode) {
    Umask usual(022);
    copyText(g_settings.user, "1001");
    writeFile("Quendra1001-20081231.log", "");
    ASSERT_EQ(::chmod("Quendra1001-20081231.log", 0640), 0);
    ASSERT_EQ(writeDebugLog("**INF** line"), 1);
    EXPECT_EQ(modeOf("Quendra1001-20081231.log"), 0640u);
}

TEST_F(SecretFilesTest, SharedOptionsFileWithAPasswordIsNamedOnce) {
    writeOptions("host=pbx.example\npass=secret7001\nacmPass=bramwick\n", 0644);
    ASSERT_EQ(readIAX2Options("opts.ini"), 1);
    EXPECT_EQ(logLines(), std::vector<std::string>{
                              "**WRN** options file [opts.ini] holds a password and can be read by other users "
                              "(mode 0644); make it readable by its owner only"});
    EXPECT_STREQ(g_settings.pass, "secret7001") << "the file is read all the same";
}

TEST_F(SecretFilesTest, GroupReadableIsSharedToo) {
    writeOptions("acmPass=bramwick\n", 0640);
    readIAX2Options("opts.ini");
    EXPECT_EQ(warnings(), 1);
    EXPECT_NE(logContent().find("(mode 0640)"), std::string::npos);
}

TEST_F(SecretFilesTest, PrivateFileOrNoPasswordGivesNoWarning) {
    writeOptions("pass=secret7001\n", 0600);
    readIAX2Options("opts.ini");
    writeOptions("host=pbx.example\nuser=7001\n", 0644);
    readIAX2Options("opts.ini");
    EXPECT_EQ(warnings(), 0);
}

TEST_F(SecretFilesTest, WarningFollowsTheDebugSwitch) {
    g_settings.debug = 0;
    writeOptions("pass=secret7001\n", 0644);
    readIAX2Options("opts.ini");
    EXPECT_TRUE(listFiles(".") == std::vector<std::string>{"opts.ini"}) << "nothing logged with debug off";
    // The file itself may switch debugging on.
    writeOptions("debug=1\npass=secret7001\n", 0644);
    readIAX2Options("opts.ini");
    EXPECT_EQ(warnings(), 1);
}

}  // namespace
