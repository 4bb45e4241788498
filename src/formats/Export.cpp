// ASCII table export and the one-piece file write shared by the exports.
#include "formats/Export.h"

#include "core/Errors.h"
#include "core/Numbers.h"
#include "formats/NativeWriter.h"

std::string BuildAsciiTable(const TQTVPicture& pic) {
    std::string out;
    if (!pic.HasData()) return out;
    for (int32_t r = 0; r < pic.Rows; ++r) {
        const float* row = pic.Data[r];
        for (int32_t c = 0; c < pic.Cols; ++c) {
            if (c > 0) out += '\t';
            out += FormatShortest(row[c]);
        }
        out += "\r\n";
    }
    return out;
}

// The file is written under a temporary name and then replaces the target, so a
// failed write leaves the previous file as it was.
void WriteFileBytes(const std::string& path, const std::string& bytes) {
    CommitFile(path, bytes, true);
}
