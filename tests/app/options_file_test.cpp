#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/options_file.h"
#include "app/settings.h"
#include "options_file_fixture.h"
#include "tests/support/app/app_test_support.h"

namespace {

// --- number keys --------------------------------------------------------

struct RangeCase {
    const char* key;
    int32_t Settings::*field;
    int min;
    int max;
    const char* label;
};

const RangeCase kRanges[] = {
    {"iax2UDPPort", &Settings::iax2UDPPort, 2000, 65535, "**WRN** iax2UDPPort"},
    {"speakerVol", &Settings::speakerVol, 0, 100, "**WRN** speakerVol"},
    {"micVol", &Settings::micVol, 0, 100, "**WRN** micVol"},
    {"resizedHeight", &Settings::resizedHeight, 150, 350, "**WRN** resizedHeight"},
    {"soundPlaybackDeviceNumber", &Settings::soundPlaybackDeviceNumber, -1, 10,
     "**WRN** soundPlaybackDeviceNumber"},
    {"soundRecordingDeviceNumber", &Settings::soundRecordingDeviceNumber, -1, 10,
     "**WRN** soundRecordingDeviceNumber"},
    {"maxInternalExtSz", &Settings::maxInternalExtSz, 0, 10, "**WRN** maxInternalExtSz"},
    {"acmPort", &Settings::acmPort, 2000, 65535, "**WRN** acmPort"},
    {"acmReadTimer", &Settings::acmReadTimer, 1, 10, "**WRN** acmReadTime (in sec)"},
    {"acmDelayB4Read", &Settings::acmDelayB4Read, 50, 2000, "**WRN** acmDelayB4Read (in msec)"},
    {"vmbxInterval", &Settings::vmbxInterval, 60, 3600, "**WRN** vmbx_interval (in sec)"},
    {"inboundTimedACW", &Settings::inboundTimedACW, 0, 1000, "**WRN** inboundTimedACW (in sec)"},
    {"outboundTimedACW", &Settings::outboundTimedACW, 0, 1000, "**WRN** outboundTimedACW (in sec)"},
};

TEST_F(OptionsFileTest, RangeKeysStoreOnlyWithinTheirBoundsAndWarnOtherwise) {
    for (const RangeCase& c : kRanges) {
        SCOPED_TRACE(c.key);
        const int before = g_settings.*c.field;
        const std::string key = c.key;
        ASSERT_EQ(
            read(key + "=" + std::to_string(c.min - 1) + ";\n" + key + "=" + std::to_string(c.max + 1) + ";\n"),
            1);
        EXPECT_EQ(g_settings.*c.field, before) << "out-of-range values are never clamped";
        read(key + "=" + std::to_string(c.min) + ";\n");
        EXPECT_EQ(g_settings.*c.field, c.min);
        read(key + "=" + std::to_string(c.max) + "\n");
        EXPECT_EQ(g_settings.*c.field, c.max);
    }
    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), 2 * std::size(kRanges));
    for (size_t i = 0; i < std::size(kRanges); ++i) {
        const RangeCase& c = kRanges[i];
        const std::string bounds =
            " is out of range (" + std::to_string(c.min) + "..." + std::to_string(c.max) + ")";
        EXPECT_EQ(lines[2 * i],
                  "**WRN** " + std::string(c.label) + " [" + std::to_string(c.min - 1) + "]" + bounds);
        EXPECT_EQ(lines[2 * i + 1],
                  "**WRN** " + std::string(c.label) + " [" + std::to_string(c.max + 1) + "]" + bounds);
    }
}

TEST_F(OptionsFileTest, PortBelowRangeKeepsDefaultWithTheDocumentedWarning) {
    read("iax2UDPPort=1999;\n");
    EXPECT_EQ(g_settings.iax2UDPPort, 4569);
    EXPECT_EQ(logLines(),
              std::vector<std::string>{"**WRN** **WRN** iax2UDPPort [1999] is out of range (2000...65535)"});
    read("iax2UDPPort=5000\n");
    EXPECT_EQ(g_settings.iax2UDPPort, 5000);
    read("acmReadTimer=0;\n");
    EXPECT_EQ(g_settings.acmReadTimer, 3);
}

