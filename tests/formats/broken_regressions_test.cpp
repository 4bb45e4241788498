// Hostile inputs found by fuzzing and by the broken-file corpus, each kept as the
// smallest case that showed the fault.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/Numbers.h"
#include "formats/broken_support.h"
#include "fuzz/LoadHarness.h"

namespace fs = std::filesystem;
using morvane_harness::TAnswers;
using morvane_harness::TLoadResult;

namespace {

using broken_support::Corpus;
using broken_support::ReadBytes;
using broken_support::WriteBytes;

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

class BrokenRegression : public ::testing::Test {
protected:
    void SetUp() override {
        SetDecimalSeparator('.');
        std::string templ = (fs::temp_directory_path() / "morvane-regress-XXXXXX").string();
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back('\0');
        ASSERT_NE(mkdtemp(buf.data()), nullptr);
        dir_ = buf.data();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    std::string dir_;
};

// A name that climbs out of any folder to the root and then into /dev.
std::string DeviceName(const char* device) {
    std::string up;
    for (int i = 0; i < 40; ++i) up += "../";
    return up + "dev/" + device;
}

}  // namespace

// An Omicron parameter file whose data file is a device that never ends (/dev/zero)
// made the reader take it in whole, growing until the memory ran out. A data file must
// be a regular file; anything else cannot be opened.
TEST_F(BrokenRegression, OmicronDataFileThatIsADeviceIsRefused) {
    const std::string par = ReadBytes(Corpus + "omicron/ok.par");
    ASSERT_FALSE(par.empty());
    WriteBytes(Path("device.par"), Replaced(Replaced(par, "ok-tfwd.tf0", DeviceName("zero")),
                                            "ok-points.sp0", DeviceName("zero")));
    fs::copy_file(Corpus + "omicron/ok-tbwd.tb0", Path("ok-tbwd.tb0"));

    TAnswers yes;
    yes.Queue = {TMsgResult::Yes};
    TLoadResult r = morvane_harness::LoadOmicronFile(Path("device.par"), yes);
    EXPECT_TRUE(r.Problems().empty());
    EXPECT_EQ(r.Finished(), 1);  // the backward channel, whose data file is a real one
    EXPECT_TRUE(r.Said("Cannot open file ")) << ::testing::PrintToString(r.Texts());
}
