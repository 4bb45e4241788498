#pragma once
// The processing history in a native parameter file. The entries follow the last
// channel block as lines
//     ; history 3 = zoom:10:12:74:76
// The native reader looks for its keys by substring, ignoring case, through the whole
// file; a history line must never be found as one. Wherever a key would begin inside
// an entry, its first character is written as "%" and three decimal digits (as is
// every "%" and every control character), so no key text survives in the line.
#include <string>
#include <vector>

// "; history N = ENTRY" with the key-safe escaping.
std::string HistoryFileLine(size_t number, const std::string& entry);
// True, with the entry, for a line HistoryFileLine wrote.
bool ReadHistoryFileLine(const std::string& line, std::string& entry);
std::string EscapeHistoryText(const std::string& text);
std::string UnescapeHistoryText(const std::string& text);
// Every key the native reader searches for.
const std::vector<std::string>& NativeReaderKeys();

// Operations from the text of a file: the history lines of a saved parameter file, or
// (when it has none) one operation a line, blank lines and lines starting with "#"
// skipped. Latin-1 as the files hold it.
std::vector<std::string> OperationsFromText(const std::string& text);