TEST_F(OptionsFileTest, FlagKeysStoreZeroOrOne) {
    struct FlagCase {
        const char* key;
        int32_t Settings::*field;
    };
    const FlagCase flags[] = {
        {"debug", &Settings::debug},
        {"aa", &Settings::aa},
        {"noAutoAnsAlert", &Settings::noAutoAnsAlert},
        {"diffagid", &Settings::diffagid},
        {"filter_denoise", &Settings::filter_denoise},
        {"filter_agc", &Settings::filter_agc},
        {"filter_echo", &Settings::filter_echo},
        {"filter_aagc", &Settings::filter_aagc},
        {"filter_cn", &Settings::filter_cn},
        {"linkDebug", &Settings::linkDebug},
        {"jitterbuffer", &Settings::jitterbuffer},
    };
    for (const FlagCase& f : flags) {
        SCOPED_TRACE(f.key);
        read(std::string(f.key) + "=7;\n");
        EXPECT_EQ(g_settings.*f.field, 1);
        read(std::string(f.key) + "=-3;\n");
        EXPECT_EQ(g_settings.*f.field, 1);
        g_settings.debug = 1;
        read(std::string(f.key) + "=0;\n");
        EXPECT_EQ(g_settings.*f.field, 0);
        g_settings.debug = 1;
    }
    EXPECT_FALSE(fileExists(logName())) << "no warnings for flags";
}

TEST_F(OptionsFileTest, FilterKeysAllowWhiteSpaceAroundTheirEqualsSign) {
    read("filter_echo = 1\nfilter_agc\t=\t1;\nfilter_cn=1\nfilter_denoise   =1\n");
    EXPECT_EQ(g_settings.filter_echo, 1);
    EXPECT_EQ(g_settings.filter_agc, 1);
    EXPECT_EQ(g_settings.filter_cn, 1);
    EXPECT_EQ(g_settings.filter_denoise, 1);
    EXPECT_FALSE(fileExists(logName()));
    // Other keys allow none.
    read("iax2UDPPort = 5000\nspeakerVol =70;\n");
    EXPECT_EQ(g_settings.iax2UDPPort, 4569);
    EXPECT_EQ(g_settings.speakerVol, 50);
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{invalidLine("iax2UDPPort = 5000"), invalidLine("speakerVol =70;")}));
}

TEST_F(OptionsFileTest, UncheckedKeysStoreAnyInteger) {
    read(
        "verExtState=2;\nlockuser=7;\nlockpass=-1;\nvmbxCheck=3;\nloggedInToDial=0;\n"
        "loginAction=5;\nnoChangeAgentWhenBusy=0;\ninboundAnswerNotReady=9;\n"
        "outboundDialNotReady=0;\ninboundReleaseAction=4;\noutboundReleaseAction=-2;\n");
    EXPECT_EQ(g_settings.verExtState, 2);
    EXPECT_EQ(g_settings.lockuser, 7);
    EXPECT_EQ(g_settings.lockpass, -1);
    EXPECT_EQ(g_settings.vmbxCheck, 3);
    EXPECT_EQ(g_settings.loggedInToDial, 0);
    EXPECT_EQ(g_settings.loginAction, 5);
    EXPECT_EQ(g_settings.noChangeAgentWhenBusy, 0);
    EXPECT_EQ(g_settings.inboundAnswerNotReady, 9);
    EXPECT_EQ(g_settings.outboundDialNotReady, 0);
    EXPECT_EQ(g_settings.inboundReleaseAction, 4);
    EXPECT_EQ(g_settings.outboundReleaseAction, -2);
    EXPECT_FALSE(fileExists(logName()));
}

TEST_F(OptionsFileTest, NumbersTakeSignAndLeadingSpaceAndIgnoreWhatFollows) {
    read("speakerVol= +70;\nmicVol=\t33 percent\nsoundPlaybackDeviceNumber=-1x\n");
    EXPECT_EQ(g_settings.speakerVol, 70);
    EXPECT_EQ(g_settings.micVol, 33);
    EXPECT_EQ(g_settings.soundPlaybackDeviceNumber, -1);
    read("speakerVol=abc;\nmicVol=;\nlockuser=-;\nloginAction=99999999999;\nacmPort=2147483648;\n");
    EXPECT_EQ(g_settings.speakerVol, 70);
    EXPECT_EQ(g_settings.micVol, 33);
    EXPECT_EQ(g_settings.lockuser, 0);
    EXPECT_EQ(g_settings.loginAction, 0) << "a number beyond 32 bits is not wrapped";
    EXPECT_EQ(logLines(), (std::vector<std::string>{
                              invalidLine("speakerVol=abc;"), invalidLine("micVol=;"), invalidLine("lockuser=-;"),
                              invalidLine("loginAction=99999999999;"), invalidLine("acmPort=2147483648;")}));
    read("loginAction=-2147483648;\n");
    EXPECT_EQ(g_settings.loginAction, -2147483647 - 1);
}

