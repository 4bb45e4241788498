// Gwyddion files: "GWYP", then one serialized GwyContainer. An object is its class name
// (NUL-terminated), the byte count of its components (32-bit little-endian) and the
// components; a component is its name, a type letter and the value:
//   b c  one byte          i  int32      q  int64      d  double
//   s    NUL-terminated    o  an object
//   C I Q D S O            arrays: an element count (32-bit), then the elements
// Image channels are the GwyDataField objects at /N/data; everything else the file may
// hold (masks, presentations, graphs, volume data) is stepped over by its size without
// being looked into, so hostile nesting costs nothing.
#include <bit>
#include <cstring>
#include <map>

#include <unistd.h>

#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/FieldFiles.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "core/Text.h"

namespace {

const char* const GwyMagic = "GWYP";
constexpr size_t MaxText = 16u << 20;

// A failure of the file's structure: what and where.
struct TGwyError {
    std::string What;
};

// Reads the serialized bytes within [pos, end); every size is checked against the
// bytes left before anything is taken.
class TGwyReader {
public:
    explicit TGwyReader(const TFieldFile& file) : f_(file) {}

    // A text; keep == false only steps over it. Texts of more than 16 MB are refused
    // rather than held.
    std::string Str(size_t& pos, size_t end, bool keep = true) const {
        std::string s;
        // short pieces first: names and texts are short, and the window holds them
        for (size_t at = pos, piece = 256; at < end; piece = std::min(piece * 2, TFieldFile::WindowSize)) {
            const size_t n = std::min(end - at, piece);
            const char* w = f_.Window(at, n);
            const void* nul = std::memchr(w, '\0', n);
            const size_t len = nul ? static_cast<size_t>(static_cast<const char*>(nul) - w) : n;
            if (keep) {
                if (s.size() + len > MaxText) Fail("a text at byte " + std::to_string(pos) + " is longer than 16 MB");
                s.append(w, len);
            }
            if (nul) {
                pos = at + len + 1;
                return s;
            }
            at += n;
        }
        Fail("a text runs past the end of its object at byte " + std::to_string(pos));
    }
    uint32_t U32(size_t& pos, size_t end) const {
        Need(pos, end, 4);
        uint32_t w;
        std::memcpy(&w, f_.Window(pos, 4), 4);
        if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap32(w);
        pos += 4;
        return w;
    }
    uint64_t U64(size_t& pos, size_t end) const {
        Need(pos, end, 8);
        uint64_t w;
        std::memcpy(&w, f_.Window(pos, 8), 8);
        if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
        pos += 8;
        return w;
    }
    char Type(size_t& pos, size_t end) const {
        Need(pos, end, 1);
        return *f_.Window(pos++, 1);
    }
    // An object's head: its class name; objEnd is where its components end.
    std::string Object(size_t& pos, size_t end, size_t& objEnd) const {
        std::string cls = Str(pos, end);
        const uint32_t size = U32(pos, end);
        if (size > end - pos)
            Fail("the object " + cls + " at byte " + std::to_string(pos) + " claims " + std::to_string(size) +
                 " bytes, only " + std::to_string(end - pos) + " are left");
        objEnd = pos + size;
        return cls;
    }
    // Steps over one value of type t.
    void Skip(char t, size_t& pos, size_t end) const {
        size_t objEnd = 0;
        switch (t) {
        case 'b': case 'c': Need(pos, end, 1); pos += 1; return;
        case 'i': Need(pos, end, 4); pos += 4; return;
        case 'q': case 'd': Need(pos, end, 8); pos += 8; return;
        case 's': Str(pos, end, false); return;
        case 'o': Object(pos, end, objEnd); pos = objEnd; return;
        case 'C': case 'I': case 'Q': case 'D': {
            const size_t each = t == 'C' ? 1 : t == 'I' ? 4 : 8;
            const uint32_t n = U32(pos, end);
            if (n > (end - pos) / each) Fail(ArrayTooLong(n, pos, end));
            pos += n * each;
            return;
        }
        case 'S': case 'O': {
            const uint32_t n = U32(pos, end);
            if (n > end - pos) Fail(ArrayTooLong(n, pos, end));
            for (uint32_t k = 0; k < n; ++k) Skip(t == 'S' ? 's' : 'o', pos, end);
            return;
        }
        default: Fail("unknown component type " + TypeText(t) + " at byte " + std::to_string(pos - 1));
        }
    }
    [[noreturn]] static void Fail(const std::string& what) { throw TGwyError{what}; }
    static std::string TypeText(char t) {
        const auto u = static_cast<unsigned char>(t);
        if (u >= 32 && u < 127) return std::string("\"") + t + "\"";
        return "byte " + std::to_string(u);
    }

private:
    void Need(size_t pos, size_t end, size_t n) const {
        if (pos > end || end - pos < n) Fail("the file ends inside a value at byte " + std::to_string(pos));
    }
    static std::string ArrayTooLong(uint32_t n, size_t pos, size_t end) {
        return "an array of " + std::to_string(n) + " elements at byte " + std::to_string(pos) + " is longer than the " +
               std::to_string(end - pos) + " bytes left";
    }
    const TFieldFile& f_;
};

// The channel number N of a key "/N/rest"; false for other keys.
bool ChannelKey(const std::string& key, const char* rest, std::string& number) {
    if (key.size() < 2 || key[0] != '/') return false;
    size_t p = 1;
    while (p < key.size() && key[p] >= '0' && key[p] <= '9') ++p;
    if (p == 1 || key.compare(p, std::string::npos, rest) != 0) return false;
    number = key.substr(1, p - 1);
    return true;
}

// Channel numbers as numbers: "2" before "10", however many digits.
struct TNumberOrder {
    bool operator()(const std::string& a, const std::string& b) const {
        const size_t za = std::min(a.find_first_not_of('0'), a.size());
        const size_t zb = std::min(b.find_first_not_of('0'), b.size());
        const size_t la = a.size() - za, lb = b.size() - zb;
        if (la != lb) return la < lb;
        const int c = a.compare(za, la, b, zb, lb);
        return c != 0 ? c < 0 : a < b;
    }
};

struct TGwyChannel {
    bool HasField = false;
    TFieldChannel Field;
    std::string Title;
    bool HasTitle = false;
    std::vector<std::pair<std::string, std::string>> Meta;
};

// Reads the components of the object whose components run from pos to objEnd; each
// one is handed to take(name, type, pos) which either reads the value (moving pos past
// it) or returns false to have it stepped over.
template <class Take>
void Components(const TGwyReader& r, size_t pos, size_t objEnd, Take take) {
    while (pos < objEnd) {
        const std::string name = r.Str(pos, objEnd);
        const char t = r.Type(pos, objEnd);
        const size_t at = pos;
        if (!take(name, t, pos)) {
            pos = at;
            r.Skip(t, pos, objEnd);
        }
    }
}

// The unit text of a GwySIUnit object at pos (empty when it has none).
std::string UnitOf(const TGwyReader& r, size_t pos, size_t end) {
    size_t objEnd = 0;
    const std::string cls = r.Object(pos, end, objEnd);
    std::string unit;
    if (cls != "GwySIUnit") return unit;
    Components(r, pos, objEnd, [&](const std::string& name, char t, size_t& p) {
        if (name != "unitstr" || t != 's') return false;
        unit = FieldTextToLatin1(r.Str(p, objEnd));
        return true;
    });
    return unit;
}

double DoubleOf(const TGwyReader& r, size_t& pos, size_t end) {
    return std::bit_cast<double>(r.U64(pos, end));
}

// A GwyDataField at pos: size, lateral size, units and where its samples are.
TFieldChannel FieldOf(const TGwyReader& r, size_t pos, size_t end) {
    TFieldChannel ch;
    ch.Coding = TSampleCoding::Float64LE;
    size_t objEnd = 0;
    r.Object(pos, end, objEnd);
    bool haveX = false, haveY = false, haveData = false;
    uint32_t count = 0;
    Components(r, pos, objEnd, [&](const std::string& name, char t, size_t& p) {
        if ((name == "xres" || name == "yres") && t == 'i') {
            const auto v = static_cast<int32_t>(r.U32(p, objEnd));
            (name == "xres" ? ch.Cols : ch.Rows) = v;
            (name == "xres" ? haveX : haveY) = true;
        } else if ((name == "xreal" || name == "yreal") && t == 'd') {
            (name == "xreal" ? ch.XReal : ch.YReal) = DoubleOf(r, p, objEnd);
        } else if ((name == "si_unit_xy" || name == "si_unit_z") && t == 'o') {
            (name == "si_unit_xy" ? ch.XYUnit : ch.ZUnit) = UnitOf(r, p, objEnd);
            r.Skip('o', p, objEnd);
        } else if (name == "data" && t == 'D') {
            const size_t at = p;
            r.Skip('D', p, objEnd);
            count = static_cast<uint32_t>((p - at - 4) / 8);
            ch.DataAt = at + 4;
            haveData = true;
        } else {
            return false;
        }
        return true;
    });
    if (!haveX || !haveY || !haveData) {
        ch.Problem = std::string("the data field has no ") + (!haveX ? "xres" : !haveY ? "yres" : "data");
        return ch;
    }
    ch.Problem = FieldSizeProblem(ch.Cols, ch.Rows);
    if (ch.Problem.empty() && static_cast<int64_t>(count) != ch.Cols * ch.Rows)
        ch.Problem = "xres * yres = " + IntToStr(ch.Cols * ch.Rows) + " samples, the data hold " + IntToStr(count);
    return ch;
}

}  // namespace

