#pragma once
// Synthetic pictures for the unit-cell tests.
#include <cmath>

#include "core/Picture.h"

namespace unitcell_test {

// Gaussian bumps of height 1 on a square lattice of the given period, the first site at
// (offset, offset) (column, sample row); pixel size 0.1 nm in both directions.
inline TQTVPicture SquareLattice(int cols, int rows, int period, double offset, double sigma = 2.5) {
    TQTVPicture p;
    p.SetSize(cols, rows);
    p.Para.XScanRange = cols * 0.1;
    p.Para.YScanRange = rows * 0.1;
    p.Para.XPhysUnit = p.Para.YPhysUnit = p.Para.PhysUnit = "nm";
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            // distance to the nearest site
            double dx = std::fmod(c - offset + 10.0 * period, period);
            double dy = std::fmod(r - offset + 10.0 * period, period);
            if (dx > period / 2.0) dx -= period;
            if (dy > period / 2.0) dy -= period;
            p.Data[r][c] = static_cast<float>(std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma)));
        }
    p.UpdateMinMax();
    return p;
}

inline TQTVPicture Constant(int cols, int rows, float v) {
    TQTVPicture p;
    p.SetSize(cols, rows);
    p.Para.XScanRange = cols;
    p.Para.YScanRange = rows;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) p.Data[r][c] = v;
    return p;
}

}  // namespace unitcell_test
