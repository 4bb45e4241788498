// File helpers shared by the broken-file tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace broken_support {

inline const std::string Corpus = std::string(MORVANE_TEST_DATA) + "/broken/";

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace broken_support
