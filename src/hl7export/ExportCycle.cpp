#include "hl7export/ExportCycle.h"

#include "core/DurableFiles.h"
#include "core/Error.h"
#include "core/ProcessAlive.h"
#include "hl7export/ResultFile.h"
#include "hl7export/ResultMessage.h"
#include "hl7export/TestCatalogue.h"
#include "labdb/DbError.h"

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
void dequeuePublished(Context& ctx, const QList<QueuedSample>& published)
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

namespace {

// One cycle's work on groups of samples: composed together, written, forced to disk with one
// flush, published, and dequeued in one commit. A kill sends at most one group again.
class ExportRun {
public:
    ExportRun(Context& ctx, CycleOutcome& outcome)
        : m_ctx(ctx)
        , m_outcome(outcome)
        , m_tests(TestCatalogue::Load(ctx.db))
        , m_files(ctx)
    {
    }

    void sendGroup(const QStringList& sampleIds) { dequeuePublished(m_ctx, publish(compose(sampleIds))); }

private:
    using Composed = std::pair<QueuedSample, ResultMessage>;
    using Written = std::pair<QueuedSample, ResultFiles::Written>;

    void failed(const QString& sampleId, const std::exception& e)
    {
        m_ctx.log.logall(u"Export fehlgeschlagen f\u00fcr Probe: "_s + sampleId + u" Fehlerbeschreibung: "_s +
                             ErrorText(e),
                         LogDirection::Monitor);
        ++m_outcome.failed;
    }

    QList<Composed> compose(const QStringList& sampleIds)
    {
        QList<Composed> composed;
        // One read transaction: the engine takes its locks once for the group, not per query.
        Transaction read(m_ctx.db);
        for (const QString& sampleId : sampleIds) {
            try {
                QueuedSample sample = readSampleRows(m_ctx.db, sampleId);
                if (sample.parameterIds.isEmpty())
                    continue; // sent meanwhile by another station
                ResultMessage message = ComposeResultMessage(m_ctx, sampleId, m_tests);
                composed.append({std::move(sample), std::move(message)});
            } catch (const DbError&) {
                throw; // the database failed, not the sample: the cycle stops, all stays queued
            } catch (const std::exception& e) {
                failed(sampleId, e);
            }
        }
        read.commit();
        return composed;
    }

    QList<QueuedSample> publish(const QList<Composed>& composed)
    {
        // The group's lines reach the log in one write, before its queue rows go.
        const CommLog::Gather lines(m_ctx.log);
        QList<Written> written;
        QList<ResultFiles::Written> files;
        for (const auto& [sample, message] : composed) {
            try {
                files << m_files.write(sample.sampleId, message);
                written.append({sample, files.last()});
            } catch (const std::exception& e) {
                failed(sample.sampleId, e);
            }
        }
        const bool durable = m_files.makeDurable(files);
        QList<QueuedSample> published;
        for (const auto& [sample, file] : written) {
            try {
                if (!durable)
                    throw FileError(u"The result file %1 cannot be forced to disk."_s.arg(file.temporary));
                m_files.publish(file);
                published << sample;
                ++m_outcome.handled;
            } catch (const std::exception& e) {
                m_files.discard(file);
                failed(file.sampleId, e);
            }
        }
        return published;
    }

    Context& m_ctx;
    CycleOutcome& m_outcome;
    const TestCatalogue m_tests;
    ResultFiles m_files;
};

} // namespace

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
    ExportRun run(ctx, outcome);
    const qsizetype group = qMax(1, options.samplesPerCommit);
    for (qsizetype first = 0; first < queue.sampleIds.size(); first += group) {
        run.sendGroup(queue.sampleIds.mid(first, group));
        // A share that went away during the cycle fails every sample after: said once.
        if (outcome.failed > 0 && !foldersReady(ctx)) {
            outcome.failed += int(qMax<qsizetype>(0, queue.sampleIds.size() - first - group));
            break;
        }
    }
    return outcome;
}

} // namespace kestrin
