#pragma once
// ASCII table (.dat) and binary STL (.StL) export of an image, each built in memory.
#include <string>

#include "core/Picture.h"

// One line per row (row 0 first), samples in the shortest form separated by tabs,
// lines ended by CR LF.
std::string BuildAsciiTable(const TQTVPicture& pic);
// Binary STL: "Velkore StL file" header, (YPixel-1)*(XPixel-1)*2 triangles.
std::string BuildStl(const TQTVPicture& pic);
// Writes bytes to path in one call; throws EInOutError on failure.
void WriteFileBytes(const std::string& path, const std::string& bytes);
