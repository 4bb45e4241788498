// Gwyddion (.gwy, .gsf) and Nanonis (.sxm) files: the hand-made files of tests/data/fields
// (scripts/make-field-files.py) and Gwyddion's own conversions of them, round trips
// through the native format, and files broken in every way a reader must survive.
//
// Every hand-made sample tells where it was stored: image m, stored line k, stored
// column c hold 100*m + 10*k + c + 1 (times the unit's scale).
#include <cmath>
#include <cstring>
#include <functional>
#include <map>

#include "core/Errors.h"
#include "formats/FieldFiles.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "formats/OpenFlow.h"
#include "instr_util.h"

using namespace instr_test;

namespace {

const std::string Fields = std::string(MORVANE_TEST_DATA) + "/fields/";

class FieldFiles : public TInstrTest {
protected:
    std::vector<std::unique_ptr<TImageDoc>> Open(const std::string& path) {
        TKeepTarget t;
        LoadSingleFile(path, FileKindOf(path), t);
        EXPECT_EQ(t.Discarded, 0);
        return std::move(t.Docs);
    }
    // A document of cols x rows samples, value(r, c) at record row r.
    static std::unique_ptr<TImageDoc> Doc(int cols, int rows, std::function<float(int, int)> value) {
        auto doc = std::make_unique<TImageDoc>();
        doc->CreateImage(cols, rows);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) doc->Picture.Data[r][c] = value(r, c);
        TScanPara& p = doc->Picture.Para;
        p.XPhysUnit = p.YPhysUnit = "nm";
        p.PhysUnit = "nA";
        p.XScanRange = 2000;
        p.YScanRange = 1500.25;
        p.Scale = 1;
        doc->CaptionTag = "Tunnel current \xB5";  // Latin-1, as in the files
        doc->History = {"level:2Dim:1", "filter:LowPass", "zoom:1:1:3:2"};
        doc->ScanInfo = {"Version : 1.12", "", "Bias : 0.5 V"};
        return doc;
    }
};

// Where the samples of one image come from: its image number m in the file, the scale
// of a stored count in the record, and how stored lines and columns map to the record.
struct TLayout {
    const char* File;
    size_t Channel;
    std::string Caption;
    int Cols, Rows;
    int M;
    double Scale;
    bool TopFirst, Mirrored;
    double XRange, YRange;
    const char* XYUnit;
    const char* ZUnit;
};

void ExpectLayout(const TImageDoc& doc, const TLayout& l) {
    const std::string label = std::string(l.File) + " channel " + std::to_string(l.Channel + 1);
    const TQTVPicture& p = doc.Picture;
    EXPECT_EQ(doc.CaptionTag, l.Caption) << label;
    ASSERT_EQ(p.Cols, l.Cols) << label;
    ASSERT_EQ(p.Rows, l.Rows) << label;
    EXPECT_EQ(p.Para.XScanRange, l.XRange) << label;
    EXPECT_EQ(p.Para.YScanRange, l.YRange) << label;
    EXPECT_EQ(p.Para.XPhysUnit, l.XYUnit) << label;
    EXPECT_EQ(p.Para.YPhysUnit, l.XYUnit) << label;
    EXPECT_EQ(p.Para.PhysUnit, l.ZUnit) << label;
    for (int r = 0; r < l.Rows; ++r)
        for (int c = 0; c < l.Cols; ++c) {
            const int k = l.TopFirst ? l.Rows - 1 - r : r;
            const int sc = l.Mirrored ? l.Cols - 1 - c : c;
            const double want = (100.0 * l.M + 10.0 * k + sc + 1) * l.Scale;
            EXPECT_NEAR(p.Data[r][c], want, std::fabs(want) * 2e-7) << label << " row " << r << " col " << c;
        }
}

