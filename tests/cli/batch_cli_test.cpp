// morvane-cli process with a stored history (--ops-from), over many files
// (--out-dir, --ext), and the exported processing script.
#include <gtest/gtest.h>

#include "cli/cli_support.h"
#include <sys/wait.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "core/Numbers.h"
#include "formats/LoadFiles.h"
#include "core/Text.h"
#include "processing/History.h"
#include "../formats/native_support.h"

using namespace native_test;

using namespace cli_test;

namespace {

class Batch : public ::testing::Test {
protected:
    Batch() { SetDecimalSeparator('.'); }

    TRun Shell(const std::string& cmd) { return RunShell(cmd, dir / "stdout", dir / "stderr"); }
    TRun Run(const std::vector<std::string>& args) { return RunCli(args, dir / "stdout", dir / "stderr"); }
    std::string Demo()
    {
        EXPECT_EQ(0, Run({"demo", dir / "demo"}).Status);
        return dir / "demo/demo.txt";
    }
    std::unique_ptr<TImageDoc> Load(const std::string& path, int channel = 1)
    {
        TRecordingSink quiet;
        TScopedMessageSink scoped(&quiet);
        TLoadFiles loader(path);
        EXPECT_TRUE(loader.ReadParamFile());
        TKeepTarget t;
        loader.LoadChecked(std::vector<bool>(static_cast<size_t>(loader.Count()) + 1, true), t);
        std::reverse(t.Docs.begin(), t.Docs.end());
        if (static_cast<int>(t.Docs.size()) < channel) return nullptr;
        return std::move(t.Docs[static_cast<size_t>(channel - 1)]);
    }
    static bool SameSamples(const TImageDoc& a, const TImageDoc& b)
    {
        return a.Picture.Cols == b.Picture.Cols && a.Picture.Rows == b.Picture.Rows &&
               std::memcmp(a.Picture.Data.Block(), b.Picture.Data.Block(),
                           static_cast<size_t>(a.Picture.Cols) * static_cast<size_t>(a.Picture.Rows) * 4) == 0;
    }

    TScratchDir dir;
    const std::vector<std::string> pipeline = {"level:Lines:1", "filter:LowPass", "zoom:4:6:40:42",
                                               "noise:2:-3:5.5", "rescale:60:60:7:\xC2\xB5m:\xC2\xB5m:nm"};
};

}  // namespace

TEST_F(Batch, TheSavedHistoryReplaysOnTheOriginalBitForBit)
{
    const std::string demo = Demo();
    std::vector<std::string> args = {"process", demo, dir / "a.txt", "--data", "sin"};
    for (const auto& op : pipeline) args.insert(args.end(), {"--op", op});
    const TRun first = Run(args);
    ASSERT_EQ(0, first.Status) << first.Err;
    auto a = Load(dir / "a.txt");
    ASSERT_TRUE(a);
    ASSERT_EQ(pipeline.size(), a->History.size());
    EXPECT_EQ("rescale:60:60:7:\xB5m:\xB5m:nm", a->History.back());  // held as Latin-1

    const TRun replay = Run({"process", demo, dir / "b.txt", "--ops-from", dir / "a.txt", "--data", "sin"});
    ASSERT_EQ(0, replay.Status) << replay.Err;
    auto b = Load(dir / "b.txt");
    ASSERT_TRUE(b);
    EXPECT_TRUE(SameSamples(*a, *b));
    EXPECT_EQ(a->History, b->History);
    EXPECT_EQ(a->Picture.Para.XPhysUnit, b->Picture.Para.XPhysUnit);

    // a plain list with comments, and --op after it
    PutFile(dir / "ops.txt", "# the same steps\nlevel:Lines:1\n\nfilter:LowPass\n");
    const TRun list = Run({"process", demo, dir / "c.txt", "--ops-from", dir / "ops.txt", "--op", "invert"});
    ASSERT_EQ(0, list.Status) << list.Err;
    EXPECT_EQ((std::vector<std::string>{"level:Lines:1", "filter:LowPass", "invert"}), Load(dir / "c.txt")->History);
}

