#include "processing/WorkingCopy.h"

#include <cstring>

#include "processing/Geometry.h"

namespace {

void CopySamples(const TQTVPicture& from, TQTVPicture& to)
{
    if (!from.HasData() || to.Cols != from.Cols || to.Rows != from.Rows) return;
    // every sample is overwritten: a fresh block need not be cleared first
    float* dst = to.Data.BlockToOverwrite(to.Cols, to.Rows);
    std::memcpy(dst ? dst : to.Data.Block(), from.Data.Block(),
                static_cast<size_t>(from.Rows) * static_cast<size_t>(from.Cols) * sizeof(float));
}

}  // namespace

void BeginWorkingCopy(const TQTVPicture& source, TQTVPicture& working)
{
    working.SetSize(source.Cols, source.Rows);
    CopySamples(source, working);
    working.Transformed = source.Transformed;
    working.Min = source.Min;
    working.Max = source.Max;
    working.FixedRange = 0;
    working.Palette = source.Palette;
    working.Para = source.Para;
}

void RestoreWorkingCopy(const TQTVPicture& source, TQTVPicture& working)
{
    working.SetSize(source.Cols, source.Rows);
    CopySamples(source, working);
    working.FixedRange = 0;
    working.Render();
}

void TakeOverWorkingCopy(const TQTVPicture& working, TQTVPicture& source, bool zoomed, bool withRange)
{
    if (!working.HasData()) return;
    if (zoomed) ZoomTakeOver(source, working);
    else CopySamples(working, source);
    if (withRange) {
        source.Min = working.Min;
        source.Max = working.Max;
        source.FixedRange = working.FixedRange;
    }
}

bool FollowNewValueScale(TQTVPicture& source)
{
    const bool wasFixed = source.FixedRange != 0;
    source.FixedRange = 0;
    return wasFixed;
}
