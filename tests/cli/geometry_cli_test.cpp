// morvane-cli process with the zoom, distortion, sphere, arith and rescale operations.
#include <gtest/gtest.h>

#include "cli/cli_support.h"
#include <sys/wait.h>

#include <algorithm>

#include "core/Numbers.h"
#include "formats/LoadFiles.h"
#include "../formats/native_support.h"

using namespace native_test;

using namespace cli_test;

namespace {

class CliGeometry : public ::testing::Test {
protected:
    CliGeometry() { SetDecimalSeparator('.'); }

    TRun Process(const std::string& in, const std::string& out, const std::vector<std::string>& ops) {
        // no operation: the plain conversion, for comparison
        std::vector<std::string> args{ops.empty() ? "convert" : "process", in, out};
        for (const auto& op : ops) args.insert(args.end(), {"--op", op});
        return RunCli(args, dir / "stdout", dir / "stderr");
    }

    // A 4 x 3 scan of value = 4 r + c (+ add) in file name with data file data.
    std::string Scan(const std::string& name, const std::string& data, float add = 0, int cols = 4, int rows = 3,
                     const std::string& unit = "nm") {
        std::vector<float> v;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) v.push_back(static_cast<float>(4 * r + c) + add);
        PutFile(dir / data, FloatBytes(v));
        PutFile(dir / name, CurrentHeader(cols, rows) + Block(data, {"PhysUnit : " + unit}));
        return dir / name;
    }

    std::unique_ptr<TImageDoc> Load(const std::string& path) {
        TRecordingSink quiet;
        TScopedMessageSink scoped(&quiet);
        TLoadFiles loader(path);
        EXPECT_TRUE(loader.ReadParamFile());
        TKeepTarget t;
        loader.LoadChecked(std::vector<bool>(static_cast<size_t>(loader.Count()) + 1, true), t);
        if (t.Docs.empty()) return nullptr;
        return std::move(t.Docs.back());
    }

    TScratchDir dir;
};

}  // namespace

