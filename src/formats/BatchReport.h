#pragma once
// The picture report of a batch: one self-contained HTML page with a row per input
// (thumbnails of the input and the output, sizes, ranges, units, the output's
// figures, the operations applied, or why the file failed), beside its thumbnails.
//
// A batch reserves the report's place first (report.html, else report-2.html, ...;
// the thumbnails in a folder of the same stem, NAME_files), then each file leaves its
// row there (a small text file, so that worker processes can hand rows on), and at
// the end the page is written from the rows in input order. An existing report or
// thumbnail folder is never replaced.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/Picture.h"

// Size, ranges, units (UTF-8) and figures of one image: the samples' smallest and
// largest values and their mean and population standard deviation, as the image
// statistics compute them (with figures; an input's row goes without).
struct TReportImage {
    bool Present = false;
    int32_t Cols = 0, Rows = 0;
    double XRange = 0.0, YRange = 0.0;
    std::string XUnit, YUnit, ZUnit;
    bool HasStats = false;
    double Min = 0.0, Max = 0.0, Mean = 0.0, SD = 0.0;
};

TReportImage DescribeImage(const TQTVPicture& pic, bool figures = true);

struct TReportRow {
    std::string Input, Output;     // file names as given (UTF-8)
    bool Ok = false;
    std::string Message;           // a failed file's messages (UTF-8)
    std::vector<std::string> Ops;  // the operations applied, in order (UTF-8)
    TReportImage In, Out;
    bool InThumb = false, OutThumb = false;  // the thumbnails were written
};

// A row as its text file holds it, and back (false for text that is no row).
std::string RowText(const TReportRow& row);
bool ParseRowText(const std::string& text, TReportRow& row);

// Thumbnails are at most this many pixels square.
constexpr int ReportThumbSide = 128;

class TReportPlace {
public:
    // Reserves the first free report name in dir (creating its thumbnail folder);
    // false, with the reason in error, when none can be had.
    bool Reserve(const std::string& dir, std::string& error);
    const std::string& HtmlPath() const { return html_; }
    // The thumbnail of input i (0-based), relative to the page, and its path.
    std::string ThumbName(size_t i, bool output) const;
    std::string ThumbPath(size_t i, bool output) const;
    // Where input i leaves its row.
    std::string RowPath(size_t i) const;

private:
    std::string dir_, html_, folder_;  // folder_: the thumbnail folder's name
};

// Describes pic as the row's input (without figures) or output and writes its thumbnail to thumbPath
// (a thumbnail that cannot be written leaves the row without it).
void RecordImage(TReportRow& row, const TQTVPicture& pic, bool output, const std::string& thumbPath);

// The two halves of writing a thumbnail, for a caller that writes it elsewhere: its
// PNG bytes (empty when it cannot be made), and the file (false when not written).
std::string ThumbnailBytes(const TQTVPicture& pic);
bool WriteThumbnail(const std::string& path, const std::string& png);

// Leaves input i's row in place (false when it cannot be written).
bool WriteReportRow(const TReportPlace& place, size_t i, const TReportRow& row);

// The rows of the batch in input order: held[i] where the batch's own process kept
// it, else the row file input i left (removed here); input i with neither failed with
// missing[i].
std::vector<TReportRow> CollectRows(const TReportPlace& place, const std::vector<std::string>& inputs,
                                    const std::vector<std::string>& outputs,
                                    const std::vector<std::string>& missing,
                                    std::vector<std::optional<TReportRow>> held = {});

// The page: rows in the given (input) order, a button that puts failed files first.
std::string ReportHtml(const std::vector<TReportRow>& rows, const TReportPlace& place);

// Writes the page to the reserved name without replacing any file there; false, with
// the reason in error, when it cannot be written.
bool WriteReportHtml(const TReportPlace& place, const std::vector<TReportRow>& rows, std::string& error);
