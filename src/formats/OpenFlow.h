#pragma once
// The open command shared by the application and the command-line tool: the file type
// by extension and the single-file and Omicron loads.
#include <string>

#include "core/ImageDoc.h"

enum class TFileKind { Unknown, Native, Burleigh, TopoMetrix, Bitmap, Omicron };

// By the three characters after the last dot, compared case-sensitively: "bmp", "img"
// or "IMG", "par", "txt", any "?fp".
TFileKind FileKindOf(const std::string& path);
const char* FileKindName(TFileKind kind);  // native, burleigh, topometrix, bitmap, omicron

// Bitmap, Burleigh, TopoMetrix: "File <name> not found!" when missing; else one
// document titled with the file name, filled by the reader; any failure discards it
// with "Error during loading!". Returns true when a document was finished.
bool LoadSingleFile(const std::string& path, TFileKind kind, TLoadTarget& target);
// Omicron: one document per topographic channel and per spectroscopy point.
// Returns the number of documents finished.
int LoadOmicron(const std::string& path, TLoadTarget& target);