TEST_F(FieldFiles, HandMadeFilesGiveEverySampleItsPlace) {
    const std::vector<TLayout> cases = {
        // simple field files: first stored row on top, metres to nm, amperes to nA
        {"height.gsf", 0, "Height \xC5", 4, 3, 0, 1.0, true, false, 400, 300, "nm", "nm"},
        {"current.gsf", 0, "Current", 4, 3, 1, 1e-3, true, false, 400, 300, "nm", "nA"},
        {"plain.gsf", 0, "Bias", 3, 2, 0, 1.0, true, false, 3, 2, "", "V"},
        // Nanonis, scanned down: first stored line on top; backward images mirrored
        {"down-both.sxm", 0, "Z (Forward)", 4, 3, 0, 0.1, true, false, 40, 30, "nm", "nm"},
        {"down-both.sxm", 1, "Z (Backward)", 4, 3, 1, 0.1, true, true, 40, 30, "nm", "nm"},
        {"down-both.sxm", 2, "Current (Forward)", 4, 3, 2, 1e-3, true, false, 40, 30, "nm", "nA"},
        {"down-both.sxm", 3, "Freq_Shift (Forward)", 4, 3, 3, 1.0, true, false, 40, 30, "nm", "Hz"},
        {"down-both.sxm", 4, "Freq_Shift (Backward)", 4, 3, 4, 1.0, true, true, 40, 30, "nm", "Hz"},
        // scanned up: the last stored line is the top
        {"up-forward.sxm", 0, "Z (Forward)", 4, 3, 0, 0.1, false, false, 40, 30, "nm", "nm"},
        {"up-forward.sxm", 1, "Current (Forward)", 4, 3, 1, 1e-3, false, false, 40, 30, "nm", "nA"},
        // version 1 gives the pixel counts rows first
        {"version1.sxm", 0, "Bias (Forward)", 4, 3, 0, 0.5, true, false, 40, 30, "nm", "V"},
        {"version1.sxm", 1, "Bias (Backward)", 4, 3, 1, 0.5, true, true, 40, 30, "nm", "V"},
    };
    std::map<std::string, std::vector<std::unique_ptr<TImageDoc>>> opened;
    for (const TLayout& l : cases) {
        auto& docs = opened[l.File];
        if (docs.empty()) docs = Open(Fields + l.File);
        ASSERT_GT(docs.size(), l.Channel) << l.File;
        ExpectLayout(*docs[l.Channel], l);
    }
    EXPECT_EQ(opened["down-both.sxm"].size(), 5u);
    EXPECT_EQ(opened["up-forward.sxm"].size(), 2u);
    EXPECT_EQ(opened["version1.sxm"].size(), 2u);
    EXPECT_EQ(opened["down-both.sxm"][1]->Title, "down-both.sxm - Z (Backward)");
    EXPECT_EQ(opened["down-both.sxm"][0]->ScanInfo.front(), ":NANONIS_VERSION:");
    EXPECT_TRUE(Texts().empty());
}

