#pragma once

#include <QString>

#include <functional>

namespace kestrin {

// The fixed place whose quorix.ini overrides the program folder's HL7.ini.
QString IniOverridePath();

// The override file when it exists, else HL7.ini in the program folder, existing or not.
QString LocateIniFile(const QString& overridePath, const QString& programFolder,
                      const std::function<bool(const QString&)>& exists);

// The same for this machine and this program.
QString LocateIniFile();

} // namespace kestrin
