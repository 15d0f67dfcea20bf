#include "hl7import/ImportCycle.h"

#include "ClaimAhead.h"
#include "DoneFiling.h"
#include "FixedTexts.h"
#include "core/FolderCheck.h"
#include "core/ProcessAlive.h"
#include "hl7import/ImportFolder.h"
#include "hl7import/ImportJournal.h"
#include "hl7import/MessageParsing.h"
#include "hl7import/MessageReader.h"
#include "hl7import/NativeFileNames.h"
#include "labdb/DbError.h"

#include <QCoreApplication>
#include <QDir>

#include <deque>
#include <exception>
#include <memory>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

QString claimName(const ClaimedFile& file) { return QFileInfo(file.claimPath).fileName(); }

// Files are claimed and read ahead up to a batch, and no further than this many characters (a
// batch of files near ImportMaxBytes is read and stored in parts); the next batch as much again.
constexpr qsizetype kReadAheadChars = 2 * 1024 * 1024;

// Import stations take turns with their batches, so that two never store the same new
// patient, customer or sample at once (the patients' SI_ID has no key to refuse a second row).
const QString kImportLock = u"kestrin import"_s;

// Keys of the lasting trouble said once.
const QString kListing = u"listing"_s;
const QString kClaim = u"claim"_s;

// Why a folder that is there cannot be worked in; empty when it can.
QString folderTrouble(const QFileInfo& folder)
{
    if (!folder.isDir())
        return u"it is a file, not a folder"_s;
    if (!folder.isReadable() || !folder.isExecutable())
        return u"Kestrin's user may not list it"_s;
    if (!folder.isWritable())
        return u"Kestrin's user may not write in it"_s;
    return {};
}

// Names the folder that stands in the way, which is not always the one to be made.
void ensureFolder(const QString& path)
{
    if (QDir().mkpath(path))
        return;
    QString above = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo::exists(above) && QFileInfo(above).absolutePath() != above)
        above = QFileInfo(above).absolutePath();
    const QString trouble = folderTrouble(QFileInfo(above));
    throw FileError(u"The folder %1 cannot be created: %2."_s.arg(
        path, trouble.isEmpty() ? u"the file system refuses it"_s : u"in %1, %2"_s.arg(above, trouble)));
}

// A database that fails is no fault of the message being stored: only a refusal of its data
// is. (Undoing the message then finds out whether the database still answers.)
bool databaseFailed(const std::exception& e)
{
    const auto* error = dynamic_cast<const DbError*>(&e);
    return error && !error->refusesData();
}

class ImportRun {
public:
    ImportRun(Context& ctx, ImportState& state, const ImportOptions& options)
        : m_ctx(ctx)
        , m_state(state)
        , m_options(options)
        , m_me{ctx.config.ComputerName, QCoreApplication::applicationPid(), QDateTime::currentDateTime()}
        , m_store(ctx)
        , m_reader(ctx, m_me, options.messagesPerCommit, kReadAheadChars)
    {
    }

    ~ImportRun()
    {
        // Leaving without commit (an error escaped): the messages are not stored, so their
        // files go back to the import folder to be read again (also when the transaction to
        // store them again could not even begin).
        m_reader.stop();
        if (m_transaction)
            rollBack();
        releaseBatch();
        try {
            // Stored batches are filed whatever went wrong after them.
            settleFiled(m_filing.finish());
        } catch (...) {
            // Reporting a folder's trouble failed while another error escapes: it is said next cycle.
        }
    }

    CycleOutcome run();

private:
    const AppConfig& config() const { return m_ctx.config; }
    void settleLeftClaims();
    void listAndStore();
    // These return true when the cycle goes on, false after a failed message.
    bool folderListed(const QString& error);
    void beginBatch();
    void take(ClaimAhead::Claim claim);
    std::vector<ReadFile> readAndLookUp(const std::vector<ClaimedFile>& files);
    bool storeAhead(OrderMessage& message);
    bool storeClaimed(const ReadFile& read, OrderMessage& message, bool quiet);
    void messageFailed(const ClaimedFile& claimed, const MessageIdentity& identity, OrderMessage& message,
                       const std::exception& e);
    MessageIdentity storeMessage(const ReadFile& read, OrderMessage& message);
    void sayClaimTrouble();
    void storeBatchAgain(OrderMessage& message);
    void rollBack();
    bool commitAndFile();
    bool findRefusedMessage();
    void fileDone(const ClaimedFile& file);
    void doneFiled(const QString& problem);
    void settleFiled(const DoneFiling::Problems& problems);
    void fileFailed(const ClaimedFile& file);
    void releaseBatch();
    void releaseAhead();
    void say(const QString& key, const QString& text);
    void sayMended(const QString& key, const QString& text);