TEST_F(CliGeometry, ZoomCutsFromTheTopAndScalesTheRanges) {
    const std::string in = Scan("s.txt", "s.sin");
    // columns 1..2, picture lines 0..1 from the top = sample rows 1..2
    TRun r = Process(in, dir / "o.dat", {"zoom:3:2:1:0"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(GetFile(dir / "o.dat"), "5\t6\r\n9\t10\r\n");
    r = Process(in, dir / "o.txt", {"zoom:1:0:3:2"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    auto back = Load(dir / "o.txt");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Picture.Cols, 2);
    EXPECT_DOUBLE_EQ(back->Picture.Para.XScanRange, 1000.0);
    EXPECT_NEAR(back->Picture.Para.YScanRange, 1000.0 / 3 * 2, 1e-9);
    // zero width changes nothing; the far corners keep the last column and bottom line
    r = Process(in, dir / "z.dat", {"zoom:2:0:2:3"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    r = Process(in, dir / "f.dat", {"zoom:0:0:4:3"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(GetFile(dir / "z.dat"), GetFile(dir / "f.dat"));
    r = Process(in, dir / "b.dat", {"zoom:-5:-5:99:99"});  // pulled onto the border
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(GetFile(dir / "b.dat"), GetFile(dir / "f.dat"));
}

TEST_F(CliGeometry, DistortionAndSphere) {
    const std::string in = Scan("s.txt", "s.sin");
    TRun r = Process(in, dir / "id.dat", {"distortion:0:0,0:0.0:0"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    r = Process(in, dir / "plain.dat", {});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(GetFile(dir / "id.dat"), GetFile(dir / "plain.dat"));
    r = Process(in, dir / "d.dat", {"distortion:0,1:0:0.1:0"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(GetFile(dir / "d.dat"), GetFile(dir / "plain.dat"));

    r = Process(in, dir / "sl.dat", {"sphere:0"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(GetFile(dir / "sl.dat"), GetFile(dir / "plain.dat"));
    r = Process(in, dir / "sh.dat", {"sphere:0:high"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(GetFile(dir / "sh.dat"), "0\t0\t0\t0\r\n0\t0\t0\t0\r\n0\t0\t0\t0\r\n");

    // coefficients that fold the scan are refused with the window's message
    r = Process(in, dir / "f.dat", {"distortion:0:0:100:-1e30"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("These coefficients fold the scan: with c_y = 100"), std::string::npos) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(dir / "f.dat"));

    for (const std::string op : {"distortion:a:0:0:0", "distortion:0:0:0", "distortion:0:0:0:0:0", "sphere",
                                 "sphere:1,5", "sphere:x", "sphere:1:middle", "zoom:1:2:3", "zoom:a:0:1:1"}) {
        r = Process(in, dir / "x.dat", {op});
        EXPECT_EQ(r.Status, 2) << op;
        EXPECT_NE(r.Err, "") << op;
        EXPECT_FALSE(std::filesystem::exists(dir / "x.dat")) << op;
    }
}

TEST_F(CliGeometry, ArithWithAnotherFile) {
    const std::string in = Scan("s.txt", "s.sin", 0, 4, 3, "nm");
    Scan("x:y.txt", "xy.sin", 1, 4, 3, "V");  // a ":" in the name
    Scan("small.txt", "small.sin", 0, 3, 3);
    TRun r = Process(in, dir / "m.dat", {"arith:-:" + (dir / "x:y.txt")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(GetFile(dir / "m.dat"), "-1\t-1\t-1\t-1\r\n-1\t-1\t-1\t-1\r\n-1\t-1\t-1\t-1\r\n");
    r = Process(in, dir / "p.txt", {"arith:*:" + (dir / "x:y.txt") + ":1"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    auto back = Load(dir / "p.txt");
    ASSERT_TRUE(back);
    EXPECT_NEAR(back->Picture.Data[2][3], 11 * 12, 1e-3);
    EXPECT_EQ(back->Picture.Para.PhysUnit, "nm");  // the first operand's scan record
    // a zero divisor: the first sample of s divided by itself minus... 0 / 1 and 1 / 0
    r = Process(dir / "x:y.txt", dir / "q.dat", {"arith:/:" + in});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(GetFile(dir / "q.dat").substr(0, 4), "INF\t");

    r = Process(in, dir / "n.dat", {"arith:+:" + (dir / "small.txt")});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("Pictures must have some size!"), std::string::npos) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(dir / "n.dat"));
    r = Process(in, dir / "n.dat", {"arith:+:" + (dir / "x:y.txt") + ":2"});  // no channel 2
    EXPECT_EQ(r.Status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir / "n.dat"));
    for (const std::string op : {"arith", "arith:+", "arith:%:f.txt", "arith:++:f.txt", "arith:+:", "arith:+:f.txt:0"}) {
        r = Process(in, dir / "n.dat", {op});
        EXPECT_EQ(r.Status, 2) << op;
        EXPECT_FALSE(std::filesystem::exists(dir / "n.dat")) << op;
    }
}

TEST_F(CliGeometry, RescaleKeepsItsUnitsThroughASave) {
    const std::string in = Scan("s.txt", "s.sin");  // range 11
    TRun r = Process(in, dir / "o.txt", {"rescale:100:200:22:\xC2\xB5m:\xC3\x85:pm"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    auto back = Load(dir / "o.txt");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Picture.Para.XScanRange, 100);
    EXPECT_EQ(back->Picture.Para.YScanRange, 200);
    EXPECT_EQ(back->Picture.Para.XPhysUnit, "\xB5m");
    EXPECT_EQ(back->Picture.Para.YPhysUnit, "\xC5");
    EXPECT_EQ(back->Picture.Para.PhysUnit, "pm");
    EXPECT_NEAR(back->Picture.Data[2][3], 22, 1e-4);  // scaled about 0
    r = Process(in, dir / "k.dat", {"rescale:1:1:11.005"});  // within 0.1 %: samples kept
    ASSERT_EQ(r.Status, 0) << r.Err;
    r = Process(in, dir / "plain.dat", {});
    EXPECT_EQ(GetFile(dir / "k.dat"), GetFile(dir / "plain.dat"));

    PutFile(dir / "c.sin", FloatBytes({2, 2, 2, 2}));
    PutFile(dir / "c.txt", CurrentHeader(2, 2) + Block("c.sin"));
    r = Process(dir / "c.txt", dir / "c.dat", {"rescale:1:1:5"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("all values of this image are equal"), std::string::npos) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(dir / "c.dat"));
    r = Process(dir / "c.txt", dir / "c.dat", {"rescale:1:1:0"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    for (const std::string op : {"rescale:1:2", "rescale:1:2:3:4", "rescale:1,5:2:3", "rescale:a:1:1"}) {
        r = Process(in, dir / "x.dat", {op});
        EXPECT_EQ(r.Status, 2) << op;
        EXPECT_FALSE(std::filesystem::exists(dir / "x.dat")) << op;
    }
}
