#pragma once
// Drives the readers through the same entry points the application uses and checks
// what every finished image must satisfy. Header-only; shared by the fuzz targets in
// this folder and by the broken-file tests of the formats.
//
//   native      TLoadFiles::ReadParamFile, then LoadChecked through a collecting target
//   single file LoadSingleFile (Burleigh, TopoMetrix, Windows bitmap)
//   Omicron     LoadOmicron
//
// Messages go to a recording sink whose answers the caller chooses.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/ImageDoc.h"
#include "core/Messages.h"
#include "core/Picture.h"
#include "formats/LoadFiles.h"
#include "formats/OpenFlow.h"

namespace morvane_harness {

// What is wrong with a finished document, or "" when it is sound. A document without
// a grid is an empty window (a reader that refused its file may leave one); one with a
// grid must be whole: size within the limits, the row table over one contiguous block,
// the scan parameters' pixel counts and the marks matching it.
inline std::string CheckFinished(const TImageDoc& doc) {
    const TQTVPicture& p = doc.Picture;
    if (!p.HasData()) return {};
    if (p.Rows < 1 || p.Rows > MaxPixels || p.Cols < 1 || p.Cols > MaxPixels)
        return "finished image of " + std::to_string(p.Cols) + " x " + std::to_string(p.Rows) +
               " samples";
    if (p.Data.size() != p.Rows) return "row table does not match Rows";
    const float* block = p.Data.Block();
    if (block == nullptr) return "grid without a sample block";
    double sum = 0.0;  // touches every sample: an undersized block shows here
    for (int32_t r = 0; r < p.Rows; ++r) {
        const float* row = p.Data[r];
        if (row != block + static_cast<size_t>(r) * static_cast<size_t>(p.Cols))
            return "row " + std::to_string(r) + " is not where the contiguous block puts it";
        for (int32_t c = 0; c < p.Cols; ++c) sum += row[c];
    }
    (void)sum;
    if (p.Para.XPixel != p.Cols || p.Para.YPixel != p.Rows)
        return "XPixel/YPixel " + std::to_string(p.Para.XPixel) + "/" +
               std::to_string(p.Para.YPixel) + " differ from the grid " + std::to_string(p.Cols) +
               "/" + std::to_string(p.Rows);
    if (p.Marks.Cols() != p.Cols || p.Marks.Rows() != p.Rows) return "marks do not match the grid";
    return {};
}

// Checks after the window has rendered the document: the bitmap covers the grid, and
// a range that follows the data (no user-fixed range) is the samples' own: Min and Max
// are the least and the greatest sample that is a finite number.
inline std::string CheckRendered(const TImageDoc& doc) {
    const TQTVPicture& p = doc.Picture;
    if (!p.HasData()) return {};
    if (p.BitmapWidth != p.Cols || p.BitmapHeight != p.Rows ||
        p.Bitmap.size() != static_cast<size_t>(p.Cols) * static_cast<size_t>(p.Rows))
        return "rendered bitmap does not match the grid";
    if (p.FixedRange > 0 || p.Min != p.Min || p.Max != p.Max) return {};
    bool any = false;
    float mn = 0.0f, mx = 0.0f;
    for (int32_t r = 0; r < p.Rows; ++r) {
        const float* row = p.Data[r];
        for (int32_t c = 0; c < p.Cols; ++c) {
            const float v = row[c];
            if (!std::isfinite(v)) continue;
            if (!any || v < mn) mn = v;
            if (!any || v > mx) mx = v;
            any = true;
        }
    }
    if (any && (p.Min != mn || p.Max != mx))
        return "rendered with the range " + std::to_string(p.Min) + " .. " + std::to_string(p.Max) +
               ", the samples span " + std::to_string(mn) + " .. " + std::to_string(mx);
    return {};
}

// Plays the image windows of the application: every new document is a window, at most
// maxOpen of them may exist at once (the next request shows "Too many Data!" and fails
// with "Too many data!", as the main window does), a finished one is rendered and stays
// open, a discarded one is freed.
class TCollectingTarget : public TLoadTarget {
public:
    explicit TCollectingTarget(int maxOpen = 32, bool keepFinished = true)
        : maxOpen_(maxOpen), keep_(keepFinished) {}

    TImageDoc* NewDocument(const std::string& fileName) override {
        if (open_ >= maxOpen_) {
            ShowMessage("Too many Data!");
            throw ETooManyWindows();
        }
        auto doc = std::make_unique<TImageDoc>();
        doc->FileName = fileName;
        doc->Title = fileName;
        TImageDoc* raw = doc.get();
        pending_.push_back(std::move(doc));
        ++open_;
        ++Created;
        return raw;
    }

    void Finished(TImageDoc* doc) override {
        std::unique_ptr<TImageDoc> owned = Take(doc, "Finished");
        if (!owned) return;
        std::string problem = CheckFinished(*owned);
        if (problem.empty()) {
            owned->Picture.Render();
            problem = CheckRendered(*owned);
        }
        if (!problem.empty()) Problems.push_back(owned->Title + ": " + problem);
        ++FinishedCount;
        if (keep_) Docs.push_back(std::move(owned));
        // a window that is not kept still counts as open
    }

    void Discard(TImageDoc* doc) override {
        if (Take(doc, "Discard")) --open_;
        ++DiscardedCount;
    }

