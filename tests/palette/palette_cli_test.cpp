// morvane-cli convert/process --palette: pictures rendered through a palette file.
#include <gtest/gtest.h>

#include "cli/cli_support.h"
#include <sys/wait.h>

#include <filesystem>

#include "formats/native_support.h"
#include "palette/PaletteFiles.h"

using native_test::GetFile;
using native_test::PutFile;
using native_test::TScratchDir;

using namespace cli_test;

namespace {

class PaletteCli : public ::testing::Test {
protected:
    PaletteCli() {
        EXPECT_EQ(Run({"demo", dir / "demo"}).Status, 0);
        demo = dir / "demo/demo.txt";
    }

    TRun Run(const std::vector<std::string>& args) { return RunCli(args, dir / "stdout", dir / "stderr"); }

    // The colour table of a written 8-bit bitmap as a palette.
    static TColours BitmapColours(const std::string& bmp) {
        TColours c{};
        EXPECT_GE(bmp.size(), 54u + 1024u);
        if (bmp.size() < 54 + 1024) return c;
        for (int i = 0; i < 256; ++i) {
            c[3 * i] = static_cast<uint8_t>(bmp[54 + 4 * i + 2]);
            c[3 * i + 1] = static_cast<uint8_t>(bmp[54 + 4 * i + 1]);
            c[3 * i + 2] = static_cast<uint8_t>(bmp[54 + 4 * i]);
        }
        return c;
    }

    TScratchDir dir;
    std::string demo;
};

std::string Lines(int n, const std::string& line) {
    std::string s;
    for (int i = 0; i < n; ++i) s += line + "\r\n";
    return s;
}

TColours With(TColours c, int entry, int r, int g, int b) {
    c[3 * entry] = static_cast<uint8_t>(r);
    c[3 * entry + 1] = static_cast<uint8_t>(g);
    c[3 * entry + 2] = static_cast<uint8_t>(b);
    return c;
}

}  // namespace

TEST_F(PaletteCli, FilesOfEveryKindColourTheBitmap) {
    TColours grey{};
    for (int i = 0; i < 768; ++i) grey[i] = static_cast<uint8_t>(i / 3);
    const TColours def = DefaultColours();
    TColours tenGreen = def;
    for (int i = 0; i < 10; ++i) tenGreen = With(tenGreen, i, 0, 255, 0);
    TColours firstBytes{};
    for (int i = 0; i < 768; ++i) firstBytes[i] = static_cast<uint8_t>(i * 5);

    struct TCase {
        std::string Name, Bytes;
        TColours Expected;
        std::string Err;
    };
    const std::vector<TCase> cases = {
        {"grey.pal", BuildPalette(grey, TPaletteKind::Jasc), grey, ""},
        {"GREY.PAL", BuildPalette(grey, TPaletteKind::Jasc), grey, ""},
        {"grey.TXT", BuildPalette(grey, TPaletteKind::Text), grey, ""},
        {"grey", BuildPalette(grey, TPaletteKind::Binary), grey, ""},
        {"grey.act", BuildPalette(grey, TPaletteKind::Binary), grey, ""},
        {"ten.txt", Lines(9, "0 255 0") + "0 255", tenGreen, ""},
        {"wide.txt", "300 20\r\n", With(def, 0, 44, 20, 0), ""},
        {"many.txt", Lines(300, "1 2 3") + "junk\r\n", [] {
             TColours c;
             for (int i = 0; i < 256; ++i) c = With(c, i, 1, 2, 3);
             return c;
         }(), ""},
        {"short.bin", std::string(767, '\x40'), def, ""},
        {"long.bin", [&] {
             std::string s(reinterpret_cast<const char*>(firstBytes.data()), 768);
             return s + std::string(100, '\x01');
         }(), firstBytes, ""},
        {"version.pal", "JASC-PAL\r\n0101\r\n256\r\n1 2 3\r\n", With(def, 0, 1, 2, 3), "Falsche Version.\n"},
        {"headless.pal", "1 2 3\r\n4 5 6\r\n7 8 9\r\n0 0 1\r\n", With(def, 0, 0, 0, 1),
         "Keine JASC-Palette.\nFalsche Version.\nKeine 256-Farben-Palette.\n"},
    };
    for (const TCase& t : cases) {
        SCOPED_TRACE(t.Name);
        PutFile(dir / t.Name, t.Bytes);
        const std::string out = dir / (t.Name + ".bmp");
        const TRun r = Run({"convert", demo, out, "--palette", dir / t.Name});
        EXPECT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(r.Err, t.Err);
        EXPECT_EQ(BitmapColours(GetFile(out)), t.Expected);
    }
}

TEST_F(PaletteCli, RefusedPalettesWriteNothing) {
    PutFile(dir / "bad.txt", "1 2 3\r\nx 0 0\r\n");
    PutFile(dir / "noblank.pal", "JASC-PAL\r\n0100\r\n256\r\n7\r\n");
    PutFile(dir / "blank.txt", "1 2 3\r\n\r\n");
    struct TCase {
        std::vector<std::string> Args;
        int Status;
        std::string ErrPart;
    };
    const std::vector<TCase> cases = {
        {{"convert", demo, dir / "o.bmp", "--palette", dir / "bad.txt"}, 1, "'x' is not a valid integer value\n"},
        {{"convert", demo, dir / "o.jpg", "--palette", dir / "blank.txt"}, 1, "'' is not a valid integer value\n"},
        {{"convert", demo, dir / "o.bmp", "--palette", dir / "noblank.pal"}, 1, "'' is not a valid integer value\n"},
        {{"process", demo, dir / "o.bmp", "--op", "invert", "--palette", dir / "bad.txt"}, 1, "'x' is not"},
        {{"convert", demo, dir / "o.bmp", "--palette", dir / "missing.pal"}, 1, "missing.pal"},
        {{"convert", demo, dir / "o.bmp", "--palette", dir.Path()}, 1, "Cannot open"},
        {{"convert", demo, dir / "o.dat", "--palette", dir / "bad.txt"}, 2, "--palette"},
    };
    for (const TCase& t : cases) {
        SCOPED_TRACE(t.Args[2] + " " + t.Args.back());
        const TRun r = Run(t.Args);
        EXPECT_EQ(r.Status, t.Status) << r.Err;
        EXPECT_NE(r.Err.find(t.ErrPart), std::string::npos) << r.Err;
        EXPECT_FALSE(std::filesystem::exists(dir / "o.bmp"));
        EXPECT_FALSE(std::filesystem::exists(dir / "o.jpg"));
        EXPECT_FALSE(std::filesystem::exists(dir / "o.dat"));
    }
}

TEST_F(PaletteCli, JpegTakesThePaletteColours) {
    TColours red{};
    for (int i = 0; i < 256; ++i) red[3 * i] = 255;
    PutFile(dir / "red.bin", BuildPalette(red, TPaletteKind::Binary));
    ASSERT_EQ(Run({"convert", demo, dir / "plain.jpg"}).Status, 0);
    ASSERT_EQ(Run({"process", demo, dir / "red.jpg", "--op", "invert", "--palette", dir / "red.bin"}).Status, 0);
    const std::string plain = GetFile(dir / "plain.jpg"), redJpg = GetFile(dir / "red.jpg");
    EXPECT_GT(redJpg.size(), 100u);
    EXPECT_NE(plain, redJpg);
    // a flat red picture compresses far better than the demo in its own colours
    EXPECT_LT(redJpg.size() * 2, plain.size());
}
