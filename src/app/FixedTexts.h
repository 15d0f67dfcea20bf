#pragma once

// Start-up's fixed text: its first step in the start-up window.

#include <QStringView>

namespace kestrin::apptexts {

inline constexpr QStringView kLoadingIniStep = u"Loading ini ... ";

} // namespace kestrin::apptexts
