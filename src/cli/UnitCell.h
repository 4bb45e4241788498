#pragma once
// morvane-cli unitcell: the unit-cell window's steps on one channel, as JSON.
#include <string>

namespace CLI {
class App;
}

struct TUnitCellArgs {
    std::string In;
    int Channel = 1;
    std::string Corners;           // "X1,Y1,X2,Y2,X3,Y3"; empty: the default corners
    std::string Threshold = "70";  // slider position 0..100
    std::string Quantity = "ax";   // a, b, phi, ax, ay, bx, by
    std::string Axis;              // x or y; empty: y for ay and by, else x
    bool Average = false;
    std::string CellOut;           // the cell as an image file (by extension)
};

// Registers the subcommand with its options.
CLI::App* AddUnitCellCommand(CLI::App& app, TUnitCellArgs& args);
// Runs it: 0 done, 1 refused (message on stderr), 2 usage error.
int RunUnitCell(const TUnitCellArgs& args);
