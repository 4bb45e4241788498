// morvane-cli: batch access to the model: file information as JSON, conversion
// between the formats, processing operations and the demo scan.
//
// Exit status: 0 success, 1 the input was refused (the message on stderr, as the
// application shows it), 2 a usage error.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/CliLoad.h"
#include "cli/Profile.h"
#include "core/Errors.h"
#include "core/Numbers.h"
#include "formats/Demo.h"
#include "formats/Export.h"
#include "formats/ImageWriters.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "processing/Operations.h"

namespace {

constexpr int ExitOk = 0;
constexpr int ExitRefused = 1;
constexpr int ExitUsage = 2;

enum class TOutKind { Unknown, Native, Ascii, Stl, Bitmap, Jpeg };

std::string Lower(std::string s) {
    for (auto& ch : s)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
    return s;
}

TOutKind OutKindOf(const std::string& path) {
    const std::string ext = Lower(ExtractFileExt(path));
    if (ext == ".txt") return TOutKind::Native;
    if (ext == ".dat") return TOutKind::Ascii;
    if (ext == ".stl") return TOutKind::Stl;
    if (ext == ".bmp") return TOutKind::Bitmap;
    if (ext == ".jpg" || ext == ".jpeg") return TOutKind::Jpeg;
    return TOutKind::Unknown;
}

void Complain(const std::string& text) {
    std::fprintf(stderr, "morvane-cli: %s\n", text.c_str());
    std::fflush(stderr);
}

// A failure the readers or writers did not report themselves: shown as the
// application's general error report would show it.
void ReportException(const std::exception& e) {
    ShowMessage(e.what(), TMsgKind::Error);
}

nlohmann::ordered_json InfoJson(const std::string& path, const TCliInput& input,
                                const TCliMessageSink& sink) {
    using json = nlohmann::ordered_json;
    json j;
    j["file"] = Latin1ToUtf8(ExtractFileName(path));
    j["format"] = input.Format;
    j["version"] = input.Version ? json(Latin1ToUtf8(*input.Version)) : json(nullptr);
    json channels = json::array();
    for (const TCliChannel& ch : input.Channels) {
        const TQTVPicture& pic = ch.Doc->Picture;
        json c;
        c["index"] = ch.Index;
        c["caption"] = Latin1ToUtf8(ch.Doc->CaptionTag);
        c["data_file"] = Latin1ToUtf8(ch.DataFile);
        c["cols"] = pic.Cols;
        c["rows"] = pic.Rows;
        c["x_unit"] = Latin1ToUtf8(pic.Para.XPhysUnit);
        c["y_unit"] = Latin1ToUtf8(pic.Para.YPhysUnit);
        c["z_unit"] = Latin1ToUtf8(pic.Para.PhysUnit);
        c["x_range"] = pic.Para.XScanRange;
        c["y_range"] = pic.Para.YScanRange;
        c["scale"] = pic.Para.Scale;
        c["offset"] = pic.Para.Offset;
        c["min"] = static_cast<double>(pic.Min);
        c["max"] = static_cast<double>(pic.Max);
        channels.push_back(std::move(c));
    }
    j["channels"] = std::move(channels);
    json messages = json::array();
    for (const std::string& t : sink.Texts) messages.push_back(Latin1ToUtf8(t));
    j["messages"] = std::move(messages);
    return j;
}

int RunInfo(const std::string& path, const std::string& spectroscopy, TCliMessageSink& sink) {
    sink.Question = spectroscopy == "no" ? TMsgResult::No : TMsgResult::Yes;
    TCliInput input;
    try {
        if (!LoadInput(path, 0, input)) return ExitRefused;
    } catch (const std::exception& e) {
        ReportException(e);
        return ExitRefused;
    }
    std::cout << InfoJson(path, input, sink).dump(2) << std::endl;
    return input.Channels.empty() ? ExitRefused : ExitOk;
}

// Writes the document by the extension of out.
int WriteOutput(TImageDoc& doc, const std::string& out, TOutKind kind, TNativeKind data) {
    try {
        switch (kind) {
        case TOutKind::Native:
            return WriteNative(doc, out, data) ? ExitOk : ExitRefused;
        case TOutKind::Ascii:
            WriteFileBytes(out, BuildAsciiTable(doc.Picture));
            return ExitOk;
        case TOutKind::Stl:
            WriteFileBytes(out, BuildStl(doc.Picture));
            return ExitOk;
        case TOutKind::Bitmap:
            WriteBitmapFile(doc.Picture, out);
            return ExitOk;
        case TOutKind::Jpeg:
            WriteJpegFile(doc.Picture, out, 90);
            return ExitOk;
        case TOutKind::Unknown:
            break;
        }
    } catch (const std::exception& e) {
        ReportException(e);
    }
    return ExitRefused;
}

struct TConvertArgs {
    std::string In, Out;
    int Channel = 1;
    std::string Data = "int";
    std::string Spectroscopy = "yes";
    std::vector<std::string> Ops;
};

int RunConvert(const TConvertArgs& a, TCliMessageSink& sink) {
    const TOutKind outKind = OutKindOf(a.Out);
    if (outKind == TOutKind::Unknown) {
        Complain("unknown output type \"" + ExtractFileExt(a.Out) +
                 "\" (known: .txt, .dat, .stl, .bmp, .jpg)");
        return ExitUsage;
    }
    std::vector<TOperationApply> ops;
    for (const std::string& text : a.Ops) {
        try {
            ops.push_back(ParseOperation(text));
        } catch (const EOperationError& e) {
            Complain(e.what());
            return ExitUsage;
        }
    }
    sink.Question = a.Spectroscopy == "no" ? TMsgResult::No : TMsgResult::Yes;

    TCliInput input;
    try {
        if (!LoadInput(a.In, a.Channel, input)) return ExitRefused;
    } catch (const std::exception& e) {
        ReportException(e);
        return ExitRefused;
    }
    TCliChannel* chosen = nullptr;
    for (auto& ch : input.Channels)
        if (ch.Index == a.Channel) chosen = &ch;
    if (!chosen) {
        Complain("channel " + std::to_string(a.Channel) + " of " + a.In + " could not be loaded");
        return ExitRefused;
    }
    TImageDoc& doc = *chosen->Doc;
    try {
        for (const TOperationApply& op : ops) {
            op(doc);
            doc.Picture.Render();
        }
    } catch (const EAbort&) {
        return ExitRefused;  // the operation has shown its message
    } catch (const std::exception& e) {
        ReportException(e);
        return ExitRefused;
    }
    return WriteOutput(doc, a.Out, outKind, a.Data == "sin" ? TNativeKind::Sin : TNativeKind::Int);
}

int RunDemo(const std::string& dir) { return WriteDemoScan(dir) ? ExitOk : ExitRefused; }

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"morvane-cli - batch tool for scanning probe images"};
    app.require_subcommand(1);

    std::string infoFile;
    auto* info = app.add_subcommand("info", "print the channels of FILE as JSON");
    std::string infoSpectroscopy = "yes";
    info->add_option("FILE", infoFile, "measurement file")->required();
    info->add_option("--spectroscopy", infoSpectroscopy, "Omicron: read spectroscopy maps")
        ->check(CLI::IsMember({"yes", "no"}));

    TConvertArgs conv;
    auto addCommon = [](CLI::App* cmd, TConvertArgs& a) {
        cmd->add_option("IN", a.In, "measurement file")->required();
        cmd->add_option("OUT", a.Out, "output file: .txt (native), .dat, .stl, .bmp or .jpg")
            ->required();
        cmd->add_option("--channel", a.Channel, "channel to write (1-based, file order)")
            ->check(CLI::PositiveNumber);
        cmd->add_option("--data", a.Data, "data file of a native output")
            ->check(CLI::IsMember({"int", "sin"}));
        cmd->add_option("--spectroscopy", a.Spectroscopy, "Omicron: read spectroscopy maps")
            ->check(CLI::IsMember({"yes", "no"}));
    };
    auto* convert = app.add_subcommand("convert", "write one channel of IN as OUT");
    addCommon(convert, conv);

    TConvertArgs proc;
    auto* process = app.add_subcommand("process", "apply operations to one channel, then write it");
    addCommon(process, proc);
    process->add_option("--op", proc.Ops, "operation, applied in the order given: " + OperationSyntaxList())
        ->required()
        ->allow_extra_args(false);

    std::string demoDir;
    auto* demo = app.add_subcommand("demo", "write the demo scan into DIR");
    demo->add_option("DIR", demoDir, "target directory")->required();

    TProfileCommands profileCommands;
    profileCommands.Register(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? ExitOk : ExitUsage;
    }

    SetDecimalSeparator('.');
    TCliMessageSink sink;
    TScopedMessageSink scoped(&sink);
    if (*info) return RunInfo(infoFile, infoSpectroscopy, sink);
    if (*convert) return RunConvert(conv, sink);
    if (*process) return RunConvert(proc, sink);
    if (*demo) return RunDemo(demoDir);
    if (profileCommands.Chosen()) return profileCommands.Run(sink);
    return ExitUsage;
}
