#pragma once

// The request monitor's captions, as the laboratory's staff know them.

#include <QStringView>

namespace kestrin::monitortexts {

inline constexpr QStringView kMonitorCaption = u"Req Monitor";
inline constexpr QStringView kRequestHeading = u"Request";
inline constexpr QStringView kReq2sendHeading = u"Req2send";
inline constexpr QStringView kReloadButton = u"RELOAD";

} // namespace kestrin::monitortexts
