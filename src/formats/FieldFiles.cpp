// What the readers and writers of Gwyddion and Nanonis files share: units, text and
// numbers, the conversion of stored samples into the record; the simple field format.
#include "formats/FieldFiles.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include <cerrno>
#include <string_view>

#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "core/Text.h"

const char* const FieldHistoryKey = "History ";
const char* const FieldScanInfoKey = "Scan info ";

// ---------------------------------------------------------------- text and numbers

std::string FieldTextToLatin1(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    const size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        size_t len = 0;
        uint32_t cp = 0;
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        if ((b & 0xE0) == 0xC0) len = 2, cp = b & 0x1F;
        else if ((b & 0xF0) == 0xE0) len = 3, cp = b & 0x0F;
        else if ((b & 0xF8) == 0xF0) len = 4, cp = b & 0x07;
        bool ok = len > 0 && i + len <= n;
        for (size_t k = 1; ok && k < len; ++k) {
            const auto c = static_cast<unsigned char>(utf8[i + k]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {  // not UTF-8: the byte as it is
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        out.push_back(cp <= 0xFF ? static_cast<char>(cp) : '?');
        i += len;
    }
    return out;
}

bool FieldNumber(const std::string& text, double& v) {
    size_t a = text.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return false;
    size_t b = text.find_last_not_of(" \t\r\n") + 1;
    if (text[a] == '+') ++a;
    if (a >= b) return false;
    const auto r = std::from_chars(text.data() + a, text.data() + b, v);
    return r.ec == std::errc() && r.ptr == text.data() + b && std::isfinite(v);
}

std::string FieldNumberText(double v) {
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

namespace {

// The entry number after prefix, when key is prefix and digits only.
bool EntryNumber(const std::string& key, const char* prefix, unsigned long long& n) {
    const size_t p = std::strlen(prefix);
    if (key.size() <= p || key.compare(0, p, prefix) != 0) return false;
    n = 0;
    for (size_t i = p; i < key.size(); ++i) {
        if (key[i] < '0' || key[i] > '9') return false;
        n = std::min<unsigned long long>(n * 10 + static_cast<unsigned>(key[i] - '0'), 1ULL << 60);
    }
    return true;
}

}  // namespace

void TakeFieldEntries(const std::vector<std::pair<std::string, std::string>>& entries, const char* historyKey,
                      const char* scanInfoKey, TFieldChannel& ch) {
    std::vector<std::pair<unsigned long long, std::string>> history, info;
    std::vector<std::string> other;
    for (const auto& [key, value] : entries) {
        unsigned long long n = 0;
        if (EntryNumber(key, historyKey, n))
            history.emplace_back(n, value);
        else if (EntryNumber(key, scanInfoKey, n))
            info.emplace_back(n, value);
        else
            other.push_back(key + ": " + value);
    }
    auto byNumber = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::stable_sort(history.begin(), history.end(), byNumber);
    std::stable_sort(info.begin(), info.end(), byNumber);
    for (auto& h : history) ch.History.push_back(std::move(h.second));
    for (auto& l : info) ch.ScanInfo.push_back(std::move(l.second));
    for (auto& l : other) ch.ScanInfo.push_back(std::move(l));
}

std::string FieldEntryKey(const char* prefix, size_t number, size_t count) {
    std::string digits = std::to_string(number);
    const size_t width = std::max<size_t>(3, std::to_string(count).size());
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return prefix + digits;
}

// ---------------------------------------------------------------- the file

TFieldFile::TFieldFile(const std::string& path) {
    const int fd = path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // a pipe would block, a device never end
        ::close(fd);
        return;
    }
    fd_ = fd;
    size_ = static_cast<size_t>(st.st_size);
}

TFieldFile::~TFieldFile() {
    if (fd_ >= 0) ::close(fd_);
}

void TFieldFile::Read(size_t pos, void* dst, size_t n) const {
    char* p = static_cast<char*>(dst);
    while (n > 0) {
        const ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(pos));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) throw EInOutError(got < 0 ? std::string("Read error: ") + std::strerror(errno)
                                                : std::string("Read error: the file has become shorter"));
        p += got;
        pos += static_cast<size_t>(got);
        n -= static_cast<size_t>(got);
    }
}