// --- text keys -----------------------------------------------------------

struct TextCase {
    const char* key;
    char* field;
    int max;
    const char* label;
};

TEST_F(OptionsFileTest, TextKeysStoreOneToMaxCharactersAndWarnOtherwise) {
    const TextCase texts[] = {
        {"host", g_settings.host, 63, "**WRN** dbhost name"},
        {"user", g_settings.user, 31, "**WRN** user (extension) name"},
        {"pass", g_settings.pass, 63, "**WRN** password (of user/extension)"},
        {"agid", g_settings.agid, 15, "**WRN** agid (agent ID)"},
        {"acmUser", g_settings.acmUser, 63, "**WRN** acmUser "},
        {"acmPass", g_settings.acmPass, 63, "**WRN** acmPass"},
        {"vmbxContext", g_settings.vmbxContext, 31, "**WRN** vmbx_context"},
        {"AUX6", g_notReadyReasons[2], 31, "**WRN** AUX6"},
        {"AUX7", g_notReadyReasons[3], 31, "**WRN** AUX7"},
        {"AUX8", g_notReadyReasons[4], 31, "**WRN** AUX8"},
        {"AUX9", g_notReadyReasons[5], 31, "**WRN** AUX9"},
        {"AUX10", g_notReadyReasons[6], 31, "**WRN** AUX10"},
        {"AUX11", g_notReadyReasons[7], 31, "**WRN** AUX11"},
    };
    std::vector<std::string> expected;
    for (const TextCase& t : texts) {
        SCOPED_TRACE(t.key);
        // The user key changes the log's name; keep the extension fixed.
        const std::string fits(static_cast<size_t>(t.max), 'v');
        const std::string tooLong(static_cast<size_t>(t.max) + 1, 'w');
        read(std::string(t.key) + "=" + fits + ";\n");
        EXPECT_EQ(std::string(t.field), fits);
        if (std::strcmp(t.key, "user") == 0) copyText(g_settings.user, "");
        read(std::string(t.key) + "=" + tooLong + ";\n");
        EXPECT_EQ(std::string(t.field), std::strcmp(t.key, "user") == 0 ? "" : fits);
        expected.push_back("**WRN** " + std::string(t.label) + " [" + tooLong +
                           "] is empty or too long; max sz=" + std::to_string(t.max));
    }
    EXPECT_EQ(logLines(), expected);
}

TEST_F(OptionsFileTest, TextValuesEndAtSemicolonAndKeepLeadingBlanks) {
    read("host= pbx;ignored\nacmUser=op;x\n");
    EXPECT_STREQ(g_settings.host, " pbx");
    EXPECT_STREQ(g_settings.acmUser, "op");
    read("host=a;b;c\nAUX6=Lunch;\n");
    EXPECT_STREQ(g_settings.host, "a");
    EXPECT_STREQ(g_notReadyReasons[2], "Lunch");
    EXPECT_STREQ(g_notReadyReasons[0], "Outbound NR") << "entries 0 and 1 have no key";
    read("host=;\n");
    EXPECT_STREQ(g_settings.host, "a");
    EXPECT_EQ(logLines(), std::vector<std::string>{invalidLine("host=;")});
}

TEST_F(OptionsFileTest, TooLongAgentIdKeepsTheOldOne) {
    copyText(g_settings.agid, "55");
    const std::string forty(40, '4');
    read("agid=" + forty + ";\n");
    EXPECT_STREQ(g_settings.agid, "55");
    EXPECT_EQ(logLines(), std::vector<std::string>{"**WRN** **WRN** agid (agent ID) [" + forty +
                                                   "] is empty or too long; max sz=15"});
}

TEST_F(OptionsFileTest, CodecMustBeOneOfThreeExactNames) {
    read("audioCodecPreferred=GSM;\n");
    EXPECT_STREQ(g_settings.audioCodecPreferred, "gsm");
    EXPECT_EQ(logLines(),
              std::vector<std::string>{"**WRN** audioCodecPreferred [GSM] invalid audio (output) codec"});
    ::unlink(logName().c_str());
    read("audioCodecPreferred=ulaw;\n");
    EXPECT_STREQ(g_settings.audioCodecPreferred, "ulaw");
    read("audioCodecPreferred=alaw\n");
    EXPECT_STREQ(g_settings.audioCodecPreferred, "alaw");
    read("audioCodecPreferred=gsm;\n");
    EXPECT_STREQ(g_settings.audioCodecPreferred, "gsm");
    EXPECT_FALSE(fileExists(logName())) << "accepted codecs give no message";
}

