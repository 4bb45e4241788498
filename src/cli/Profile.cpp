#include "cli/Profile.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "analysis/LineProfile.h"
#include "analysis/ProfileOutput.h"
#include "analysis/Roughness.h"
#include "frontend/AnalysisJson.h"
#include "frontend/Input.h"
#include "frontend/Run.h"
#include "core/Errors.h"
#include "core/Messages.h"
#include "core/Numbers.h"

namespace {

constexpr int ExitOk = 0;
constexpr int ExitRefused = 1;
constexpr int ExitUsage = 2;

struct TUsageError {
    std::string Text;
};

struct TProfileArgs {
    std::string In;
    int Channel = 1;
    TProfileRequest Req;
    std::optional<std::string> Second;
    std::optional<std::string> Out;
};

const char* const ProfileUsage =
    "usage: morvane-cli profile IN [--channel N] [--mode row|col|any|radial] [--width W] [--index N] "
    "[--angle A] [--from X,Y] [--to X,Y] [--second FILE[:CHANNEL]] [--out FILE]";
const char* const RoughnessUsage =
    "usage: morvane-cli roughness IN [--channel N] [--mode row|col|any|radial] [--width W] [--index N] "
    "[--angle A] [--from X,Y] [--to X,Y]";

double ReadReal(const std::string& opt, const std::string& text) {
    long double v = 0;
    try {
        v = StrToFloatTolerant(text);
    } catch (const std::exception&) {
        throw TUsageError{opt + ": \"" + text + "\" is not a number"};
    }
    if (!std::isfinite(static_cast<double>(v))) throw TUsageError{opt + ": \"" + text + "\" is not a number"};
    return static_cast<double>(v);
}

int ReadInt(const std::string& opt, const std::string& text) {
    int v = 0;
    if (!TryStrToInt(text, v)) throw TUsageError{opt + ": \"" + text + "\" is not an integer"};
    return v;
}

void ReadPoint(const std::string& opt, const std::string& text, int32_t& x, int32_t& y) {
    const size_t comma = text.find(',');
    int a = 0, b = 0;
    if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos ||
        !TryStrToInt(text.substr(0, comma), a) || !TryStrToInt(text.substr(comma + 1), b))
        throw TUsageError{opt + ": \"" + text + "\" is not X,Y (two integers)"};
    x = a;
    y = b;
}

TProfileArgs ParseArgs(const std::vector<std::string>& args, bool roughness) {
    TProfileArgs a;
    bool haveIn = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            if (i + 1 >= args.size()) throw TUsageError{arg + " needs a value"};
            const std::string& v = args[++i];
            if (arg == "--channel") {
                a.Channel = ReadInt(arg, v);
                if (a.Channel < 1) throw TUsageError{"--channel: a channel number is 1 or more"};
            } else if (arg == "--mode") {
                if (v == "row") a.Req.Mode = TLineMode::Row;
                else if (v == "col") a.Req.Mode = TLineMode::Col;
                else if (v == "any") a.Req.Mode = TLineMode::Any;
                else if (v == "radial") a.Req.Mode = TLineMode::Radial;
                else throw TUsageError{"--mode: \"" + v + "\" is not one of row, col, any, radial"};
            } else if (arg == "--width") {
                a.Req.Width = std::max(ReadInt(arg, v), 1);
            } else if (arg == "--index") {
                a.Req.Index = ProfileIndexOf(ReadReal(arg, v));
            } else if (arg == "--angle") {
                a.Req.Angle = ProfileAngleOf(ReadReal(arg, v));
            } else if (arg == "--from") {
                ReadPoint(arg, v, a.Req.Line.X1, a.Req.Line.Y1);
            } else if (arg == "--to") {
                ReadPoint(arg, v, a.Req.Line.X2, a.Req.Line.Y2);
            } else if (arg == "--second" && !roughness) {
                a.Second = v;
            } else if (arg == "--out" && !roughness) {
                a.Out = v;
            } else {
                throw TUsageError{"unknown option " + arg};
            }
        } else if (!haveIn) {
            a.In = arg;
            haveIn = true;
        } else {
            throw TUsageError{"unexpected argument \"" + arg + "\""};
        }
    }
    if (!haveIn) throw TUsageError{"IN is required"};
    return a;
}

// FILE[:CHANNEL]: the text after the last ":" is the channel when it is all digits.
void SplitSecond(const std::string& operand, std::string& file, int& channel) {
    file = operand;
    channel = 1;
    const size_t colon = operand.rfind(':');
    if (colon == std::string::npos || colon + 1 >= operand.size()) return;
    const std::string tail = operand.substr(colon + 1);
    for (char ch : tail)
        if (ch < '0' || ch > '9') return;
    if (tail.size() > 9) throw TUsageError{"--second: channel " + tail + " is out of range"};
    file = operand.substr(0, colon);
    channel = std::stoi(tail);
}

int RunProfile(const TProfileArgs& a, bool roughness) {
    std::unique_ptr<TImageDoc> first = LoadOneChannel(a.In, a.Channel);
    if (!first) return ExitRefused;
    std::unique_ptr<TImageDoc> second;
    if (a.Second) {
        std::string file;
        int channel = 1;
        SplitSecond(*a.Second, file, channel);
        second = LoadOneChannel(file, channel);
        if (!second) return ExitRefused;
    }
    TProfileRequest req = a.Req;
    TProfile p;
    const TQTVPicture& src = first->Picture;
    ComputeProfile(src, req, p, second ? &second->Picture : nullptr);

    if (roughness) {
        const nlohmann::ordered_json j = RoughnessJson(src, p);
        std::cout << j.dump(2) << std::endl;
        return ExitOk;
    }

    const std::string text = ProfileDatText(p);
    if (a.Out) {
        const std::string path = WithDefaultExt(*a.Out, ".dat");
        return SaveOutputFile(path, text, false) == TSaveResult::Saved ? ExitOk : ExitRefused;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return std::ferror(stdout) ? ExitRefused : ExitOk;
}

}  // namespace

void TProfileCommands::Register(CLI::App& app) {
    profile_ = app.add_subcommand("profile", "a line profile of one channel as text (x TAB height)");
    profile_->prefix_command();
    profile_->footer(ProfileUsage);
    roughness_ = app.add_subcommand("roughness", "roughness figures of a line profile and image statistics as JSON");
    roughness_->prefix_command();
    roughness_->footer(RoughnessUsage);
}

bool TProfileCommands::Chosen() const { return (profile_ && *profile_) || (roughness_ && *roughness_); }

int TProfileCommands::Run(TCliMessageSink& sink) {
    const bool roughness = roughness_ && *roughness_;
    CLI::App* cmd = roughness ? roughness_ : profile_;
    try {
        const TProfileArgs a = ParseArgs(cmd->remaining(), roughness);
        return RunProfile(a, roughness);
    } catch (const TUsageError& e) {
        std::fprintf(stderr, "morvane-cli: %s\n%s\n", e.Text.c_str(), roughness ? RoughnessUsage : ProfileUsage);
        return ExitUsage;
    } catch (const std::exception& e) {
        ShowFailure(e);
        return ExitRefused;
    }
}
