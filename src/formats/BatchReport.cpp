#include "formats/BatchReport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <limits>

#include "analysis/Roughness.h"
#include "core/Numbers.h"
#include "formats/ImageWriters.h"
#include "formats/NativeWriter.h"
#include "core/Text.h"

namespace {

std::string Escaped(const std::string& s)
{
    std::string out;
    for (const char c : s) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out.push_back(c);
    }
    return out;
}

std::string Unescaped(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out.push_back(s[i]);
            continue;
        }
        const char n = s[++i];
        out.push_back(n == 'n' ? '\n' : n == 'r' ? '\r' : n);
    }
    return out;
}

std::string Exact(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// A file of the report's own folder (no sync to the disk: a lost one costs only a
// picture), made whole before it gets its name as every output is. The folder is the
// report's alone, so the name is free; a name taken all the same is left alone.
bool WriteOwnFile(const std::string& path, const std::string& bytes)
{
    try {
        return CommitFile(path, bytes, false);
    } catch (const EInOutError&) {
        return false;
    }
}

// Text for HTML content and attribute values.
std::string Html(const std::string& s)
{
    std::string out;
    for (const char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A figure as the statistics box shows it: general format, 5 digits.
std::string Figure(double v) { return FormatGeneral(v, 5); }

void ImageFields(std::string& s, const char* prefix, const TReportImage& im)
{
    if (!im.Present) return;
    const std::string p(prefix);
    s += p + "size=" + std::to_string(im.Cols) + " " + std::to_string(im.Rows) + "\n";
    s += p + "range=" + Exact(im.XRange) + " " + Exact(im.YRange) + "\n";
    s += p + "xunit=" + Escaped(im.XUnit) + "\n" + p + "yunit=" + Escaped(im.YUnit) + "\n" + p + "zunit=" +
         Escaped(im.ZUnit) + "\n";
    if (im.HasStats)
        s += p + "stats=" + Exact(im.Min) + " " + Exact(im.Max) + " " + Exact(im.Mean) + " " + Exact(im.SD) + "\n";
}

bool ImageField(const std::string& key, const std::string& value, TReportImage& im)
{
    im.Present = true;
    if (key == "size") return std::sscanf(value.c_str(), "%d %d", &im.Cols, &im.Rows) == 2;
    if (key == "range") return std::sscanf(value.c_str(), "%lf %lf", &im.XRange, &im.YRange) == 2;
    if (key == "xunit") im.XUnit = Unescaped(value);
    else if (key == "yunit") im.YUnit = Unescaped(value);
    else if (key == "zunit") im.ZUnit = Unescaped(value);
    else if (key == "stats")
        return im.HasStats = std::sscanf(value.c_str(), "%lf %lf %lf %lf", &im.Min, &im.Max, &im.Mean, &im.SD) == 4;
    else return false;
    return true;
}

std::string ImageCell(const TReportImage& im)
{
    if (!im.Present) return "<td class=\"image\"></td>";
    char size[64];
    std::snprintf(size, sizeof size, "%d &times; %d", im.Cols, im.Rows);
    return "<td class=\"image\">" + std::string(size) + " px<br>" + Html(FormatShortest(im.XRange) + " " + im.XUnit) + " &times; " +
           Html(FormatShortest(im.YRange) + " " + im.YUnit) + "<br>z: " + Html(im.ZUnit) + "</td>";
}

std::string Thumb(const TReportPlace& place, size_t i, bool output, bool present)
{
    if (!present) return "<td class=\"thumb\"></td>";
    const std::string name = place.ThumbName(i, output);
    return "<td class=\"thumb\"><a href=\"" + Html(name) + "\"><img src=\"" + Html(name) + "\" alt=\"" +
           (output ? "output" : "input") + "\"></a></td>";
}

const char* Style = R"(<style>
body { font-family: sans-serif; margin: 1.5em; color: #222; }
h1 { font-size: 1.4em; margin-bottom: 0.2em; }
p.summary { margin-top: 0; }
table { border-collapse: collapse; }
th, td { border: 1px solid #bbb; padding: 3px 5px; vertical-align: top; text-align: left; }
th { background: #eee; }
table { font-size: 13px; }
td.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
td.image { white-space: nowrap; }
td.thumb img { display: block; max-width: 128px; max-height: 128px; image-rendering: pixelated; }
td.ops { font-family: monospace; white-space: pre-line; }
tr.failed td { background: #fff4f4; }
.message { color: #c00000; font-weight: bold; white-space: pre-line; }
button { margin: 0.5em 0 1em 0; }
</style>
)";

const char* Script = R"(<script>
function morvaneOrder(failuresFirst) {
  var body = document.getElementById('rows');
  var rows = Array.prototype.slice.call(body.rows);
  rows.sort(function (a, b) {
    if (failuresFirst) {
      var fa = a.classList.contains('failed') ? 0 : 1, fb = b.classList.contains('failed') ? 0 : 1;
      if (fa !== fb) return fa - fb;
    }
    return a.dataset.index - b.dataset.index;
  });
  rows.forEach(function (r) { body.appendChild(r); });
  document.getElementById('order').textContent = failuresFirst ? 'Input order' : 'Failures first';
  document.getElementById('order').onclick = function () { morvaneOrder(!failuresFirst); };
}
</script>
)";

}  // namespace

TReportImage DescribeImage(const TQTVPicture& pic, bool figures)
{
    TReportImage im;
    im.Present = true;
    im.Cols = pic.Cols;
    im.Rows = pic.Rows;
    im.XRange = pic.Para.XScanRange;
    im.YRange = pic.Para.YScanRange;
    im.XUnit = Latin1ToUtf8(pic.Para.XPhysUnit);
    im.YUnit = Latin1ToUtf8(pic.Para.YPhysUnit);
    im.ZUnit = Latin1ToUtf8(pic.Para.PhysUnit);
    if (!figures) return im;
    const TImageStats stats = ImageStatistics(pic);
    if (!stats.Valid) return im;
    float mn = std::numeric_limits<float>::infinity(), mx = -std::numeric_limits<float>::infinity();
    WidenRange(pic.Data.Block(), static_cast<size_t>(pic.Rows) * static_cast<size_t>(pic.Cols), mn, mx);
    im.HasStats = true;
    im.Min = mn;
    im.Max = mx;
    im.Mean = stats.Mean;
    im.SD = stats.SD;
    return im;
}

std::string ThumbnailBytes(const TQTVPicture& pic)
{
    try {
        return BuildThumbnailPng(pic, ReportThumbSide);
    } catch (const std::exception&) {
        return {};  // the row goes without this picture
    }
}

bool WriteThumbnail(const std::string& path, const std::string& png)
{
    return !png.empty() && WriteOwnFile(path, png);
}

void RecordImage(TReportRow& row, const TQTVPicture& pic, bool output, const std::string& thumbPath)
{
    (output ? row.Out : row.In) = DescribeImage(pic, output);
    (output ? row.OutThumb : row.InThumb) = WriteThumbnail(thumbPath, ThumbnailBytes(pic));
}

bool WriteReportRow(const TReportPlace& place, size_t i, const TReportRow& row)
{
    return WriteOwnFile(place.RowPath(i), RowText(row));
}

std::vector<TReportRow> CollectRows(const TReportPlace& place, const std::vector<std::string>& inputs,
                                    const std::vector<std::string>& outputs,
                                    const std::vector<std::string>& missing,
                                    std::vector<std::optional<TReportRow>> held)
{
    std::vector<TReportRow> rows(inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i) {
        TReportRow& row = rows[i];
        if (i < held.size() && held[i]) {
            row = std::move(*held[i]);
        } else {
            const std::string path = place.RowPath(i);
            std::ifstream f(path, std::ios::binary);
            std::ostringstream text;
            if (f) {
                text << f.rdbuf();
                f.close();
                ::unlink(path.c_str());
            }
            if (!ParseRowText(text.str(), row)) {
                row = TReportRow{};
                row.Message = i < missing.size() && !missing[i].empty() ? missing[i] : "not processed";
            }
        }
        row.Input = inputs[i];
        row.Output = i < outputs.size() ? outputs[i] : std::string();
    }
    return rows;
}

std::string RowText(const TReportRow& row)
{
    std::string s = "input=" + Escaped(row.Input) + "\noutput=" + Escaped(row.Output) + "\n";
    s += std::string("ok=") + (row.Ok ? "1" : "0") + "\n";
    s += "message=" + Escaped(row.Message) + "\n";
    for (const std::string& op : row.Ops) s += "op=" + Escaped(op) + "\n";
    s += std::string("thumbs=") + (row.InThumb ? "1" : "0") + (row.OutThumb ? "1" : "0") + "\n";
    ImageFields(s, "in.", row.In);
    ImageFields(s, "out.", row.Out);
    return s;
}

bool ParseRowText(const std::string& text, TReportRow& row)
{
    row = TReportRow{};
    size_t at = 0;
    bool sawOk = false;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) return false;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "input") row.Input = Unescaped(value);
        else if (key == "output") row.Output = Unescaped(value);
        else if (key == "ok") row.Ok = value == "1", sawOk = true;
        else if (key == "message") row.Message = Unescaped(value);
        else if (key == "op") row.Ops.push_back(Unescaped(value));
        else if (key == "thumbs" && value.size() == 2) row.InThumb = value[0] == '1', row.OutThumb = value[1] == '1';
        else if (key.rfind("in.", 0) == 0) { if (!ImageField(key.substr(3), value, row.In)) return false; }
        else if (key.rfind("out.", 0) == 0) { if (!ImageField(key.substr(4), value, row.Out)) return false; }
        else return false;
    }
    return sawOk;
}

bool TReportPlace::Reserve(const std::string& dir, std::string& error)
{
    dir_ = dir.empty() ? "." : dir;
    if (dir_.back() != '/') dir_ += '/';
    for (int n = 1; n <= 9999; ++n) {
        const std::string stem = n == 1 ? "report" : "report-" + std::to_string(n);
        struct stat st {};
        if (::lstat((dir_ + stem + ".html").c_str(), &st) == 0) continue;
        if (::mkdir((dir_ + stem + "_files").c_str(), 0777) != 0) {
            if (errno == EEXIST) continue;
            error = "cannot make " + dir_ + stem + "_files: " + std::strerror(errno);
            return false;
        }
        html_ = dir_ + stem + ".html";
        folder_ = stem + "_files";
        return true;
    }
    error = "no free report name in " + dir_;
    return false;
}

std::string TReportPlace::ThumbName(size_t i, bool output) const
{
    char name[48];
    std::snprintf(name, sizeof name, "/%04zu-%s.png", i + 1, output ? "out" : "in");
    return folder_ + name;
}

std::string TReportPlace::ThumbPath(size_t i, bool output) const { return dir_ + ThumbName(i, output); }

std::string TReportPlace::RowPath(size_t i) const
{
    return dir_ + folder_ + "/" + std::to_string(i + 1) + ".row";
}

std::string ReportHtml(const std::vector<TReportRow>& rows, const TReportPlace& place)
{
    size_t failed = 0;
    for (const TReportRow& r : rows) failed += r.Ok ? 0 : 1;
    std::string s = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                    "<title>Morvane batch report</title>\n";
    s += Style;
    s += Script;
    s += "</head>\n<body>\n<h1>Morvane batch report</h1>\n<p class=\"summary\">" + std::to_string(rows.size()) +
         " files, " + std::to_string(rows.size() - failed) + " written, <span" +
         (failed ? " class=\"message\"" : "") + ">" + std::to_string(failed) + " failed</span>.</p>\n";
    s += "<button id=\"order\" type=\"button\" onclick=\"morvaneOrder(true)\">Failures first</button>\n";
    s += "<table>\n<thead><tr><th>#</th><th>Input</th><th>Output</th><th>File</th><th>Input image</th>"
         "<th>Output image</th><th>Min</th><th>Max</th><th>Mean</th><th>SD</th><th>Operations</th></tr></thead>\n"
         "<tbody id=\"rows\">\n";
    for (size_t i = 0; i < rows.size(); ++i) {
        const TReportRow& r = rows[i];
        s += "<tr class=\"" + std::string(r.Ok ? "ok" : "failed") + "\" data-index=\"" + std::to_string(i + 1) + "\"";
        if (r.Out.HasStats)
            s += " data-min=\"" + Exact(r.Out.Min) + "\" data-max=\"" + Exact(r.Out.Max) + "\" data-mean=\"" +
                 Exact(r.Out.Mean) + "\" data-sd=\"" + Exact(r.Out.SD) + "\"";
        s += ">\n<td class=\"num\">" + std::to_string(i + 1) + "</td>";
        s += Thumb(place, i, false, r.InThumb) + Thumb(place, i, true, r.OutThumb);
        s += "<td><span class=\"input\">" + Html(FileNameOf(r.Input)) + "</span><br>&rarr; <span class=\"output\">" +
             Html(FileNameOf(r.Output)) + "</span>";
        if (!r.Ok) s += "<div class=\"message\">" + Html(r.Message.empty() ? "failed" : r.Message) + "</div>";
        s += "</td>" + ImageCell(r.In) + ImageCell(r.Out);
        if (r.Out.HasStats) {
            const std::string unit = " " + Html(r.Out.ZUnit);
            for (const double v : {r.Out.Min, r.Out.Max, r.Out.Mean, r.Out.SD})
                s += "<td class=\"num\">" + Html(Figure(v)) + unit + "</td>";
        } else {
            s += "<td></td><td></td><td></td><td></td>";
        }
        s += "<td class=\"ops\">";
        for (size_t k = 0; k < r.Ops.size(); ++k) s += (k ? "\n" : "") + Html(r.Ops[k]);
        s += "</td>\n</tr>\n";
    }
    s += "</tbody>\n</table>\n</body>\n</html>\n";
    return s;
}

bool WriteReportHtml(const TReportPlace& place, const std::vector<TReportRow>& rows, std::string& error)
{
    const std::string page = ReportHtml(rows, place);
    const int fd = ::open(place.HtmlPath().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = "cannot write " + place.HtmlPath() + ": " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < page.size()) {
        const ssize_t n = ::write(fd, page.data() + done, page.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = "cannot write " + place.HtmlPath() + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) {
        error = "cannot write " + place.HtmlPath() + ": " + std::strerror(errno);
        return false;
    }
    return true;
}
