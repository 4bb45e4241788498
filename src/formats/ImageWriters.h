#pragma once
// Picture export of a rendered image: 8-bit Windows bitmap with the 256-entry palette,
// and JPEG (quality 90, colour, baseline).
#include <string>

#include "core/Picture.h"

// All of them use the record's rendered bitmap (lines top-down) with its current
// palette; a record whose bitmap is missing or does not match its size is rendered
// first (on a copy: the record itself is not changed). A record without samples or
// bitmap throws EInOutError.
std::string BuildBitmapFile(const TQTVPicture& pic);
std::string BuildJpegFile(const TQTVPicture& pic, int quality = 90);
// Write to a temporary file beside path and rename it into place, so an existing file
// is replaced only by a complete new one; throw EInOutError on failure.
void WriteBitmapFile(const TQTVPicture& pic, const std::string& path);
void WriteJpegFile(const TQTVPicture& pic, const std::string& path, int quality = 90);
