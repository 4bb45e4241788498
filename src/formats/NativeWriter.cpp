// The native writer: parameter text from the scan information plus one data file.
#include "formats/NativeWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "core/Errors.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "core/Threads.h"
#include "formats/HistoryLines.h"
#include "formats/LoadFiles.h"

bool UnnamedTempFiles = true;

namespace {

void PutWord32(std::string& out, size_t at, uint32_t w) {
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap32(w);
    std::memcpy(out.data() + at, &w, 4);
}

std::string CreateError(const std::string& path, int err) {
    return "Cannot create file \"" + path + "\". " + std::strerror(err);
}

// Whether an unnamed file can be given a name through /proc (linkat of its descriptor).
bool CanNameUnnamedFiles() {
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can && UnnamedTempFiles;
}

// A file written without a name (O_TMPFILE) in its target's directory, or where that
// cannot be had under a temporary name there; moved into place by Commit, gone
// otherwise. The unnamed way makes the file without holding the directory, so that
// several writers into one folder do not wait for each other's file creation.
class TTempFile {
public:
    TTempFile(const std::string& target, const std::string& bytes)
        : TTempFile(target, [&](const TBlockSink& put) { put(bytes.data(), bytes.size()); }) {}
    // The file's bytes come block by block from source.
    TTempFile(const std::string& target, const TBlockSource& source) : target_(target) {
        const std::string dir = ExtractFileDir(target);
        int fd = -1;
        if (CanNameUnnamedFiles()) {
            fd = ::open(dir.empty() ? "." : dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
            if (fd >= 0) unnamed_ = fd;
        }
        if (fd < 0) fd = OpenNamed(dir);
        const auto put = [&](const char* p, size_t left) {
            while (left > 0) {
                const ssize_t n = ::write(fd, p, left);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    const int err = n < 0 ? errno : ENOSPC;
                    if (unnamed_ < 0) ::close(fd);
                    Remove();
                    fd = -1;
                    throw EInOutError(CreateError(target_, err), target_);
                }
                p += n;
                left -= static_cast<size_t>(n);
            }
        };
        try {
            source(put);
        } catch (...) {
            if (unnamed_ < 0 && fd >= 0) ::close(fd);
            Remove();
            throw;
        }
        if (unnamed_ < 0 && ::close(fd) != 0) {
            const int err = errno;
            Remove();
            throw EInOutError(CreateError(target, err), target);
        }
    }
    ~TTempFile() { Remove(); }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    // Moves the file into place. Without replace an existing target stays untouched and
    // the result is false.
    bool Commit(bool replace) {
        if (unnamed_ >= 0) {
            const std::string self = "/proc/self/fd/" + std::to_string(unnamed_);
            if (!replace) {
                // a link never replaces an existing name
                if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
                    if (errno == EEXIST) return false;
                    throw EInOutError(CreateError(target_, errno), target_);
                }
                if (!CloseUnnamed()) {
                    const int err = errno;
                    ::unlink(target_.c_str());  // ours, made just now
                    throw EInOutError(CreateError(target_, err), target_);
                }
                return true;
            }
            // a name of its own first, then over the target
            const std::string dir = ExtractFileDir(target_);
            for (int attempt = 0; attempt < 100 && temp_.empty(); ++attempt) {
                const std::string name = TempName(dir);
                if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) temp_ = name;
                else if (errno != EEXIST) break;
            }
            if (temp_.empty()) throw EInOutError(CreateError(target_, errno), target_);
            if (!CloseUnnamed()) {
                const int err = errno;
                Remove();
                throw EInOutError(CreateError(target_, err), target_);
            }
        }
        if (replace) {
            if (std::rename(temp_.c_str(), target_.c_str()) != 0)
                throw EInOutError(CreateError(target_, errno), target_);
            temp_.clear();
            return true;
        }
        // A hard link never replaces an existing name; where links are not supported,
        // check and rename.
        if (::link(temp_.c_str(), target_.c_str()) == 0) {
            Remove();
            return true;
        }
        if (errno == EEXIST) return false;
        if (FileExists(target_) || ::access(target_.c_str(), F_OK) == 0) return false;
        if (std::rename(temp_.c_str(), target_.c_str()) != 0)
            throw EInOutError(CreateError(target_, errno), target_);
        temp_.clear();
        return true;
    }

