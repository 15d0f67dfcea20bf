#include "hl7export/ExportCycle.h"

#include "core/DurableFiles.h"
#include "core/Error.h"
#include "hl7export/ResultFile.h"
#include "hl7export/ResultMessage.h"
#include "hl7export/TestCatalogue.h"

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// Published samples whose queue rows are still to go: first the folder's new entries are
// forced to disk, then the rows go in one transaction.
void dequeuePublished(Context& ctx, QStringList& published)
{
    if (published.isEmpty())
        return;
    // Rows go only when the files they were sent in will survive a power cut.
    if (!SyncFolder(ctx.config.ExportPath))
        throw FileError(
            u"The export folder %1 cannot be forced to disk; the samples stay queued."_s.arg(ctx.config.ExportPath));
    Transaction transaction(ctx.db);
    for (const QString& sampleId : published)
        DequeueSample(ctx, sampleId);
    transaction.commit();
    published.clear();
}

} // namespace

void DequeueSample(Context& ctx, const QString& sampleId)
{
    ctx.db.exec(u"DELETE FROM REQ2SEND WHERE SAMPLE_ID = ?"_s, {sampleId});
}

CycleOutcome ExportPendingResults(Context& ctx, const ExportOptions& options)
{
    CycleOutcome outcome;
    const QList<Row> queue = ctx.db.query(u"SELECT DISTINCT SAMPLE_ID FROM REQ2SEND ORDER BY SAMPLE_ID"_s);
    if (queue.isEmpty())
        return outcome;
    const TestCatalogue tests = TestCatalogue::Load(ctx.db);
    QStringList published;
    for (const Row& row : queue) {
        const QString sampleId = row.text(u"SAMPLE_ID");
        try {
            const ResultMessage message = ComposeResultMessage(ctx, sampleId, tests);
            WriteResultFile(ctx, sampleId, message);
            published << sampleId;
            ++outcome.handled;
        } catch (const std::exception& e) {
            ctx.log.logall(u"Export fehlgeschlagen f\u00fcr Probe: "_s + sampleId + u" Fehlerbeschreibung: "_s +
                               ErrorText(e),
                           LogDirection::Monitor);
            ++outcome.failed;
        }
        if (published.size() >= options.samplesPerCommit)
            dequeuePublished(ctx, published);
    }
    dequeuePublished(ctx, published);
    return outcome;
}

} // namespace kestrin
