// Tests of the settings file: defaults, conversions and forced ranges of the load, the exact
// text of the save, save-then-load, and saves that cannot be written.
#include "settings/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/support/as_user.h"
#include "tests/support/support.h"

namespace {

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

WalkState defaults() {
    WalkState s{};
    s.comID = 3;
    s.autoCalibration = 0;
    for (float& m : s.loadMax) m = 10.0f;
    s.walkFThreshold = 0.3f;
    s.thresholdFL = -12.5f;
    s.thresholdFR = 12.5f;
    s.thresholdL = -20.0f;
    s.thresholdR = 20.0f;
    s.walkSpeedFB = 0.25f;
    s.walkSpeedLR = 0.08f;
    s.rotationSpeed = 0.15f;
    s.numStep = 0;
    s.appMode = 0;
    s.moveMode = 0;
    s.moveFrontKeyCode = 87;
    s.moveLeftKeyCode = 65;
    s.moveRightKeyCode = 68;
    s.runKeyCode = 0;
    s.oscEnabled = 0;
    std::strcpy(s.oscHost, "127.0.0.1");
    s.oscPort = 9000;
    s.xrEnabled = 0;
    s.cadenceSpeed = 1;
    s.walkCadence = 100.0f;
    s.runCadence = 170.0f;
    s.runSpeed = 1.0f;
    return s;
}

// Every field set to something no load would give by itself.
WalkState scribbled() {
    WalkState s;
    std::memset(&s, 0x5A, sizeof s);
    return s;
}

void expectSameSettings(const WalkState& actual, const WalkState& expected) {
    EXPECT_EQ(actual.comID, expected.comID);
    EXPECT_EQ(actual.autoCalibration, expected.autoCalibration);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(actual.loadMax[i], expected.loadMax[i]) << "loadMax" << i;
    EXPECT_EQ(actual.walkFThreshold, expected.walkFThreshold);
    EXPECT_EQ(actual.thresholdFL, expected.thresholdFL);
    EXPECT_EQ(actual.thresholdFR, expected.thresholdFR);
    EXPECT_EQ(actual.thresholdL, expected.thresholdL);
    EXPECT_EQ(actual.thresholdR, expected.thresholdR);
    EXPECT_EQ(actual.walkSpeedFB, expected.walkSpeedFB);
    EXPECT_EQ(actual.walkSpeedLR, expected.walkSpeedLR);
    EXPECT_EQ(actual.rotationSpeed, expected.rotationSpeed);
    EXPECT_EQ(actual.numStep, expected.numStep);
    EXPECT_EQ(actual.appMode, expected.appMode);
    EXPECT_EQ(actual.moveMode, expected.moveMode);
    EXPECT_EQ(actual.moveFrontKeyCode, expected.moveFrontKeyCode);
    EXPECT_EQ(actual.moveLeftKeyCode, expected.moveLeftKeyCode);
    EXPECT_EQ(actual.moveRightKeyCode, expected.moveRightKeyCode);
    EXPECT_EQ(actual.oscEnabled, expected.oscEnabled);
    EXPECT_STREQ(actual.oscHost, expected.oscHost);
    EXPECT_EQ(actual.oscPort, expected.oscPort);
    EXPECT_EQ(actual.xrEnabled, expected.xrEnabled);
    EXPECT_EQ(actual.runKeyCode, expected.runKeyCode);
    EXPECT_EQ(actual.cadenceSpeed, expected.cadenceSpeed);
    EXPECT_EQ(actual.walkCadence, expected.walkCadence);
    EXPECT_EQ(actual.runCadence, expected.runCadence);
    EXPECT_EQ(actual.runSpeed, expected.runSpeed);
}

const char* const kDefaultText =
    "[param]\r\n"
    "comID=3\r\n"
    "autoCalibration=0\r\n"
    "loadMax0=10.00\r\n"
    "loadMax1=10.00\r\n"
    "loadMax2=10.00\r\n"
    "loadMax3=10.00\r\n"
    "loadMax4=10.00\r\n"
    "loadMax5=10.00\r\n"
    "loadMax6=10.00\r\n"
    "loadMax7=10.00\r\n"
    "walkFThreshold=0.30\r\n"
    "thresholdFL=-12.50\r\n"
    "thresholdFR=12.50\r\n"
    "thresholdL=-20.00\r\n"
    "thresholdR=20.00\r\n"
    "walkSpeedFB=0.25\r\n"
    "walkSpeedLR=0.08\r\n"
    "rotationSpeed=0.15\r\n"
    "numStep=0\r\n"
    "[emulation]\r\n"
    "appMode=0\r\n"
    "moveMode=0\r\n"
    "moveFrontKeyCode=87\r\n"
    "moveLeftKeyCode=65\r\n"
    "moveRightKeyCode=68\r\n"
    "runKeyCode=0\r\n";

// The OSC output's section, the OpenXR layer's and the speed curve's, after the 27 lines above.
const char* const kOscDefaultText =
    "[osc]\r\n"
    "enabled=0\r\n"
    "host=127.0.0.1\r\n"
    "port=9000\r\n"
    "[openxr]\r\n"
    "enabled=0\r\n"
    "[walk]\r\n"
    "cadenceSpeed=1\r\n"
    "walkCadence=100.00\r\n"
    "runCadence=170.00\r\n"
    "runSpeed=1.00\r\n";

class SettingsFile : public ::testing::Test {
  protected:
    // Loads `text` as the file's contents over a scribbled state.
    WalkState load(const std::string& text) {
        writeFile(path_, text);
        WalkState s = scribbled();
        loadSettings(path_, s);
        return s;
    }

