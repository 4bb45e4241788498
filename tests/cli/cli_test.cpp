// morvane-cli as a user runs it: exit status, stdout, stderr and the files written.
#include <gtest/gtest.h>

#include "cli/cli_support.h"
#include <sys/wait.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "core/Numbers.h"
#include "formats/Export.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "processing/FFTView.h"
#include "processing/Kernels.h"
#include "processing/Operations.h"
#include "../formats/native_support.h"

using namespace native_test;
using json = nlohmann::ordered_json;
using namespace cli_test;

namespace {

class Cli : public ::testing::Test {
protected:
    Cli() { SetDecimalSeparator('.'); }

    TRun Run(const std::vector<std::string>& args) { return RunCli(args, dir / "stdout", dir / "stderr"); }

    // The demo scan in dir/demo.
    std::string Demo() {
        const TRun r = Run({"demo", dir / "demo"});
        EXPECT_EQ(r.Status, 0) << r.Err;
        return dir / "demo/demo.txt";
    }

    // Every channel of a native file, loaded and rendered by the model itself.
    std::vector<std::unique_ptr<TImageDoc>> LoadHere(const std::string& path) {
        TRecordingSink quiet;
        TScopedMessageSink scoped(&quiet);
        TLoadFiles loader(path);
        EXPECT_TRUE(loader.ReadParamFile());
        TKeepTarget t;
        loader.LoadChecked(std::vector<bool>(static_cast<size_t>(loader.Count()) + 1, true), t);
        std::reverse(t.Docs.begin(), t.Docs.end());  // file order
        return std::move(t.Docs);
    }

    TScratchDir dir;
};

std::vector<std::string> Keys(const json& j) {
    std::vector<std::string> out;
    for (auto it = j.begin(); it != j.end(); ++it) out.push_back(it.key());
    return out;
}

}  // namespace

TEST_F(Cli, InfoOfTheDemoScan) {
    const std::string demo = Demo();
    const TRun r = Run({"info", demo});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    const json j = json::parse(r.Out);
    EXPECT_EQ(Keys(j), (std::vector<std::string>{"file", "format", "version", "channels", "messages"}));
    EXPECT_EQ(j["file"], "demo.txt");
    EXPECT_EQ(j["format"], "native");
    EXPECT_EQ(j["version"], "1.12");
    EXPECT_EQ(j["messages"], json::array());
    ASSERT_EQ(j["channels"].size(), 2u);
    const json& topo = j["channels"][0];
    EXPECT_EQ(Keys(topo), (std::vector<std::string>{"index", "caption", "data_file", "cols", "rows", "x_unit",
                                                    "y_unit", "z_unit", "x_range", "y_range", "scale", "offset",
                                                    "min", "max"}));
    EXPECT_EQ(topo["index"], 1);
    EXPECT_EQ(topo["caption"], "Topography Fwd");
    EXPECT_EQ(topo["data_file"], "demo_0.int");
    EXPECT_EQ(topo["cols"], 512);
    EXPECT_EQ(topo["rows"], 512);
    EXPECT_EQ(topo["x_unit"], "nm");
    EXPECT_EQ(topo["z_unit"], "nm");
    EXPECT_EQ(topo["x_range"], 200.0);
    const json& cur = j["channels"][1];
    EXPECT_EQ(cur["index"], 2);
    EXPECT_EQ(cur["caption"], "Current Fwd");
    EXPECT_EQ(cur["data_file"], "demo_1.sin");
    EXPECT_EQ(cur["z_unit"], "nA");
    EXPECT_EQ(cur["scale"], 1.0);

    // Numbers at full precision: exactly what the model loads and renders.
    const auto docs = LoadHere(demo);
    ASSERT_EQ(docs.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const TQTVPicture& p = docs[i]->Picture;
        const json& c = j["channels"][i];
        EXPECT_EQ(c["min"].get<double>(), static_cast<double>(p.Min));
        EXPECT_EQ(c["max"].get<double>(), static_cast<double>(p.Max));
        EXPECT_EQ(c["scale"].get<double>(), p.Para.Scale);
        EXPECT_LT(p.Min, p.Max);
    }
}

