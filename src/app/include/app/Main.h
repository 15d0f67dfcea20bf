#pragma once

namespace kestrin {

// The program: parses the command line, starts up in the order the laboratory relies on,
// then runs the service, a station, or one of the operations switches (/check, /cycle,
// /initdb). Returns the exit status.
int Main(int argc, char* argv[]);

} // namespace kestrin