    TempDir dir_;
    std::string path_ = dir_.file("tarvel.ini");
};

TEST_F(SettingsFile, NoFileGivesEveryDefault) {
    WalkState s = scribbled();
    loadSettings(dir_.file("absent.ini"), s);
    expectSameSettings(s, defaults());
    expectSameSettings(load(""), defaults());
    expectSameSettings(load("[other]\ncomID=9\n"), defaults());
}

TEST_F(SettingsFile, TheLoadTouchesNothingButTheSettings) {
    WalkState s = scribbled();
    WalkState expected = s;
    expected.numStep = 0;  // the one setting among the results
    loadSettings(dir_.file("absent.ini"), s);
    // Everything from the first result field on is as it was.
    auto offset = offsetof(WalkState, taredLoad);
    EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(&s) + offset,
                          reinterpret_cast<const char*>(&expected) + offset, sizeof s - offset),
              0);
}

TEST_F(SettingsFile, TheDefaultArgumentIsTheProcessWideRecord) {
    WalkState::instance().comID = -1;
    loadSettings(dir_.file("absent.ini"));
    EXPECT_EQ(WalkState::instance().comID, 3);
    WalkState::instance().numStep = 4321;
    ASSERT_TRUE(saveSettings(path_));
    EXPECT_NE(readFile(path_).find("numStep=4321\r\n"), std::string::npos);
}

struct ClampCase {
    const char* line;
    float WalkState::*field;
    float expected;
};

TEST_F(SettingsFile, LimitedSettingsAreForcedIntoTheirRanges) {
    const ClampCase cases[] = {
        {"thresholdFL=-30", &WalkState::thresholdFL, -20.0f},
        {"thresholdFL=0", &WalkState::thresholdFL, -10.0f},
        {"thresholdFL=-15.5", &WalkState::thresholdFL, -15.5f},
        {"thresholdFR=9", &WalkState::thresholdFR, 10.0f},
        {"thresholdFR=21", &WalkState::thresholdFR, 20.0f},
        {"thresholdL=-20", &WalkState::thresholdL, -20.0f},
        {"thresholdL=-46", &WalkState::thresholdL, -45.0f},
        {"thresholdL=-19.99", &WalkState::thresholdL, -20.0f},
        {"thresholdR=50", &WalkState::thresholdR, 45.0f},
        {"thresholdR=19", &WalkState::thresholdR, 20.0f},
        {"walkFThreshold=1.5", &WalkState::walkFThreshold, 1.0f},
        {"walkFThreshold=-0.1", &WalkState::walkFThreshold, 0.0f},
        {"walkFThreshold=0.999", &WalkState::walkFThreshold, 0.999f},
        {"walkSpeedFB=-1", &WalkState::walkSpeedFB, 0.0f},
        {"walkSpeedLR=2", &WalkState::walkSpeedLR, 1.0f},
        {"rotationSpeed=1e30", &WalkState::rotationSpeed, 1.0f},
        // Text without a number gives 0.0, which is then forced into the range.
        {"thresholdFR=abc", &WalkState::thresholdFR, 10.0f},
        {"thresholdL=", &WalkState::thresholdL, -20.0f},
        // "nan", "inf" and numbers beyond the float range count as no number too, never as a
        // NaN or infinite setting.
        {"thresholdFL=nan", &WalkState::thresholdFL, -10.0f},
        {"walkFThreshold=-nan", &WalkState::walkFThreshold, 0.0f},
        {"thresholdR=inf", &WalkState::thresholdR, 20.0f},
        {"thresholdL=-infinity", &WalkState::thresholdL, -20.0f},
        {"walkSpeedLR=1e39", &WalkState::walkSpeedLR, 0.0f},
    };
    for (const auto& c : cases) {
        WalkState s = load(std::string("[param]\r\n") + c.line + "\r\n");
        EXPECT_EQ(s.*c.field, c.expected) << c.line;
    }
}

