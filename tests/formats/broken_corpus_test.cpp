// Broken files of every format: the corpus under tests/data/broken with its MANIFEST,
// and families made here at run time (truncation at every offset, absurd sizes patched
// into valid headers, 10 MB of garbage). Every load must survive, leave only whole
// images, and never present a file it could not read completely without saying so.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
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

// A scratch folder for one test, removed afterwards.
class TScratch {
public:
    TScratch() {
        std::string templ = (fs::temp_directory_path() / "morvane-broken-XXXXXX").string();
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        dir_ = buf.data();
    }
    ~TScratch() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    // Copies corpus files (relative to the corpus) into the scratch folder.
    void Copy(const std::string& sub, std::initializer_list<const char*> names) const {
        for (const char* n : names) fs::copy_file(Corpus + sub + "/" + n, Path(n), fs::copy_options::overwrite_existing);
    }

private:
    std::string dir_;
};

int ImagesOf(const TLoadResult& r) {
    int n = 0;
    for (const auto& d : r.Target->Docs) n += d->Picture.HasData() ? 1 : 0;
    return n;
}

bool SaidAnything(const TLoadResult& r) { return !r.Messages.empty() || r.Threw; }

std::string Describe(const TLoadResult& r) {
    std::string s = std::to_string(ImagesOf(r)) + " image(s), " +
                    std::to_string(r.Finished() - ImagesOf(r)) + " empty window(s)";
    if (r.Threw) s += ", threw \"" + r.Exception + "\"";
    s += ", messages:";
    if (r.Messages.empty()) s += " none";
    for (const TMessage& m : r.Messages) {
        std::string t = m.Text;
        for (char& ch : t)
            if (ch == '\r' || ch == '\n') ch = '|';
        s += " [" + t + "]";
    }
    for (const std::string& p : r.Problems()) s += "\n  PROBLEM: " + p;
    return s;
}

// How a path is opened: native, burleigh, topometrix, bitmap, omicron:<answer>.
TLoadResult Open(const std::string& path, const std::string& how) {
    TAnswers a;
    if (how == "native") return morvane_harness::LoadNative(path, a);
    if (how == "burleigh") return morvane_harness::LoadSingle(path, TFileKind::Burleigh, a);
    if (how == "topometrix") return morvane_harness::LoadSingle(path, TFileKind::TopoMetrix, a);
    if (how == "bitmap") return morvane_harness::LoadSingle(path, TFileKind::Bitmap, a);
    if (how.rfind("omicron", 0) == 0) {
        std::string answer = how.size() > 8 ? how.substr(8) : "yes";
        a.Queue = {answer == "no" ? TMsgResult::No : answer == "cancel" ? TMsgResult::Cancel : TMsgResult::Yes};
        a.Default = TMsgResult::OK;
        return morvane_harness::LoadOmicronFile(path, a);
    }
    throw std::invalid_argument("unknown way to open: " + how);
}

// ---------------------------------------------------------------- the manifest
std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

std::vector<std::string> Split(const std::string& s, const std::string& sep) {
    std::vector<std::string> parts;
    size_t start = 0, cut;
    while ((cut = s.find(sep, start)) != std::string::npos) {
        parts.push_back(Trim(s.substr(start, cut - start)));
        start = cut + sep.size();
    }
    parts.push_back(Trim(s.substr(start)));
    return parts;
}

struct TExpectation {
    int Line = 0;
    std::string Path, How, Images;
    std::vector<std::string> Messages;
};

std::vector<TExpectation> ReadManifest() {
    std::ifstream in(Corpus + "MANIFEST");
    std::vector<TExpectation> all;
    std::string line;
    int no = 0;
    while (std::getline(in, line)) {
        ++no;
        if (Trim(line).empty() || Trim(line)[0] == '#') continue;
        // "a || b" inside a messages field: hide the alternatives from the field split
        std::string hidden = line;
        for (size_t at; (at = hidden.find("||")) != std::string::npos;) hidden.replace(at, 2, "\x01");
        std::vector<std::string> fields = Split(hidden, "|");
        for (std::string& field : fields)
            for (size_t at; (at = field.find('\x01')) != std::string::npos;) field.replace(at, 1, "||");
        if (fields.size() < 3) throw std::runtime_error("MANIFEST line " + std::to_string(no) + " is incomplete");
        TExpectation e;
        e.Line = no;
        e.Path = fields[0];
        e.How = fields[1];
        e.Images = fields[2];
        e.Messages.assign(fields.begin() + 3, fields.end());
        all.push_back(e);
    }
    return all;
}

