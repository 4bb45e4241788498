#include "processing/Arithmetic.h"

#include <cmath>
#include <cstring>

#include "core/Messages.h"

std::string ArithmeticOperator(const std::string& field)
{
    std::string op;
    for (const char c : std::string(ArithmeticOperators))
        if (field.find(c) != std::string::npos) op = std::string(1, c);
    return op;
}

bool ComputeArithmetic(const TQTVPicture& a, const TQTVPicture& b, const std::string& ops, TQTVPicture& result)
{
    if (a.Cols != b.Cols || a.Rows != b.Rows) {
        ShowMessage("Pictures must have some size!");
        return false;
    }
    result.SetSize(a.Cols, a.Rows);
    if (!result.HasData() || !a.HasData() || !b.HasData()) return true;
    const size_t n = static_cast<size_t>(a.Rows) * static_cast<size_t>(a.Cols);
    const float* pa = a.Data.Block();
    const float* pb = b.Data.Block();
    float* pr = result.Data.Block();
    const float first = pa[0];
    for (size_t k = 0; k < n; ++k) pr[k] = first;
    for (const char op : std::string(ArithmeticOperators)) {
        if (ops.find(op) == std::string::npos) continue;
        switch (op) {
        case '+': for (size_t k = 0; k < n; ++k) pr[k] = pa[k] + pb[k]; break;
        case '-': for (size_t k = 0; k < n; ++k) pr[k] = pa[k] - pb[k]; break;
        case '*': for (size_t k = 0; k < n; ++k) pr[k] = pa[k] * pb[k]; break;
        case '/': for (size_t k = 0; k < n; ++k) pr[k] = pa[k] / pb[k]; break;
        }
    }
    result.Para.PhysUnit = ArithmeticUnit(ops, a.Para.PhysUnit, b.Para.PhysUnit, result.Para.PhysUnit);
    return true;
}

std::string ArithmeticUnit(const std::string& ops, const std::string& ua, const std::string& ub,
                           const std::string& previous)
{
    std::string unit = previous;
    for (const char op : std::string(ArithmeticOperators)) {
        if (ops.find(op) == std::string::npos) continue;
        switch (op) {
        case '+':
        case '-':
            if (ua == ub) unit = ua;
            break;
        case '*': unit = ua + " " + ub; break;
        case '/': unit = ua != ub ? ua + "/" + ub : std::string(); break;
        }
    }
    return unit;
}

void TakeArithmeticResult(const TQTVPicture& result, const TScanPara& first, TQTVPicture& target)
{
    target.SetSize(result.Cols, result.Rows);
    if (target.HasData() && result.HasData())
        std::memcpy(target.Data.Block(), result.Data.Block(),
                    static_cast<size_t>(result.Rows) * static_cast<size_t>(result.Cols) * sizeof(float));
    target.Para = first;
    target.FixedRange = 0;
}

bool RescaleChangesHeights(const TQTVPicture& pic, double zRange)
{
    const double r = static_cast<double>(pic.Max) - static_cast<double>(pic.Min);
    return std::fabs(zRange - r) > zRange / 1000;
}

bool ApplyRescale(TQTVPicture& pic, const TRescale& rescale)
{
    const double r = static_cast<double>(pic.Max) - static_cast<double>(pic.Min);
    const bool scale = RescaleChangesHeights(pic, rescale.ZRange);
    if (scale && r == 0) {
        ShowMessage("Cannot rescale: all values of this image are equal!");
        return false;
    }
    pic.Para.XScanRange = rescale.XRange;
    pic.Para.YScanRange = rescale.YRange;
    pic.Para.XPhysUnit = rescale.XUnit;
    pic.Para.YPhysUnit = rescale.YUnit;
    pic.Para.PhysUnit = rescale.ZUnit;
    if (scale && pic.HasData()) {
        const double f = rescale.ZRange / r;
        const size_t n = static_cast<size_t>(pic.Rows) * static_cast<size_t>(pic.Cols);
        float* p = pic.Data.Block();
        for (size_t k = 0; k < n; ++k) p[k] = static_cast<float>(static_cast<double>(p[k]) * f);
    }
    return true;
}
