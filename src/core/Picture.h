#pragma once
// The image record: one measured or computed height image with its scan parameters,
// colour range, palette, rendered 8-bit bitmap and per-sample marks.
//
// Samples are 32-bit floats in one contiguous zero-filled block, addressed by a row
// table: Data[r][c], row 0 being the bottom line of the displayed picture. Row and
// column indices run 0..2052; an image has at most 2053 rows and 2053 columns.
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/LargeMemory.h"

constexpr int32_t MaxPixelIndex = 2052;           // highest row or column index
constexpr int32_t MaxPixels = MaxPixelIndex + 1;  // 2053

struct TScanPara {
    int32_t YPixel = 0;       // rows
    int32_t XPixel = 0;       // columns
    std::string XPhysUnit;    // unit of XScanRange ("nm")
    std::string YPhysUnit;    // unit of YScanRange
    std::string PhysUnit;     // unit of the sample values (z)
    double XScanRange = 0.0;  // physical width of the scanned area
    double YScanRange = 0.0;  // physical height
    double Scale = 0.0;       // raw stored number -> physical value
    double Offset = 0.0;      // added after scaling
};

struct TPaletteEntry {
    uint8_t Red = 0, Green = 0, Blue = 0, Flags = 1;
};

// The logical-palette layout: version word, entry count, 256 entries of red, green,
// blue, flags.
struct TLogPalette {
    uint16_t Version = 0x300;
    uint16_t NumEntries = 256;
    std::array<TPaletteEntry, 256> Entries{};
};

// Row table over the sample block. Data[r] is range-checked (0..Rows-1, never beyond
// 2052) and returns the row pointer; columns are the caller's to check. Copying a
// table copies the samples (the copy's rows point into its own block).
//
// A fresh grid reads as zero everywhere. The block is cleared when its samples are
// first asked for (a row, the block), so a reader that fills every sample itself
// (BlockToOverwrite) saves that pass over the whole image; such a reader may also
// leave the range it met on the way (SetKnownRange) for the next UpdateMinMax.
class TRowTable {
public:
    TRowTable() = default;
    TRowTable(const TRowTable& other);
    TRowTable& operator=(const TRowTable& other);
    TRowTable(TRowTable&& other) noexcept;
    TRowTable& operator=(TRowTable&& other) noexcept;

    // Rows may be asked for from several threads at once (each writing rows of its
    // own): the first look clears the block exactly once, before any row is handed out.
    float* operator[](int32_t r) {
        if (r < 0 || r >= static_cast<int32_t>(rows_.size())) throw ERangeError();
        if (uncleared_.load(std::memory_order_acquire)) ClearBlock();
        rangeKnown_.store(false, std::memory_order_relaxed);  // the samples may change from here on
        return rows_[static_cast<size_t>(r)];
    }
    const float* operator[](int32_t r) const {
        if (r < 0 || r >= static_cast<int32_t>(rows_.size())) throw ERangeError();
        if (uncleared_.load(std::memory_order_acquire)) ClearBlock();
        return rows_[static_cast<size_t>(r)];
    }
    bool empty() const { return rows_.empty(); }
    int32_t size() const { return static_cast<int32_t>(rows_.size()); }
    // Start of the contiguous sample block (Rows x Cols floats); nullptr without a grid.
    float* Block() {
        if (uncleared_.load(std::memory_order_acquire)) ClearBlock();
        rangeKnown_.store(false, std::memory_order_relaxed);
        return block_.get();
    }
    const float* Block() const {
        if (uncleared_.load(std::memory_order_acquire)) ClearBlock();
        return block_.get();
    }
    // Start of the block for a reader that writes every one of its cols x rows samples
    // before anything else looks at them: a fresh block is handed over as it came from
    // the allocator, without being cleared first. nullptr unless the grid has exactly
    // that size (and samples at all).
    float* BlockToOverwrite(int32_t cols, int32_t rows);
    // For a writer that has just filled the whole block and met the range of the
    // samples on the way (WidenRange from mn = +inf, mx = -inf): UpdateMinMax takes it
    // instead of going over the samples again, until anyone next asks for writable
    // access. Only for the last step of such a writer: a row pointer taken before
    // must not be written through afterwards.
    void SetKnownRange(float mn, float mx);

private:
    friend class TQTVPicture;
    // Frees the grid.
    void Reset();
    // A grid of one block of cols x rows floats and a spare one, and the row table;
    // the samples read as zero. False when the memory cannot be had.
    bool Allocate(int32_t cols, int32_t rows);
    // Zero-fills a block not cleared yet (once, whichever thread asks first; the others
    // wait for it).
    void ClearBlock() const;

    std::unique_ptr<float[], TFreeBlock> block_;
    size_t count_ = 0;  // samples in the block (without the spare)
    int32_t cols_ = 0;
    std::vector<float*> rows_;
    mutable std::atomic<bool> uncleared_{false};  // the block still holds what the allocator left in it
    std::atomic<bool> rangeKnown_{false};          // knownMin_ / knownMax_ are the samples' range
    float knownMin_ = 0.0f, knownMax_ = 0.0f;
};

