#include "hl7import/ImportFolder.h"

#include "core/Error.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// .kestrin-claim#host#pid#claimed-at-ms#original name: the three parts before the name
// hold no "#", so the name may.
const QString kClaimPrefix = u".kestrin-claim#"_s;
constexpr int kMaxPrefix = 1000;

struct ClaimInfo {
    QString host;
    qint64 pid = 0;
    qint64 claimedAtMs = 0;
    QString name;
};

std::optional<ClaimInfo> parseClaim(const QString& fileName)
{
    if (!fileName.startsWith(kClaimPrefix))
        return std::nullopt;
    const QStringView rest = QStringView(fileName).mid(kClaimPrefix.size());
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
    QString h = host;
    h.replace(u'#', u'_').replace(u'/', u'_').replace(u'\\', u'_');
    return h.isEmpty() ? u"host"_s : h;
}

} // namespace

bool HasImportExtension(const QString& fileName, const QString& extension)
{
    return fileName.right(3).toLower() == extension.toLower();
}

QString ClaimedName(const QString& fileName)
{
    const auto info = parseClaim(fileName);
    return info ? info->name : QString();
}

QStringList ListOrderFiles(const QString& folder, const QString& extension, qint64 minAgeMs, const QDateTime& now)
{
    // Names only, one file at a time: a folder of many thousand orders costs little memory.
    QStringList names;
    QDirIterator files(folder, QDir::Files | QDir::Hidden);
    while (files.hasNext()) {
        files.next();
        const QString name = files.fileName();
        if (name.startsWith(kClaimPrefix) || !HasImportExtension(name, extension))
            continue;
        // A file still being written by the sender waits for the next cycle.
        if (minAgeMs > 0 && files.fileInfo().lastModified().msecsTo(now) < minAgeMs)
            continue;
        names << name;
    }
    names.sort();
    return names;
}

std::optional<QString> ClaimOrderFile(const QString& folder, const QString& fileName, const Claimant& claimant)
{
    const QDir dir(folder);
    const QString claimName = kClaimPrefix + safeHost(claimant.host) + u'#' + QString::number(claimant.pid) + u'#' +
        QString::number(claimant.now.toMSecsSinceEpoch()) + u'#' + fileName;
    const QString claimPath = dir.filePath(claimName);
    if (!QFile::rename(dir.filePath(fileName), claimPath))
        return std::nullopt;
    return claimPath;
}

bool ReleaseClaim(const QString& claimPath, const QString& folder, const QString& fileName)
{
    try {
        return FileInto(claimPath, folder, fileName).has_value();
    } catch (const FileError&) {
        return false;
    }
}

QStringList ReleaseStaleClaims(const QString& folder, const Claimant& claimant, qint64 staleAfterMs,
                               const std::function<bool(qint64)>& isAlive)
{
    QStringList released;
    const QDir dir(folder);
    const QStringList claims = dir.entryList({kClaimPrefix + u'*'}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& claimName : claims) {
        const auto info = parseClaim(claimName);
        if (!info)
            continue;
        const bool thisHost = info->host == safeHost(claimant.host);
        const bool ownEarlier = thisHost && info->pid == claimant.pid;
        const bool deadHere = thisHost && info->pid != claimant.pid && !isAlive(info->pid);
        const bool stale = claimant.now.toMSecsSinceEpoch() - info->claimedAtMs > staleAfterMs;
        if ((ownEarlier || deadHere || stale) && ReleaseClaim(dir.filePath(claimName), folder, info->name))
            released << info->name;
    }
    return released;
}

std::optional<QString> FileInto(const QString& sourcePath, const QString& targetFolder, const QString& fileName)
{
    const QDir target(targetFolder);
    for (int prefix = -1; prefix < kMaxPrefix; ++prefix) {
        const QString candidate = target.filePath(prefix < 0 ? fileName : QString::number(prefix) + fileName);
        if (QFileInfo::exists(candidate))
            continue;
        QFile source(sourcePath);
        // rename never replaces a file: when another process took the name meanwhile, go on.
        if (source.rename(candidate))
            return candidate;
        if (!QFileInfo::exists(candidate))
            throw FileError(u"%1 cannot be moved to %2: %3"_s.arg(sourcePath, candidate, source.errorString()));
    }
    return std::nullopt;
}

} // namespace kestrin
