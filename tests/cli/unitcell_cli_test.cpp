// morvane-cli unitcell: the window's steps on one channel, as JSON.
#include <gtest/gtest.h>

#include "cli/cli_support.h"
#include <sys/wait.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "analysis/unitcell_support.h"
#include "core/Numbers.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "../formats/native_support.h"

using namespace native_test;
using json = nlohmann::json;
using namespace cli_test;

namespace {

class CliUnitCell : public ::testing::Test {
protected:
    CliUnitCell() { SetDecimalSeparator('.'); }

    TRun Run(const std::vector<std::string>& args) {
        std::vector<std::string> all{"unitcell"};
        all.insert(all.end(), args.begin(), args.end());
        return RunCli(all, dir / "stdout", dir / "stderr");
    }

    std::string Write(const std::string& name, const TQTVPicture& pic) {
        TImageDoc doc;
        doc.FileName = name;
        doc.Picture.SetSize(pic.Cols, pic.Rows);
        doc.Picture.Para = pic.Para;
        for (int r = 0; r < pic.Rows; ++r)
            for (int c = 0; c < pic.Cols; ++c) doc.Picture.Data[r][c] = pic.Data[r][c];
        doc.Picture.Render();
        TRecordingSink quiet;
        TScopedMessageSink scoped(&quiet);
        EXPECT_TRUE(WriteNative(doc, dir / name, TNativeKind::Sin));
        return dir / name;
    }

    // 8 x 8 sites of period 16 at columns and sample rows 8, 24, ...; 0.1 nm pixels
    std::string Lattice() { return Write("lattice.txt", unitcell_test::SquareLattice(128, 128, 16, 8.0)); }
    // the cell around the site at column 56, sample row 56 (display line 71)
    const std::string corners = "48,79,64,79,64,63";

    TScratchDir dir;
};

}  // namespace

TEST_F(CliUnitCell, FindsTheLatticeAndReportsItAsJson) {
    const std::string in = Lattice();
    const TRun r = Run({in, "--corners", corners});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const json j = json::parse(r.Out);
    EXPECT_EQ(j["corners"], json::parse("[[48,79],[64,79],[64,63]]"));
    EXPECT_EQ(j["marker_size"], 4);  // 2 * round(128 / 256 + 1), half to even
    EXPECT_DOUBLE_EQ(j["a"].get<double>(), 1.6);
    EXPECT_DOUBLE_EQ(j["b"].get<double>(), 1.6);
    EXPECT_DOUBLE_EQ(j["phi"].get<double>(), 90.0);
    EXPECT_EQ(j["unit"], "nm");
    const auto& corr = j["correlation"];
    EXPECT_LT(corr["min"].get<double>(), corr["max"].get<double>());
    EXPECT_DOUBLE_EQ(corr["threshold"].get<double>(),
                     corr["min"].get<double>() + (corr["max"].get<double>() - corr["min"].get<double>()) * 0.7);

    const auto& m = j["matches"];
    ASSERT_EQ(m.size(), 64u);
    // display orientation, in search order: columns from the left, bottom line up
    EXPECT_GT(m[0]["y"].get<double>(), m[1]["y"].get<double>());
    EXPECT_NEAR(std::remainder(m[0]["x"].get<double>() - 8, 16.0), 0.0, 1.0);
    EXPECT_NEAR(std::remainder(m[0]["y"].get<double>() - (127 - 8), 16.0), 0.0, 1.0);
    const int home = j["home"];
    ASSERT_GE(home, 0);
    const auto& h = m[static_cast<size_t>(home)];
    EXPECT_NEAR(h["x"].get<double>(), 56.0, 1.0);
    EXPECT_NEAR(h["y"].get<double>(), 71.0, 1.0);
    // +a lies to the right, +b above (a smaller display y), links mutual
    const int pa = h["neighbours"]["+a"], pb = h["neighbours"]["+b"];
    ASSERT_GE(pa, 0);
    ASSERT_GE(pb, 0);
    EXPECT_DOUBLE_EQ(m[static_cast<size_t>(pa)]["x"].get<double>() - h["x"].get<double>(), 16.0);
    EXPECT_DOUBLE_EQ(m[static_cast<size_t>(pb)]["y"].get<double>() - h["y"].get<double>(), -16.0);
    EXPECT_EQ(m[static_cast<size_t>(pa)]["neighbours"]["-a"], home);
    EXPECT_EQ(m[static_cast<size_t>(pb)]["neighbours"]["-b"], home);

    const auto& s = j["stats"];
    EXPECT_EQ(s["quantity"], "ax");
    EXPECT_EQ(s["axis"], "x");
    ASSERT_FALSE(s["points"].empty());
    for (const auto& p : s["points"]) {
        EXPECT_DOUBLE_EQ(p["y"].get<double>(), 1.6);  // ax dx
        const auto& pm = m[p["match"].get<size_t>()];
        EXPECT_NEAR(p["x"].get<double>(), pm["x"].get<double>() * 0.1 + 0.8, 1e-12);
    }
    ASSERT_TRUE(s["fit"].is_object());
    EXPECT_NEAR(s["fit"]["c0"].get<double>(), 1.6, 1e-9);
    EXPECT_NEAR(s["fit"]["c2"].get<double>(), 0.0, 1e-9);
    EXPECT_NEAR(s["distortion"]["c"].get<double>(), 0.0, 1e-9);

    const auto& cell = j["cell"];
    EXPECT_FALSE(cell["averaged"].get<bool>());
    EXPECT_EQ(cell["corners"], j["corners"]);
    const int half = cell["half"], size = cell["size"];
    EXPECT_EQ(size, 2 * half + 1);
    ASSERT_EQ(cell["values"].size(), static_cast<size_t>(size));
    EXPECT_EQ(cell["values"][0].size(), static_cast<size_t>(size));
}

