// The native measurement format: parameter text file and .int / .sin data files.
#include "formats/LoadFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "core/Errors.h"
#include "core/Files.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/HistoryLines.h"

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

// Stored values -> samples. Each value is scaled in extended precision and stored as
// a 32-bit float. Without an offset the product is formed in double precision: both
// products lie within half a unit of their precision of the exact one, so no float
// rounding boundary (a midpoint between two floats, which double can represent) can
// lie between them, and they round to the same float unless the double product is
// exactly such a midpoint (or outside the normal float range). Those few go the
// extended way.
inline bool NeedsExtended(double p) {
    const uint64_t b = std::bit_cast<uint64_t>(p);
    const unsigned exp = static_cast<unsigned>(b >> 52) & 0x7FF;
    if (exp < 1023 - 126 || exp > 1023 + 127) return p != 0.0;
    return (b & 0x1FFFFFFFu) == 0x10000000u;
}

// One stored integer or float, scaled as described above.
inline float ScaleInteger(int32_t v, double sd, long double s) {
    const double p = static_cast<double>(v) * sd;
    return NeedsExtended(p) ? static_cast<float>(static_cast<long double>(v) * s) : static_cast<float>(p);
}
inline float ScaleFloat(float x, double sd, long double s) {
    const double p = static_cast<double>(x) * sd;
    return NeedsExtended(p) ? static_cast<float>(static_cast<long double>(x) * s) : static_cast<float>(p);
}
inline int32_t StoredInteger(const char* p) { return static_cast<int32_t>(Word32(p)); }
inline float StoredFloat(const char* p) { return std::bit_cast<float>(Word32(p)); }

#if defined(__x86_64__) && defined(__GNUC__)
#define MORVANE_LOAD_AVX2 1
// Four products at a time; a group holding a product that needs the extended way is
// done one by one.
__attribute__((target("avx2"))) inline bool AnyNeedsExtended(__m256d p) {
    const __m256d a = _mm256_andnot_pd(_mm256_set1_pd(-0.0), p);
    const __m256d normal = _mm256_and_pd(_mm256_cmp_pd(a, _mm256_set1_pd(0x1p-126), _CMP_GE_OQ),
                                         _mm256_cmp_pd(a, _mm256_set1_pd(0x1p128), _CMP_LT_OQ));
    const __m256d ok = _mm256_or_pd(normal, _mm256_cmp_pd(p, _mm256_setzero_pd(), _CMP_EQ_OQ));
    const __m256i bits = _mm256_and_si256(_mm256_castpd_si256(p), _mm256_set1_epi64x(0x1FFFFFFF));
    const __m256i mid = _mm256_cmpeq_epi64(bits, _mm256_set1_epi64x(0x10000000));
    return _mm256_movemask_pd(_mm256_andnot_pd(_mm256_castsi256_pd(mid), ok)) != 0xF;
}

// True when a product of the scale with any 32-bit integer other than 0 lies in the
// normal float range; only the midpoint test is then left for each product.
inline bool IntegerProductsAreNormal(double sd) {
    const double a = std::fabs(sd);
    return a >= 0x1p-126 && a < 0x1p96;
}

__attribute__((target("avx2"))) void ScaleIntegersAVX2(const char* src, float* dst, size_t n, double sd,
                                                      long double s) {
    const __m256d vs = _mm256_set1_pd(sd);
    // The 29 low bits of a product lie in the low half of its 64: those of eight
    // products fit one register.
    const __m256i low = _mm256_set1_epi32(0x1FFFFFFF), half = _mm256_set1_epi32(0x10000000);
    const bool normal = IntegerProductsAreNormal(sd);
    size_t c = 0;
    for (; c + 8 <= n; c += 8) {
        const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * c));
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * c + 16));
        const __m256d p0 = _mm256_mul_pd(_mm256_cvtepi32_pd(v0), vs);
        const __m256d p1 = _mm256_mul_pd(_mm256_cvtepi32_pd(v1), vs);
        bool careful;
        if (normal) {
            const __m256 lows = _mm256_shuffle_ps(_mm256_castpd_ps(p0), _mm256_castpd_ps(p1), _MM_SHUFFLE(2, 0, 2, 0));
            const __m256i mid = _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_castps_si256(lows), low), half);
            careful = _mm256_movemask_ps(_mm256_castsi256_ps(mid)) != 0;
        } else {
            careful = AnyNeedsExtended(p0) || AnyNeedsExtended(p1);
        }
        if (careful) {
            for (size_t k = c; k < c + 8; ++k) dst[k] = ScaleInteger(StoredInteger(src + 4 * k), sd, s);
        } else {
            _mm_storeu_ps(dst + c, _mm256_cvtpd_ps(p0));
            _mm_storeu_ps(dst + c + 4, _mm256_cvtpd_ps(p1));
        }
    }
    for (; c < n; ++c) dst[c] = ScaleInteger(StoredInteger(src + 4 * c), sd, s);
}