bool CountMatches(const std::string& pattern, int n) {
    if (pattern == "*") return true;
    for (const std::string& alt : Split(pattern, ",")) {
        size_t dash = alt.find('-');
        if (dash == std::string::npos) {
            if (std::stoi(alt) == n) return true;
        } else if (n >= std::stoi(alt.substr(0, dash)) && n <= std::stoi(alt.substr(dash + 1))) {
            return true;
        }
    }
    return false;
}

bool Holds(const TExpectation& e, const TLoadResult& r) {
    if (!CountMatches(e.Images, ImagesOf(r))) return false;
    for (const std::string& field : e.Messages) {
        if (field == "(any)") {
            if (!SaidAnything(r)) return false;
        } else if (field == "(none)") {
            if (SaidAnything(r)) return false;
        } else if (field == "(throws)") {
            if (!r.Threw) return false;
        } else {
            bool any = false;
            for (const std::string& alt : Split(field, "||")) any = any || r.Said(alt);
            if (!any) return false;
        }
    }
    return true;
}

}  // namespace

// Every file of the corpus: its line(s) in the MANIFEST hold, and nothing breaks.
TEST(BrokenCorpus, EveryFileGivesTheOutcomeItsManifestLineNames) {
    SetDecimalSeparator('.');
    std::vector<TExpectation> all = ReadManifest();
    ASSERT_GT(all.size(), 100u);
    std::map<std::pair<std::string, std::string>, std::vector<TExpectation>> groups;
    std::vector<std::pair<std::string, std::string>> order;
    for (const TExpectation& e : all) {
        auto key = std::make_pair(e.Path, e.How);
        if (!groups.count(key)) order.push_back(key);
        groups[key].push_back(e);
    }
    for (const auto& key : order) {
        if (key.second.rfind("palette:", 0) == 0) continue;  // palette files: test_palette reads them
        SCOPED_TRACE(key.first + " opened as " + key.second);
        TLoadResult r;
        try {
            r = Open(Corpus + key.first, key.second);
        } catch (const std::exception& ex) {
            ADD_FAILURE() << "exception escaped the load: " << ex.what();
            continue;
        }
        EXPECT_TRUE(r.Problems().empty()) << Describe(r);
        bool holds = false;
        std::string wanted;
        for (const TExpectation& e : groups[key]) {
            holds = holds || Holds(e, r);
            wanted += "\n  line " + std::to_string(e.Line) + ": images " + e.Images;
            for (const std::string& m : e.Messages) wanted += " | " + m;
        }
        EXPECT_TRUE(holds) << "got " << Describe(r) << "\nwanted one of:" << wanted;
    }
}

// A file added to the corpus without an expectation would be silently skipped.
TEST(BrokenCorpus, EveryCorpusFileHasAManifestLine) {
    std::set<std::string> listed;
    for (const TExpectation& e : ReadManifest()) listed.insert(e.Path);
    const std::set<std::string> opened = {".txt", ".img", ".tfp", ".bmp", ".par"};
    for (const auto& entry : fs::recursive_directory_iterator(Corpus)) {
        if (!entry.is_regular_file() || !opened.count(entry.path().extension().string())) continue;
        std::string rel = fs::relative(entry.path(), Corpus).generic_string();
        EXPECT_TRUE(listed.count(rel)) << rel << " has no line in the MANIFEST";
    }
}

// ---------------------------------------------------------------- generated families
namespace {

// Collects failures of a family and reports the first few, so that one fault does not
// produce hundreds of lines.
class TFamily {
public:
    explicit TFamily(std::string name) : name_(std::move(name)) {}
    void Fail(const std::string& what) {
        if (shown_ < 6) ADD_FAILURE() << name_ << ": " << what;
        ++shown_;
    }
    ~TFamily() {
        if (shown_ > 6) ADD_FAILURE() << name_ << ": " << shown_ << " failures in all";
    }

private:
    std::string name_;
    int shown_ = 0;
};

// Sound whatever the input: no broken image, no document lost, and an image that was
// presented although its file could not be read whole comes with a message.
void CheckSurvived(TFamily& family, const std::string& label, const TLoadResult& r) {
    if (!r.Problems().empty()) family.Fail(label + ": " + Describe(r));
}

}  // namespace

