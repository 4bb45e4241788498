#pragma once
// The operations of "morvane-cli process", named after the menu commands.
#include <string>
#include <vector>

#include "core/ImageDoc.h"

struct TCliOperation {
    const char* Name;
    const char* Help;
    void (*Apply)(TImageDoc& doc);
};

const std::vector<TCliOperation>& CliOperations();
const TCliOperation* FindCliOperation(const std::string& name);
std::string CliOperationNames();  // "invert, ..." for usage messages
