// Fuzz target: a native parameter file with its data files, read and loaded the way the
// open command and the selection dialog's Load do it.
// Input: control byte, parameter text, then data files after the separator (FuzzCommon.h).
#include "fuzz/FuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    using namespace morvane_fuzz;
    TTwoFileInput in = SplitInput(bytes, size);
    EmptyScratch();
    const std::string paramName = "scan.txt";
    WriteFile(ScratchDir() + paramName, in.Param);

    morvane_harness::TAnswers answers = AnswersFrom(in.Control);
    switch ((in.Control >> 4) & 3) {  // what the user ticks in the selection dialog
        case 0: break;                                                  // everything
        case 1: answers.Checked = [](int i) { return i % 2 == 1; }; break;  // every other one
        case 2: answers.Checked = [](int i) { return i != 1; }; break;      // all but the first
        case 3: answers.Checked = [](int) { return false; }; break;        // nothing (Cancel)
    }
    answers.MaxOpen = 8;        // fewer windows than the application allows keeps runs short
    answers.KeepDocs = false;

    morvane_harness::TLoadResult r = morvane_harness::LoadNative(
        ScratchDir() + paramName, answers, [&](const TLoadFiles& loader) {
            std::vector<std::string> names;
            for (int i = 1; i <= loader.Count() && i < static_cast<int>(loader.Files().size()); ++i)
                names.push_back(loader.Files()[static_cast<size_t>(i)]);
            WriteDataFiles(names, in.Data, paramName);
        });
    Verdict(r);
    return 0;
}