// Widens [mn, mx] to take in the n samples at p; not-a-number samples are left out.
// Start from mn = +inf, mx = -inf; still so afterwards: no number among them.
void WidenRange(const float* p, size_t n, float& mn, float& mx);

// Per-sample marks, indexed Marks[c][r] (column first); a value above 0 marks the sample.
// A freshly sized grid holds one value everywhere and is only laid out in memory when
// a column is first asked for.
class TMarks {
public:
    int32_t* operator[](int32_t c) {
        if (c < 0 || c >= cols_) throw ERangeError();
        Materialize();
        return cells_.data() + static_cast<size_t>(c) * static_cast<size_t>(rows_);
    }
    const int32_t* operator[](int32_t c) const {
        if (c < 0 || c >= cols_) throw ERangeError();
        Materialize();
        return cells_.data() + static_cast<size_t>(c) * static_cast<size_t>(rows_);
    }
    int32_t Cols() const { return cols_; }
    int32_t Rows() const { return rows_; }
    void Resize(int32_t cols, int32_t rows, int32_t value);
    void Fill(int32_t value);
    // True while the grid still holds one value everywhere (nothing was asked for
    // writing since it was sized or filled); value is then that value.
    bool Uniform(int32_t& value) const {
        if (!cells_.empty() && cells_.size() == static_cast<size_t>(cols_) * static_cast<size_t>(rows_))
            return false;
        value = fill_;
        return true;
    }

private:
    void Materialize() const {
        const size_t n = static_cast<size_t>(cols_) * static_cast<size_t>(rows_);
        if (cells_.size() != n) cells_.assign(n, fill_);
    }
    mutable std::vector<int32_t> cells_;
    int32_t fill_ = 0;
    int32_t cols_ = 0, rows_ = 0;
};

class TQTVPicture {
public:
    float Min = 0.0f;
    float Max = 0.0f;
    int32_t Rows = 0;
    int32_t Cols = 0;
    TScanPara Para;
    bool Transformed = false;
    TLogPalette Palette;
    TRowTable Data;
    // Rendered picture: Cols x Rows palette indices, lines top-down (line 0 = top).
    std::vector<uint8_t> Bitmap;
    int32_t BitmapWidth = 0;
    int32_t BitmapHeight = 0;
    TMarks Marks;
    int32_t FixedRange = 0;  // > 0: Min/Max set by the user, kept by Render
    float Factor = 1.0f;     // colour scale of the last render, 255 / (Max - Min)

    TQTVPicture();  // empty record with the default palette

    // (Re)allocates a zeroed Cols x Rows grid. A negative size shows "Picture too small!"
    // and leaves no grid; more than 2053 rows or columns throws ERangeError (no grid,
    // nothing allocated). A size of 0 gives a record without samples.
    void SetSize(int32_t cols, int32_t rows);
    bool HasData() const { return !Data.empty() && Cols > 0; }
    void Clear();  // frees the grid and the bitmap

    // Min and Max of the samples; not-a-number samples are left out (all of them:
    // Min = Max = 0).
    void UpdateMinMax();
    // The Min and Max UpdateMinMax would set, leaving the record as it is.
    void SampleRange(float& mn, float& mx) const;
    void MakeDefaultPalette();
    // Maps every sample to a palette index in Bitmap (recomputing Min/Max unless the
    // range is fixed): round((v - Min) * Factor), half to even, limited to 0..255;
    // not-a-number samples give 0. Does nothing without a grid.
    void Render();
    // Min, Max and Factor as Render sets them, without the bitmap (dropped: whoever shows
    // or saves the picture renders it), for a record nobody looks at before it is written.
    void UpdateRange();
    // The palette indices Render would give the samples at sample rows rows[i] and
    // columns cols[j] (out: rows.size() lines of cols.size(), in the order given), without
    // rendering the rest or changing the record.
    void RenderSampled(const std::vector<size_t>& rows, const std::vector<size_t>& cols, uint8_t* out) const;
    // Renders and returns Cols x Rows 32-bit pixels (0xFFRRGGBB, lines top-down) in
    // which marked samples keep only their green component.
    std::vector<uint32_t> RenderMarked();
    // The colour of palette entry i as 0xFFRRGGBB.
    uint32_t PaletteColor(int i) const;

    // Checked sample access for code that must not trust its indices.
    float& At(int32_t r, int32_t c);
    float At(int32_t r, int32_t c) const;

    // Copies size, scan parameters, samples and Min/Max (not palette, range flag,
    // Transformed or marks: those are as SetSize leaves them).
    void CopySamplesFrom(const TQTVPicture& src);

private:
    // Min and Max (unless the range is fixed) and Factor, as a render uses them.
    void SetRenderRange();
};
