#include "cli/ParallelBatch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
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

// A file in memory (or, where there is none, an unnamed temporary file) that a worker
// writes its standard output or error to and the batch reads from; -1 when none can be had.
int CaptureFile(const char* name)
{
    const int fd = ::memfd_create(name, MFD_CLOEXEC);
    if (fd >= 0) return fd;
    return ::open(std::filesystem::temp_directory_path().c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

// Copies bytes from..to of a worker's capture file to the stream.
void PassOn(int fd, uint64_t from, uint64_t to, std::FILE* stream)
{
    char buf[65536];
    while (from < to) {
        const ssize_t k = ::pread(fd, buf, static_cast<size_t>(std::min<uint64_t>(sizeof buf, to - from)),
                                  static_cast<off_t>(from));
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) break;
        std::fwrite(buf, 1, static_cast<size_t>(k), stream);
        from += static_cast<uint64_t>(k);
    }
    std::fflush(stream);
}

// Where the capture file ends now (what a dead worker's last file wrote ends there).
uint64_t CaptureEnd(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// A worker process: it takes file numbers from Jobs and answers each on Done with the
// file's exit status and where what it wrote to standard output and error ends in the
// worker's two capture files (shared with the batch, which passes each file's part on).
// Workers live for the whole batch, so each keeps its heap from file to file.
struct TAnswer {
    int32_t Status = 1;
    uint64_t OutEnd = 0, ErrEnd = 0;
};
struct TQueued {
    size_t Index = 0;
    std::vector<std::string> Targets;
    std::string Out;
};
struct TWorker {
    pid_t Pid = -1;
    int Jobs = -1, Done = -1;
    int Out = -1, Err = -1;          // the capture files
    uint64_t OutAt = 0, ErrAt = 0;   // how far they have been passed on
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
        const int capOut = CaptureFile("morvane-out"), capErr = capOut < 0 ? -1 : CaptureFile("morvane-err");
        const auto closeCaptures = [&] {
            if (capOut >= 0) ::close(capOut);
            if (capErr >= 0) ::close(capErr);
        };
        if (capErr < 0 || ::pipe2(toChild, O_CLOEXEC) != 0) {
            closeCaptures();
            return false;
        }
        if (::pipe2(toParent, O_CLOEXEC) != 0) {
            ::close(toChild[0]);
            ::close(toChild[1]);
            closeCaptures();
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
                    ::close(other.Out);
                    ::close(other.Err);
                }
            if (ThreadsFromEnvironment() == 0) SetThreadCount(1);
            if (::dup2(capOut, STDOUT_FILENO) < 0 || ::dup2(capErr, STDERR_FILENO) < 0) _exit(1);
            const auto end = [](int fd) {
                const off_t at = ::lseek(fd, 0, SEEK_CUR);
                return at > 0 ? static_cast<uint64_t>(at) : uint64_t{0};
            };
            uint64_t i;
            while (ReadAll(toChild[0], &i, sizeof i)) {
                TAnswer answer;
                try {
                    answer.Status = one(args.Files[i], BatchOutputName(args.Files[i], args.OutDir, args.Ext));
                } catch (...) {
                    std::fprintf(stderr, "morvane-cli: %s: unexpected error\n", args.Files[i].c_str());
                }
                std::cout.flush();
                std::cerr.flush();
                std::fflush(nullptr);
                answer.OutEnd = end(STDOUT_FILENO);
                answer.ErrEnd = end(STDERR_FILENO);
                if (!WriteAll(toParent[1], &answer, sizeof answer)) break;
            }
            _exit(0);
        }
        ::close(toChild[0]);
        ::close(toParent[1]);
        if (pid < 0) {
            ::close(toChild[1]);
            ::close(toParent[0]);
            closeCaptures();
            return false;
        }
        w = TWorker{};
        w.Pid = pid;
        w.Jobs = toChild[1];
        w.Done = toParent[0];
        w.Out = capOut;
        w.Err = capErr;
        return true;
    };
    // Ends a worker (closing its job pipe ends its loop) and waits for it; the status of
    // its end, and every file of it closed.
    const auto retire = [&](TWorker& w) {
        int raw = 0;
        if (w.Pid <= 0) return raw;
        for (int* fd : {&w.Jobs, &w.Done, &w.Out, &w.Err}) {
            ::close(*fd);
            *fd = -1;
        }
        while (::waitpid(w.Pid, &raw, 0) < 0 && errno == EINTR) {
        }
        w.Pid = -1;
        return raw;
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
            TAnswer answer;
            if (ReadAll(w.Done, &answer, sizeof answer)) {
                const TQueued q = w.Queue.front();
                w.Queue.pop_front();
                PassOn(w.Out, w.OutAt, answer.OutEnd, stdout);
                PassOn(w.Err, w.ErrAt, answer.ErrEnd, stderr);
                w.OutAt = std::max(w.OutAt, answer.OutEnd);
                w.ErrAt = std::max(w.ErrAt, answer.ErrEnd);
                report(args.Files[q.Index], q.Out, answer.Status);
                continue;
            }
            // what the file it died on had written so far comes first
            PassOn(w.Out, w.OutAt, CaptureEnd(w.Out), stdout);
            PassOn(w.Err, w.ErrAt, CaptureEnd(w.Err), stderr);
            const int raw = retire(w);
            for (size_t k = 0; k < w.Queue.size(); ++k) {
                const TQueued& q = w.Queue[k];
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
    for (size_t i = 0; i < total; ++i) {
        const std::string& in = args.Files[i];
        const std::string out = BatchOutputName(in, args.OutDir, args.Ext);
        const std::vector<std::string> targets = Targets(out, args, dataKind);
        // towards the end a file waits for the first worker that is free rather than
        // queueing behind one that may finish last
        const size_t ahead = total - i > static_cast<size_t>(jobs) * Ahead ? Ahead : 1;
        const size_t limit = static_cast<size_t>(jobs) * ahead;
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
            if (w.Queue.size() < ahead && (!pick || w.Queue.size() < pick->Queue.size()) && (w.Pid > 0 || spawn(w)))
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
    return BatchSummary(total, failed, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}
