#pragma once

#include "config/AppConfig.h"

#include <QStringList>

namespace kestrin {

// Settings that would fail later in the run, each as one clear message: a shift length of
// 0 or less, a first shift that is no date, a cycle too long for its counter, an unknown
// character set, date formats that cannot be read back, a decimal separator that is none, a
// serial port number that is none.
QStringList StartupProblems(const AppConfig& config);

// The notification-area tip: station, "/Com:", the port; at most 63 visible characters.
QString TrayTipText(const QString& stationId, const std::optional<double>& comPort);

// The port number as text, empty when the switch was not given.
QString PortText(const std::optional<double>& port);

} // namespace kestrin
