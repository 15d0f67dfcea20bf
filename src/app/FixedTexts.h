#pragma once

// Start-up's fixed texts: its first step in the start-up window and the main window's caption.

#include <QString>

namespace kestrin::apptexts {

using namespace Qt::StringLiterals;

inline constexpr QStringView kLoadingIniStep = u"Loading ini ... ";

inline QString MainWindowCaption(const QString& stationId, const QString& importPath)
{
    return stationId + u" at "_s + importPath;
}

} // namespace kestrin::apptexts
