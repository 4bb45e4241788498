// Fuzz target: a palette file of any of the three kinds, read over the default
// palette as the palette editor and morvane-cli --palette read it.
//
// Input: byte 0 picks the kind (0 JASC, 1 text, 2 binary, taken modulo 3), the rest is
// the file. Besides surviving the read, the result must hold together: no more than
// 256 entries, entries not read untouched, a refusal with its reason and line, and the
// palette written back in the same kind must read back to the same colours.
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "core/Messages.h"
#include "palette/PaletteFiles.h"

namespace {

[[noreturn]] void Finding(const char* what) {
    std::fprintf(stderr, "==morvane== %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size == 0) return 0;
    static const TPaletteKind kinds[3] = {TPaletteKind::Jasc, TPaletteKind::Text, TPaletteKind::Binary};
    const TPaletteKind kind = kinds[bytes[0] % 3];
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);

    const TColours start = DefaultColours();
    TColours colours = start;
    std::istringstream in(std::string(reinterpret_cast<const char*>(bytes) + 1, size - 1));
    const TPaletteRead read = ReadPalette(in, kind, colours);

    if (read.Entries < 0 || read.Entries > PaletteEntries) Finding("entry count out of range");
    for (int i = 3 * read.Entries; i < PaletteBytes; ++i)
        if (colours[static_cast<size_t>(i)] != start[static_cast<size_t>(i)]) Finding("an entry not read changed");
    if (read.Failed && (read.Failure.empty() || read.FailedLine < 1)) Finding("a refusal without reason or line");
    if (kind == TPaletteKind::Binary && read.Entries != 0 && read.Entries != PaletteEntries)
        Finding("a binary palette read in part");
    if (sink.Shown.size() > 3) Finding("more messages than header lines");

    TColours back{};
    std::istringstream again(BuildPalette(colours, kind));
    const TPaletteRead reread = ReadPalette(again, kind, back);
    if (reread.Failed || reread.Entries != PaletteEntries || back != colours) Finding("round trip differs");
    return 0;
}
