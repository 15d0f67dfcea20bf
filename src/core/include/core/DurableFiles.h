#pragma once

#include <QFile>
#include <QString>

namespace kestrin {

// What a file written for another program needs so that it survives a power cut and is
// never seen half-written.

// Forces what was written to the file onto the disk.
bool SyncToDisk(QFile& file);

// Writes `bytes` as the whole content of a new file (replacing one of that name) and checks
// every step: the open, the write, with `sync` the forced write to disk, the close, and the size
// the file system then reports. Returns what failed, empty when nothing did; a file that could
// not be written completely is removed.
QString WriteWholeFile(const QString& path, const QByteArray& bytes, bool sync);

// Forces the data of several files onto the disk at once: on Linux one flush of their file
// system (one journal commit for all), elsewhere each file in turn.
bool SyncFiles(const QStringList& paths);

// Forces a folder's entries (a rename into it) onto the disk; nothing to do on Windows.
bool SyncFolder(const QString& folder);

// Renames a file, replacing one of the new name in a single atomic step. Fails (and
// changes nothing) when the two names lie on different file systems.
bool RenameReplacing(const QString& from, const QString& to);

struct BoundedRead {
    enum class Problem { None, NotRegular, TooLarge, Unreadable };
    QByteArray bytes;
    Problem problem = Problem::None;
    qint64 size = 0;
    QString error;
    qint64 links = 0;  // the names the file has (hard links); 0 where not known
    bool gone = false; // Unreadable: there is no file of that name
};

// Reads a regular file of at most `limit` bytes with one open and one status call. A pipe or
// device is not read (it might never end), nor a larger file.
BoundedRead ReadBoundedFile(const QString& path, qint64 limit);

enum class MoveResult { Moved, TargetExists, SourceGone, Failed };

// Renames a file unless the new name is taken, in one step where the file system can (a
// second process may take the same name at the same moment). `error` says why on Failed.
MoveResult MoveNoReplace(const QString& from, const QString& to, QString* error = nullptr);

#ifndef Q_OS_WIN
// The same two for names (their bytes) in folders opened as handles, AT_FDCWD for the working
// folder: a handle keeps naming the folder it opened when a link is put in its path's place.
// ReadBoundedFileAt follows no link in the name's place: a link is NotRegular.
MoveResult MoveNoReplaceAt(int fromFolder, const QByteArray& from, int toFolder, const QByteArray& to,
                           QString* error = nullptr);
BoundedRead ReadBoundedFileAt(int folder, const QByteArray& name, qint64 limit);
#endif

} // namespace kestrin
