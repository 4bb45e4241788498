// Profile text for the clipboard and the data file, and the save rules.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "analysis/ProfileOutput.h"
#include "core/Messages.h"
#include "core/Numbers.h"

namespace {

TProfile Three() {
    TProfile p;
    p.Resize(3);
    p.Z = {1, 2, 3};
    p.SampleStep = 2;
    return p;
}

std::string Slurp(const std::filesystem::path& f) {
    std::ifstream in(f, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

TEST(ProfileOutput, TwentyThreeCharacterNumbers) {
    SetDecimalSeparator('.');
    const std::pair<double, const char*> cases[] = {
        {1.0, " 1.00000000000000E+0000"},
        {-2.5, "-2.50000000000000E+0000"},
        {0.0, " 0.00000000000000E+0000"},
        {0.390625, " 3.90625000000000E-0001"},
        {-1.5e-300, "-1.50000000000000E-0300"},
        {100000000000000.5, " 1.00000000000000E+0014"},  // a tie rounds to even
        {100000000000001.5, " 1.00000000000002E+0014"},
        {0.1f, " 1.00000001490116E-0001"},  // the float's exact value
    };
    for (auto [v, text] : cases) {
        EXPECT_EQ(FormatDat(v), text);
        EXPECT_EQ(FormatDat(v).size(), 23u);
    }
    SetDecimalSeparator(',');
    EXPECT_EQ(FormatDat(1.0), " 1,00000000000000E+0000");
    SetDecimalSeparator('.');
}

TEST(ProfileOutput, ClipboardAndDataText) {
    SetDecimalSeparator('.');
    TProfile p = Three();
    EXPECT_EQ(ProfileClipboardText(p), "0\t1\r\n2\t2\r\n4\t3\r\n");
    p.Z2 = {0.5f, -1, 7};
    p.HasSecond = true;
    EXPECT_EQ(ProfileClipboardText(p), "0\t1\t0.5\r\n2\t2\t-1\r\n4\t3\t7\r\n");
    EXPECT_EQ(ProfileDatText(p).substr(0, 73),
              " 0.00000000000000E+0000\t 1.00000000000000E+0000\t 5.00000000000000E-0001\r\n");
    p.SampleStep = 0.1f;  // x = i * the float step, in double
    p.HasSecond = false;
    EXPECT_EQ(ProfileClipboardText(p).substr(0, 26), "0\t1\r\n0.100000001490116\t2\r\n");
    EXPECT_EQ(TableText({"Ra", "Rq"}, {"1.000 nm", "2.000 nm"}), "Ra\t1.000 nm\r\nRq\t2.000 nm\r\n");
}

TEST(ProfileOutput, SaveRules) {
    const auto dir = std::filesystem::temp_directory_path() / ("morvane_prof_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "a.b");
    EXPECT_EQ(WithDefaultExt((dir / "a.b/prof").string(), ".dat"), (dir / "a.b/prof.dat").string());
    EXPECT_EQ(WithDefaultExt("prof.txt", ".dat"), "prof.txt");

    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    const std::string f = (dir / "prof.dat").string();
    EXPECT_EQ(SaveOutputFile(f, "first", false), TSaveResult::Saved);
    EXPECT_EQ(Slurp(f), "first");
    EXPECT_TRUE(sink.Texts().empty());
    EXPECT_EQ(SaveOutputFile(f, "second", false), TSaveResult::Exists);
    EXPECT_EQ(Slurp(f), "first");
    ASSERT_EQ(sink.Texts().size(), 1u);
    EXPECT_EQ(sink.Texts()[0], "File exist! Save Canceled!");
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Error);
    EXPECT_EQ(SaveOutputFile(f, "second", true), TSaveResult::Saved);
    EXPECT_EQ(Slurp(f), "second");
    sink.Clear();
    EXPECT_EQ(SaveOutputFile((dir / "missing/x.dat").string(), "x", false), TSaveResult::Failed);
    ASSERT_EQ(sink.Texts().size(), 1u);
    EXPECT_EQ(sink.Texts()[0], "Save not complete!");
    std::filesystem::remove_all(dir);
}
