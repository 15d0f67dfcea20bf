#pragma once

namespace kestrin {

// The program: parses the command line, starts up in the order the laboratory relies on,
// then runs the service, a station, or one of the operations switches (/check, /cycle,
// /initdb). Returns the exit status.
int Main(int argc, char* argv[]);

struct CommandLine;

// A run with windows, in a QApplication that exists: every start-up problem, the command
// line's included, is shown in a box too. Returns the exit status.
int RunWithWindows(const CommandLine& commandLine);

} // namespace kestrin
