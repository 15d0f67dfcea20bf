#pragma once

#include <QDateTime>
#include <QStringList>

#include <functional>
#include <optional>

namespace kestrin {

// Who claims a file: this machine, this process, now. Several stations may share one
// import folder; a claim makes sure each order file is read by one of them only.
struct Claimant {
    QString host;
    qint64 pid = 0;
    QDateTime now;
};

// An order file found in the import folder.
struct OrderFile {
    QString name;          // as text; a byte that is no text in the file-name encoding shows as "_"
    QByteArray nativeName; // the name's bytes where `name` cannot reach the file, else empty
};

struct FolderListing {
    QList<OrderFile> files; // to take, sorted by name
    QStringList notRegular; // names with the extension that are no regular file (device, FIFO, folder)
    QString last;           // the last name looked at: the next listing goes on after it
    QString error;          // why the folder could not be read; empty when it could
};

// The next order files to take from a folder, sorted by name: at most `limit` names after
// `after`, of regular files whose names' last three characters equal the extension without
// regard to case (claims excluded), that have rested at least minAgeMs since they were last
// written. Listed in parts, a folder of any size is read in little memory.
FolderListing ListOrderFiles(const QString& folder, const QString& extension, qint64 minAgeMs, const QDateTime& now,
                             const QString& after = QString(), qsizetype limit = 2000);

// True when the last three characters of a name (all of a shorter one) equal the extension,
// both lower-cased.
bool HasImportExtension(const QString& fileName, const QString& extension);

// The claim name of a file: it names the claimant and, where the whole name stays within what
// every file system takes, the original name; a longer name is cut and marked with a short
// stable suffix, so that claim names never grow with the original.
QString ClaimFileName(const Claimant& claimant, const QString& fileName);

struct ClaimAttempt {
    QString path;  // the claim's path; empty when the file was not claimed
    QString error; // why not, when it was neither claimed nor taken by another process
};

// Takes a file out of the others' reach by renaming it, in the same folder, to its claim
// name. A file another process was quicker to take (or that is gone) gives neither a path
// nor an error.
ClaimAttempt ClaimOrderFile(const QString& folder, const OrderFile& file, const Claimant& claimant);
ClaimAttempt ClaimOrderFile(const QString& folder, const QString& fileName, const Claimant& claimant);

// A claim found in the folder.
struct FoundClaim {
    QString path;
    QString claimName;
    QString name; // the original name as far as the claim name keeps it
};

// Claims left behind that this process must settle: its own from an earlier cycle, those of
// a process of this machine that no longer runs, and any older than staleAfterMs.
QList<FoundClaim> LeftClaims(const QString& folder, const Claimant& claimant, qint64 staleAfterMs,
                             const std::function<bool(qint64)>& isAlive);

// Files that failed but could not be moved into the error folder, set aside in the import
// folder under a marked name that no cycle lists as an order.
QString SetAsideFailed(const QString& claimPath, const Claimant& claimant, const QString& fileName);
QList<FoundClaim> SetAsideFiles(const QString& folder);

// Gives a claimed file back under its own name (or the first free prefixed name).
bool ReleaseClaim(const QString& claimPath, const QString& folder, const QString& fileName);

// Moves a file into a folder under its name, or, when that is taken, under the first free
// name of 0name ... 999name. Never replaces a file. Returns the new path; nothing when all
// 1000 names are taken (the file stays where it is). Throws a FileError when the move fails
// for another reason.
std::optional<QString> FileInto(const QString& sourcePath, const QString& targetFolder, const QString& fileName);

// The original name of a claim's file name, empty for a name that is no claim.
QString ClaimedName(const QString& fileName);

} // namespace kestrin
