#include "processing/Undo.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

TUndoLimits limits_;
std::vector<TUndoStack*> stacks_;  // every stack alive, for the common memory limit
uint64_t nextSeq_ = 1;             // steps are numbered in the order they were made

bool SameBits(const void* a, const void* b, size_t n) { return std::memcmp(a, b, n) == 0; }

template <class T>
bool SameValue(const T& a, const T& b) {
    return SameBits(&a, &b, sizeof(T));
}

bool SamePara(const TScanPara& a, const TScanPara& b) {
    return a.YPixel == b.YPixel && a.XPixel == b.XPixel && a.XPhysUnit == b.XPhysUnit &&
           a.YPhysUnit == b.YPhysUnit && a.PhysUnit == b.PhysUnit && SameValue(a.XScanRange, b.XScanRange) &&
           SameValue(a.YScanRange, b.YScanRange) && SameValue(a.Scale, b.Scale) &&
           SameValue(a.Offset, b.Offset);
}

bool SamePalette(const TLogPalette& a, const TLogPalette& b) {
    if (a.Version != b.Version || a.NumEntries != b.NumEntries) return false;
    for (size_t i = 0; i < a.Entries.size(); ++i) {
        const TPaletteEntry &x = a.Entries[i], &y = b.Entries[i];
        if (x.Red != y.Red || x.Green != y.Green || x.Blue != y.Blue || x.Flags != y.Flags) return false;
    }
    return true;
}

size_t MarkCount(const TMarks& m) { return static_cast<size_t>(m.Cols()) * static_cast<size_t>(m.Rows()); }

bool AllEqual(const int32_t* p, size_t n, int32_t v) { return std::all_of(p, p + n, [v](int32_t x) { return x == v; }); }

bool SameMarks(const TMarks& a, const TMarks& b) {
    if (a.Cols() != b.Cols() || a.Rows() != b.Rows()) return false;
    const size_t n = MarkCount(a);
    if (n == 0) return true;
    int32_t va = 0, vb = 0;
    const bool ua = a.Uniform(va), ub = b.Uniform(vb);
    if (ua && ub) return va == vb;
    if (ua) return AllEqual(b[0], n, va);
    if (ub) return AllEqual(a[0], n, vb);
    return SameBits(a[0], b[0], n * sizeof(int32_t));
}

size_t SampleCount(const TQTVPicture& p) {
    return p.HasData() ? static_cast<size_t>(p.Rows) * static_cast<size_t>(p.Cols) : 0;
}

// The small parts of doc, and the samples and marks when asked for.
TUndoStack::TState Capture(const TImageDoc& doc, bool samples, bool marks) {
    const TQTVPicture& p = doc.Picture;
    TUndoStack::TState s;
    s.Rows = p.Rows;
    s.Cols = p.Cols;
    s.Min = p.Min;
    s.Max = p.Max;
    s.FixedRange = p.FixedRange;
    s.Para = p.Para;
    s.Transformed = p.Transformed;
    s.Palette = p.Palette;
    s.History = doc.History;
    if (samples) {
        s.HasSamples = true;
        const size_t n = SampleCount(p);
        if (n > 0) s.Samples.assign(p.Data.Block(), p.Data.Block() + n);
    }
    if (marks) {
        s.HasMarks = true;
        s.Marks = p.Marks;
    }
    return s;
}

bool SameSmallParts(const TUndoStack::TState& s, const TImageDoc& doc) {
    const TQTVPicture& p = doc.Picture;
    return s.Rows == p.Rows && s.Cols == p.Cols && SameValue(s.Min, p.Min) && SameValue(s.Max, p.Max) &&
           s.FixedRange == p.FixedRange && SamePara(s.Para, p.Para) && s.Transformed == p.Transformed &&
           SamePalette(s.Palette, p.Palette) && s.History == doc.History;
}

bool SameSamples(const TUndoStack::TState& s, const TQTVPicture& p) {
    if (s.Rows != p.Rows || s.Cols != p.Cols) return false;
    const size_t n = SampleCount(p);
    if (n != s.Samples.size()) return false;
    return n == 0 || SameBits(s.Samples.data(), p.Data.Block(), n * sizeof(float));
}

