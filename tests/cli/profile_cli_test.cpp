// morvane-cli profile and roughness as a script runs them.
#include <gtest/gtest.h>

#include "cli/cli_support.h"
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include "analysis/LineProfile.h"
#include "analysis/ProfileOutput.h"
#include "analysis/Roughness.h"
#include "core/Numbers.h"
#include "formats/LoadFiles.h"
#include "../formats/native_support.h"

using namespace native_test;

using namespace cli_test;

namespace {

class ProfileCli : public ::testing::Test {
protected:
    ProfileCli() {
        SetDecimalSeparator('.');
        Run({"demo", dir / "demo"});
        demo = dir / "demo/demo.txt";
    }

    TRun Run(const std::vector<std::string>& args) { return RunCli(args, dir / "stdout", dir / "stderr"); }

    // Channel n of the demo scan, read by the model itself.
    std::unique_ptr<TImageDoc> Channel(int n) {
        TRecordingSink quiet;
        TScopedMessageSink scoped(&quiet);
        TLoadFiles loader(demo);
        EXPECT_TRUE(loader.ReadParamFile());
        TKeepTarget t;
        std::vector<bool> pick(static_cast<size_t>(loader.Count()) + 1, false);
        pick[static_cast<size_t>(n)] = true;
        loader.LoadChecked(pick, t);
        EXPECT_EQ(t.Docs.size(), 1u);
        return std::move(t.Docs[0]);
    }

    TScratchDir dir;
    std::string demo;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t e = text.find("\r\n", pos);
        if (e == std::string::npos) {
            out.push_back(text.substr(pos) + "<no CR LF>");
            break;
        }
        out.push_back(text.substr(pos, e - pos));
        pos = e + 2;
    }
    return out;
}

}  // namespace

TEST_F(ProfileCli, RowProfileIsTheModelsDataText) {
    auto doc = Channel(1);
    TProfileRequest req;
    req.Index = 7;
    req.Width = 5;
    TProfile p;
    ComputeProfile(doc->Picture, req, p);
    const TRun r = Run({"profile", demo, "--index", "6,5", "--width", "5"});  // 6.5 -> 6 (even)
    const TRun r7 = Run({"profile", demo, "--index", "7", "--width", "5"});
    ASSERT_EQ(r7.Status, 0) << r7.Err;
    EXPECT_EQ(r7.Out, ProfileDatText(p));
    EXPECT_NE(r.Out, r7.Out);
    const auto lines = Lines(r7.Out);
    ASSERT_EQ(lines.size(), 512u);
    EXPECT_EQ(lines[0].size(), 23u + 1 + 23);
    EXPECT_EQ(lines[1].substr(0, 23), FormatDat(1 * static_cast<double>(p.SampleStep)));

    // negative values are values; the row is clamped to the top
    const TRun neg = Run({"profile", demo, "--index", "-4"});
    const TRun top = Run({"profile", demo});
    ASSERT_EQ(neg.Status, 0) << neg.Err;
    EXPECT_EQ(neg.Out, top.Out);
}

TEST_F(ProfileCli, ModesAndSecondImage) {
    const TRun any = Run({"profile", demo, "--mode", "any", "--from", "-5,-5", "--to", "3,4"});
    ASSERT_EQ(any.Status, 0) << any.Err;
    EXPECT_EQ(Lines(any.Out).size(), 6u);  // (0,0)-(3,4)
    const TRun radial = Run({"profile", demo, "--mode", "radial", "--width", "10", "--angle", "-30"});
    ASSERT_EQ(radial.Status, 0) << radial.Err;
    EXPECT_EQ(Lines(radial.Out).size(), 256u);
    const TRun turned = Run({"profile", demo, "--mode", "radial", "--width", "10", "--angle", "330"});
    EXPECT_EQ(radial.Out, turned.Out);

    const TRun dual = Run({"profile", demo, "--mode", "col", "--index", "9", "--second", demo + ":2"});
    ASSERT_EQ(dual.Status, 0) << dual.Err;
    const auto lines = Lines(dual.Out);
    ASSERT_EQ(lines.size(), 512u);
    EXPECT_EQ(lines[3].size(), 3 * 23u + 2);
    const TRun missing = Run({"profile", demo, "--second", demo + ":9"});
    EXPECT_EQ(missing.Status, 1);
}

