#include "formats/HistoryLines.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

const char* const LinePrefix = "; history ";

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool KeyAt(const std::string& text, size_t pos, const std::string& key)
{
    if (pos + key.size() > text.size()) return false;
    for (size_t i = 0; i < key.size(); ++i)
        if (Upper(text[pos + i]) != Upper(key[i])) return false;
    return true;
}

}  // namespace

const std::vector<std::string>& NativeReaderKeys()
{
    static const std::vector<std::string> keys = {
        "Version",   "XScanRange", "YScanRange",  "ScanRange", "XPhysUnit",     "YPhysUnit",
        "PhysUnit",  "Pixel in X ", "Pixel in Y ", "xPixel",    "yPixel",        "Files",
        "FileName",  "FileDescBegin", "FileDescEnd", "Caption", "Scale",         "Offset",
        ": ",
    };
    return keys;
}

std::string EscapeHistoryText(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        bool escape = b < 32 || b == 127 || b == '%';
        for (const std::string& key : NativeReaderKeys())
            if (!escape && KeyAt(text, i, key)) escape = true;
        if (escape) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "%%%03u", static_cast<unsigned>(b));
            out += buf;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string UnescapeHistoryText(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 3 < text.size() &&
            std::isdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isdigit(static_cast<unsigned char>(text[i + 3]))) {
            const int v = (text[i + 1] - '0') * 100 + (text[i + 2] - '0') * 10 + (text[i + 3] - '0');
            if (v < 256) {
                out.push_back(static_cast<char>(v));
                i += 3;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::string HistoryFileLine(size_t number, const std::string& entry)
{
    return LinePrefix + std::to_string(number) + " = " + EscapeHistoryText(entry);
}

bool ReadHistoryFileLine(const std::string& line, std::string& entry)
{
    const size_t n = std::strlen(LinePrefix);
    if (line.compare(0, n, LinePrefix) != 0) return false;
    size_t p = n;
    const size_t digits = p;
    while (p < line.size() && std::isdigit(static_cast<unsigned char>(line[p]))) ++p;
    if (p == digits || line.compare(p, 3, " = ") != 0) return false;
    entry = UnescapeHistoryText(line.substr(p + 3));
    return true;
}

std::vector<std::string> OperationsFromText(const std::string& text)
{
    std::vector<std::string> lines;
    std::string cur;
    for (const char c : text) {
        if (c == '\n' || c == '\r') {
            lines.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    lines.push_back(cur);
    std::vector<std::string> history, plain;
    for (const std::string& line : lines) {
        std::string entry;
        if (ReadHistoryFileLine(line, entry)) {
            history.push_back(entry);
            continue;
        }
        const size_t a = line.find_first_not_of(" \t");
        if (a == std::string::npos || line[a] == '#' || line[a] == ';') continue;
        const size_t b = line.find_last_not_of(" \t");
        plain.push_back(line.substr(a, b - a + 1));
    }
    return history.empty() ? plain : history;
}