const char* TFieldFile::Window(size_t pos, size_t n) const {
    if (pos < windowAt_ || pos + n > windowAt_ + window_.size()) {
        const size_t len = std::min(std::max(n, WindowSize), size_ - std::min(pos, size_));
        window_.resize(len);
        windowAt_ = pos;
        Read(pos, window_.data(), len);
    }
    return window_.data() + (pos - windowAt_);
}

std::string TFieldFile::Prefix(size_t n) const {
    std::string s(std::min(n, size_), '\0');
    Read(0, s.data(), s.size());
    return s;
}

size_t TFieldFile::Find(const std::string& needle, size_t from) const {
    const size_t m = needle.size();
    for (size_t pos = from; pos + m <= size_;) {
        const size_t n = std::min(WindowSize, size_ - pos);
        const char* w = Window(pos, n);
        const std::string_view view(w, n);
        const size_t hit = view.find(needle);
        if (hit != std::string_view::npos) return pos + hit;
        if (pos + n >= size_) break;
        pos += n - (m - 1);  // a needle across the border is found in the next piece
    }
    return std::string::npos;
}

// ---------------------------------------------------------------- units

TUnitScale RecordUnit(const std::string& fileUnit, bool lateral) {
    if (fileUnit == "m") return {"nm", 1e9};
    if (!lateral && fileUnit == "A") return {"nA", 1e9};
    return {fileUnit, 1.0};
}

TUnitScale FileUnit(const std::string& recordUnit) {
    static const struct {
        const char* Record;
        const char* File;
        double Factor;
    } table[] = {
        {"nm", "m", 1e9},   {"\xB5m", "m", 1e6}, {"\xC5", "m", 1e10}, {"pA", "A", 1e12},
        {"nA", "A", 1e9},   {"\xB5" "A", "A", 1e6}, {"mV", "V", 1e3},
    };
    for (const auto& t : table)
        if (recordUnit == t.Record) return {t.File, t.Factor};
    return {recordUnit, 1.0};
}

// ---------------------------------------------------------------- samples into the record

namespace {

template <TSampleCoding C>
inline double Sample(const char* p) {
    if constexpr (C == TSampleCoding::Float64LE) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
        return std::bit_cast<double>(w);
    } else {
        uint32_t w;
        std::memcpy(&w, p, 4);
        if constexpr ((C == TSampleCoding::Float32BE) != (std::endian::native == std::endian::big))
            w = __builtin_bswap32(w);
        return std::bit_cast<float>(w);
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
#define MORVANE_FIELD_AVX2 1
bool FieldAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// Little-endian doubles times factor, four at a time; the same roundings as one by one.
__attribute__((target("avx2"))) void ScaleDoublesAvx2(const char* src, float* dst, int32_t cols, double factor) {
    const __m256d f = _mm256_set1_pd(factor);
    int32_t c = 0;
    for (; c + 4 <= cols; c += 4)
        _mm_storeu_ps(dst + c, _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_loadu_pd(reinterpret_cast<const double*>(src) + c), f)));
    for (; c < cols; ++c) dst[c] = static_cast<float>(Sample<TSampleCoding::Float64LE>(src + static_cast<size_t>(c) * 8) * factor);
}
#endif

template <TSampleCoding C>
void ConvertLine(const char* src, float* dst, int32_t cols, double factor, bool mirrored) {
    constexpr size_t size = C == TSampleCoding::Float64LE ? 8 : 4;
#ifdef MORVANE_FIELD_AVX2
    if (C == TSampleCoding::Float64LE && !mirrored && FieldAvx2()) return ScaleDoublesAvx2(src, dst, cols, factor);
#endif
    if (mirrored) {
        for (int32_t c = 0; c < cols; ++c)
            dst[cols - 1 - c] = static_cast<float>(Sample<C>(src + static_cast<size_t>(c) * size) * factor);
    } else if (factor == 1.0) {
        for (int32_t c = 0; c < cols; ++c) dst[c] = static_cast<float>(Sample<C>(src + static_cast<size_t>(c) * size));
    } else {
        for (int32_t c = 0; c < cols; ++c)
            dst[c] = static_cast<float>(Sample<C>(src + static_cast<size_t>(c) * size) * factor);
    }
}

