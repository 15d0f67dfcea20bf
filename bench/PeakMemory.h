#pragma once

#include <QtGlobal>

namespace kestrin::bench {

// The most memory this process has held at once, in bytes (resident set).
qint64 PeakMemoryBytes();

} // namespace kestrin::bench
