#pragma once

#include "config/AppConfig.h"

#include <QStringList>

#include <vector>

namespace kestrin {

// A value of the INI file that Kestrin cannot use.
struct SettingError {
    QString key;
    QString value;
    QString reason;
};

struct ParsedConfiguration {
    IniSettings settings;
    std::vector<SettingError> errors;
};

// Reads the lines of an INI file: empty lines and lines beginning with ";" or "[" are
// skipped; the key is the text before the first "=", the value all after it with further
// "=" dropped; nothing is trimmed; keys are compared exactly; a later line overwrites.
ParsedConfiguration ParseConfiguration(const QStringList& lines);

// Appends the platform's separator to a folder value unless it ends in "/" or "\".
QString WithTrailingSeparator(const QString& folder);

// Folder values that are relative paths are taken relative to the INI file's folder;
// the derived import folders follow.
void ResolveRelativeFolders(IniSettings& settings, const QString& iniFolder);

// Reads the INI file at path into settings. A missing file is created empty (and so gives
// the start values); a file that cannot be read or created, or a value that cannot be used,
// throws a StartupError naming the file, the key and the value.
IniSettings ReadConfiguration(const QString& path);

// The lines "Field=value" of every setting, for "/check". Passwords are masked.
QStringList DescribeConfiguration(const AppConfig& config);

} // namespace kestrin
