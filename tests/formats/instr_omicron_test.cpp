// Omicron parameter files and their data files, through TOmicron and the open flow.
#include "formats/Omicron.h"
#include "formats/OpenFlow.h"
#include "instr_util.h"

using namespace instr_test;

namespace {

struct TTopoChannel {
    char Direction = 'F';
    std::string Resolution = "0.5";
    std::string Unit = "nm";
    std::string File = "topo.tf0";
};
struct TSpectroChannel {
    std::string Resolution = "0.25";
    int Points = 3;
    std::string File = "spectro.tf2";
    int PointsX = 2, LinesY = 2;
};

// A parameter file: the fixed header (467 bytes), the scanner block, the topographic
// channels, then the spectroscopic ones.
std::string ParamFile(const std::vector<TTopoChannel>& topo, const std::vector<TSpectroChannel>& spectro,
                      int sizeX = 2, int sizeY = 2, const std::string& extraBeforeScanner = {})
{
    std::string head = ";\n; Omicron SPM Control - Parameter file\n;\nFormat                    : 1 ;\n";
    head += std::string(466 - head.size(), ' ') + "\n";
    std::string s = head + extraBeforeScanner;
    s += "Field X Size in nm        :    500.000 ;[nm]\n";
    s += "Field Y Size in nm        :    400.000 ;[nm]\n";
    s += "Image Size in X           :  " + std::to_string(sizeX) + " ;\n";
    s += "Image Size in Y           :  " + std::to_string(sizeY) + " ;\n";
    s += "Increment X               :      1.953 ;[nm]\r\n";
    s += "Increment Y               :      1.953 ;[nm]\n";
    s += "Scan Angle                :      0.000 ;[Degree]\n";
    s += "X Offset                  :     10.000 ;[nm]\n";
    s += "Y Offset                  :    -20.000 ;[nm]\n";
    s += ";\n";
    for (const auto& t : topo) {
        s += std::string("Topographic Channel             : ") + t.Direction + "orward ;Channel\n";
        s += "  Z                   ;Name\n";
        s += "  -32767              ;Minimum raw value\n";
        s += "  32766               ;Maximum raw value\n";
        s += "  -16383.5            ;Minimum value in physical unit\n";
        s += "  16383               ;Maximum value in physical unit\n";
        s += "  " + t.Resolution + "     ;Resolution\n";
        s += "  " + t.Unit + "      ;Physical unit\n";
        s += "  " + t.File + "      ;Filename\n";
        s += ";\n";
    }
    for (const auto& p : spectro) {
        s += "Spectroscopy Channel            : I(V) ;Channel\n";
        s += "  " + p.Resolution + "   ;Resolution\n";
        s += "  " + std::to_string(p.Points) + "   ;Number of spectroscopy points\n";
        s += "  " + p.File + "   ;Filename\n";
        s += "Spectroscopy Points in X  : " + std::to_string(p.PointsX) + " ;\n";
        s += "Spectroscopy Lines in Y   : " + std::to_string(p.LinesY) + " ;\n";
    }
    return s;
}

std::string Raw16(std::initializer_list<int16_t> values)
{
    TBytes b;
    for (int16_t v : values) b.U16BE(static_cast<uint16_t>(v));
    return b.Str();
}

class OmicronTest : public TInstrTest {
protected:
    int Load(const std::string& param, TMsgResult answer = TMsgResult::Yes)
    {
        sink.Answers = {answer};
        return LoadOmicron(scratch.Write("scan.par", param), target);
    }
    const std::string Question(int topo, int spectro) const
    {
        return "Found " + std::to_string(topo) + " topographic and" + std::to_string(spectro) +
               " spectroscopic image(s)\r       Read spectroscopy data?";
    }
    TKeepTarget target;
};

}  // namespace

