#include "hl7import/ImportFolder.h"

#include "core/DurableFiles.h"
#include "core/Error.h"
#include "hl7import/NativeFileNames.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
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

QList<FoundClaim> marked(const QString& folder, const QString& prefix)
{
    QList<FoundClaim> found;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({prefix + u'*'}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name)) {
        if (const auto info = parseMarked(name, prefix))
            found.append({dir.filePath(name), name, info->name});
    }
    return found;
}

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

FolderListing ListOrderFiles(const QString& folder, const QString& extension, qint64 minAgeMs, const QDateTime& now,
                             const QString& after, qsizetype limit)
{
    // The `limit` first names after `after`, kept in a bounded heap while the folder is read:
    // a folder of many thousand orders costs the memory of a few hundred names.
    const auto byName = [](const OrderFile& a, const OrderFile& b) { return a.name < b.name; };
    std::vector<OrderFile> first;
    const auto consider = [&](OrderFile file) {
        if (!isOrderName(file.name, extension) || file.name <= after)
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
    listing.error = ForEachFileName(folder, [&](const QString& name, const QByteArray& native) {
        consider({name, native});
    });
    std::sort_heap(first.begin(), first.end(), byName);

    listing.last = first.empty() ? after : first.back().name;
    const QDir dir(folder);
    for (OrderFile& file : first) {
        if (file.nativeName.isEmpty()) {
            const QFileInfo info(dir.filePath(file.name));
            if (!info.exists())
                continue; // no text name reaches it: it is listed by its bytes
            if (!info.isFile()) {
                listing.notRegular << file.name;
                continue;
            }
            // A file still being written by the sender waits for the next cycle.
            if (minAgeMs > 0 && info.lastModified().msecsTo(now) < minAgeMs)
                continue;
        }
        listing.files.append(std::move(file));
    }
    return listing;
}

QString ClaimFileName(const Claimant& claimant, const QString& fileName)
{
    return markedName(kClaimPrefix, claimant, fileName);
}

ClaimAttempt ClaimOrderFile(const QString& folder, const OrderFile& file, const Claimant& claimant)
{
    const QDir dir(folder);
    const QString claimName = ClaimFileName(claimant, file.name);
    QString error;
    if (!file.nativeName.isEmpty()) {
        if (RenameNativeName(folder, file.nativeName, claimName, &error))
            return {dir.filePath(claimName), {}};
        return {{}, error};
    }
    switch (MoveNoReplace(dir.filePath(file.name), dir.filePath(claimName), &error)) {
    case MoveResult::Moved:
        return {dir.filePath(claimName), {}};
    case MoveResult::SourceGone: // another station was quicker
        return {};
    case MoveResult::TargetExists:
        return {{}, u"the claim name %1 is taken"_s.arg(claimName)};
    case MoveResult::Failed:
        break;
    }
    return {{}, error};
}

ClaimAttempt ClaimOrderFile(const QString& folder, const QString& fileName, const Claimant& claimant)
{
    return ClaimOrderFile(folder, OrderFile{fileName, {}}, claimant);
}

QList<FoundClaim> LeftClaims(const QString& folder, const Claimant& claimant, qint64 staleAfterMs,
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

QString SetAsideFailed(const QString& claimPath, const Claimant& claimant, const QString& fileName)
{
    const QFileInfo claim(claimPath);
    const QString target = claim.absoluteDir().filePath(markedName(kFailedPrefix, claimant, fileName));
    QString error;
    if (MoveNoReplace(claimPath, target, &error) != MoveResult::Moved)
        throw FileError(u"%1 cannot be set aside as %2: %3"_s.arg(claimPath, target, error));
    return target;
}

QList<FoundClaim> SetAsideFiles(const QString& folder) { return marked(folder, kFailedPrefix); }

bool ReleaseClaim(const QString& claimPath, const QString& folder, const QString& fileName)
{
    try {
        return FileInto(claimPath, folder, fileName).has_value();
    } catch (const FileError&) {
        return false;
    }
}

std::optional<QString> FileInto(const QString& sourcePath, const QString& targetFolder, const QString& fileName)
{
    const QDir target(targetFolder);
    for (int prefix = -1; prefix < kMaxPrefix; ++prefix) {
        const QString candidate =
            target.filePath(boundedName(prefix < 0 ? QString() : QString::number(prefix), fileName, kMaxFileNameBytes));
        QString error;
        switch (MoveNoReplace(sourcePath, candidate, &error)) {
        case MoveResult::Moved:
            return candidate;
        case MoveResult::TargetExists:
            continue;
        case MoveResult::SourceGone:
            error = u"the file is gone"_s;
            break;
        case MoveResult::Failed:
            break;
        }
        throw FileError(u"%1 cannot be moved to %2: %3"_s.arg(sourcePath, candidate, error));
    }
    return std::nullopt;
}

} // namespace kestrin