TEST_F(Batch, TheExportedScriptReproducesTheImage)
{
    const std::string demo = Demo();
    auto original = Load(demo, 2);
    ASSERT_TRUE(original);
    TImageDoc doc;
    doc.Title = "it's the demo";
    doc.History = {"level:2Dim:1", "filter:HighPass 1", "rescale:50:50:3:\xB5m:\xB5m:pA"};
    PutFile(dir / "replay.sh", ProcessingScript(doc));
    const TRun r = Shell("MORVANE_CLI=" + Quote(MORVANE_CLI) + " sh " + Quote(dir / "replay.sh") + " " + Quote(demo) +
                         " " + Quote(dir / "out.txt") + " --channel 2 --data sin");
    ASSERT_EQ(0, r.Status) << r.Err;
    auto viaScript = Load(dir / "out.txt");
    ASSERT_TRUE(viaScript);
    EXPECT_EQ(doc.History, viaScript->History);
    std::vector<std::string> args = {"process", demo, dir / "direct.txt", "--channel", "2", "--data", "sin"};
    for (const auto& op : doc.History) args.insert(args.end(), {"--op", Latin1ToUtf8(op)});
    ASSERT_EQ(0, Run(args).Status);
    EXPECT_TRUE(SameSamples(*viaScript, *Load(dir / "direct.txt")));
    EXPECT_EQ(2, Shell("sh " + Quote(dir / "replay.sh") + " only-one").Status);
}

TEST_F(Batch, OnePipelineOverManyFiles)
{
    const std::string demo = Demo();
    std::vector<std::string> inputs;
    for (const char* name : {"s1", "s2", "s3"}) {
        const std::string sub = dir / name;
        ASSERT_EQ(0, Run({"demo", sub}).Status);
        std::filesystem::rename(sub + "/demo.txt", sub + "/" + name + ".txt");
        inputs.push_back(sub + "/" + name + ".txt");
    }
    std::filesystem::create_directory(dir / "out");
    PutFile(dir / "out/s2.txt", "already here");  // never overwritten: s2 fails, the others go on
    inputs.push_back(dir / "missing.txt");         // cannot be read: fails too
    std::vector<std::string> args = {"process"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    args.insert(args.end(), {"--out-dir", dir / "out", "--op", "level:Lines:1", "--op", "median", "--op", "invert"});
    const TRun r = Run(args);
    EXPECT_EQ(1, r.Status);
    EXPECT_EQ(4, std::count(r.Out.begin(), r.Out.end(), '\n') - 1) << r.Out;  // one line a file and a summary
    EXPECT_NE(std::string::npos, r.Out.find("[1/4]"));
    EXPECT_NE(std::string::npos, r.Out.find("s2.txt FAILED"));
    EXPECT_NE(std::string::npos, r.Err.find("already exists"));
    EXPECT_NE(std::string::npos, r.Err.find("2 of 4 files failed"));
    EXPECT_EQ("already here", GetFile(dir / "out/s2.txt"));
    auto s1 = Load(dir / "out/s1.txt");
    auto s3 = Load(dir / "out/s3.txt");
    ASSERT_TRUE(s1 && s3);
    EXPECT_TRUE(SameSamples(*s1, *s3));
    EXPECT_EQ((std::vector<std::string>{"level:Lines:1", "median", "invert"}), s1->History);

    // another writer by --ext; a clean run exits 0
    std::filesystem::create_directory(dir / "dat");
    const TRun dat = Run({"process", inputs[0], inputs[2], "--out-dir", dir / "dat", "--ext", ".dat", "--op", "invert"});
    EXPECT_EQ(0, dat.Status) << dat.Err;
    EXPECT_TRUE(FileExists(dir / "dat/s1.dat"));
    EXPECT_TRUE(FileExists(dir / "dat/s3.dat"));
}

// -j 2 writes the same files with the same messages and exit status as -j 1; of two
// inputs with the same output name the second still finds the first one's output.
TEST_F(Batch, FilesAtOnceWriteWhatOneAtATimeWrites)
{
    std::vector<std::string> inputs;
    for (const char* name : {"s1", "s2", "s3", "s4", "s5"}) {
        const std::string sub = dir / name;
        ASSERT_EQ(0, Run({"demo", sub}).Status);
        std::filesystem::rename(sub + "/demo.txt", sub + "/" + name + ".txt");
        inputs.push_back(sub + "/" + name + ".txt");
    }
    std::filesystem::create_directory(dir / "s6");
    std::filesystem::copy_file(inputs[0], dir / "s6/s1.txt");
    inputs.push_back(dir / "s6/s1.txt");  // the same output as s1
    inputs.push_back(dir / "missing.txt");
    auto lines = [](const std::string& text, const std::string& outDir) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);) {
            if (l.find(" files written in ") != std::string::npos) continue;  // the time
            for (size_t at; (at = l.find(outDir)) != std::string::npos;) l.replace(at, outDir.size(), "OUT");
            if (l.rfind('[', 0) == 0) l = l.substr(l.find(']') + 1);  // the count follows the finishing order
            out.push_back(l);
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    TRun runs[2];
    for (int k = 0; k < 2; ++k) {
        const std::string out = dir / (k == 0 ? "one" : "two");
        std::filesystem::create_directory(out);
        std::vector<std::string> args = {"process"};
        args.insert(args.end(), inputs.begin(), inputs.end());
        args.insert(args.end(), {"--out-dir", out, "-j", k == 0 ? "1" : "2", "--op", "level:Lines:1", "--op",
                                 "median", "--op", "fft:log"});
        runs[k] = Run(args);
    }
    EXPECT_EQ(1, runs[0].Status);
    EXPECT_EQ(runs[0].Status, runs[1].Status);
    EXPECT_EQ(lines(runs[0].Out, dir / "one"), lines(runs[1].Out, dir / "two"));
    EXPECT_EQ(lines(runs[0].Err, dir / "one"), lines(runs[1].Err, dir / "two"));
    EXPECT_NE(std::string::npos, runs[1].Err.find("already exists"));
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir / "one")) {
        ++files;
        EXPECT_EQ(GetFile(e.path()), GetFile(dir / "two" / e.path().filename())) << e.path();
    }
    EXPECT_EQ(10u, files);  // five parameter files with their data files
}

