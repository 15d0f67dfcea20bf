#pragma once

namespace kestrin {

struct CommandLine;

// A run that shows windows, given the program's arguments and what they say. Returns the exit
// status.
using WindowedRun = int (*)(int argc, char* argv[], const CommandLine& commandLine);

// The program: parses the command line, answers /help and /version, runs the service and the
// operations switches (/check, /status, /cycle, /initdb) without windows, and gives a run that
// shows windows to `windowedRun`. Returns the exit status.
int Main(int argc, char* argv[], WindowedRun windowedRun);

// The windowed run of the program without windows: the windowed program installed beside it
// takes over (on POSIX in the same process, so the PID and the exit status stay); where it is
// missing, start-up fails with status 2 naming what the run would have shown.
int HandOverToWindows(int argc, char* argv[], const CommandLine& commandLine);

// Says on stderr the switches the command line does not know ("/check" lists them itself).
void WarnUnknownSwitches(const CommandLine& commandLine);

} // namespace kestrin
