#pragma once

// The sample-ID station's captions and the names of the control levels, as the operators
// beside the analyser know them.

#include <QStringView>

namespace kestrin::idstationtexts {

inline constexpr QStringView kStationCaption = u"ACT Analyser Kommunikation";
inline constexpr QStringView kControlsFrame = u"Kontrollen";
inline constexpr QStringView kSamplesFrame = u"Proben";
inline constexpr QStringView kSampleNumberLabel = u"Proben-Nummer:";
inline constexpr QStringView kIgnoreNextButton = u"N\u00e4chste Messung ignorieren";
inline constexpr QStringView kRebuildButton = u"Aktualisieren";

inline constexpr QStringView kLevelLow = u"LOW";
inline constexpr QStringView kLevelMed = u"MED";
inline constexpr QStringView kLevelHigh = u"HIGH";

} // namespace kestrin::idstationtexts
