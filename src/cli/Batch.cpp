#include "cli/Batch.h"

#include <chrono>
#include <cstdio>

#include "cli/ParallelBatch.h"

int RunBatch(const TBatchArgs& args, TNativeKind dataKind,
             const std::function<int(const std::string& in, const std::string& out)>& one)
{
    KeepBatchHeap();
    if (args.Jobs > 1) return RunParallelBatch(args, dataKind, args.Jobs, one);
    const size_t total = args.Files.size();
    size_t failed = 0;
    const auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < total; ++i) {
        const std::string& in = args.Files[i];
        const std::string out = BatchOutputName(in, args.OutDir, args.Ext);
        const std::string exists = BatchOutputTaken(out, args.Ext, dataKind);
        int status = 1;
        if (!exists.empty()) std::fprintf(stderr, "morvane-cli: %s already exists, not overwritten\n", exists.c_str());
        else status = one(in, out);
        if (status != 0) ++failed;
        std::printf("[%zu/%zu] %s -> %s %s\n", i + 1, total, in.c_str(), out.c_str(),
                    status == 0 ? "ok" : "FAILED");
        std::fflush(stdout);
    }
    return BatchSummary(total, failed, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

int BatchSummary(size_t total, size_t failed, double seconds)
{
    std::printf("%zu of %zu files written in %.3f s (%.1f files/s)\n", total - failed, total, seconds,
                seconds > 0 ? static_cast<double>(total) / seconds : 0.0);
    if (failed) std::fprintf(stderr, "morvane-cli: %zu of %zu files failed\n", failed, total);
    return failed ? 1 : 0;
}