private:
    std::string TempName(const std::string& dir) const {
        static std::atomic<unsigned> counter{0};
        return dir + "." + ExtractFileName(target_) + "." + std::to_string(::getpid()) + "." +
               std::to_string(++counter) + ".tmp";
    }
    int OpenNamed(const std::string& dir) {
        int fd = -1;
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            temp_ = TempName(dir);
            fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST) break;
        }
        if (fd < 0) {
            const int err = errno;
            temp_.clear();
            throw EInOutError(CreateError(target_, err), target_);
        }
        return fd;
    }
    bool CloseUnnamed() {
        const int fd = unnamed_;
        unnamed_ = -1;
        return ::close(fd) == 0;
    }
    void Remove() {
        if (unnamed_ >= 0) CloseUnnamed();  // an unnamed file goes with its descriptor
        if (!temp_.empty()) ::unlink(temp_.c_str());
        temp_.clear();
    }
    std::string target_;
    std::string temp_;
    int unnamed_ = -1;  // the unnamed file, until it is named or dropped
};

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

struct TFiniteRange {
    float Min = std::numeric_limits<float>::infinity(), Max = -std::numeric_limits<float>::infinity();
    bool Any = false;
};

// Smallest and largest finite value (the first of equal ones).
TFiniteRange FiniteRangePlain(const float* v, size_t n, TFiniteRange r = {}) {
    for (size_t k = 0; k < n; ++k) {
        const float x = v[k];
        const bool finite = x - x == 0.0f;  // false for infinities and not-a-number
        r.Min = finite && x < r.Min ? x : r.Min;
        r.Max = finite && x > r.Max ? x : r.Max;
        r.Any |= finite;
    }
    return r;
}

#if defined(__x86_64__) && defined(__GNUC__)
#define MORVANE_WRITER_AVX2 1
bool WriterAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

__attribute__((target("avx2"))) TFiniteRange FiniteRangeAvx2(const float* v, size_t n) {
    const __m256 inf = _mm256_set1_ps(std::numeric_limits<float>::infinity());
    __m256 mn = inf, mx = _mm256_sub_ps(_mm256_setzero_ps(), inf);
    __m256 any = _mm256_setzero_ps();
    size_t k = 0;
    for (; k + 8 <= n; k += 8) {
        const __m256 x = _mm256_loadu_ps(v + k);
        const __m256 finite = _mm256_cmp_ps(_mm256_sub_ps(x, x), _mm256_setzero_ps(), _CMP_EQ_OQ);
        mn = _mm256_blendv_ps(mn, x, _mm256_and_ps(finite, _mm256_cmp_ps(x, mn, _CMP_LT_OQ)));
        mx = _mm256_blendv_ps(mx, x, _mm256_and_ps(finite, _mm256_cmp_ps(x, mx, _CMP_GT_OQ)));
        any = _mm256_or_ps(any, finite);
    }
    alignas(32) float lmn[8], lmx[8];
    _mm256_store_ps(lmn, mn);
    _mm256_store_ps(lmx, mx);
    TFiniteRange r;
    r.Any = _mm256_movemask_ps(any) != 0;
    for (int i = 0; i < 8; ++i) {
        r.Min = lmn[i] < r.Min ? lmn[i] : r.Min;
        r.Max = lmx[i] > r.Max ? lmx[i] : r.Max;
    }
    return FiniteRangePlain(v + k, n - k, r);
}
#endif

// Smallest and largest finite value.
TFiniteRange FiniteRange(const float* v, size_t n) {
#ifdef MORVANE_WRITER_AVX2
    if (WriterAvx2()) return FiniteRangeAvx2(v, n);
#endif
    return FiniteRangePlain(v, n);
}

// The colour range the stored integers are fitted to: the user's fixed range, or the
// range of the finite samples.
void ValueRange(const TQTVPicture& pic, long double& lo, long double& hi) {
    if (pic.FixedRange > 0) {
        lo = pic.Min;
        hi = pic.Max;
        return;
    }
    const float* block = pic.Data.Block();
    const size_t n = block ? static_cast<size_t>(pic.Rows) * static_cast<size_t>(pic.Cols) : 0;
    const TFiniteRange r = FiniteRange(block, n);
    const float mn = r.Any ? r.Min : 0.0f, mx = r.Any ? r.Max : 0.0f;
    lo = mn;
    hi = mx;
}

}  // namespace