bool ParseGwy(const std::string& name, const TFieldFile& file, std::vector<TFieldChannel>& out) {
    out.clear();
    auto refuse = [&](const std::string& problem) {
        ShowFileMessage("File " + name + " is no valid Gwyddion file: " + problem, {name}, TMsgKind::Error);
        return false;
    };
    if (file.Size() < 4 || file.Prefix(4) != GwyMagic) return refuse("it does not begin with \"GWYP\"");
    if (file.Size() == 4) return refuse("it holds nothing after \"GWYP\"");
    const TGwyReader r(file);
    std::map<std::string, TGwyChannel, TNumberOrder> channels;
    try {
        size_t pos = 4, objEnd = 0;
        const std::string cls = r.Object(pos, file.Size(), objEnd);
        if (cls != "GwyContainer") return refuse("the top object is \"" + cls + "\", not a GwyContainer");
        Components(r, pos, objEnd, [&](const std::string& key, char t, size_t& p) {
            std::string n;
            if (t == 'o' && ChannelKey(key, "/data", n)) {
                size_t q = p, fieldEnd = 0;
                if (r.Object(q, objEnd, fieldEnd) != "GwyDataField") return false;
                TGwyChannel& c = channels[n];
                c.HasField = true;
                c.Field = FieldOf(r, p, objEnd);
                p = fieldEnd;
            } else if (t == 's' && ChannelKey(key, "/data/title", n)) {
                TGwyChannel& c = channels[n];
                c.Title = FieldTextToLatin1(r.Str(p, objEnd));
                c.HasTitle = true;
            } else if (t == 'o' && ChannelKey(key, "/meta", n)) {
                size_t metaEnd = 0;
                if (r.Object(p, objEnd, metaEnd) != "GwyContainer") return false;
                auto& meta = channels[n].Meta;
                meta.clear();
                Components(r, p, metaEnd, [&](const std::string& k, char mt, size_t& mp) {
                    if (mt != 's') return false;
                    meta.emplace_back(FieldTextToLatin1(k), FieldTextToLatin1(r.Str(mp, metaEnd)));
                    return true;
                });
                p = metaEnd;
            } else {
                return false;
            }
            return true;
        });
    } catch (const TGwyError& e) {
        return refuse(e.What);
    }
    for (auto& [n, c] : channels) {
        if (!c.HasField) continue;  // a title or metadata of something that is no image
        TFieldChannel& ch = c.Field;
        ch.Caption = c.Title;
        if (!ch.Problem.empty()) ch.Problem = "channel /" + n + "/data: " + ch.Problem;
        TakeFieldEntries(c.Meta, FieldHistoryKey, FieldScanInfoKey, ch);
        out.push_back(std::move(ch));
    }
    if (out.empty()) return refuse("it holds no image channel");
    return true;
}

