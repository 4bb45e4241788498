#include "processing/History.h"

#include <algorithm>
#include <cstring>

#include "core/Text.h"
#include "processing/Operations.h"

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

constexpr const char* NoteMark = "# ";
constexpr const char* NoteMiddle = " cannot be replayed: ";

// The text of an unreplayable note split into step and reason; false for other entries.
bool ReadNote(const std::string& entry, std::string& step, std::string& why)
{
    if (entry.rfind(NoteMark, 0) != 0) return false;
    const size_t mid = entry.find(NoteMiddle);
    if (mid == std::string::npos) {
        step = entry.substr(2);
        why.clear();
        return true;
    }
    step = entry.substr(2, mid - 2);
    why = entry.substr(mid + std::strlen(NoteMiddle));
    return true;
}

}  // namespace

std::string UnreplayableEntry(const std::string& step, const std::string& why)
{
    return NoteMark + step + NoteMiddle + why;
}

std::string ArithStepEntry(const std::string& op, const TImageDoc& second)
{
    const std::string file = second.SourcePath.empty() ? second.FileName : second.SourcePath;
    const int channel = second.SourcePath.empty() ? 1 : second.SourceChannel < 1 ? 1 : second.SourceChannel;
    // without an operator the step is written as it would read, with the operator left empty
    const std::string step = op.empty() ? "arith::" + Utf8ToLatin1(file) + ":" + std::to_string(channel)
                                        : HistoryEntry(TArithOp{op[0], file, channel});
    const std::string name = "the second image \"" + (second.Title.empty() ? second.FileName : second.Title) + "\"";
    if (op.empty()) return UnreplayableEntry(step, "no operator was chosen");
    if (second.SourcePath.empty()) return UnreplayableEntry(step, name + " was not read from a file");
    std::vector<std::string> since;
    for (size_t i = std::min(second.HistoryInFile, second.History.size()); i < second.History.size(); ++i)
        if (second.History[i].rfind("range:", 0) != 0) since.push_back(second.History[i]);
    if (since.empty()) return step;
    std::string list;
    for (const std::string& e : since) list += (list.empty() ? "" : ", ") + e;
    return UnreplayableEntry(step, name + " was processed after it was read from " + second.SourcePath + " (" +
                                       list + "), and the file holds it unprocessed");
}

std::vector<std::string> ReplayProblems(const std::vector<std::string>& history)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < history.size(); ++i) {
        std::string step, why;
        if (!ReadNote(history[i], step, why)) {
            step = history[i];
            try {
                ParseOperation(Latin1ToUtf8(step));
                continue;
            } catch (const EOperationError& e) {
                why = e.what();
            }
        }
        out.push_back("Step " + std::to_string(i + 1) + " (" + step + ") cannot be replayed: " + why);
    }
    return out;
}

std::string ReplayProblemsMessage(const std::vector<std::string>& history, std::vector<std::string>& names)
{
    const std::vector<std::string> problems = ReplayProblems(history);
    names.clear();
    if (problems.empty()) return {};
    // arith:OP:FILE:N: the file between the operator and the channel
    for (const std::string& entry : history) {
        std::string step, why;
        if (!ReadNote(entry, step, why) || step.rfind("arith:", 0) != 0) continue;
        const size_t op = step.find(':', 6), last = step.rfind(':');
        // the history holds the name in Latin-1; the file system spells it in UTF-8
        if (op != std::string::npos && last > op) names.push_back(Latin1ToUtf8(step.substr(op + 1, last - op - 1)));
    }
    std::string text;
    for (const std::string& p : problems) text += p + ".\n";
    return text + "The script names " + (problems.size() == 1 ? "this step" : "these steps") +
           " and stops before computing anything else.";
}

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
    const std::vector<std::string> problems = ReplayProblems(doc.History);
    if (!problems.empty()) {
        for (const std::string& p : problems) s += "# " + CommentText(p) + ".\n";
        s += "# Mend or remove these steps, then delete the two lines below.\n";
        s += "echo \"$0: the processing cannot be replayed: " + std::to_string(problems.size()) +
             (problems.size() == 1 ? " step is" : " steps are") + " named at the top of this script\" >&2\n";
        s += "exit 1\n";
    }
    if (doc.History.empty()) {
        s += "# no processing: the image as read\n";
        s += "exec \"${MORVANE_CLI:-morvane-cli}\" convert \"$IN\" \"$OUT\" \"$@\"\n";
        return s;
    }
    s += "exec \"${MORVANE_CLI:-morvane-cli}\" process \"$IN\" \"$OUT\" \\\n";
    for (const std::string& entry : doc.History) {
        std::string step, why;
        if (ReadNote(entry, step, why)) continue;  // named at the top
        s += "  --op " + ShellQuoted(Latin1ToUtf8(entry)) + " \\\n";
    }
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
