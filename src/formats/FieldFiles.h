#pragma once
// Interchange files of other SPM software: Gwyddion files (.gwy, a tree of serialized
// objects) and Gwyddion simple field files (.gsf), read and written, and Nanonis scans
// (.sxm), read.
//
// A reader first takes the whole file apart and describes every image it holds (size,
// units, where its samples lie and how they are stored); only a file that is whole is
// turned into documents. Files keep lengths in metres and currents in amperes; the
// record gets nm and nA (other units keep their base unit and value). The first stored
// row of a Gwyddion field is the top of the picture, which is record row Rows - 1.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/ImageDoc.h"

enum class TSampleCoding { Float64LE, Float32LE, Float32BE };

// One image a reader found in a file.
struct TFieldChannel {
    std::string Caption;          // Latin-1
    int64_t Cols = 0, Rows = 0;
    double XReal = 1.0, YReal = 1.0;  // lateral size in XYUnit
    std::string XYUnit, ZUnit;    // as the file names them (Latin-1)
    size_t DataAt = 0;            // offset of the first stored sample in the file
    TSampleCoding Coding = TSampleCoding::Float64LE;
    bool TopRowFirst = true;      // the first stored line is the top of the picture
    bool Mirrored = false;        // lines are stored right to left
    std::vector<std::string> ScanInfo;  // Latin-1
    std::vector<std::string> History;   // Latin-1
    std::string Problem;          // non-empty: this channel cannot be read (says why)
};

// A file read piece by piece: the readers look only at what they need and the samples
// are converted from small pieces, so nothing the size of the file is ever allocated.
class TFieldFile {
public:
    explicit TFieldFile(const std::string& path);  // only a regular file opens
    ~TFieldFile();
    TFieldFile(const TFieldFile&) = delete;
    TFieldFile& operator=(const TFieldFile&) = delete;
    bool IsOpen() const { return fd_ >= 0; }
    size_t Size() const { return size_; }
    // n bytes from pos; throws EInOutError when they cannot be read.
    void Read(size_t pos, void* dst, size_t n) const;
    // The bytes [pos, pos + n), n at most WindowSize, from a cached window; the caller
    // keeps within Size().
    static constexpr size_t WindowSize = 1 << 16;
    const char* Window(size_t pos, size_t n) const;
    // The first min(n, Size()) bytes.
    std::string Prefix(size_t n) const;
    // Where needle first occurs at or after from; std::string::npos when nowhere.
    size_t Find(const std::string& needle, size_t from) const;

private:
    int fd_ = -1;
    size_t size_ = 0;
    mutable std::vector<char> window_;
    mutable size_t windowAt_ = 0;
};

// The parse of a whole file. False after a message (error box) that names the file and
// what is wrong with it; channels that cannot be read carry their Problem. Read
// failures throw EInOutError.
bool ParseGwy(const std::string& name, const TFieldFile& file, std::vector<TFieldChannel>& out);
bool ParseGsf(const std::string& name, const TFieldFile& file, std::vector<TFieldChannel>& out);
bool ParseSxm(const std::string& name, const TFieldFile& file, std::vector<TFieldChannel>& out);

// Sizes the record of doc by the channel, converts its samples from the file (which
// must hold them; the parsers check) and sets the scan parameters, caption, title,
// scan information and history. fileName: the file's name without directory.
void FillFieldDoc(const TFieldChannel& ch, const TFieldFile& file, const std::string& fileName, TImageDoc& doc);

// ---- units
struct TUnitScale {
    std::string Unit;   // unit of the converted value
    double Factor = 1;  // converted value = value * Factor
};
// A unit of a file in the record: metres become nm, and for values (lateral == false)
// amperes become nA; any other unit stays as it is.
TUnitScale RecordUnit(const std::string& fileUnit, bool lateral);
// A unit of the record in a file, in base SI: nm, µm, Å -> m; pA, nA, µA -> A; mV -> V;
// any other unit as it is. Factor: value in the file = record value / Factor.
TUnitScale FileUnit(const std::string& recordUnit);

// ---- writers: each file is complete or not there; an existing file is never replaced
// ("<name> already exists! Abort!"). True when the file was written.
// Every document a GwyDataField /N/data (N from 0) with its caption as /N/data/title,
// the history and scan information in /N/meta.
std::string BuildGwy(const std::vector<const TImageDoc*>& docs);
bool WriteGwy(const std::vector<const TImageDoc*>& docs, const std::string& path);
std::string BuildGsf(const TImageDoc& doc);
bool WriteGsf(const TImageDoc& doc, const std::string& path);

// Keys of the history and scan-information entries in a Gwyddion metadata container
// and in a simple field header (which Gwyddion takes into the metadata as they are):
// the prefix and the entry's number (from 1).
extern const char* const FieldHistoryKey;   // "History "
extern const char* const FieldScanInfoKey;  // "Scan info "

// ---- helpers shared by the readers and writers of these files
// UTF-8 text of a file as Latin-1 (characters beyond Latin-1 become "?"; bytes that
// are no UTF-8 are taken as Latin-1). The other way: Latin1ToUtf8.
std::string FieldTextToLatin1(const std::string& utf8);
// A number of a text header ("." as decimal mark, whatever the locale; blanks around it
// allowed). False when the text is no finite number.
bool FieldNumber(const std::string& text, double& v);
// The shortest text that FieldNumber reads back as exactly v.
std::string FieldNumberText(double v);
// Named strings of a metadata container or header in the order given: the history and
// scan-information entries (prefix and number, in the order of their numbers) go to
// ch.History and ch.ScanInfo; every other one becomes a scan-information line
// "key: value".
void TakeFieldEntries(const std::vector<std::pair<std::string, std::string>>& entries, const char* historyKey,
                      const char* scanInfoKey, TFieldChannel& ch);
// The key of entry number (from 1) of count, the number padded to at least 3 digits.
std::string FieldEntryKey(const char* prefix, size_t number, size_t count);
// "" when a record can hold cols x rows samples; otherwise what is wrong.
std::string FieldSizeProblem(int64_t cols, int64_t rows);
// Writes a new file (complete, or nothing); an existing one is never replaced
// ("<path> already exists! Abort!"). Failures are told; false then.
bool CommitNewFile(const std::string& path, const std::string& bytes);
