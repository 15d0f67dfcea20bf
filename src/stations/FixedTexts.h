#pragma once

// The windowed program's fixed text: the main window's caption.

#include <QString>

namespace kestrin::stationstexts {

using namespace Qt::StringLiterals;

inline QString MainWindowCaption(const QString& stationId, const QString& importPath)
{
    return stationId + u" at "_s + importPath;
}

} // namespace kestrin::stationstexts
