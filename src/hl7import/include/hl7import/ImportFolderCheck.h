#pragma once

#include "config/AppConfig.h"
#include "core/FolderCheck.h"

#include <QList>

namespace kestrin {

struct CheckedFolder {
    QString field; // ImportPath, ImportDonePath, ImportErrorPath
    QString path;
    FolderState state;
};

// The import's three folders tried as a cycle opens and uses them ("/check"): the import folder
// made when missing, listed, and a claim of the longest name made in it and taken back; "Done"
// and "EinleseFehler" opened below it as real folders of this process's user, and written. What
// was made for the try is removed again.
QList<CheckedFolder> CheckImportFolders(const AppConfig& config);

} // namespace kestrin
