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

// PNG (24-bit colour) of the same picture, pixel for pixel what the bitmap shows.
std::string BuildPngFile(const TQTVPicture& pic);
void WritePngFile(const TQTVPicture& pic, const std::string& path);
// The picture as a window draws it into its square image area, maxSide pixels square
// at most (smaller images keep their larger side): each pixel shows the picture pixel
// under its centre.
std::string BuildThumbnailPng(const TQTVPicture& pic, int maxSide);
// The picture with its z bar as a window of client height `height` composes it (the
// square image at the top left, the bar in the palette's colours, top = last entry,
// with its black frame), on white. The bar's number labels need a font and are left
// to the windows.
std::string BuildComposedPng(const TQTVPicture& pic, int height);
