#pragma once

#include <QString>

namespace kestrin {

// The program's version, as the build names it ("0.1.0").
QString KestrinVersion();

} // namespace kestrin