TEST_F(Cli, DemoIsTheSameEveryTimeAndReplacesAnEarlierOne) {
    const std::string demo = Demo();
    const std::string topo = GetFile(dir / "demo/demo_0.int"), text = GetFile(demo);
    PutFile(dir / "demo/demo_1.sin", "spoilt");
    Demo();
    EXPECT_EQ(GetFile(dir / "demo/demo_0.int"), topo);
    EXPECT_EQ(GetFile(demo), text);
    EXPECT_EQ(GetFile(dir / "demo/demo_1.sin").size(), 512u * 512u * 4u);
    EXPECT_NE(text.find("\r\nVersion : 1.12\r\n"), std::string::npos);
}

TEST_F(Cli, InfoConvertsLatin1ToUtf8AndListsMessages) {
    PutFile(dir / "a.int", IntBytes({1, 2, 3, 4}));
    PutFile(dir / "s.txt", CurrentHeader(2, 2) + Block("a.int", {"Caption : H\xF6he", "PhysUnit : \xC5"}) +
                                Block("gone_\xC3\xBC.int") + Block("b.int", {"Scale : x"}));
    PutFile(dir / "b.int", IntBytes({1, 2, 3, 4}));
    const TRun r = Run({"info", dir / "s.txt"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const json j = json::parse(r.Out);
    ASSERT_EQ(j["channels"].size(), 2u);
    const json& a = j["channels"][0];
    EXPECT_EQ(a["index"], 1);
    EXPECT_EQ(a["caption"], "H\xC3\xB6he");
    EXPECT_EQ(a["y_unit"], "\xC2\xB5m");
    EXPECT_EQ(a["z_unit"], "\xC3\x85");
    EXPECT_EQ(a["y_range"], 1000.0);
    EXPECT_EQ(a["min"], 1.0);
    EXPECT_EQ(a["max"], 4.0);
    EXPECT_EQ(j["channels"][1]["index"], 3);
    EXPECT_EQ(j["channels"][1]["caption"], "");
    // The last channel is read first, as in the application; a file name keeps the file
    // system's spelling (UTF-8) beside the Latin-1 text.
    EXPECT_EQ(j["messages"], (json{"\"x\" is no valid float!\n 1 is assumed!", "File gone_\xC3\xBC.int not found!"}));
    EXPECT_EQ(r.Err, "\"x\" is no valid float!\n 1 is assumed!\nFile gone_\xC3\xBC.int not found!\n");
}

TEST_F(Cli, RefusedInputExitsWithOne) {
    PutFile(dir / "v.txt", CurrentHeader(2, 2, "2.0") + Block("a.int"));
    TRun r = Run({"info", dir / "v.txt"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "This File-Version is not supported!\n");
    EXPECT_EQ(json::parse(r.Out)["channels"], json::array());

    r = Run({"info", dir / "none.txt"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "File not found!\n");

    PutFile(dir / "p.txt", CrLf({"Version : 1.12", "XScanRange : 1", "YScanRange : 1", "XPhysUnit : nm",
                                 "YPhysUnit : nm", "xPixel : 4.5", "yPixel : 4"}));
    r = Run({"convert", dir / "p.txt", dir / "o.dat"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "' 4.5' is not a valid integer value\n");
    EXPECT_FALSE(FileExists(dir / "o.dat"));

    PutFile(dir / "big.txt", CurrentHeader(2054, 2) + Block("a.int"));
    r = Run({"info", dir / "big.txt"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "Pixel in X out of range (1..2053)!\nLoad aborted\n");

    r = Run({"info", dir / "x.xyz"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "Unknown file type\n");
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
    const std::string demo = Demo();
    for (const auto& args : std::vector<std::vector<std::string>>{
             {},
             {"frobnicate"},
             {"info"},
             {"convert", demo},
             {"convert", demo, dir / "o.dat", "--channel", "0"},
             {"convert", demo, dir / "o.dat", "--channel", "x"},
             {"convert", demo, dir / "o.txt", "--data", "float"},
             {"convert", demo, dir / "o.xyz"},
             {"process", demo, dir / "o.dat"},
             {"process", demo, dir / "o.dat", "--op", "invert", "--op", "sharpen"}}) {
        const TRun r = Run(args);
        std::string all;
        for (const auto& a : args) all += a + " ";
        EXPECT_EQ(r.Status, 2) << all;
        EXPECT_NE(r.Err, "") << all;
    }
    const TRun r = Run({"process", demo, dir / "o.dat", "--op", "sharpen"});
    EXPECT_NE(r.Err.find("sharpen"), std::string::npos);
    EXPECT_NE(r.Err.find("invert"), std::string::npos);  // the known operations are listed
    EXPECT_FALSE(FileExists(dir / "o.dat"));
}

TEST_F(Cli, ConvertToEachNativeKind) {
    const std::string demo = Demo();
    const auto src = LoadHere(demo);
    ASSERT_EQ(src.size(), 2u);

    TRun r = Run({"convert", demo, dir / "t.txt"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(FileExists(dir / "t.int"));
    auto back = LoadHere(dir / "t.txt");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0]->CaptionTag, "Topography Fwd");
    const TQTVPicture& a = src[0]->Picture;
    const TQTVPicture& b = back[0]->Picture;
    ASSERT_EQ(b.Cols, 512);
    const double halfStep = (a.Max - a.Min) / 2e6 * 1.001;
    for (int rr = 0; rr < 512; rr += 37)
        for (int c = 0; c < 512; c += 41) EXPECT_NEAR(b.Data[rr][c], a.Data[rr][c], halfStep + 1e-6);

    r = Run({"convert", demo, dir / "c.txt", "--channel", "2", "--data", "sin"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    back = LoadHere(dir / "c.txt");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0]->CaptionTag, "Current Fwd");
    EXPECT_EQ(back[0]->Picture.Para.PhysUnit, "nA");
    const TQTVPicture& cur = src[1]->Picture;
    EXPECT_EQ(0, std::memcmp(back[0]->Picture.Data.Block(), cur.Data.Block(), 512 * 512 * 4));

    // The native writer never replaces a file.
    r = Run({"convert", demo, dir / "c.txt", "--data", "sin"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, dir / "c.txt" + " already exists! Abort!\n");
}

TEST_F(Cli, ConvertToAsciiTable) {
    PutFile(dir / "a.int", IntBytes({1, 2, 3, 4, 5, 6}));
    PutFile(dir / "b.sin", FloatBytes({0.5f, -0.25f, 3, 4, 5, 6}));
    PutFile(dir / "s.txt", CurrentHeader(3, 2) + Block("a.int") + Block("b.sin"));
    TRun r = Run({"convert", dir / "s.txt", dir / "o.dat", "--channel", "2"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(GetFile(dir / "o.dat"), "0.5\t-0.25\t3\r\n4\t5\t6\r\n");
    r = Run({"convert", dir / "s.txt", dir / "o.dat"});  // replaces the earlier export
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(GetFile(dir / "o.dat"), "4\t5\t6\r\n1\t2\t3\r\n");

    r = Run({"convert", dir / "s.txt", dir / "o.dat", "--channel", "3"});
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(r.Err, "morvane-cli: --channel 3: " + dir / "s.txt" + " has 2 channels\n");
}

TEST_F(Cli, UsageMessagesSayWhatIsWrong) {
    const std::string demo = Demo();
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"convert", demo, dir / "o.dat", "--channel", "0"}, "--channel must be a channel number from 1"},
        {{"convert", demo, dir / "o.dat", "--channel", "abc"}, "--channel must be a channel number from 1"},
        {{"process", demo, dir / "o.dat", "--op", "invert", "--channel", "-2"},
         "--channel must be a channel number from 1"},
        {{"convert", demo, dir / "g.TXT"}, "output \"g.TXT\" could not be opened again: write native files as "
                                           ".txt (known: .txt, .dat, .stl, .bmp, .jpg, .gwy, .gsf; .txt, .bmp, .gwy and .gsf in lower case)"},
        {{"convert", demo, dir / "g.Bmp"}, "output \"g.Bmp\" could not be opened again: write bitmaps as .bmp "
                                           "(known: .txt, .dat, .stl, .bmp, .jpg, .gwy, .gsf; .txt, .bmp, .gwy and .gsf in lower case)"},
    };
    for (const auto& c : cases) {
        const TRun r = Run(c.args);
        EXPECT_EQ(r.Status, 2) << c.err;
        EXPECT_EQ(r.Err, "morvane-cli: " + c.err + "\n");
    }
    // an unknown command is named, with the known ones
    const TRun bogus = Run({"bogus", demo});
    EXPECT_EQ(bogus.Status, 2);
    EXPECT_EQ(bogus.Err.rfind("morvane-cli: unknown command \"bogus\" (commands: info, convert, process, demo", 0), 0u)
        << bogus.Err;
    EXPECT_NE(bogus.Err.find("; --help for more)\n"), std::string::npos);
    EXPECT_FALSE(FileExists(dir / "g.TXT"));
    EXPECT_FALSE(FileExists(dir / "g.int"));
    EXPECT_FALSE(FileExists(dir / "g.Bmp"));
    // the lower-case names are written and read back
    EXPECT_EQ(Run({"convert", demo, dir / "g.txt", "--channel", "2"}).Status, 0);
    EXPECT_EQ(Run({"info", dir / "g.txt"}).Status, 0);
}

TEST_F(Cli, InstrumentFilesConvertToNativeFilesThatOpenAgain) {
    const std::string corpus = std::string(MORVANE_TEST_DATA) + "/broken/";
    int n = 0;
    for (const char* in : {"burleigh/ok.img", "topometrix/ok.tfp", "bitmap/ok24.bmp", "omicron/ok.par"}) {
        const std::string out = dir / ("n" + std::to_string(++n) + ".txt");
        TRun r = Run({"convert", corpus + in, out});
        ASSERT_EQ(r.Status, 0) << in << r.Err;
        const TRun a = Run({"info", corpus + in}), b = Run({"info", out});
        ASSERT_EQ(b.Status, 0) << in << b.Err;
        const json ja = json::parse(a.Out), jb = json::parse(b.Out);
        EXPECT_EQ(jb["messages"], json::array()) << in;
        const json &ca = ja["channels"][0], &cb = jb["channels"][0];
        for (const char* key : {"cols", "rows", "x_unit", "y_unit", "z_unit", "x_range", "y_range"})
            EXPECT_EQ(cb[key], ca[key]) << in << " " << key;
    }
}

TEST_F(Cli, OmicronQuestionIsAnsweredByTheOptionNotPrinted) {
    const std::string par = std::string(MORVANE_TEST_DATA) + "/broken/omicron/ok.par";
    for (const char* answer : {"yes", "no"}) {
        const TRun r = Run({"info", par, "--spectroscopy", answer});
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(r.Err, "");
        const json j = json::parse(r.Out);
        EXPECT_EQ(j["messages"], json::array());
        EXPECT_EQ(j["channels"].size(), answer[0] == 'y' ? 5u : 2u);
    }
}

TEST_F(Cli, FileNamesAreShownAsTheFileSystemSpellsThem) {
    const std::string demo = Demo();
    // "Messung_ü" in UTF-8, as this platform names files
    const std::string name = "Messung_\xC3\xBC";
    ASSERT_EQ(Run({"convert", demo, dir / (name + ".txt")}).Status, 0);
    const TRun r = Run({"info", dir / (name + ".txt")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const json j = json::parse(r.Out);
    EXPECT_EQ(j["file"], name + ".txt");
    EXPECT_EQ(j["channels"][0]["data_file"], name + ".int");
    // a name that is no UTF-8 still gives valid JSON: its bytes read as Latin-1
    const std::string latin = "Probe_\xFC";
    ASSERT_EQ(Run({"convert", demo, dir / (latin + ".txt")}).Status, 0);
    const json k = json::parse(Run({"info", dir / (latin + ".txt")}).Out);
    EXPECT_EQ(k["file"], "Probe_\xC3\xBC.txt");
}

TEST_F(Cli, ProcessInvertsInOrder) {
    PutFile(dir / "b.sin", FloatBytes({0.5f, -0.25f, 3, 4}));
    PutFile(dir / "s.txt", CurrentHeader(2, 2) + Block("b.sin"));
    TRun r = Run({"process", dir / "s.txt", dir / "o.dat", "--op", "invert"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(GetFile(dir / "o.dat"), "-0.5\t0.25\r\n-3\t-4\r\n");
    r = Run({"process", dir / "s.txt", dir / "o2.dat", "--op", "invert", "--op", "invert"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(GetFile(dir / "o2.dat"), "0.5\t-0.25\r\n3\t4\r\n");
    r = Run({"process", dir / "s.txt", dir / "o.txt", "--op", "invert"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    auto back = LoadHere(dir / "o.txt");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_NEAR(back[0]->Picture.Data[1][1], -4.0, 1e-5);
    EXPECT_NEAR(back[0]->Picture.Max, 0.25, 4.25 / 2e6 * 1.01);
}

TEST_F(Cli, ProcessLevelsAndClips) {
    // a plane 3 + 2c + 5r: "2Dim" first order keeps the offset, "Lines" removes it all
    std::vector<float> plane;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) plane.push_back(static_cast<float>(3 + 2 * c + 5 * r));
    PutFile(dir / "p.sin", FloatBytes(plane));
    PutFile(dir / "s.txt", CurrentHeader(4, 3) + Block("p.sin"));
    TRun r = Run({"process", dir / "s.txt", dir / "o.dat", "--op", "level:2Dim:1"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(GetFile(dir / "o.dat"), "3\t3\t3\t3\r\n3\t3\t3\t3\r\n3\t3\t3\t3\r\n");
    r = Run({"process", dir / "s.txt", dir / "o.dat", "--op", "level:Lines:1"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(GetFile(dir / "o.dat"), "0\t0\t0\t0\r\n0\t0\t0\t0\r\n0\t0\t0\t0\r\n");
    r = Run({"process", dir / "s.txt", dir / "o.dat", "--op", "clip:5,5:15"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(GetFile(dir / "o.dat"), "5.5\t5.5\t7\t9\r\n8\t10\t12\t14\r\n13\t15\t15\t15\r\n");

    for (const std::string op : {"level", "level:Points:1", "level:2Dim:3", "level:Lines:x",
                                 "level:2Dim", "clip:1", "clip:a:2", "clip:3:1", "invert:1"}) {
        r = Run({"process", dir / "s.txt", dir / "x.dat", "--op", op});
        EXPECT_EQ(r.Status, 2) << op;
        EXPECT_NE(r.Err, "") << op;
        EXPECT_FALSE(FileExists(dir / "x.dat")) << op;
    }
}

TEST_F(Cli, ProcessFiltersAndFourierAsTheModelDoes) {
    // a 9 x 8 channel of floats; every operation must write what "Do" and "Take Over"
    // give on the loaded image
    std::vector<float> v;
    for (int k = 0; k < 72; ++k) v.push_back(static_cast<float>((k * 37) % 23) - 0.5f * (k % 5));
    v[30] = 40.0f;  // a spike for the bad-point removal
    PutFile(dir / "b.sin", FloatBytes(v));
    PutFile(dir / "s.txt", CurrentHeader(9, 8) + Block("b.sin"));
    const auto src = LoadHere(dir / "s.txt");
    ASSERT_EQ(src.size(), 1u);

    struct TCase {
        std::vector<std::string> Ops;
        std::function<void(TQTVPicture&)> Model;
    };
    auto viaWorking = [](auto f) {
        return [f](TQTVPicture& p) {
            TQTVPicture w;
            w.SetSize(p.Cols, p.Rows);
            std::memcpy(w.Data.Block(), std::as_const(p).Data.Block(), sizeof(float) * p.Cols * p.Rows);
            f(p, w);
            std::memcpy(p.Data.Block(), std::as_const(w).Data.Block(), sizeof(float) * p.Cols * p.Rows);
        };
    };
    const std::vector<TCase> cases = {
        {{"filter:Laplace 2"}, [](TQTVPicture& p) { ApplyKernel(p, 5); }},
        {{"filter:LowPass", "filter:LowPass"}, [](TQTVPicture& p) { ApplyKernel(p, 0); ApplyKernel(p, 0); }},
        {{"noise:5"}, [](TQTVPicture& p) { RemoveBadPoints(p, BadPointThreshold(p, 5.0)); }},
        {{"noise:2,5"}, [](TQTVPicture& p) { RemoveBadPoints(p, BadPointThreshold(p, 2.5)); }},
        {{"median"}, viaWorking([](TQTVPicture& s, TQTVPicture& w) { MedianFilter(s, w); })},
        {{"mean"}, viaWorking([](TQTVPicture& s, TQTVPicture& w) { MeanFilter(s, w); })},
        {{"fft"}, [](TQTVPicture& p) { FFTView(p, false, false); }},
        {{"fft:log:suppzero"}, [](TQTVPicture& p) { FFTView(p, true, true); }},
        // "Take Over" copies samples only: a second FFT starts from plain layout again
        {{"fft", "fft"}, [](TQTVPicture& p) { FFTView(p, false, false); p.Transformed = false; FFTView(p, false, false); }},
    };
    int n = 0;
    for (const TCase& c : cases) {
        std::vector<std::string> args = {"process", dir / "s.txt", dir / ("o" + std::to_string(n) + ".dat")};
        std::string all;
        for (const auto& op : c.Ops) {
            args.push_back("--op");
            args.push_back(op);
            all += op + " ";
        }
        const TRun r = Run(args);
        ASSERT_EQ(r.Status, 0) << all << r.Err;
        TQTVPicture expect;
        expect.SetSize(9, 8);
        std::memcpy(expect.Data.Block(), std::as_const(src[0]->Picture).Data.Block(), 72 * sizeof(float));
        expect.Render();
        c.Model(expect);
        EXPECT_EQ(GetFile(dir / ("o" + std::to_string(n) + ".dat")), BuildAsciiTable(expect)) << all;
        ++n;
    }
}

TEST_F(Cli, ProcessRefusesUnreadableFilterParameters) {
    PutFile(dir / "b.sin", FloatBytes({1, 2, 3, 4}));
    PutFile(dir / "s.txt", CurrentHeader(2, 2) + Block("b.sin"));
    for (const std::string op : {"filter", "filter:", "filter:Laplace", "filter:laplace 2", "noise", "noise:x",
                                 "median:3", "mean:1", "fft:", "fft:lin", "fft:suppzero:log", "fft:log:log"}) {
        const TRun r = Run({"process", dir / "s.txt", dir / "o.dat", "--op", op});
        EXPECT_EQ(r.Status, 2) << op;
        EXPECT_NE(r.Err, "") << op;
        EXPECT_FALSE(FileExists(dir / "o.dat")) << op;
    }
    const TRun r = Run({"process", dir / "s.txt", dir / "o.dat", "--op", "filter:Sharpen"});
    EXPECT_NE(r.Err.find("Edges bottom"), std::string::npos);  // the kernel names are listed
}

TEST_F(Cli, OpsListsTheOperationTable) {
    const TRun j = Run({"ops", "--json"});
    ASSERT_EQ(j.Status, 0) << j.Err;
    const json ops = json::parse(j.Out).at("operations");
    ASSERT_EQ(ops.size(), OperationTable().size());
    const TRun text = Run({"ops"});
    ASSERT_EQ(text.Status, 0) << text.Err;
    for (size_t i = 0; i < ops.size(); ++i) {
        const TOperationDef& def = OperationTable()[i];
        const json& op = ops[i];
        EXPECT_EQ(Keys(op), (std::vector<std::string>{"name", "syntax", "parameters", "description"}));
        EXPECT_EQ(op["name"], def.Name);
        EXPECT_EQ(op["syntax"], def.Syntax);
        EXPECT_EQ(op["description"], def.Description);
        ASSERT_EQ(op["parameters"].size(), def.Params.size());
        for (size_t k = 0; k < def.Params.size(); ++k) {
            const json& p = op["parameters"][k];
            EXPECT_EQ(p["name"], def.Params[k].Name);
            EXPECT_EQ(p["required"], def.Params[k].Default == nullptr);
            if (p["type"] == "bool") EXPECT_TRUE(p["default"].is_boolean()) << def.Name;
        }
        EXPECT_NE(text.Out.find(std::string(def.Syntax) + "\n    " + def.Description), std::string::npos) << def.Name;
    }
    // the README's table names every operation
    std::ifstream f(std::string(MORVANE_TEST_DATA) + "/../../README.md");
    const std::string readme((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(readme.empty());
    for (const TOperationDef& def : OperationTable()) {
        const std::string tick = "`" + std::string(def.Name);
        EXPECT_TRUE(readme.find(tick + "`") != std::string::npos || readme.find(tick + ":") != std::string::npos ||
                    readme.find(tick + "[") != std::string::npos)
            << def.Name;
    }
}
