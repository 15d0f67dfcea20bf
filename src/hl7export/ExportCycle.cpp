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

// Deletes the rows read for a sample's message, and returns how many went: more than were
// read means that the same row was queued again meanwhile.
int deleteRows(Context& ctx, const QueuedSample& sample)
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
    return ctx.db.exec(u"DELETE FROM REQ2SEND WHERE %1 AND %2"_s.arg(sample.key.condition(u"SAMPLE_ID"_s), rows),
                       sample.key.values() + parameters);
}

void logQueuedAgain(Context& ctx, const QueuedSample& sample)
{
    ctx.log.logall(u"Probe %1 was queued again while it was being sent; it goes out again."_s.arg(sample.sampleId()),
                   LogDirection::Monitor);
}

// The samples published in an earlier cycle whose dequeue was not committed are dequeued
// first; while that fails, nothing else goes out. Their rows are deleted only where exactly
// those read are there: fewer mean that the earlier commit went through after all and what
// is there was queued since, which goes out again.
void dequeuePublished(Context& ctx, ExportState& state, ExportClaims& claims)
{
    if (state.publishedNotDequeued.isEmpty())
        return;
    Transaction transaction(ctx.db);
    QStringList sampleIds;
    for (const QueuedSample& sample : std::as_const(state.publishedNotDequeued)) {
        Transaction rows(ctx.db);
        if (const int deleted = deleteRows(ctx, sample); deleted == sample.parameterIds.size()) {
            rows.commit();
        } else {
            rows.rollback();
            if (deleted > 0)
                logQueuedAgain(ctx, sample);
        }
        sampleIds << sample.sampleId();
    }
    claims.release(sampleIds);
    transaction.commit();
    state.publishedNotDequeued.clear();
}

// One cycle's work on groups of samples: claimed, composed together, written, forced to disk
// with one flush, staged in the export folder, dequeued (uncommitted), published, and
// committed. A kill sends at most one group again.
class ExportRun {
public:
    ExportRun(Context& ctx, CycleOutcome& outcome, ExportState& state, ExportClaims& claims,
              QHash<QString, StoredKey> keys)
        : m_ctx(ctx)
        , m_outcome(outcome)
        , m_state(state)
        , m_claims(claims)
        , m_keys(std::move(keys))
        , m_tests(TestCatalogue::Load(ctx.db))
    {
        ExportClaims::Require(ctx.db);
    }

