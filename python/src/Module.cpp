// morvane._morvane: the model as a Python extension. The package morvane (morvane/__init__.py)
// puts the named operations on top; everything that touches images lives here.
//
// An Image holds its document through a shared pointer. Image.data is a numpy view on
// the document's sample block whose base keeps the document alive. process() works on a
// new document; apply() works in place only while no view exists, so a block that a
// view looks into is never reallocated and every view stays valid as long as it exists.
//
// Messages the model shows are collected while a call runs: a refused call raises
// morvane.Error with them, a successful one passes them on as morvane.Warning.
#include <nlohmann/json.hpp>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/Threads.h"
#include "analysis/LineProfile.h"
#include "frontend/AnalysisJson.h"
#include "frontend/Input.h"
#include "frontend/Output.h"
#include "frontend/Run.h"
#include "frontend/BatchFiles.h"
#include "core/Errors.h"
#include "core/ImageDoc.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/Export.h"
#include "formats/BatchReport.h"
#include "formats/ImageWriters.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "palette/PaletteFiles.h"
#include "core/Text.h"
#include "processing/Operations.h"

namespace py = pybind11;

namespace {

using TDocPtr = std::shared_ptr<TImageDoc>;

// ---------------------------------------------------------------- messages and errors

// A refused call: the messages the model showed (Latin-1), or a reason of our own.
struct TRefused {
    std::vector<std::string> Messages;
};

// The module's exception and warning classes (created once, never freed: they live as
// long as the interpreter).
py::handle& ErrorType() {
    static py::handle type;
    return type;
}
py::handle& WarningType() {
    static py::handle type;
    return type;
}

std::string Latin1ToStr(const std::string& text) { return Latin1ToUtf8(text); }

py::str ToPy(const std::string& latin1) {
    return py::reinterpret_steal<py::str>(
        PyUnicode_DecodeLatin1(latin1.data(), static_cast<Py_ssize_t>(latin1.size()), nullptr));
}

// Python text to the Latin-1 the records hold; characters beyond Latin-1 are refused.
std::string FromPy(const py::str& text, const char* what) {
    PyObject* bytes = PyUnicode_AsLatin1String(text.ptr());
    if (!bytes) {
        PyErr_Clear();
        throw py::value_error(std::string(what) + " must be Latin-1 text (the files store 8-bit characters)");
    }
    std::string out(PyBytes_AS_STRING(bytes), static_cast<size_t>(PyBytes_GET_SIZE(bytes)));
    Py_DECREF(bytes);
    return out;
}

// Collects what the model shows while one call runs; questions are answered, not kept.
class TPySink : public TMessageSink {
public:
    TMsgResult Question = TMsgResult::Yes;
    std::vector<std::string> Texts;
    TMsgResult Show(const TMessage& msg) override {
        if (msg.Buttons == TMsgButtons::YesNo || msg.Buttons == TMsgButtons::YesNoCancel) return Question;
        Texts.push_back(msg.Text);
        return TMsgResult::OK;
    }
    void Beep() override {}
};

// Installs a collecting sink for one call.
class TCall {
public:
    TCall() : scoped_(&sink_) {}
    TPySink& Sink() { return sink_; }
    // Refuses the call with what was shown, or with fallback when nothing was.
    [[noreturn]] void Refuse(const std::string& fallback) {
        TRefused r{sink_.Texts};
        if (r.Messages.empty()) r.Messages.push_back(fallback);
        throw r;
    }
    // The call succeeded: what was shown goes out as warnings.
    void Done() {
        for (const std::string& t : sink_.Texts) {
            const std::string text = Latin1ToStr(t);
            if (PyErr_WarnEx(WarningType().ptr(), text.c_str(), 2) < 0) throw py::error_already_set();
        }
    }

private:
    TPySink sink_;
    TScopedMessageSink scoped_;
};

std::string PathBytes(const std::filesystem::path& p) { return p.string(); }

// ---------------------------------------------------------------- images

// How many numpy arrays look into each document's sample block. While there are any,
// the block must stay where it is: operations that might reallocate it run on a copy.
std::unordered_map<const TImageDoc*, int>& LiveViews() {
    static std::unordered_map<const TImageDoc*, int> views;
    return views;
}

// Documents whose samples may have been written from Python since they were last
// rendered (a view was handed out, new samples were set, or a copy was made): a save
// renders them first so the range follows the samples. Otherwise the render of the
// load or the last operation stands, as in morvane-cli, and a save does not repeat it.
// (Keyed by address; the weak pointer tells a living document from a later one that
// got the address of a freed one.)
std::unordered_map<const TImageDoc*, std::weak_ptr<TImageDoc>>& TouchedDocs() {
    static std::unordered_map<const TImageDoc*, std::weak_ptr<TImageDoc>> touched;
    return touched;
}
void Touch(const TDocPtr& doc) {
    auto& touched = TouchedDocs();
    if (touched.size() > 1024)
        for (auto it = touched.begin(); it != touched.end();)
            it = it->second.expired() ? touched.erase(it) : std::next(it);
    touched[doc.get()] = doc;
}
// True (once) when doc was touched; the caller renders it.
bool TakeTouched(const TDocPtr& doc) {
    auto& touched = TouchedDocs();
    auto it = touched.find(doc.get());
    if (it == touched.end()) return false;
    const bool alive = !it->second.expired();
    touched.erase(it);
    return alive;
}

// What a view's base holds: the document, and its place in the count.
struct TViewKeep {
    TDocPtr Doc;
    explicit TViewKeep(TDocPtr doc) : Doc(std::move(doc)) { ++LiveViews()[Doc.get()]; }
    ~TViewKeep() {
        Touch(Doc);  // written through, perhaps
        auto it = LiveViews().find(Doc.get());
        if (it != LiveViews().end() && --it->second <= 0) LiveViews().erase(it);
    }
    TViewKeep(const TViewKeep&) = delete;
    TViewKeep& operator=(const TViewKeep&) = delete;
};

// The samples as a float32 array of shape (rows, cols), row 0 at the bottom, sharing
// the document's block.
py::array DataView(const TDocPtr& doc) {
    TQTVPicture& pic = doc->Picture;
    if (!pic.HasData() || pic.Rows <= 0)
        return py::array_t<float>(std::vector<py::ssize_t>{pic.Rows > 0 ? pic.Rows : 0, pic.Cols > 0 ? pic.Cols : 0});
    float* block = pic.Data.Block();
    // the capsule owns a reference to the document: the array keeps it alive
    auto* keep = new TViewKeep(doc);
    py::capsule owner(keep, [](void* p) { delete static_cast<TViewKeep*>(p); });
    const auto cols = static_cast<py::ssize_t>(pic.Cols);
    return py::array_t<float>({static_cast<py::ssize_t>(pic.Rows), cols},
                              {cols * static_cast<py::ssize_t>(sizeof(float)), static_cast<py::ssize_t>(sizeof(float))},
                              block, owner);
}

// The range rendering uses: the samples' own unless the range was fixed.
void CurrentRange(TQTVPicture& pic) {
    if (pic.FixedRange <= 0 && pic.HasData()) pic.UpdateMinMax();
}

// A new document equal to doc in everything it carries, the marks included: a leveling
// "kept" fits the samples the previous leveling marked, also when that ran in an
// earlier call (as the operations of one morvane-cli process run on one document).
TDocPtr CopyDoc(const TImageDoc& doc) { return std::make_shared<TImageDoc>(doc); }

// A new document from a 2-D array (copied into the record's own block).
TDocPtr DocFromArray(const py::array& input) {
    auto arr = py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(input);
    if (!arr) throw py::type_error("Image: the samples must be a 2-D array of numbers");
    if (arr.ndim() != 2) throw py::value_error("Image: the samples must be a 2-D array (rows, cols), not " +
                                               std::to_string(arr.ndim()) + "-D");
    const py::ssize_t rows = arr.shape(0), cols = arr.shape(1);
    if (rows < 1 || cols < 1 || rows > MaxPixels || cols > MaxPixels)
        throw py::value_error("Image: " + std::to_string(rows) + " x " + std::to_string(cols) +
                              " samples; an image has 1 to " + std::to_string(MaxPixels) + " rows and columns");
    auto doc = std::make_shared<TImageDoc>();
    TCall call;
    doc->Picture.SetSize(static_cast<int32_t>(cols), static_cast<int32_t>(rows));
    if (!doc->Picture.HasData()) call.Refuse("Can\xB4t get memory!");
    std::memcpy(doc->Picture.Data.Block(), arr.data(),
                static_cast<size_t>(rows) * static_cast<size_t>(cols) * sizeof(float));
    doc->Picture.Para.Scale = 1.0;
    doc->Picture.Render();
    return doc;
}

// ---------------------------------------------------------------- open

std::vector<TDocPtr> Open(const std::filesystem::path& path, bool spectroscopy, int channel) {
    if (channel < 0) throw py::value_error("open: channel counts from 1 (0: every channel)");
    const std::string name = PathBytes(path);
    TCall call;
    call.Sink().Question = spectroscopy ? TMsgResult::Yes : TMsgResult::No;
    TCliInput input;
    try {
        if (!LoadInput(name, channel, input)) call.Refuse("Unknown file type");
    } catch (const TRefused&) {
        throw;
    } catch (const std::exception& e) {
        ShowMessage(e.what(), TMsgKind::Error);
        call.Refuse(e.what());
    }
    std::vector<TDocPtr> out;
    for (TCliChannel& ch : input.Channels)
        if (channel == 0 || ch.Index == channel) out.push_back(TDocPtr(std::move(ch.Doc)));
    if (out.empty()) {
        if (channel > input.ChannelCount && input.ChannelCount > 0)
            call.Refuse("channel " + std::to_string(channel) + ": " + name + " has " +
                        std::to_string(input.ChannelCount) + (input.ChannelCount == 1 ? " channel" : " channels"));
        call.Refuse("no image could be loaded from " + name);
    }
    call.Done();
    return out;
}

// ---------------------------------------------------------------- process

// Operations in the operation table's text; all are read before any runs.
std::vector<TOperation> ParseAll(const std::vector<std::string>& ops) {
    try {
        return ParseOperations(ops);
    } catch (const EOperationError& e) {
        throw TRefused{{e.what()}};
    }
}

// Runs the operations as morvane-cli process does; a refusal raises after the call.
void RunRecorded(TImageDoc& doc, const std::vector<TOperation>& parsed, TCall& call) {
    try {
        RunOperations(doc, parsed);
    } catch (const EAbort& e) {
        call.Refuse(e.what());
    } catch (const EOperationError& e) {
        call.Refuse(e.what());
    } catch (const std::exception& e) {
        ShowMessage(e.what(), TMsgKind::Error);
        call.Refuse(e.what());
    }
}

// Runs the operations on doc itself, as morvane-cli does: no copy. While numpy views
// of its samples exist they run on a copy whose samples are then copied back, so the
// views stay valid and show the result; a change of size is refused then.
void ApplyInPlace(const TDocPtr& doc, const std::vector<std::string>& ops) {
    const std::vector<TOperation> parsed = ParseAll(ops);
    TCall call;
    if (LiveViews().count(doc.get()) == 0) {
        RunRecorded(*doc, parsed, call);
        if (!parsed.empty()) TakeTouched(doc);  // rendered as it is now
        call.Done();
        return;
    }
    TDocPtr out = CopyDoc(*doc);
    RunRecorded(*out, parsed, call);
    TQTVPicture& dst = doc->Picture;
    const TQTVPicture& src = out->Picture;
    if (src.Rows != dst.Rows || src.Cols != dst.Cols)
        call.Refuse("the operations change the size of the image (" + std::to_string(dst.Cols) + " x " +
                    std::to_string(dst.Rows) + " to " + std::to_string(src.Cols) + " x " + std::to_string(src.Rows) +
                    ") while numpy arrays share its samples: use morvane.process() for a new image");
    // everything of the result, but in the block the views look into
    if (dst.HasData())
        std::memcpy(dst.Data.Block(), src.Data.Block(),
                    static_cast<size_t>(dst.Rows) * static_cast<size_t>(dst.Cols) * sizeof(float));
    TRowTable own = std::move(dst.Data);
    out->Picture.Data = TRowTable();
    *doc = *out;
    dst.Data = std::move(own);
    dst.Render();
    call.Done();
}

TDocPtr Process(const TDocPtr& doc, const std::vector<std::string>& ops) {
    const std::vector<TOperation> parsed = ParseAll(ops);
    TCall call;
    TDocPtr out = CopyDoc(*doc);
    RunRecorded(*out, parsed, call);
    call.Done();
    return out;
}

// The second image of an arith operation given as an Image rather than a file: the
// operation text's file part is not read, the loader hands over a copy of `other`.
TDocPtr ProcessWithOperand(const TDocPtr& doc, const std::string& op, const TDocPtr& other) {
    const std::vector<TOperation> parsed = ParseAll({op});
    struct TRestore {
        ~TRestore() { SetOperandLoader(LoadOneChannel); }
    } restore;
    SetOperandLoader([other](const std::string&, int) -> std::unique_ptr<TImageDoc> {
        return std::make_unique<TImageDoc>(*other);
    });
    TCall call;
    TDocPtr out = CopyDoc(*doc);
    RunRecorded(*out, parsed, call);
    // recorded as the arithmetic window records it: the file and channel the other
    // image came from
    if (const auto* arith = std::get_if<TArithOp>(&parsed.front()); arith && !out->History.empty()) {
        TArithOp from = *arith;
        from.File = other->SourcePath.empty() ? other->FileName : other->SourcePath;
        from.Channel = other->SourcePath.empty() ? 1 : other->SourceChannel;
        out->History.back() = Utf8ToLatin1(from.Format());
    }
    call.Done();
    return out;
}


// ---------------------------------------------------------------- save

// Writes the image by the extension of path, as morvane-cli convert does.
void Save(const TDocPtr& doc, const std::filesystem::path& path, const std::string& data,
          const std::optional<std::filesystem::path>& palette) {
    if (data != "int" && data != "sin") throw py::value_error("save: data must be \"int\" or \"sin\", not \"" + data + "\"");
    const std::string out = PathBytes(path);
    std::string refusal;
    const TOutKind kind = CheckedOutKind(out, refusal);
    if (kind == TOutKind::Unknown) throw py::value_error("save: " + Latin1ToStr(refusal));
    const bool bitmap = kind == TOutKind::Bitmap, jpeg = kind == TOutKind::Jpeg;
    if (palette && !bitmap && !jpeg) throw py::value_error("save: palette applies to .bmp and .jpg output only");

    TCall call;
    TImageDoc& d = *doc;
    // the samples may have been changed through Image.data: the range follows them
    if (TakeTouched(doc) || LiveViews().count(doc.get()) > 0) d.Picture.Render();
    try {
        if (palette) {
            TColours colours = DefaultColours();
            const std::string pal = PathBytes(*palette);
            const TPaletteRead read = ReadPaletteFile(pal, PaletteKindOfName(pal), colours);
            if (read.Failed) {
                ShowMessage(read.Failure, TMsgKind::Error);
                call.Refuse(read.Failure);
            }
            TQTVPicture shown;  // the image's own palette stays as it is
            shown.CopySamplesFrom(d.Picture);
            shown.FixedRange = d.Picture.FixedRange;
            shown.Min = d.Picture.Min;
            shown.Max = d.Picture.Max;
            ApplyColours(colours, shown.Palette);
            shown.Render();
            if (bitmap) WriteBitmapFile(shown, out);
            else WriteJpegFile(shown, out, 90);
        } else if (!WriteOutput(d, out, kind, data == "sin" ? TNativeKind::Sin : TNativeKind::Int)) {
            call.Refuse("cannot write " + out);
        }
    } catch (const TRefused&) {
        throw;
    } catch (const EAbort& e) {
        call.Refuse(e.what());
    } catch (const std::exception& e) {
        ShowMessage(e.what(), TMsgKind::Error);
        call.Refuse(e.what());
    }
    call.Done();
}

// The image's picture as PNG bytes: as the bitmap Save As writes, or composed with its z bar.
py::bytes Png(const TDocPtr& doc, bool zbar) {
    TImageDoc& d = *doc;
    // the samples may have been changed through Image.data: the range follows them
    if (TakeTouched(doc) || LiveViews().count(doc.get()) > 0) d.Picture.Render();
    TCall call;
    std::string bytes;
    try {
        if (zbar) bytes = BuildComposedPng(d.Picture, std::clamp(std::max(d.Picture.Rows, d.Picture.Cols), 256, MaxPixels));
        else bytes = BuildPngFile(d.Picture);
    } catch (const std::exception& e) {
        call.Refuse(e.what());
    }
    call.Done();
    return py::bytes(bytes);
}

// The 256 palette colours, (256, 3) uint8.
py::array_t<uint8_t> PaletteArray(const TImageDoc& d) {
    py::array_t<uint8_t> a({256, 3});
    auto w = a.mutable_unchecked<2>();
    for (int i = 0; i < 256; ++i) {
        const TPaletteEntry& e = d.Picture.Palette.Entries[static_cast<size_t>(i)];
        w(i, 0) = e.Red;
        w(i, 1) = e.Green;
        w(i, 2) = e.Blue;
    }
    return a;
}

// The picture report of a batch run from Python: rows added as files finish (in any
// order), the page written at the end (see formats/BatchReport.h).
class TPyReport {
public:
    explicit TPyReport(const std::filesystem::path& dir) {
        std::string error;
        if (!place_.Reserve(PathBytes(dir), error)) throw py::value_error("report: " + error);
    }
    std::string Path() const { return place_.HtmlPath(); }
    void Add(size_t index, const std::string& input, const std::string& output, const TDocPtr& in,
             const TDocPtr& out, const std::vector<std::string>& ops, const std::string& message) {
        if (index >= rows_.size()) rows_.resize(index + 1);
        TReportRow row;
        row.Input = input;
        row.Output = output;
        row.Ops = ops;
        row.Message = message;
        row.Ok = out != nullptr && message.empty();
        {
            py::gil_scoped_release free;
            if (in) RecordImage(row, in->Picture, false, place_.ThumbPath(index, false));
            if (out) RecordImage(row, out->Picture, true, place_.ThumbPath(index, true));
        }
        rows_[index] = std::move(row);
    }
    const TReportPlace& Place() const { return place_; }
    void Put(size_t index, TReportRow row) {
        if (index >= rows_.size()) rows_.resize(index + 1);
        rows_[index] = std::move(row);
    }
    std::string Finish(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs) {
        std::vector<std::string> missing(inputs.size(), "not processed");
        std::string error;
        if (!WriteReportHtml(place_, CollectRows(place_, inputs, outputs, missing, rows_), error))
            throw py::value_error("report: " + error);
        return place_.HtmlPath();
    }

private:
    TReportPlace place_;
    std::vector<std::optional<TReportRow>> rows_;
};

// ---------------------------------------------------------------- batches

// One input of morvane-cli process IN... --out-dir DIR: the output's name, the refusal to
// overwrite, channel 1 loaded, the operations run with their history, the writer of ext.
// Returns (output, None), or (output, what went wrong: the messages shown, UTF-8).
// With report, the file's row (thumbnails, figures, operations, message) goes into it as
// row index.
py::tuple BatchFile(const std::filesystem::path& in, const std::filesystem::path& outDir,
                    const std::vector<std::string>& ops, const std::string& ext, const std::string& data,
                    TPyReport* report, size_t index) {
    const std::string input = PathBytes(in);
    const std::string out = BatchOutputName(input, PathBytes(outDir), ext);
    TReportRow row;
    const TImageDoc* shown = nullptr;  // the image whose history tells the operations applied
    size_t historyBefore = 0;
    const auto result = [&](const std::vector<std::string>& latin1, const std::string& fallback) {
        std::string text;
        for (const std::string& t : latin1) text += (text.empty() ? "" : "\n") + Latin1ToUtf8(t);
        if (text.empty()) text = fallback;
        if (report) {
            row.Input = input;
            row.Output = out;
            row.Ok = text.empty();
            row.Message = text;
            for (size_t i = historyBefore; shown && i < shown->History.size(); ++i)
                row.Ops.push_back(Latin1ToUtf8(shown->History[i]));
            if (row.Ok) RecordImage(row, shown->Picture, true, report->Place().ThumbPath(index, true));
            report->Put(index, std::move(row));
        }
        return py::make_tuple(py::bytes(out), text.empty() ? py::object(py::none()) : py::object(py::str(text)));
    };
    KeepBatchHeap();  // a batch process (a cluster worker) keeps its heap from file to file
    const TNativeKind kind = data == "sin" ? TNativeKind::Sin : TNativeKind::Int;
    const std::string taken = BatchOutputTaken(out, ext, kind);
    if (!taken.empty()) return result({}, PathToUtf8(taken) + " already exists, not overwritten");
    std::vector<TOperation> parsed;
    try {
        parsed = ParseOperations(ops);
    } catch (const EOperationError& e) {
        return result({}, e.what());
    }
    TCall call;  // collects what is shown; nothing is passed on as a warning
    TCliInput loaded;
    try {
        // channel 1, as process loads it; its complaints are collected, not printed
        LoadInput(input, 1, loaded);
        const auto chosen = std::find_if(loaded.Channels.begin(), loaded.Channels.end(),
                                         [](const TCliChannel& ch) { return ch.Index == 1; });
        if (chosen == loaded.Channels.end())
            return result(call.Sink().Texts, "no image could be loaded from " + PathToUtf8(input));
        if (report) {
            shown = chosen->Doc.get();
            historyBefore = shown->History.size();
            RecordImage(row, shown->Picture, false, report->Place().ThumbPath(index, false));
        }
        RunOperations(*chosen->Doc, parsed);
        if (!WriteOutput(*chosen->Doc, out, OutKindOf(out), kind))
            return result(call.Sink().Texts, "cannot write " + PathToUtf8(out));
        return result({}, "");
    } catch (const EAbort& e) {
        return result(call.Sink().Texts, e.what());  // the operation has shown its message
    } catch (const std::exception& e) {
        ShowFailure(e);
        return result(call.Sink().Texts, e.what());
    }
}

std::vector<py::str> InfoLines(const TImageDoc& doc) {
    std::vector<py::str> out;
    out.reserve(doc.ScanInfo.size());
    for (const std::string& line : doc.ScanInfo) out.push_back(ToPy(line));
    return out;
}

// ---------------------------------------------------------------- analysis

// The JSON morvane-cli prints, as Python objects (dict, list, int, float, str, None).
py::object JsonToPy(const nlohmann::ordered_json& j) {
    switch (j.type()) {
    case nlohmann::json::value_t::null: return py::none();
    case nlohmann::json::value_t::boolean: return py::bool_(j.get<bool>());
    case nlohmann::json::value_t::number_integer: return py::int_(j.get<int64_t>());
    case nlohmann::json::value_t::number_unsigned: return py::int_(j.get<uint64_t>());
    case nlohmann::json::value_t::number_float: return py::float_(j.get<double>());
    case nlohmann::json::value_t::string: return py::str(j.get_ref<const std::string&>());
    case nlohmann::json::value_t::array: {
        py::list out;
        for (const auto& v : j) out.append(JsonToPy(v));
        return out;
    }
    case nlohmann::json::value_t::object: {
        py::dict out;
        for (const auto& [key, v] : j.items()) out[py::str(key)] = JsonToPy(v);
        return out;
    }
    default: return py::none();
    }
}

TLineMode LineModeOf(const std::string& mode) {
    if (mode == "row") return TLineMode::Row;
    if (mode == "col") return TLineMode::Col;
    if (mode == "any") return TLineMode::Any;
    if (mode == "radial") return TLineMode::Radial;
    throw py::value_error("mode: \"" + mode + "\" is not one of row, col, any, radial");
}

using TPointArg = std::pair<int32_t, int32_t>;

// The line as morvane-cli profile takes it (the same defaults and roundings).
TProfile LineOf(const TImageDoc& doc, const std::string& mode, int width, double index, double angle,
                const TPointArg& from, const TPointArg& to, const TImageDoc* second, TCall& call) {
    if (!std::isfinite(index)) throw py::value_error("index must be a finite number");
    if (!std::isfinite(angle)) throw py::value_error("angle must be a finite number");
    if (!doc.Picture.HasData()) call.Refuse("The image holds no samples.");
    if (second && !second->Picture.HasData()) call.Refuse("The second image holds no samples.");
    TAnyLine line;
    line.X1 = from.first;
    line.Y1 = from.second;
    line.X2 = to.first;
    line.Y2 = to.second;
    TProfileRequest req = MakeProfileRequest(LineModeOf(mode), width, index, angle, line);
    TProfile p;
    try {
        ComputeProfile(doc.Picture, req, p, second ? &second->Picture : nullptr);
    } catch (const std::exception& e) {
        ShowMessage(e.what(), TMsgKind::Error);
        call.Refuse(e.what());
    }
    return p;
}

template <typename T>
py::array_t<double> DoubleArray(const std::vector<T>& v, int32_t count) {
    py::array_t<double> out(count);
    double* d = out.mutable_data();
    for (int32_t i = 0; i < count; ++i) d[i] = static_cast<double>(v[static_cast<size_t>(i)]);
    return out;
}

py::dict Profile(const TDocPtr& doc, const std::string& mode, int width, double index, double angle,
                 const TPointArg& from, const TPointArg& to, const TDocPtr& second) {
    TCall call;
    const TProfile p = LineOf(*doc, mode, width, index, angle, from, to, second.get(), call);
    py::dict out;
    // the columns of the profile's data file: x = i * sample step, the height(s)
    py::array_t<double> x(p.Count);
    for (int32_t i = 0; i < p.Count; ++i) x.mutable_data()[i] = static_cast<double>(i) * p.SampleStep;
    out["x"] = x;
    out["z"] = DoubleArray(p.Z, p.Count);
    out["z2"] = p.HasSecond ? py::object(DoubleArray(p.Z2, p.Count)) : py::object(py::none());
    out["count"] = p.Count;
    out["sample_step"] = static_cast<double>(p.SampleStep);
    out["x_label"] = ToPy(p.XLabel);
    out["z_unit"] = ToPy(doc->Picture.Para.PhysUnit);
    out["columns"] = DoubleArray(p.X, p.Count).attr("astype")("int32");
    out["rows"] = DoubleArray(p.Y, p.Count).attr("astype")("int32");
    call.Done();
    return out;
}

py::object Roughness(const TDocPtr& doc, const std::string& mode, int width, double index, double angle,
                     const TPointArg& from, const TPointArg& to) {
    TCall call;
    const TProfile p = LineOf(*doc, mode, width, index, angle, from, to, nullptr, call);
    py::object out = JsonToPy(RoughnessJson(doc->Picture, p));
    call.Done();
    return out;
}

py::object UnitCell(const TDocPtr& doc, const std::optional<std::vector<TPointArg>>& corners, int threshold,
                    const std::string& quantity, const std::optional<std::string>& axis, bool average) {
    TUnitCellOptions o;
    if (threshold < 0 || threshold > 100) throw py::value_error("threshold must be a whole number from 0 to 100");
    o.Threshold = threshold;
    if (corners) {
        if (corners->size() != 3) throw py::value_error("corners must be three points (x, y)");
        o.GivenCorners = true;
        const auto& c = *corners;
        o.Corners = {{c[0].first, c[0].second}, {c[1].first, c[1].second}, {c[2].first, c[2].second}};
    }
    if (!UnitCellQuantityOf(quantity, o.Quantity))
        throw py::value_error("quantity must be one of a, b, phi, ax, ay, bx, by");
    o.QuantityName = quantity;
    o.Axis = o.Quantity == TLatticeQuantity::Ay || o.Quantity == TLatticeQuantity::By ? TPlotAxis::Y : TPlotAxis::X;
    if (axis) {
        if (*axis != "x" && *axis != "y") throw py::value_error("axis must be \"x\" or \"y\"");
        o.Axis = *axis == "x" ? TPlotAxis::X : TPlotAxis::Y;
    }
    o.Average = average;
    TCall call;
    nlohmann::ordered_json j;
    TQTVPicture cell;
    try {
        if (!UnitCellJson(*doc, o, j, cell)) call.Refuse("the unit cell could not be found");
    } catch (const TRefused&) {
        throw;
    } catch (const std::exception& e) {
        ShowMessage(e.what(), TMsgKind::Error);
        call.Refuse(e.what());
    }
    py::object out = JsonToPy(j);
    call.Done();
    return out;
}

}  // namespace