std::string OneLine(const std::string& text) {
    std::string out;
    for (const char ch : text)
        if (static_cast<unsigned char>(ch) > 13) out.push_back(ch);
    return out;
}

bool HasCurrentHeader(const std::vector<std::string>& scanInfo) {
    // The loader's own search: "Version" with a current-generation value, then every
    // header key in order, all before the first channel block.
    std::string text;
    for (const std::string& line : scanInfo) {
        if (line.find("FileDescBegin") != std::string::npos) break;
        text += line + "\r\n";
    }
    TLoadFiles probe("");
    probe.SetParamText(text);
    if (!probe.FindKey("Version") || !probe.FindKey(": ")) return false;
    const std::string version = probe.ReadLine();
    if (version != "1.10" && version != "1.11" && version != "1.12") return false;
    for (const char* key : {"XScanRange", "YScanRange", "XPhysUnit", "YPhysUnit", "xPixel", "yPixel"})
        if (!probe.FindKey(key)) return false;
    return true;
}

std::string NativeDataFileName(const std::string& name, TNativeKind kind) {
    const char* letters = kind == TNativeKind::Int ? "int" : "sin";
    if (ExtractFileExt(name).empty()) {
        // A name without an extension would give a data file the reader cannot tell
        // apart; it gets a proper one.
        return name + "." + letters;
    }
    return name.substr(0, name.find_last_of('.') + 1) + letters;
}

namespace {

// One row of .int values the fast way: n = round(v * kd) half to even in double,
// where that cannot differ from the extended-precision rounding. False when some
// sample of the row needs the slow way (its n is then 0).
bool QuantiseRowPlain(const float* src, int32_t* n, int32_t cols, double kd) {
    bool all = true;
    for (int32_t c = 0; c < cols; ++c) {
        const double y = static_cast<double>(src[c]) * kd;
        // half to even by the binary point of 1.5 * 2^52 (exact for |y| < 2^51)
        const double ry = (y + 0x1.8p52) - 0x1.8p52;
        const double ay = std::fabs(y);
        const bool ok = ay < 2.0e9 && std::fabs(std::fabs(y - ry) - 0.5) > ay * 0x1p-45 + 0x1p-60;
        n[c] = ok ? static_cast<int32_t>(ry) : 0;
        all &= ok;
    }
    return all;
}

#ifdef MORVANE_WRITER_AVX2
// The same four samples at a time (lanes that fail are redone one by one).
__attribute__((target("avx2"))) bool QuantiseRowAvx2(const float* src, int32_t* n, int32_t cols, double kd) {
    const __m256d k = _mm256_set1_pd(kd), magic = _mm256_set1_pd(0x1.8p52), half = _mm256_set1_pd(0.5);
    const __m256d sign = _mm256_set1_pd(-0.0), limit = _mm256_set1_pd(2.0e9);
    const __m256d rel = _mm256_set1_pd(0x1p-45), tiny = _mm256_set1_pd(0x1p-60);
    int all = 0xF;
    int32_t c = 0;
    for (; c + 4 <= cols; c += 4) {
        const __m256d y = _mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(src + c)), k);
        const __m256d ry = _mm256_sub_pd(_mm256_add_pd(y, magic), magic);
        const __m256d ay = _mm256_andnot_pd(sign, y);
        const __m256d d = _mm256_andnot_pd(sign, _mm256_sub_pd(_mm256_andnot_pd(sign, _mm256_sub_pd(y, ry)), half));
        const __m256d margin = _mm256_add_pd(_mm256_mul_pd(ay, rel), tiny);
        const __m256d ok = _mm256_and_pd(_mm256_cmp_pd(ay, limit, _CMP_LT_OQ), _mm256_cmp_pd(d, margin, _CMP_GT_OQ));
        all &= _mm256_movemask_pd(ok);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(n + c), _mm256_cvtpd_epi32(_mm256_and_pd(ry, ok)));
    }
    return QuantiseRowPlain(src + c, n + c, cols - c, kd) && all == 0xF;
}
#endif

bool QuantiseRow(const float* src, int32_t* n, int32_t cols, double kd) {
#ifdef MORVANE_WRITER_AVX2
    if (cols >= 4 && WriterAvx2()) return QuantiseRowAvx2(src, n, cols, kd);
#endif
    return QuantiseRowPlain(src, n, cols, kd);
}

}  // namespace

