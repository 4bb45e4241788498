// The integer data file's rounding gives the same bytes and flags for 1, 2, 3 and 8
// threads.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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
