#pragma once

#include <QFile>
#include <QString>

namespace kestrin {

// What a file written for another program needs so that it survives a power cut and is
// never seen half-written.

// Forces what was written to the file onto the disk.
bool SyncToDisk(QFile& file);

// Forces a folder's entries (a rename into it) onto the disk; nothing to do on Windows.
bool SyncFolder(const QString& folder);

// Renames a file, replacing one of the new name in a single atomic step. Fails (and
// changes nothing) when the two names lie on different file systems.
bool RenameReplacing(const QString& from, const QString& to);

} // namespace kestrin