TEST_F(OptionsFileTest, AccessCodeAndMailboxTakeOnlyTheirCharacterRuns) {
    read("pstnAccessCode=9,;\nvmbxNumber=12a3;\n");
    EXPECT_STREQ(g_settings.pstnAccessCode, "9");
    EXPECT_STREQ(g_settings.vmbxNumber, "12");
    read("pstnAccessCode=*9#1x;\n");
    EXPECT_STREQ(g_settings.pstnAccessCode, "*9#1");
    read("pstnAccessCode=;\nvmbxNumber=*1;\npstnAccessCode= 9;\n");
    EXPECT_STREQ(g_settings.pstnAccessCode, "*9#1");
    EXPECT_STREQ(g_settings.vmbxNumber, "12");
    const std::string digits32(32, '7');
    read("vmbxNumber=" + digits32 + ";\n");
    EXPECT_STREQ(g_settings.vmbxNumber, "12");
    EXPECT_EQ(logLines(), (std::vector<std::string>{
                              invalidLine("pstnAccessCode=;"), invalidLine("vmbxNumber=*1;"),
                              invalidLine("pstnAccessCode= 9;"),
                              "**WRN** **WRN** vmbx_number [" + digits32 + "] is empty or too long; max sz=31"}));
}

// --- lines -----------------------------------------------------------------

TEST_F(OptionsFileTest, CommentsOnlyAtTheFirstCharacter) {
    read("#host=pbx;\n");
    EXPECT_STREQ(g_settings.host, "");
    EXPECT_FALSE(fileExists(logName()));
    read(" #host=pbx;\n host=pbx;\n");
    EXPECT_STREQ(g_settings.host, "");
    EXPECT_EQ(logLines(), (std::vector<std::string>{invalidLine(" #host=pbx;"), invalidLine(" host=pbx;")}));
}

TEST_F(OptionsFileTest, TrailingWhiteSpaceIsTrimmedAndEmptyLinesSkipped) {
    read("\n   \n\t\r\nhost=pbx  \t \r\nuser=1001\r\n\v\f\n");
    EXPECT_STREQ(g_settings.host, "pbx");
    EXPECT_STREQ(g_settings.user, "1001");
    EXPECT_FALSE(fileExists(logName()));
    read("Host=pbx2;   \n");
    EXPECT_EQ(logLines(), std::vector<std::string>{invalidLine("Host=pbx2;")}) << "the logged line is trimmed";
}

TEST_F(OptionsFileTest, LastValidOccurrenceWinsAndRefusalsKeepTheEarlierValue) {
    read("speakerVol=10;\nspeakerVol=20;\nspeakerVol=200;\nhost=a;\nhost=b;\n");
    EXPECT_EQ(g_settings.speakerVol, 20);
    EXPECT_STREQ(g_settings.host, "b");
}

TEST_F(OptionsFileTest, LinesAreReadIn509CharacterPieces) {
    // The first 509 characters are one line; the rest is a line of its own.
    const std::string value(504, 'x');
    ASSERT_EQ(std::string("agid=" + value).size(), 509u);
    read("agid=" + value + "user=2002;\n");
    EXPECT_STREQ(g_settings.user, "2002");
    EXPECT_STREQ(g_settings.agid, "");
    // The warning came before the extension changed.
    const std::vector<std::string> lines = logTexts("Quendra-20081231.log");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "**WRN** **WRN** agid (agent ID) [" + value + "] is empty or too long; max sz=15");

    // A comment longer than the limit: its rest is read as an ordinary line.
    g_settings.user[0] = '\0';
    read("#" + std::string(508, 'c') + "host=pbx;\n");
    EXPECT_STREQ(g_settings.host, "pbx");

    // Exactly 509 characters and a line break: the break is an empty line.
    read("pass=" + std::string(504, 'p').substr(0, 63) + std::string(504 - 63, ';') + "\nuser=3003\n");
    EXPECT_EQ(std::string(g_settings.pass), std::string(63, 'p'));
    EXPECT_STREQ(g_settings.user, "3003");
}

