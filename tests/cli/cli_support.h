#pragma once
// Running morvane-cli as a user does from the shell, for the command-line tests.
#include <sys/wait.h>

#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace cli_test {

struct TRun {
    int Status = -1;
    std::string Out, Err;
};

// s in single quotes for the shell.
inline std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs the command line with its output and error text caught in the two scratch
// files (read, then removed; only regular files are ever removed).
inline TRun RunShell(const std::string& cmd, const std::string& outFile, const std::string& errFile) {
    const std::string full = cmd + " >" + Quote(outFile) + " 2>" + Quote(errFile);
    const int raw = std::system(full.c_str());
    TRun r;
    r.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    auto slurp = [](const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        std::ostringstream s;
        s << f.rdbuf();
        return s.str();
    };
    r.Out = slurp(outFile);
    r.Err = slurp(errFile);
    for (const std::string& f : {outFile, errFile})
        if (std::filesystem::is_regular_file(f)) std::filesystem::remove(f);
    return r;
}

// morvane-cli with the arguments, each quoted.
inline TRun RunCli(const std::vector<std::string>& args, const std::string& outFile, const std::string& errFile) {
    std::string cmd = Quote(MORVANE_CLI);
    for (const auto& a : args) cmd += " " + Quote(a);
    return RunShell(cmd, outFile, errFile);
}

}  // namespace cli_test
