#include "hl7export/ResultFile.h"

#include "FixedTexts.h"
#include "core/DurableFiles.h"
#include "core/Error.h"
#include "core/ProcessAlive.h"
#include "core/TextCodec.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

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

std::optional<WorkOwner> workFileOwner(const QString& fileName, const QString& suffix)
{
    static const QRegularExpression tag(u"\\.kestrin\\.([A-Za-z0-9_-]+)\\.(\\d+)\\.(tmp|part)$"_s);
    const QRegularExpressionMatch match = tag.match(fileName);
    if (!match.hasMatch() || match.captured(3) != suffix)
        return std::nullopt;
    return WorkOwner{match.captured(1), match.captured(2).toLongLong()};
}

// MSH-10 of a result file already in the export folder; empty when it holds no message.
QString publishedControlId(const QString& path, const TextCodec& codec)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(4096);
    const qsizetype end = head.indexOf('\r');
    const QList<Hl7Message> messages = ReadHl7(codec.decode(end < 0 ? head : head.left(end)));
    if (messages.isEmpty() || messages.first().segment(0).name() != u"MSH")
        return {};
    return messages.first().segment(0).field(10);
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
    // The leader may begin the device's name too: "COM" and sample 1 would be a serial port.
    if (!safe.isEmpty() && isWindowsDeviceName(leader + safe + extension)) {
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
    const QString name = ResultFileName(c.ExportLeader, sampleId, c.ExportExtension);
    const QFileInfo target(c.ExportPath + name);
    Written written{sampleId,
                    message.lines(),
                    m_codec.encode(PrintHl7(message.hl7, u"\r\n")),
                    message.controlId(),
                    c.TempExportPath + name + m_tag + u".tmp"_s,
                    target.absoluteDir().filePath(u"."_s + target.fileName() + m_tag + u".part"_s),
                    target.filePath()};
    if (const QString error = WriteWholeFile(written.temporary, written.bytes, false); !error.isEmpty())
        throw ExportFolderError(ExportFolderError::Folder::Temporary, error);
    return written;
}

void ResultFiles::makeDurable(const QList<Written>& files)
{
    QStringList paths;
    for (const Written& file : files)
        paths << file.temporary;
    if (!SyncFiles(paths))
        throw ExportFolderError(ExportFolderError::Folder::Temporary, u"the files cannot be forced to disk"_s);
}

void ResultFiles::stage(const Written& written)
{
    if (QFileInfo(written.final).isDir())
        throw FileError(u"A folder holds the name %1."_s.arg(written.final));
    // Names can meet (a case-blind file system, a suffix that repeats): the other sample's
    // file stays until the receiving system has taken it, and this one waits for that.
    const QString otherId = publishedControlId(written.final, m_codec);
    if (!otherId.isEmpty() && otherId != written.controlId)
        throw FileError(u"%1 holds the result of sample %2; it is not replaced."_s.arg(written.final, otherId));
    if (RenameReplacing(written.temporary, written.staged))
        return;
    // Another file system: a second copy, forced to disk before it is renamed into place.
    if (const QString error = WriteWholeFile(written.staged, written.bytes, true); !error.isEmpty())
        throw ExportFolderError(ExportFolderError::Folder::Export, error);
    QFile::remove(written.temporary);
}

void ResultFiles::logSending(const Written& written)
{
    m_ctx.log.logall(exporttexts::ExportStartLine(written.sampleId), LogDirection::Monitor);
    for (const QString& line : written.lines)
        m_ctx.log.logall(line, LogDirection::ResultOut);
}

void ResultFiles::publish(const Written& written)
{
    if (!RenameReplacing(written.staged, written.final))
        throw FileError(u"The result file cannot be renamed to %1."_s.arg(written.final));
}

void ResultFiles::logSent(const Written& written)
{
    m_ctx.log.logall(exporttexts::ExportDoneLine(written.sampleId, written.final), LogDirection::Monitor);
}

void ResultFiles::discard(const Written& written)
{
    QFile::remove(written.temporary);
    QFile::remove(written.staged);
}

QString WriteResultFile(Context& ctx, const QString& sampleId, const ResultMessage& message)
{
    ResultFiles files(ctx);
    const ResultFiles::Written written = files.write(sampleId, message);
    try {
        files.makeDurable({written});
        files.stage(written);
        files.logSending(written);
        files.publish(written);
    } catch (const std::exception&) {
        files.discard(written);
        throw;
    }
    files.logSent(written);
    return written.final;
}

QStringList RemoveStaleResultFiles(const AppConfig& config, qint64 ownPid, const QDateTime& now,
                                   const std::function<bool(qint64)>& isAlive, qint64 staleAfterMs)
{
    QStringList removed;
    const WorkOwner self{hostPart(config.ComputerName), ownPid};
    const auto sweep = [&](const QString& folder, const QString& pattern, const QString& suffix) {
        if (folder.isEmpty())
            return;
        const QDir dir(folder);
        for (const QFileInfo& info : dir.entryInfoList({pattern}, QDir::Files | QDir::Hidden)) {
            const auto owner = workFileOwner(info.fileName(), suffix);
            if (!owner)
                continue;
            if (IsAbandoned(*owner, info.lastModified(), self, now, isAlive, staleAfterMs) &&
                QFile::remove(info.filePath()))
                removed << info.fileName();
        }
    };
    sweep(config.TempExportPath, u"*.kestrin.*.tmp"_s, u"tmp"_s);
    sweep(config.ExportPath, u".*.kestrin.*.part"_s, u"part"_s);
    return removed;
}

} // namespace kestrin
