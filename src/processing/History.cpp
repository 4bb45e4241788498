#include "processing/History.h"

#include "core/Text.h"

// ---------------------------------------------------------------- files and scripts

namespace {

std::string ShellQuoted(const std::string& s)
{
    std::string out = "'";
    for (const char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A comment line's text: no line breaks.
std::string CommentText(const std::string& latin1)
{
    std::string out;
    for (const char c : Latin1ToUtf8(latin1)) out.push_back(c == '\r' || c == '\n' ? ' ' : c);
    return out;
}

}  // namespace

std::string ProcessingScript(const TImageDoc& doc)
{
    std::string s = "#!/bin/sh\n";
    s += "# Processing of \"" + CommentText(doc.Title.empty() ? doc.FileName : doc.Title) +
         "\", recorded by Morvane: every step in order.\n";
    if (!doc.SourcePath.empty())
        s += "# The image was read from " + CommentText(doc.SourcePath) +
             (doc.SourceChannel > 0 ? ", channel " + std::to_string(doc.SourceChannel) : std::string()) + ".\n";
    s += "# Usage: sh SCRIPT IN OUT [morvane-cli options, e.g. --channel 2 --data sin]\n";
    s += "# MORVANE_CLI names the program when it is not on the PATH.\n";
    s += "set -e\n";
    s += "if [ $# -lt 2 ]; then\n  echo \"usage: $0 IN OUT [morvane-cli options]\" >&2\n  exit 2\nfi\n";
    s += "IN=$1\nOUT=$2\nshift 2\n";
    if (doc.History.empty()) {
        s += "# no processing: the image as read\n";
        s += "exec \"${MORVANE_CLI:-morvane-cli}\" convert \"$IN\" \"$OUT\" \"$@\"\n";
        return s;
    }
    s += "exec \"${MORVANE_CLI:-morvane-cli}\" process \"$IN\" \"$OUT\" \\\n";
    for (const std::string& entry : doc.History)
        s += "  --op " + ShellQuoted(Latin1ToUtf8(entry)) + " \\\n";
    s += "  \"$@\"\n";
    return s;
}

std::vector<std::string> ProcessingBlock(const std::vector<std::string>& history)
{
    std::vector<std::string> out;
    if (history.empty()) return out;
    out.push_back("Processing");
    for (size_t i = 0; i < history.size(); ++i) out.push_back(std::to_string(i + 1) + "  " + history[i]);
    return out;
}
