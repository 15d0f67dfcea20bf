#include "hl7import/ImportCycle.h"

#include "core/ProcessAlive.h"
#include "hl7import/ImportFolder.h"
#include "hl7import/MessageError.h"
#include "hl7import/MessageReader.h"
#include "labdb/DbError.h"

#include <QCoreApplication>
#include <QDir>

#include <memory>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

struct ClaimedFile {
    QString claimPath;
    QString name;
};

void ensureFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        throw FileError(u"The folder %1 cannot be created."_s.arg(path));
}

// The messages stored since the last commit, and their claimed files.
class Batch {
public:
    Batch(Context& ctx, CycleOutcome& outcome)
        : m_ctx(ctx)
        , m_outcome(outcome)
    {
    }
    ~Batch()
    {
        // Leaving without commit (an error escaped): the messages are not stored, so their
        // files go back to the import folder to be read again.
        if (m_transaction) {
            m_transaction.reset();
            releaseAll();
        }
    }

    void open()
    {
        if (!m_transaction)
            m_transaction = std::make_unique<Transaction>(m_ctx.db);
    }
    void add(ClaimedFile file) { m_files.push_back(std::move(file)); }
    qsizetype size() const { return m_files.size(); }

    // Commits, then files what the commit holds into "Done".
    void commitAndFile()
    {
        if (!m_transaction)
            return;
        try {
            m_transaction->commit();
        } catch (const DbError&) {
            m_transaction.reset();
            releaseAll();
            throw;
        }
        m_transaction.reset();
        for (const ClaimedFile& file : m_files)
            fileDone(file);
        m_files.clear();
    }

private:
    void fileDone(const ClaimedFile& file)
    {
        try {
            if (FileInto(file.claimPath, m_ctx.config.ImportDonePath, file.name)) {
                ++m_outcome.handled;
                return;
            }
            m_ctx.log.logall(u"The order file %1 cannot be filed: 1000 files of that name are in %2 already; "
                             u"it stays in the import folder."_s.arg(file.name, m_ctx.config.ImportDonePath),
                             LogDirection::Monitor);
        } catch (const FileError& e) {
            m_ctx.log.logall(e.message(), LogDirection::Monitor);
        }
        ReleaseClaim(file.claimPath, m_ctx.config.ImportPath, file.name);
    }

    void releaseAll()
    {
        for (const ClaimedFile& file : m_files)
            ReleaseClaim(file.claimPath, m_ctx.config.ImportPath, file.name);
        m_files.clear();
    }

    Context& m_ctx;
    CycleOutcome& m_outcome;
    std::unique_ptr<Transaction> m_transaction;
    std::vector<ClaimedFile> m_files;
};

void fileFailed(Context& ctx, const ClaimedFile& file)
{
    try {
        ensureFolder(ctx.config.ImportErrorPath);
        if (FileInto(file.claimPath, ctx.config.ImportErrorPath, file.name))
            return;
    } catch (const FileError& e) {
        ctx.log.logall(e.message(), LogDirection::Monitor);
    }
    // Never lost: back into the import folder, to be read again.
    ReleaseClaim(file.claimPath, ctx.config.ImportPath, file.name);
}

} // namespace

CycleOutcome RunImportCycle(Context& ctx, const ImportOptions& options)
{
    const AppConfig& c = ctx.config;
    ensureFolder(c.ImportPath);
    ensureFolder(c.ImportDonePath);

    const Claimant me{c.ComputerName, QCoreApplication::applicationPid(), QDateTime::currentDateTime()};
    ReleaseStaleClaims(c.ImportPath, me, options.staleClaimMs, IsProcessAlive);

    CycleOutcome outcome;
    const auto message = std::make_unique<OrderMessage>();
    Batch batch(ctx, outcome);
    for (const QString& name : ListOrderFiles(c.ImportPath, c.ImportExtension, c.ImportMinAge, me.now)) {
        batch.open(); // before the claim: a file is never claimed without a transaction to hold it
        const auto claim = ClaimOrderFile(c.ImportPath, name, {me.host, me.pid, QDateTime::currentDateTime()});
        if (!claim)
            continue; // another station took it
        const ClaimedFile file{*claim, name};
        try {
            Transaction savepoint(ctx.db);
            ReadMessageFile(ctx, file.claimPath, *message);
            savepoint.commit();
        } catch (const std::exception& e) {
            ctx.log.logall(u"Fehler beim lesen der Nachricht : "_s + message->msh(10) + u" Auftrag/Probe: "_s +
                               message->orc(2),
                           LogDirection::OrderIn);
            ctx.log.logall(u"Fehlerbeschreibung: "_s + ErrorText(e), LogDirection::OrderIn);
            ClearMessageBuffers(*message);
            fileFailed(ctx, file);
            ++outcome.failed;
            batch.commitAndFile();
            return outcome;
        }
        batch.add(file);
        if (batch.size() >= options.messagesPerCommit)
            batch.commitAndFile();
    }
    batch.commitAndFile();
    return outcome;
}

} // namespace kestrin
