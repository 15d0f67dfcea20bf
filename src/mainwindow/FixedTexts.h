#pragma once

// The main window's and the notification-area icon's captions, as the laboratory's staff know
// them. A leading "&" marks the key of a menu item.

#include <QStringView>

namespace kestrin::mainwindowtexts {

inline constexpr QStringView kCloseViewButton = u"Close View";
inline constexpr QStringView kStopButton = u"Stop Communication";
inline constexpr QStringView kRequestMonitorButton = u"Request Monitor";
inline constexpr QStringView kOrderingLabel = u"KIS";
inline constexpr QStringView kLaboratoryLabel = u"Quorix";

inline constexpr QStringView kTrayMenu = u"&SysTray";
inline constexpr QStringView kRestoreItem = u"&View Communication";
inline constexpr QStringView kExitItem = u"&Exit";

} // namespace kestrin::mainwindowtexts
