#pragma once
// ASCII table (.dat) and binary STL (.StL) export of an image, built in memory, or
// for the STL also written to its file block by block.
#include <string>

#include "core/Picture.h"
#include "formats/NativeWriter.h"

// One line per row (row 0 first), samples in the shortest form separated by tabs,
// lines ended by CR LF.
std::string BuildAsciiTable(const TQTVPicture& pic);
// Binary STL: "Velkore StL file" header, (YPixel-1)*(XPixel-1)*2 triangles.
std::string BuildStl(const TQTVPicture& pic);
// The same bytes handed to put in blocks of about blockBytes (whole rows of cells), so
// that the mesh is never held whole.
void StreamStl(const TQTVPicture& pic, const TBlockSink& put, size_t blockBytes = 16u << 20);
// The STL file of pic, written block by block to a temporary file beside path and
// then moved into place; throws EInOutError on failure.
void WriteStlFile(const std::string& path, const TQTVPicture& pic);
// Writes bytes to path in one call; throws EInOutError on failure.
void WriteFileBytes(const std::string& path, const std::string& bytes);
