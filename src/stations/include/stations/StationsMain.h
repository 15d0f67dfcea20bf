#pragma once

namespace kestrin {

struct CommandLine;

// The windowed program: every run of "kestrin", and a run with windows in this process.
// Returns the exit status.
int StationsMain(int argc, char* argv[]);

// A run with windows, in a QApplication that exists: every start-up problem, the command
// line's included, is shown in a box too. Returns the exit status.
int RunWithWindows(const CommandLine& commandLine);

} // namespace kestrin
