#pragma once

// The service's fixed texts: the start-up window's steps, as the laboratory's staff know them.

#include <QString>

namespace kestrin::servicetexts {

using namespace Qt::StringLiterals;

// The start-up window.
inline QString LoadingTitle(const QString& stationId) { return stationId + u" - Communication loading ... "_s; }
inline constexpr QStringView kInitializingStep = u"Initializing ... ";
inline constexpr QStringView kConnectingStep = u"Connecting 2 DB ... ";
inline constexpr QStringView kOpeningLogStep = u"opening Logfile ... ";

} // namespace kestrin::servicetexts