TEST_F(SettingsFile, NumbersConvertAsAtoiAndAtofDo) {
    EXPECT_EQ(load("[param]\ncomID=12abc\n").comID, 12);
    EXPECT_EQ(load("[param]\ncomID=abc\n").comID, 0);
    EXPECT_EQ(load("[param]\ncomID=3.9\n").comID, 3);
    EXPECT_EQ(load("[param]\ncomID=-4\n").comID, -4);
    EXPECT_EQ(load("[param]\ncomID=\n").comID, 0);  // present but empty: not the default
    EXPECT_EQ(load("[param]\nautoCalibration=2\n").autoCalibration, 2);
    EXPECT_EQ(load("[param]\nnumStep=99999999999\n").numStep, 2147483647);
    EXPECT_EQ(load("[emulation]\nmoveFrontKeyCode=0x41\n").moveFrontKeyCode, 0);
    EXPECT_EQ(load("[param]\nloadMax3=-5\n").loadMax[3], -5.0f);
    EXPECT_EQ(load("[param]\nloadMax0=0\n").loadMax[0], 0.0f);
    EXPECT_EQ(load("[param]\nloadMax1=12.5kg\n").loadMax[1], 12.5f);
    EXPECT_EQ(load("[param]\nloadMax4=nan\n").loadMax[4], 0.0f);
    EXPECT_EQ(load("[param]\nloadMax5=\"7.25\"\n").loadMax[5], 7.25f);
    EXPECT_EQ(load("[param]\nloadMax6=0.1\n").loadMax[6], 0.1f);  // atof's double, rounded
}

TEST_F(SettingsFile, AnInfiniteMaximumLoadsAsZero) {
    // Written by hand or saved by an older version: an infinite maximum would make its
    // sensor's outputs infinite and stay so from start to start.
    WalkState infinite = defaults();
    infinite.loadMax[5] = INFINITY;
    const std::string saved = formatSettings(infinite);
    for (const std::string value : {"inf", "-inf", "Infinity", "1e39", "-1e39", "1e400"}) {
        WalkState s = load("[param]\nloadMax2=" + value + "\n");
        EXPECT_EQ(s.loadMax[2], 0.0f) << value;
        EXPECT_FALSE(std::signbit(s.loadMax[2])) << value;
    }
    EXPECT_EQ(load(saved).loadMax[5], 0.0f);
    // The largest values within the float range stay.
    EXPECT_EQ(load("[param]\nloadMax2=3.4e38\n").loadMax[2], 3.4e38f);
    EXPECT_EQ(load("[param]\nloadMax2=-3.4e38\n").loadMax[2], -3.4e38f);
}

TEST_F(SettingsFile, NamesMatchInAnyLetterCase) {
    WalkState s = load("[PARAM]\r\nCOMID=7\r\nWalkFThreshold=0.5\r\n[Emulation]\r\nAPPMODE=1\r\n");
    EXPECT_EQ(s.comID, 7);
    EXPECT_EQ(s.walkFThreshold, 0.5f);
    EXPECT_EQ(s.appMode, 1);
}