TEST_F(OptionsFileTest, MissingFileLeavesEverythingAndLogsWithDebugOnly) {
    EXPECT_EQ(readIAX2Options("nope.ini"), 0);
    EXPECT_EQ(logContent(), "2008-12-31 10:20:30 **ERR** fopen(nope.ini) failed\n\n");
    ::unlink(logName().c_str());
    g_settings.debug = 0;
    EXPECT_EQ(readIAX2Options("nope.ini"), 0);
    EXPECT_TRUE(listFiles(".").empty());
}

TEST_F(OptionsFileTest, WarningsNeedTheDebugSwitch) {
    g_settings.debug = 0;
    read("speakerVol=500;\nagid=" + std::string(20, 'a') + ";\naudioCodecPreferred=x;\nbogus\n");
    EXPECT_TRUE(listFiles(".") == std::vector<std::string>{"opts.ini"});
    // The file can turn the switch on for the lines after it.
    read("debug=1;\nbogus\n");
    EXPECT_EQ(logLines(), std::vector<std::string>{invalidLine("bogus")});
}

// --- debugLogDir -------------------------------------------------------------

TEST_F(OptionsFileTest, LogFolderShorterThanTwoCharactersIsDroppedSilently) {
    read("debugLogDir=C;\n");
    EXPECT_STREQ(g_settings.debugLogDir, "");
    EXPECT_TRUE(listFiles(".") == std::vector<std::string>{"opts.ini"});
}

TEST_F(OptionsFileTest, ExistingWritableLogFolderIsKeptAsPrefix) {
    ASSERT_EQ(::mkdir("logs", 0755), 0);
    read("debugLogDir=logs/;\nbogus\n");
    EXPECT_STREQ(g_settings.debugLogDir, "logs/");
    EXPECT_TRUE(fileExists("logs/Quendra-20081231.log"));
    EXPECT_EQ(logLines(), std::vector<std::string>{invalidLine("bogus")});
}

TEST_F(OptionsFileTest, InvalidLogFolderIsResetWithAWarningWrittenWhateverTheSwitch) {
    g_settings.debug = 0;
    writeFile("plainfile", "x");
    read("debugLogDir=missing/;\n");
    EXPECT_STREQ(g_settings.debugLogDir, "");
    // The warning reaches the log of the working folder.
    EXPECT_EQ(logLines(), std::vector<std::string>{"**WRN** debugLogDir [missing/] invalid; reset to empty"});
    ::unlink(logName().c_str());
    read("debugLogDir=plainfile;\n");
    EXPECT_STREQ(g_settings.debugLogDir, "");
    EXPECT_EQ(logLines(), std::vector<std::string>{"**WRN** debugLogDir [plainfile] invalid; reset to empty"});
}

TEST_F(OptionsFileTest, RefusedLogFolderStillTestsTheFolderInForce) {
    // A too-long value is refused; the folder already in force is tested.
    copyText(g_settings.debugLogDir, "gone/");
    read("debugLogDir=" + std::string(256, 'd') + ";\n");
    EXPECT_STREQ(g_settings.debugLogDir, "");
    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), 1u) << "the too-long warning went to the rejected folder";
    EXPECT_EQ(lines[0], "**WRN** debugLogDir [gone/] invalid; reset to empty");
}

// --- bad input -------------------------------------------------------------

TEST_F(OptionsFileTest, HostileFilesLeaveTheSettingsSafe) {
    g_settings.debug = 0;
    const Settings defaults = g_settings;
    std::mt19937 random(1234);

    SCOPED_TRACE("binary");
    std::string binary(64 * 1024, '\0');
    for (char& c : binary) {
        // Bytes that can never spell a key: control and high bytes.
        const unsigned v = random() % 40;
        c = static_cast<char>(v < 20 ? v : 0x80 + v * 3);
    }
    EXPECT_EQ(read(binary), 1);
    EXPECT_EQ(std::memcmp(&g_settings, &defaults, sizeof defaults), 0);

    // NUL bytes end a line's text early; the line after is read normally.
    EXPECT_EQ(read(std::string("host=pb\0x;\nuser=1001\n", 21)), 1);
    EXPECT_STREQ(g_settings.host, "pb");
    EXPECT_STREQ(g_settings.user, "1001");

    // CRLF line ends.
    EXPECT_EQ(read("host=pbx\r\nagid=42\r\n"), 1);
    EXPECT_STREQ(g_settings.host, "pbx");
    EXPECT_STREQ(g_settings.agid, "42");
}