// Every prefix of a valid single-file image that lacks sample (or header) bytes: the
// load either presents no image or says that the file was incomplete. (Bitmap rows are
// padded to 4 bytes; a file cut only in the padding of its last row is whole.)
TEST(BrokenCorpus, TruncatedSingleFilesAreNeverShownAsWhole) {
    struct TBase { const char* path; TFileKind kind; const char* name; size_t padding; } bases[] = {
        {"burleigh/ok.img", TFileKind::Burleigh, "cut.img", 0},
        {"topometrix/ok.tfp", TFileKind::TopoMetrix, "cut.tfp", 0},
        {"bitmap/ok8.bmp", TFileKind::Bitmap, "cut.bmp", 1},
        {"bitmap/ok24.bmp", TFileKind::Bitmap, "cut.bmp", 2},
    };
    TScratch scratch;
    for (const TBase& b : bases) {
        TFamily family(std::string("truncated ") + b.path);
        const std::string whole = ReadBytes(Corpus + b.path);
        ASSERT_GT(whole.size(), b.padding) << b.path;
        for (size_t n = 0; n < whole.size(); ++n) {
            WriteBytes(scratch.Path(b.name), whole.substr(0, n));
            TLoadResult r = morvane_harness::LoadSingle(scratch.Path(b.name), b.kind);
            std::string label = "cut at " + std::to_string(n) + " of " + std::to_string(whole.size());
            CheckSurvived(family, label, r);
            if (n < whole.size() - b.padding && ImagesOf(r) > 0 && !SaidAnything(r))
                family.Fail(label + ": shown without a word: " + Describe(r));
        }
    }
}

// Native data files cut short: the current generation names the file ("File <name> to
// short"), the old generation must not present the image silently either.
TEST(BrokenCorpus, TruncatedNativeDataFilesAreReported) {
    SetDecimalSeparator('.');
    TScratch scratch;
    scratch.Copy("native", {"ok-112.txt", "ok-101.txt", "ok-a.int", "ok-b.sin"});
    // the samples of each channel read from the whole file
    TLoadResult full = morvane_harness::LoadNative(scratch.Path("ok-112.txt"));
    ASSERT_EQ(full.Finished(), 2) << Describe(full);
    auto docOf = [](const TLoadResult& r, const std::string& name) -> const TImageDoc* {
        for (const auto& d : r.Target->Docs)
            if (d->FileName == name && d->Picture.HasData()) return d.get();
        return nullptr;
    };
    for (const char* data : {"ok-a.int", "ok-b.sin"}) {
        TFamily family(std::string("truncated ") + data);
        const std::string whole = ReadBytes(Corpus + "native/" + data);
        const TImageDoc* reference = docOf(full, data);
        ASSERT_NE(reference, nullptr);
        const bool topDown = std::string(data).find(".int") != std::string::npos;
        for (size_t n = 0; n < whole.size(); ++n) {
            WriteBytes(scratch.Path(data), whole.substr(0, n));
            std::string label = "cut at " + std::to_string(n);
            TLoadResult r = morvane_harness::LoadNative(scratch.Path("ok-112.txt"));
            CheckSurvived(family, label, r);
            if (!r.Said(std::string("File ") + data + " to short"))
                family.Fail(label + ": no \"to short\" message: " + Describe(r));
            // values the file holds in full are read; every other sample stays 0.0
            if (const TImageDoc* doc = docOf(r, data)) {
                const TQTVPicture& p = doc->Picture, &ref = reference->Picture;
                for (int32_t k = 0; k < p.Rows * p.Cols; ++k) {
                    const int32_t row = topDown ? p.Rows - 1 - k / p.Cols : k / p.Cols, col = k % p.Cols;
                    const float want = static_cast<size_t>(k) < n / 4 ? ref.Data[row][col] : 0.0f;
                    if (std::memcmp(&p.Data[row][col], &want, sizeof want) != 0)
                        family.Fail(label + ": sample " + std::to_string(k) + " is " +
                                    std::to_string(p.Data[row][col]) + ", not " + std::to_string(want));
                }
            }
            if (std::string(data) == "ok-a.int") {
                TLoadResult old = morvane_harness::LoadNative(scratch.Path("ok-101.txt"));
                CheckSurvived(family, "old generation " + label, old);
                if (ImagesOf(old) > 0 && !SaidAnything(old))
                    family.Fail("old generation " + label + ": shown without a word: " + Describe(old));
            }
        }
        WriteBytes(scratch.Path(data), whole);
    }
}