// A lateral size of a file in the record's unit: the number with the fewest digits
// that the writers store as exactly the file's value (value / factor), so that 3E-8 m
// gives 30 nm and not 29.999999999999996, and a size Morvane wrote comes back as it was.
double ScaledSize(double value, double factor) {
    const double plain = value * factor;
    if (factor == 1.0 || !std::isfinite(plain)) return plain;
    char buf[64];
    for (int digits = 1; digits <= 17; ++digits) {
        const auto w = std::to_chars(buf, buf + sizeof buf, plain, std::chars_format::general, digits);
        double d = 0;
        if (std::from_chars(buf, w.ptr, d).ec == std::errc() && d / factor == value) return d;
    }
    return plain;
}

size_t SampleSize(TSampleCoding c) { return c == TSampleCoding::Float64LE ? 8 : 4; }

}  // namespace

void FillFieldDoc(const TFieldChannel& ch, const TFieldFile& file, const std::string& fileName, TImageDoc& doc) {
    const int32_t cols = static_cast<int32_t>(ch.Cols), rows = static_cast<int32_t>(ch.Rows);
    if (ch.Cols < 1 || ch.Rows < 1 || ch.Cols > MaxPixels || ch.Rows > MaxPixels) throw ERangeError();
    const size_t lineBytes = static_cast<size_t>(cols) * SampleSize(ch.Coding);
    if (ch.DataAt > file.Size() || (file.Size() - ch.DataAt) / lineBytes < static_cast<size_t>(rows))
        throw ERangeError();  // the parsers never hand out such a channel

    doc.CreateImage(cols, rows);
    TQTVPicture& pic = doc.Picture;
    if (!pic.HasData() || pic.Cols != cols || pic.Rows != rows) throw ERangeError();
    const TUnitScale xy = RecordUnit(ch.XYUnit, true), z = RecordUnit(ch.ZUnit, false);
    TScanPara& para = pic.Para;
    para.XPhysUnit = para.YPhysUnit = xy.Unit;
    para.XScanRange = ScaledSize(ch.XReal, xy.Factor);
    para.YScanRange = ScaledSize(ch.YReal, xy.Factor);
    para.PhysUnit = z.Unit;
    para.Scale = 1.0;
    para.Offset = 0.0;

    // lines are read a few dozen kilobytes at a time and converted while in the cache
    float* const block = pic.Data.BlockToOverwrite(cols, rows);
    if (!block) throw ERangeError();
    float mn = HUGE_VALF, mx = -HUGE_VALF;
    const int32_t linesPerPiece = static_cast<int32_t>(std::max<size_t>(1, TFieldFile::WindowSize / lineBytes));
    std::vector<char> piece(static_cast<size_t>(linesPerPiece) * lineBytes);
    try {
        for (int32_t k0 = 0; k0 < rows; k0 += linesPerPiece) {
            const int32_t k1 = std::min(rows, k0 + linesPerPiece);
            file.Read(ch.DataAt + static_cast<size_t>(k0) * lineBytes, piece.data(), static_cast<size_t>(k1 - k0) * lineBytes);
            const char* src = piece.data();
            for (int32_t k = k0; k < k1; ++k, src += lineBytes) {
                float* row = block + static_cast<size_t>(ch.TopRowFirst ? rows - 1 - k : k) * static_cast<size_t>(cols);
                switch (ch.Coding) {
                case TSampleCoding::Float64LE: ConvertLine<TSampleCoding::Float64LE>(src, row, cols, z.Factor, ch.Mirrored); break;
                case TSampleCoding::Float32LE: ConvertLine<TSampleCoding::Float32LE>(src, row, cols, z.Factor, ch.Mirrored); break;
                case TSampleCoding::Float32BE: ConvertLine<TSampleCoding::Float32BE>(src, row, cols, z.Factor, ch.Mirrored); break;
                }
                WidenRange(row, static_cast<size_t>(cols), mn, mx);
            }
        }
    } catch (...) {
        // a read error part way: the grid reads as zero again, as a fresh one would
        std::memset(block, 0, static_cast<size_t>(rows) * static_cast<size_t>(cols) * sizeof(float));
        throw;
    }
    pic.Data.SetKnownRange(mn, mx);

    doc.CaptionTag = ch.Caption;
    doc.Title = ch.Caption.empty() ? fileName : fileName + " - " + ch.Caption;
    doc.ScanInfo = ch.ScanInfo;
    doc.History = ch.History;
}

