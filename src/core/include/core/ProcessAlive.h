#pragma once

#include <QtGlobal>

namespace kestrin {

// Whether a process of this machine with that id is running.
bool IsProcessAlive(qint64 pid);

} // namespace kestrin