__attribute__((target("avx2"))) void ScaleFloatsAVX2(const char* src, float* dst, size_t n, double sd,
                                                    long double s) {
    const __m256d vs = _mm256_set1_pd(sd);
    size_t c = 0;
    for (; c + 4 <= n; c += 4) {
        const __m256d p = _mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(reinterpret_cast<const float*>(src + 4 * c))), vs);
        if (AnyNeedsExtended(p)) {
            for (size_t k = c; k < c + 4; ++k) dst[k] = ScaleFloat(StoredFloat(src + 4 * k), sd, s);
        } else {
            _mm_storeu_ps(dst + c, _mm256_cvtpd_ps(p));
        }
    }
    for (; c < n; ++c) dst[c] = ScaleFloat(StoredFloat(src + 4 * c), sd, s);
}

bool HaveAVX2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

// n stored values of one row -> its samples.
void ConvertStoredIntegers(const char* src, float* dst, size_t n, long double s, long double o) {
    if (o != 0.0L) {
        for (size_t c = 0; c < n; ++c)
            dst[c] = static_cast<float>(static_cast<long double>(StoredInteger(src + 4 * c)) * s + o);
        return;
    }
    const double sd = static_cast<double>(s);
#if defined(MORVANE_LOAD_AVX2)
    if (std::endian::native == std::endian::little && HaveAVX2()) return ScaleIntegersAVX2(src, dst, n, sd, s);
#endif
    for (size_t c = 0; c < n; ++c) dst[c] = ScaleInteger(StoredInteger(src + 4 * c), sd, s);
}

void ConvertStoredFloats(const char* src, float* dst, size_t n, long double s) {
    if (s == 1.0L && std::endian::native == std::endian::little) {
        std::memcpy(dst, src, n * 4);  // x * 1 is x
        return;
    }
    const double sd = static_cast<double>(s);
#if defined(MORVANE_LOAD_AVX2)
    if (std::endian::native == std::endian::little && HaveAVX2()) return ScaleFloatsAVX2(src, dst, n, sd, s);
#endif
    for (size_t c = 0; c < n; ++c) dst[c] = s == 1.0L ? StoredFloat(src + 4 * c) : ScaleFloat(StoredFloat(src + 4 * c), sd, s);
}

}  // namespace

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
            ShowFileMessage("File " + name + " not found!", {name});
            continue;
        }
        loadingChannel_ = fileIndex_[static_cast<size_t>(i)];
        TImageDoc* doc = nullptr;
        try {
            doc = target.NewDocument(name);
            doc->SourcePath = filePath_;
            doc->SourceChannel = loadingChannel_;
            ReadChannel(*doc, i);
            if (!ChannelCaption.empty()) {
                doc->Title = name + " - " + ChannelCaption;
                doc->CaptionTag = ChannelCaption;
            }
            target.Finished(doc);
        } catch (const ETooManyWindows&) {
            // said once; the remaining channels would not fit either
            if (doc) target.Discard(doc);
            break;
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

// The open data file of the channel being read.
class TLoadFiles::TDataFile {
public:
    explicit TDataFile(const std::string& path) : fd_(OpenRegularFile(path)) {}
    ~TDataFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    TDataFile(const TDataFile&) = delete;
    TDataFile& operator=(const TDataFile&) = delete;
    bool IsOpen() const { return fd_ >= 0; }

    // Reads up to size bytes from the current position; fewer only at the end of the
    // file.
    size_t Read(char* buffer, size_t size) {
        size_t total = 0;
        while (total < size) {
            const ssize_t got = ::read(fd_, buffer + total, size - total);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) throw EInOutError(std::string("Read error: ") + std::strerror(errno));
            if (got == 0) break;
            total += static_cast<size_t>(got);
        }
        return total;
    }

private:
    int fd_ = -1;
};

void TLoadFiles::OpenChannel(TImageDoc& doc, const std::string& name, TDataFile& data) {
    if (!data.IsOpen()) throw EInOutError("Cannot open file " + name, name);
    const int32_t cols = para_.XPixel, rows = para_.YPixel;
    if (cols <= 0 || rows <= 0 || cols > MaxPixels || rows > MaxPixels) throw ERangeError();
    doc.CreateImage(cols, rows);
    const TQTVPicture& pic = doc.Picture;
    if (!pic.HasData() || pic.Cols != cols || pic.Rows != rows) throw ERangeError();
    doc.Picture.Para = para_;
}

