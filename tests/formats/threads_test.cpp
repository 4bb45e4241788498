// The integer data file's rounding and the STL mesh give the same bytes for 1, 2, 3
// and 8 threads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

#include "formats/Export.h"
#include "formats/NativeWriter.h"
#include "thread_support.h"

TEST(Threads, IntegerDataFile)
{
    struct TCase {
        int Cols, Rows;
        bool Bad;
    };
    for (const TCase k : {TCase{1, 9, false}, TCase{9, 1, true}, TCase{61, 37, false}, TCase{2053, 2053, true}}) {
        TQTVPicture p;
        p.SetSize(k.Cols, k.Rows);
        p.Para.Scale = 0.001f;
        for (int r = 0; r < k.Rows; ++r)
            for (int c = 0; c < k.Cols; ++c) p.Data[r][c] = static_cast<float>(std::sin(0.1 * c + 0.37 * r) * 1e3);
        if (k.Bad) p.Data[k.Rows - 1][k.Cols / 2] = std::numeric_limits<float>::quiet_NaN();
        p.UpdateMinMax();
        ExpectSameForEveryThreadCount("int data", [&] {
            const TIntData d = EncodeIntData(p);
            EXPECT_EQ(d.ValuesOk, !k.Bad);
            return std::string(d.Bytes.begin(), d.Bytes.end());
        });
    }
}

// The STL mesh is the same whether built whole or handed over in blocks of any size,
// and on any number of threads; the file written block by block holds those bytes.
TEST(Threads, StlInBlocks)
{
    const auto dir = std::filesystem::temp_directory_path() / ("morvane-stl-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (const auto& [cols, rows] : {std::pair{1, 7}, std::pair{7, 1}, std::pair{2, 2}, std::pair{131, 67}}) {
        TQTVPicture p;
        p.SetSize(cols, rows);
        p.Para.XPixel = cols;
        p.Para.YPixel = rows;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) p.Data[r][c] = static_cast<float>(std::cos(0.2 * c) * std::sin(0.3 * r));
        p.UpdateMinMax();
        const std::string whole = BuildStl(p);
        ExpectSameForEveryThreadCount("stl", [&] { return BuildStl(p); });
        for (const size_t block : {size_t{1}, size_t{1000}, size_t{1} << 20}) {
            std::string streamed;
            StreamStl(p, [&](const char* d, size_t n) { streamed.append(d, n); }, block);
            EXPECT_TRUE(streamed == whole) << cols << " x " << rows << " in blocks of " << block;
        }
        const std::string file = (dir / "mesh.stl").string();
        WriteStlFile(file, p);
        std::ifstream in(file, std::ios::binary);
        const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_TRUE(written == whole);
    }
    std::filesystem::remove_all(dir);
}
