#pragma once

#include "core/RegionalFormat.h"

#include <QVariant>

namespace kestrin {

// Empty text for a null value, otherwise the value as text in the regional format (a date
// at midnight without its time, a number with the regional decimal separator).
QString NullToText(const QVariant& value, const RegionalFormat& format = {});

// The value as a number when it is one (blanks around it allowed), otherwise 0.
float NumberOrZero(const QVariant& value);

} // namespace kestrin
