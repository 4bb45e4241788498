#pragma once
// Helpers of the fuzz targets: one scratch folder per process (the readers open files
// by name), the layout of a two-file input, and the verdict on a load.
//
// Two-file input layout (native and Omicron targets):
//   byte 0            control: how the user answers and which channels get loaded
//   bytes 1..         the parameter text, up to the first separator
//   then              data file contents, each introduced by the separator
// The separator is SEP below; the dictionaries of the targets contain it.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/LoadHarness.h"

namespace morvane_fuzz {

namespace fs = std::filesystem;

inline constexpr std::string_view SEP = "#MORVANE-DATA#";

// The per-process scratch folder, created on first use under $TMPDIR (or /tmp) and
// removed when the process ends normally. It is emptied before every input.
inline const std::string& ScratchDir() {
    static const std::string dir = [] {
        const char* base = std::getenv("TMPDIR");
        std::string templ = std::string(base && *base ? base : "/tmp") + "/morvane-fuzz-XXXXXX";
        std::vector<char> buf(templ.begin(), templ.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        std::string made(buf.data());
        static struct Remover {
            std::string path;
            ~Remover() {
                std::error_code ec;
                fs::remove_all(path, ec);
            }
        } remover{made};
        return made + "/";
    }();
    return dir;
}

inline void EmptyScratch() {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(ScratchDir(), ec)) fs::remove_all(entry.path(), ec);
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct TTwoFileInput {
    uint8_t Control = 0;
    std::string Param;
    std::vector<std::string> Data;
};

inline TTwoFileInput SplitInput(const uint8_t* bytes, size_t size) {
    TTwoFileInput in;
    if (size == 0) return in;
    in.Control = bytes[0];
    std::string_view rest(reinterpret_cast<const char*>(bytes) + 1, size - 1);
    size_t cut = rest.find(SEP);
    in.Param = std::string(rest.substr(0, cut));
    while (cut != std::string_view::npos) {
        rest.remove_prefix(cut + SEP.size());
        cut = rest.find(SEP);
        in.Data.emplace_back(rest.substr(0, cut));
    }
    return in;
}

// A data file name the target may create inside the scratch folder: a plain name, not
// the parameter file itself and nothing that leads out of the folder.
inline bool PlainName(const std::string& name, const std::string& paramName) {
    if (name.empty() || name.size() > 120 || name == "." || name == ".." || name == paramName)
        return false;
    for (char ch : name)
        if (ch == '/' || ch == '\\' || ch == '\0') return false;
    return true;
}

// Writes data chunk k under the k-th distinct plain name (the last chunk serves the
// rest; at most 8 files). Names with a path are left missing.
inline void WriteDataFiles(const std::vector<std::string>& names, const std::vector<std::string>& data,
                           const std::string& paramName) {
    if (data.empty()) return;
    std::set<std::string> done;
    for (const std::string& name : names) {
        if (done.size() >= 8) break;
        if (!PlainName(name, paramName) || done.count(name)) continue;
        size_t k = std::min(done.size(), data.size() - 1);
        WriteFile(ScratchDir() + name, data[k]);
        done.insert(name);
    }
}

// Answers of the message boxes from the control byte: bits 0-1 pick the answer to the
// first question (Yes, No, Cancel, Yes), bits 2-3 the later ones.
inline morvane_harness::TAnswers AnswersFrom(uint8_t control) {
    static const TMsgResult pick[4] = {TMsgResult::Yes, TMsgResult::No, TMsgResult::Cancel,
                                       TMsgResult::Yes};
    morvane_harness::TAnswers a;
    a.Queue = {pick[control & 3]};
    a.Default = pick[(control >> 2) & 3];
    return a;
}

// A load that broke an invariant is a finding: print what and stop the process so that
// libFuzzer keeps the input.
inline void Verdict(const morvane_harness::TLoadResult& r) {
    std::vector<std::string> problems = r.Problems();
    if (problems.empty()) return;
    for (const std::string& p : problems) std::fprintf(stderr, "==morvane== %s\n", p.c_str());
    std::abort();
}

}  // namespace morvane_fuzz
