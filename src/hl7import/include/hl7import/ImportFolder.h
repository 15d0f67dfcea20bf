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

// The order files to take from a folder, sorted by name: names whose last three
// characters equal the extension without regard to case (claims excluded), whose file has
// rested at least minAgeMs since it was last written.
QStringList ListOrderFiles(const QString& folder, const QString& extension, qint64 minAgeMs, const QDateTime& now);

// True when the last three characters of a name (all of a shorter one) equal the extension,
// both lower-cased.
bool HasImportExtension(const QString& fileName, const QString& extension);

// Takes a file out of the others' reach by renaming it, in the same folder, to a claim name
// that names the claimant. Returns the claim's path, or nothing when another process was
// quicker (or the file is gone).
std::optional<QString> ClaimOrderFile(const QString& folder, const QString& fileName, const Claimant& claimant);

// Gives files back to the folder whose claims were left behind: by a process of this
// machine that no longer runs, or by any process when older than staleAfterMs. Returns the
// names given back.
QStringList ReleaseStaleClaims(const QString& folder, const Claimant& claimant, qint64 staleAfterMs,
                               const std::function<bool(qint64)>& isAlive);

// Gives a claimed file back under its own name (or the first free prefixed name).
bool ReleaseClaim(const QString& claimPath, const QString& folder, const QString& fileName);

// Moves a file into a folder under its name, or, when that is taken, under the first free
// name of 0name ... 999name. Never replaces a file. Returns the new path; nothing when all
// 1000 names are taken (the file stays where it is). Throws a FileError when the
// move fails for another reason.
std::optional<QString> FileInto(const QString& sourcePath, const QString& targetFolder, const QString& fileName);

// The original name of a claim's file name, empty for a name that is no claim.
QString ClaimedName(const QString& fileName);

} // namespace kestrin
