#pragma once
// Writing a document by the extension of the output's name: the one writer choice of
// morvane-cli, the Python module and the application's Save As.
#include <string>
#include <vector>

#include "core/ImageDoc.h"
#include "formats/NativeWriter.h"

enum class TOutKind { Unknown, Native, Ascii, Stl, Bitmap, Jpeg, Gwy, Gsf };

// The kind of output a path asks for by its extension (any case).
TOutKind OutKindOf(const std::string& path);

// The kind of output path asks for, or Unknown with the reason in refusal: an unknown
// extension, or one the open command would not know again (".TXT", ".Bmp").
TOutKind CheckedOutKind(const std::string& path, std::string& refusal);

// Writes doc as kind (native: data file as dataKind). False when the native writer
// refused (told already); the writers' exceptions propagate.
bool WriteOutput(TImageDoc& doc, const std::string& path, TOutKind kind, TNativeKind dataKind);
// The same for several channels of one input: a Gwyddion file holds them all, every
// other kind the first (docs must not be empty).
bool WriteOutput(const std::vector<TImageDoc*>& docs, const std::string& path, TOutKind kind, TNativeKind dataKind);