    // Sends a claimed group and gives up its claims. False when a folder takes no result file:
    // the group stays queued and the cycle ends.
    bool sendGroup(const QStringList& sampleIds)
    {
        const QList<Composed> composed = compose(sampleIds);
        if (composed.isEmpty()) {
            release(sampleIds);
            return true;
        }
        std::optional<ResultFiles> files;
        QList<Written> staged;
        try {
            files.emplace(m_ctx);
            staged = stage(*files, composed);
        } catch (const ExportFolderError& e) {
            reportFolderTrouble(m_ctx, e);
            m_outcome.failed += int(composed.size());
            release(sampleIds);
            return false;
        }
        publish(*files, staged, sampleIds);
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

    void release(const QStringList& claimed)
    {
        Transaction transaction(m_ctx.db);
        m_claims.release(claimed);
        transaction.commit();
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
    QList<Written> stage(ResultFiles& files, const QList<Composed>& composed)
    {
        QList<Written> written;
        try {
            QList<ResultFiles::Written> all;
            for (const auto& [sample, message] : composed) {
                written.append({sample, files.write(sample.sampleId(), message)});
                all << written.last().second;
            }
            files.makeDurable(all);
            m_ctx.outages.mend(kTemporaryWrites,
                               u"The temporary export folder \"%1\" takes result files again; the "
                               u"queued results go out."_s.arg(m_ctx.config.TempExportPath));
            for (auto file = written.begin(); file != written.end();) {
                try {
                    files.stage(file->second);
                    ++file;
                } catch (const ExportFolderError&) {
                    throw;
                } catch (const std::exception& e) {
                    files.discard(file->second);
                    failed(file->first.sampleId(), e);
                    file = written.erase(file);
                }
            }
        } catch (const ExportFolderError&) {
            for (const auto& [sample, file] : written)
                files.discard(file);
            throw;
        }
        if (!written.isEmpty())
            m_ctx.outages.mend(kExportWrites,
                               u"The export folder \"%1\" takes result files again; the queued "
                               u"results go out."_s.arg(m_ctx.config.ExportPath));
        return written;
    }

    // The queue rows go before anything is published, uncommitted: the write lock (the
    // embedded database) or the rows' locks (a server) are had first, so that no file goes out
    // whose rows cannot be deleted; when they cannot be had, nothing of the group goes out.
    // One savepoint a sample, the first sample's innermost, gives back the rows of a file
    // that cannot be published. Each file's lines reach the log before it is published, its end
    // line after: a kill in between loses no delivery from the log.
    void publish(ResultFiles& files, const QList<Written>& staged, const QStringList& claimed)
    {
        std::optional<Transaction> transaction;
        std::vector<std::unique_ptr<Transaction>> rows(size_t(staged.size())); // closed before the transaction
        try {
            transaction.emplace(m_ctx.db);
            for (qsizetype i = staged.size() - 1; i >= 0; --i) {
                const QueuedSample& sample = staged.at(i).first;
                auto savepoint = std::make_unique<Transaction>(m_ctx.db);
                if (deleteRows(m_ctx, sample) <= sample.parameterIds.size()) {
                    rows[size_t(i)] = std::move(savepoint);
                } else {
                    savepoint->rollback();
                    logQueuedAgain(m_ctx, sample);
                }
            }
        } catch (...) {
            for (const auto& [sample, file] : staged)
                files.discard(file);
            throw;
        }
        QList<QueuedSample> dequeued;
        try {
            const ResultFiles::Written* sent = nullptr;
            for (qsizetype i = 0; i < staged.size(); ++i) {
                const auto& [sample, file] = staged.at(i);
                {
                    const CommLog::Gather lines(m_ctx.log);
                    if (sent)
                        files.logSent(*sent);
                    files.logSending(file);
                }
                sent = nullptr;
                try {
                    files.publish(file);
                    sent = &file;
                    ++m_outcome.handled;
                } catch (const std::exception& e) {
                    files.discard(file);
                    failed(sample.sampleId(), e);
                }
                if (auto& savepoint = rows[size_t(i)]) {
                    if (sent) {
                        savepoint->commit();
                        dequeued << sample;
                    } else {
                        // The samples published before it were released into this savepoint:
                        // its rollback gives their rows back too, so they go again.
                        savepoint->rollback();
                        for (const QueuedSample& published : std::as_const(dequeued))
                            deleteRows(m_ctx, published);
                    }
                    savepoint.reset();
                }
            }
            if (sent)
                files.logSent(*sent);
        } catch (...) {
            for (const auto& [sample, file] : staged)
                files.discard(file);
            throw;
        }
        // Rows go only when the files they were sent in will survive a power cut.
        if (!dequeued.isEmpty())
            files.makePublishedDurable();
        m_claims.release(claimed);
        try {
            transaction->commit();
        } catch (const DbError&) {
            m_state.publishedNotDequeued << dequeued;
            throw;
        }
    }

    Context& m_ctx;
    CycleOutcome& m_outcome;
    ExportState& m_state;
    ExportClaims& m_claims;
    const QHash<QString, StoredKey> m_keys;
    const TestCatalogue m_tests;
};

} // namespace

CycleOutcome ExportPendingResults(Context& ctx, const ExportOptions& options)
{
    ExportState state;
    return ExportPendingResults(ctx, state, options);
}

CycleOutcome ExportPendingResults(Context& ctx, ExportState& state, const ExportOptions& options)
{
    CycleOutcome outcome;
    ExportClaims claims(ctx.db, {ctx.config.ComputerName, QCoreApplication::applicationPid()}, IsProcessAlive);
    dequeuePublished(ctx, state, claims);
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
    ExportRun run(ctx, outcome, state, claims, queue.keys);
    const qsizetype group = qMax(1, options.samplesPerCommit);
    for (qsizetype next = 0; next < queue.sampleIds.size() && !ctx.stopRequested();) {
        ctx.reportProgress();
        // Samples another exporter holds are left to it.
        const QStringList claimed = claims.claimNext(queue.sampleIds, next, group);
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