TIntData EncodeIntData(const TQTVPicture& pic) {
    TIntData out;
    // A scale of 0 (or not a number) cannot be divided by: the samples are quantised as
    // if it were 1, and the written scale restores them.
    long double scale = pic.Para.Scale;
    if (scale == 0.0L || !std::isfinite(scale)) scale = 1.0L;

    long double mn = 0, mx = 0;
    ValueRange(pic, mn, mx);
    float f = 1.0f;
    if ((mx - mn) / scale > 1e-9L) f = static_cast<float>(1000000.0L * scale / (mx - mn));
    if (!std::isfinite(f) || f <= 0.0f) f = 1.0f;
    while (std::fabs(f * mx / scale) > 1e9L && f > 1e-9L) f = static_cast<float>(f / 10.0L);
    while (std::fabs(f * mn / scale) > 1e9L && f > 1e-9L) f = static_cast<float>(f / 10.0L);
    out.Factor = f;
    out.WrittenScale = scale / f;

    const int32_t rows = pic.Rows, cols = pic.Cols;
    if (rows <= 0 || cols <= 0 || !pic.HasData()) return out;
    out.Bytes.resize(static_cast<size_t>(rows) * static_cast<size_t>(cols) * 4);
    const long double k = static_cast<long double>(f) / scale;
    constexpr long double lo = std::numeric_limits<int32_t>::min();
    constexpr long double hi = std::numeric_limits<int32_t>::max();
    // The quotient is rounded in extended precision. A double product lies within
    // |y| * 2^-51 of the extended one, so wherever it is farther than that from a
    // half-integer both round to the same integer; only the rest take the slow way.
    const double kd = static_cast<double>(k);
    // The extended-precision rounding of one sample, with the flags of the values
    // that cannot be stored.
    const auto slow = [&](float v, bool& ok) -> int32_t {
        if (std::isnan(v)) {
            ok = false;
            return 0;
        }
        if (std::isinf(v)) ok = false;
        const long double x = std::nearbyint(static_cast<long double>(v) * k);
        // Samples beyond the range (a fixed colour range) saturate.
        return x <= lo ? std::numeric_limits<int32_t>::min()
               : x >= hi ? std::numeric_limits<int32_t>::max()
                         : static_cast<int32_t>(x);
    };
    // rows are the units of the pool; the file holds them top row first
    std::atomic<bool> valuesOk{true};
    ParallelFor(rows, GrainFor(rows), [&](int64_t k0, int64_t k1) {
        std::vector<int32_t> line(static_cast<size_t>(cols));
        bool ok = true;
        for (int64_t k = k0; k < k1; ++k) {
            const float* src = pic.Data[rows - 1 - static_cast<int32_t>(k)];
            int32_t* n = line.data();
            if (!QuantiseRow(src, n, cols, kd))
                for (int32_t c = 0; c < cols; ++c)
                    if (!QuantiseRow(src + c, n + c, 1, kd)) n[c] = slow(src[c], ok);
            size_t at = static_cast<size_t>(k) * static_cast<size_t>(cols) * 4;
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(out.Bytes.data() + at, n, static_cast<size_t>(cols) * 4);
            } else {
                for (int32_t c = 0; c < cols; ++c, at += 4) PutWord32(out.Bytes, at, static_cast<uint32_t>(n[c]));
            }
        }
        if (!ok) valuesOk = false;
    });
    out.ValuesOk = valuesOk;
    return out;
}

std::string EncodeSinData(const TQTVPicture& pic) {
    std::string bytes;
    const int32_t rows = pic.Rows, cols = pic.Cols;
    if (rows <= 0 || cols <= 0 || !pic.HasData()) return bytes;
    bytes.resize(static_cast<size_t>(rows) * static_cast<size_t>(cols) * 4);
    size_t at = 0;
    for (int32_t r = 0; r < rows; ++r) {
        const float* src = pic.Data[r];
        for (int32_t c = 0; c < cols; ++c, at += 4) PutWord32(bytes, at, std::bit_cast<uint32_t>(src[c]));
    }
    return bytes;
}

bool CommitStreamed(const std::string& path, const TBlockSource& source, bool replace) {
    TTempFile file(path, source);
    return file.Commit(replace);
}

bool CommitFile(const std::string& path, const std::string& bytes, bool replace) {
    TTempFile file(path, bytes);
    return file.Commit(replace);
}

