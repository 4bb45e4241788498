#pragma once
// The open command shared by the application and the command-line tool: the file type
// by extension and the single-file and Omicron loads.
#include <string>

#include "core/ImageDoc.h"

enum class TFileKind { Unknown, Native, Burleigh, TopoMetrix, Bitmap, Omicron, Gwy, Gsf, Sxm };

// By the three characters after the last dot, compared case-sensitively: "bmp", "img"
// or "IMG", "par", "txt", any "?fp"; "gwy", "gsf", "sxm" (or in capitals).
TFileKind FileKindOf(const std::string& path);
const char* FileKindName(TFileKind kind);  // native, burleigh, topometrix, bitmap, omicron, gwy, gsf, sxm

// Bitmap, Burleigh, TopoMetrix: "File <name> not found!" when missing; else one
// document titled with the file name, filled by the reader; any failure discards it
// with "Error during loading!". Returns true when a document was finished.
// A reader that refuses the file (wrong Burleigh mark, not a bitmap, an impossible
// size) has already told the user and left the document without a grid: such a
// document is discarded without a second message.
// Gwyddion and Nanonis files go to LoadFieldFile.
bool LoadSingleFile(const std::string& path, TFileKind kind, TLoadTarget& target);
// Gwyddion (.gwy, .gsf) and Nanonis (.sxm) files: "File <name> not found!" when
// missing; a file that is not whole is refused with a message naming it and the
// problem, and nothing opens. Otherwise one document per image channel in file order
// (at most 256); a channel that cannot be read is told and skipped. Returns the number
// of documents finished.
int LoadFieldFile(const std::string& path, TFileKind kind, TLoadTarget& target);
// Omicron: one document per topographic channel and per spectroscopy point.
// Returns the number of documents finished.
int LoadOmicron(const std::string& path, TLoadTarget& target);

// ---- checks shared by the instrument readers
// True when a record can hold cols x rows samples (1..2053 each way). Otherwise the
// user is told ("Picture too small!" for an empty or negative size, "Picture too
// large! ..." above 2053) and false is returned; nothing is allocated. placed: the box
// goes through ShowMessageAt.
bool CheckPictureSize(long long cols, long long rows, bool placed = false);
// "File <name> is truncated: only <read> of <expected> samples read"
std::string TruncatedText(const std::string& name, long long read, long long expected);