TEST_F(OptionsFileTest, VeryLongLinesAreReadInPiecesWithBoundedWarnings) {
    copyText(g_settings.user, "1001");
    EXPECT_EQ(read(std::string(10000, 'a') + "\n" + std::string(10000, 'b') + "\nspeakerVol=5;\n"), 1);
    EXPECT_EQ(g_settings.speakerVol, 5);
    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), 2u * 20u) << "each 10,000-character line is 20 pieces";
    for (const std::string& l : lines) EXPECT_LE(l.size(), invalidLine("").size() + 509u);
}

TEST_F(OptionsFileTest, FiftyMegabyteFileIsReadToItsEnd) {
    g_settings.debug = 0;
    std::string big;
    big.reserve(50u * 1024 * 1024 + 64);
    const std::string filler = std::string(399, 'z') + "\n";
    while (big.size() < 50u * 1024 * 1024) big += filler;
    big += "user=2002;\n";
    EXPECT_EQ(read(big), 1);
    EXPECT_STREQ(g_settings.user, "2002");
}

TEST_F(OptionsFileTest, FoldersPipesAndDevicesDoNotOpen) {
    ASSERT_EQ(::mkdir("adir", 0755), 0);
    EXPECT_EQ(readIAX2Options("adir"), 0);
    ASSERT_EQ(::mkfifo("apipe", 0644), 0);
    EXPECT_EQ(readIAX2Options("apipe"), 0) << "must not wait for a writer";
    EXPECT_EQ(readIAX2Options("/dev/zero"), 0) << "must not read forever";
    EXPECT_EQ(readIAX2Options(""), 0);
    EXPECT_EQ(readIAX2Options(nullptr), 0);
    EXPECT_EQ(logLines(),
              (std::vector<std::string>{"**ERR** fopen(adir) failed", "", "**ERR** fopen(apipe) failed", "",
                                        "**ERR** fopen(/dev/zero) failed", "", "**ERR** fopen() failed", "",
                                        "**ERR** fopen() failed", ""}));
}

// --- helpers ---------------------------------------------------------------

TEST_F(OptionsFileTest, ValidatorsStoreOrRefuseWithTheirWarnings) {
    int32_t value = 5;
    EXPECT_EQ(setIntInRange(1, "lbl", &value, 10, 10), 1);
    EXPECT_EQ(value, 10);
    EXPECT_EQ(setIntInRange(1, "lbl", &value, 10, 11), 0);
    EXPECT_EQ(setIntInRange(1, "lbl", &value, 10, -4), 0);
    EXPECT_EQ(value, 10);

    char field[8] = "old";
    EXPECT_EQ(setTextIfFits("1234567", field, 7, "txt"), 1);
    EXPECT_STREQ(field, "1234567");
    EXPECT_EQ(setTextIfFits("12345678", field, 7, "txt"), 0);
    EXPECT_EQ(setTextIfFits("", field, 7, "txt"), 0);
    EXPECT_STREQ(field, "1234567");
    EXPECT_EQ(logLines(), (std::vector<std::string>{"**WRN** lbl [11] is out of range (1...10)",
                                                    "**WRN** lbl [-4] is out of range (1...10)",
                                                    "**WRN** txt [12345678] is empty or too long; max sz=7",
                                                    "**WRN** txt [] is empty or too long; max sz=7"}));
}

TEST(OptionsHelpers, FiltersToTextNamesTheFiltersThatAreOnInOrder) {
    Settings saved = g_settings;
    char text[kFiltersTextCapacity];
    g_settings.filter_denoise = g_settings.filter_agc = g_settings.filter_echo = 0;
    g_settings.filter_aagc = g_settings.filter_cn = 0;
    std::strcpy(text, "junk");
    filtersToText(text, sizeof text);
    EXPECT_STREQ(text, "");
    g_settings.filter_echo = 1;
    filtersToText(text, sizeof text);
    EXPECT_STREQ(text, "ECHO");
    g_settings.filter_agc = g_settings.filter_cn = 1;
    filtersToText(text, sizeof text);
    EXPECT_STREQ(text, "AGC|ECHO|CN");
    g_settings.filter_denoise = g_settings.filter_aagc = 1;
    filtersToText(text, sizeof text);
    EXPECT_STREQ(text, "DeNOISE|AGC|ECHO|AAGC|CN");
    char small[8];
    filtersToText(small, sizeof small);
    EXPECT_LT(std::strlen(small), sizeof small);
    g_settings = saved;
}

}  // namespace
