// Placeholders of the native format so that the tree links while the formats are being written; each
// function moves to its own file when it is implemented.
#include "core/Errors.h"
#include "formats/Export.h"
#include "formats/ImageWriters.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "formats/Omicron.h"
#include "formats/OpenFlow.h"

#define MORVANE_TODO throw EAbort("not implemented yet")

TLoadFiles::TLoadFiles(const std::string& path) : filePath_(path) {}
bool TLoadFiles::ReadParamFile() { MORVANE_TODO; }
const std::string& TLoadFiles::Caption(int i) const { return captions_.at(static_cast<size_t>(i)); }
std::string TLoadFiles::DataPath(int i) const { return directory_ + files_.at(static_cast<size_t>(i)); }
void TLoadFiles::LoadChecked(const std::vector<bool>&, TLoadTarget&) { MORVANE_TODO; }
void TLoadFiles::ReadChannel(TImageDoc&, int) { MORVANE_TODO; }
void TLoadFiles::SetParamText(const std::string& bytes) { param_ = bytes; pos_ = 0; }
bool TLoadFiles::FindKey(const std::string&) { MORVANE_TODO; }
std::string TLoadFiles::ReadLine() { MORVANE_TODO; }
double TLoadFiles::ReadFloat() { MORVANE_TODO; }
bool ReadWholeFile(const std::string&, std::string&) { MORVANE_TODO; }
bool FileExists(const std::string&) { MORVANE_TODO; }
std::string ExtractFileName(const std::string&) { MORVANE_TODO; }
std::string ExtractFileDir(const std::string&) { MORVANE_TODO; }
bool WriteNative(const TImageDoc&, const std::string&, TNativeKind) { MORVANE_TODO; }
std::string BuildAsciiTable(const TQTVPicture&) { MORVANE_TODO; }
void WriteFileBytes(const std::string&, const std::string&) { MORVANE_TODO; }

