#pragma once

#include "core/FolderHandle.h"

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
    QString name;     // as text; a byte that is no text in the file-name encoding shows as "_"
    QByteArray bytes; // the name as the folder holds it
    // What it is when it is no order file to read (a link, a device, a file of several names):
    // it is taken out of the folder all the same, into "EinleseFehler", unread.
    QString refusal;
};

struct FolderListing {
    QList<OrderFile> files; // to take, sorted by name
    QStringList folders;    // folders with an order file's name: they stay where they are
    OrderFile last;         // the last name looked at: the next listing goes on after it
    bool end = false;       // nothing comes after `last`
    QString error;          // why the folder could not be read; empty when it could
};

// The next order files to take from a folder, sorted by name: at most `limit` names after
// `after`, whose last three characters equal the extension without regard to case (claims
// excluded), that have rested at least minAgeMs. Every name is looked at by its bytes, without
// following a link, whatever those bytes are. Listed in parts, a folder of any size is read in
// little memory.
FolderListing ListOrderFiles(const FolderHandle& folder, const QString& extension, qint64 minAgeMs,
                             const QDateTime& now, const OrderFile& after = {}, qsizetype limit = 2000);

// True when the last three characters of a name (all of a shorter one) equal the extension,
// both lower-cased.
bool HasImportExtension(const QString& fileName, const QString& extension);

// What a name is that is no order file to read: "a link", "a device, pipe or socket", "a file
// with 2 names (hard links)"; empty for a regular file of one name (and for a folder).
QString NotAnOrderFile(const FolderHandle::Entry& entry);

// The claim name of a file: it names the claimant and, where the whole name stays within what
// every file system takes, the original name; a longer name is cut and marked with a short
// stable suffix, so that claim names never grow with the original.
QString ClaimFileName(const Claimant& claimant, const QString& fileName);
// The longest a claim name gets, in bytes.
qsizetype MaxClaimNameBytes();

struct ClaimAttempt {
    QString path;  // the claim's path; empty when the file was not claimed
    QString name;  // the claim's name
    QString error; // why not, when it was neither claimed nor taken by another process
};

// Takes a file out of the others' reach by renaming it, in the same folder, to its claim
// name. A file another process was quicker to take (or that is gone) gives neither a path
// nor an error.
ClaimAttempt ClaimOrderFile(const FolderHandle& folder, const OrderFile& file, const Claimant& claimant);
ClaimAttempt ClaimOrderFile(const QString& folder, const QString& fileName, const Claimant& claimant);

// A claim found in the folder.
struct FoundClaim {
    QString path;
    QString claimName;
    QString name; // the original name as far as the claim name keeps it
};

// Claims left behind that this process must settle: its own from an earlier cycle, those of
// a process of this machine that no longer runs, and any older than staleAfterMs.
QList<FoundClaim> LeftClaims(const FolderHandle& folder, const Claimant& claimant, qint64 staleAfterMs,
                             const std::function<bool(qint64)>& isAlive);

// How moving a file into a folder ended.
struct Filing {
    enum class Result {
        Filed,
        NamesTaken, // 1000 names of it are taken: the file stays where it was
        Gone,       // another program took the file away
        Failed,
    };
    Result result = Result::Failed;
    QString name;  // the file's own name
    QString error; // why, when it failed
};

// Files that failed but could not be moved into the error folder, set aside in the import
// folder under a marked name that no cycle lists as an order.
Filing SetAsideFailed(const FolderHandle& folder, const QString& claimName, const Claimant& claimant,
                      const QString& fileName);
QList<FoundClaim> SetAsideFiles(const FolderHandle& folder);
QList<FoundClaim> SetAsideFiles(const QString& folder);

// Gives a claimed file back under its own name (or the first free prefixed name).
bool ReleaseClaim(const FolderHandle& folder, const QString& claimName, const QString& fileName);

// Moves the file `name` of one folder into another under its own name `fileName`, or, when
// that is taken, under the first free name of 0name ... 999name. Never replaces a file.
Filing FileInto(const FolderHandle& from, const QString& name, const FolderHandle& to, const QString& fileName);

// The original name of a claim's file name, empty for a name that is no claim.
QString ClaimedName(const QString& fileName);

} // namespace kestrin
