// The first render after a native load: the colour range and picture must be those of
// the samples as loaded, whatever the data file holds (gaps, not-a-number, infinity).
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "formats/LoadFiles.h"
#include "native_support.h"

using namespace native_test;

namespace {

class NativeRange : public TNativeTest {
protected:
    void LoadAll(const std::string& text, TKeepTarget& target) {
        PutFile(dir / "scan.txt", text);
        TLoadFiles loader(dir / "scan.txt");
        ASSERT_TRUE(loader.ReadParamFile());
        loader.LoadChecked(std::vector<bool>(static_cast<size_t>(loader.Count()) + 1, true), target);
    }
    // The loaded document (rendered by the target) against the same samples rendered
    // afresh.
    static void ExpectRenderedAsItsSamples(const TImageDoc& doc) {
        const TQTVPicture& p = doc.Picture;
        TQTVPicture fresh;
        fresh.CopySamplesFrom(p);
        fresh.Render();
        EXPECT_EQ(p.Min, fresh.Min) << doc.FileName;
        EXPECT_EQ(p.Max, fresh.Max) << doc.FileName;
        EXPECT_EQ(p.Factor, fresh.Factor) << doc.FileName;
        EXPECT_TRUE(p.Bitmap == fresh.Bitmap) << doc.FileName;
    }
};

TEST_F(NativeRange, FirstRenderShowsTheRangeOfTheLoadedSamples) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const int cols = 70, rows = 45;
    std::mt19937 g(7);
    std::vector<int32_t> ints(static_cast<size_t>(cols) * rows);
    for (auto& v : ints) v = static_cast<int32_t>(g() % 200001) - 50000;
    std::vector<float> floats(ints.size());
    for (size_t i = 0; i < floats.size(); ++i) floats[i] = static_cast<float>(ints[i]) * 0.01f;
    floats[3] = nan;
    floats[100] = -inf;
    floats[2000] = inf;
    std::vector<float> someNaN(floats.begin(), floats.end());
    someNaN[0] = nan;
    for (size_t i = 0; i < someNaN.size(); ++i)
        if (std::isinf(someNaN[i])) someNaN[i] = nan;
    PutFile(dir / "a.int", IntBytes(ints));
    PutFile(dir / "b.sin", FloatBytes(floats));
    PutFile(dir / "c.sin", FloatBytes(someNaN));
    PutFile(dir / "d.sin", FloatBytes(std::vector<float>(ints.size(), nan)));
    // Positive values only, and too few: the missing samples are 0.0 and count.
    std::vector<int32_t> positive(ints.size() / 2 + 3);
    for (auto& v : positive) v = 1000 + static_cast<int32_t>(g() % 5000);
    PutFile(dir / "e.int", IntBytes(positive));
    TKeepTarget t;
    LoadAll(CurrentHeader(cols, rows) + Block("a.int", {"Scale : 1E-3", "Offset : 2"}) + Block("b.sin") +
                Block("c.sin", {"Scale : -3"}) + Block("d.sin") + Block("e.int", {"Scale : 0.5"}),
            t);
    EXPECT_EQ(Texts(), std::vector<std::string>{"File e.int to short\n"});
    ASSERT_EQ(t.Docs.size(), 5u);
    for (const auto& d : t.Docs) ExpectRenderedAsItsSamples(*d);

    // e.int, a.int, b.sin, c.sin, d.sin come in reverse order
    EXPECT_EQ(t.Docs[0]->Picture.Min, 0.0f);
    // infinities take no part in the range, as not-a-number does not
    float finiteMin = 0, finiteMax = 0;
    bool any = false;
    for (float v : floats)
        if (std::isfinite(v)) {
            finiteMin = any ? std::min(finiteMin, v) : v;
            finiteMax = any ? std::max(finiteMax, v) : v;
            any = true;
        }
    EXPECT_EQ(t.Docs[3]->Picture.Min, finiteMin);
    EXPECT_EQ(t.Docs[3]->Picture.Max, finiteMax);
    EXPECT_EQ(t.Docs[1]->Picture.Min, 0.0f);  // nothing but not-a-number
    EXPECT_EQ(t.Docs[1]->Picture.Max, 0.0f);
}

TEST_F(NativeRange, ChangedSamplesAreRenderedWithTheirNewRange) {
    PutFile(dir / "a.int", IntBytes({1, 2, 3, 4, 5, 6}));
    TKeepTarget t;
    LoadAll(CurrentHeader(3, 2) + Block("a.int"), t);
    ASSERT_EQ(t.Docs.size(), 1u);
    TQTVPicture& p = t.Docs[0]->Picture;
    EXPECT_EQ(p.Min, 1.0f);
    EXPECT_EQ(p.Max, 6.0f);
    p.Data[0][0] = 100.0f;
    p.Render();
    EXPECT_EQ(p.Max, 100.0f);
    ExpectRenderedAsItsSamples(*t.Docs[0]);
}

}  // namespace
