#pragma once
// The processing history of an image: every step that changed its samples, range or
// geometry, written as a morvane-cli process operation ("level:Lines:1",
// "filter:LowPass 1", "zoom:10:12:74:76") with every parameter the result depends on,
// so that replaying the list on the original file gives the same samples bit for bit.
// An entry is the canonical text of the operation that was applied
// (processing/Operations.h), in the record's Latin-1.
// How a parameter file holds them: formats/HistoryLines.h.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/ImageDoc.h"

// ---------------------------------------------------------------- files and scripts

// A shell script that replays doc's history: morvane-cli process IN OUT with one --op
// per entry (UTF-8); further arguments go to morvane-cli (--channel 2, --data sin).
std::string ProcessingScript(const TImageDoc& doc);

// The scan-information page's block: "Processing" and one numbered line per entry;
// empty without history.
std::vector<std::string> ProcessingBlock(const std::vector<std::string>& history);