    Context& m_ctx;
    ImportState& m_state;
    const ImportOptions& m_options;
    const Claimant m_me;
    OrderStore m_store;
    CycleOutcome m_outcome;
    std::unique_ptr<Transaction> m_transaction;
    std::vector<ClaimedFile> m_batch;
    std::deque<ReadFile> m_ahead; // claimed and read, not yet stored
    qsizetype m_aheadChars = 0;
    bool m_oneByOne = false;
    QString m_claimTrouble; // the first file this cycle could not take, and why
    ClaimAhead m_reader;    // the next files, claimed and read while a batch is stored
    DoneFiling m_filing;    // the last committed batch's files on their way into Done
};

void ImportRun::say(const QString& key, const QString& text) { m_ctx.outages.report(u"import: "_s + key, text); }

void ImportRun::sayMended(const QString& key, const QString& text) { m_ctx.outages.mend(u"import: "_s + key, text); }

CycleOutcome ImportRun::run()
{
    ensureFolder(config().ImportPath);
    // An import folder that cannot be listed keeps its orders unseen: said, and counted.
    if (!folderListed(ListingProblem(config().ImportPath)))
        return m_outcome;
    ensureFolder(config().ImportDonePath);
    if (!m_state.journalReady) {
        EnsureImportJournal(m_ctx.db);
        m_state.journalReady = true;
    }
    settleLeftClaims();
    ForgetImportedBefore(m_ctx.db, m_ctx.now().addDays(-m_options.journalDays));
    listAndStore();
    m_reader.stop();
    settleFiled(m_filing.finish());
    sayClaimTrouble();
    return m_outcome;
}

bool ImportRun::folderListed(const QString& error)
{
    if (error.isEmpty()) {
        sayMended(kListing, u"The import folder %1 can be listed again."_s.arg(config().ImportPath));
        return true;
    }
    say(kListing,
        u"The import folder %1 cannot be listed (%2); the order files in it wait."_s.arg(config().ImportPath, error));
    ++m_outcome.failed;
    return false;
}

// Said once while it lasts (a full file system refuses every claim), not once per file.
void ImportRun::sayClaimTrouble()
{
    if (m_claimTrouble.isEmpty()) {
        sayMended(kClaim, u"The order files in %1 can be taken again."_s.arg(config().ImportPath));
        return;
    }
    if (!m_ctx.outages.isOpen(u"import: "_s + kClaim))
        say(kClaim,
            u"Order files in %1 cannot be taken (%2); they stay in the folder and are tried again at "
            u"every cycle."_s.arg(config().ImportPath, m_claimTrouble));
}

void ImportRun::settleLeftClaims()
{
    for (const FoundClaim& claim : LeftClaims(config().ImportPath, m_me, m_options.staleClaimMs, IsProcessAlive)) {
        if (WasImported(m_ctx.db, claim.claimName))
            fileDone({claim.path, claim.name});
        else
            ReleaseClaim(claim.path, config().ImportPath, claim.name);
    }
    // Failed files that the error folder could not take before.
    for (const FoundClaim& failed : SetAsideFiles(config().ImportPath)) {
        try {
            QDir().mkpath(config().ImportErrorPath);
            if (FileInto(failed.path, config().ImportErrorPath, failed.name))
                sayMended(u"error folder"_s,
                          u"The folder %1 takes failed order files again."_s.arg(config().ImportErrorPath));
        } catch (const FileError&) {
            // Said when it was set aside; it waits for the next cycle.
        }
    }
}

void ImportRun::listAndStore()
{
    const auto message = std::make_unique<OrderMessage>();
    m_reader.start({config().ImportMinAge, m_me.now, m_options.filesPerListing});
    while (std::optional<ClaimAhead::Claim> claim = m_reader.next()) {
        if (claim->listed) {
            if (!folderListed(claim->listed->error))
                break;
            for (const QString& name : std::as_const(claim->listed->notRegular))
                say(u"not regular:"_s + name,
                    u"%1 in the import folder is no regular file (a folder, device or pipe); it is not read."_s.arg(
                        name));
            continue;
        }
        // Asked to stop: the batch in hand is finished, no other begun.
        if (!m_transaction && m_ctx.stopRequested()) {
            if (claim->read)
                ReleaseClaim(claim->read->file.claimPath, config().ImportPath, claim->read->file.name);
            return;
        }
        take(std::move(*claim));
        const bool batchFull = qsizetype(m_batch.size() + m_ahead.size()) >= m_options.messagesPerCommit;
        if ((batchFull || m_aheadChars >= kReadAheadChars) && !storeAhead(*message))
            return;
    }
    if (storeAhead(*message))
        commitAndFile();
}