TEST_F(CliUnitCell, QuantityAxisAndYComponents) {
    const std::string in = Lattice();
    // by: y components point up; the y axis is the default for it
    TRun r = Run({in, "--corners", corners, "--quantity", "by"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    json j = json::parse(r.Out);
    EXPECT_EQ(j["stats"]["axis"], "y");
    for (const auto& p : j["stats"]["points"]) {
        EXPECT_DOUBLE_EQ(p["y"].get<double>(), 1.6);
        const auto& pm = j["matches"][p["match"].get<size_t>()];
        EXPECT_NEAR(p["x"].get<double>(), (127 - pm["y"].get<double>()) * 0.1, 1e-9);
    }
    r = Run({in, "--corners", corners, "--quantity", "phi", "--axis", "x"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    j = json::parse(r.Out);
    for (const auto& p : j["stats"]["points"]) EXPECT_DOUBLE_EQ(p["y"].get<double>(), 90.0);
}

TEST_F(CliUnitCell, AveragedCellAndCellFile) {
    const std::string in = Lattice();
    const TRun r = Run({in, "--corners", corners, "--average", "--cell-out", dir / "cell.txt"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const json j = json::parse(r.Out);
    const auto& cell = j["cell"];
    EXPECT_TRUE(cell["averaged"].get<bool>());
    const auto& h = j["matches"][j["home"].get<size_t>()];
    EXPECT_EQ(cell["x"], std::lround(h["x"].get<double>()));
    // the new corners: the home match moved by half the marked diagonal
    EXPECT_EQ(cell["corners"][0][0], cell["x"].get<int>() + (48 - 64) / 2);
    // a perfect lattice averages to its own cell: values inside, 0 outside, mean 0
    double sum = 0;
    int inside = 0;
    for (const auto& line : cell["values"])
        for (const auto& v : line) {
            sum += v.get<double>();
            inside += v.get<double>() != 0.0;
        }
    EXPECT_GT(inside, 100);
    EXPECT_NEAR(sum, 0.0, 1e-3);
    // the cell file: S x S samples with the source's pixel size
    const int size = cell["size"];
    const std::string text = GetFile(dir / "cell.txt");
    EXPECT_NE(text.find("xPixel : " + std::to_string(size)), std::string::npos) << text;
    EXPECT_NE(text.find("XScanRange : " + FormatShortest(size * 0.1)), std::string::npos) << text;
}

TEST_F(CliUnitCell, SliderEnds) {
    const std::string in = Lattice();
    TRun r = Run({in, "--corners", corners, "--threshold", "100"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const json j = json::parse(r.Out);
    EXPECT_TRUE(j["matches"].empty());
    EXPECT_EQ(j["home"], -1);
    EXPECT_TRUE(j["stats"]["points"].empty());
    EXPECT_TRUE(j["stats"]["fit"].is_null());
    EXPECT_TRUE(j["stats"]["distortion"].is_null());
    r = Run({in, "--corners", corners, "--threshold", "0"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(r.Out.empty());
    EXPECT_EQ(r.Err, "Too many datapoints above border!\nPlease use Slider to raise border!\n");
}

TEST_F(CliUnitCell, RefusalsAndUsageErrors) {
    const std::string in = Lattice();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;  // part of stderr
    };
    const Case cases[] = {
        {{in, "--corners", "0,0,1,0,1,1"}, 1, "Please check unitcell !"},     // too close
        {{in, "--corners", "100,60,128,60,128,50"}, 1, "Please check unitcell !"},  // x = Cols
        {{in, "--corners", "10,60,60,60,60,50"}, 1, "Please check unitcell !"},  // beyond Cols div 4
        {{in, "--threshold", "101"}, 2, "--threshold"},
        {{in, "--threshold", "7.5"}, 2, "--threshold"},
        {{in, "--corners", "1,2,3"}, 2, "--corners"},
        {{in, "--corners", "1,2,3,4,5,x"}, 2, "--corners"},
        {{in, "--quantity", "c"}, 2, "--quantity"},
        {{in, "--axis", "z"}, 2, "--axis"},
        {{in, "--cell-out", dir / "cell.xyz"}, 2, ".xyz"},
        {{dir / "missing.txt"}, 1, ""},
    };
    for (const Case& c : cases) {
        const TRun r = Run(c.args);
        EXPECT_EQ(r.Status, c.status) << c.args.back() << r.Err;
        EXPECT_TRUE(r.Out.empty()) << c.args.back();
        EXPECT_NE(r.Err.find(c.err), std::string::npos) << r.Err;
    }
    // an image beyond the work grid is refused with a message naming 2048
    const std::string wide = Write("wide.txt", unitcell_test::Constant(2049, 8, 1.0f));
    const TRun r = Run({wide});
    EXPECT_EQ(r.Status, 1);
    EXPECT_TRUE(r.Out.empty());
    EXPECT_NE(r.Err.find("2048"), std::string::npos) << r.Err;
}
