// The parameter-stream primitives: key search, line reading and number reading.
#include "formats/LoadFiles.h"
#include "native_support.h"

using namespace native_test;

class NativeStream : public TNativeTest {
protected:
    TLoadFiles loader{"/nonexistent/scan.txt"};
};

TEST_F(NativeStream, FindKeyIgnoresCaseAndStopsJustAfterTheKey) {
    loader.SetParamText("abc XPIXEL : 64\r\n");
    ASSERT_TRUE(loader.FindKey("xPixel"));
    EXPECT_EQ(loader.Position(), 10u);
    EXPECT_EQ(loader.ReadLine(), " : 64");
}

TEST_F(NativeStream, FindKeySearchesForwardOnly) {
    loader.SetParamText("Scale 1\r\nOffset 2\r\n");
    ASSERT_TRUE(loader.FindKey("Offset"));
    EXPECT_FALSE(loader.FindKey("Scale"));
    // A failed search leaves the position at the end.
    EXPECT_EQ(loader.Position(), std::string("Scale 1\r\nOffset 2\r\n").size());
    EXPECT_EQ(loader.ReadLine(), "");
}

TEST_F(NativeStream, FindKeyRestartsAfterAPartialMatch) {
    // "FFile" and "FileDes" overlap the key without matching it.
    loader.SetParamText("FFileDesFileDescEnd!");
    ASSERT_TRUE(loader.FindKey("filedescend"));
    EXPECT_EQ(loader.ReadLine(), "!");
}

TEST_F(NativeStream, FindKeyDoesNotMatchBeyondTheEnd) {
    loader.SetParamText("xPixe");
    EXPECT_FALSE(loader.FindKey("xPixel"));
    EXPECT_EQ(loader.Position(), 5u);
    loader.SetParamText("");
    EXPECT_FALSE(loader.FindKey("a"));
}

TEST_F(NativeStream, FindKeyFoldsOnlyAsciiLetters) {
    // Latin-1 letters keep their case: "\xE4" (a umlaut) is not "\xC4".
    loader.SetParamText("\xC4rger");
    EXPECT_FALSE(loader.FindKey("\xE4rger"));
    loader.SetPosition(0);
    EXPECT_TRUE(loader.FindKey("\xC4RGER"));
}

TEST_F(NativeStream, ReadLineDropsControlBytesAndConsumesTheCr) {
    loader.SetParamText("a\tb\x0D\x0A" "c\x01\x0E" "d\r\nlast");
    EXPECT_EQ(loader.ReadLine(), "ab");
    EXPECT_EQ(loader.ReadLine(), "c\x0E" "d");
    EXPECT_EQ(loader.ReadLine(), "last");
    EXPECT_EQ(loader.ReadLine(), "");
    EXPECT_EQ(loader.Position(), std::string("a\tb\r\nc\x01\x0E" "d\r\nlast").size());
}

TEST_F(NativeStream, ReadFloatAcceptsEitherDecimalMark) {
    loader.SetParamText(" 2.5\r\n2,5\r\n-1.5E3\r\n");
    EXPECT_DOUBLE_EQ(loader.ReadFloat(), 2.5);
    EXPECT_DOUBLE_EQ(loader.ReadFloat(), 2.5);
    EXPECT_DOUBLE_EQ(loader.ReadFloat(), -1500.0);
    SetDecimalSeparator(',');
    loader.SetParamText("2.25\r\n2,25\r\n");
    EXPECT_DOUBLE_EQ(loader.ReadFloat(), 2.25);
    EXPECT_DOUBLE_EQ(loader.ReadFloat(), 2.25);
    EXPECT_TRUE(Texts().empty());
}

TEST_F(NativeStream, ReadFloatReportsAnUnreadableNumberAndGivesOne) {
    loader.SetParamText("abc\r\n1,234.5\r\n\r\n");
    EXPECT_DOUBLE_EQ(loader.ReadFloat(), 1.0);
    EXPECT_DOUBLE_EQ(loader.ReadFloat(), 1.0);  // two decimal marks
    EXPECT_DOUBLE_EQ(loader.ReadFloat(), 1.0);  // nothing at all
    ASSERT_EQ(sink.Shown.size(), 3u);
    EXPECT_EQ(sink.Shown[0].Text, "\"abc\" is no valid float!\n 1 is assumed!");
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Information);
    EXPECT_EQ(sink.Shown[1].Text, "\"1,234.5\" is no valid float!\n 1 is assumed!");
    EXPECT_EQ(sink.Shown[2].Text, "\"\" is no valid float!\n 1 is assumed!");
}