void ImportRun::take(ClaimAhead::Claim claim)
{
    if (!claim.read) {
        if (m_claimTrouble.isEmpty())
            m_claimTrouble = claim.trouble;
        ++m_outcome.failed;
        return;
    }
    m_ahead.push_back(std::move(*claim.read));
    m_aheadChars += m_ahead.back().size;
    // Stored only under the import lock; a transaction that cannot begin gives the file back.
    if (!m_transaction)
        beginBatch();
}

void ImportRun::beginBatch()
{
    m_transaction = std::make_unique<Transaction>(m_ctx.db);
    m_ctx.db.lockExclusive(kImportLock);
}

// Reads the files again (after a rollback) and looks up what they name, together.
std::vector<ReadFile> ImportRun::readAndLookUp(const std::vector<ClaimedFile>& files)
{
    std::vector<ReadFile> read;
    QList<OrderKeys> keys;
    for (const ClaimedFile& file : files) {
        read.push_back(ClaimAhead::read(m_ctx, file));
        if (!read.back().error)
            keys << ReadOrderKeys(read.back().messages);
    }
    m_store.LookUpAhead(keys);
    return read;
}

// Stores the files read ahead, the patients, samples and customers they name looked up together.
bool ImportRun::storeAhead(OrderMessage& message)
{
    if (m_ahead.empty())
        return true;
    QList<OrderKeys> keys;
    for (const ReadFile& read : m_ahead)
        if (!read.error)
            keys << ReadOrderKeys(read.messages);
    m_store.LookUpAhead(keys);
    while (!m_ahead.empty()) {
        const ReadFile read = std::move(m_ahead.front());
        m_ahead.pop_front();
        if (!storeClaimed(read, message, false)) {
            // The cycle ends at a failed message; the files after it are read again next time.
            releaseAhead();
            return false;
        }
    }
    m_aheadChars = 0;
    return true;
}

bool ImportRun::storeClaimed(const ReadFile& read, OrderMessage& message, bool quiet)
{
    const ClaimedFile& claimed = read.file;
    MessageIdentity identity;
    try {
        const std::optional<CommLog::Silence> silence =
            quiet ? std::make_optional<CommLog::Silence>(m_ctx.log) : std::nullopt;
        const CommLog::Gather lines(m_ctx.log);
        identity = storeMessage(read, message);
        // Once a batch had a refused row, every message is written at once, so that a
        // refusal is the fault of the message that caused it.
        if (m_oneByOne)
            m_store.flush();
    } catch (const std::exception& e) {
        // Failed while it was read: the buffers still hold what it named itself by.
        if (identity.controlId.isNull() && identity.sampleId.isNull())
            identity = {message.msh(10), message.orc(2)};
        messageFailed(claimed, identity, message, e);
        return false;
    }
    m_batch.push_back(claimed);
    if (qsizetype(m_batch.size()) >= m_options.messagesPerCommit)
        return commitAndFile();
    return true;
}

void ImportRun::messageFailed(const ClaimedFile& claimed, const MessageIdentity& identity, OrderMessage& message,
                              const std::exception& e)
{
    if (databaseFailed(e)) {
        ClearMessageBuffers(message);
        ReleaseClaim(claimed.claimPath, config().ImportPath, claimed.name);
        m_ctx.log.logall(u"The database failed while the order file %1 was stored; it goes back to the "
                         u"import folder and is read again when the database answers."_s.arg(claimed.name),
                         LogDirection::Monitor);
        throw;
    }
    m_ctx.log.logall(importtexts::ReadFailedLine(identity.controlId, identity.sampleId), LogDirection::OrderIn);
    m_ctx.log.logall(importtexts::ErrorDescriptionLine(ErrorText(e)), LogDirection::OrderIn);
    ClearMessageBuffers(message);
    try {
        storeBatchAgain(message);
    } catch (...) {
        ReleaseClaim(claimed.claimPath, config().ImportPath, claimed.name);
        throw;
    }
    fileFailed(claimed);
    ++m_outcome.failed;
    commitAndFile();
}

MessageIdentity ImportRun::storeMessage(const ReadFile& read, OrderMessage& message)
{
    if (read.error)
        std::rethrow_exception(read.error);
    const MessageIdentity identity = StoreMessages(m_store, read.messages, message);
    m_store.RecordImported(claimName(read.file), read.file.name);
    return identity;
}