// Gwyddion read the hand-made files and wrote them as .gwy: the same images, in the same
// orientation, come out of both; its merged file numbers twelve channels /0 ... /11 and
// stores /10 and /11 before /2.
TEST_F(FieldFiles, GwyddionsFilesHoldWhatTheirSourcesHold) {
    for (const char* stem : {"down-both", "up-forward", "version1"}) {
        const auto mine = Open(Fields + stem + ".sxm");
        const auto its = Open(Fields + stem + "-gwyddion.gwy");
        ASSERT_EQ(mine.size(), its.size()) << stem;
        for (size_t i = 0; i < mine.size(); ++i) {
            const TQTVPicture &a = mine[i]->Picture, &b = its[i]->Picture;
            EXPECT_EQ(its[i]->CaptionTag, mine[i]->CaptionTag) << stem;
            ASSERT_EQ(a.Cols, b.Cols);
            ASSERT_EQ(a.Rows, b.Rows);
            EXPECT_EQ(a.Para.PhysUnit, b.Para.PhysUnit) << stem;
            EXPECT_DOUBLE_EQ(a.Para.XScanRange, b.Para.XScanRange) << stem;
            for (int r = 0; r < a.Rows; ++r)
                for (int c = 0; c < a.Cols; ++c)
                    EXPECT_FLOAT_EQ(a.Data[r][c], b.Data[r][c]) << stem << " " << i << " at " << r << "," << c;
        }
    }
    const auto merged = Open(Fields + "merged-gwyddion.gwy");
    std::vector<std::string> captions;
    for (const auto& d : merged) captions.push_back(d->CaptionTag);
    EXPECT_EQ(captions, (std::vector<std::string>{"Height \xC5", "Current", "Bias", "Z (Forward)", "Z (Backward)",
                                                  "Current (Forward)", "Freq_Shift (Forward)", "Freq_Shift (Backward)",
                                                  "Z (Forward)", "Current (Forward)", "Bias (Forward)",
                                                  "Bias (Backward)"}));
    ASSERT_EQ(merged.size(), 12u);
    ExpectLayout(*merged[0], {"merged-gwyddion.gwy", 0, "Height \xC5", 4, 3, 0, 1.0, true, false, 400, 300, "nm", "nm"});
    ExpectLayout(*merged[11], {"merged-gwyddion.gwy", 11, "Bias (Backward)", 4, 3, 1, 0.5, true, true, 40, 30, "nm", "V"});
    EXPECT_TRUE(Texts().empty());
}

// Files Morvane wrote (history "invert"), read by Gwyddion and written again as .gwy:
// the same samples, captions and history come back.
TEST_F(FieldFiles, GwyddionKeepsWhatMorvaneWrote) {
    for (const char* stem : {"morvane-written.gwy", "morvane-written.gsf"}) {
        const std::string ext = std::string(stem).substr(16);
        const auto mine = Open(Fields + stem);
        const auto its = Open(Fields + "morvane-written-" + ext + "-gwyddion.gwy");
        ASSERT_EQ(mine.size(), ext == "gwy" ? 2u : 1u) << stem;
        ASSERT_EQ(its.size(), mine.size()) << stem;
        for (size_t i = 0; i < mine.size(); ++i) {
            EXPECT_EQ(mine[i]->History, std::vector<std::string>{"invert"}) << stem;
            EXPECT_EQ(its[i]->History, mine[i]->History) << stem;
            EXPECT_EQ(its[i]->CaptionTag, mine[i]->CaptionTag) << stem;
            EXPECT_EQ(its[i]->ScanInfo, mine[i]->ScanInfo) << stem;
            const TQTVPicture &a = mine[i]->Picture, &b = its[i]->Picture;
            EXPECT_EQ(b.Para.PhysUnit, a.Para.PhysUnit);
            EXPECT_EQ(b.Para.XScanRange, a.Para.XScanRange);
            ASSERT_EQ(b.Cols * b.Rows, a.Cols * a.Rows);
            for (int r = 0; r < a.Rows; ++r)
                for (int c = 0; c < a.Cols; ++c) EXPECT_EQ(b.Data[r][c], a.Data[r][c]) << stem;
        }
    }
    const auto inverted = Open(Fields + "morvane-written.gsf");
    ASSERT_EQ(inverted.size(), 1u);
    ExpectLayout(*inverted[0], {"morvane-written.gsf", 0, "Height \xC5", 4, 3, 0, -1.0, true, false, 400, 300, "nm", "nm"});
}

// ---------------------------------------------------------------- writing and round trips

std::vector<std::unique_ptr<TImageDoc>> LoadNativeFile(const std::string& path) {
    TLoadFiles loader(path);
    EXPECT_TRUE(loader.ReadParamFile());
    TKeepTarget t;
    loader.LoadChecked(std::vector<bool>(static_cast<size_t>(loader.Count()) + 1, true), t);
    return std::move(t.Docs);
}