TEST_F(SettingsFile, TheFirstOfTwoLinesWins) {
    WalkState s = load("[param]\ncomID=5\ncomID=6\nloadMax7=1\nloadmax7=2\n");
    EXPECT_EQ(s.comID, 5);
    EXPECT_EQ(s.loadMax[7], 1.0f);
}

TEST_F(SettingsFile, ExtraKeysCommentsAndSectionsAreIgnoredAndDroppedByTheNextSave) {
    const std::string text =
        "; written by hand\r\n"
        "[window]\r\ncomID=1\r\nx=10\r\n"
        "[param]\r\n# the port\r\ncomID=4 ; not COM3\r\nextra=1\r\nmoveMode=1\r\n"
        "[emulation]\r\nmoveMode=1\r\nunknown=abc\r\n";
    WalkState s = load(text);
    WalkState expected = defaults();
    expected.comID = 4;
    expected.moveMode = 1;  // from [emulation], not from [param]
    expectSameSettings(s, expected);

    ASSERT_TRUE(saveSettings(path_, s));
    std::string saved = readFile(path_);
    EXPECT_EQ(saved.find("extra"), std::string::npos);
    EXPECT_EQ(saved.find("window"), std::string::npos);
    EXPECT_EQ(saved.find(';'), std::string::npos);
    EXPECT_EQ(saved, formatSettings(expected));
}

TEST_F(SettingsFile, TheSavedTextOfTheDefaultsIsExact) {
    const std::string expected = std::string(kDefaultText) + kOscDefaultText;
    EXPECT_EQ(formatSettings(defaults()), expected);
    ASSERT_TRUE(saveSettings(path_, defaults()));
    EXPECT_EQ(readFile(path_), expected);  // CR LF written as such, nothing added
}

TEST_F(SettingsFile, TheOutputSectionsFollowTheFirst27LinesAndLeaveThemAsTheyWere) {
    WalkState s = defaults();
    s.cadenceSpeed = 0;
    s.walkCadence = 90.5f;
    s.runCadence = 180.0f;
    s.runSpeed = 0.75f;
    s.oscEnabled = 1;
    std::strcpy(s.oscHost, "192.168.1.20");
    s.oscPort = 9001;
    s.xrEnabled = 1;
    const std::string text = formatSettings(s);
    const std::string first27(kDefaultText);
    ASSERT_GE(text.size(), first27.size());
    EXPECT_EQ(text.substr(0, first27.size()), first27);  // byte for byte
    EXPECT_EQ(text.substr(first27.size()),
              "[osc]\r\nenabled=1\r\nhost=192.168.1.20\r\nport=9001\r\n"
              "[openxr]\r\nenabled=1\r\n"
              "[walk]\r\ncadenceSpeed=0\r\nwalkCadence=90.50\r\nrunCadence=180.00\r\n"
              "runSpeed=0.75\r\n");
    // A file of an older version, without the sections, loads the outputs' defaults.
    expectSameSettings(load(first27), defaults());
    // And the section round-trips.
    ASSERT_TRUE(saveSettings(path_, s));
    WalkState back = scribbled();
    loadSettings(path_, back);
    expectSameSettings(back, s);
}

