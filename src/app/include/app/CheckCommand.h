#pragma once

#include "config/AppConfig.h"

#include <QTextStream>

namespace kestrin {

// "/check": prints every setting as Field=value, then whether the database and the folders
// can be used. Returns the exit status: 0 all usable, 2 something is not.
int RunCheck(const AppConfig& config, QTextStream& out);

} // namespace kestrin