// ---------------------------------------------------------------- simple field files

namespace {

const char* const GsfMagic = "Gwyddion Simple Field 1.0";

bool GsfRefuse(const std::string& name, const std::string& problem) {
    ShowFileMessage("File " + name + " is no valid Gwyddion Simple Field file: " + problem, {name}, TMsgKind::Error);
    return false;
}

bool GsfCount(const std::string& text, int64_t& n) {
    double v = 0;
    if (!FieldNumber(text, v) || v != std::floor(v) || std::fabs(v) > 1e15) return false;
    n = static_cast<int64_t>(v);
    return true;
}

}  // namespace

bool ParseGsf(const std::string& name, const TFieldFile& file, std::vector<TFieldChannel>& out) {
    out.clear();
    const size_t magicLen = std::strlen(GsfMagic);
    const std::string magic = file.Prefix(magicLen + 1);
    if (magic.compare(0, magicLen, GsfMagic) != 0 || magic.size() <= magicLen ||
        (magic[magicLen] != '\n' && magic[magicLen] != '\r'))
        return GsfRefuse(name, "it does not begin with \"" + std::string(GsfMagic) + "\"");
    const size_t headerEnd = file.Find(std::string(1, '\0'), 0);
    if (headerEnd == std::string::npos) return GsfRefuse(name, "the header does not end (no NUL byte)");
    if (headerEnd > (16u << 20)) return GsfRefuse(name, "the header is longer than 16 MB");
    // 1 to 4 NUL bytes bring the data to a multiple of 4
    const size_t dataAt = headerEnd + 4 - headerEnd % 4;
    if (dataAt > file.Size()) return GsfRefuse(name, "the file ends in the header's padding");
    const std::string bytes = file.Prefix(dataAt);
    for (size_t i = headerEnd; i < dataAt; ++i)
        if (bytes[i] != '\0') return GsfRefuse(name, "the header's padding holds other bytes than NUL");

    TFieldChannel ch;
    ch.Coding = TSampleCoding::Float32LE;
    std::vector<std::pair<std::string, std::string>> extra;
    bool haveX = false, haveY = false;
    size_t pos = magicLen;
    while (pos < headerEnd) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos || end > headerEnd) end = headerEnd;
        std::string line = bytes.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return GsfRefuse(name, "the header line \"" + line + "\" is no \"key = value\"");
        auto trim = [](std::string s) {
            const size_t a = s.find_first_not_of(" \t");
            if (a == std::string::npos) return std::string();
            return s.substr(a, s.find_last_not_of(" \t") + 1 - a);
        };
        const std::string key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
        auto number = [&](double& v) {
            if (!FieldNumber(value, v)) return GsfRefuse(name, key + " \"" + value + "\" is no number");
            return true;
        };
        double ignored = 0;
        if (key == "XRes" || key == "YRes") {
            int64_t& n = key == "XRes" ? ch.Cols : ch.Rows;
            if (!GsfCount(value, n)) return GsfRefuse(name, key + " \"" + value + "\" is no whole number");
            (key == "XRes" ? haveX : haveY) = true;
        } else if (key == "XReal") {
            if (!number(ch.XReal)) return false;
        } else if (key == "YReal") {
            if (!number(ch.YReal)) return false;
        } else if (key == "XOffset" || key == "YOffset") {
            if (!number(ignored)) return false;  // the record has no origin
        } else if (key == "XYUnits") {
            ch.XYUnit = FieldTextToLatin1(value);
        } else if (key == "ZUnits") {
            ch.ZUnit = FieldTextToLatin1(value);
        } else if (key == "Title") {
            ch.Caption = FieldTextToLatin1(value);
        } else {
            extra.emplace_back(FieldTextToLatin1(key), FieldTextToLatin1(value));
        }
    }
    if (!haveX || !haveY) return GsfRefuse(name, haveX ? "YRes is missing" : "XRes is missing");
    const std::string sizeProblem = FieldSizeProblem(ch.Cols, ch.Rows);
    if (!sizeProblem.empty()) return GsfRefuse(name, sizeProblem);
    const size_t want = static_cast<size_t>(ch.Cols) * static_cast<size_t>(ch.Rows) * 4;
    const size_t have = file.Size() - dataAt;
    if (have != want)
        return GsfRefuse(name, "XRes * YRes = " + IntToStr(ch.Cols * ch.Rows) + " samples need " +
                                   IntToStr(static_cast<long long>(want)) + " data bytes, the file has " +
                                   IntToStr(static_cast<long long>(have)));
    ch.DataAt = dataAt;
    TakeFieldEntries(extra, FieldHistoryKey, FieldScanInfoKey, ch);
    out.push_back(std::move(ch));
    return true;
}

