#pragma once

// The export's lines in the communication log, letter for letter: operators search the log for
// them.

#include <QString>

namespace kestrin::exporttexts {

using namespace Qt::StringLiterals;

inline QString ExportStartLine(const QString& sampleId) { return u"Start Export f\u00fcr Probe: "_s + sampleId; }

inline QString ExportDoneLine(const QString& sampleId, const QString& filePath)
{
    return u"Export abgeschlossen f\u00fcr Probe: "_s + sampleId + u"/Datei: "_s + filePath;
}

// Kestrin's own line, worded like its two siblings so the same searches find it.
inline QString ExportFailedLine(const QString& sampleId, const QString& description)
{
    return u"Export fehlgeschlagen f\u00fcr Probe: "_s + sampleId + u" Fehlerbeschreibung: "_s + description;
}

} // namespace kestrin::exporttexts
