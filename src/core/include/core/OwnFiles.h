#pragma once

#include <QFile>
#include <QString>

namespace kestrin {

// Files Kestrin makes are for its own user and group: at start-up the process's file creation
// mask gains 027 (a stricter one stays), so that a file is at most 0640 and a folder 0750 also
// when a shell's 0022 started it. Nothing on Windows, whose files have no such modes.
void RestrictNewFileModes();

// A file of Kestrin's own in a folder that others may write to (the log folder): opened without
// following a symbolic link, and refused where the name is no plain file or the file has a
// second name (a hard link to someone else's file), so that nothing is written into a file that
// someone put there in its place. Created with `mode` (as 0640) when missing.
struct OwnFile {
    int descriptor = -1; // -1 when it was not opened
    QString error;       // why not
};
#ifndef Q_OS_WIN
OwnFile OpenOwnFile(const QString& path, int flags, int mode);
#endif

// The same for appending through a QFile (on Windows as QFile opens it); the file, opened on
// the descriptor, has no name. Returns why it could not be opened, or empty text.
QString OpenOwnFileForAppending(QFile& file, const QString& path, int mode);

} // namespace kestrin