TEST_F(OmicronTest, AnswerDecidesWhichKindsAreLoaded)
{
    scratch.Write("a.tf0", Raw16({1, 2, 3, 4}));
    scratch.Write("b.tf0", Raw16({5, 6, 7, 8}));
    scratch.Write("spectro.tf2", Raw16({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    TTopoChannel a, b;
    a.File = "a.tf0";
    b.File = "b.tf0";
    b.Direction = 'B';
    const std::string param = ParamFile({a, b}, {TSpectroChannel{}});

    EXPECT_EQ(Load(param, TMsgResult::Yes), 5);
    ASSERT_EQ(sink.Shown.size(), 1u);
    EXPECT_EQ(sink.Shown[0].Text, Question(2, 1));
    EXPECT_EQ(sink.Shown[0].Buttons, TMsgButtons::YesNoCancel);
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Information);
    EXPECT_TRUE(sink.Shown[0].Placed);
    ASSERT_EQ(target.Docs.size(), 5u);
    EXPECT_EQ(target.Docs[0]->Title, scratch.Dir() + "/a.tf0 :F channel");
    EXPECT_EQ(target.Docs[1]->Title, scratch.Dir() + "/b.tf0 :B channel");
    EXPECT_EQ(target.Docs[0]->FileName, "a.tf0");
    // spectroscopy maps: the data file's name before the point number
    EXPECT_EQ(target.Docs[2]->Title, "spectro.tf2 - 1");
    EXPECT_EQ(target.Docs[4]->Title, "spectro.tf2 - 3");
    EXPECT_EQ(target.Docs[4]->FileName, "spectro.tf2");

    target.Docs.clear();
    sink.Clear();
    EXPECT_EQ(Load(param, TMsgResult::No), 2);
    EXPECT_EQ(target.Docs.size(), 2u);

    target.Docs.clear();
    sink.Clear();
    EXPECT_EQ(Load(param, TMsgResult::Cancel), 0);
    EXPECT_TRUE(target.Docs.empty());
    EXPECT_EQ(Texts(), std::vector<std::string>{Question(2, 1)});
}

TEST_F(OmicronTest, TopographySamplesRangesAndUnits)
{
    // FF FE is -2 raw; the first line of the file is the bottom row
    scratch.Write("topo.tf0", TBytes().U8(0xFF).U8(0xFE).Str() + Raw16({32767, -32768, 3}));
    EXPECT_EQ(Load(ParamFile({TTopoChannel{}}, {})), 1);
    ASSERT_EQ(target.Docs.size(), 1u);
    const TImageDoc& doc = *target.Docs[0];
    EXPECT_EQ(doc.Picture.At(0, 0), -1.0f);
    EXPECT_EQ(doc.Picture.At(0, 1), 16383.5f);
    EXPECT_EQ(doc.Picture.At(1, 0), -16384.0f);
    EXPECT_EQ(doc.Picture.At(1, 1), 1.5f);
    const TScanPara& p = doc.Picture.Para;
    EXPECT_DOUBLE_EQ(p.XScanRange, 500.0);
    EXPECT_DOUBLE_EQ(p.YScanRange, 400.0);
    EXPECT_EQ(p.XPhysUnit, "nm");
    EXPECT_EQ(p.YPhysUnit, "nm");
    EXPECT_EQ(p.PhysUnit, "nm");
    // the whole parameter file, one line per line feed
    ASSERT_GT(doc.ScanInfo.size(), 10u);
    EXPECT_EQ(doc.ScanInfo[1], "; Omicron SPM Control - Parameter file");
    EXPECT_EQ(std::count(doc.ScanInfo.begin(), doc.ScanInfo.end(), "  topo.tf0      ;Filename"), 1);
    EXPECT_EQ(std::count(doc.ScanInfo.begin(), doc.ScanInfo.end(), "Increment X               :      1.953 ;[nm]"), 1);
    EXPECT_EQ(Texts(), std::vector<std::string>{});
}

TEST_F(OmicronTest, ParsedChannelTables)
{
    TTopoChannel v, a;
    v.Unit = "V";
    v.Resolution = "1.5E-3";
    v.Direction = 'B';
    a.Unit = "nA";
    a.File = "current.tf1";
    const std::string path = scratch.Write("x.par", ParamFile({v, a}, {TSpectroChannel{}}, 3, 4));
    sink.Answers = {TMsgResult::Yes};
    TOmicron om;
    ASSERT_TRUE(om.Convert(path));
    EXPECT_DOUBLE_EQ(om.Scanner.FieldXSize, 500.0);
    EXPECT_DOUBLE_EQ(om.Scanner.FieldYSize, 400.0);
    EXPECT_DOUBLE_EQ(om.Scanner.ImageSizeX, 3.0);
    EXPECT_DOUBLE_EQ(om.Scanner.ImageSizeY, 4.0);
    EXPECT_DOUBLE_EQ(om.Scanner.YOffset, -20.0);
    ASSERT_EQ(om.Count(0), 2);
    ASSERT_EQ(om.Count(1), 1);
    EXPECT_EQ(om.DataFolder, scratch.Dir() + "/");
    EXPECT_EQ(om.Topo[1].Direction, 'B');
    EXPECT_EQ(om.Topo[1].Unit, "");  // "V" is no known unit
    EXPECT_FLOAT_EQ(om.Topo[1].Resolution, 1.5e-3f);
    EXPECT_FLOAT_EQ(om.Topo[1].MinPhys, -16383.5f);
    EXPECT_EQ(om.Topo[1].PixelsX, 3);
    EXPECT_EQ(om.Topo[1].PixelsY, 4);
    EXPECT_EQ(om.Topo[2].Unit, "nA");
    EXPECT_EQ(om.Topo[2].FileName, scratch.Dir() + "/current.tf1");
    EXPECT_EQ(om.Spectro[1].PointCount, 3);
    EXPECT_EQ(om.Spectro[1].FileName, scratch.Dir() + "/spectro.tf2");

    // a z unit of "V" leaves the image's unit empty
    scratch.Write("topo.tf0", Raw16({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1000}));
    scratch.Write("current.tf1", Raw16({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    sink.Clear();
    EXPECT_EQ(Load(ParamFile({v, a}, {}, 3, 4)), 2);
    EXPECT_EQ(target.Docs[0]->Picture.Para.PhysUnit, "");
    EXPECT_EQ(target.Docs[1]->Picture.Para.PhysUnit, "nA");
}

TEST_F(OmicronTest, OblongImagesReadLineByLine)
{
    // 3 pixels in x, 2 lines: the file holds two lines of three
    scratch.Write("topo.tf0", Raw16({1, 2, 3, 4, 5, 6}));
    TTopoChannel t;
    t.Resolution = "1";
    EXPECT_EQ(Load(ParamFile({t}, {}, 3, 2)), 1);
    const TQTVPicture& pic = target.Docs.at(0)->Picture;
    ASSERT_EQ(pic.Cols, 3);
    ASSERT_EQ(pic.Rows, 2);
    EXPECT_EQ(pic.At(0, 0), 1.0f);
    EXPECT_EQ(pic.At(0, 2), 3.0f);
    EXPECT_EQ(pic.At(1, 0), 4.0f);
    EXPECT_EQ(pic.At(1, 2), 6.0f);

    target.Docs.clear();
    scratch.Write("topo.tf0", Raw16({1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Load(ParamFile({t}, {}, 2, 3)), 1);
    const TQTVPicture& tall = target.Docs.at(0)->Picture;
    ASSERT_EQ(tall.Cols, 2);
    ASSERT_EQ(tall.Rows, 3);
    EXPECT_EQ(tall.At(1, 0), 3.0f);
    EXPECT_EQ(tall.At(2, 1), 6.0f);
}

TEST_F(OmicronTest, SpectroscopyMapsFollowEachOther)
{
    scratch.Write("spectro.tf2", Raw16({1, 2, 3, 4, 10, 20, 30, 40, -4, -8, -12, -16}));
    EXPECT_EQ(Load(ParamFile({}, {TSpectroChannel{}})), 3);
    ASSERT_EQ(target.Docs.size(), 3u);
    EXPECT_EQ(target.Docs[0]->Picture.At(0, 0), 0.25f);
    EXPECT_EQ(target.Docs[1]->Picture.At(1, 1), 10.0f);
    EXPECT_EQ(target.Docs[2]->Picture.At(0, 1), -2.0f);
    // no scan ranges or units for spectroscopy
    EXPECT_EQ(target.Docs[2]->Picture.Para.XScanRange, 0.0);
    EXPECT_EQ(target.Docs[2]->Picture.Para.XPhysUnit, "");
    EXPECT_EQ(Texts(), std::vector<std::string>{Question(0, 1)});
}

TEST_F(OmicronTest, MissingOrForeignParameterFile)
{
    const std::string missing = scratch.Path("none.par");
    EXPECT_EQ(LoadOmicron(missing, target), 0);
    ASSERT_EQ(Texts(), std::vector<std::string>{"File " + missing + " does not exist, Conversion aborted"});
    EXPECT_TRUE(sink.Shown[0].Placed);
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Error);

    sink.Clear();
    TOmicron om;
    EXPECT_FALSE(om.Convert(missing));

    // the header text must lie in the first 254 bytes
    sink.Clear();
    std::string foreign = std::string(300, ' ') + ParamFile({TTopoChannel{}}, {});
    EXPECT_EQ(Load(foreign), 0);
    EXPECT_EQ(Texts(), std::vector<std::string>{"File-Format mismatch!"});
    EXPECT_TRUE(sink.Shown[0].Placed);

    sink.Clear();
    EXPECT_EQ(Load(std::string("Parameter file for SPM data\n")), 0);
    EXPECT_TRUE(Texts().empty());  // nothing found: nothing to ask
}

TEST_F(OmicronTest, DataFileMissingOrShort)
{
    TTopoChannel gone, cut;
    gone.File = "gone.tf0";
    cut.File = "cut.tf0";
    scratch.Write("cut.tf0", Raw16({7, 8, 9}));
    EXPECT_EQ(Load(ParamFile({gone, cut}, {})), 1);
    const std::string dir = scratch.Dir() + "/";
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Cannot open file " + dir + "gone.tf0",
                                                  "File " + dir + "cut.tf0 is truncated: only 3 of 4 samples read"}));
    EXPECT_EQ(target.Discarded, 1);
    ASSERT_EQ(target.Docs.size(), 1u);
    EXPECT_EQ(target.Docs[0]->Picture.At(1, 0), 4.5f);
    EXPECT_EQ(target.Docs[0]->Picture.At(1, 1), 0.0f);

    // an empty data file gives no image
    sink.Clear();
    target.Docs.clear();
    scratch.Write("cut.tf0", "");
    EXPECT_EQ(Load(ParamFile({cut}, {})), 0);
    EXPECT_EQ(target.Discarded, 2);
}

TEST_F(OmicronTest, HostilePointCountStopsWhereTheDataEnds)
{
    TSpectroChannel s;
    s.Points = 2000000000;
    scratch.Write("spectro.tf2", Raw16({1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(Load(ParamFile({}, {s})), 3);  // two full maps and one with a single sample
    EXPECT_EQ(Texts(), (std::vector<std::string>{Question(0, 1), "File " + scratch.Dir() +
                                                                     "/spectro.tf2 is truncated: only 1 of 4 samples read"}));
    ASSERT_EQ(target.Docs.size(), 3u);
    EXPECT_EQ(target.Docs[2]->Picture.At(0, 0), 2.25f);

    // a target that refuses further windows ends the load after one report
    sink.Clear();
    TKeepTarget limited;
    limited.Limit = 1;
    scratch.Write("spectro.tf2", Raw16({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    sink.Answers = {TMsgResult::Yes};
    EXPECT_EQ(LoadOmicron(scratch.Write("s.par", ParamFile({}, {s})), limited), 1);
    EXPECT_EQ(Texts(), (std::vector<std::string>{Question(0, 1), "Error during loading!"}));
}

TEST_F(OmicronTest, ImpossibleImageSizesAreRefused)
{
    scratch.Write("topo.tf0", Raw16({1, 2, 3, 4}));
    EXPECT_EQ(Load(ParamFile({TTopoChannel{}}, {}, 0, 2)), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Picture too small!"}));

    sink.Clear();
    EXPECT_EQ(Load(ParamFile({TTopoChannel{}}, {}, 100000, 100000)), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Picture too large! 100000 * 100000 pixel, at most 2053 * 2053"}));

    sink.Clear();
    TSpectroChannel s;
    s.LinesY = -3;
    EXPECT_EQ(Load(ParamFile({}, {s})), 0);
    EXPECT_EQ(Texts(), (std::vector<std::string>{Question(0, 1), "Picture too small!"}));
    EXPECT_TRUE(target.Docs.empty());
}

TEST_F(OmicronTest, MalformedParameterFilesEndTheSearchCleanly)
{
    // nine channels of each kind: the ninth is left out, and the user told so
    std::vector<TTopoChannel> nine(9);
    std::vector<TSpectroChannel> nineSpectro(9, TSpectroChannel{});
    for (auto& s : nineSpectro) s.Points = 0;
    scratch.Write("topo.tf0", Raw16({1, 2, 3, 4}));
    EXPECT_EQ(Load(ParamFile(nine, nineSpectro)), 8);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"More than 8 channels of one kind: only the first 8 are read",
                                                  Question(8, 8)}));

    // the file ends inside the scanner block: nothing found, no hang
    sink.Clear();
    std::string cut = ParamFile({TTopoChannel{}}, {});
    cut.resize(cut.find("Image Size in X"));
    EXPECT_EQ(Load(cut), 0);
    EXPECT_EQ(Texts(), std::vector<std::string>{});

    // the file ends inside a channel block: that channel is not counted
    sink.Clear();
    cut = ParamFile({TTopoChannel{}, TTopoChannel{}}, {});
    cut.resize(cut.rfind(";Resolution"));
    EXPECT_EQ(Load(cut), 1);
    EXPECT_EQ(Texts(), std::vector<std::string>{});

    // lines far longer than 255 bytes, without a single line feed at the end
    sink.Clear();
    const std::string longLine = std::string(5000, 'x') + "Topographic Channel             : F\n";
    std::string withLong = ParamFile({TTopoChannel{}}, {}, 2, 2, longLine) + std::string(100000, 'y');
    EXPECT_EQ(Load(withLong), 1);
    EXPECT_EQ(Texts(), std::vector<std::string>{});

    // a scanner value that is no number ends the load with the load error
    sink.Clear();
    std::string bad = ParamFile({TTopoChannel{}}, {});
    bad.replace(bad.find("500.000"), 7, "5x0.000");
    EXPECT_EQ(Load(bad), 0);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Error during loading!"});
}
