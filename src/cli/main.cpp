// morvane-cli: batch access to the model: file information as JSON, conversion
// between the formats, processing operations and the demo scan.
//
// Exit status: 0 success, 1 the input was refused (the message on stderr, as the
// application shows it), 2 a usage error.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/Batch.h"
#include "frontend/Input.h"
#include "frontend/Output.h"
#include "frontend/Run.h"
#include "cli/ParallelBatch.h"
#include "cli/Profile.h"
#include "cli/UnitCell.h"
#include "core/Errors.h"
#include "core/Files.h"
#include "core/Numbers.h"
#include "formats/Demo.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "palette/PaletteFiles.h"
#include "formats/BatchReport.h"
#include "core/Threads.h"
#include "processing/History.h"
#include "processing/Operations.h"
#include "view3d/S3D.h"

namespace {

constexpr int ExitOk = 0;
constexpr int ExitRefused = 1;
constexpr int ExitUsage = 2;

void Complain(const std::string& text) { CliComplain(text); }

// A failure the readers or writers did not report themselves: shown as the
// application's general error report would show it.
void ReportException(const std::exception& e) {
    ShowFailure(e);
}

nlohmann::ordered_json InfoJson(const std::string& path, const TCliInput& input,
                                const TCliMessageSink& sink) {
    using json = nlohmann::ordered_json;
    json j;
    j["file"] = PathToUtf8(ExtractFileName(path));
    j["format"] = input.Format;
    j["version"] = input.Version ? json(Latin1ToUtf8(*input.Version)) : json(nullptr);
    json channels = json::array();
    for (const TCliChannel& ch : input.Channels) {
        const TQTVPicture& pic = ch.Doc->Picture;
        json c;
        c["index"] = ch.Index;
        c["caption"] = Latin1ToUtf8(ch.Doc->CaptionTag);
        c["data_file"] = PathToUtf8(ch.DataFile);
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
    for (const std::string& t : sink.Texts) messages.push_back(t);
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

// Writes the documents by the extension of out: a Gwyddion file holds them all, every
// other type the first.
int Write(const std::vector<TImageDoc*>& docs, const std::string& out, TOutKind kind, TNativeKind data) {
    try {
        return WriteOutput(docs, out, kind, data) ? ExitOk : ExitRefused;
    } catch (const std::exception& e) {
        ReportException(e);
    }
    return ExitRefused;
}

struct TConvertArgs {
    std::string In, Out;
    std::string ChannelText;
    int Channel = 1;
    std::string Data = "int";
    std::string Spectroscopy = "yes";
    std::vector<std::string> Ops;
    std::string Palette;  // palette file for .bmp / .jpg output; empty: the image's own
};

// Reads the palette file (its kind by extension) over the default colours. Header
// complaints are shown and reading goes on; an unreadable entry refuses the file.
bool ReadCliPalette(const std::string& path, TColours& colours) {
    colours = DefaultColours();
    try {
        const TPaletteRead read = ReadPaletteFile(path, PaletteKindOfName(path), colours);
        if (read.Failed) {
            ShowMessage(read.Failure, TMsgKind::Error);
            return false;
        }
    } catch (const std::exception& e) {
        ReportException(e);
        return false;
    }
    return true;
}

// Where a file of a batch with --report leaves its thumbnails (row: its report row).
// With Later, the input's thumbnail is left there to be written, and the written
// picture handed over, for the row to be finished later instead of at once.
struct TReportLater {
    std::string InPng;
    std::shared_ptr<TQTVPicture> Output;
};
struct TReportProbe {
    TReportRow* Row = nullptr;
    std::string InThumb, OutThumb;
    TReportLater* Later = nullptr;
};

int RunConvert(const TConvertArgs& a, TCliMessageSink& sink, const TReportProbe* probe = nullptr) {
    std::string refusal;
    const TOutKind outKind = CheckedOutKind(a.Out, refusal);
    if (outKind == TOutKind::Unknown) {
        Complain(refusal);
        return ExitUsage;
    }
    std::vector<TOperation> ops;
    try {
        ops = ParseOperations(a.Ops);
    } catch (const EOperationError& e) {
        Complain(e.what());
        return ExitUsage;
    }
    if (!a.Palette.empty() && outKind != TOutKind::Bitmap && outKind != TOutKind::Jpeg) {
        Complain("--palette applies to .bmp and .jpg output only");
        return ExitUsage;
    }
    sink.Question = a.Spectroscopy == "no" ? TMsgResult::No : TMsgResult::Yes;
    // the second image of arith: one channel of another file
    SetOperandLoader(LoadOneChannel);

    TColours colours{};
    if (!a.Palette.empty() && !ReadCliPalette(a.Palette, colours)) return ExitRefused;

    TCliInput input;
    std::vector<TImageDoc*> docs;
    if (outKind == TOutKind::Gwy && a.ChannelText.empty()) {
        // a Gwyddion file takes every channel
        try {
            if (!LoadInput(a.In, 0, input)) return ExitRefused;
        } catch (const std::exception& e) {
            ReportException(e);
            return ExitRefused;
        }
        for (auto& ch : input.Channels) docs.push_back(ch.Doc.get());
        if (docs.empty()) return ExitRefused;  // the reader has said why
    } else {
        int status = ExitRefused;
        TCliChannel* chosen = LoadCliChannel(a.In, a.Channel, input, status);
        if (!chosen) return status;
        docs.push_back(chosen->Doc.get());
    }
    // a report row shows the first channel written, and the operations its history gained
    const size_t before = docs.front()->History.size();
    const auto recordOps = [&] {
        for (size_t i = before; probe && i < docs.front()->History.size(); ++i)
            probe->Row->Ops.push_back(Latin1ToUtf8(docs.front()->History[i]));
    };
    if (probe && probe->Later) {
        probe->Row->In = DescribeImage(docs.front()->Picture, false);
        probe->Later->InPng = ThumbnailBytes(docs.front()->Picture);
    } else if (probe) {
        RecordImage(*probe->Row, docs.front()->Picture, false, probe->InThumb);
    }
    try {
        for (TImageDoc* doc : docs) RunOperations(*doc, ops);
    } catch (const EAbort&) {
        recordOps();
        return ExitRefused;  // the operation has shown its message
    } catch (const std::exception& e) {
        recordOps();
        ReportException(e);
        return ExitRefused;
    }
    recordOps();
    if (!a.Palette.empty()) ApplyColours(colours, docs.front()->Picture.Palette);
    const int written = Write(docs, a.Out, outKind, a.Data == "sin" ? TNativeKind::Sin : TNativeKind::Int);
    if (probe && written == ExitOk) {
        if (probe->Later)
            probe->Later->Output = std::make_shared<TQTVPicture>(std::move(docs.front()->Picture));
        else
            RecordImage(*probe->Row, docs.front()->Picture, true, probe->OutThumb);
    }
    if (probe && written != ExitOk) {  // no output: nothing of it in the row
        std::error_code ec;
        if (probe->Row->OutThumb) std::filesystem::remove(probe->OutThumb, ec);
        probe->Row->Out = TReportImage{};
        probe->Row->OutThumb = false;
    }
    return written;
}

// One file of a batch with --report: converted as without, its row kept in held by the
// batch's own process, left in a row file by a worker process. The batch's own process
// finishes the row (the output's figures and thumbnail) on rows, beside the next file.
int RunReportedConvert(const TConvertArgs& a, TCliMessageSink& sink, const TReportPlace& place, size_t index,
                       std::vector<std::optional<TReportRow>>& held, pid_t batchProcess, TSerialQueue& rows) {
    auto row = std::make_shared<TReportRow>();
    const bool here = getpid() == batchProcess && index < held.size();
    auto later = std::make_shared<TReportLater>();
    const TReportProbe probe{row.get(), place.ThumbPath(index, false), place.ThumbPath(index, true),
                             here ? later.get() : nullptr};
    const int status = RunConvert(a, sink, &probe);
    row->Ok = status == ExitOk;
    if (!row->Ok) {
        for (const std::string& t : sink.Texts) row->Message += (row->Message.empty() ? "" : "\n") + t;
        if (row->Message.empty()) row->Message = "failed (see the messages of the run)";
    }
    if (here) {
        rows.Post([row, later, &held, index, inThumb = probe.InThumb, outThumb = probe.OutThumb] {
            row->InThumb = WriteThumbnail(inThumb, later->InPng);
            if (later->Output) RecordImage(*row, *later->Output, true, outThumb);
            held[index] = std::move(*row);
        });
    } else if (!WriteReportRow(place, index, *row)) {
        std::fprintf(stderr, "morvane-cli: --report: cannot write %s\n", place.RowPath(index).c_str());
    }
    return status;
}

// The page of a batch with --report, from the rows its files left.
void FinishReport(const TReportPlace& place, const TBatchArgs& batch, const std::vector<std::string>& existing,
                  std::vector<std::optional<TReportRow>> held) {
    std::vector<std::string> outputs;
    for (const std::string& in : batch.Files) outputs.push_back(BatchOutputName(in, batch.OutDir, batch.Ext));
    std::vector<std::string> missing(batch.Files.size(), "not processed");
    for (size_t i = 0; i < missing.size(); ++i)
        if (!existing[i].empty()) missing[i] = existing[i] + " already exists, not overwritten";
    std::string error;
    if (WriteReportHtml(place, CollectRows(place, batch.Files, outputs, missing, std::move(held)), error))
        std::printf("report: %s\n", place.HtmlPath().c_str());
    else
        std::fprintf(stderr, "morvane-cli: --report: %s\n", error.c_str());
}

// process: IN OUT, or every input into --out-dir; the operations of --ops-from first.
void AddProcessOptions(CLI::App* cmd, TConvertArgs& a, TBatchArgs& b) {
    cmd->add_option("FILES", b.Files, "IN OUT, or with --out-dir every input file")->required();
    cmd->add_option("--channel", a.ChannelText, "channel to write (1-based, file order)");
    cmd->add_option("--data", a.Data, "data file of a native output")->check(CLI::IsMember({"int", "sin"}));
    cmd->add_option("--spectroscopy", a.Spectroscopy, "Omicron: read spectroscopy maps")
        ->check(CLI::IsMember({"yes", "no"}));
    cmd->add_option("--palette", a.Palette,
                    "palette file for .bmp/.jpg output: .pal JASC, .txt text, else 768-byte binary");
    cmd->add_option("--op", a.Ops, "operation, applied in the order given: " + OperationSyntaxList())
        ->allow_extra_args(false);
    cmd->add_option("--ops-from", b.OpsFrom,
                    "the processing history of a saved parameter file, or a text file of operations one a line");
    cmd->add_option("--out-dir", b.OutDir, "write every input as DIR/NAME.txt (every FILE is an input)");
    cmd->add_option("--ext", b.Ext, "with --out-dir: the output type")
        ->check(CLI::IsMember({".txt", ".dat", ".bmp", ".jpg", ".stl", ".gwy", ".gsf"}));
    cmd->add_option("-j,--jobs", b.JobsText, "with --out-dir: files processed at once (default 1)");
    cmd->add_flag("--report", b.Report, "with --out-dir: also write DIR/report.html with thumbnails and figures");
}

int RunProcess(TConvertArgs& a, const TBatchArgs& b, TCliMessageSink& sink) {
    if (!b.OpsFrom.empty() && !ReadOperationsFile(b.OpsFrom, a.Ops)) return ExitUsage;
    if (a.Ops.empty() && b.OpsFrom.empty()) {
        Complain("process needs --op or --ops-from");
        return ExitUsage;
    }
    int jobs = 1;
    if (!b.JobsText.empty() && !ParseJobCount(b.JobsText, jobs)) {
        Complain("-j needs a whole number of files at once, at least 1: " + b.JobsText);
        return ExitUsage;
    }
    if (b.OutDir.empty()) {
        if (!b.Ext.empty() || !b.JobsText.empty() || b.Report) {
            Complain(!b.Ext.empty() ? "--ext applies with --out-dir only"
                     : b.Report     ? "--report applies with --out-dir only"
                                    : "-j applies with --out-dir only");
            return ExitUsage;
        }
        if (b.Files.size() != 2) {
            Complain("process needs IN OUT (or --out-dir DIR and the inputs)");
            return ExitUsage;
        }
        a.In = b.Files[0];
        a.Out = b.Files[1];
        return RunConvert(a, sink);
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(b.OutDir, ec)) {
        Complain("--out-dir " + b.OutDir + " is no directory");
        return ExitUsage;
    }
    try {
        ParseOperations(a.Ops);
    } catch (const EOperationError& e) {
        Complain(e.what());
        return ExitUsage;
    }
    if (!a.Palette.empty() && b.Ext != ".bmp" && b.Ext != ".jpg") {
        Complain("--palette applies to .bmp and .jpg output only");
        return ExitUsage;
    }
    const TNativeKind kind = a.Data == "sin" ? TNativeKind::Sin : TNativeKind::Int;
    TBatchArgs batch = b;
    batch.Jobs = jobs;
    std::optional<TReportPlace> place;
    std::vector<std::string> existing;  // outputs there before the batch: their files fail unread
    std::vector<std::optional<TReportRow>> held(b.Report ? batch.Files.size() : 0);
    const pid_t batchProcess = getpid();
    if (b.Report) {
        std::string error;
        place.emplace();
        if (!place->Reserve(b.OutDir, error)) {
            std::fprintf(stderr, "morvane-cli: --report: %s\n", error.c_str());
            return ExitRefused;
        }
        for (const std::string& in : batch.Files) {
            const std::string out = BatchOutputName(in, batch.OutDir, batch.Ext);
            std::string there;
            if (std::filesystem::exists(out, ec)) there = out;
            else if ((batch.Ext.empty() || batch.Ext == ".txt") && std::filesystem::exists(NativeDataFileName(out, kind), ec))
                there = NativeDataFileName(out, kind);
            existing.push_back(there);
        }
    }
    TSerialQueue rows;
    const int status = RunBatch(batch, kind, [&](const std::string& in, const std::string& out) {
        TConvertArgs one = a;
        one.In = in;
        one.Out = out;
        sink.Texts.clear();
        if (!place) return RunConvert(one, sink);
        // the batch hands over the input as batch.Files[i] itself
        return RunReportedConvert(one, sink, *place, static_cast<size_t>(&in - batch.Files.data()), held,
                                  batchProcess, rows);
    });
    rows.Drain();
    if (place) FinishReport(*place, batch, existing, std::move(held));
    return status;
}

// The operation table: name, syntax, parameters (name, type, default) and description.
int RunOps(bool asJson) {
    if (asJson) {
        using json = nlohmann::ordered_json;
        json list = json::array();
        for (const TOperationDef& d : OperationTable()) {
            json params = json::array();
            for (const TOperationParam& p : d.Params) {
                // the default as a JSON value of the parameter's type; a required one has none
                json def = nullptr;
                const std::string t = p.Type, v = p.Default ? p.Default : "None";
                if (v == "None") def = nullptr;
                else if (t == "bool") def = v == "True";
                else if (t == "int" || t == "count") def = std::stoi(v);
                else if (t == "float") def = std::stod(v);
                else def = v.size() >= 2 && v.front() == '\'' ? v.substr(1, v.size() - 2) : v;
                params.push_back({{"name", p.Name}, {"type", p.Type}, {"default", def}, {"required", !p.Default}});
            }
            list.push_back({{"name", d.Name}, {"syntax", d.Syntax}, {"parameters", std::move(params)},
                            {"description", d.Description}});
        }
        std::cout << json{{"operations", std::move(list)}}.dump(2) << std::endl;
        return ExitOk;
    }
    for (const TOperationDef& d : OperationTable()) {
        std::cout << d.Syntax << "\n    " << d.Description << "\n";
        for (const TOperationParam& p : d.Params)
            std::cout << "    " << p.Name << " (" << p.Type << (p.Default ? std::string(", default ") + p.Default : "")
                      << ")\n";
    }
    return ExitOk;
}

int RunDemo(const std::string& dir) { return WriteDemoScan(dir) ? ExitOk : ExitRefused; }

// The relief of the simple 3-D view, as a bitmap; gain and shift are read as the
// window reads its edits (not an integer: 10 and 0).
struct TReliefArgs {
    std::string In, Out;
    int Channel = 1;
    std::string Gain = ReliefGainDefault, Shift = ReliefShiftDefault;
};

int RunRelief(const TReliefArgs& a) {
    if (OutKindOf(a.Out) != TOutKind::Bitmap) {
        Complain("the relief is written as a bitmap (.bmp)");
        return ExitUsage;
    }
    TCliInput input;
    int status = ExitRefused;
    const TCliChannel* chosen = LoadCliChannel(a.In, a.Channel, input, status);
    if (!chosen) return status;
    const TReliefEdits edits = ReadReliefEdits(a.Gain, a.Shift);
    std::string bytes;
    try {
        bytes = ReliefBitmapFile(DrawRelief(chosen->Doc->Picture, edits.ZGain, edits.Shift),
                                 chosen->Doc->Picture.Palette);
    } catch (const EAbort&) {
        return ExitRefused;  // told already
    }
    // a complete new file replaces the old one, or nothing is replaced
    try {
        WriteFileReplacing(a.Out, bytes);
    } catch (const EInOutError&) {
        ShowFileMessage("Cannot write file " + a.Out, {a.Out}, TMsgKind::Error);
        return ExitRefused;
    }
    return ExitOk;
}

// The channel number of --channel: a whole number from 1; false otherwise.
bool ParseChannel(TConvertArgs& a) {
    if (a.ChannelText.empty()) return true;
    int n = 0;
    if (!TryStrToInt(a.ChannelText, n) || n < 1) return false;
    a.Channel = n;
    return true;
}

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
        cmd->add_option("OUT", a.Out, "output file: .txt (native), .dat, .stl, .bmp, .jpg, .gwy (every channel unless --channel) or .gsf")
            ->required();
        cmd->add_option("--channel", a.ChannelText, "channel to write (1-based, file order)");
        cmd->add_option("--data", a.Data, "data file of a native output")
            ->check(CLI::IsMember({"int", "sin"}));
        cmd->add_option("--spectroscopy", a.Spectroscopy, "Omicron: read spectroscopy maps")
            ->check(CLI::IsMember({"yes", "no"}));
        cmd->add_option("--palette", a.Palette,
                        "palette file for .bmp/.jpg output: .pal JASC, .txt text, else 768-byte binary");
    };
    auto* convert = app.add_subcommand("convert", "write one channel of IN as OUT");
    addCommon(convert, conv);

    TConvertArgs proc;
    TBatchArgs batch;
    auto* process = app.add_subcommand("process", "apply operations to one channel (of each input), then write it");
    AddProcessOptions(process, proc, batch);

    std::string demoDir;
    auto* demo = app.add_subcommand("demo", "write the demo scan into DIR");
    demo->add_option("DIR", demoDir, "target directory")->required();

    bool opsJson = false;
    auto* opsCmd = app.add_subcommand("ops", "list the operations of process --op");
    opsCmd->add_flag("--json", opsJson, "as JSON");

    TProfileCommands profileCommands;
    profileCommands.Register(app);

    TReliefArgs relief;
    auto* reliefCmd = app.add_subcommand("relief", "write the pseudo-3-D relief of one channel as a bitmap");
    reliefCmd->add_option("IN", relief.In, "measurement file")->required();
    reliefCmd->add_option("OUT", relief.Out, "output bitmap (.bmp)")->required();
    reliefCmd->add_option("--channel", relief.Channel, "channel to draw (1-based, file order)")
        ->check(CLI::PositiveNumber);
    reliefCmd->add_option("--gain", relief.Gain, "z-Gain: stroke length of the highest sample (default 10)");
    reliefCmd->add_option("--shift", relief.Shift, "Shift: sideways offset of the last row (default 10)");

    TUnitCellArgs unitCell;
    auto* unitCellCmd = AddUnitCellCommand(app, unitCell);

    // a first word that is no command is named, with the commands there are
    if (argc > 1 && argv[1][0] != '-') {
        const std::string word = argv[1];
        bool known = false;
        std::string names;
        for (const CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
            known = known || sub->get_name() == word;
            names += (names.empty() ? "" : ", ") + sub->get_name();
        }
        if (!known) {
            Complain("unknown command \"" + word + "\" (commands: " + names + "; --help for more)");
            return ExitUsage;
        }
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? ExitOk : ExitUsage;
    }

    for (TConvertArgs* a : {&conv, &proc})
        if (!ParseChannel(*a)) {
            Complain("--channel must be a channel number from 1");
            return ExitUsage;
        }

    SetDecimalSeparator('.');
    TCliMessageSink sink;
    TScopedMessageSink scoped(&sink);
    if (*info) return RunInfo(infoFile, infoSpectroscopy, sink);
    if (*convert) return RunConvert(conv, sink);
    if (*process) return RunProcess(proc, batch, sink);
    if (*demo) return RunDemo(demoDir);
    if (*opsCmd) return RunOps(opsJson);
    if (*reliefCmd) return RunRelief(relief);
    if (profileCommands.Chosen()) return profileCommands.Run(sink);
    if (*unitCellCmd) return RunUnitCell(unitCell);
    return ExitUsage;
}
