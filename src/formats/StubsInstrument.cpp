// Placeholders of the instrument formats so that the tree links while the formats are being written; each
// function moves to its own file when it is implemented.
#include "core/Errors.h"
#include "formats/Export.h"
#include "formats/ImageWriters.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "formats/Omicron.h"
#include "formats/OpenFlow.h"

#define MORVANE_TODO throw EAbort("not implemented yet")

void TLoadFiles::ReadBurleigh(TImageDoc&) { MORVANE_TODO; }
void TLoadFiles::ReadTopoMetrix(TImageDoc&) { MORVANE_TODO; }
void TLoadFiles::ReadBitmap(TImageDoc&) { MORVANE_TODO; }
std::string BuildStl(const TQTVPicture&) { MORVANE_TODO; }
std::string BuildBitmapFile(const TQTVPicture&) { MORVANE_TODO; }
void WriteBitmapFile(const TQTVPicture&, const std::string&) { MORVANE_TODO; }
void WriteJpegFile(const TQTVPicture&, const std::string&, int) { MORVANE_TODO; }
bool TOmicron::Convert(const std::string&) { MORVANE_TODO; }
int TOmicron::Count(int) const { return 0; }
bool TOmicron::ReadTopographic(int, TImageDoc&) { MORVANE_TODO; }
bool TOmicron::OpenSpectroscopic(int) { MORVANE_TODO; }
bool TOmicron::ReadSpectroscopicMap(int, TImageDoc&) { MORVANE_TODO; }
void TOmicron::CloseStream() {}
TFileKind FileKindOf(const std::string&) { MORVANE_TODO; }
const char* FileKindName(TFileKind) { return "unknown"; }
bool LoadSingleFile(const std::string&, TFileKind, TLoadTarget&) { MORVANE_TODO; }
int LoadOmicron(const std::string&, TLoadTarget&) { MORVANE_TODO; }