// native -> .gwy / .gsf -> native keeps samples (.gsf: within float rounding), ranges,
// units, caption, history and scan information.
TEST_F(FieldFiles, RoundTripsThroughGwyddionFilesKeepTheImage) {
    const auto doc = Doc(5, 4, [](int r, int c) { return 1000.0f * r - 7.25f * c * c + 0.001f * r * c - 300.0f; });
    const std::string txt = scratch.Path("orig.txt");
    ASSERT_TRUE(WriteNative(*doc, txt, TNativeKind::Sin));
    auto native = LoadNativeFile(txt);
    ASSERT_EQ(native.size(), 1u);
    const TImageDoc& orig = *native[0];
    for (const char* ext : {".gwy", ".gsf"}) {
        const bool gwy = std::string(ext) == ".gwy";
        const std::string path = scratch.Path(std::string("copy") + ext);
        ASSERT_TRUE(gwy ? WriteGwy({&orig}, path) : WriteGsf(orig, path)) << ext;
        const auto back = Open(path);
        ASSERT_EQ(back.size(), 1u) << ext;
        const std::string again = scratch.Path(std::string("again") + (gwy ? "1" : "2") + ".txt");
        ASSERT_TRUE(WriteNative(*back[0], again, TNativeKind::Sin));
        const auto twice = LoadNativeFile(again);
        ASSERT_EQ(twice.size(), 1u);
        for (const TImageDoc* d : {back[0].get(), twice[0].get()}) {
            const TQTVPicture &a = orig.Picture, &b = d->Picture;
            EXPECT_EQ(d->CaptionTag, "Tunnel current \xB5") << ext;
            EXPECT_EQ(d->History, doc->History) << ext;
            EXPECT_EQ(b.Para.XScanRange, 2000) << ext;
            EXPECT_EQ(b.Para.YScanRange, 1500.25) << ext;
            EXPECT_EQ(b.Para.XPhysUnit, "nm") << ext;
            EXPECT_EQ(b.Para.PhysUnit, "nA") << ext;
            ASSERT_EQ(b.Cols, 5);
            ASSERT_EQ(b.Rows, 4);
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 5; ++c) {
                    if (gwy)
                        EXPECT_EQ(b.Data[r][c], a.Data[r][c]) << r << "," << c;
                    else
                        EXPECT_NEAR(b.Data[r][c], a.Data[r][c], std::fabs(a.Data[r][c]) * 1.2e-7) << r << "," << c;
                }
        }
        // the scan information as it was read from the native file
        EXPECT_EQ(back[0]->ScanInfo, orig.ScanInfo) << ext;
        // an existing file is never replaced
        sink.Clear();
        const std::string before = ReadAll(path);
        EXPECT_FALSE(gwy ? WriteGwy({&orig}, path) : WriteGsf(orig, path));
        EXPECT_EQ(Texts(), std::vector<std::string>{path + " already exists! Abort!"});
        EXPECT_EQ(ReadAll(path), before);
    }
}

