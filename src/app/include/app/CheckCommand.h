#pragma once

#include "config/CommandLine.h"

#include <QTextStream>

namespace kestrin {

// "/check": reads the configuration as a start would, without stopping at what is wrong in
// it, and prints every setting as Field=value, every problem and warning, whether the folders
// and the databases can be used, and a verdict as the last line. Returns the exit status:
// 0 nothing is wrong (warnings allowed), 2 something is.
int RunCheck(const CommandLine& commandLine, QTextStream& out);

} // namespace kestrin
