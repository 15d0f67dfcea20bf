#include "hl7export/ExportCycle.h"

#include "FixedTexts.h"
#include "core/Error.h"
#include "core/ProcessAlive.h"
#include "hl7export/ExportClaims.h"
#include "hl7export/ResultFile.h"
#include "hl7export/ResultMessage.h"
#include "hl7export/TestCatalogue.h"
#include "labdb/DbError.h"
#include "labdb/Dialect.h"

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
const QString kTemporaryWrites = u"TempExportPath takes no file"_s;
const QString kExportWrites = u"ExportPath takes no file"_s;

struct Queue {
    QStringList sampleIds;
    QHash<QString, StoredKey> keys;
    bool rowsWithoutSampleId = false;
};

Queue readQueue(Database& db)
{
    Queue queue;
    for (const Row& row : db.query(u"SELECT DISTINCT SAMPLE_ID FROM REQ2SEND ORDER BY SAMPLE_ID"_s)) {
        const QString sampleId = row.text(u"SAMPLE_ID");
        if (sampleId.trimmed().isEmpty()) {
            queue.rowsWithoutSampleId = true;
            continue;
        }
        // An untyped column may hold one sample as 4711 and as '4711': one sample, both forms.
        if (const auto known = queue.keys.find(sampleId); known != queue.keys.end()) {
            known->add(row.value(u"SAMPLE_ID"));
            continue;
        }
        queue.sampleIds << sampleId;
        queue.keys.insert(sampleId, StoredKey(db, row.value(u"SAMPLE_ID")));
    }
    return queue;
}