// Units go to the files in base SI and come back as nm / nA where the file has m / A.
TEST_F(FieldFiles, UnitsAreStoredInBaseSI) {
    const struct {
        const char* Record;
        const char* File;
        double Factor;  // file value = record value / Factor
        const char* Back;
        double BackFactor;  // record value after reading = record value * BackFactor
    } units[] = {
        {"nm", "m", 1e9, "nm", 1},         {"\xB5m", "m", 1e6, "nm", 1e3}, {"\xC5", "m", 1e10, "nm", 0.1},
        {"pA", "A", 1e12, "nA", 1e-3},     {"nA", "A", 1e9, "nA", 1},      {"\xB5" "A", "A", 1e6, "nA", 1e3},
        {"mV", "V", 1e3, "mV", 1},         {"deg", "deg", 1, "deg", 1},     {"", "", 1, "", 1},
        {"Pixel", "Pixel", 1, "Pixel", 1}, {"m", "m", 1, "nm", 1e9},
    };
    int n = 0;
    for (const auto& u : units) {
        EXPECT_EQ(FileUnit(u.Record).Unit, u.File) << u.Record;
        EXPECT_EQ(FileUnit(u.Record).Factor, u.Factor) << u.Record;
        auto doc = Doc(3, 2, [](int r, int c) { return 1.5f + 10 * r + c; });
        doc->Picture.Para.PhysUnit = u.Record;
        doc->Picture.Para.XPhysUnit = doc->Picture.Para.YPhysUnit = u.Record;
        const std::string path = scratch.Path("unit" + std::to_string(++n) + ".gwy");
        ASSERT_TRUE(WriteGwy({doc.get()}, path));
        const auto back = Open(path);
        ASSERT_EQ(back.size(), 1u);
        const TQTVPicture& p = back[0]->Picture;
        // mV stays mV: written as V and read back as V, values in volts
        const bool volts = std::string(u.Record) == "mV";
        EXPECT_EQ(p.Para.PhysUnit, volts ? "V" : u.Back) << u.Record;
        EXPECT_NEAR(p.Data[1][2], 13.5 * (volts ? 1e-3 : u.BackFactor), 13.5 * u.BackFactor * 1e-7) << u.Record;
        // lateral sizes: only metres become nm
        const bool metres = std::string(u.File) == "m";
        EXPECT_EQ(p.Para.XPhysUnit, metres ? "nm" : u.File) << u.Record;
        EXPECT_EQ(p.Para.XScanRange, metres ? 2000 * u.BackFactor : 2000 / u.Factor) << u.Record;
    }
}

// ---------------------------------------------------------------- broken files

// Serialized objects by hand.
std::string Le32(uint32_t v) { return TBytes().U32(v).Str(); }
std::string F64(double v) {
    uint64_t w;
    std::memcpy(&w, &v, 8);
    return Le32(static_cast<uint32_t>(w)) + Le32(static_cast<uint32_t>(w >> 32));
}
std::string Z(const std::string& s) { return s + std::string(1, '\0'); }
std::string Comp(const std::string& name, char t, const std::string& value) { return Z(name) + t + value; }
std::string Obj(const std::string& cls, const std::string& comps) {
    return Z(cls) + Le32(static_cast<uint32_t>(comps.size())) + comps;
}
std::string Field(int xres, int yres, size_t count, double first = 1.0) {
    std::string data = Le32(static_cast<uint32_t>(count));
    for (size_t i = 0; i < count; ++i) data += F64(first + static_cast<double>(i));
    return Obj("GwyDataField", Comp("xres", 'i', Le32(static_cast<uint32_t>(xres))) +
                                   Comp("yres", 'i', Le32(static_cast<uint32_t>(yres))) +
                                   Comp("si_unit_z", 'o', Obj("GwySIUnit", Comp("unitstr", 's', Z("m")))) +
                                   Comp("data", 'D', data));
}
std::string Gwy(const std::string& comps) { return "GWYP" + Obj("GwyContainer", comps); }

// Everything that is no image channel is stepped over, however it nests; channels come
// in the order of their numbers, 2 before 10.
TEST_F(FieldFiles, OnlyDataFieldsAtChannelKeysAreImages) {
    std::string deep = Obj("GwyContainer", "");
    for (int i = 0; i < 3000; ++i) deep = Obj("GwySelectionPoint", Comp("inner", 'o', deep));
    const std::string file = Gwy(Comp("/10/data", 'o', Field(2, 1, 2, 100)) + Comp("/10/data/title", 's', Z("ten")) +
                                 Comp("/0/mask", 'o', Field(2, 1, 2)) + Comp("/brick/0", 'o', Field(1, 1, 1)) +
                                 Comp("/0/select/point", 'o', deep) + Comp("/1/data", 's', Z("no field")) +
                                 Comp("/0/graph/graph/1", 'o', Obj("GwyGraphModel", Comp("n", 'S', Le32(2) + Z("a") + Z("b")))) +
                                 Comp("/2/data", 'o', Field(1, 2, 2, 20)) + Comp("/2/data/title", 's', Z("two")) +
                                 Comp("/0/data/title", 's', Z("zero")) + Comp("/0/data", 'o', Field(1, 1, 1, 5)) +
                                 Comp("/3/data", 'o', Obj("GwyBrick", "")) + Comp("/0/base/range-type", 'i', Le32(1)));
    const auto docs = Open(scratch.Write("tree.gwy", file));
    ASSERT_EQ(docs.size(), 3u);
    EXPECT_EQ(docs[0]->CaptionTag, "zero");
    EXPECT_EQ(docs[1]->CaptionTag, "two");
    EXPECT_EQ(docs[2]->CaptionTag, "ten");
    EXPECT_EQ(docs[0]->Picture.Data[0][0], 5e9f);
    EXPECT_EQ(docs[1]->Picture.Data[1][0], 20e9f);  // the first stored row is the top
    EXPECT_EQ(docs[2]->Picture.Data[0][1], 101e9f);
    EXPECT_TRUE(Texts().empty());
}

