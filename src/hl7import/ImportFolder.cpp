#include "hl7import/ImportFolder.h"

#include "core/TextChecks.h"

#include <QCryptographicHash>
#include <QFile>

#include <algorithm>
#include <tuple>
#include <vector>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// .kestrin-claim#host#pid#claimed-at-ms#original name: the three parts before the name
// hold no "#", so the name may.
const QString kClaimPrefix = u".kestrin-claim#"_s;
const QString kFailedPrefix = u".kestrin-failed#"_s;
constexpr int kMaxPrefix = 1000;
// Every common file system takes 255 bytes; a little is left for the prefixes of "Done".
constexpr qsizetype kMaxClaimBytes = 240;
constexpr qsizetype kMaxHostLength = 32;
constexpr qsizetype kMaxFileNameBytes = 255;
constexpr qsizetype kMaxExtensionLength = 16; // the dot included

struct ClaimInfo {
    QString host;
    qint64 pid = 0;
    qint64 claimedAtMs = 0;
    QString name;
};

std::optional<ClaimInfo> parseMarked(const QString& fileName, const QString& prefix)
{
    if (!fileName.startsWith(prefix))
        return std::nullopt;
    const QStringView rest = QStringView(fileName).mid(prefix.size());
    const qsizetype a = rest.indexOf(u'#');
    const qsizetype b = a < 0 ? -1 : rest.indexOf(u'#', a + 1);
    const qsizetype c = b < 0 ? -1 : rest.indexOf(u'#', b + 1);
    if (c < 0)
        return std::nullopt;
    ClaimInfo info;
    info.host = rest.left(a).toString();
    info.pid = rest.mid(a + 1, b - a - 1).toLongLong();
    info.claimedAtMs = rest.mid(b + 1, c - b - 1).toLongLong();
    info.name = rest.mid(c + 1).toString();
    return info;
}

QString safeHost(const QString& host)
{
    QString h = host.left(kMaxHostLength);
    h.replace(u'#', u'_').replace(u'/', u'_').replace(u'\\', u'_');
    return h.isEmpty() ? u"host"_s : h;
}

// `head` + the file's name in at most `maxBytes`: a name too long loses the end of its stem,
// not its extension, and gets "~" and a hash of the whole name, so names stay apart.
QString boundedName(const QString& head, const QString& fileName, qsizetype maxBytes)
{
    if (QFile::encodeName(head + fileName).size() <= maxBytes)
        return head + fileName;
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString extension = dot > 0 && fileName.size() - dot <= kMaxExtensionLength ? fileName.mid(dot) : QString();
    const QString suffix = u'~' +
        QString::fromLatin1(QCryptographicHash::hash(fileName.toUtf8(), QCryptographicHash::Sha1).toHex().left(8)) +
        extension;
    QString kept = fileName.left(fileName.size() - extension.size());
    while (!kept.isEmpty() && QFile::encodeName(head + kept + suffix).size() > maxBytes)
        kept.chop(kept.size() >= 2 && kept.at(kept.size() - 1).isLowSurrogate() ? 2 : 1);
    return head + kept + suffix;
}

QString markedName(const QString& prefix, const Claimant& claimant, const QString& fileName)
{
    const QString head = prefix + safeHost(claimant.host) + u'#' + QString::number(claimant.pid) + u'#' +
        QString::number(claimant.now.toMSecsSinceEpoch()) + u'#';
    return boundedName(head, fileName, kMaxClaimBytes);
}

// The names with a prefix that are text (made by Kestrin) and no folder.
QList<FoundClaim> marked(const FolderHandle& folder, const QString& prefix)
{
    QList<FoundClaim> found;
    folder.forEachName([&](const QString& name, const QByteArray& bytes) {
        if (!name.startsWith(prefix) || QFile::encodeName(name) != bytes)
            return;
        const auto info = parseMarked(name, prefix);
        const auto entry = folder.entry(bytes);
        if (info && entry && entry->kind != FolderHandle::Kind::Folder)
            found.append({folder.filePath(name), name, info->name});
    });
    std::sort(found.begin(), found.end(),
              [](const FoundClaim& a, const FoundClaim& b) { return a.claimName < b.claimName; });
    return found;
}

QString moveError(const QString& error) { return error.isEmpty() ? u"the file system refuses it"_s : error; }

bool isOrderName(const QString& name, const QString& extension)
{
    return !name.startsWith(kClaimPrefix) && !name.startsWith(kFailedPrefix) && HasImportExtension(name, extension);
}

} // namespace

bool HasImportExtension(const QString& fileName, const QString& extension)
{
    return fileName.right(3).toLower() == extension.toLower();
}

QString ClaimedName(const QString& fileName)
{
    const auto info = parseMarked(fileName, kClaimPrefix);
    return info ? info->name : QString();
}

QString NotAnOrderFile(const FolderHandle::Entry& entry)
{
    switch (entry.kind) {
    case FolderHandle::Kind::File:
        return entry.links > 1 ? u"a file with %1 names (hard links)"_s.arg(entry.links) : QString();
    case FolderHandle::Kind::Link:
        return u"a link"_s;
    case FolderHandle::Kind::Other:
        return u"a device, pipe or socket"_s;
    case FolderHandle::Kind::Folder:
        break;
    }
    return {};
}

