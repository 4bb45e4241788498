#pragma once
// Saving one image as a native parameter file plus one data file.
#include <functional>
#include <string>
#include <vector>

#include "core/ImageDoc.h"

enum class TNativeKind { Sin = 2, Int = 3 };  // the save dialog's filter positions

// Writes name (the parameter text, built from doc.ScanInfo) and the data file beside
// it. Refuses with "<name> already exists! Abort!" when either file exists. Returns
// true when both files were written. Each file is written under a temporary name and
// moved into place, so a failed save leaves no half file and replaces nothing.
bool WriteNative(const TImageDoc& doc, const std::string& name, TNativeKind kind);

// ---- pieces of the writer, shared with the demo scan

// True when the scan information holds a current-generation header the loader finds
// (a "Version" of 1.10, 1.11 or 1.12, then the range, unit and pixel-count keys in
// order, before any channel block). Without one the writer puts a complete header
// built from the record before the lines, so every saved file opens again.
bool HasCurrentHeader(const std::vector<std::string>& scanInfo);
// The text without line breaks and other control bytes (a value on one header line).
std::string OneLine(const std::string& text);

// The data file beside a parameter file: name up to and including the last "." of
// its file name, then "int" or "sin" (".int"/".sin" appended when the name has none).
std::string NativeDataFileName(const std::string& name, TNativeKind kind);

// .int data: the samples rounded to about one million steps over the colour range
// (Min..Max), rows from the top row down. WrittenScale restores the values
// (sample ~ stored integer * WrittenScale). ValuesOk is false when a sample was not
// a finite number (stored as 0, or clamped for infinities).
struct TIntData {
    std::string Bytes;
    float Factor = 1.0f;
    long double WrittenScale = 1.0L;
    bool ValuesOk = true;
};
TIntData EncodeIntData(const TQTVPicture& pic);
// .sin data: the 32-bit float samples, row 0 first.
std::string EncodeSinData(const TQTVPicture& pic);

// Writes bytes to a temporary file beside path and moves it to path. With
// replace == false an existing path is never touched (false, errno-free check by the
// caller's message). Throws EInOutError when the file cannot be written.
bool CommitFile(const std::string& path, const std::string& bytes, bool replace);
// The same with the bytes handed over block by block: source calls put for each block
// in order. What source throws leaves no file behind and is passed on.
using TBlockSink = std::function<void(const char* data, size_t size)>;
using TBlockSource = std::function<void(const TBlockSink& put)>;
bool CommitStreamed(const std::string& path, const TBlockSource& source, bool replace);
// The temporary file is an unnamed one where the system allows it (true, the default);
// false makes it a named one, as on systems without unnamed files (for tests).
extern bool UnnamedTempFiles;
