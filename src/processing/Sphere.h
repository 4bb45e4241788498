#pragma once
// The sphere filter: the upper envelope a ball of radius R traces over the surface
// (lowpass), or the surface minus that envelope (highpass). R is given in the image's
// lateral unit; the ball's depth profile is converted into the height unit.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/Picture.h"

// The factor of a unit's prefix, by its first character: "m" 1e-3, "µ" (0xB5) 1e-6,
// "n" 1e-9, anything else (and no text) 1.
double UnitPrefixFactor(const std::string& unit);

// The radius the field accepts: the pixel radius round(R / XScanRange * Cols), cut back
// to (Cols div 2) div 2 when it exceeds a quarter of the width; R follows a cut-back.
struct TSphereRadius {
    double Radius = 0;      // R, possibly cut back
    int32_t Pixels = 0;     // the pixel radius
    bool CutBack = false;   // R was too large and has been replaced
};
TSphereRadius AcceptSphereRadius(double radius, const TQTVPicture& source);

// The element of a run: pixel radius r = round(R / XScanRange * Cols + 1), height
// scale c = (R / r) * prefix(XPhysUnit) / prefix(PhysUnit) and the (2r + 1)^2 table
// s[i][j] = c (r + 1 - sqrt(r^2 + 1 - (i - r)^2 - (j - r)^2)) inside the ball, 0
// outside. Valid is false when no table can be built (r not a usable size).
struct TSphereElement {
    bool Valid = false;
    int32_t R = 0;           // pixel radius
    double Scale = 0;        // c
    std::vector<double> S;   // (2r + 1) x (2r + 1), row i first
    double At(int32_t i, int32_t j) const { return S[static_cast<size_t>(i) * static_cast<size_t>(2 * R + 1) + static_cast<size_t>(j)]; }
};
TSphereElement MakeSphereElement(double radius, const TQTVPicture& source);

enum class TSphereOutcome { Done, Cancelled, Failed };

// Called at the start of every row (0..Rows - 1); returning false cancels the run.
using TSphereProgress = std::function<bool(int32_t row)>;

// The sphere run: for every sample the largest of the sample itself and of every
// neighbour within the element lowered by the element's entry there (rows and columns
// reflected at the borders); working takes that (lowpass) or the sample minus it
// (highpass). The source is copied before the first row, so it may go away during
// progress calls; a cancelled run leaves working untouched. A table that cannot be
// built shows "Error in Sphere-Init." and changes nothing (Failed).
TSphereOutcome SphereFilter(const TQTVPicture& source, TQTVPicture& working, double radius, bool lowpass,
                            const TSphereProgress& progress = {});

// The same run with the plain loops, one element entry at a time (for comparison).
void SphereFilterPlain(const TQTVPicture& source, TQTVPicture& working, double radius, bool lowpass);

// Lowpass <-> highpass of a finished result: every working sample := source - sample.
void SwitchSphereResult(const TQTVPicture& source, TQTVPicture& working);