FolderListing ListOrderFiles(const FolderHandle& folder, const QString& extension, qint64 minAgeMs,
                             const QDateTime& now, const OrderFile& after, qsizetype limit)
{
    // The `limit` first names after `after`, kept in a bounded heap while the folder is read:
    // a folder of many thousand orders costs the memory of a few hundred names. Two names that
    // show as the same text are told apart by their bytes.
    const auto byName = [](const OrderFile& a, const OrderFile& b) {
        return std::tie(a.name, a.bytes) < std::tie(b.name, b.bytes);
    };
    std::vector<OrderFile> first;
    const auto consider = [&](OrderFile file) {
        if (!isOrderName(file.name, extension) || !byName(after, file))
            return;
        if (qsizetype(first.size()) == limit) {
            if (!byName(file, first.front()))
                return;
            std::pop_heap(first.begin(), first.end(), byName);
            first.pop_back();
        }
        first.push_back(std::move(file));
        std::push_heap(first.begin(), first.end(), byName);
    };
    FolderListing listing;
    listing.error = folder.forEachName([&](const QString& name, const QByteArray& bytes) {
        consider({name, bytes, {}});
    });
    std::sort_heap(first.begin(), first.end(), byName);

    listing.last = first.empty() ? after : first.back();
    listing.end = qsizetype(first.size()) < limit;
    const qint64 nowMs = now.toMSecsSinceEpoch();
    for (OrderFile& file : first) {
        const std::optional<FolderHandle::Entry> entry = folder.entry(file.bytes);
        if (!entry)
            continue; // taken by another station since
        if (entry->kind == FolderHandle::Kind::Folder) {
            listing.folders << file.name;
            continue;
        }
        // A file still being written by the sender waits for the next cycle; so does a second
        // name, which may be a moment of a delivery by link and unlink.
        const bool young =
            nowMs - entry->modifiedMs < minAgeMs || (entry->links > 1 && nowMs - entry->changedMs < minAgeMs);
        if (minAgeMs > 0 && young)
            continue;
        file.refusal = NotAnOrderFile(*entry);
        listing.files.append(std::move(file));
    }
    return listing;
}

QString ClaimFileName(const Claimant& claimant, const QString& fileName)
{
    return markedName(kClaimPrefix, claimant, fileName);
}

qsizetype MaxClaimNameBytes() { return kMaxClaimBytes; }

ClaimAttempt ClaimOrderFile(const FolderHandle& folder, const OrderFile& file, const Claimant& claimant)
{
    const QString claimName = ClaimFileName(claimant, file.name);
    QString error;
    switch (folder.moveNoReplace(file.bytes, folder, claimName, &error)) {
    case MoveResult::Moved:
        return {folder.filePath(claimName), claimName, {}};
    case MoveResult::SourceGone: // another station was quicker
        return {};
    case MoveResult::TargetExists:
        return {{}, {}, u"the claim name %1 is taken"_s.arg(ShownFileName(claimName))};
    case MoveResult::Failed:
        break;
    }
    return {{}, {}, moveError(error)};
}

ClaimAttempt ClaimOrderFile(const QString& folder, const QString& fileName, const Claimant& claimant)
{
    const FolderHandle opened = FolderHandle::Open(folder);
    if (!opened.isOpen())
        return {}; // no folder, no file to claim
    return ClaimOrderFile(opened, OrderFile{fileName, QFile::encodeName(fileName), {}}, claimant);
}

QList<FoundClaim> LeftClaims(const FolderHandle& folder, const Claimant& claimant, qint64 staleAfterMs,
                             const std::function<bool(qint64)>& isAlive)
{
    QList<FoundClaim> left;
    for (const FoundClaim& claim : marked(folder, kClaimPrefix)) {
        const auto info = parseMarked(claim.claimName, kClaimPrefix);
        const bool thisHost = info->host == safeHost(claimant.host);
        const bool ownEarlier = thisHost && info->pid == claimant.pid;
        const bool deadHere = thisHost && info->pid != claimant.pid && !isAlive(info->pid);
        const bool stale = claimant.now.toMSecsSinceEpoch() - info->claimedAtMs > staleAfterMs;
        if (ownEarlier || deadHere || stale)
            left.append(claim);
    }
    return left;
}

Filing SetAsideFailed(const FolderHandle& folder, const QString& claimName, const Claimant& claimant,
                      const QString& fileName)
{
    QString error;
    switch (folder.moveNoReplace(claimName, folder, markedName(kFailedPrefix, claimant, fileName), &error)) {
    case MoveResult::Moved:
        return {Filing::Result::Filed, fileName, {}};
    case MoveResult::SourceGone:
        return {Filing::Result::Gone, fileName, {}};
    case MoveResult::TargetExists:
        return {Filing::Result::NamesTaken, fileName, {}};
    case MoveResult::Failed:
        break;
    }
    return {Filing::Result::Failed, fileName, moveError(error)};
}

QList<FoundClaim> SetAsideFiles(const FolderHandle& folder) { return marked(folder, kFailedPrefix); }

QList<FoundClaim> SetAsideFiles(const QString& folder) { return SetAsideFiles(FolderHandle::Open(folder)); }

bool ReleaseClaim(const FolderHandle& folder, const QString& claimName, const QString& fileName)
{
    return FileInto(folder, claimName, folder, fileName).result == Filing::Result::Filed;
}

Filing FileInto(const FolderHandle& from, const QString& name, const FolderHandle& to, const QString& fileName)
{
    const QByteArray source = QFile::encodeName(name);
    for (int prefix = -1; prefix < kMaxPrefix; ++prefix) {
        const QString candidate =
            boundedName(prefix < 0 ? QString() : QString::number(prefix), fileName, kMaxFileNameBytes);
        QString error;
        switch (from.moveNoReplace(source, to, candidate, &error)) {
        case MoveResult::Moved:
            return {Filing::Result::Filed, fileName, {}};
        case MoveResult::TargetExists:
            continue;
        case MoveResult::SourceGone:
            return {Filing::Result::Gone, fileName, {}};
        case MoveResult::Failed:
            return {Filing::Result::Failed, fileName, moveError(error)};
        }
    }
    return {Filing::Result::NamesTaken, fileName, {}};
}

} // namespace kestrin