TEST_F(Batch, UsageErrorsStopBeforeAnyFile)
{
    const std::string demo = Demo();
    std::filesystem::create_directory(dir / "out");
    PutFile(dir / "bad.txt", "invert\nlevel:Sideways:1\n");
    struct Case {
        std::vector<std::string> Args;
        const char* Says;
    };
    const std::vector<Case> cases = {
        {{"process", demo, dir / "x.txt"}, "--op or --ops-from"},
        {{"process", demo, dir / "x.txt", "--ext", ".dat", "--op", "invert"}, "--ext"},
        {{"process", demo, "--op", "invert"}, "IN OUT"},
        {{"process", demo, dir / "x.txt", "--ops-from", dir / "nowhere.txt"}, "cannot be read"},
        {{"process", demo, "--out-dir", dir / "out", "--ops-from", dir / "bad.txt"}, "Sideways"},
        {{"process", demo, "--out-dir", dir / "nodir", "--op", "invert"}, "no directory"},
        {{"process", demo, "--out-dir", dir / "out", "--ext", ".png", "--op", "invert"}, ".png"},
        {{"process", demo, "--out-dir", dir / "out", "--palette", dir / "p.pal", "--op", "invert"}, "--palette"},
        {{"process", demo, "--out-dir", dir / "out", "-j", "0", "--op", "invert"}, "-j"},
        {{"process", demo, "--out-dir", dir / "out", "-j", "two", "--op", "invert"}, "-j"},
        {{"process", demo, dir / "x.txt", "-j", "2", "--op", "invert"}, "-j applies"},
    };
    for (const Case& c : cases) {
        const TRun r = Run(c.Args);
        EXPECT_EQ(2, r.Status) << c.Says;
        EXPECT_NE(std::string::npos, r.Err.find(c.Says)) << r.Err;
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir / "out"));
    EXPECT_FALSE(FileExists(dir / "x.txt"));
}
