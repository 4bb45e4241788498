#include "frontend/Output.h"

#include "core/Text.h"
#include "formats/Export.h"
#include "formats/FieldFiles.h"
#include "formats/ImageWriters.h"
#include "formats/LoadFiles.h"
#include "frontend/Input.h"

namespace {
constexpr const char* Known = "(known: .txt, .dat, .stl, .bmp, .jpg, .gwy, .gsf)";
}

TOutKind OutKindOf(const std::string& path)
{
    const std::string ext = LowerAscii(ExtractFileExt(path));
    if (ext == ".txt") return TOutKind::Native;
    if (ext == ".dat") return TOutKind::Ascii;
    if (ext == ".stl") return TOutKind::Stl;
    if (ext == ".bmp") return TOutKind::Bitmap;
    if (ext == ".jpg" || ext == ".jpeg") return TOutKind::Jpeg;
    if (ext == ".gwy") return TOutKind::Gwy;
    if (ext == ".gsf") return TOutKind::Gsf;
    return TOutKind::Unknown;
}

TOutKind CheckedOutKind(const std::string& path, std::string& refusal)
{
    const TOutKind kind = OutKindOf(path);
    const std::string ext = ExtractFileExt(path);
    if (kind == TOutKind::Unknown) {
        refusal = "unknown output type \"" + ext + "\" " + Known;
        return kind;
    }
    // The open command knows native files and bitmaps by ".txt" and ".bmp" in lower
    // case only: a file written under another spelling could not be opened again.
    if ((kind == TOutKind::Native && ext != ".txt") || (kind == TOutKind::Bitmap && ext != ".bmp") ||
        (kind == TOutKind::Gwy && ext != ".gwy") || (kind == TOutKind::Gsf && ext != ".gsf")) {
        refusal = "output \"" + PathToUtf8(ExtractFileName(path)) + "\" could not be opened again: write " +
                  (kind == TOutKind::Native   ? std::string("native files as .txt")
                   : kind == TOutKind::Bitmap ? std::string("bitmaps as .bmp")
                                              : "Gwyddion files as " + LowerAscii(ext)) +
                  " (known: .txt, .dat, .stl, .bmp, .jpg, .gwy, .gsf; .txt, .bmp, .gwy and .gsf in lower case)";
        return TOutKind::Unknown;
    }
    return kind;
}

bool WriteOutput(TImageDoc& doc, const std::string& path, TOutKind kind, TNativeKind dataKind)
{
    switch (kind) {
    case TOutKind::Native: return WriteNative(doc, path, dataKind);
    case TOutKind::Ascii: WriteFileBytes(path, BuildAsciiTable(doc.Picture)); return true;
    case TOutKind::Stl: WriteStlFile(path, doc.Picture); return true;
    case TOutKind::Bitmap: WriteBitmapFile(doc.Picture, path); return true;
    case TOutKind::Jpeg: WriteJpegFile(doc.Picture, path, 90); return true;
    case TOutKind::Gwy: return WriteGwy({&doc}, path);
    case TOutKind::Gsf: return WriteGsf(doc, path);
    case TOutKind::Unknown: break;
    }
    return false;
}

bool WriteOutput(const std::vector<TImageDoc*>& docs, const std::string& path, TOutKind kind, TNativeKind dataKind)
{
    if (kind == TOutKind::Gwy) return WriteGwy(std::vector<const TImageDoc*>(docs.begin(), docs.end()), path);
    return WriteOutput(*docs.front(), path, kind, dataKind);
}
