#pragma once
// morvane-cli profile and roughness: a line profile of one channel as the line
// window's data text, and its roughness figures with the image statistics as JSON.
//
//   profile IN [--channel N] [--mode row|col|any|radial] [--width W] [--index N]
//              [--angle A] [--from X,Y] [--to X,Y] [--second FILE[:CHANNEL]] [--out FILE]
//   roughness IN [--channel N] [the line options without --second and --out]
//
// The options are read by hand after the subcommand: the argument after an option is
// always its value, so values may be negative ("--index -4", "--from -5,-5").
#include <string>
#include <vector>

namespace CLI {
class App;
}
class TCliMessageSink;

class TProfileCommands {
public:
    void Register(CLI::App& app);
    bool Chosen() const;
    // Exit status: 0 done, 1 refused (message on stderr), 2 usage error.
    int Run(TCliMessageSink& sink);

private:
    CLI::App* profile_ = nullptr;
    CLI::App* roughness_ = nullptr;
};
