#pragma once

#include <QStringList>

namespace kestrin {

struct FolderState {
    bool usable = false;
    QString description; // "exists", "will be created", or why it cannot be used
};

// Whether a missing folder is Kestrin's to create. A folder another system reads from
// (a share) must be there: made locally, it would hide that the share is missing.
enum class MissingFolder { Created, Refused };

// Whether Kestrin can work in a folder: a file can be written into it and removed again, or,
// where Kestrin may create a missing folder, it can be made and written into. Leaves nothing
// behind.
FolderState CheckFolder(const QString& path, MissingFolder missing = MissingFolder::Created);

// The folders of a path that do not exist (it and those above it), outermost first.
QStringList MissingFolders(const QString& path);

// Why the folder's names cannot be read (it lists nothing), or empty text: a folder Kestrin may
// write into but not list keeps the order files in it unseen.
QString ListingProblem(const QString& folder);

// Why this process may not make, rename or remove files in an existing folder, judged from its
// permissions without writing anything (a read-only mount counts); empty when it may.
QString WritingProblem(const QString& folder);

// Whether every user of the machine may make files in the folder (false on Windows, whose
// folders have access lists instead).
bool EveryoneMayWrite(const QString& folder);

// Whether users outside the file's owner and group may read it (false on Windows, as above).
bool EveryoneMayRead(const QString& file);

} // namespace kestrin
