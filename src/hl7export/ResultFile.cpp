#include "hl7export/ResultFile.h"

#include "FixedTexts.h"
#include "core/Error.h"
#include "core/ProcessAlive.h"
#include "core/TextCodec.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
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

// MSH-10 of a result file already in the export folder; empty when it holds no message. A
// link, a pipe or a file with another link is not read: the rename replaces it.
QString publishedControlId(const FolderHandle& folder, const QString& name, const TextCodec& codec)
{
    const std::optional<QByteArray> head = folder.readHead(name, 4096);
    if (!head)
        return {};
    const qsizetype end = head->indexOf('\r');
    const QList<Hl7Message> messages = ReadHl7(codec.decode(end < 0 ? *head : head->left(end)));
    if (messages.isEmpty() || messages.first().segment(0).name() != u"MSH")
        return {};
    return messages.first().segment(0).field(10);
}

// A work name of this process that nobody can guess: the tag says whose it is, the random part
// keeps it from being planted beforehand and from growing with the sample's ID.
QString workName(const QString& tag, const QString& suffix)
{
    return QString::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, u'0') + tag + suffix;
}

// A name that is longer than this many bytes no file system takes. UTF-8, the names' encoding
// here, never has fewer bytes than Windows has UTF-16 units.
constexpr qsizetype kMaxNameBytes = 255;
const QString kDigestMark = u"~"_s;
constexpr qsizetype kDigestLength = 8;

// Cuts the text at a character's end so that it takes at most `room` bytes.
void cutToBytes(QString& text, qsizetype room)
{
    qsizetype used = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype units = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        used += text.mid(i, units).toUtf8().size();
        if (used > room) {
            text.truncate(i);
            return;
        }
        i += units;
    }
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
    const qsizetype frame = (leader + extension).toUtf8().size();
    if (frame + safe.toUtf8().size() > kMaxNameBytes) {
        cutToBytes(safe, kMaxNameBytes - frame - kDigestMark.size() - kDigestLength);
        replaced = true;
    }
    if (replaced) {
        const QByteArray digest = QCryptographicHash::hash(sampleId.toUtf8(), QCryptographicHash::Sha1);
        safe += kDigestMark + QString::fromLatin1(digest.toHex().left(kDigestLength));
    }
    return leader + safe + extension;
}

ResultFiles::ResultFiles(Context& ctx)
    : m_ctx(ctx)
    , m_codec(ctx.config.Charset)
    // Whose work file it is: a later process can tell whether its maker still runs.
    , m_tag(workTag(ctx.config.ComputerName, QCoreApplication::applicationPid()))
    , m_temporary(FolderHandle::OpenNoLink(ctx.config.TempExportPath))
    , m_export(FolderHandle::OpenNoLink(ctx.config.ExportPath))
{
    if (!m_temporary.isOpen())
        throw ExportFolderError(ExportFolderError::Folder::Temporary, m_temporary.problem());
    if (!m_export.isOpen())
        throw ExportFolderError(ExportFolderError::Folder::Export, m_export.problem());
}

ResultFiles::Written ResultFiles::write(const QString& sampleId, const ResultMessage& message)
{
    const AppConfig& c = m_ctx.config;
    const QString name = ResultFileName(c.ExportLeader, sampleId, c.ExportExtension);
    Written written{sampleId,
                    message.lines(),
                    m_codec.encode(PrintHl7(message.hl7, u"\r\n")),
                    message.controlId(),
                    name,
                    c.ExportPath + name,
                    workName(m_tag, u".tmp"_s),
                    workName(m_tag, u".part"_s)};
    if (const QString error = m_temporary.createFile(written.temporary, written.bytes, false); !error.isEmpty())
        throw ExportFolderError(ExportFolderError::Folder::Temporary, error);
    return written;
}

void ResultFiles::makeDurable(const QList<Written>& files)
{
    QStringList names;
    for (const Written& file : files)
        names << file.temporary;
    if (!m_temporary.syncFiles(names))
        throw ExportFolderError(ExportFolderError::Folder::Temporary, u"the files cannot be forced to disk"_s);
}

void ResultFiles::stage(const Written& written)
{
    QString error;
    const std::optional<FolderHandle::Entry> held = m_export.entry(written.name, &error);
    // The name itself is refused (too long for this file system, characters it does not take).
    if (!held && !error.isEmpty())
        throw FileError(u"The result file cannot be named %1: %2"_s.arg(written.final, error));
    if (held && held->kind == FolderHandle::Kind::Folder)
        throw FileError(u"A folder holds the name %1."_s.arg(written.final));
    if (held && held->kind == FolderHandle::Kind::File) {
        // Names can meet (a case-blind file system, a suffix that repeats): the other sample's
        // file stays until the receiving system has taken it, and this one waits for that.
        const QString otherId = publishedControlId(m_export, written.name, m_codec);
        if (!otherId.isEmpty() && otherId != written.controlId)
            throw FileError(u"%1 holds the result of sample %2; it is not replaced."_s.arg(written.final, otherId));
    }
    // A receiving system may take every file of its folder: work files wait in a folder of
    // their own, where a hidden name would not keep them from it.
    if (!m_work.isOpen()) {
        m_work = FolderHandle::OpenOwn(m_export, kExportWorkFolder, true);
        if (!m_work.isOpen())
            throw ExportFolderError(
                ExportFolderError::Folder::Export,
                u"its work folder %1 cannot be used: %2"_s.arg(kExportWorkFolder, m_work.problem()));
    }
    if (m_temporary.renameReplacing(written.temporary, m_work, written.staged) == FolderHandle::Rename::Done)
        return;
    // Another file system: a second copy, forced to disk before it is renamed into place.
    if (const QString copyError = m_work.createFile(written.staged, written.bytes, true); !copyError.isEmpty())
        throw ExportFolderError(ExportFolderError::Folder::Export, copyError);
    m_temporary.remove(written.temporary);
}

void ResultFiles::logSending(const Written& written)
{
    m_ctx.log.logall(exporttexts::ExportStartLine(written.sampleId), LogDirection::Monitor);
    for (const QString& line : written.lines)
        m_ctx.log.logall(line, LogDirection::ResultOut);
}

void ResultFiles::publish(const Written& written)
{
    QString error;
    // A link or a pipe at the name is replaced by the rename, never read or written through.
    if (m_work.renameReplacing(written.staged, m_export, written.name, &error) != FolderHandle::Rename::Done)
        throw FileError(u"The result file cannot be renamed to %1: %2"_s.arg(written.final, error));
}

void ResultFiles::makePublishedDurable()
{
    if (!m_export.sync())
        throw FileError(
            u"The export folder %1 cannot be forced to disk; the samples stay queued."_s.arg(m_ctx.config.ExportPath));
}

void ResultFiles::logSent(const Written& written)
{
    m_ctx.log.logall(exporttexts::ExportDoneLine(written.sampleId, written.final), LogDirection::Monitor);
}

void ResultFiles::discard(const Written& written)
{
    m_temporary.remove(written.temporary);
    if (m_work.isOpen())
        m_work.remove(written.staged);
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
    if (!config.ExportPath.isEmpty())
        sweep(QDir(config.ExportPath).filePath(kExportWorkFolder), u"*.kestrin.*.part"_s, u"part"_s);
    // Older versions staged hidden files in the export folder itself.
    sweep(config.ExportPath, u".*.kestrin.*.part"_s, u"part"_s);
    return removed;
}

} // namespace kestrin