bool WriteNative(const TImageDoc& doc, const std::string& name, TNativeKind kind) {
    if (Exists(name)) {
        ShowFileMessage(name + " already exists! Abort!", {name});
        return false;
    }
    const std::string dataName = NativeDataFileName(name, kind);
    if (Exists(dataName)) {
        ShowFileMessage(dataName + " already exists! Abort!", {dataName});
        return false;
    }
    const TQTVPicture& pic = doc.Picture;

    // Header: the scan information up to the first channel block, with the pixel counts
    // and ranges of the image as it is now.
    std::string text;
    const bool ownHeader = HasCurrentHeader(doc.ScanInfo);
    if (!ownHeader) {
        // Scan information of an instrument (or of an old-generation file): a complete
        // header from the record first, the instrument's lines follow as free text.
        text += "Version : 1.12\r\n";
        text += "XScanRange : " + FormatShortest(pic.Para.XScanRange) + "\r\n";
        text += "YScanRange : " + FormatShortest(pic.Para.YScanRange) + "\r\n";
        text += "XPhysUnit : " + OneLine(pic.Para.XPhysUnit) + "\r\n";
        text += "YPhysUnit : " + OneLine(pic.Para.YPhysUnit) + "\r\n";
        text += "xPixel : " + IntToStr(pic.Cols) + "\r\n";
        text += "yPixel : " + IntToStr(pic.Rows) + "\r\n";
    }
    for (const std::string& line : doc.ScanInfo) {
        if (!ownHeader) {
            if (line.find("FileDescBegin") != std::string::npos) break;
            text += line + "\r\n";
            continue;
        }
        if (line.find("xPixel") != std::string::npos)
            text += "xPixel     : " + IntToStr(pic.Cols);
        else if (line.find("yPixel") != std::string::npos)
            text += "yPixel     : " + IntToStr(pic.Rows);
        else if (line.find("XScanRange") != std::string::npos)
            text += "XScanRange : " + FormatShortest(pic.Para.XScanRange);
        else if (line.find("YScanRange") != std::string::npos)
            text += "YScanRange : " + FormatShortest(pic.Para.YScanRange);
        else if (line.find("XPhysUnit") != std::string::npos)
            text += "XPhysUnit : " + pic.Para.XPhysUnit;
        else if (line.find("YPhysUnit") != std::string::npos)
            text += "YPhysUnit : " + pic.Para.YPhysUnit;
        else if (line.find("FileDescBegin") != std::string::npos)
            break;
        else
            text += line;
        text += "\r\n";
    }

    std::string data;
    std::string scaleText = "1";
    bool valuesOk = true;
    if (kind == TNativeKind::Int) {
        TIntData enc = EncodeIntData(pic);
        data = std::move(enc.Bytes);
        scaleText = FormatShortest(enc.WrittenScale);
        valuesOk = enc.ValuesOk;
    } else {
        data = EncodeSinData(pic);
    }
    text += "FileDescBegin\r\n";
    text += "FileName : " + ExtractFileName(dataName) + "\r\n";
    text += "Caption  : " + doc.CaptionTag + "\r\n";
    text += "Scale    : " + scaleText + "\r\n";
    text += "PhysUnit : " + OneLine(pic.Para.PhysUnit) + "\r\n";
    text += "FileDescEnd\r\n";
    // the processing history after the block, as lines no key search can take for a key
    for (size_t i = 0; i < doc.History.size(); ++i) text += HistoryFileLine(i + 1, doc.History[i]) + "\r\n";

    if (!valuesOk) ShowMessage("Error during saving data-file!", TMsgKind::Information);

    try {
        TTempFile paramFile(name, text);
        TTempFile dataFile(dataName, data);
        if (!dataFile.Commit(false)) {
            ShowFileMessage(dataName + " already exists! Abort!", {dataName});
            return false;
        }
        // The data file is ours from here on: it goes again if the parameter file
        // cannot follow it.
        bool placed = false;
        try {
            placed = paramFile.Commit(false);
        } catch (...) {
            ::unlink(dataName.c_str());
            throw;
        }
        if (!placed) {
            ::unlink(dataName.c_str());
            ShowFileMessage(name + " already exists! Abort!", {name});
            return false;
        }
    } catch (const EInOutError& e) {
        ShowFailure(e);
        return false;
    }
    return true;
}
