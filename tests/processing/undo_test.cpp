// Undo and redo of image changes: every kind of step restores the image bit for bit,
// the limits drop the oldest steps, and the history follows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "core/Messages.h"
#include "processing/Operations.h"
#include "processing/Undo.h"

namespace {

TImageDoc MakeDoc(int cols, int rows) {
    TImageDoc d;
    d.CreateImage(cols, rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            d.Picture.Data[r][c] = std::sin(0.37f * static_cast<float>(c)) * 3.1f + 0.05f * static_cast<float>(r * r);
    d.Picture.Para.XScanRange = 100;
    d.Picture.Para.YScanRange = 80;
    d.Picture.Para.XPhysUnit = d.Picture.Para.YPhysUnit = "nm";
    d.Picture.Para.PhysUnit = "nm";
    d.Picture.Para.Scale = 0.001;
    d.Picture.UpdateMinMax();
    d.History = {"median"};
    return d;
}

// Everything a step must bring back, as bytes.
std::string Fingerprint(const TImageDoc& d) {
    const TQTVPicture& p = d.Picture;
    std::string s;
    auto add = [&s](const void* v, size_t n) { s.append(static_cast<const char*>(v), n); };
    for (auto v : {p.Rows, p.Cols, p.FixedRange, p.Para.XPixel, p.Para.YPixel}) add(&v, sizeof v);
    for (float v : {p.Min, p.Max}) add(&v, sizeof v);
    for (double v : {p.Para.XScanRange, p.Para.YScanRange, p.Para.Scale, p.Para.Offset}) add(&v, sizeof v);
    s += p.Para.XPhysUnit + "|" + p.Para.YPhysUnit + "|" + p.Para.PhysUnit + "|" + (p.Transformed ? "T" : "F");
    for (const TPaletteEntry& e : p.Palette.Entries) add(&e, sizeof e);
    if (p.HasData()) add(p.Data.Block(), sizeof(float) * static_cast<size_t>(p.Rows * p.Cols));
    for (int c = 0; c < p.Marks.Cols(); ++c) add(p.Marks[c], sizeof(int32_t) * static_cast<size_t>(p.Marks.Rows()));
    for (const std::string& h : d.History) s += h + "\n";
    return s;
}

// One change through the stack: op text through the operation table and the history,
// or a change of its own.
void Change(TUndoStack& u, TImageDoc& d, const std::string& op, TSampleChange how = TSampleChange::Any) {
    u.Begin(d, how);
    ApplyOperation(ParseOperation(op), d);
    d.History.push_back(op);
    ASSERT_TRUE(u.Commit(d));
}

struct Undo : ::testing::Test {
    TRecordingSink sink;
    TScopedMessageSink scoped{&sink};
    void SetUp() override { TUndoStack::SetLimits({}); }
    void TearDown() override { TUndoStack::SetLimits({}); }
};

TEST_F(Undo, EveryKindOfStepUndoesAndRedoesBitForBit) {
    struct TCase {
        const char* Name;  // the step's expected name
        TSampleChange How;
        std::function<void(TImageDoc&)> Do;
        size_t MaxBytes;  // what the step may keep on a 64 x 48 image
    };
    const size_t samples = 64 * 48 * sizeof(float);
    auto op = [](const char* text) {
        return [text](TImageDoc& d) {
            ApplyOperation(ParseOperation(text), d);
            d.History.push_back(text);
        };
    };
    const TCase cases[] = {
        {"Inverse", TSampleChange::Negate, op("invert"), 2048},
        {"Leveling", TSampleChange::Any, op("level:Lines:1"), samples + 2048},
        {"Zoom", TSampleChange::Any, op("zoom:5:7:37:31"), samples + 2048 + 64 * 48 * 4},
        {"Colour Range", TSampleChange::None, op("range:-1:2.5"), 2048},
        {"Rescale", TSampleChange::Any, op("rescale:10:20:3:µm:µm:pm"), samples + 2048},
        {"Laplace 2", TSampleChange::Any, op("filter:Laplace 2"), samples + 2048},
        {"FFT", TSampleChange::Any, op("fft:log"), samples + 2048 + 64 * 48 * 4},
        {"Palette", TSampleChange::None,
         [](TImageDoc& d) {
             for (auto& e : d.Picture.Palette.Entries) e.Red = static_cast<uint8_t>(255 - e.Red);
         },
         2048},
        {"Marks", TSampleChange::Any, [](TImageDoc& d) { d.Picture.Marks[3][4] = 0; }, 2048 + 64 * 48 * 4},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TImageDoc d = MakeDoc(64, 48);
        d.Picture.FixedRange = 1;
        TUndoStack u;
        u.MarkSaved();
        const std::string before = Fingerprint(d);
        u.Begin(d, c.How);
        c.Do(d);
        ASSERT_TRUE(u.Commit(d, d.History.size() > 1 ? "" : c.Name));
        const std::string after = Fingerprint(d);
        ASSERT_NE(before, after);
        EXPECT_EQ(u.UndoName(), c.Name);
        EXPECT_LE(u.Bytes(), c.MaxBytes);
        EXPECT_TRUE(u.Modified());
        for (int round = 0; round < 2; ++round) {
            ASSERT_TRUE(u.Undo(d));
            EXPECT_EQ(Fingerprint(d), before);
            EXPECT_FALSE(u.Modified());
            EXPECT_FALSE(u.CanUndo());
            EXPECT_EQ(u.RedoName(), c.Name);
            ASSERT_TRUE(u.Redo(d));
            EXPECT_EQ(Fingerprint(d), after);
            EXPECT_TRUE(u.Modified());
        }
        EXPECT_FALSE(u.Redo(d));
    }
}

TEST_F(Undo, NewChangeDropsRedoAndTheSavedMarkFollows) {
    TImageDoc d = MakeDoc(16, 16);
    TUndoStack u;
    const std::string s0 = Fingerprint(d);
    Change(u, d, "level:Lines:1");
    Change(u, d, "invert", TSampleChange::Negate);
    u.MarkSaved();  // saved after two steps
    const std::string s2 = Fingerprint(d);
    u.Undo(d);
    u.Undo(d);
    EXPECT_EQ(Fingerprint(d), s0);
    EXPECT_TRUE(u.Modified());
    u.Redo(d);
    u.Redo(d);
    EXPECT_EQ(Fingerprint(d), s2);
    EXPECT_FALSE(u.Modified());
    u.Undo(d);
    Change(u, d, "median");  // the saved state was on the redo side: gone
    EXPECT_FALSE(u.CanRedo());
    EXPECT_EQ(u.UndoCount(), 2);
    EXPECT_EQ(u.UndoName(), "Median Filter");
    u.Undo(d);
    EXPECT_TRUE(u.Modified());
    u.Undo(d);
    EXPECT_EQ(Fingerprint(d), s0);
    EXPECT_TRUE(u.Modified());
    u.Begin(d, TSampleChange::Any);  // a change that changed nothing is no step
    EXPECT_FALSE(u.Commit(d, "Nothing"));
    EXPECT_EQ(u.RedoCount(), 2);
}

TEST_F(Undo, LimitsDropTheOldestSteps) {
    // per image: at most Steps
    TUndoStack::SetLimits({3, size_t(1) << 30});
    TImageDoc d = MakeDoc(16, 16);
    TUndoStack u;
    std::vector<std::string> states{Fingerprint(d)};
    for (const char* op : {"median", "mean", "filter:Laplace 1", "level:Lines:1", "median"}) {
        Change(u, d, op);
        states.push_back(Fingerprint(d));
    }
    EXPECT_EQ(u.UndoCount(), 3);
    while (u.Undo(d)) {
    }
    EXPECT_EQ(Fingerprint(d), states[2]);
    EXPECT_TRUE(u.Modified());  // the opened state can no longer be reached

    // all images together: at most Bytes; the oldest undo step of any image goes first
    TImageDoc a = MakeDoc(16, 16), b = MakeDoc(16, 16);
    TUndoStack ua, ub;
    Change(ua, a, "median");
    const size_t step = ua.Bytes();
    TUndoStack::SetLimits({32, TUndoStack::TotalBytes() + step + step / 2});
    const std::string a1 = Fingerprint(a);
    Change(ub, b, "median");
    Change(ua, a, "mean");  // a's first step goes
    EXPECT_EQ(ua.UndoCount(), 1);
    EXPECT_EQ(ub.UndoCount(), 1);
    Change(ub, b, "mean");  // then b's first
    EXPECT_EQ(ua.UndoCount(), 1);
    EXPECT_EQ(ub.UndoCount(), 1);
    EXPECT_LE(TUndoStack::TotalBytes(), TUndoStack::Limits().Bytes);
    ua.Undo(a);
    EXPECT_EQ(Fingerprint(a), a1);
}

TEST_F(Undo, HistoryFollowsSoThatItReplaysTheCurrentImage) {
    const TImageDoc original = MakeDoc(32, 24);
    TImageDoc d = MakeDoc(32, 24);
    TUndoStack u;
    Change(u, d, "level:Lines:2");
    Change(u, d, "zoom:2:2:30:20");
    Change(u, d, "filter:Laplace 1");
    u.Undo(d);
    u.Undo(d);
    Change(u, d, "invert", TSampleChange::Negate);
    EXPECT_EQ(d.History, (std::vector<std::string>{"median", "level:Lines:2", "invert"}));
    TImageDoc replay = MakeDoc(32, 24);
    for (size_t k = original.History.size(); k < d.History.size(); ++k) {
        ApplyOperation(ParseOperation(d.History[k]), replay);
        replay.History.push_back(d.History[k]);
    }
    EXPECT_EQ(Fingerprint(replay), Fingerprint(d));
}

}  // namespace
