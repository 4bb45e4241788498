#include "processing/Invert.h"

#include <cstddef>

void InvertSamples(TQTVPicture& pic)
{
    if (!pic.HasData()) return;
    float* p = pic.Data.Block();  // write access: the record forgets any known range
    if (!p) return;
    const size_t n = static_cast<size_t>(pic.Rows) * static_cast<size_t>(pic.Cols);
    for (size_t k = 0; k < n; ++k) p[k] = -p[k];
}
