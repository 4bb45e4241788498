#pragma once
// Image arithmetic (two images of equal size combined sample by sample) and the
// rescale of an image's scan ranges, units and heights.
#include <string>

#include "core/Picture.h"

// The operator characters the arithmetic knows, in the order they are applied.
inline constexpr const char* ArithmeticOperators = "+-*/";

// The operator of the operator field: the last of + - * / it holds (the one that makes
// the result), empty when it holds none.
std::string ArithmeticOperator(const std::string& field);
// What "=" and "Use" say when the field holds no operator.
inline constexpr const char* NoOperatorText =
    "No operator chosen: type +, -, * or / into the field between the two images!";

// Compute: when a and b differ in Cols or Rows, "Pictures must have some size!" is
// shown and false returned (result untouched). Otherwise result takes a's size with
// every sample a[0][0]; then, for each of "+", "-", "*", "/" present in ops in this
// order, every result sample := a op b (32-bit floats: a zero divisor gives an
// infinity, 0 / 0 not a number). The result's PhysUnit follows ArithmeticUnit.
bool ComputeArithmetic(const TQTVPicture& a, const TQTVPicture& b, const std::string& ops, TQTVPicture& result);

// The unit of a result: "+" or "-": a's unit when both units are the same (otherwise
// previous stays); "*": "ua ub"; "/": "ua/ub" when they differ, else empty.
std::string ArithmeticUnit(const std::string& ops, const std::string& ua, const std::string& ub,
                           const std::string& previous);

// What "Use" opens: the result's samples with the first operand's scan parameters.
void TakeArithmeticResult(const TQTVPicture& result, const TScanPara& first, TQTVPicture& target);

struct TRescale {
    double XRange = 0, YRange = 0, ZRange = 0;
    std::string XUnit, YUnit, ZUnit;
};

// True when the z range e asks for a change of the heights of an image whose range is
// Max - Min: |e - (Max - Min)| > e / 1000.
bool RescaleChangesHeights(const TQTVPicture& pic, double zRange);

// Rescale "OK": the scan ranges and the three units are set and, when the z range asks
// for it, every sample is multiplied by ZRange / (Max - Min) (heights scaled about 0).
// An image whose values are all equal cannot be stretched to a non-zero range:
// "Cannot rescale: all values of this image are equal!" is shown, false returned and
// nothing changed.
bool ApplyRescale(TQTVPicture& pic, const TRescale& rescale);