// A file of a known kind that is not whole is refused with a message that names it and
// the problem; a channel that cannot be read is named and skipped.
TEST_F(FieldFiles, BrokenFilesAreRefusedWithTheirProblem) {
    const std::string field = Comp("/0/data", 'o', Field(2, 2, 4));
    const std::string gsfHead = "Gwyddion Simple Field 1.0\nXRes = 2\nYRes = 1\n";  // 44 bytes: 4 NULs
    const std::string sxm = ReadAll(Fields + "up-forward.sxm");
    const struct {
        const char* Name;
        std::string Bytes;
        size_t Images;
        const char* Says;
    } cases[] = {
        {"a.gwy", "GWYP", 0, "is no valid Gwyddion file: it holds nothing after \"GWYP\""},
        {"b.gwy", "GWYQ" + Obj("GwyContainer", ""), 0, "does not begin with \"GWYP\""},
        {"c.gwy", "GWYP" + Z("GwyContainer") + Le32(0xFFFFFFFF) + field, 0, "claims 4294967295 bytes"},
        {"d.gwy", Gwy(Comp("/5/x", 'D', Le32(0x7FFFFFFF))), 0, "longer than"},
        {"e.gwy", Gwy(Comp("/5/x", 'z', "")), 0, "unknown component type \"z\""},
        {"f.gwy", Gwy(Comp("/0/mask", 'o', Field(2, 2, 4))), 0, "holds no image channel"},
        {"g.gwy", "GWYP" + Obj("GwyDataField", ""), 0, "not a GwyContainer"},
        {"h.gwy", Gwy(Comp("/0/title", 's', "no end")), 0, "runs past the end"},
        {"i.gwy", Gwy(field + Comp("/1/data", 'o', Field(3000, 2, 1))), 1, "i.gwy: channel /1/data: the image is 3000 * 2 pixel"},
        {"j.gwy", Gwy(field + Comp("/1/data", 'o', Field(2, 2, 3))), 1, "channel /1/data: xres * yres = 4 samples, the data hold 3"},
        {"k.gwy", Gwy(Comp("/0/data", 'o', Obj("GwyDataField", Comp("xres", 'i', Le32(1))))), 0, "has no yres"},
        {"a.gsf", "Gwyddion Simple Field 2.0\n" + std::string(4, '\0'), 0, "is no valid Gwyddion Simple Field file"},
        {"b.gsf", gsfHead, 0, "no NUL byte"},
        {"c.gsf", gsfHead + std::string(3, '\0') + "x" + std::string(8, '\0'), 0, "padding"},
        {"d.gsf", gsfHead + std::string(4, '\0') + std::string(7, '\0'), 0, "need 8 data bytes, the file has 7"},
        {"e.gsf", gsfHead + std::string(4, '\0') + std::string(12, '\0'), 0, "need 8 data bytes, the file has 12"},
        {"f.gsf", "Gwyddion Simple Field 1.0\nXRes = 2\n" + std::string(2, '\0') + std::string(8, '\0'), 0, "YRes is missing"},
        {"g.gsf", "Gwyddion Simple Field 1.0\nXRes = 1e12\nYRes = 1\n" + std::string(1, '\0'), 0, "is 1000000000000 * 1 pixel"},
        {"h.gsf", "Gwyddion Simple Field 1.0\nXRes = two\nYRes = 1\n" + std::string(4, '\0'), 0, "XRes \"two\" is no whole number"},
        {"a.sxm", sxm.substr(0, sxm.size() - 1), 0, "is no valid Nanonis file: truncated: 2 images of 4 * 3 samples need 96 bytes, 95 follow"},
        {"b.sxm", std::string(":SCAN_PIXELS:\n3 3\n:SCANIT_END:\n"), 0, "data mark 0x1A 0x04"},
        {"c.sxm", std::string(":SCAN_PIXELS:\n3000 3\n:SCAN_RANGE:\n1 1\n:DATA_INFO:\n\tName\tUnit\tDirection\n\tZ\tm\tforward\n:SCANIT_END:\n\x1a\x04"), 0, "the image is 3000 * 3 pixel"},
        {"d.sxm", std::string(":SCAN_PIXELS:\n1 1\n:SCAN_RANGE:\n1 1\n:DATA_INFO:\n\tName\tUnit\tDirection\n\tZ\tm\tbackward\n:SCANIT_END:\n\x1a\x04") + std::string(4, '\0'), 0, "direction \"backward\" of Z is neither forward nor both"},
        {"e.sxm", std::string(":SCAN_PIXELS:\n1\n:SCANIT_END:\n\x1a\x04"), 0, ":SCAN_PIXELS: \"1\" are not two numbers"},
        {"f.sxm", std::string(":SCAN_PIXELS:\n1 1\n:SCAN_RANGE:\n1 1\n:SCANIT_END:\n\x1a\x04"), 0, ":DATA_INFO: is missing"},
    };
    for (const auto& c : cases) {
        sink.Clear();
        const auto docs = Open(scratch.Write(c.Name, c.Bytes));
        EXPECT_EQ(docs.size(), c.Images) << c.Name;
        bool said = false;
        for (const std::string& t : Texts()) said = said || (t.find(c.Says) != std::string::npos && t.find(c.Name) != std::string::npos);
        EXPECT_TRUE(said) << c.Name << " said: " << (Texts().empty() ? "nothing" : Texts()[0]);
    }
}

