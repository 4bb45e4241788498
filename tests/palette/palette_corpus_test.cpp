// The palette files of the broken-file corpus: each read as its MANIFEST line says
// gives the entries and messages named there.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "core/Messages.h"
#include "palette/PaletteFiles.h"

namespace fs = std::filesystem;

namespace {

const std::string Corpus = MORVANE_TEST_DATA "/broken/";

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

struct TLine {
    int No = 0;
    std::string Path;
    TPaletteKind Kind = TPaletteKind::None;
    int Entries = 0;
    std::vector<std::string> Messages;
};

// The palette lines of the MANIFEST.
std::vector<TLine> PaletteLines() {
    std::ifstream in(Corpus + "MANIFEST");
    std::vector<TLine> lines;
    std::string text;
    int no = 0;
    while (std::getline(in, text)) {
        ++no;
        if (Trim(text).empty() || Trim(text)[0] == '#') continue;
        std::vector<std::string> fields;
        size_t start = 0, cut;
        while ((cut = text.find('|', start)) != std::string::npos) {
            fields.push_back(Trim(text.substr(start, cut - start)));
            start = cut + 1;
        }
        fields.push_back(Trim(text.substr(start)));
        if (fields.size() < 3 || fields[1].rfind("palette:", 0) != 0) continue;
        TLine l;
        l.No = no;
        l.Path = fields[0];
        const std::string kind = fields[1].substr(8);
        l.Kind = kind == "jasc" ? TPaletteKind::Jasc : kind == "text" ? TPaletteKind::Text : TPaletteKind::Binary;
        l.Entries = std::stoi(fields[2]);
        l.Messages.assign(fields.begin() + 3, fields.end());
        lines.push_back(l);
    }
    return lines;
}

int EntryOf(const TColours& c, int i) { return c[3 * i] * 65536 + c[3 * i + 1] * 256 + c[3 * i + 2]; }

}  // namespace

TEST(PaletteCorpus, EveryFileReadsAsItsLineSays) {
    const std::vector<TLine> lines = PaletteLines();
    ASSERT_GE(lines.size(), 30u);
    const TColours start = DefaultColours();
    for (const TLine& l : lines) {
        SCOPED_TRACE("MANIFEST line " + std::to_string(l.No) + ": " + l.Path);
        TRecordingSink sink;
        TScopedMessageSink scoped(&sink);
        TColours colours = start;
        TPaletteRead read;
        ASSERT_NO_THROW(read = ReadPaletteFile(Corpus + l.Path, l.Kind, colours));
        EXPECT_EQ(read.Entries, l.Entries);
        std::vector<std::string> said = sink.Texts();
        if (read.Failed) said.push_back(read.Failure);
        for (const std::string& want : l.Messages) {
            if (want == "(none)") {
                EXPECT_TRUE(said.empty()) << said.front();
                continue;
            }
            bool found = false;
            for (const std::string& s : said) found = found || s.find(want) != std::string::npos;
            EXPECT_TRUE(found) << "no message with \"" << want << "\"";
        }
        // entries not read keep their default colours
        for (int i = read.Entries; i < 256; ++i) {
            EXPECT_EQ(EntryOf(colours, i), EntryOf(start, i)) << "entry " << i;
        }
    }
}

TEST(PaletteCorpus, EveryPaletteFileHasALine) {
    std::set<std::string> listed;
    for (const TLine& l : PaletteLines()) listed.insert(l.Path);
    for (const auto& entry : fs::directory_iterator(Corpus + "palette")) {
        const std::string rel = "palette/" + entry.path().filename().string();
        EXPECT_TRUE(listed.count(rel)) << rel << " has no line in the MANIFEST";
    }
}
