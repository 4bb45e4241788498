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

// A step kept in the history although no replay can compute it again:
// "# " + step + " cannot be replayed: " + why. Replays refuse it ("#" begins no
// operation); the exported script names it.
std::string UnreplayableEntry(const std::string& step, const std::string& why);
// The arithmetic step of a result whose second operand is the image second: the
// arith entry naming its file and channel, or an unreplayable note when a replay would
// compute something else or nothing: no operator, an image not read from a file, or
// one processed after it was read (its samples are no longer what the file holds;
// steps that only set the colour range do not count).
std::string ArithStepEntry(const std::string& op, const TImageDoc& second);

// A shell script that replays doc's history: morvane-cli process IN OUT with one --op
// per entry (UTF-8); further arguments go to morvane-cli (--channel 2, --data sin).
// Steps that cannot be replayed are named in comment lines at the top, left out of
// the call, and the script stops with that reason instead of computing something else.
std::string ProcessingScript(const TImageDoc& doc);

// The steps of a history that a replay cannot compute, each as
// "Step N (STEP) cannot be replayed: WHY": the unreplayable notes and the entries the
// operation table cannot read. Empty when the whole history replays.
std::vector<std::string> ReplayProblems(const std::vector<std::string>& history);
// What the export says in its message box about those steps; empty without any. names
// gets the files the steps quote (the second images of arithmetic steps), as the file
// system spells them.
std::string ReplayProblemsMessage(const std::vector<std::string>& history, std::vector<std::string>& names);

// The scan-information page's block: "Processing" and one numbered line per entry;
// empty without history.
std::vector<std::string> ProcessingBlock(const std::vector<std::string>& history);
