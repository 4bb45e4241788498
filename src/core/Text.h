#pragma once
// Text conversions at the edges of the model: the records hold Latin-1 bytes, command
// lines, scripts and JSON carry UTF-8.
#include <string>

// Latin-1 bytes as UTF-8 ("\xB5m" -> "\xC2\xB5m").
std::string Latin1ToUtf8(const std::string& text);
// UTF-8 text as the Latin-1 the records hold ("\xC2\xB5m" -> "\xB5m"); characters
// beyond Latin-1 and bytes that are no UTF-8 pass unchanged.
std::string Utf8ToLatin1(const std::string& text);
// ASCII letters in lower case, every other byte unchanged.
std::string LowerAscii(std::string text);