void TLoadFiles::ReadChannelCurrent(TImageDoc& doc, int index) {
    const std::string name = files_[static_cast<size_t>(index)];
    TDataFile data(directory_ + name);
    OpenChannel(doc, name, data);
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
    // a data file too short keeps its message, the samples read and the scan
    // information, so the image can be saved and reopened
    FillSamples(doc.Picture, name, data, para.Offset);
    AppendScanInfo(doc);
}

void TLoadFiles::ReadChannelOld(TImageDoc& doc, int index) {
    const std::string name = files_[static_cast<size_t>(index)];
    TDataFile data(directory_ + name);
    OpenChannel(doc, name, data);
    TScanPara& para = doc.Picture.Para;
    pos_ = blockPos_[static_cast<size_t>(index)];
    ChannelCaption.clear();
    if (version_ == "1.01") ChannelCaption = ReadLine();
    para.Scale = ReadFloat();
    para.PhysUnit = ReadLine();
    para.Offset = 0.0;
    FillSamples(doc.Picture, name, data, 0.0);
    AppendScanInfo(doc);
}

bool TLoadFiles::FillSamples(TQTVPicture& pic, const std::string& name, TDataFile& data,
                             double intOffset) {
    const std::string ext = ExtractFileExt(name);
    const bool isInt = ext == ".int", isSin = ext == ".sin";
    if (!isInt && !isSin) return true;  // no samples: the image stays 0.0

    // The file is read front to back in pieces of a few dozen kilobytes, and each piece
    // is converted into its rows while it is still in the cache (.int rows are stored
    // top-down, .sin rows bottom-up). The size is checked once per piece; the
    // conversion loops run without tests.
    const int32_t cols = pic.Cols, rows = pic.Rows;
    const size_t rowBytes = static_cast<size_t>(cols) * 4;
    const size_t total = static_cast<size_t>(cols) * static_cast<size_t>(rows);
    const int32_t rowsPerPiece = static_cast<int32_t>(std::max<size_t>(1, (64u << 10) / rowBytes));
    const long double s = pic.Para.Scale;
    const long double o = isInt ? intOffset : 0.0;
    std::vector<char> piece(static_cast<size_t>(rowsPerPiece) * rowBytes);
    // Every sample is written below (those the file lacks as 0.0), so the fresh grid
    // need not be cleared first.
    float* const block = pic.Data.BlockToOverwrite(cols, rows);
    if (!block) throw ERangeError();
    // The range is taken row by row while each row is still in the cache, which spares
    // the first render its own pass over the image.
    float mn = HUGE_VALF, mx = -HUGE_VALF;
    size_t got = 0;
    try {
        for (int32_t k0 = 0; k0 < rows; k0 += rowsPerPiece) {
            const int32_t k1 = std::min(rows, k0 + rowsPerPiece);
            const size_t want = static_cast<size_t>(k1 - k0) * rowBytes;
            const size_t n = got == static_cast<size_t>(k0) * rowBytes ? data.Read(piece.data(), want) : 0;
            got += n;
            for (int32_t k = k0; k < k1; ++k) {
                float* row = block + static_cast<size_t>(isInt ? rows - 1 - k : k) * static_cast<size_t>(cols);
                const size_t at = static_cast<size_t>(k - k0) * rowBytes;
                // Values present in full; the rest of the row (also part of a value) is 0.0.
                const size_t m = at >= n ? 0 : std::min(static_cast<size_t>(cols), (n - at) / 4);
                if (isInt)
                    ConvertStoredIntegers(piece.data() + at, row, m, s, o);
                else
                    ConvertStoredFloats(piece.data() + at, row, m, s);
                if (m < static_cast<size_t>(cols))
                    std::memset(row + m, 0, (static_cast<size_t>(cols) - m) * sizeof(float));
                WidenRange(row, static_cast<size_t>(cols), mn, mx);
            }
        }
        pic.Data.SetKnownRange(mn, mx);
    } catch (...) {
        // A read error part way: the rows not reached yet hold whatever the allocator
        // left there. The grid reads as zero again, as a fresh one would.
        std::memset(block, 0, total * sizeof(float));
        throw;
    }
    const size_t avail = std::min(total, got / 4);
    if (avail < total) {
        ShowFileMessage("File " + name + " to short\n", {name}, TMsgKind::Error);
        return false;
    }
    return true;
}

void TLoadFiles::AppendScanInfo(TImageDoc& doc) {
    pos_ = 0;
    // the processing history written after the channel blocks goes to the image's
    // history, not into the scan information (a save writes it anew)
    std::string entry;
    while (pos_ < param_.size()) {
        std::string line = ReadLine();
        if (ReadHistoryFileLine(line, entry)) doc.History.push_back(entry);
        else doc.ScanInfo.push_back(std::move(line));
    }
    doc.HistoryInFile = doc.History.size();
}