// Cut short anywhere, a file is refused as a whole: never a crash, never a part of it.
TEST_F(FieldFiles, FilesCutShortAnywhereAreRefused) {
    const auto a = Doc(3, 2, [](int r, int c) { return 1.0f * r + c; });
    const auto b = Doc(2, 3, [](int r, int c) { return 5.0f * r - c; });
    const struct {
        const char* Name;
        std::string Bytes;
        size_t Images;  // when whole
    } files[] = {{"cut.gwy", BuildGwy({a.get(), b.get()}), 2},
                 {"cut.gsf", BuildGsf(*a), 1},
                 {"cut.sxm", ReadAll(Fields + "down-both.sxm"), 5}};
    for (const auto& f : files) {
        ASSERT_EQ(Open(scratch.Write(f.Name, f.Bytes)).size(), f.Images);
        for (size_t n = 0; n < f.Bytes.size(); ++n) {
            sink.Clear();
            std::filesystem::remove(scratch.Path(f.Name));  // a new file: no flush of the old one
            const auto docs = Open(scratch.Write(f.Name, f.Bytes.substr(0, n)));
            ASSERT_TRUE(docs.empty()) << f.Name << " cut at " << n;
            ASSERT_EQ(Texts().size(), 1u) << f.Name << " cut at " << n;
            ASSERT_NE(Texts()[0].find(f.Name), std::string::npos) << Texts()[0];
        }
    }
}

}  // namespace
