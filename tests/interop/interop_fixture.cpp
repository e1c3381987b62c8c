#include "interop_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>

namespace interop {

namespace {

// One folder per run of the test binary, kept after the run so the audio
// files can be listened to.
const std::string& runFolder() {
    static const std::string folder = [] {
        std::string path = ::testing::TempDir() + "quendra-interop-" + std::to_string(::getpid());
        ::mkdir(path.c_str(), 0755);
        return path + "/";
    }();
    return folder;
}

}  // namespace

void figure(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::printf("  [figure] ");
    std::vprintf(format, args);
    std::printf("\n");
    std::fflush(stdout);
    va_end(args);
}

double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

void InteropTest::SetUp() {
    site = asteriskSite();
    if (!site) GTEST_SKIP() << "skipped: no Asterisk (QUENDRA_ASTERISK is not set)";
}

void InteropTest::TearDown() {
    if (HasFailure()) {
        for (const auto& phone : phones_) std::printf("%s", phone->transcript().c_str());
    }
    for (auto& phone : phones_) phone->quit();
    phones_.clear();
}

std::string InteropTest::file(const std::string& name) const {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string test = info->name();  // "Case/param" for parameterised tests
    for (char& c : test)
        if (c == '/') c = '-';
    return runFolder() + test + "-" + name;
}

InteropTest::Phone InteropTest::startPhone(const std::string& name, double hz, double seconds) {
    Phone phone;
    phone.heardPath = file(name + "-heard.wav");
    const std::string tonePath = file(name + "-tone.wav");
    EXPECT_TRUE(writeToneFile(tonePath, hz, kToneAmplitude, seconds)) << tonePath;
    std::remove(phone.heardPath.c_str());
    phones_.push_back(std::make_unique<PhoneProcess>(
        name, std::vector<std::pair<std::string, std::string>>{{"QUENDRA_AUDIO_IN", tonePath},
                                                               {"QUENDRA_AUDIO_OUT", phone.heardPath}}));
    phone.process = phones_.back().get();
    EXPECT_TRUE(phone->started() && phone->port() > 0) << "the probe phone " << name << " did not start";
    return phone;
}

::testing::AssertionResult InteropTest::registerPhone(Phone& phone, const std::string& ext) {
    const size_t from = phone->lineCount();
    const auto id = phone->command("register " + ext + " s" + ext + " " + site->iaxHost());
    if (!id || std::stoi(*id) < 0) return ::testing::AssertionFailure() << "iaxc_register refused " << ext;
    const auto reply = phone->waitForPrefix("REG id=" + *id + " ", 10s, from);
    if (!reply) return ::testing::AssertionFailure() << ext << ": no registration reply within 10 s";
    if (reply->text.find(" reply=18 ") == std::string::npos)
        return ::testing::AssertionFailure() << ext << ": " << reply->text;
    return ::testing::AssertionSuccess();
}

}  // namespace interop
