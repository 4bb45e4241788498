#include "cli/ParallelBatch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <iostream>
#include <vector>

#include "core/Threads.h"
#include "formats/NativeWriter.h"
#include "frontend/BatchFiles.h"

namespace {

// A file's output and, for the native format, its data file.
std::vector<std::string> Targets(const std::string& out, const TBatchArgs& args, TNativeKind kind)
{
    std::vector<std::string> t{out};
    if (args.Ext.empty() || args.Ext == ".txt") t.push_back(NativeDataFileName(out, kind));
    return t;
}

bool WriteAll(int fd, const void* data, size_t n)
{
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t k = ::write(fd, p, n);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        p += k;
        n -= static_cast<size_t>(k);
    }
    return true;
}

bool ReadAll(int fd, void* data, size_t n)
{
    char* p = static_cast<char*>(data);
    while (n > 0) {
        const ssize_t k = ::read(fd, p, n);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        p += k;
        n -= static_cast<size_t>(k);
    }
    return true;
}

// Copies a file a worker wrote to the stream and removes it.
void PassOn(const std::string& path, std::FILE* to)
{
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) std::fwrite(buf, 1, n, to);
        std::fclose(f);
    }
    std::fflush(to);
    ::unlink(path.c_str());
}

// A worker process: it takes file numbers from Jobs and answers each with the file's
// exit status on Done, its output and messages written to OUT/N.out and OUT/N.err.
// Workers live for the whole batch, so each keeps its heap from file to file.
struct TQueued {
    size_t Index = 0;
    std::vector<std::string> Targets;
    std::string Out;
};
struct TWorker {
    pid_t Pid = -1;
    int Jobs = -1, Done = -1;
    std::deque<TQueued> Queue;  // the file it works on first, then the ones handed on
};
// Files handed to a worker ahead of time, so that it goes on without waiting for an
// answer from the batch.
constexpr size_t Ahead = 2;

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
    std::signal(SIGPIPE, SIG_IGN);  // a worker that died shows as the end of its pipe
    const auto start = std::chrono::steady_clock::now();
    std::string scratch = (std::filesystem::temp_directory_path() / "morvane-jobs-XXXXXX").string();
    const bool haveScratch = ::mkdtemp(scratch.data()) != nullptr;
    const auto outName = [&](size_t i, const char* kind) { return scratch + "/" + std::to_string(i) + kind; };

    const auto report = [&](const std::string& in, const std::string& out, int status) {
        if (status != 0) ++failed;
        ++finished;
        std::printf("[%zu/%zu] %s -> %s %s\n", finished, total, in.c_str(), out.c_str(), status == 0 ? "ok" : "FAILED");
        std::fflush(stdout);
    };

    std::vector<TWorker> workers;
    // Starts a worker; false when no process can be made.
    const auto spawn = [&](TWorker& w) {
        int toChild[2], toParent[2];
        if (!haveScratch || ::pipe2(toChild, O_CLOEXEC) != 0) return false;
        if (::pipe2(toParent, O_CLOEXEC) != 0) {
            ::close(toChild[0]);
            ::close(toChild[1]);
            return false;
        }
        std::fflush(stdout);
        std::fflush(stderr);
        std::cout.flush();
        std::cerr.flush();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(toChild[1]);
            ::close(toParent[0]);
            for (const TWorker& other : workers)
                if (other.Pid > 0) {
                    ::close(other.Jobs);
                    ::close(other.Done);
                }
            if (ThreadsFromEnvironment() == 0) SetThreadCount(1);
            uint64_t i;
            while (ReadAll(toChild[0], &i, sizeof i)) {
                const int out = ::open(outName(i, ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
                const int err = ::open(outName(i, ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
                if (out < 0 || err < 0) _exit(1);
                ::dup2(out, STDOUT_FILENO);
                ::dup2(err, STDERR_FILENO);
                ::close(out);
                ::close(err);
                int32_t status = 1;
                try {
                    status = one(args.Files[i], BatchOutputName(args.Files[i], args.OutDir, args.Ext));
                } catch (...) {
                    std::fprintf(stderr, "morvane-cli: %s: unexpected error\n", args.Files[i].c_str());
                }
                std::cout.flush();
                std::cerr.flush();
                std::fflush(nullptr);
                if (!WriteAll(toParent[1], &status, sizeof status)) break;
            }
            _exit(0);
        }
        ::close(toChild[0]);
        ::close(toParent[1]);
        if (pid < 0) {
            ::close(toChild[1]);
            ::close(toParent[0]);
            return false;
        }
        w = TWorker{pid, toChild[1], toParent[0], {}};
        return true;
    };
    const auto retire = [&](TWorker& w) {
        if (w.Pid <= 0) return;
        ::close(w.Jobs);
        ::close(w.Done);
        int raw = 0;
        while (::waitpid(w.Pid, &raw, 0) < 0 && errno == EINTR) {
        }
        w.Pid = -1;
    };
    // Waits for a worker to finish the first file of its queue and passes on what that
    // file wrote; a worker that died fails its files and is replaced later.
    const auto reap = [&] {
        std::vector<pollfd> fds;
        std::vector<size_t> who;
        for (size_t k = 0; k < workers.size(); ++k)
            if (!workers[k].Queue.empty()) {
                fds.push_back({workers[k].Done, POLLIN, 0});
                who.push_back(k);
            }
        if (fds.empty()) return;
        while (::poll(fds.data(), fds.size(), -1) < 0 && errno == EINTR) {
        }
        for (size_t m = 0; m < fds.size(); ++m) {
            if (!fds[m].revents) continue;
            TWorker& w = workers[who[m]];
            int32_t status = 1;
            if (ReadAll(w.Done, &status, sizeof status)) {
                const TQueued q = w.Queue.front();
                w.Queue.pop_front();
                PassOn(outName(q.Index, ".out"), stdout);
                PassOn(outName(q.Index, ".err"), stderr);
                report(args.Files[q.Index], q.Out, status);
                continue;
            }
            const pid_t pid = w.Pid;
            int raw = 0;
            ::close(w.Jobs);
            ::close(w.Done);
            while (::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
            }
            w.Pid = -1;
            for (size_t k = 0; k < w.Queue.size(); ++k) {
                const TQueued& q = w.Queue[k];
                PassOn(outName(q.Index, ".out"), stdout);
                PassOn(outName(q.Index, ".err"), stderr);
                if (k == 0)
                    std::fprintf(stderr, "morvane-cli: %s: ended by signal %d\n", args.Files[q.Index].c_str(),
                                 WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
                else
                    std::fprintf(stderr, "morvane-cli: %s: not processed, its worker ended\n", args.Files[q.Index].c_str());
                report(args.Files[q.Index], q.Out, 1);
            }
            w.Queue.clear();
        }
    };
    const auto outstanding = [&] {
        size_t n = 0;
        for (const TWorker& w : workers) n += w.Queue.size();
        return n;
    };
    const auto conflicts = [&](const std::vector<std::string>& targets) {
        for (const TWorker& w : workers)
            for (const TQueued& q : w.Queue)
                for (const std::string& a : q.Targets)
                    if (std::find(targets.begin(), targets.end(), a) != targets.end()) return true;
        return false;
    };

    workers.resize(static_cast<size_t>(jobs));
    const size_t limit = static_cast<size_t>(jobs) * Ahead;
    for (size_t i = 0; i < total; ++i) {
        const std::string& in = args.Files[i];
        const std::string out = BatchOutputName(in, args.OutDir, args.Ext);
        const std::vector<std::string> targets = Targets(out, args, dataKind);
        while (outstanding() > 0 && (outstanding() >= limit || conflicts(targets))) reap();
        const std::string exists = BatchOutputTaken(out, args.Ext, dataKind);
        if (!exists.empty()) {
            std::fprintf(stderr, "morvane-cli: %s already exists, not overwritten\n", exists.c_str());
            std::fflush(stderr);
            report(in, out, 1);
            continue;
        }
        // the worker with the shortest queue (started when needed)
        TWorker* pick = nullptr;
        for (TWorker& w : workers)
            if (w.Queue.size() < Ahead && (!pick || w.Queue.size() < pick->Queue.size()) && (w.Pid > 0 || spawn(w)))
                pick = &w;
        const uint64_t index = i;
        if (!pick || !WriteAll(pick->Jobs, &index, sizeof index)) {
            // no process to spare: this file runs here, as with -j 1
            while (outstanding() > 0) reap();
            report(in, out, one(in, out));
            continue;
        }
        pick->Queue.push_back({i, targets, out});
    }
    while (outstanding() > 0) reap();
    for (TWorker& w : workers) retire(w);
    if (haveScratch) {
        std::error_code ec;
        std::filesystem::remove_all(scratch, ec);
    }
    return BatchSummary(total, failed, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}
