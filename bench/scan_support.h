#pragma once
// The synthetic 2048 x 2048 scan the filter and thread benchmarks share.
#include <cmath>
#include <cstdint>
#include <random>

#include "core/Picture.h"

// A tilted, rippled surface with noise and a few spikes, like a raw scan; 1 nm per
// pixel in every direction.
inline const TQTVPicture& BenchScan()
{
    constexpr int32_t Size = 2048;
    static const TQTVPicture pic = [] {
        TQTVPicture p;
        p.SetSize(Size, Size);
        p.Para.XPixel = p.Para.YPixel = Size;
        p.Para.XScanRange = p.Para.YScanRange = Size;
        p.Para.XPhysUnit = p.Para.YPhysUnit = p.Para.PhysUnit = "nm";
        p.Para.Scale = 0.001f;
        std::mt19937 gen(42);
        std::normal_distribution<float> noise(0.0f, 0.05f);
        for (int32_t r = 0; r < Size; ++r) {
            float* row = p.Data[r];
            for (int32_t c = 0; c < Size; ++c)
                row[c] = 0.001f * r - 0.0005f * c + std::sin(0.05f * c) * std::cos(0.03f * r) + noise(gen);
        }
        for (int k = 0; k < 500; ++k) p.Data[static_cast<int32_t>(gen() % Size)][static_cast<int32_t>(gen() % Size)] = 25.0f;
        p.UpdateMinMax();
        return p;
    }();
    return pic;
}
