#pragma once
// What a reader fills for one image window: the record, the name of the file it came
// from, the channel caption and the scan-information lines (the parameter text of the
// source file). The desktop window and the command-line tool both build on it.
#include <string>
#include <vector>

#include "core/Picture.h"

struct TImageDoc {
    std::string FileName;                // file the image came from, no directory
    std::string Title;                   // window title ("file" or "file - caption")
    std::string CaptionTag;              // channel caption, written back as "Caption"
    std::vector<std::string> ScanInfo;   // scan-information lines
    // What changed the samples, range or geometry since the source file, one
    // operation text a step (the morvane-cli process syntax, Latin-1).
    std::vector<std::string> History;
    std::string SourcePath;              // file the image was read from, when known
    int SourceChannel = 0;               // its channel there (1-based; 0 unknown)
    // How many History entries that file already holds (a saved image read back):
    // the samples are the file's as long as History has no more.
    size_t HistoryInFile = 0;
    TQTVPicture Picture;

    // Sizes the record (SetSize) for a reader.
    virtual void CreateImage(int32_t cols, int32_t rows) { Picture.SetSize(cols, rows); }
    virtual ~TImageDoc() = default;
};

// Where a load puts its images. The desktop application creates a window per image;
// the command-line tool collects them.
class TLoadTarget {
public:
    virtual ~TLoadTarget() = default;
    // A new, empty document titled with fileName. May throw (for example EAbort
    // "Too many data!" after telling the user); the load then reports
    // "Error during loading!" and goes on with the next channel.
    virtual TImageDoc* NewDocument(const std::string& fileName) = 0;
    // The document is filled: render it, show it and make it the current one.
    virtual void Finished(TImageDoc* doc) = 0;
    // Loading the document failed: free it.
    virtual void Discard(TImageDoc* doc) = 0;
};
