#include "frontend/BatchFiles.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <cstdio>
#include <filesystem>

#include "core/Text.h"
#include "formats/HistoryLines.h"
#include "formats/LoadFiles.h"

namespace {

bool ValidUtf8(const std::string& s)
{
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const size_t n = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : 4;
        if (n == 4) return false;
        for (size_t k = 1; k <= n; ++k)
            if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n + 1;
    }
    return true;
}

bool Exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(path), ec) || ec;
}

}  // namespace

bool ReadOperationsFile(const std::string& path, std::vector<std::string>& ops)
{
    std::string text;
    if (!FileExists(path) || !ReadWholeFile(path, text)) {
        std::fprintf(stderr, "morvane-cli: --ops-from: %s cannot be read\n", path.c_str());
        return false;
    }
    std::vector<std::string> read = OperationsFromText(text);
    // saved parameter files are Latin-1; a plain list may be UTF-8 already
    const bool utf8 = ValidUtf8(text);
    for (std::string& op : read)
        if (!utf8) op = Latin1ToUtf8(op);
    ops.insert(ops.begin(), read.begin(), read.end());
    return true;
}

std::string BatchOutputName(const std::string& input, const std::string& outDir, const std::string& ext)
{
    std::string name = ExtractFileName(input);
    const std::string inExt = ExtractFileExt(name);
    name.resize(name.size() - inExt.size());
    std::string dir = outDir;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir + name + (ext.empty() ? ".txt" : ext);
}

void KeepBatchHeap()
{
#if defined(__GLIBC__)
    // Every file allocates and frees the same large buffers (data file, samples, working
    // copies); kept on the heap instead of being mapped and unmapped each time, they are
    // not faulted in and cleared again for every file.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
#endif
}

std::string BatchOutputTaken(const std::string& out, const std::string& ext, TNativeKind dataKind)
{
    if (Exists(out)) return out;
    if ((ext.empty() || ext == ".txt") && Exists(NativeDataFileName(out, dataKind)))
        return NativeDataFileName(out, dataKind);
    return {};
}