TEST_F(ProfileCli, UsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {"profile", demo, "--mode", "diagonal"},  {"profile", demo, "--width", "2.5"},
        {"profile", demo, "--width", "x"},        {"profile", demo, "--from", "1;2"},
        {"profile", demo, "--to", "1,2,3"},       {"profile", demo, "--index", "abc"},
        {"profile", demo, "--angle"},             {"profile", demo, "--bogus", "1"},
        {"profile"},                              {"roughness", demo, "--out", "x.dat"},
        {"roughness", demo, "--second", demo},    {"profile", demo, demo},
    };
    for (const auto& args : bad) {
        const TRun r = Run(args);
        EXPECT_EQ(r.Status, 2) << args.back() << ": " << r.Err;
        EXPECT_TRUE(r.Out.empty());
    }
    EXPECT_EQ(Run({"profile", demo, "--width", "-3"}).Out, Run({"profile", demo}).Out);  // counts as 1
    // a width far beyond the image finishes, as the widest band does
    const TRun huge = Run({"profile", demo, "--width", "2147483647", "--index", "3"});
    ASSERT_EQ(huge.Status, 0) << huge.Err;
    EXPECT_EQ(huge.Out, Run({"profile", demo, "--width", std::to_string(MaxLineWidth), "--index", "3"}).Out);
    EXPECT_EQ(Run({"profile", dir / "nothere.txt"}).Status, 1);
}

TEST_F(ProfileCli, OutFileGetsDatAndIsNeverReplaced) {
    const std::string base = dir / "prof";
    const TRun r = Run({"profile", demo, "--out", base});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(r.Out.empty());
    const std::string written = GetFile(base + ".dat");
    EXPECT_EQ(written, Run({"profile", demo}).Out);

    PutFile(base + ".dat", "keep me");
    const TRun again = Run({"profile", demo, "--out", base});
    EXPECT_EQ(again.Status, 1);
    EXPECT_NE(again.Err.find("File exist! Save Canceled!"), std::string::npos);
    EXPECT_EQ(GetFile(base + ".dat"), "keep me");
    EXPECT_TRUE(again.Out.empty());

    const TRun nowhere = Run({"profile", demo, "--out", dir / "no/such/dir/p.dat"});
    EXPECT_EQ(nowhere.Status, 1);
    EXPECT_NE(nowhere.Err.find("Save not complete!"), std::string::npos);
}

TEST_F(ProfileCli, RoughnessJson) {
    auto doc = Channel(1);
    const TRun r = Run({"roughness", demo, "--mode", "any", "--from", "0,0", "--to", "199,0"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const auto j = nlohmann::json::parse(r.Out);
    TProfileRequest req;
    req.Mode = TLineMode::Any;
    req.Line = {0, 0, 199, 0};
    TProfile p;
    ComputeProfile(doc->Picture, req, p);
    const TRoughness want = EvaluateRoughness(p.Z, p.Count);
    EXPECT_EQ(j["profile"]["count"], 200);
    EXPECT_EQ(j["profile"]["unit"], "nm");
    EXPECT_DOUBLE_EQ(j["profile"]["Ra"].get<double>(), want.Ra);
    EXPECT_DOUBLE_EQ(j["profile"]["Rvm"].get<double>(), want.Rvm);
    EXPECT_DOUBLE_EQ(j["profile"]["Rmax"].get<double>(), want.Rmax);
    const TImageStats st = ImageStatistics(doc->Picture);
    EXPECT_DOUBLE_EQ(j["image"]["mean"].get<double>(), st.Mean);
    EXPECT_DOUBLE_EQ(j["image"]["sd"].get<double>(), st.SD);

    // a profile of one sample still gives six numbers
    const TRun dot = Run({"roughness", demo, "--mode", "any", "--from", "4,4", "--to", "4,4"});
    ASSERT_EQ(dot.Status, 0) << dot.Err;
    const auto k = nlohmann::json::parse(dot.Out);
    EXPECT_EQ(k["profile"]["count"], 1);
    for (const char* f : {"Ra", "Rpm", "Rvm", "Rz", "Rmax", "Rq"}) EXPECT_TRUE(k["profile"][f].is_number()) << f;
}
