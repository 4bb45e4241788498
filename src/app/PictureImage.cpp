#include "app/PictureImage.h"

#include <cstring>

QVector<QRgb> PaletteTable(const TQTVPicture& pic)
{
    QVector<QRgb> table(256);
    for (int i = 0; i < 256; ++i) table[i] = pic.PaletteColor(i) | 0xFF000000u;
    return table;
}

QImage RenderedImage(const TQTVPicture& pic)
{
    const int w = pic.BitmapWidth, h = pic.BitmapHeight;
    if (w <= 0 || h <= 0 || pic.Bitmap.size() < static_cast<size_t>(w) * static_cast<size_t>(h)) return {};
    QImage img(w, h, QImage::Format_Indexed8);
    img.setColorTable(PaletteTable(pic));
    for (int y = 0; y < h; ++y)
        std::memcpy(img.scanLine(y), pic.Bitmap.data() + static_cast<size_t>(y) * static_cast<size_t>(w),
                    static_cast<size_t>(w));
    return img;
}

QImage MarkedImage(TQTVPicture& pic)
{
    const std::vector<uint32_t> px = pic.RenderMarked();
    QImage img(pic.BitmapWidth, pic.BitmapHeight, QImage::Format_ARGB32);
    if (px.size() < static_cast<size_t>(img.width()) * static_cast<size_t>(img.height())) return {};
    for (int y = 0; y < img.height(); ++y)
        std::memcpy(img.scanLine(y), px.data() + static_cast<size_t>(y) * img.width(),
                    static_cast<size_t>(img.width()) * 4);
    return img;
}
