#pragma once
// An image record's rendering as Qt pictures: the 8-bit bitmap through the record's
// palette, and the marked-samples view.
#include <QImage>
#include <QVector>

#include "core/Picture.h"

// The record's 256 palette colours, opaque.
QVector<QRgb> PaletteTable(const TQTVPicture& pic);
// The rendered bitmap (as the last Render left it) through the palette, 8-bit indexed;
// a null image when there is no complete bitmap.
QImage RenderedImage(const TQTVPicture& pic);
// The record rendered (Render) with its marked samples in green.
QImage MarkedImage(TQTVPicture& pic);