PYBIND11_MODULE(_morvane, m) {
    m.doc() = "Morvane: height images of scanning probe microscopes (the model behind morvane and morvane-cli)";
    SetDecimalSeparator('.');
    SetOperandLoader(LoadOneChannel);

    ErrorType() = (new py::exception<TRefused>(m, "Error"))->ptr();
    struct TWarning {};
    WarningType() = (new py::exception<TWarning>(m, "Warning", PyExc_UserWarning))->ptr();
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const TRefused& r) {
            py::list messages;
            std::string text;
            for (const std::string& t : r.Messages) {
                messages.append(ToPy(t));
                text += (text.empty() ? "" : "\n") + Latin1ToStr(t);
            }
            py::object exc = ErrorType()(text);
            exc.attr("messages") = messages;
            PyErr_SetObject(ErrorType().ptr(), exc.ptr());
        }
    });
    // Error and Warning carry Latin-1 texts decoded as they are shown

    py::class_<TImageDoc, TDocPtr> image(m, "Image",
        "One height image: the samples with their scan ranges, units, caption and scan information.");
    image
        .def(py::init([](const py::array& a, std::optional<double> xRange, std::optional<double> yRange,
                         const py::str& xUnit, const py::str& yUnit, const py::str& zUnit, const py::str& caption,
                         const std::optional<std::vector<py::str>>& info) {
                 TDocPtr d = DocFromArray(a);
                 TScanPara& p = d->Picture.Para;
                 p.XScanRange = xRange ? *xRange : d->Picture.Cols;
                 p.YScanRange = yRange ? *yRange : d->Picture.Rows;
                 p.XPhysUnit = FromPy(xUnit, "x_unit");
                 p.YPhysUnit = FromPy(yUnit, "y_unit");
                 p.PhysUnit = FromPy(zUnit, "z_unit");
                 d->CaptionTag = FromPy(caption, "caption");
                 if (info)
                     for (const py::str& l : *info) d->ScanInfo.push_back(FromPy(l, "info"));
                 return d;
             }),
             py::arg("array"), py::kw_only(), py::arg("x_range") = std::nullopt, py::arg("y_range") = std::nullopt,
             py::arg("x_unit") = "nm", py::arg("y_unit") = "nm", py::arg("z_unit") = "nm", py::arg("caption") = "",
             py::arg("info") = std::nullopt,
             "A new image holding a copy of a 2-D array (rows, cols; row 0 at the bottom). The scan ranges "
             "default to one unit per sample.")
        .def_property("data", [](const TDocPtr& d) { return DataView(d); },
                      [](const TDocPtr& d, const py::array& a) {
                          auto arr = py::array_t<float, py::array::c_style | py::array::forcecast>::ensure(a);
                          TQTVPicture& pic = d->Picture;
                          if (!arr || arr.ndim() != 2 || arr.shape(0) != pic.Rows || arr.shape(1) != pic.Cols)
                              throw py::value_error("data: the new samples must have the image's shape (" +
                                                    std::to_string(pic.Rows) + ", " + std::to_string(pic.Cols) +
                                                    "); make a new Image for another size");
                          if (pic.HasData()) {
                              Touch(d);
                              std::memmove(pic.Data.Block(), arr.data(),
                                           static_cast<size_t>(pic.Rows) * static_cast<size_t>(pic.Cols) * sizeof(float));
                          }
                      },
                      "the samples, float32 of shape (rows, cols), row 0 at the bottom: a view on the image, "
                      "not a copy (numpy.array(image.data) copies)")
        .def("__array__", [](const TDocPtr& d, py::object dtype, py::object copy) {
                 py::object view = DataView(d);
                 if (!dtype.is_none()) return view.attr("astype")(dtype);  // a copy anyway
                 if (!copy.is_none() && copy.cast<bool>()) return view.attr("copy")();
                 return view;
             }, py::arg("dtype") = py::none(), py::arg("copy") = py::none())
        .def_property_readonly("rows", [](const TImageDoc& d) { return d.Picture.Rows; })
        .def_property_readonly("cols", [](const TImageDoc& d) { return d.Picture.Cols; })
        .def_property_readonly("shape", [](const TImageDoc& d) { return py::make_tuple(d.Picture.Rows, d.Picture.Cols); })
        .def_property("caption", [](const TImageDoc& d) { return ToPy(d.CaptionTag); },
                      [](TImageDoc& d, const py::str& s) { d.CaptionTag = FromPy(s, "caption"); })
        .def_property("title", [](const TImageDoc& d) { return ToPy(d.Title); },
                      [](TImageDoc& d, const py::str& s) { d.Title = FromPy(s, "title"); },
                      "the window title (\"file\" or \"file - caption\")")
        .def_property_readonly("file_name", [](const TImageDoc& d) { return ToPy(d.FileName); },
                               "the data file the image came from")
        .def_property("x_range", [](const TImageDoc& d) { return d.Picture.Para.XScanRange; },
                      [](TImageDoc& d, double v) { d.Picture.Para.XScanRange = v; })
        .def_property("y_range", [](const TImageDoc& d) { return d.Picture.Para.YScanRange; },
                      [](TImageDoc& d, double v) { d.Picture.Para.YScanRange = v; })
        .def_property("x_unit", [](const TImageDoc& d) { return ToPy(d.Picture.Para.XPhysUnit); },
                      [](TImageDoc& d, const py::str& s) { d.Picture.Para.XPhysUnit = FromPy(s, "x_unit"); })
        .def_property("y_unit", [](const TImageDoc& d) { return ToPy(d.Picture.Para.YPhysUnit); },
                      [](TImageDoc& d, const py::str& s) { d.Picture.Para.YPhysUnit = FromPy(s, "y_unit"); })
        .def_property("z_unit", [](const TImageDoc& d) { return ToPy(d.Picture.Para.PhysUnit); },
                      [](TImageDoc& d, const py::str& s) { d.Picture.Para.PhysUnit = FromPy(s, "z_unit"); })
        .def_property_readonly("scale", [](const TImageDoc& d) { return d.Picture.Para.Scale; })
        .def_property_readonly("offset", [](const TImageDoc& d) { return d.Picture.Para.Offset; })
        .def_property_readonly("min", [](TImageDoc& d) { CurrentRange(d.Picture); return static_cast<double>(d.Picture.Min); },
                               "the lower end of the colour range (the smallest sample unless the range was fixed)")
        .def_property_readonly("max", [](TImageDoc& d) { CurrentRange(d.Picture); return static_cast<double>(d.Picture.Max); },
                               "the upper end of the colour range")
        .def_property("info", [](const TImageDoc& d) { return InfoLines(d); },
                      [](TImageDoc& d, const std::vector<py::str>& lines) {
                          std::vector<std::string> info;
                          for (const py::str& l : lines) info.push_back(FromPy(l, "info"));
                          d.ScanInfo = std::move(info);
                      },
                      "the scan-information lines (the parameter text of the source file)")
        .def_property_readonly("history", [](const TImageDoc& d) {
                 std::vector<py::str> out;
                 for (const std::string& e : d.History) out.push_back(ToPy(e));
                 return out;
             },
             "the processing history: one operation text a step (morvane-cli process syntax), from the "
             "file's parameter text and every operation applied since")
        .def("_apply", &ApplyInPlace, py::arg("ops"))
        .def("copy", [](const TImageDoc& d) { return CopyDoc(d); }, "an independent copy")
        .def("__copy__", [](const TImageDoc& d) { return CopyDoc(d); })
        .def("__deepcopy__", [](const TImageDoc& d, py::dict) { return CopyDoc(d); }, py::arg("memo"))
        .def("save", &Save, py::arg("path"), py::kw_only(), py::arg("data") = "int", py::arg("palette") = std::nullopt,
             "Writes the image, the writer chosen by the extension as morvane-cli convert does: .txt native "
             "(data file .int, or .sin with data=\"sin\"), .dat ASCII table, .stl mesh, .bmp, .jpg, .gwy and .gsf "
             "(Gwyddion, never replacing a file); "
             "palette: a palette file for .bmp and .jpg")
        .def("_png", &Png, py::arg("zbar") = false)
        .def_property_readonly("palette", &PaletteArray, "the 256 palette colours as a (256, 3) uint8 array")
        .def("__repr__", [](const TImageDoc& d) {
            return py::str("<morvane.Image {!r} {}x{} {} x {} {}>")
                .format(ToPy(d.CaptionTag), d.Picture.Cols, d.Picture.Rows, d.Picture.Para.XScanRange,
                        d.Picture.Para.YScanRange, ToPy(d.Picture.Para.XPhysUnit));
        });

    m.def("_open", &Open, py::arg("path"), py::arg("spectroscopy") = true, py::arg("channel") = 0);
    m.def("_process", &Process, py::arg("image"), py::arg("ops"));
    m.def("_process_with_operand", &ProcessWithOperand, py::arg("image"), py::arg("op"), py::arg("other"));
    m.def("operations", [] {
        std::vector<std::tuple<std::string, std::string, std::string>> out;
        for (const TOperationDef& d : OperationTable()) out.emplace_back(d.Name, d.Syntax, d.Description);
        return out;
    }, "the operation table: (name, syntax, description) of every operation process() knows");
    m.def("_operation_table", [] {
        py::list out;
        for (const TOperationDef& d : OperationTable()) {
            py::list params;
            for (const TOperationParam& p : d.Params)
                params.append(py::make_tuple(p.Name, p.Type, p.Default ? py::object(py::str(p.Default)) : py::object(py::none()),
                                             p.Word ? py::object(py::str(p.Word)) : py::object(py::none())));
            out.append(py::make_tuple(d.Name, d.Syntax, d.Description, params,
                                      d.Bare ? py::object(py::str(d.Bare)) : py::object(py::none())));
        }
        return out;
    }, "(name, syntax, description, [(parameter, type, default or None, word or None)], text without "
       "parameters or None) of every operation");

    m.def("_batch_file", &BatchFile, py::arg("input"), py::arg("out_dir"), py::arg("ops"), py::arg("ext"),
          py::arg("data"), py::arg("report") = nullptr, py::arg("index") = 0);
    m.def("_batch_output_name", [](const std::filesystem::path& in, const std::filesystem::path& outDir,
                                   const std::string& ext) {
        return py::bytes(BatchOutputName(PathBytes(in), PathBytes(outDir), ext));
    }, py::arg("input"), py::arg("out_dir"), py::arg("ext"));
    m.def("_check_ops", [](const std::vector<std::string>& ops) { ParseAll(ops); }, py::arg("ops"));
    m.def("_read_ops", [](const std::filesystem::path& path) {
        std::vector<std::string> ops;
        if (!ReadOperationsFile(PathBytes(path), ops)) throw TRefused{{"cannot read " + PathBytes(path)}};
        std::vector<py::bytes> out(ops.begin(), ops.end());
        return out;
    }, py::arg("path"));

    m.def("set_threads", [](int n) {
        if (n < 0) throw py::value_error("set_threads: n must be 0 (every usable core) or more");
        SetThreadCount(n);
    }, py::arg("n"), "threads the operations use: n, or every usable core for 0 (results never depend on it)");
    m.def("threads", &ThreadCount, "threads the operations use");
    py::class_<TPyReport>(m, "_Report")
        .def(py::init<const std::filesystem::path&>(), py::arg("out_dir"))
        .def_property_readonly("path", &TPyReport::Path)
        .def("add", &TPyReport::Add, py::arg("index"), py::arg("input"), py::arg("output"), py::arg("in_image"),
             py::arg("out_image"), py::arg("ops"), py::arg("message"))
        .def("finish", &TPyReport::Finish, py::arg("inputs"), py::arg("outputs"));

    m.def("_profile", &Profile, py::arg("image"), py::arg("mode"), py::arg("width"), py::arg("index"),
          py::arg("angle"), py::arg("from_"), py::arg("to"), py::arg("second"));
    m.def("_roughness", &Roughness, py::arg("image"), py::arg("mode"), py::arg("width"), py::arg("index"),
          py::arg("angle"), py::arg("from_"), py::arg("to"));
    m.def("_unitcell", &UnitCell, py::arg("image"), py::arg("corners"), py::arg("threshold"), py::arg("quantity"),
          py::arg("axis"), py::arg("average"));
}
