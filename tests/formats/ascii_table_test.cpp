// The ASCII table export and the one-piece file write.
#include <limits>

#include "core/Errors.h"
#include "formats/Export.h"
#include "native_support.h"

using namespace native_test;

class AsciiTable : public TNativeTest {};

TEST_F(AsciiTable, RowsInStoredOrderSeparatedByTabs) {
    TQTVPicture pic;
    pic.SetSize(3, 2);
    const float v[2][3] = {{1, -2.5f, 0}, {1e-5f, 123456, 0.1f}};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c) pic.Data[r][c] = v[r][c];
    // Row 0 (the bottom line of the picture) first; floats in the 15-digit form.
    EXPECT_EQ(BuildAsciiTable(pic), "1\t-2.5\t0\r\n" +
                                        FormatShortest(1e-5f) + "\t123456\t" + FormatShortest(0.1f) + "\r\n");
    EXPECT_EQ(FormatShortest(0.1f), "0.100000001490116");
}

TEST_F(AsciiTable, DecimalSeparatorIsTheCurrentOne) {
    TQTVPicture pic;
    pic.SetSize(2, 1);
    pic.Data[0][0] = 0.5f;
    pic.Data[0][1] = -1.25f;
    SetDecimalSeparator(',');
    EXPECT_EQ(BuildAsciiTable(pic), "0,5\t-1,25\r\n");
}

TEST_F(AsciiTable, ShapeOfLargerTables) {
    TQTVPicture pic;
    pic.SetSize(7, 5);
    const std::string text = BuildAsciiTable(pic);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 5);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\t'), 5 * 6);
    EXPECT_EQ(text.substr(0, 15), "0\t0\t0\t0\t0\t0\t0\r\n");
}

TEST_F(AsciiTable, EmptyPictureGivesNothing) {
    TQTVPicture pic;
    EXPECT_EQ(BuildAsciiTable(pic), "");
}

TEST_F(AsciiTable, WriteFileBytesReplacesTheFileWhole) {
    const std::string path = dir / "t.dat";
    WriteFileBytes(path, std::string("a\0b", 3));
    EXPECT_EQ(GetFile(path), std::string("a\0b", 3));
    WriteFileBytes(path, "xy");
    EXPECT_EQ(GetFile(path), "xy");
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) names.push_back(e.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"t.dat"});
}

TEST_F(AsciiTable, WriteFileBytesFailureLeavesTheOldFile) {
    EXPECT_THROW(WriteFileBytes(dir / "missing/t.dat", "x"), EInOutError);
    std::filesystem::create_directory(dir / "sub");
    EXPECT_THROW(WriteFileBytes(dir / "sub", "x"), EInOutError);  // a folder is not replaced
    EXPECT_TRUE(std::filesystem::is_directory(dir / "sub"));
}
