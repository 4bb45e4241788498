// The native measurement format: parameter text file and .int / .sin data files.
#include "formats/LoadFiles.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "core/Errors.h"
#include "core/Messages.h"
#include "core/Numbers.h"

namespace {

inline unsigned char UpCase(unsigned char b) { return (b >= 'a' && b <= 'z') ? b - 32 : b; }

// A 32-bit little-endian word from unaligned bytes.
inline uint32_t Word32(const char* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap32(w);
    return w;
}

// Blanks and other control characters around a number are allowed.
std::string Trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

}  // namespace

// ------------------------------------------------------------------ file helpers

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    const auto st = std::filesystem::status(path, ec);
    return !ec && std::filesystem::exists(st) && !std::filesystem::is_directory(st);
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    if (!FileExists(path)) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> guard(f, &std::fclose);
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size > 0) {
        bytes.resize(static_cast<size_t>(size));
        const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
        bytes.resize(got);
        if (got < size) return !std::ferror(f);  // the file shrank meanwhile
    }
    // Whatever follows (files that grow, or report no size) in chunks.
    char chunk[65536];
    for (;;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, f);
        bytes.append(chunk, got);
        if (got < sizeof chunk) break;
    }
    return !std::ferror(f);
}

std::string ExtractFileName(const std::string& path) {
    const size_t p = path.find_last_of("/\\");
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtractFileDir(const std::string& path) {
    const size_t p = path.find_last_of("/\\");
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string ExtractFileExt(const std::string& path) {
    const size_t sep = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return {};
    return path.substr(dot);
}

// ------------------------------------------------------------------ loader object

TLoadFiles::TLoadFiles(const std::string& path)
    : filePath_(path), directory_(ExtractFileDir(path)) {
    files_.push_back(ExtractFileName(path));
    captions_.assign(MaxChannels + 1, std::string());
    blockPos_.push_back(0);
    fileIndex_.push_back(0);
    ChannelCaption.clear();
}

const std::string& TLoadFiles::Caption(int i) const {
    if (i < 0 || i > MaxChannels) throw ERangeError();
    return captions_[static_cast<size_t>(i)];
}

std::string TLoadFiles::DataPath(int i) const {
    if (i < 0 || i >= static_cast<int>(files_.size())) throw ERangeError();
    return directory_ + files_[static_cast<size_t>(i)];
}

void TLoadFiles::SetParamText(const std::string& bytes) {
    param_ = bytes;
    pos_ = 0;
}

// Forward search from the current position, ASCII letters compared without case.
bool TLoadFiles::FindKey(const std::string& key) {
    if (key.empty()) return true;
    const size_t n = param_.size(), m = key.size();
    std::string up(key);
    for (auto& ch : up) ch = static_cast<char>(UpCase(static_cast<unsigned char>(ch)));
    const unsigned char first = static_cast<unsigned char>(up[0]);
    for (size_t i = pos_; i < n && m <= n - i; ++i) {
        if (UpCase(static_cast<unsigned char>(param_[i])) != first) continue;
        size_t j = 1;
        while (j < m && UpCase(static_cast<unsigned char>(param_[i + j])) ==
                            static_cast<unsigned char>(up[j]))
            ++j;
        if (j == m) {
            pos_ = i + m;
            return true;
        }
    }
    pos_ = n;
    return false;
}

// Up to the next CR (which is consumed); LF, tabs and other control bytes vanish.
std::string TLoadFiles::ReadLine() {
    std::string out;
    const size_t n = param_.size();
    while (pos_ < n) {
        const unsigned char b = static_cast<unsigned char>(param_[pos_++]);
        if (b == '\r') break;
        if (b > 13) out.push_back(static_cast<char>(b));
    }
    return out;
}

double TLoadFiles::TextToFloat(const std::string& text) {
    const char sep = DecimalSeparator();
    std::string number = text;
    size_t p = number.find('.');
    if (p != std::string::npos) number[p] = sep;
    p = number.find(',');
    if (p != std::string::npos) number[p] = sep;
    long double v = 0;
    const std::string core = Trimmed(number);
    if (!core.empty() && TryStrToFloat(core, v)) return static_cast<double>(v);
    // The user is shown the text as it stands in the file.
    ShowMessage("\"" + text + "\" is no valid float!\n 1 is assumed!", TMsgKind::Information);
    return 1.0;
}

double TLoadFiles::ReadFloat() { return TextToFloat(ReadLine()); }

// ------------------------------------------------------------------ parameter file

bool TLoadFiles::ReadParamFile() {
    if (!FileExists(filePath_) || !ReadWholeFile(filePath_, param_)) {
        ShowMessage("File not found!", TMsgKind::Error);
        return false;
    }
    pos_ = 0;
    version_.clear();
    count_ = 0;
    files_.resize(1);
    blockPos_.resize(1);
    fileIndex_.resize(1);
    captions_.assign(MaxChannels + 1, std::string());
    para_ = TScanPara();

    if (FindKey("Version")) {
        if (FindKey(": "))
            version_ = ReadLine();
        else
            ShowMessage("No File-Version-Entry is found!", TMsgKind::Error);
    }
    if (version_ == "1" || version_ == "1.01")
        ReadOldHeader();
    else if (version_ == "1.10" || version_ == "1.11" || version_ == "1.12")
        ReadCurrentHeader();
    else
        ShowMessage("This File-Version is not supported!", TMsgKind::Information);
    return true;
}

bool TLoadFiles::ReadPixelCount(const char* key, const char* axis, int32_t& value) {
    int v = 0;
    if (FindKey(key)) {
        FindKey(":");
        v = StrToInt(ReadLine());  // EConvertError ends the open
    }
    if (v == 0) {
        ShowMessage(std::string("No Pixel in ") + axis + " found!\nLoad aborted",
                    TMsgKind::Information);
        return false;
    }
    if (v < 0 || v > MaxPixels) {
        ShowMessage(std::string("Pixel in ") + axis + " out of range (1.." +
                        IntToStr(MaxPixels) + ")!\nLoad aborted",
                    TMsgKind::Information);
        return false;
    }
    value = v;
    return true;
}

void TLoadFiles::AddChannel(const std::string& name, const std::string& caption,
                            size_t blockPos) {
    ++count_;
    files_.push_back(name);
    blockPos_.push_back(blockPos);
    fileIndex_.push_back(count_);
    captions_[static_cast<size_t>(count_)] = caption;
}

void TLoadFiles::ReadCurrentHeader() {
    if (FindKey("XScanRange")) {
        FindKey(":");
        para_.XScanRange = ReadFloat();
    }
    if (FindKey("YScanRange")) {
        FindKey(":");
        para_.YScanRange = ReadFloat();
    }
    if (FindKey("XPhysUnit")) {
        FindKey(": ");
        para_.XPhysUnit = ReadLine();
    }
    if (FindKey("YPhysUnit")) {
        FindKey(": ");
        para_.YPhysUnit = ReadLine();
    }
    int32_t cols = 0, rows = 0;
    if (!ReadPixelCount("xPixel", "X", cols)) return;
    para_.XPixel = cols;
    if (!ReadPixelCount("yPixel", "Y", rows)) return;
    para_.YPixel = rows;

    static const std::string endKey = "FileDescEnd";
    while (FindKey("FileDescBegin")) {
        if (!FindKey("FileName")) continue;
        FindKey(": ");
        const std::string name = ReadLine();
        const size_t p = pos_;
        // The caption counts only when it stands before the block's end.
        size_t blockEnd = param_.size();
        if (FindKey(endKey)) blockEnd = pos_ - endKey.size();
        pos_ = p;
        std::string caption;
        if (FindKey("Caption") && pos_ <= blockEnd) {
            FindKey(": ");
            caption = ReadLine();
        }
        if (caption.empty()) caption = name;
        AddChannel(name, caption, p);
        pos_ = p;
        FindKey(endKey);
        if (count_ >= MaxChannels) {
            ShowMessage("Too many files to open! - Skip a few.", TMsgKind::Information);
            break;
        }
    }
}

void TLoadFiles::ReadOldHeader() {
    if (FindKey("ScanRange")) {
        // "ScanRange [nm]: 2000": the two characters before "]:" are the unit.
        const std::string rest = ReadLine();
        const size_t colon = rest.find(':');
        std::string unit, number;
        if (colon != std::string::npos) {
            if (colon >= 2) {
                const size_t from = colon >= 3 ? colon - 3 : 0;
                unit = rest.substr(from, colon - 1 - from);
            }
            number = rest.substr(colon + 1);
        }
        const double range = TextToFloat(number);
        para_.XScanRange = para_.YScanRange = range;
        para_.XPhysUnit = para_.YPhysUnit = unit;
    } else {
        pos_ = 0;
        para_.XScanRange = para_.YScanRange = 1.0;
        para_.XPhysUnit.clear();
        para_.YPhysUnit.clear();
    }
    int32_t cols = 0, rows = 0;
    if (!ReadPixelCount("Pixel in X ", "X", cols)) return;
    para_.XPixel = cols;
    if (!ReadPixelCount("Pixel in Y ", "Y", rows)) return;
    para_.YPixel = rows;

    if (!FindKey("Files")) return;
    FindKey("\r");
    const int skip = version_ == "1.01" ? 3 : 2;
    std::string name = ReadLine();
    if (name.empty() || name[0] == ';') return;
    for (;;) {
        AddChannel(name, std::string(), pos_);
        if (count_ >= MaxChannels) {
            ShowMessage("Too many files to open! - Skip a few.", TMsgKind::Information);
            break;
        }
        for (int k = 0; k < skip; ++k) ReadLine();
        name = ReadLine();
        if (name.empty() || name[0] == ';' || pos_ >= param_.size()) break;
    }
}

// ------------------------------------------------------------------ channels

void TLoadFiles::LoadChecked(const std::vector<bool>& checked, TLoadTarget& target) {
    for (int i = static_cast<int>(files_.size()) - 1; i >= 1; --i) {
        const bool keep = static_cast<size_t>(i) < checked.size() && checked[static_cast<size_t>(i)];
        if (keep) continue;
        files_.erase(files_.begin() + i);
        blockPos_.erase(blockPos_.begin() + i);
        fileIndex_.erase(fileIndex_.begin() + i);
        captions_.erase(captions_.begin() + i);
        captions_.emplace_back();
    }
    count_ = static_cast<int>(files_.size()) - 1;

    for (int i = count_; i >= 1; --i) {
        const std::string& name = files_[static_cast<size_t>(i)];
        if (!FileExists(directory_ + name)) {
            ShowMessage("File " + name + " not found!", TMsgKind::Information);
            continue;
        }
        loadingChannel_ = fileIndex_[static_cast<size_t>(i)];
        TImageDoc* doc = nullptr;
        try {
            doc = target.NewDocument(name);
            ReadChannel(*doc, i);
            if (!ChannelCaption.empty()) {
                doc->Title = name + " - " + ChannelCaption;
                doc->CaptionTag = ChannelCaption;
            }
            target.Finished(doc);
        } catch (...) {
            if (doc) target.Discard(doc);
            ShowMessage("Error during loading!", TMsgKind::Information);
        }
    }
    loadingChannel_ = 0;
}

void TLoadFiles::ReadChannel(TImageDoc& doc, int index) {
    if (index < 1 || index > count_) throw ERangeError();
    if (OldGeneration())
        ReadChannelOld(doc, index);
    else
        ReadChannelCurrent(doc, index);
}

void TLoadFiles::OpenChannel(TImageDoc& doc, const std::string& name, std::string& bytes) {
    if (!ReadWholeFile(directory_ + name, bytes)) throw EInOutError("Cannot open file " + name);
    const int32_t cols = para_.XPixel, rows = para_.YPixel;
    if (cols <= 0 || rows <= 0 || cols > MaxPixels || rows > MaxPixels) throw ERangeError();
    doc.CreateImage(cols, rows);
    const TQTVPicture& pic = doc.Picture;
    if (!pic.HasData() || pic.Cols != cols || pic.Rows != rows) throw ERangeError();
    doc.Picture.Para = para_;
}

void TLoadFiles::ReadChannelCurrent(TImageDoc& doc, int index) {
    const std::string name = files_[static_cast<size_t>(index)];
    std::string bytes;
    OpenChannel(doc, name, bytes);
    TScanPara& para = doc.Picture.Para;

    // The block of this channel: from just after its file-name line to its end key.
    const size_t p = blockPos_[static_cast<size_t>(index)];
    static const std::string endKey = "FileDescEnd";
    pos_ = p;
    size_t blockEnd = param_.size();
    if (FindKey(endKey)) blockEnd = pos_ - endKey.size();
    pos_ = p;
    auto findInBlock = [&](const char* key) {
        const size_t back = pos_;
        if (FindKey(key) && pos_ <= blockEnd) return true;
        pos_ = back;
        return false;
    };
    ChannelCaption.clear();
    if (findInBlock("Caption")) {
        FindKey(": ");
        ChannelCaption = ReadLine();
    }
    para.Scale = 1.0;
    if (findInBlock("Scale")) {
        FindKey(": ");
        para.Scale = ReadFloat();
    }
    if (findInBlock("PhysUnit")) {
        FindKey(": ");
        para.PhysUnit = ReadLine();
    }
    para.Offset = 0.0;
    if (findInBlock("Offset")) {
        FindKey(": ");
        para.Offset = ReadFloat();
    }
    if (!FillSamples(doc.Picture, name, bytes, para.Offset)) return;
    AppendScanInfo(doc);
}

void TLoadFiles::ReadChannelOld(TImageDoc& doc, int index) {
    const std::string name = files_[static_cast<size_t>(index)];
    std::string bytes;
    OpenChannel(doc, name, bytes);
    TScanPara& para = doc.Picture.Para;
    pos_ = blockPos_[static_cast<size_t>(index)];
    ChannelCaption.clear();
    if (version_ == "1.01") ChannelCaption = ReadLine();
    para.Scale = ReadFloat();
    para.PhysUnit = ReadLine();
    para.Offset = 0.0;
    if (!FillSamples(doc.Picture, name, bytes, 0.0)) return;
    AppendScanInfo(doc);
}

bool TLoadFiles::FillSamples(TQTVPicture& pic, const std::string& name, const std::string& bytes,
                             double intOffset) {
    const std::string ext = ExtractFileExt(name);
    const bool isInt = ext == ".int", isSin = ext == ".sin";
    if (!isInt && !isSin) return true;  // no samples: the image stays 0.0

    // The size is checked once; the rows are then converted without further tests.
    const int32_t cols = pic.Cols, rows = pic.Rows;
    const size_t total = static_cast<size_t>(cols) * static_cast<size_t>(rows);
    const size_t avail = std::min(total, bytes.size() / 4);
    const long double s = pic.Para.Scale;
    const long double o = intOffset;
    const char* src = bytes.data();
    for (int32_t fileRow = 0; fileRow < rows; ++fileRow) {
        const size_t first = static_cast<size_t>(fileRow) * static_cast<size_t>(cols);
        if (first >= avail) break;
        const size_t n = std::min(static_cast<size_t>(cols), avail - first);
        // .int rows are stored top-down, .sin rows bottom-up.
        float* dst = pic.Data[isInt ? rows - 1 - fileRow : fileRow];
        const char* p = src + first * 4;
        if (isInt) {
            for (size_t c = 0; c < n; ++c)
                dst[c] = static_cast<float>(
                    static_cast<long double>(static_cast<int32_t>(Word32(p + 4 * c))) * s + o);
        } else {
            for (size_t c = 0; c < n; ++c) {
                const uint32_t w = Word32(p + 4 * c);
                float x;
                std::memcpy(&x, &w, 4);
                dst[c] = static_cast<float>(static_cast<long double>(x) * s);
            }
        }
    }
    if (avail < total) {
        ShowMessage("File " + name + " to short\n", TMsgKind::Error);
        return false;
    }
    return true;
}

void TLoadFiles::AppendScanInfo(TImageDoc& doc) {
    pos_ = 0;
    while (pos_ < param_.size()) doc.ScanInfo.push_back(ReadLine());
}
