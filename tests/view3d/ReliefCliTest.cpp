// The relief as a bitmap file, and `morvane-cli relief` writing the same picture the
// window draws.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>

#include "core/Numbers.h"
#include "formats/LoadFiles.h"
#include "view3d/S3D.h"
#include "../formats/native_support.h"

using namespace native_test;

namespace {

uint32_t U32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(s[at + i])) << (8 * i);
    return v;
}

TEST(ReliefBitmap, LinesBottomUpPaddedWithThePalette) {
    TRelief r;
    r.Width = 3;
    r.Height = 2;
    r.Pixels = {1, 2, 3, 4, 5, 6};  // top line 1 2 3
    TLogPalette pal;
    pal.Entries[5] = {10, 20, 30, 1};
    const std::string bmp = ReliefBitmapFile(r, pal);
    ASSERT_EQ(bmp.size(), 14u + 40 + 1024 + 2 * 4);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(U32(bmp, 2), bmp.size());
    EXPECT_EQ(U32(bmp, 10), 14u + 40 + 1024);
    EXPECT_EQ(U32(bmp, 18), 3u);
    EXPECT_EQ(U32(bmp, 22), 2u);
    EXPECT_EQ(U32(bmp, 28) & 0xFFFF, 8u);
    EXPECT_EQ(static_cast<uint8_t>(bmp[54 + 5 * 4]), 30);  // blue, green, red
    EXPECT_EQ(static_cast<uint8_t>(bmp[54 + 5 * 4 + 2]), 10);
    const size_t px = 14 + 40 + 1024;
    EXPECT_EQ(bmp.substr(px, 4), std::string("\x04\x05\x06\x00", 4));  // bottom line first
    EXPECT_EQ(bmp.substr(px + 4, 4), std::string("\x01\x02\x03\x00", 4));
    EXPECT_EQ(ReliefBitmapFile(TRelief{}, pal), "");
}

class ReliefCli : public ::testing::Test {
protected:
    int Run(const std::vector<std::string>& args) {
        std::string cmd = MORVANE_CLI;
        for (const auto& a : args) cmd += " '" + a + "'";
        cmd += " 2>'" + dir / "stderr" + "'";
        const int raw = std::system(cmd.c_str());
        err = GetFile(dir / "stderr");
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    TScratchDir dir;
    std::string err;
};

TEST_F(ReliefCli, WritesTheReliefTheWindowDraws) {
    ASSERT_EQ(Run({"demo", dir / "demo"}), 0) << err;
    ASSERT_EQ(Run({"relief", dir / "demo/demo.txt", dir / "r.bmp", "--gain", "40", "--shift=-30"}), 0) << err;
    ASSERT_EQ(Run({"relief", dir / "demo/demo.txt", dir / "c.bmp", "--channel", "2", "--gain", "x"}), 0) << err;

    SetDecimalSeparator('.');
    TRecordingSink quiet;
    TScopedMessageSink scoped(&quiet);
    TLoadFiles loader(dir / "demo/demo.txt");
    ASSERT_TRUE(loader.ReadParamFile());
    TKeepTarget t;
    loader.LoadChecked(std::vector<bool>(static_cast<size_t>(loader.Count()) + 1, true), t);
    ASSERT_EQ(t.Docs.size(), 2u);
    std::reverse(t.Docs.begin(), t.Docs.end());  // file order

    const TQTVPicture& topo = t.Docs[0]->Picture;
    const std::string written = GetFile(dir / "r.bmp");
    EXPECT_EQ(U32(written, 18), 30u + 511 + 40);
    EXPECT_EQ(U32(written, 22), 511u + 40 + 40);
    EXPECT_TRUE(written == ReliefBitmapFile(DrawRelief(topo, 40, -30), topo.Palette));
    // a gain that is not a number is 10, as in the window; the shift keeps its default 10
    const TQTVPicture& current = t.Docs[1]->Picture;
    EXPECT_TRUE(GetFile(dir / "c.bmp") == ReliefBitmapFile(DrawRelief(current, 10, 10), current.Palette));
}

TEST_F(ReliefCli, RefusesOtherOutputsAndHugePictures) {
    ASSERT_EQ(Run({"demo", dir / "demo"}), 0) << err;
    EXPECT_EQ(Run({"relief", dir / "demo/demo.txt", dir / "r.png"}), 2);
    EXPECT_EQ(Run({"relief", dir / "demo/demo.txt", dir / "r.bmp", "--gain", "2000000000"}), 1);
    EXPECT_NE(err.find("Picture too large for this z-Gain and Shift!"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(dir / "r.bmp"));
    EXPECT_EQ(Run({"relief", dir / "missing.txt", dir / "r.bmp"}), 1);
}

}  // namespace
