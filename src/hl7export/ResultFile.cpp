#include "hl7export/ResultFile.h"

#include "core/DurableFiles.h"
#include "core/Error.h"
#include "core/TextCodec.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

[[noreturn]] void fail(const QString& what, const QFile& file)
{
    throw FileError(u"%1 %2: %3"_s.arg(what, file.fileName(), file.errorString()));
}

// A work file is removed when the scope that made it ends, published or not; after a
// successful rename there is nothing left to remove.
class WorkFile {
public:
    explicit WorkFile(QString path)
        : m_path(std::move(path))
    {
    }
    ~WorkFile() { QFile::remove(m_path); }
    WorkFile(const WorkFile&) = delete;
    WorkFile& operator=(const WorkFile&) = delete;
    const QString& path() const { return m_path; }

private:
    QString m_path;
};

QString hostPart(const QString& host)
{
    static const QRegularExpression unsafe(u"[^A-Za-z0-9_-]"_s);
    QString part = host;
    part.replace(unsafe, u"_"_s);
    return part.isEmpty() ? u"host"_s : part;
}

// ".kestrin.<machine>.<process>": whose work file it is, so that a later process knows
// whether its maker still runs.
QString workTag(const QString& host, qint64 pid)
{
    return u".kestrin."_s + hostPart(host) + u'.' + QString::number(pid);
}

struct WorkFileOwner {
    QString host;
    qint64 pid = 0;
};

std::optional<WorkFileOwner> workFileOwner(const QString& fileName, const QString& suffix)
{
    static const QRegularExpression tag(u"\\.kestrin\\.([A-Za-z0-9_-]+)\\.(\\d+)\\.(tmp|part)$"_s);
    const QRegularExpressionMatch match = tag.match(fileName);
    if (!match.hasMatch() || match.captured(3) != suffix)
        return std::nullopt;
    return WorkFileOwner{match.captured(1), match.captured(2).toLongLong()};
}

// MSH-10 of a result file already in the export folder; empty when it holds no message.
QString publishedControlId(const QString& path, const TextCodec& codec)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(4096);
    const qsizetype end = head.indexOf('\r');
    const QString msh = codec.decode(end < 0 ? head : head.left(end));
    if (!msh.startsWith(u"MSH|"))
        return {};
    return msh.split(u'|').value(9);
}

// Copies into the export folder under a hidden name no receiver takes, forced to disk,
// then renames it into place.
void copyIntoPlace(const QString& temporary, const QString& finalPath, const QString& tag)
{
    const QFileInfo target(finalPath);
    const WorkFile staging(target.absoluteDir().filePath(u"."_s + target.fileName() + tag + u".part"_s));
    QFile::remove(staging.path());
    if (!QFile::copy(temporary, staging.path()))
        throw FileError(u"The result file cannot be copied to %1."_s.arg(staging.path()));
    QFile copy(staging.path());
    if (!copy.open(QIODevice::ReadWrite) || !SyncToDisk(copy))
        fail(u"The result file cannot be forced to disk:"_s, copy);
    copy.close();
    if (!RenameReplacing(staging.path(), finalPath))
        throw FileError(u"The result file cannot be renamed to %1."_s.arg(finalPath));
}

bool cannotStandInName(QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f || u"/\\:*?\"<>|"_s.contains(c); }

bool isWindowsDeviceName(const QString& name)
{
    static const QRegularExpression device(u"^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\\..*)?$"_s,
                                           QRegularExpression::CaseInsensitiveOption);
    return device.match(name).hasMatch();
}

} // namespace

QString ResultFileName(const QString& leader, const QString& sampleId, const QString& extension)
{
    QString safe = sampleId;
    bool replaced = false;
    for (QChar& c : safe) {
        if (cannotStandInName(c)) {
            c = u'_';
            replaced = true;
        }
    }
    // Windows drops a name's trailing dots and blanks ("A." would be the file of "A"), and
    // a name of dots alone is a folder.
    if (extension.isEmpty()) {
        for (qsizetype i = safe.size() - 1; i >= 0 && (safe.at(i) == u'.' || safe.at(i) == u' '); --i) {
            safe[i] = u'_';
            replaced = true;
        }
    }
    if (leader.isEmpty() && !safe.isEmpty() && isWindowsDeviceName(safe + extension)) {
        safe[0] = u'_';
        replaced = true;
    }
    if (replaced) {
        const QByteArray digest = QCryptographicHash::hash(sampleId.toUtf8(), QCryptographicHash::Sha1);
        safe += u'~' + QString::fromLatin1(digest.toHex().left(8));
    }
    return leader + safe + extension;
}

