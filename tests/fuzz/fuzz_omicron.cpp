// Fuzz target: an Omicron parameter file with its data files, loaded the way the open
// command does it; the control byte chooses the answer to "Read spectroscopy data?".
// Input: control byte, parameter text, then data files after the separator (FuzzCommon.h).
#include "fuzz/FuzzCommon.h"

namespace {

// The names the parameter text gives after "Filename" (the value before the ';'), so
// that the data files can be written where the reader will look for them.
std::vector<std::string> DataNames(const std::string& text) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        size_t key = line.find(";Filename");
        if (key == std::string::npos) continue;
        std::string value = line.substr(0, key);
        size_t a = 0, b = value.size();
        while (a < b && static_cast<unsigned char>(value[a]) <= ' ') ++a;
        while (b > a && static_cast<unsigned char>(value[b - 1]) <= ' ') --b;
        names.push_back(value.substr(a, b - a));
    }
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    using namespace morvane_fuzz;
    TTwoFileInput in = SplitInput(bytes, size);
    EmptyScratch();
    const std::string paramName = "scan.par";
    WriteFile(ScratchDir() + paramName, in.Param);
    WriteDataFiles(DataNames(in.Param), in.Data, paramName);

    morvane_harness::TAnswers answers = AnswersFrom(in.Control);
    answers.MaxOpen = 8;
    answers.KeepDocs = false;
    Verdict(morvane_harness::LoadOmicronFile(ScratchDir() + paramName, answers));
    return 0;
}
