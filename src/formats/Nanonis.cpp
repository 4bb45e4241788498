// Nanonis scans (.sxm): a text header of ":TAG:" lines each followed by its value lines,
// ended by ":SCANIT_END:", then the bytes 0x1A 0x04 and the images as big-endian 32-bit
// floats. :DATA_INFO: is a tab-separated table (a heading line, then one line per
// channel); a channel scanned "both" ways has a forward and a backward image, each
// SCAN_PIXELS x by y samples, one line after the other.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/FieldFiles.h"

namespace {

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t\r\n") + 1 - a);
}

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t p = s.find(sep, start);
        parts.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos) return parts;
        start = p + 1;
    }
}

// The blank-separated numbers of a tag's value.
std::vector<double> Numbers(const std::string& value) {
    std::vector<double> v;
    std::string word;
    for (size_t i = 0; i <= value.size(); ++i) {
        const char c = i < value.size() ? value[i] : ' ';
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            double x = 0;
            if (!word.empty()) v.push_back(FieldNumber(word, x) ? x : NAN);
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    return v;
}

}  // namespace

bool ParseSxm(const std::string& name, const TFieldFile& file, std::vector<TFieldChannel>& out) {
    out.clear();
    auto refuse = [&](const std::string& problem) {
        ShowFileMessage("File " + name + " is no valid Nanonis file: " + problem, {name}, TMsgKind::Error);
        return false;
    };
    static const std::string endTag = ":SCANIT_END:";
    const size_t headerEnd = file.Find(endTag, 0);
    if (headerEnd == std::string::npos) return refuse("the header has no end (:SCANIT_END:)");
    if (headerEnd > (16u << 20)) return refuse("the header is longer than 16 MB");
    const size_t mark = file.Find("\x1A\x04", headerEnd + endTag.size());
    if (mark == std::string::npos) return refuse("the data mark 0x1A 0x04 after :SCANIT_END: is missing");
    const size_t dataAt = mark + 2;

    // tags and their value lines, in file order
    std::map<std::string, std::vector<std::string>> tags;
    std::vector<std::string> headerLines;
    std::vector<std::string>* current = nullptr;
    for (std::string line : Split(file.Prefix(headerEnd), '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        headerLines.push_back(line);
        const std::string t = Trim(line);
        if (t.size() >= 2 && t.front() == ':' && t.back() == ':') {
            current = &tags[t.substr(1, t.size() - 2)];
            current->clear();
        } else if (current) {
            current->push_back(line);
        }
    }
    auto value = [&](const char* tag) -> const std::vector<std::string>* {
        const auto it = tags.find(tag);
        return it == tags.end() ? nullptr : &it->second;
    };
    auto joined = [&](const char* tag) {
        std::string s;
        if (const auto* v = value(tag))
            for (const std::string& l : *v) s += l + " ";
        return s;
    };

    if (!value("SCAN_PIXELS")) return refuse(":SCAN_PIXELS: is missing");
    const std::vector<double> pixels = Numbers(joined("SCAN_PIXELS"));
    if (pixels.size() != 2 || pixels[0] != pixels[0] || pixels[1] != pixels[1])
        return refuse(":SCAN_PIXELS: \"" + Trim(joined("SCAN_PIXELS")) + "\" are not two numbers");
    const bool version1 = Trim(joined("NANONIS_VERSION")) == "1";
    double px = version1 ? pixels[1] : pixels[0], py = version1 ? pixels[0] : pixels[1];
    if (px != std::floor(px) || py != std::floor(py) || std::fabs(px) > 1e9 || std::fabs(py) > 1e9)
        return refuse(":SCAN_PIXELS: \"" + Trim(joined("SCAN_PIXELS")) + "\" are not whole numbers");
    const auto cols = static_cast<int64_t>(px), rows = static_cast<int64_t>(py);
    const std::string sizeProblem = FieldSizeProblem(cols, rows);
    if (!sizeProblem.empty()) return refuse(sizeProblem);

    if (!value("SCAN_RANGE")) return refuse(":SCAN_RANGE: is missing");
    const std::vector<double> range = Numbers(joined("SCAN_RANGE"));
    if (range.size() != 2 || range[0] != range[0] || range[1] != range[1])
        return refuse(":SCAN_RANGE: \"" + Trim(joined("SCAN_RANGE")) + "\" are not two numbers");
    // with "up" the scan ran upwards: the last stored line is the top of the picture
    const bool up = Trim(joined("SCAN_DIR")) == "up";

    const std::vector<std::string>* info = value("DATA_INFO");
    if (!info) return refuse(":DATA_INFO: is missing");
    int nameCol = -1, unitCol = -1, dirCol = -1;
    bool heading = true;
    struct TRow {
        std::string Name, Unit;
        bool Both;
    };
    std::vector<TRow> channels;
    for (const std::string& line : *info) {
        if (Trim(line).empty()) continue;
        std::vector<std::string> f = Split(line, '\t');
        for (std::string& x : f) x = Trim(x);
        if (!f.empty() && f.front().empty()) f.erase(f.begin());
        if (heading) {
            for (size_t i = 0; i < f.size(); ++i) {
                if (f[i] == "Name") nameCol = static_cast<int>(i);
                if (f[i] == "Unit") unitCol = static_cast<int>(i);
                if (f[i] == "Direction") dirCol = static_cast<int>(i);
            }
            if (nameCol < 0 || unitCol < 0 || dirCol < 0)
                return refuse(":DATA_INFO: has no Name, Unit and Direction columns");
            heading = false;
            continue;
        }
        const size_t need = static_cast<size_t>(std::max({nameCol, unitCol, dirCol})) + 1;
        if (f.size() < need) return refuse(":DATA_INFO: line \"" + Trim(line) + "\" has too few columns");
        const std::string& dir = f[static_cast<size_t>(dirCol)];
        if (dir != "forward" && dir != "both")
            return refuse(":DATA_INFO: direction \"" + dir + "\" of " + f[static_cast<size_t>(nameCol)] +
                          " is neither forward nor both");
        channels.push_back({f[static_cast<size_t>(nameCol)], f[static_cast<size_t>(unitCol)], dir == "both"});
    }
    if (channels.empty()) return refuse(":DATA_INFO: lists no channel");

    size_t images = 0;
    for (const TRow& c : channels) images += c.Both ? 2 : 1;
    const size_t imageBytes = static_cast<size_t>(cols) * static_cast<size_t>(rows) * 4;
    const size_t have = file.Size() - dataAt;
    if (have / imageBytes < images)
        return refuse("truncated: " + IntToStr(static_cast<long long>(images)) + " images of " + IntToStr(cols) +
                      " * " + IntToStr(rows) + " samples need " +
                      IntToStr(static_cast<long long>(images * imageBytes)) + " bytes, " +
                      IntToStr(static_cast<long long>(have)) + " follow the header");

    size_t at = dataAt;
    for (const TRow& c : channels) {
        for (int pass = 0; pass < (c.Both ? 2 : 1); ++pass) {
            TFieldChannel ch;
            ch.Caption = c.Name + (pass == 0 ? " (Forward)" : " (Backward)");
            ch.Cols = cols;
            ch.Rows = rows;
            ch.XReal = range[0];
            ch.YReal = range[1];
            ch.XYUnit = "m";
            ch.ZUnit = c.Unit;
            ch.DataAt = at;
            ch.Coding = TSampleCoding::Float32BE;
            ch.TopRowFirst = !up;
            ch.Mirrored = pass == 1;
            ch.ScanInfo = headerLines;
            out.push_back(std::move(ch));
            at += imageBytes;
        }
    }
    return true;
}
