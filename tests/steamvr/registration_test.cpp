// `tarvel --steamvr register|unregister|status` on this user's openvrpaths.vrpath: the build
// tree's driver folder added and removed with every other entry and key kept in its place,
// and nothing written where SteamVR has never run.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "tests/support/support.h"

namespace {

using namespace std::chrono_literals;
using Json = nlohmann::ordered_json;

class SteamVrRegistration : public ::testing::Test {
  protected:
    // The program's exit code and output.
    std::pair<std::optional<int>, std::string> run(const std::string& verb) {
        testsupport::ChildProcess program({testsupport::programBinary(), "--steamvr", verb},
                                          dir_.path(), dir_.file("out.log"),
                                          {"XDG_CONFIG_HOME=" + dir_.path()});
        return {program.wait(30s), testsupport::readFile(dir_.file("out.log"))};
    }
    Json paths() { return Json::parse(testsupport::readFile(file_)); }

    testsupport::TempDir dir_;
    const std::string file_ = dir_.file("openvr/openvrpaths.vrpath");
    const std::string folder_ =
        std::filesystem::canonical(testsupport::binaryDir() + "/../steamvr/tarvel").string();
};

TEST_F(SteamVrRegistration, AddsAndRemovesOnlyItsOwnFolder) {
    auto [code, out] = run("register");
    EXPECT_EQ(code, std::optional<int>(1));
    EXPECT_NE(out.find("SteamVR is not installed"), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(dir_.file("openvr"))) << "written without SteamVR";

    const std::string original = R"({"config": ["/home/u/.steam/config"],
        "external_drivers": ["/opt/other/driver", "/opt/second"], "jsonid": "vrpathreg",
        "log": ["/home/u/.steam/logs"], "runtime": ["/home/u/.steam/SteamVR"], "version": 1})";
    std::filesystem::create_directories(dir_.file("openvr"));
    for (const std::string& before :
         {original,
          std::string(R"({"jsonid": "vrpathreg", "external_drivers": null, "version": 1})")}) {
        testsupport::writeFile(file_, before);
        EXPECT_EQ(run("status").first, std::optional<int>(0));
        EXPECT_EQ(run("register").first, std::optional<int>(0));
        Json expected = Json::parse(before);
        if (!expected["external_drivers"].is_array()) expected["external_drivers"] = Json::array();
        expected["external_drivers"].push_back(folder_);
        EXPECT_EQ(paths(), expected);
        const std::string once = testsupport::readFile(file_);
        EXPECT_EQ(run("register").first, std::optional<int>(0));
        EXPECT_EQ(testsupport::readFile(file_), once) << "listed twice";
        std::tie(code, out) = run("status");
        EXPECT_NE(out.find("SteamVR: registered " + folder_), std::string::npos) << out;
        EXPECT_EQ(run("unregister").first, std::optional<int>(0));
        EXPECT_EQ(paths(), Json::parse(before));
    }
    testsupport::writeFile(file_, "{not json");
    EXPECT_EQ(run("register").first, std::optional<int>(1));
    EXPECT_EQ(testsupport::readFile(file_), "{not json");
}

}  // namespace