void NegateSamples(TQTVPicture& p) {
    const size_t n = SampleCount(p);
    if (n == 0) return;
    float* b = p.Data.Block();
    for (size_t k = 0; k < n; ++k) b[k] = -b[k];
}

// Puts state s into doc.
void Restore(TImageDoc& doc, TUndoStack::TState& s, bool negate) {
    TQTVPicture& p = doc.Picture;
    if (s.HasSamples) {
        if (s.Rows != p.Rows || s.Cols != p.Cols || !p.HasData()) {
            TMarks keep = p.Marks;
            p.SetSize(s.Cols, s.Rows);
            if (s.Rows > 0 && s.Cols > 0 && !p.HasData()) throw std::bad_alloc();
            p.Marks = std::move(keep);
        }
        if (!s.Samples.empty()) std::memcpy(p.Data.Block(), s.Samples.data(), s.Samples.size() * sizeof(float));
    } else if (negate) {
        NegateSamples(p);
    }
    if (s.HasMarks) p.Marks = s.Marks;
    p.Rows = s.Rows;
    p.Cols = s.Cols;
    p.Min = s.Min;
    p.Max = s.Max;
    p.FixedRange = s.FixedRange;
    p.Para = s.Para;
    p.Transformed = s.Transformed;
    p.Palette = s.Palette;
    doc.History = s.History;
}

}  // namespace

size_t TUndoStack::TState::Bytes() const {
    size_t n = sizeof(TState) + Samples.size() * sizeof(float);
    int32_t v;
    if (HasMarks && !Marks.Uniform(v)) n += MarkCount(Marks) * sizeof(int32_t);
    for (const std::string& h : History) n += h.size();
    return n;
}

TUndoStack::TUndoStack() { stacks_.push_back(this); }

TUndoStack::~TUndoStack() { stacks_.erase(std::remove(stacks_.begin(), stacks_.end(), this), stacks_.end()); }

void TUndoStack::Begin(const TImageDoc& doc, TSampleChange how) {
    pending_.reset();
    pendingHow_ = how;
    pending_ = Capture(doc, how == TSampleChange::Any, true);
}

bool TUndoStack::Commit(const TImageDoc& doc, const std::string& name) {
    if (!pending_) return false;
    TState before = std::move(*pending_);
    pending_.reset();
    const TQTVPicture& p = doc.Picture;
    const bool negate = pendingHow_ == TSampleChange::Negate && SampleCount(p) > 0;
    if (before.HasSamples && SameSamples(before, p)) {
        before.HasSamples = false;
        before.Samples = {};
    }
    if (SameMarks(before.Marks, p.Marks)) {
        before.HasMarks = false;
        before.Marks = TMarks();
    }
    if (!negate && !before.HasSamples && !before.HasMarks && SameSmallParts(before, doc)) return false;

    TStep step;
    step.Name = name;
    if (step.Name.empty()) {
        // the first entry the change added (entries are only ever appended)
        const size_t common = std::min(before.History.size(), doc.History.size());
        size_t k = 0;
        while (k < common && before.History[k] == doc.History[k]) ++k;
        step.Name = k < doc.History.size() ? UndoStepName(doc.History[k]) : "Change";
    }
    step.Negate = negate;
    step.State = std::move(before);
    step.Seq = nextSeq_++;

    if (saved_ && *saved_ > static_cast<long>(undo_.size())) saved_.reset();  // it was on the redo side
    redo_.clear();
    undo_.push_back(std::move(step));
    while (static_cast<int>(undo_.size()) > std::max(limits_.Steps, 0)) DropOldestUndo();
    Enforce();
    return true;
}

std::string TUndoStack::UndoName() const { return undo_.empty() ? std::string() : undo_.back().Name; }
std::string TUndoStack::RedoName() const { return redo_.empty() ? std::string() : redo_.back().Name; }

