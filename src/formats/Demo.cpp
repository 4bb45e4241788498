// The demo scan: a stepped surface with a hexagonal superstructure, as a constant
// current STM image would show it, plus the tunnelling current recorded alongside.
#include "formats/Demo.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>

#include "core/Errors.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "core/Picture.h"
#include "formats/Export.h"
#include "formats/NativeWriter.h"

namespace {

constexpr int DemoSize = 512;
constexpr double DemoRange = 200.0;  // nm

// A small deterministic generator (SplitMix64), so that the demo is the same
// everywhere; the standard distributions differ between library versions.
class TDemoRandom {
public:
    explicit TDemoRandom(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    // Normal with mean 0 and deviation 1 (Box-Muller).
    double Gauss() {
        const double u1 = 1.0 - Uniform();  // (0, 1]
        const double u2 = Uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2);
    }

private:
    uint64_t state_;
};

// Hexagonal lattice of the given period in pixels: 1 on the lattice sites, about -0.5
// between them.
double Lattice(double x, double y, double period) {
    const double k = 4.0 * M_PI / (std::sqrt(3.0) * period);
    double sum = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double a = (10.0 + 60.0 * i) * M_PI / 180.0;  // slightly rotated
        sum += std::cos(k * (x * std::cos(a) + y * std::sin(a)));
    }
    return sum / 3.0;
}

// Terrace number at (x, y): step edges run roughly diagonally with a gentle wave.
double TerraceCoordinate(double x, double y) {
    return (0.8 * x + 0.6 * y + 18.0 * std::sin(y / 47.0) + 9.0 * std::cos(x / 31.0)) / 115.0;
}

void MakeTopography(TQTVPicture& pic, TDemoRandom& rnd) {
    pic.SetSize(DemoSize, DemoSize);
    const double c = (DemoSize - 1) / 2.0;
    for (int r = 0; r < DemoSize; ++r) {
        float* row = pic.Data[r];
        for (int col = 0; col < DemoSize; ++col) {
            const double x = col, y = r;
            const double plane = 0.0042 * x - 0.0027 * y;                          // tilt
            const double bow = -1.1 * ((x - c) * (x - c) + (y - c) * (y - c)) / (c * c);  // bow
            const double steps = 0.31 * std::floor(TerraceCoordinate(x, y));      // atomic steps
            const double lattice = 0.045 * Lattice(x, y, 20.0);                    // superstructure
            const double noise = 0.012 * rnd.Gauss();
            row[col] = static_cast<float>(plane + bow + steps + lattice + noise);
        }
    }
    // A few spikes, as a tip change or a noisy contact leaves them.
    for (int k = 0; k < 24; ++k) {
        const int r = static_cast<int>(rnd.Next() % DemoSize);
        const int col = static_cast<int>(rnd.Next() % DemoSize);
        const double height = (rnd.Uniform() < 0.75 ? 1.0 : -1.0) * (1.2 + 1.8 * rnd.Uniform());
        pic.Data[r][col] += static_cast<float>(height);
    }
}

void MakeCurrent(TQTVPicture& pic, TDemoRandom& rnd) {
    pic.SetSize(DemoSize, DemoSize);
    for (int r = 0; r < DemoSize; ++r) {
        float* row = pic.Data[r];
        for (int col = 0; col < DemoSize; ++col) {
            const double x = col, y = r;
            // The feedback keeps the current near its set point; the error signal shows
            // the lattice and a dip at each step edge.
            const double t = TerraceCoordinate(x, y);
            const double edge = t - std::floor(t);
            const double dip = -0.09 * std::exp(-edge * 115.0 / 3.0);
            const double lattice = 0.035 * Lattice(x, y, 20.0);
            const double noise = 0.015 * rnd.Gauss();
            row[col] = static_cast<float>(0.5 + lattice + dip + noise);
        }
    }
    for (int k = 0; k < 12; ++k) {
        const int r = static_cast<int>(rnd.Next() % DemoSize);
        const int col = static_cast<int>(rnd.Next() % DemoSize);
        pic.Data[r][col] = static_cast<float>(0.5 + 1.5 * rnd.Uniform());
    }
}

std::string Lines(std::initializer_list<std::string> lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

}  // namespace

bool WriteDemoScan(const std::string& dirArg) {
    std::string dir = dirArg.empty() ? std::string(".") : dirArg;
    if (dir.back() != '/') dir += '/';
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        ShowFileMessage("Cannot create directory \"" + dirArg + "\". " + ec.message(), {dirArg}, TMsgKind::Error);
        return false;
    }

    TDemoRandom rnd(0x4D6F7276616E65ull);
    TQTVPicture topo, current;
    MakeTopography(topo, rnd);
    MakeCurrent(current, rnd);
    topo.Para.Scale = 1.0;
    topo.Para.PhysUnit = "nm";
    const TIntData topoData = EncodeIntData(topo);

    const std::string range = FormatShortest(DemoRange);
    const std::string size = IntToStr(DemoSize);
    const std::string text = Lines({
        ";Parameter file of a synthetic scan",
        ";Stepped surface with a hexagonal superstructure (period 20 px)",
        "Version : 1.12",
        "Date : 14.03.2024 10:42:17",
        "User : demo",
        "Comment : Constant current image, tilted sample, slight scanner bow",
        "Bias : 0.8 V",
        "SetPoint : 0.5 nA",
        "LoopGain : 1.5 %",
        "ScanSpeed : 400 nm/s",
        "Angle : 0",
        "XOffset : 0 nm",
        "YOffset : 0 nm",
        "XScanRange : " + range,
        "YScanRange : " + range,
        "XPhysUnit : nm",
        "YPhysUnit : nm",
        "xPixel : " + size,
        "yPixel : " + size,
        "",
        "FileDescBegin",
        std::string("FileName : ") + DemoTopographyFile,
        "Caption  : Topography Fwd",
        "Scale    : " + FormatShortest(topoData.WrittenScale),
        "PhysUnit : nm",
        "Offset   : 0",
        "FileDescEnd",
        "",
        "FileDescBegin",
        std::string("FileName : ") + DemoCurrentFile,
        "Caption  : Current Fwd",
        "Scale    : 1",
        "PhysUnit : nA",
        "FileDescEnd",
    });
    try {
        WriteFileBytes(dir + DemoTopographyFile, topoData.Bytes);
        WriteFileBytes(dir + DemoCurrentFile, EncodeSinData(current));
        WriteFileBytes(dir + DemoParamFile, text);
    } catch (const EInOutError& e) {
        ShowFailure(e);
        return false;
    }
    return true;
}
