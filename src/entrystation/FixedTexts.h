#pragma once

// The entry station's fixed texts: its lines in the communication log, its session marker in
// quorix_log, and the captions the laboratory's operators know. Each stays letter for letter,
// its blanks included.

#include <QString>

namespace kestrin::entrytexts {

using namespace Qt::StringLiterals;

// log_val of the row that marks a session's start.
inline constexpr QStringView kSessionStartMarker = u"SessionStart";

inline constexpr QStringView kParameterNotConfigured = u"Parameter not configured!";
inline constexpr QStringView kAutovalidationLine = u"Results will be autovalidated and go direct to results.";

// numberText as the station prints it, with a blank for the sign of a number not below 0.
inline QString ParameterLine(const QString& numberText, const QString& longName)
{
    return u"Parameter: "_s + numberText + u" / "_s + longName;
}

// The control, raw and work-table records' lines begin differently and end alike.
inline constexpr QStringView kControlValueLead = u"Enter Control Value: Control ID: ";
inline constexpr QStringView kRawResultLead = u"Enter to RAW_Results: SAMPLE ID: ";
inline QString SessionTableLead(const QString& sessionTable)
{
    return u"Enter to "_s + sessionTable + u": SAMPLE ID: "_s;
}

inline QString RecordLine(QStringView lead, const QString& sampleId, const QString& parameterId, const QString& result,
                          const QString& analyzerUser)
{
    return lead + sampleId + u" Parameter ID: "_s + parameterId + u" Result: "_s + result + u" Analyser/User: "_s +
        analyzerUser;
}

inline QString ValidatedResultLine(const QString& sampleId, const QString& parameterId, const QString& result,
                                   const QString& interpretation, const QString& analyzerId, const QString& validator)
{
    return u"Enter to Results: SAMPLE ID: "_s + sampleId + u" Parameter ID: "_s + parameterId + u" Result: "_s +
        result + u" Interpretation: "_s + interpretation + u" Analyser: "_s + analyzerId + u" User: "_s + validator;
}

inline QString ResultDeletedLine(const QString& sampleId) { return u"Result deleted for sample ID: "_s + sampleId; }

// Two blanks after "Results" and before "deleted!".
inline QString SessionClearedLine(const QString& parameterId)
{
    return u"Session cleared: All Results  for Parameter : "_s + parameterId + u" since start of session  deleted!"_s;
}

// Captions.
inline constexpr QStringView kEntryDesignCaption = u"@Quorix Input - Device - Parameter - User";
inline QString EntryCaption(const QString& stationId) { return u"Quorix Input - "_s + stationId; }
inline constexpr QStringView kDeleteMarker = u"X";
inline constexpr QStringView kMissingCaption = u"@N/A";
inline constexpr QStringView kNamePicturesCaption = u"Scan Sample BC";

} // namespace kestrin::entrytexts
