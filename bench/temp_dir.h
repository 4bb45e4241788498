#pragma once
// A fresh folder under the temporary directory for one benchmark program, removed with
// everything in it when the program ends.
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include <unistd.h>

inline std::string BenchTempDir(const std::string& name)
{
    static std::vector<std::string> made;
    static std::mutex guard;
    std::string t = (std::filesystem::temp_directory_path() / ("morvane-bench-" + name + "-XXXXXX")).string();
    if (!mkdtemp(t.data())) std::abort();
    const std::lock_guard<std::mutex> lock(guard);
    if (made.empty())
        std::atexit([] {
            std::error_code ec;
            for (const std::string& d : made) std::filesystem::remove_all(d, ec);
        });
    made.push_back(t);
    return t;
}
