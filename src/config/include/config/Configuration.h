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

// The text "/check" and a refused start give for it.
QString ProblemText(const SettingError& error);

struct ParsedConfiguration {
    IniSettings settings;
    // Values Kestrin cannot use: a start is refused, naming every one.
    std::vector<SettingError> errors;
    // What is read otherwise than it may have been meant (a line with an unknown key, a cycle
    // below 0): said by "/check", never refused, since old files carry keys of other programs.
    QStringList warnings;
};

// Reads the lines of an INI file: empty lines and lines beginning with ";" or "[" are
// skipped; the key is the text before the first "=", the value all after it with further
// "=" dropped; nothing is trimmed; keys are compared exactly; a later line overwrites.
// Every value that cannot be used is kept in errors, its field keeping its start value.
ParsedConfiguration ParseConfiguration(const QStringList& lines);

// Appends the platform's separator to a folder value unless it ends in "/" or "\".
QString WithTrailingSeparator(const QString& folder);

// Folder values that are relative paths are taken relative to the INI file's folder;
// the derived import folders follow.
void ResolveRelativeFolders(IniSettings& settings, const QString& iniFolder);

// Reads the INI file at path, keeping every value that cannot be used and every warning. A
// missing file is created empty (and so gives the start values); a file that cannot be read
// or created throws a ConfigurationError naming it.
ParsedConfiguration ReadConfigurationFile(const QString& path);

// The same for a start: a value that cannot be used throws a ConfigurationError naming the
// file and every such key with its value. The warnings (unknown keys) go to `warnings` when given.
IniSettings ReadConfiguration(const QString& path, QStringList* warnings = nullptr);

// The lines "Field=value" of every setting, for "/check". Passwords are masked.
QStringList DescribeConfiguration(const AppConfig& config);

// One setting of the INI file as the manual page kestrin.ini(5) tells it.
struct IniKeyReference {
    QStringList keys;     // every key that sets it, the usual one first
    QString defaultValue; // the value without the key; empty when there is none
    QString about;
};

// Every setting of the INI file, in the order "/check" shows them.
std::vector<IniKeyReference> IniKeyReferences();

} // namespace kestrin
