#include "cli/Operations.h"

#include "processing/Invert.h"

namespace {

void Invert(TImageDoc& doc) { InvertSamples(doc.Picture); }

}  // namespace

const std::vector<TCliOperation>& CliOperations() {
    static const std::vector<TCliOperation> ops = {
        {"invert", "negate every sample (Process > Inverse)", &Invert},
    };
    return ops;
}

const TCliOperation* FindCliOperation(const std::string& name) {
    for (const auto& op : CliOperations())
        if (name == op.Name) return &op;
    return nullptr;
}

std::string CliOperationNames() {
    std::string out;
    for (const auto& op : CliOperations()) {
        if (!out.empty()) out += ", ";
        out += op.Name;
    }
    return out;
}
