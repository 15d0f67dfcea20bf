#pragma once

#include "config/Configuration.h"

namespace kestrin {

// Takes the password from the file that DbPasswordFile names into DbPassword, the key then
// holding the file's full path; or records in `parsed.errors` why it cannot: DbPassword set
// as well, the file missing, no regular file, readable by every user, or without a password
// on its first line. A relative name is looked up in `credentialsDirectory` where there is
// one (systemd's LoadCredential= hands the file over there), else in `iniFolder`.
void ReadPasswordFile(ParsedConfiguration& parsed, const QString& iniFolder, const QString& credentialsDirectory);

} // namespace kestrin
