#pragma once
// TLoadFiles: the loader of the native measurement format (a parameter text file plus
// one .int or .sin data file per channel) and of the single-file formats (Burleigh,
// TopoMetrix, Windows bitmap). One loader is created per open and lives until its
// channels are loaded.
#include <cstdint>
#include <string>
#include <vector>

#include "core/ImageDoc.h"
#include "core/Files.h"
#include "core/Picture.h"

constexpr int MaxChannels = 256;

class TLoadFiles {
public:
    explicit TLoadFiles(const std::string& path);

    // ---- native parameter file
    // Reads the parameter file: version, header and the channel list. Returns false
    // when the file does not exist ("File not found!"); otherwise true, with
    // Count() channels offered (none after a reported error). A pixel count that is
    // not an integer throws EConvertError (the open command ends, no dialog).
    bool ReadParamFile();
    int Count() const { return count_; }
    // Entry 0 is the parameter file's own name, entries 1..Count() the data files.
    const std::vector<std::string>& Files() const { return files_; }
    const std::string& Caption(int i) const;   // caption offered for entry i
    std::string DataPath(int i) const;          // Directory() + Files()[i]
    const std::string& Version() const { return version_; }
    bool OldGeneration() const { return version_ == "1" || version_ == "1.01"; }
    const std::string& Directory() const { return directory_; }  // with trailing '/'
    const std::string& FilePath() const { return filePath_; }
    const TScanPara& Para() const { return para_; }

    // Loads the channels whose checked[i] is true (index 1..Count(); checked[0] is
    // ignored; missing entries count as unchecked), the last channel first: one
    // document per channel from target, filled, then Finished (or Discarded with
    // "Error during loading!"). Unchecked entries are dropped from the lists.
    void LoadChecked(const std::vector<bool>& checked, TLoadTarget& target);
    // Reads channel index (1..Count()) into doc; the generation's variant.
    void ReadChannel(TImageDoc& doc, int index);
    std::string ChannelCaption;  // caption of the channel last read
    // Position in the parameter file's channel list (1-based, as first read) of the
    // channel LoadChecked is loading; 0 outside a load.
    int LoadingChannel() const { return loadingChannel_; }

    // ---- parameter-stream primitives
    void SetParamText(const std::string& bytes);  // for tests and the readers
    bool FindKey(const std::string& key);
    std::string ReadLine();
    double ReadFloat();
    // The conversion of ReadFloat on a text already read: either decimal mark; an
    // unreadable number is reported and gives 1.0.
    static double TextToFloat(const std::string& text);
    size_t Position() const { return pos_; }
    void SetPosition(size_t pos) { pos_ = pos < param_.size() ? pos : param_.size(); }

    // ---- single-file readers; each fills doc (sized through doc.CreateImage) and adds
    // its scan-information lines. Messages go to the message sink.
    void ReadBurleigh(TImageDoc& doc);
    void ReadTopoMetrix(TImageDoc& doc);
    void ReadBitmap(TImageDoc& doc);

private:
    void ReadCurrentHeader();
    void ReadOldHeader();
    void ReadChannelCurrent(TImageDoc& doc, int index);
    void ReadChannelOld(TImageDoc& doc, int index);
    // Reads "key ... : count"; false (after the message) when it is missing, 0 or
    // outside 1..2053.
    bool ReadPixelCount(const char* key, const char* axis, int32_t& value);
    void AddChannel(const std::string& name, const std::string& caption, size_t blockPos);
    class TDataFile;
    // Checks that the data file could be opened, sizes the record and gives it the
    // header's parameters.
    void OpenChannel(TImageDoc& doc, const std::string& name, TDataFile& data);
    // Reads the data file into the samples; false (after the message) when the file
    // was too short.
    bool FillSamples(TQTVPicture& pic, const std::string& name, TDataFile& data,
                     double intOffset);
    void AppendScanInfo(TImageDoc& doc);

    std::string filePath_;
    std::string directory_;
    std::vector<std::string> files_;
    std::vector<std::string> captions_;
    std::vector<size_t> blockPos_;   // per entry: position just after its file-name line
    std::vector<int> fileIndex_;     // per entry: its place in the list as first read
    int count_ = 0;
    int loadingChannel_ = 0;
    std::string version_;
    TScanPara para_;
    std::string param_;  // the whole parameter file
    size_t pos_ = 0;
};