// A port or host that cannot be used gives the default and one line on stderr naming both.
TEST_F(SettingsFile, OscValuesThatCannotBeUsedGiveTheDefaultAndSaySo) {
    const struct {
        const char* value;
        std::int32_t expected;
    } enabled[] = {{"1", 1}, {"0", 0}, {"2", 1}, {"-1", 0}, {"abc", 0}, {"", 0}},
      ports[] = {{"9001", 9001}, {"1", 1},        {"65535", 65535},      {"0", 9000},
                 {"-5", 9000},   {"65536", 9000}, {"99999999999", 9000}, {"", 9000}};
    for (const auto& c : enabled) {
        EXPECT_EQ(load(std::string("[osc]\nenabled=") + c.value + "\n").oscEnabled, c.expected)
            << c.value;
        EXPECT_EQ(load(std::string("[openxr]\nenabled=") + c.value + "\n").xrEnabled, c.expected)
            << c.value;
    }
    testing::internal::CaptureStderr();
    for (const auto& c : ports) {
        EXPECT_EQ(load(std::string("[OSC]\nPort=") + c.value + "\n").oscPort, c.expected)
            << c.value;
    }
    const struct {
        const char* value;
        const char* expected;
    } hosts[] = {
        {"192.168.1.20", "192.168.1.20"},
        {"  10.0.0.7  ", "10.0.0.7"},  // blanks around a value are no part of it
        {"255.255.255.255", "255.255.255.255"},
        {"127.0.0.2", "127.0.0.2"},
        // A name is never looked up, and nothing but four decimal parts is an address.
        {"localhost", "127.0.0.1"},
        {"quest.local", "127.0.0.1"},
        {"192.168.1", "127.0.0.1"},
        {"192.168.1.20.5", "127.0.0.1"},
        {"192.168.1.256", "127.0.0.1"},
        {"192.168.01.20", "127.0.0.1"},  // octal to some readers
        {"192.168.1.20:9000", "127.0.0.1"},
        {"192.168.1.-2", "127.0.0.1"},
        {"+1.2.3.4", "127.0.0.1"},
        {"0x7f.0.0.1", "127.0.0.1"},
        {"1.2.3.4 5", "127.0.0.1"},
        {"::1", "127.0.0.1"},
        {"0.0.0.0", "127.0.0.1"},
        {"", "127.0.0.1"},
        {"0000000192.168.1.20", "127.0.0.1"},  // longer than the field
    };
    for (const auto& c : hosts) {
        EXPECT_STREQ(load(std::string("[osc]\nhost=") + c.value + "\n").oscHost, c.expected)
            << c.value;
    }
    // The speed curve's values likewise: outside the range, or no number at all.
    const struct {
        const char* key;
        const char* value;
        float expected;
    } walk[] = {{"cadenceSpeed", "0", 0.0f},   {"cadenceSpeed", "2", 1.0f},
                {"cadenceSpeed", "off", 1.0f}, {"walkCadence", "85.5", 85.5f},
                {"walkCadence", "10", 100.0f}, {"walkCadence", "fast", 100.0f},
                {"runCadence", "300", 300.0f}, {"runCadence", "inf", 170.0f},
                {"runSpeed", "0.6", 0.6f},     {"runSpeed", "1.5", 1.0f},
                {"runSpeed", "", 1.0f}};
    for (const auto& c : walk) {
        const WalkState w = load(std::string("[walk]\n") + c.key + "=" + c.value + "\n");
        const float got = std::string_view(c.key) == "cadenceSpeed"  ? float(w.cadenceSpeed)
                          : std::string_view(c.key) == "walkCadence" ? w.walkCadence
                          : std::string_view(c.key) == "runCadence"  ? w.runCadence
                                                                     : w.runSpeed;
        EXPECT_EQ(got, c.expected) << c.key << "=" << c.value;
    }
    // One line for each of the 5 ports, 15 hosts and 7 values of [walk] not taken.
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 27) << said;
    for (const char* line : {": [osc] port=65536 cannot be used, 9000 instead\n",
                             ": [osc] host=::1 cannot be used, 127.0.0.1 instead\n",
                             ": [walk] walkCadence=fast cannot be used, 100 instead\n"}) {
        EXPECT_NE(said.find("tarvel: " + path_ + line), std::string::npos) << line;
    }
}