// The rows read right before the sample's message is composed: those the message answers.
QueuedSample readSampleRows(Database& db, const StoredKey& key)
{
    QueuedSample sample{key, {}};
    for (const Row& row :
         db.query(u"SELECT PARAMETER_ID FROM REQ2SEND WHERE "_s + key.condition(u"SAMPLE_ID"_s), key.values()))
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

// A folder that takes no result file is said once; once more when it takes them again.
void reportFolderTrouble(Context& ctx, const ExportFolderError& e)
{
    if (e.folder() == ExportFolderError::Folder::Temporary)
        ctx.outages.report(kTemporaryWrites,
                           u"The temporary export folder \"%1\" (TempExportPath) takes no result file: %2. Every "
                           u"result stays queued until it does."_s.arg(ctx.config.TempExportPath, e.message()));
    else
        ctx.outages.report(kExportWrites,
                           u"The export folder \"%1\" (ExportPath) takes no result file: %2. Every result stays "
                           u"queued until it does."_s.arg(ctx.config.ExportPath, e.message()));
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
    QString rows = parameters.isEmpty() ? QString() : u"PARAMETER_ID IN (%1)"_s.arg(Placeholders(parameters.size()));
    if (withoutParameter)
        rows = rows.isEmpty() ? u"PARAMETER_ID IS NULL"_s : u"(%1 OR PARAMETER_ID IS NULL)"_s.arg(rows);
    Transaction transaction(ctx.db);
    const int deleted =
        ctx.db.exec(u"DELETE FROM REQ2SEND WHERE %1 AND %2"_s.arg(sample.key.condition(u"SAMPLE_ID"_s), rows),
                    sample.key.values() + parameters);
    if (deleted > sample.parameterIds.size())
        return false; // the transaction rolls back
    transaction.commit();
    return true;
}

namespace {

// One cycle's work on groups of samples: claimed, composed together, written, forced to disk
// with one flush, staged in the export folder, published, and dequeued in one commit. A kill
// sends at most one group again.
class ExportRun {
public:
    ExportRun(Context& ctx, CycleOutcome& outcome, QHash<QString, StoredKey> keys)
        : m_ctx(ctx)
        , m_outcome(outcome)
        , m_keys(std::move(keys))
        , m_tests(TestCatalogue::Load(ctx.db))
        , m_claims(ctx.db, {ctx.config.ComputerName, QCoreApplication::applicationPid()}, IsProcessAlive)
    {
        ExportClaims::Ensure(ctx.db);
    }

    ExportClaims& claims() { return m_claims; }

    // Sends a claimed group and gives up its claims. False when a folder takes no result file:
    // the group stays queued and the cycle ends.
    bool sendGroup(const QStringList& sampleIds)
    {
        const QList<Composed> composed = compose(sampleIds);
        QList<Written> staged;
        try {
            if (!composed.isEmpty())
                m_files.emplace(m_ctx); // the folders opened afresh for each group
            staged = stage(composed);
        } catch (const ExportFolderError& e) {
            reportFolderTrouble(m_ctx, e);
            m_outcome.failed += int(composed.size());
            finish({}, sampleIds);
            return false;
        }
        finish(publish(staged), sampleIds);
        return true;
    }

private:
    using Composed = std::pair<QueuedSample, ResultMessage>;
    using Written = std::pair<QueuedSample, ResultFiles::Written>;

    void failed(const QString& sampleId, const std::exception& e)
    {
        m_ctx.log.logall(exporttexts::ExportFailedLine(sampleId, ErrorText(e)), LogDirection::Monitor);
        ++m_outcome.failed;
    }

    QList<Composed> compose(const QStringList& sampleIds)
    {
        QList<Composed> composed;
        // One read transaction: the engine takes its locks once for the group, not per query.
        Transaction read(m_ctx.db);
        for (const QString& sampleId : sampleIds) {
            try {
                QueuedSample sample = readSampleRows(m_ctx.db, m_keys.value(sampleId));
                if (sample.parameterIds.isEmpty())
                    continue; // sent meanwhile by a station of an older version
                ResultMessage message = ComposeResultMessage(m_ctx, sample.key, m_tests);
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

    // Writes the group's files, forces them to disk and stages them in the export folder. A
    // folder that takes no file throws, and none of the group's files is left.
    QList<Written> stage(const QList<Composed>& composed)
    {
        QList<Written> written;
        try {
            QList<ResultFiles::Written> files;
            for (const auto& [sample, message] : composed) {
                written.append({sample, m_files->write(sample.sampleId(), message)});
                files << written.last().second;
            }
            if (files.isEmpty())
                return {};
            m_files->makeDurable(files);
            m_ctx.outages.mend(kTemporaryWrites,
                               u"The temporary export folder \"%1\" takes result files again; the "
                               u"queued results go out."_s.arg(m_ctx.config.TempExportPath));
            for (auto file = written.begin(); file != written.end();) {
                try {
                    m_files->stage(file->second);
                    ++file;
                } catch (const ExportFolderError&) {
                    throw;
                } catch (const std::exception& e) {
                    m_files->discard(file->second);
                    failed(file->first.sampleId(), e);
                    file = written.erase(file);
                }
            }
        } catch (const ExportFolderError&) {
            for (const auto& [sample, file] : written)
                m_files->discard(file);
            throw;
        }
        if (!written.isEmpty())
            m_ctx.outages.mend(kExportWrites,
                               u"The export folder \"%1\" takes result files again; the queued "
                               u"results go out."_s.arg(m_ctx.config.ExportPath));
        return written;
    }

    // Each file's lines reach the log before it is published, its end line after: a kill in
    // between loses no delivery from the log. The end line goes with the next file's lines.
    QList<QueuedSample> publish(const QList<Written>& staged)
    {
        QList<QueuedSample> published;
        const ResultFiles::Written* sent = nullptr;
        for (const auto& [sample, file] : staged) {
            {
                const CommLog::Gather lines(m_ctx.log);
                if (sent)
                    m_files->logSent(*sent);
                m_files->logSending(file);
            }
            sent = nullptr;
            try {
                m_files->publish(file);
                sent = &file;
                published << sample;
                ++m_outcome.handled;
            } catch (const std::exception& e) {
                m_files->discard(file);
                failed(sample.sampleId(), e);
            }
        }
        if (sent)
            m_files->logSent(*sent);
        return published;
    }

    // The published samples' queue rows go, and the group's claims with them, in one commit
    // after the folder's new entries are forced to disk.
    void finish(const QList<QueuedSample>& published, const QStringList& claimed)
    {
        // Rows go only when the files they were sent in will survive a power cut.
        if (!published.isEmpty())
            m_files->makePublishedDurable();
        Transaction transaction(m_ctx.db);
        for (const QueuedSample& sample : published) {
            if (!DequeueSample(m_ctx, sample))
                m_ctx.log.logall(
                    u"Probe %1 was queued again while it was being sent; it goes out again."_s.arg(sample.sampleId()),
                    LogDirection::Monitor);
        }
        m_claims.release(claimed);
        transaction.commit();
    }

    Context& m_ctx;
    CycleOutcome& m_outcome;
    const QHash<QString, StoredKey> m_keys;
    const TestCatalogue m_tests;
    std::optional<ResultFiles> m_files;
    ExportClaims m_claims;
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
    ExportRun run(ctx, outcome, queue.keys);
    const qsizetype group = qMax(1, options.samplesPerCommit);
    for (qsizetype next = 0; next < queue.sampleIds.size() && !ctx.stopRequested();) {
        // Samples another exporter holds are left to it.
        const QStringList claimed = run.claims().claimNext(queue.sampleIds, next, group);
        if (claimed.isEmpty())
            continue;
        const bool sent = run.sendGroup(claimed);
        // A share that went away during the cycle fails every sample after: said once.
        if (!sent || (outcome.failed > 0 && !foldersReady(ctx))) {
            outcome.failed += int(queue.sampleIds.size() - next);
            break;
        }
    }
    return outcome;
}

} // namespace kestrin
