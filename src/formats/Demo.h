#pragma once
// The demo scan: a synthetic two-channel measurement in the native format, written
// for trying the program without an instrument file.
#include <string>

// Writes DIR/demo.txt with the channels "Topography Fwd" (demo_0.int, nm) and
// "Current Fwd" (demo_1.sin, nA), 512 x 512 samples over 200 nm x 200 nm. The
// directory is created when missing; an earlier demo there is replaced. The result is
// the same on every run and platform. False (after a message) when a file cannot be
// written.
bool WriteDemoScan(const std::string& dir);

// The file names used by WriteDemoScan.
constexpr const char* DemoParamFile = "demo.txt";
constexpr const char* DemoTopographyFile = "demo_0.int";
constexpr const char* DemoCurrentFile = "demo_1.sin";
