#include "hl7export/ExportCycle.h"

#include "core/DurableFiles.h"
#include "core/Error.h"
#include "core/ProcessAlive.h"
#include "hl7export/ResultFile.h"
#include "hl7export/ResultMessage.h"
#include "hl7export/TestCatalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// Keys of the lasting trouble the export reports once.
const QString kNoSampleId = u"REQ2SEND without SAMPLE_ID"_s;
const QString kExportFolder = u"ExportPath"_s;
const QString kTemporaryFolder = u"TempExportPath"_s;

struct Queue {
    QStringList sampleIds;
    bool rowsWithoutSampleId = false;
};

Queue readQueue(Database& db)
{
    Queue queue;
    for (const Row& row : db.query(u"SELECT DISTINCT SAMPLE_ID FROM REQ2SEND ORDER BY SAMPLE_ID"_s)) {
        const QString sampleId = row.text(u"SAMPLE_ID");
        if (sampleId.trimmed().isEmpty())
            queue.rowsWithoutSampleId = true;
        else
            queue.sampleIds << sampleId;
    }
    return queue;
}

// The rows read right before the sample's message is composed: those the message answers.
QueuedSample readSampleRows(Database& db, const QString& sampleId)
{
    QueuedSample sample{sampleId, {}};
    for (const Row& row : db.query(u"SELECT PARAMETER_ID FROM REQ2SEND WHERE SAMPLE_ID = ?"_s, {sampleId}))
        sample.parameterIds << row.value(u"PARAMETER_ID");
    return sample;
}

// Such a row matches no sample: it would go out as an empty result every cycle, forever.
void reportRowsWithoutSampleId(Context& ctx, const Queue& queue, CycleOutcome& outcome)
{
    if (!queue.rowsWithoutSampleId) {
        ctx.outages.mend(kNoSampleId);
        return;
    }
    ctx.outages.report(kNoSampleId,
                       u"REQ2SEND holds rows without a sample ID; they are not exported and stay until "
                       u"someone removes them."_s);
    ++outcome.failed;
}

// A folder the export cannot use is said once, and once more when it can be used again.
bool folderUsable(Context& ctx, const QString& key, bool usable, const QString& trouble, const QString& mended)
{
    if (!usable) {
        ctx.outages.report(key, trouble);
        return false;
    }
    ctx.outages.mend(key, mended);
    return true;
}

// The export folder is the receiving system's, often a share: when it is missing, a folder
// made here would collect results nobody receives. The temporary folder is Kestrin's own.
bool foldersReady(Context& ctx)
{
    const QString& temporary = ctx.config.TempExportPath;
    const QString& exportFolder = ctx.config.ExportPath;
    return folderUsable(ctx, kTemporaryFolder, !temporary.isEmpty() && QDir().mkpath(temporary),
                        u"The temporary export folder \"%1\" (TempExportPath) cannot be created; the results stay "
                        u"queued."_s.arg(temporary),
                        u"The temporary export folder \"%1\" can be used again."_s.arg(temporary)) &&
        folderUsable(ctx, kExportFolder, !exportFolder.isEmpty() && QFileInfo(exportFolder).isDir(),
                     u"The export folder \"%1\" (ExportPath) does not exist; the results stay queued until it is "
                     u"there."_s.arg(exportFolder),
                     u"The export folder \"%1\" is there again; the queued results go out."_s.arg(exportFolder));
}

// Published samples whose queue rows are still to go: first the folder's new entries are
// forced to disk, then the rows go in one transaction.
void dequeuePublished(Context& ctx, QList<QueuedSample>& published)
{
    if (published.isEmpty())
        return;
    // Rows go only when the files they were sent in will survive a power cut.
    if (!SyncFolder(ctx.config.ExportPath))
        throw FileError(
            u"The export folder %1 cannot be forced to disk; the samples stay queued."_s.arg(ctx.config.ExportPath));
    Transaction transaction(ctx.db);
    for (const QueuedSample& sample : published) {
        if (!DequeueSample(ctx, sample))
            ctx.log.logall(
                u"Probe %1 was queued again while it was being sent; it goes out again."_s.arg(sample.sampleId),
                LogDirection::Monitor);
    }
    transaction.commit();
    published.clear();
}

} // namespace

bool DequeueSample(Context& ctx, const QueuedSample& sample)
{
    QVariantList parameters;
    bool withoutParameter = false;
    for (const QVariant& id : sample.parameterIds) {
        if (id.isNull())
            withoutParameter = true;
        else if (!parameters.contains(id))
            parameters << id;
    }
    QString rows = parameters.isEmpty()
        ? QString()
        : u"PARAMETER_ID IN (%1)"_s.arg(QStringList(parameters.size(), u"?"_s).join(u", "));
    if (withoutParameter)
        rows = rows.isEmpty() ? u"PARAMETER_ID IS NULL"_s : u"(%1 OR PARAMETER_ID IS NULL)"_s.arg(rows);
    Transaction transaction(ctx.db);
    const int deleted = ctx.db.exec(u"DELETE FROM REQ2SEND WHERE SAMPLE_ID = ? AND "_s + rows,
                                    QVariantList{sample.sampleId} + parameters);
    if (deleted > sample.parameterIds.size())
        return false; // the transaction rolls back
    transaction.commit();
    return true;
}

CycleOutcome ExportPendingResults(Context& ctx, const ExportOptions& options)
{
    CycleOutcome outcome;
    const Queue queue = readQueue(ctx.db);
    reportRowsWithoutSampleId(ctx, queue, outcome);
    if (queue.sampleIds.isEmpty())
        return outcome;
    if (!foldersReady(ctx)) {
        outcome.failed += int(queue.sampleIds.size());
        return outcome;
    }
    RemoveStaleResultFiles(ctx.config, QCoreApplication::applicationPid(), QDateTime::currentDateTime(),
                           IsProcessAlive);

    const TestCatalogue tests = TestCatalogue::Load(ctx.db);
    QList<QueuedSample> published;
    for (qsizetype i = 0; i < queue.sampleIds.size(); ++i) {
        const QString& sampleId = queue.sampleIds.at(i);
        try {
            QueuedSample sample = readSampleRows(ctx.db, sampleId);
            if (sample.parameterIds.isEmpty())
                continue; // sent meanwhile by another station
            const ResultMessage message = ComposeResultMessage(ctx, sampleId, tests);
            WriteResultFile(ctx, sampleId, message);
            published << std::move(sample);
            ++outcome.handled;
        } catch (const std::exception& e) {
            ctx.log.logall(u"Export fehlgeschlagen f\u00fcr Probe: "_s + sampleId + u" Fehlerbeschreibung: "_s +
                               ErrorText(e),
                           LogDirection::Monitor);
            ++outcome.failed;
            // A share that went away during the cycle fails every sample after: said once.
            if (!foldersReady(ctx)) {
                outcome.failed += int(queue.sampleIds.size() - i - 1);
                break;
            }
        }
        if (published.size() >= options.samplesPerCommit)
            dequeuePublished(ctx, published);
    }
    dequeuePublished(ctx, published);
    return outcome;
}

} // namespace kestrin