TEST_F(SettingsFile, DecimalsAreSavedWithTwoPlacesRounded) {
    WalkState s = defaults();
    s.loadMax[0] = 123.456f;
    s.loadMax[1] = -0.001f;
    s.loadMax[2] = 1e20f;
    s.loadMax[3] = INFINITY;
    s.thresholdFL = -12.5f;
    s.walkFThreshold = 0.3149f;
    s.walkSpeedFB = 0.125f;  // exactly halfway: rounds to even
    s.comID = -2;
    std::string text = formatSettings(s);
    for (const char* line :
         {"loadMax0=123.46\r\n", "loadMax1=-0.00\r\n", "loadMax2=100000002004087734272.00\r\n",
          "loadMax3=inf\r\n", "thresholdFL=-12.50\r\n", "walkFThreshold=0.31\r\n",
          "walkSpeedFB=0.12\r\n", "comID=-2\r\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << " missing from\n" << text;
    }
}

TEST_F(SettingsFile, SaveThenLoadGivesBackEverySettingToTwoDecimals) {
    WalkState s{};
    s.comID = 12;
    s.autoCalibration = 1;
    for (int i = 0; i < 8; ++i) s.loadMax[i] = 7.777f * static_cast<float>(i + 1);
    s.walkFThreshold = 0.3149f;
    s.thresholdFL = -11.111f;
    s.thresholdFR = 19.999f;
    s.thresholdL = -44.444f;
    s.thresholdR = 33.335f;
    s.walkSpeedFB = 0.555f;
    s.walkSpeedLR = 0.045f;
    s.rotationSpeed = 0.999f;
    s.numStep = 123456;
    s.appMode = 1;
    s.moveMode = 1;
    s.moveFrontKeyCode = 38;
    s.moveLeftKeyCode = 37;
    s.moveRightKeyCode = 39;
    s.oscEnabled = 1;
    std::strcpy(s.oscHost, "10.1.2.3");
    s.oscPort = 65535;
    s.xrEnabled = 1;
    s.runKeyCode = 16;
    s.walkCadence = 95.555f;
    s.runCadence = 160.004f;
    s.runSpeed = 0.875f;
    ASSERT_TRUE(saveSettings(path_, s));
    WalkState back = scribbled();
    loadSettings(path_, back);

    WalkState expected = s;
    auto twoPlaces = [](float v) {
        return static_cast<float>(std::round(static_cast<double>(v) * 100.0) / 100.0);
    };
    for (float& m : expected.loadMax) m = twoPlaces(m);
    for (float WalkState::*f :
         {&WalkState::walkFThreshold, &WalkState::thresholdFL, &WalkState::thresholdFR,
          &WalkState::thresholdL, &WalkState::thresholdR, &WalkState::walkSpeedFB,
          &WalkState::walkSpeedLR, &WalkState::rotationSpeed, &WalkState::walkCadence,
          &WalkState::runCadence, &WalkState::runSpeed}) {
        expected.*f = twoPlaces(s.*f);
    }
    expectSameSettings(back, expected);
    EXPECT_EQ(back.walkFThreshold, 0.31f);
    EXPECT_EQ(back.thresholdFR, 20.0f);  // 19.999 is saved as 20.00, the top of its range
}

TEST_F(SettingsFile, ASaveThatCannotBeWrittenLeavesFileAndMemoryAlone) {
    // A read-only folder with a settings file in it, and a read-only file in an open folder.
    settingstest::openToEveryone(dir_.path());
    const std::string lockedDir = dir_.file("locked");
    std::filesystem::create_directory(lockedDir);
    const std::string inLocked = lockedDir + "/tarvel.ini";
    writeFile(inLocked, "old contents\r\n");
    ::chmod(inLocked.c_str(), 0666);
    ::chmod(lockedDir.c_str(), 0555);
    const std::string readOnly = dir_.file("readonly.ini");
    writeFile(readOnly, "old read-only contents\r\n");
    ::chmod(readOnly.c_str(), 0444);

    for (const std::string& target : {inLocked, readOnly, lockedDir + "/new.ini"}) {
        int result = settingstest::runAsUser([&] {
            WalkState s = defaults();
            s.numStep = 77;
            const WalkState before = s;
            if (saveSettings(target, s)) return 1;
            if (std::memcmp(&s, &before, sizeof s) != 0) return 2;
            return 0;
        });
        EXPECT_EQ(result, 0) << target;
    }
    EXPECT_EQ(readFile(inLocked), "old contents\r\n");
    EXPECT_EQ(readFile(readOnly), "old read-only contents\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(lockedDir),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(SettingsFile, ASaveToAMissingFolderOrToAFolderFails) {
    EXPECT_FALSE(saveSettings(dir_.file("no/such/folder/tarvel.ini"), defaults()));
    EXPECT_FALSE(saveSettings(dir_.path(), defaults()));
    EXPECT_FALSE(saveSettings("", defaults()));
}

}  // namespace