void ImportRun::rollBack()
{
    m_transaction.reset();
    m_store.discard();
}

// Messages have no savepoints of their own (they cost a copy of every page a message touches):
// a failed one is undone by rolling the batch back and storing the messages before it again,
// quietly, since their lines are in the log already.
void ImportRun::storeBatchAgain(OrderMessage& message)
{
    rollBack();
    if (m_batch.empty())
        return;
    beginBatch();
    const CommLog::Silence silence(m_ctx.log);
    for (const ReadFile& read : readAndLookUp(m_batch))
        storeMessage(read, message);
}

bool ImportRun::commitAndFile()
{
    if (!m_transaction)
        return true;
    try {
        m_store.flush();
        m_transaction->commit();
    } catch (const DbError& e) {
        if (e.refusesData() && !m_batch.empty())
            return findRefusedMessage();
        rollBack();
        m_ctx.log.logall(u"The database failed while %1 order files were stored; they go back to the import "
                         u"folder and are read again when the database answers."_s.arg(m_batch.size()),
                         LogDirection::Monitor);
        releaseBatch();
        throw;
    }
    m_transaction.reset();
    m_store.discard();
    settleFiled(m_filing.start(config().ImportDonePath, std::exchange(m_batch, {})));
    return true;
}

// A row the batch wrote together was refused: the batch is stored again message by message,
// each written at once, and the one whose row is refused fails as any message does.
bool ImportRun::findRefusedMessage()
{
    rollBack();
    const std::vector<ClaimedFile> files = std::exchange(m_batch, {});
    m_oneByOne = true;
    beginBatch();
    const auto message = std::make_unique<OrderMessage>();
    const std::vector<ReadFile> read = readAndLookUp(files);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!storeClaimed(read[i], *message, true)) {
            // The cycle ends at a failed message; the files after it are read again next time.
            for (std::size_t rest = i + 1; rest < files.size(); ++rest)
                ReleaseClaim(files[rest].claimPath, config().ImportPath, files[rest].name);
            return false;
        }
    }
    return commitAndFile();
}

void ImportRun::fileDone(const ClaimedFile& file)
{
    doneFiled(FilingProblem(file.claimPath, config().ImportDonePath, file.name));
}

void ImportRun::settleFiled(const DoneFiling::Problems& problems)
{
    for (const QString& problem : problems)
        doneFiled(problem);
}

void ImportRun::doneFiled(const QString& problem)
{
    const QString& done = config().ImportDonePath;
    if (problem.isEmpty()) {
        ++m_outcome.handled;
        sayMended(u"done folder"_s, u"The folder %1 takes order files again."_s.arg(done));
        return;
    }
    // The message is stored: its claim stays, and a later cycle files it, never storing it again.
    ++m_outcome.failed;
    say(u"done folder"_s,
        u"Stored order files cannot be filed into %1 (%2); they stay claimed in the import "
        u"folder and are filed when it can be written."_s.arg(done, problem));
}

void ImportRun::fileFailed(const ClaimedFile& file)
{
    const QString& failed = config().ImportErrorPath;
    QDir().mkpath(failed); // a folder that cannot be made shows in the move
    const QString problem = FilingProblem(file.claimPath, failed, file.name);
    if (problem.isEmpty())
        return;
    // Set aside under a name no cycle takes, so that it does not block the files after it.
    try {
        SetAsideFailed(file.claimPath, m_me, file.name);
        say(u"error folder"_s,
            u"Failed order files cannot be filed into %1 (%2); they are set aside in the import "
            u"folder and filed when it can be written."_s.arg(failed, problem));
    } catch (const FileError& e) {
        m_ctx.log.logall(e.message(), LogDirection::Monitor);
        ReleaseClaim(file.claimPath, config().ImportPath, file.name);
    }
}

void ImportRun::releaseBatch()
{
    for (const ClaimedFile& file : m_batch)
        ReleaseClaim(file.claimPath, config().ImportPath, file.name);
    m_batch.clear();
    releaseAhead();
}

void ImportRun::releaseAhead()
{
    for (const ReadFile& read : m_ahead)
        ReleaseClaim(read.file.claimPath, config().ImportPath, read.file.name);
    m_ahead.clear();
    m_aheadChars = 0;
}

} // namespace

CycleOutcome RunImportCycle(Context& ctx, ImportState& state, const ImportOptions& options)
{
    ImportRun run(ctx, state, options);
    return run.run();
}

CycleOutcome RunImportCycle(Context& ctx, const ImportOptions& options)
{
    ImportState state;
    return RunImportCycle(ctx, state, options);
}

} // namespace kestrin
