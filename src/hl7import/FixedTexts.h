#pragma once

// The import's lines in the communication log. Operators and their scripts search the log for
// them, so each stays letter for letter, its odd blanks included.

#include <QString>

namespace kestrin::importtexts {

using namespace Qt::StringLiterals;

inline constexpr QStringView kSampleLead = u" Auftrag/Probe: ";
// Written straight after the ID: there is no blank before "schon".
inline constexpr QStringView kAlreadyStored = u"schon vorhanden. Daten wurden upgedated.";

inline QString MessageReadLine(const QString& messageId, const QString& sampleId)
{
    return u"Nachricht eingelesen: "_s + messageId + kSampleLead + sampleId;
}

inline QString CancellationLine(const QString& messageId, const QString& sampleId)
{
    return u"Storno Nachricht: "_s + messageId + kSampleLead + sampleId;
}

inline QString UnknownSegmentLine(const QString& identifier) { return u"Unbekannte Kennung: "_s + identifier; }

// A blank before the colon.
inline QString ReadFailedLine(const QString& messageId, const QString& sampleId)
{
    return u"Fehler beim lesen der Nachricht : "_s + messageId + kSampleLead + sampleId;
}

inline QString ErrorDescriptionLine(const QString& description) { return u"Fehlerbeschreibung: "_s + description; }

inline QString PatientUpdatedLine(const QString& patientId)
{
    return u"Patient mit ID: "_s + patientId + kAlreadyStored;
}

inline QString SampleUpdatedLine(const QString& sampleId) { return u"Probe mit ID: "_s + sampleId + kAlreadyStored; }

// The line number runs straight into "OBR.4: ".
inline QString NoImportCodeLine(const QString& sampleId, int obrLine, const QString& obr4)
{
    return u"Kein Importcode f\u00fcr Probe: "_s + sampleId + u"/OBR Zeile: "_s + QString::number(obrLine) +
        u"OBR.4: "_s + obr4;
}

// codes: each code followed by ", ", the last one too.
inline QString RequestsLine(const QString& sampleId, const QString& codes)
{
    return u"Anforderungen f\u00fcr Probe "_s + sampleId + u": "_s + codes;
}

} // namespace kestrin::importtexts
