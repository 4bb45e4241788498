#pragma once
// Picture export of a rendered image: 8-bit Windows bitmap with the 256-entry palette,
// and JPEG (quality 90, colour, baseline).
#include <string>

#include "core/Picture.h"

// Both render pic first if it has no bitmap yet; throw EInOutError on write failure.
std::string BuildBitmapFile(const TQTVPicture& pic);
void WriteBitmapFile(const TQTVPicture& pic, const std::string& path);
void WriteJpegFile(const TQTVPicture& pic, const std::string& path, int quality = 90);