// Parameter files cut anywhere: whatever part of the header survives, the load ends
// soundly and never offers more channels than the whole file has.
TEST(BrokenCorpus, TruncatedParameterFilesEndSoundly) {
    SetDecimalSeparator('.');
    TScratch scratch;
    scratch.Copy("native", {"ok-a.int", "ok-b.sin"});
    scratch.Copy("omicron", {"ok-tfwd.tf0", "ok-tbwd.tb0", "ok-points.sp0"});
    struct TBase { const char* sub; const char* name; int most; } bases[] = {
        {"native", "ok-112.txt", 2}, {"native", "ok-101.txt", 2}, {"native", "cr-only.txt", 2},
        {"omicron", "ok.par", 5}};
    for (const TBase& b : bases) {
        TFamily family(std::string("truncated ") + b.name);
        const std::string whole = ReadBytes(Corpus + b.sub + "/" + b.name);
        for (size_t n = 0; n < whole.size(); ++n) {
            WriteBytes(scratch.Path(b.name), whole.substr(0, n));
            std::string label = "cut at " + std::to_string(n);
            TLoadResult r = std::string(b.sub) == "native" ? Open(scratch.Path(b.name), "native")
                                                           : Open(scratch.Path(b.name), "omicron:yes");
            CheckSurvived(family, label, r);
            if (ImagesOf(r) > b.most) family.Fail(label + ": more images than channels: " + Describe(r));
        }
    }
}

// Omicron data files cut short: a topographic image is not presented silently.
TEST(BrokenCorpus, TruncatedOmicronDataFilesAreReported) {
    TScratch scratch;
    scratch.Copy("omicron", {"ok.par", "ok-tfwd.tf0", "ok-tbwd.tb0", "ok-points.sp0"});
    const std::string whole = ReadBytes(Corpus + "omicron/ok-tfwd.tf0");
    TFamily family("truncated ok-tfwd.tf0");
    for (size_t n = 0; n < whole.size(); ++n) {
        WriteBytes(scratch.Path("ok-tfwd.tf0"), whole.substr(0, n));
        TLoadResult r = Open(scratch.Path("ok.par"), "omicron:no");
        std::string label = "cut at " + std::to_string(n);
        CheckSurvived(family, label, r);
        bool reported = r.Threw;
        for (const TMessage& m : r.Messages) reported = reported || m.Text.rfind("Found ", 0) != 0;
        if (ImagesOf(r) == 2 && !reported) family.Fail(label + ": both images shown without a word: " + Describe(r));
    }
}

// Absurd sizes patched into the headers of valid files: 0, -1, 2053, 2054, 65535, 2^31,
// 2^31-1 (a bitmap's negative height counts by its magnitude: a top-down bitmap).
// Sizes outside 1..2053 give no image and a message; 2053 needs far more data than
// these files hold, so it too gives no image or a message.
TEST(BrokenCorpus, AbsurdHeaderSizesAreRefused) {
    struct TField { const char* path; TFileKind kind; const char* name; size_t offset; int width; } fields[] = {
        {"burleigh/ok.img", TFileKind::Burleigh, "size.img", 4, 2},
        {"burleigh/ok.img", TFileKind::Burleigh, "size.img", 6, 2},
        {"topometrix/ok.tfp", TFileKind::TopoMetrix, "size.tfp", 406, 4},
        {"topometrix/ok.tfp", TFileKind::TopoMetrix, "size.tfp", 410, 4},
        {"bitmap/ok8.bmp", TFileKind::Bitmap, "size.bmp", 18, 4},
        {"bitmap/ok8.bmp", TFileKind::Bitmap, "size.bmp", 22, 4},
        {"bitmap/ok24.bmp", TFileKind::Bitmap, "size.bmp", 18, 4},
        {"bitmap/ok24.bmp", TFileKind::Bitmap, "size.bmp", 22, 4},
    };
    const int64_t values[] = {0, -1, 2053, 2054, 65535, int64_t(1) << 31, (int64_t(1) << 31) - 1};
    TScratch scratch;
    for (const TField& f : fields) {
        TFamily family(std::string(f.path) + " size at offset " + std::to_string(f.offset));
        const std::string whole = ReadBytes(Corpus + f.path);
        for (int64_t v : values) {
            std::string bytes = whole;
            uint32_t u = static_cast<uint32_t>(v);
            for (int i = 0; i < f.width; ++i) bytes[f.offset + i] = static_cast<char>((u >> (8 * i)) & 0xFF);
            int64_t effective = f.width == 2 ? int64_t(int16_t(u & 0xFFFF)) : int64_t(int32_t(u));
            // a negative bitmap height is a top-down bitmap of that many rows; one row
            // of a file holding more is a valid image
            const bool topDown = f.kind == TFileKind::Bitmap && f.offset == 22 && effective < 0;
            if (topDown) effective = -effective;
            WriteBytes(scratch.Path(f.name), bytes);
            TLoadResult r = morvane_harness::LoadSingle(scratch.Path(f.name), f.kind);
            std::string label = "size " + std::to_string(v) + " (read as " + std::to_string(effective) + ")";
            CheckSurvived(family, label, r);
            if (effective <= 0 || effective > 2053) {
                if (ImagesOf(r) != 0) family.Fail(label + ": an image was made: " + Describe(r));
                if (effective != 0 && !SaidAnything(r)) family.Fail(label + ": refused without a word");
            } else if (ImagesOf(r) > 0 && !SaidAnything(r) && !topDown) {
                family.Fail(label + ": shown without a word: " + Describe(r));
            }
        }
    }
}

