// morvane-cli with Gwyddion and Nanonis files: info names the format, a .gwy output takes
// every channel (or the one --channel names), a .gsf one channel, and no output file is
// ever replaced.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/cli_support.h"
#include "../formats/native_support.h"

using namespace native_test;
using namespace cli_test;
using json = nlohmann::ordered_json;

namespace {

const std::string Fields = std::string(MORVANE_TEST_DATA) + "/fields/";

class FieldsCli : public ::testing::Test {
protected:
    TRun Run(const std::vector<std::string>& args) { return RunCli(args, dir / "stdout", dir / "stderr"); }
    json Info(const std::string& path) {
        const TRun r = Run({"info", path});
        EXPECT_EQ(r.Status, 0) << r.Err;
        return json::parse(r.Out);
    }
    static std::vector<std::string> Captions(const json& j) {
        std::vector<std::string> out;
        for (const auto& c : j["channels"]) out.push_back(c["caption"]);
        return out;
    }
    TScratchDir dir;
};

TEST_F(FieldsCli, InfoConvertAndProcess) {
    for (const auto& [file, format] : std::vector<std::pair<std::string, std::string>>{
             {"height.gsf", "gsf"}, {"merged-gwyddion.gwy", "gwy"}, {"down-both.sxm", "sxm"}})
        EXPECT_EQ(Info(Fields + file)["format"], format) << file;

    const std::string sxm = Fields + "down-both.sxm";
    const std::vector<std::string> all = Captions(Info(sxm));
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(Run({"convert", sxm, dir / "all.gwy"}).Status, 0);
    EXPECT_EQ(Captions(Info(dir / "all.gwy")), all);
    EXPECT_EQ(Run({"convert", sxm, dir / "one.gwy", "--channel", "2"}).Status, 0);
    EXPECT_EQ(Captions(Info(dir / "one.gwy")), std::vector<std::string>{"Z (Backward)"});
    EXPECT_EQ(Run({"convert", sxm, dir / "first.gsf"}).Status, 0);
    EXPECT_EQ(Captions(Info(dir / "first.gsf")), std::vector<std::string>{"Z (Forward)"});

    // the operations run on every channel written, and their history comes back
    EXPECT_EQ(Run({"process", sxm, dir / "inv.gwy", "--op", "invert"}).Status, 0);
    const json inv = Info(dir / "inv.gwy");
    ASSERT_EQ(inv["channels"].size(), 5u);
    EXPECT_EQ(inv["channels"][4]["max"], -Info(sxm)["channels"][4]["min"].get<double>());
    EXPECT_EQ(Run({"convert", dir / "inv.gwy", dir / "inv.txt", "--channel", "5", "--data", "sin"}).Status, 0);
    EXPECT_NE(GetFile(dir / "inv.txt").find("; history 1 = invert\r\n"), std::string::npos);

    // an existing output stays as it is
    const std::string before = GetFile(dir / "all.gwy");
    for (const char* out : {"all.gwy", "first.gsf"}) {
        const TRun again = Run({"convert", Fields + "height.gsf", dir / out});
        EXPECT_EQ(again.Status, 1) << out;
        EXPECT_NE(again.Err.find(dir / out + " already exists! Abort!"), std::string::npos) << again.Err;
    }
    EXPECT_EQ(GetFile(dir / "all.gwy"), before);
    // a name the open command would not know again is a usage error
    EXPECT_EQ(Run({"convert", sxm, dir / "upper.GWY"}).Status, 2);
}

}  // namespace