std::string BuildGsf(const TImageDoc& doc) {
    const TQTVPicture& pic = doc.Picture;
    if (!pic.HasData()) throw EInOutError("The image holds no samples");
    const TUnitScale xy = FileUnit(pic.Para.XPhysUnit), z = FileUnit(pic.Para.PhysUnit);
    std::string h = std::string(GsfMagic) + "\n";
    h += "XRes = " + std::to_string(pic.Cols) + "\n";
    h += "YRes = " + std::to_string(pic.Rows) + "\n";
    h += "XReal = " + FieldNumberText(pic.Para.XScanRange / xy.Factor) + "\n";
    h += "YReal = " + FieldNumberText(pic.Para.YScanRange / FileUnit(pic.Para.YPhysUnit).Factor) + "\n";
    if (!xy.Unit.empty()) h += "XYUnits = " + Latin1ToUtf8(OneLine(xy.Unit)) + "\n";
    if (!z.Unit.empty()) h += "ZUnits = " + Latin1ToUtf8(OneLine(z.Unit)) + "\n";
    if (!doc.CaptionTag.empty()) h += "Title = " + Latin1ToUtf8(OneLine(doc.CaptionTag)) + "\n";
    for (size_t i = 0; i < doc.History.size(); ++i)
        h += FieldEntryKey(FieldHistoryKey, i + 1, doc.History.size()) + " = " +
             Latin1ToUtf8(OneLine(doc.History[i])) + "\n";
    for (size_t i = 0; i < doc.ScanInfo.size(); ++i)
        h += FieldEntryKey(FieldScanInfoKey, i + 1, doc.ScanInfo.size()) + " = " +
             Latin1ToUtf8(OneLine(doc.ScanInfo[i])) + "\n";
    h.append(4 - h.size() % 4, '\0');

    const int32_t rows = pic.Rows, cols = pic.Cols;
    const size_t at = h.size();
    h.resize(at + static_cast<size_t>(rows) * static_cast<size_t>(cols) * 4);
    char* dst = h.data() + at;
    for (int32_t k = 0; k < rows; ++k) {
        const float* row = pic.Data[rows - 1 - k];
        for (int32_t c = 0; c < cols; ++c, dst += 4) {
            uint32_t w = std::bit_cast<uint32_t>(static_cast<float>(row[c] / z.Factor));
            if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap32(w);
            std::memcpy(dst, &w, 4);
        }
    }
    return h;
}

std::string FieldSizeProblem(int64_t cols, int64_t rows) {
    if (cols >= 1 && rows >= 1 && cols <= MaxPixels && rows <= MaxPixels) return {};
    return "the image is " + IntToStr(cols) + " * " + IntToStr(rows) + " pixel; 1 to " + IntToStr(MaxPixels) +
           " each way can be read";
}

bool CommitNewFile(const std::string& path, const std::string& bytes) {
    if (::access(path.c_str(), F_OK) == 0) {
        ShowFileMessage(path + " already exists! Abort!", {path});
        return false;
    }
    try {
        if (!CommitFile(path, bytes, false)) {
            ShowFileMessage(path + " already exists! Abort!", {path});
            return false;
        }
    } catch (const EInOutError& e) {
        ShowFailure(e);
        return false;
    }
    return true;
}

bool WriteGsf(const TImageDoc& doc, const std::string& path) {
    if (::access(path.c_str(), F_OK) == 0) {
        ShowFileMessage(path + " already exists! Abort!", {path});
        return false;
    }
    return CommitNewFile(path, BuildGsf(doc));
}
