#include "cli/Operations.h"

namespace {

// Process > Inverse: every sample negated in place.
void Invert(TImageDoc& doc) {
    TQTVPicture& pic = doc.Picture;
    float* p = pic.Data.Block();
    if (!p) return;
    const size_t n = static_cast<size_t>(pic.Rows) * static_cast<size_t>(pic.Cols);
    for (size_t k = 0; k < n; ++k) p[k] = -p[k];
}

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
