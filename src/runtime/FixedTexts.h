#pragma once

// The runtime's fixed texts: the communication log's header and direction tags, the keys of the
// markers in quorix_log. Other programs read the log and the markers, so each stays letter for
// letter, its blanks included.

#include <QString>

namespace kestrin::runtimetexts {

using namespace Qt::StringLiterals;

// log_key of the markers in quorix_log.
inline constexpr QStringView kLogChangeMarker = u"HL7_log_change";
inline constexpr QStringView kDayChangeMarker = u"d_change";
inline constexpr QStringView kShiftChangeMarker = u"s_change";

// The header each opening of the log writes.
inline QString ModuleStartedLine(const QString& nowText) { return u"Kestrin Module Started : "_s + nowText; }
inline constexpr QStringView kConfigLine = u"Config:";
inline QString ImportPathLine(const QString& path) { return u"Importpfad: "_s + path; }
inline QString ExportPathLine(const QString& path) { return u"Exportpfad: "_s + path; }

// Direction tags: the file's, and the traffic display's where it differs.
inline constexpr QStringView kAnalyzerToHostTag = u"  A->H";
inline constexpr QStringView kHostToAnalyzerTag = u"  H->A";
inline constexpr QStringView kMonitorTag = u"Monitor: ";
inline constexpr QStringView kOrderInTag = u" K->L ";
inline constexpr QStringView kOrderInDisplayTag = u"     K->L ";
inline constexpr QStringView kResultOutTag = u" L->K ";
inline constexpr QStringView kEntryStationTag = u" INPUT: ";
inline constexpr QStringView kEntryStationDisplayTag = u"     L->H";

} // namespace kestrin::runtimetexts