// ---------------------------------------------------------------- writing

namespace {

void PutU32(std::string& out, uint32_t w) {
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap32(w);
    out.append(reinterpret_cast<const char*>(&w), 4);
}

void PutDouble(std::string& out, double v) {
    uint64_t w = std::bit_cast<uint64_t>(v);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    out.append(reinterpret_cast<const char*>(&w), 8);
}

void PutName(std::string& out, const std::string& name, char type) {
    out += name;
    out.push_back('\0');
    out.push_back(type);
}

void PutString(std::string& out, const std::string& name, const std::string& latin1) {
    PutName(out, name, 's');
    // a NUL would end the text early
    for (const char c : Latin1ToUtf8(latin1))
        if (c != '\0') out.push_back(c);
    out.push_back('\0');
}

// An object component: name, "o", class, size, components.
void PutObject(std::string& out, const std::string& name, const char* cls, const std::string& components) {
    if (components.size() > 0xFFFFFFFFu) throw EInOutError("The image is too large for a Gwyddion file");
    PutName(out, name, 'o');
    out += cls;
    out.push_back('\0');
    PutU32(out, static_cast<uint32_t>(components.size()));
    out += components;
}

std::string UnitObject(const std::string& unit) {
    std::string c;
    if (!unit.empty()) PutString(c, "unitstr", unit);
    return c;
}

std::string FieldObject(const TQTVPicture& pic) {
    const TUnitScale xy = FileUnit(pic.Para.XPhysUnit), y = FileUnit(pic.Para.YPhysUnit), z = FileUnit(pic.Para.PhysUnit);
    std::string c;
    PutName(c, "xres", 'i');
    PutU32(c, static_cast<uint32_t>(pic.Cols));
    PutName(c, "yres", 'i');
    PutU32(c, static_cast<uint32_t>(pic.Rows));
    PutName(c, "xreal", 'd');
    PutDouble(c, pic.Para.XScanRange / xy.Factor);
    PutName(c, "yreal", 'd');
    PutDouble(c, pic.Para.YScanRange / y.Factor);
    PutObject(c, "si_unit_xy", "GwySIUnit", UnitObject(xy.Unit));
    PutObject(c, "si_unit_z", "GwySIUnit", UnitObject(z.Unit));
    PutName(c, "data", 'D');
    const int32_t rows = pic.Rows, cols = pic.Cols;
    PutU32(c, static_cast<uint32_t>(rows) * static_cast<uint32_t>(cols));
    size_t at = c.size();
    c.resize(at + static_cast<size_t>(rows) * static_cast<size_t>(cols) * 8);
    // the first stored row is the top of the picture
    for (int32_t k = 0; k < rows; ++k) {
        const float* row = pic.Data[rows - 1 - k];
        for (int32_t col = 0; col < cols; ++col, at += 8) {
            uint64_t w = std::bit_cast<uint64_t>(static_cast<double>(row[col]) / z.Factor);
            if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
            std::memcpy(c.data() + at, &w, 8);
        }
    }
    return c;
}

}  // namespace

