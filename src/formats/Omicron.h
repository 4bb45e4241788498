#pragma once
// Omicron parameter files (.par) with their 16-bit big-endian data files.
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "core/ImageDoc.h"

struct TScannerInfo {
    double FieldXSize = 0, FieldYSize = 0;  // nm
    double ImageSizeX = 0, ImageSizeY = 0;  // pixels
    double IncrementX = 0, IncrementY = 0, ScanAngle = 0, XOffset = 0, YOffset = 0;
};

struct TTopographicInfo {
    std::string FileName;
    char Direction = ' ';
    int32_t PixelsX = 0, PixelsY = 0;
    float MaxRaw = 0, MinRaw = 0, MaxPhys = 0, MinPhys = 0;
    std::string Unit;
    float Resolution = 0;
};

struct TSpectroscopicInfo {
    std::string FileName;
    char Direction = ' ';
    int32_t PointsX = 0, LinesY = 0;
    float Resolution = 0;
    int32_t PointCount = 0;
};

constexpr int MaxOmicronChannels = 8;

class TOmicron {
public:
    // Parses fileName and asks which kinds to load (through the message sink).
    // False when the file does not exist.
    bool Convert(const std::string& fileName);
    int Count(int kind) const;  // 0: topographic, 1: spectroscopic
    bool ReadTopographic(int i, TImageDoc& doc);
    bool OpenSpectroscopic(int i);
    bool ReadSpectroscopicMap(int i, TImageDoc& doc);
    void CloseStream();
    // Samples stored by the last ReadTopographic or ReadSpectroscopicMap; below the
    // picture's size when the data file ended early (the user has been told).
    int64_t LastSamplesRead = 0;

    TScannerInfo Scanner;
    TTopographicInfo Topo[MaxOmicronChannels + 1];      // 1..8
    TSpectroscopicInfo Spectro[MaxOmicronChannels + 1];  // 1..8
    std::string ParamText;  // the whole parameter file, for the scan information
    std::string DataFolder;

private:
    bool ReadSamples(const std::string& bytes, size_t& pos, const std::string& name, float resolution,
                     int32_t pixelsX, int32_t pixelsY, TImageDoc& doc);
    int topoCount_ = 0, spectroCount_ = 0;
    std::string stream_;  // the open spectroscopy data file
    size_t streamPos_ = 0;
    bool streamOpen_ = false;
};