    // Documents handed out but neither finished nor discarded: a load lost track of them.
    int Pending() const { return static_cast<int>(pending_.size()); }

    std::vector<std::unique_ptr<TImageDoc>> Docs;  // finished, in order (when kept)
    std::vector<std::string> Problems;
    int Created = 0, FinishedCount = 0, DiscardedCount = 0;

private:
    std::unique_ptr<TImageDoc> Take(TImageDoc* doc, const char* what) {
        for (auto it = pending_.begin(); it != pending_.end(); ++it)
            if (it->get() == doc) {
                std::unique_ptr<TImageDoc> owned = std::move(*it);
                pending_.erase(it);
                return owned;
            }
        Problems.push_back(std::string(what) + " of a document that is not waiting to be loaded");
        return nullptr;
    }

    int maxOpen_;
    bool keep_;
    int open_ = 0;
    std::vector<std::unique_ptr<TImageDoc>> pending_;
};

struct TLoadResult {
    std::unique_ptr<TCollectingTarget> Target;
    std::vector<TMessage> Messages;
    int Beeps = 0;
    bool Threw = false;        // a documented exception ended the command
    std::string Exception;     // its text
    int Returned = -1;         // the entry point's own count (Omicron), or whether it read
    int Offered = 0;           // native: channels offered for selection

    int Finished() const { return Target ? Target->FinishedCount : 0; }
    // Every problem: bad documents and documents the load lost.
    std::vector<std::string> Problems() const {
        std::vector<std::string> all;
        if (!Target) return all;
        all = Target->Problems;
        if (Target->Pending() > 0)
            all.push_back(std::to_string(Target->Pending()) +
                          " document(s) neither finished nor discarded");
        return all;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const TMessage& m : Messages) t.push_back(m.Text);
        return t;
    }
    bool Said(const std::string& part) const {
        for (const TMessage& m : Messages)
            if (m.Text.find(part) != std::string::npos) return true;
        return false;
    }
};

// How the user answers the boxes and which channels the selection dialog loads.
struct TAnswers {
    std::vector<TMsgResult> Queue;                  // answered front to back ...
    TMsgResult Default = TMsgResult::Yes;           // ... then this
    std::function<bool(int)> Checked;               // native channel i (1..n) loaded; all when empty
    int MaxOpen = 32;
    bool KeepDocs = true;
};

namespace detail {
inline void Collect(TLoadResult& r, const TRecordingSink& sink) {
    r.Messages = sink.Shown;
    r.Beeps = sink.Beeps;
}
inline void Prepare(TRecordingSink& sink, const TAnswers& a) {
    sink.Answers = a.Queue;
    sink.DefaultAnswer = a.Default;
}
}  // namespace detail

// The open command on a native parameter file followed by the selection dialog's Load.
// beforeLoad runs between reading the parameter file and loading the channels (the
// fuzz target writes the data files there, once it knows their names).
inline TLoadResult LoadNative(const std::string& paramPath, const TAnswers& answers = {},
                              const std::function<void(const TLoadFiles&)>& beforeLoad = {}) {
    TLoadResult r;
    r.Target = std::make_unique<TCollectingTarget>(answers.MaxOpen, answers.KeepDocs);
    TRecordingSink sink;
    detail::Prepare(sink, answers);
    {
        TScopedMessageSink scope(&sink);
        TLoadFiles loader(paramPath);
        bool read = false;
        try {
            read = loader.ReadParamFile();
        } catch (const EConvertError& e) {  // a pixel count that is no integer ends the command
            r.Threw = true;
            r.Exception = e.what();
        }
        r.Returned = read ? 1 : 0;
        if (read) {
            r.Offered = loader.Count();
            if (beforeLoad) beforeLoad(loader);
            std::vector<bool> checked(static_cast<size_t>(loader.Count()) + 1, false);
            for (int i = 1; i <= loader.Count(); ++i)
                checked[static_cast<size_t>(i)] = !answers.Checked || answers.Checked(i);
            loader.LoadChecked(checked, *r.Target);
        }
    }
    detail::Collect(r, sink);
    return r;
}

// The open command on a Burleigh, TopoMetrix or bitmap file.
inline TLoadResult LoadSingle(const std::string& path, TFileKind kind,
                              const TAnswers& answers = {}) {
    TLoadResult r;
    r.Target = std::make_unique<TCollectingTarget>(answers.MaxOpen, answers.KeepDocs);
    TRecordingSink sink;
    detail::Prepare(sink, answers);
    {
        TScopedMessageSink scope(&sink);
        r.Returned = LoadSingleFile(path, kind, *r.Target) ? 1 : 0;
    }
    detail::Collect(r, sink);
    return r;
}

// The open command on an Omicron parameter file.
inline TLoadResult LoadOmicronFile(const std::string& path, const TAnswers& answers = {}) {
    TLoadResult r;
    r.Target = std::make_unique<TCollectingTarget>(answers.MaxOpen, answers.KeepDocs);
    TRecordingSink sink;
    detail::Prepare(sink, answers);
    {
        TScopedMessageSink scope(&sink);
        r.Returned = LoadOmicron(path, *r.Target);
    }
    detail::Collect(r, sink);
    return r;
}

}  // namespace morvane_harness
