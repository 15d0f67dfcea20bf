#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace kestrin {

// The places an INI file is looked for without /ini=, in order: on Linux the package's file,
// the older fixed place, then HL7.ini in the program's folder; on Windows the older fixed place,
// then the program folder's HL7.ini.
QStringList IniFileCandidates(const QString& programFolder);

// What to do when none of the candidates exists.
enum class MissingIni {
    TakeLast, // Windows: the program folder's HL7.ini, which reading the file creates
    Refuse,   // elsewhere: a ConfigurationError naming every place looked
};

QString LocateIniFile(const QStringList& candidates, MissingIni missing,
                      const std::function<bool(const QString&)>& exists);

// The same for this machine and this program.
QString LocateIniFile();

} // namespace kestrin
