#pragma once
// Small images for the line-profile tests.
#include <functional>

#include "core/Picture.h"

namespace analysis_test {

// cols x rows, sample (stored row r, column c) = f(r, c); 1 nm per pixel in x and y.
inline TQTVPicture MakeImage(int cols, int rows, const std::function<float(int, int)>& f) {
    TQTVPicture p;
    p.SetSize(cols, rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) p.Data[r][c] = f(r, c);
    p.Para.XPhysUnit = p.Para.YPhysUnit = p.Para.PhysUnit = "nm";
    p.Para.XScanRange = cols;
    p.Para.YScanRange = rows;
    p.UpdateMinMax();
    return p;
}

// Every sample tells its place: 1000 * stored row + column.
inline TQTVPicture Labelled(int cols, int rows) {
    return MakeImage(cols, rows, [](int r, int c) { return static_cast<float>(1000 * r + c); });
}

}  // namespace analysis_test