std::string BuildGwy(const std::vector<const TImageDoc*>& docs) {
    std::string top;
    for (size_t i = 0; i < docs.size(); ++i) {
        const TImageDoc& doc = *docs[i];
        if (!doc.Picture.HasData()) throw EInOutError("The image holds no samples");
        const std::string key = "/" + std::to_string(i);
        PutObject(top, key + "/data", "GwyDataField", FieldObject(doc.Picture));
        if (!doc.CaptionTag.empty()) PutString(top, key + "/data/title", doc.CaptionTag);
        if (i == 0) {  // Gwyddion shows the first channel when it opens the file
            PutName(top, key + "/data/visible", 'b');
            top.push_back('\1');
        }
        std::string meta;
        for (size_t k = 0; k < doc.History.size(); ++k)
            PutString(meta, FieldEntryKey(FieldHistoryKey, k + 1, doc.History.size()), doc.History[k]);
        for (size_t k = 0; k < doc.ScanInfo.size(); ++k)
            PutString(meta, FieldEntryKey(FieldScanInfoKey, k + 1, doc.ScanInfo.size()), doc.ScanInfo[k]);
        if (!meta.empty()) PutObject(top, key + "/meta", "GwyContainer", meta);
    }
    std::string out = GwyMagic;
    out += "GwyContainer";
    out.push_back('\0');
    if (top.size() > 0xFFFFFFFFu) throw EInOutError("The images are too large for one Gwyddion file");
    PutU32(out, static_cast<uint32_t>(top.size()));
    out += top;
    return out;
}

bool WriteGwy(const std::vector<const TImageDoc*>& docs, const std::string& path) {
    if (::access(path.c_str(), F_OK) == 0) {
        ShowFileMessage(path + " already exists! Abort!", {path});
        return false;
    }
    std::string bytes;
    try {
        bytes = BuildGwy(docs);
    } catch (const EInOutError& e) {
        ShowFailure(e);
        return false;
    }
    return CommitNewFile(path, bytes);
}