bool TUndoStack::Move(TImageDoc& doc, std::vector<TStep>& from, std::vector<TStep>& to) {
    if (from.empty()) return false;
    pending_.reset();
    TStep& step = from.back();
    TQTVPicture& p = doc.Picture;
    // samples of the same size change places in one pass
    const bool swap = step.State.HasSamples && step.State.Rows == p.Rows && step.State.Cols == p.Cols &&
                      step.State.Samples.size() == SampleCount(p) && !step.State.Samples.empty();
    // the state left behind keeps the parts this step restores
    TState here = Capture(doc, step.State.HasSamples && !swap, step.State.HasMarks);
    if (swap) {
        std::swap_ranges(step.State.Samples.begin(), step.State.Samples.end(), p.Data.Block());
        here.HasSamples = true;
        here.Samples = std::move(step.State.Samples);
        step.State.HasSamples = false;
    }
    Restore(doc, step.State, step.Negate);
    TStep other;
    other.Name = step.Name;
    other.Negate = step.Negate;
    other.State = std::move(here);
    other.Seq = step.Seq;
    from.pop_back();
    to.push_back(std::move(other));
    Enforce();
    return true;
}

bool TUndoStack::Undo(TImageDoc& doc) { return Move(doc, undo_, redo_); }
bool TUndoStack::Redo(TImageDoc& doc) { return Move(doc, redo_, undo_); }

void TUndoStack::MarkSaved() { saved_ = static_cast<long>(undo_.size()); }
void TUndoStack::MarkUnsaved() { saved_.reset(); }
bool TUndoStack::Modified() const { return !saved_ || *saved_ != static_cast<long>(undo_.size()); }

void TUndoStack::DropOldestUndo() {
    if (undo_.empty()) return;
    undo_.erase(undo_.begin());
    if (saved_) {
        if (*saved_ == 0) saved_.reset();  // the saved state can no longer be reached
        else --*saved_;
    }
}

void TUndoStack::DropFurthestRedo() {
    if (redo_.empty()) return;
    if (saved_ && *saved_ == static_cast<long>(undo_.size() + redo_.size())) saved_.reset();
    redo_.erase(redo_.begin());
}

size_t TUndoStack::Bytes() const {
    size_t n = 0;
    for (const TStep& s : undo_) n += s.State.Bytes();
    for (const TStep& s : redo_) n += s.State.Bytes();
    return n;
}

void TUndoStack::SetLimits(const TUndoLimits& limits) {
    limits_ = limits;
    for (TUndoStack* s : stacks_)
        while (static_cast<int>(s->undo_.size()) > std::max(limits_.Steps, 0)) s->DropOldestUndo();
    Enforce();
}

TUndoLimits TUndoStack::Limits() { return limits_; }

size_t TUndoStack::TotalBytes() {
    size_t n = 0;
    for (const TUndoStack* s : stacks_) n += s->Bytes();
    return n;
}

void TUndoStack::Enforce() {
    size_t total = TotalBytes();
    while (total > limits_.Bytes) {
        // the oldest undo step of all images; redo steps only when no image has one
        TUndoStack* oldest = nullptr;
        for (TUndoStack* s : stacks_)
            if (!s->undo_.empty() && (!oldest || s->undo_.front().Seq < oldest->undo_.front().Seq)) oldest = s;
        if (oldest) {
            total -= oldest->undo_.front().State.Bytes();
            oldest->DropOldestUndo();
            continue;
        }
        for (TUndoStack* s : stacks_)
            if (!s->redo_.empty() && (!oldest || s->redo_.front().Seq < oldest->redo_.front().Seq)) oldest = s;
        if (!oldest) return;
        total -= oldest->redo_.front().State.Bytes();
        oldest->DropFurthestRedo();
    }
}

std::string UndoStepName(const std::string& entry) {
    const size_t colon = entry.find(':');
    const std::string op = entry.substr(0, colon);
    if (op == "filter" && colon != std::string::npos) return entry.substr(colon + 1);  // the kernel's name
    static const struct {
        const char* Op;
        const char* Name;
    } names[] = {
        {"invert", "Inverse"},   {"level", "Leveling"},
        {"clip", "Histogram"},   {"range", "Colour Range"}, {"filter", "Filter"},
        {"noise", "Noise"},      {"median", "Median Filter"}, {"mean", "Mean Filter"},
        {"fft", "FFT"},          {"zoom", "Zoom"},          {"distortion", "Distortion"},
        {"sphere", "Sphere Filter"}, {"arith", "Arithmetic"}, {"rescale", "Rescale"},
    };
    for (const auto& n : names)
        if (op == n.Op) return n.Name;
    return op.empty() ? "Change" : op;
}
