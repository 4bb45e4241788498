#pragma once
// Saving one image as a native parameter file plus one data file.
#include <string>

#include "core/ImageDoc.h"

enum class TNativeKind { Sin = 2, Int = 3 };  // the save dialog's filter positions

// Writes name (the parameter text, built from doc.ScanInfo) and the data file beside
// it. Refuses with "<name> already exists! Abort!" when either file exists. Returns
// true when both files were written.
bool WriteNative(const TImageDoc& doc, const std::string& name, TNativeKind kind);