// 10 MB of garbage, alone and behind valid headers that ask for the largest image.
TEST(BrokenCorpus, TenMegabytesOfGarbageAreSurvived) {
    SetDecimalSeparator('.');
    std::string garbage(10u << 20, '\0');
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (char& ch : garbage) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        ch = static_cast<char>(state >> 56);
    }
    garbage[0] = 'Z';  // no format mark by chance
    TScratch scratch;
    TFamily family("garbage");

    for (const char* how : {"native", "burleigh", "topometrix", "bitmap", "omicron:yes"}) {
        const std::string name = std::string("garbage.") +
            (how[0] == 'n' ? "txt" : how[0] == 'b' && how[1] == 'u' ? "img" : how[0] == 't' ? "tfp"
                                   : how[0] == 'b' ? "bmp" : "par");
        WriteBytes(scratch.Path(name), garbage);
        TLoadResult r = Open(scratch.Path(name), how);
        CheckSurvived(family, std::string("pure garbage as ") + how, r);
        if (ImagesOf(r) > 0 && !SaidAnything(r)) family.Fail(std::string(how) + ": garbage shown without a word");
    }
    std::remove(scratch.Path("garbage.txt").c_str());

    // valid headers asking for 2053 x 2053, garbage behind them (enough for every sample)
    std::string burleigh = std::string("\x66\x66\x06\x40\x05\x08\x05\x08", 8) + garbage;
    WriteBytes(scratch.Path("big.img"), burleigh);
    CheckSurvived(family, "Burleigh 2053 x 2053", morvane_harness::LoadSingle(scratch.Path("big.img"), TFileKind::Burleigh));

    std::string topo = ReadBytes(Corpus + "topometrix/ok.tfp").substr(0, 512);
    topo.replace(406, 8, std::string("\x05\x08\0\0\x05\x08\0\0", 8));
    WriteBytes(scratch.Path("big.tfp"), topo + garbage);
    CheckSurvived(family, "TopoMetrix 2053 x 2053", morvane_harness::LoadSingle(scratch.Path("big.tfp"), TFileKind::TopoMetrix));

    std::string bmp = ReadBytes(Corpus + "bitmap/ok8.bmp").substr(0, 1078);
    bmp.replace(18, 8, std::string("\x05\x08\0\0\x05\x08\0\0", 8));
    WriteBytes(scratch.Path("big.bmp"), bmp + garbage);
    CheckSurvived(family, "bitmap 2053 x 2053", morvane_harness::LoadSingle(scratch.Path("big.bmp"), TFileKind::Bitmap));

    // native: valid parameter file, both data files replaced by garbage
    scratch.Copy("native", {"ok-112.txt"});
    WriteBytes(scratch.Path("ok-a.int"), garbage);
    WriteBytes(scratch.Path("ok-b.sin"), garbage);
    TLoadResult native = Open(scratch.Path("ok-112.txt"), "native");
    CheckSurvived(family, "native with garbage data", native);
    EXPECT_EQ(ImagesOf(native), 2) << Describe(native);

    // Omicron: valid parameter file, garbage data files
    scratch.Copy("omicron", {"ok.par"});
    for (const char* d : {"ok-tfwd.tf0", "ok-tbwd.tb0", "ok-points.sp0"}) WriteBytes(scratch.Path(d), garbage);
    TLoadResult omicron = Open(scratch.Path("ok.par"), "omicron:yes");
    CheckSurvived(family, "Omicron with garbage data", omicron);
    EXPECT_EQ(ImagesOf(omicron), 5) << Describe(omicron);
}
