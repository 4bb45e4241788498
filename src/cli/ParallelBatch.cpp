#include "cli/ParallelBatch.h"

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <vector>

#include "core/Threads.h"
#include "formats/NativeWriter.h"

namespace {

bool Exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(path), ec) || ec;
}

// A file's output and, for the native format, its data file.
std::vector<std::string> Targets(const std::string& out, const TBatchArgs& args, TNativeKind kind)
{
    std::vector<std::string> t{out};
    if (args.Ext.empty() || args.Ext == ".txt") t.push_back(NativeDataFileName(out, kind));
    return t;
}

// Copies what a child wrote into its scratch file to the stream, then closes it.
void PassOn(std::FILE* scratch, std::FILE* to)
{
    if (!scratch) return;
    std::rewind(scratch);
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, scratch)) > 0) std::fwrite(buf, 1, n, to);
    std::fclose(scratch);
    std::fflush(to);
}

struct TRunning {
    size_t Index = 0;
    std::string Out;
    std::vector<std::string> Targets;
    std::FILE* Stdout = nullptr;
    std::FILE* Stderr = nullptr;
};

}  // namespace

bool ParseJobCount(const std::string& text, int& jobs)
{
    if (text.empty() || text.size() > 6 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    jobs = std::stoi(text);
    return jobs >= 1;
}

int RunParallelBatch(const TBatchArgs& args, TNativeKind dataKind, int jobs,
                     const std::function<int(const std::string& in, const std::string& out)>& one)
{
    const size_t total = args.Files.size();
    size_t failed = 0, finished = 0;
    const auto start = std::chrono::steady_clock::now();
    std::map<pid_t, TRunning> running;

    const auto report = [&](const std::string& in, const std::string& out, int status) {
        if (status != 0) ++failed;
        ++finished;
        std::printf("[%zu/%zu] %s -> %s %s\n", finished, total, in.c_str(), out.c_str(), status == 0 ? "ok" : "FAILED");
        std::fflush(stdout);
    };
    // Waits for one child to end and passes on what it wrote.
    const auto reap = [&] {
        int raw = 0;
        pid_t pid;
        do pid = waitpid(-1, &raw, 0);
        while (pid < 0 && errno == EINTR);
        const auto it = running.find(pid);
        if (pid < 0 || it == running.end()) return false;
        TRunning& r = it->second;
        PassOn(r.Stdout, stdout);
        PassOn(r.Stderr, stderr);
        int status = 1;
        if (WIFEXITED(raw)) status = WEXITSTATUS(raw);
        else
            std::fprintf(stderr, "morvane-cli: %s: ended by signal %d\n", args.Files[r.Index].c_str(),
                         WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
        report(args.Files[r.Index], r.Out, status);
        running.erase(it);
        return true;
    };
    const auto conflicts = [&](const std::vector<std::string>& targets) {
        for (const auto& [pid, r] : running)
            for (const std::string& a : r.Targets)
                if (std::find(targets.begin(), targets.end(), a) != targets.end()) return true;
        return false;
    };

    for (size_t i = 0; i < total; ++i) {
        const std::string& in = args.Files[i];
        const std::string out = BatchOutputName(in, args.OutDir, args.Ext);
        const std::vector<std::string> targets = Targets(out, args, dataKind);
        while (!running.empty() && (static_cast<int>(running.size()) >= jobs || conflicts(targets)))
            if (!reap()) break;
        std::string exists;
        for (const std::string& t : targets)
            if (exists.empty() && Exists(t)) exists = t;
        if (!exists.empty()) {
            std::fprintf(stderr, "morvane-cli: %s already exists, not overwritten\n", exists.c_str());
            std::fflush(stderr);
            report(in, out, 1);
            continue;
        }
        TRunning r{i, out, targets, std::tmpfile(), std::tmpfile()};
        std::fflush(stdout);
        std::fflush(stderr);
        std::cout.flush();
        std::cerr.flush();
        const pid_t pid = (r.Stdout && r.Stderr) ? fork() : -1;
        if (pid == 0) {
            dup2(fileno(r.Stdout), STDOUT_FILENO);
            dup2(fileno(r.Stderr), STDERR_FILENO);
            if (ThreadsFromEnvironment() == 0) SetThreadCount(1);
            int status = 1;
            try {
                status = one(in, out);
            } catch (...) {
                std::fprintf(stderr, "morvane-cli: %s: unexpected error\n", in.c_str());
            }
            std::cout.flush();
            std::cerr.flush();
            std::fflush(nullptr);
            _exit(status);
        }
        if (pid < 0) {
            // no process to spare: this file runs here, as with -j 1
            if (r.Stdout) std::fclose(r.Stdout);
            if (r.Stderr) std::fclose(r.Stderr);
            while (!running.empty() && reap()) {
            }
            report(in, out, one(in, out));
            continue;
        }
        running.emplace(pid, r);
    }
    while (!running.empty() && reap()) {
    }
    return BatchSummary(total, failed, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}
