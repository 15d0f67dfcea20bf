#include "hl7export/ResultFile.h"

#include "core/DurableFiles.h"
#include "core/Error.h"
#include "core/TextCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

[[noreturn]] void fail(const QString& what, const QFile& file)
{
    throw FileError(u"%1 %2: %3"_s.arg(what, file.fileName(), file.errorString()));
}

QString processTag() { return QString::number(QCoreApplication::applicationPid()); }

// Copies into the export folder under a name no receiver takes, forced to disk, then
// renames it into place.
void copyIntoPlace(const QString& temporary, const QString& finalPath)
{
    const QFileInfo target(finalPath);
    const QString staging =
        target.absoluteDir().filePath(u"."_s + target.fileName() + u'.' + processTag() + u".part"_s);
    QFile::remove(staging);
    if (!QFile::copy(temporary, staging))
        throw FileError(u"The result file cannot be copied to %1."_s.arg(staging));
    QFile copy(staging);
    if (!copy.open(QIODevice::ReadWrite) || !SyncToDisk(copy))
        fail(u"The result file cannot be forced to disk:"_s, copy);
    copy.close();
    if (!RenameReplacing(staging, finalPath)) {
        QFile::remove(staging);
        throw FileError(u"The result file cannot be renamed to %1."_s.arg(finalPath));
    }
    QFile::remove(temporary);
}

} // namespace

QString ResultFileName(const QString& leader, const QString& sampleId, const QString& extension)
{
    QString safe = sampleId;
    for (const QChar c : u"/\\:*?\"<>|")
        safe.replace(c, u'_');
    return leader + safe + extension;
}

QString WriteResultFile(Context& ctx, const QString& sampleId, const ResultMessage& message)
{
    const AppConfig& c = ctx.config;
    ctx.log.logall(u"Start Export f\u00fcr Probe: "_s + sampleId, LogDirection::Monitor);
    const QString name = ResultFileName(c.ExportLeader, sampleId, c.ExportExtension);
    const QString finalPath = c.ExportPath + name;
    // A name of this process's own: a second exporter never writes into the same file.
    const QString temporary = c.TempExportPath + name + u'.' + processTag() + u".tmp"_s;
    for (const QString& folder : {c.TempExportPath, c.ExportPath}) {
        if (!QDir().mkpath(folder))
            throw FileError(u"The folder %1 cannot be created."_s.arg(folder));
    }

    const TextCodec codec(c.Charset);
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        fail(u"The result file cannot be written:"_s, file);
    for (const QString& line : message.lines()) {
        if (file.write(codec.encode(line) + "\r\n") < 0)
            fail(u"The result file cannot be written:"_s, file);
        ctx.log.logall(line, LogDirection::ResultOut);
    }
    if (!SyncToDisk(file))
        fail(u"The result file cannot be forced to disk:"_s, file);
    file.close();

    // On one file system the rename is the copy and the delete in one atomic step.
    if (!RenameReplacing(temporary, finalPath))
        copyIntoPlace(temporary, finalPath);
    ctx.log.logall(u"Export abgeschlossen f\u00fcr Probe: "_s + sampleId + u"/Datei: "_s + finalPath,
                   LogDirection::Monitor);
    return finalPath;
}

} // namespace kestrin
