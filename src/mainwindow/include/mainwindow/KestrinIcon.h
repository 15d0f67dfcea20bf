#pragma once

#include <QIcon>

namespace kestrin {

// The program's icon (windows and notification area), drawn so that no image file is needed.
QIcon KestrinIcon();

} // namespace kestrin
