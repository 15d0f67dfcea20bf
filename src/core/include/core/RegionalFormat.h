#pragma once

#include <QString>

namespace kestrin {

// The short date and time formats that dates are shown and written in (Qt format strings),
// and the decimal separator of numbers. The laboratory's home setting is the default;
// nothing depends on the machine's locale.
struct RegionalFormat {
    QString shortDate = QStringLiteral("dd.MM.yyyy");
    QString time = QStringLiteral("HH:mm:ss");
    QString decimalSeparator = QStringLiteral(",");
};

} // namespace kestrin