ResultFiles::ResultFiles(Context& ctx)
    : m_ctx(ctx)
    , m_codec(ctx.config.Charset)
    // A name of this machine's process: no second exporter writes into the same file, and a
    // later process can tell whether its maker still runs.
    , m_tag(workTag(ctx.config.ComputerName, QCoreApplication::applicationPid()))
{
}

ResultFiles::Written ResultFiles::write(const QString& sampleId, const ResultMessage& message)
{
    const AppConfig& c = m_ctx.config;
    m_ctx.log.logall(u"Start Export f\u00fcr Probe: "_s + sampleId, LogDirection::Monitor);
    const QString name = ResultFileName(c.ExportLeader, sampleId, c.ExportExtension);
    Written written{sampleId, message.msh.split(u'|').value(9), c.TempExportPath + name + m_tag + u".tmp"_s,
                    c.ExportPath + name};
    QFile file(written.temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(u"The result file cannot be written:"_s, file);
    QByteArray bytes;
    for (const QString& line : message.lines()) {
        bytes += m_codec.encode(line) + "\r\n";
        m_ctx.log.logall(line, LogDirection::ResultOut);
    }
    if (file.write(bytes) != bytes.size()) {
        file.close();
        QFile::remove(written.temporary);
        fail(u"The result file cannot be written:"_s, file);
    }
    return written;
}

bool ResultFiles::makeDurable(const QList<Written>& files)
{
    QStringList paths;
    for (const Written& file : files)
        paths << file.temporary;
    return SyncFiles(paths);
}

QString ResultFiles::publish(const Written& written)
{
    // Names can meet (a case-blind file system, a suffix that repeats): the other sample's
    // file stays until the receiving system has taken it, and this one waits for that.
    const QString otherId = publishedControlId(written.final, m_codec);
    if (!otherId.isEmpty() && otherId != written.controlId)
        throw FileError(u"%1 holds the result of sample %2; it is not replaced."_s.arg(written.final, otherId));
    // On one file system the rename is the copy and the delete in one atomic step.
    if (!RenameReplacing(written.temporary, written.final)) {
        copyIntoPlace(written.temporary, written.final, m_tag);
        QFile::remove(written.temporary);
    }
    m_ctx.log.logall(u"Export abgeschlossen f\u00fcr Probe: "_s + written.sampleId + u"/Datei: "_s + written.final,
                     LogDirection::Monitor);
    return written.final;
}

void ResultFiles::discard(const Written& written) { QFile::remove(written.temporary); }

QString WriteResultFile(Context& ctx, const QString& sampleId, const ResultMessage& message)
{
    ResultFiles files(ctx);
    const ResultFiles::Written written = files.write(sampleId, message);
    const WorkFile temporary(written.temporary);
    if (!files.makeDurable({written}))
        throw FileError(u"The result file %1 cannot be forced to disk."_s.arg(written.temporary));
    return files.publish(written);
}

QStringList RemoveStaleResultFiles(const AppConfig& config, qint64 ownPid, const QDateTime& now,
                                   const std::function<bool(qint64)>& isAlive, qint64 staleAfterMs)
{
    QStringList removed;
    const QString host = hostPart(config.ComputerName);
    const auto sweep = [&](const QString& folder, const QString& pattern, const QString& suffix) {
        if (folder.isEmpty())
            return;
        const QDir dir(folder);
        for (const QFileInfo& info : dir.entryInfoList({pattern}, QDir::Files | QDir::Hidden)) {
            const auto owner = workFileOwner(info.fileName(), suffix);
            if (!owner)
                continue;
            const bool abandoned = owner->host == host ? owner->pid == ownPid || !isAlive(owner->pid)
                                                       : info.lastModified().msecsTo(now) > staleAfterMs;
            if (abandoned && QFile::remove(info.filePath()))
                removed << info.fileName();
        }
    };
    sweep(config.TempExportPath, u"*.kestrin.*.tmp"_s, u"tmp"_s);
    sweep(config.ExportPath, u".*.kestrin.*.part"_s, u"part"_s);
    return removed;
}

} // namespace kestrin
