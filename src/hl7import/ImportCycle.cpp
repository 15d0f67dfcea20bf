#include "hl7import/ImportCycle.h"

#include "ClaimAhead.h"
#include "DoneFiling.h"
#include "FixedTexts.h"
#include "core/ProcessAlive.h"
#include "core/TextChecks.h"
#include "hl7import/ImportFolder.h"
#include "hl7import/ImportJournal.h"
#include "hl7import/MessageError.h"
#include "hl7import/MessageParsing.h"
#include "hl7import/MessageReader.h"
#include "labdb/DbError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <deque>
#include <exception>
#include <memory>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// Files are claimed and read ahead up to a batch, and no further than this many characters (a
// batch of files near ImportMaxBytes is read and stored in parts); the next batch as much again.
constexpr qsizetype kReadAheadChars = 2 * 1024 * 1024;

// Import stations take turns with their batches, so that two never store the same new
// patient, customer or sample at once (the patients' SI_ID has no key to refuse a second row).
const QString kImportLock = u"kestrin import"_s;

// Keys of the lasting trouble said once.
const QString kListing = u"listing"_s;
const QString kClaim = u"claim"_s;
const QString kDoneFolder = u"done folder"_s;
const QString kErrorFolder = u"error folder"_s;
const QString kFailureLimit = u"failure limit"_s;

// Folders with an order file's name are said by name up to this many; more in one line a cycle.
constexpr qsizetype kMaxFoldersSaid = 100;

// A file of a committed batch: what it was when it was read, and what it named itself by.
struct StoredFile {
    ClaimedFile file;
    QByteArray digest;
    MessageIdentity identity;
};

OrderReading readingOf(const AppConfig& config, const ImportOptions& options)
{
    return {
        config.ImportExtension, config.ImportMinAge, {config.ImportMaxBytes, config.Charset}, options.filesPerListing};
}

QString leafName(const QString& path) { return QFileInfo(QDir::cleanPath(path)).fileName(); }

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
        , m_reader(m_folder, readingOf(ctx.config, options), m_me, options.messagesPerCommit, kReadAheadChars)
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
    void openFolders();
    void settleLeftClaims();
    void settleSetAside();
    void listAndStore();
    bool folderListed(const QString& error);
    void foldersFound(const QStringList& names);
    void beginBatch();
    void take(ClaimAhead::Claim claim);
    bool failureLimitReached();
    std::vector<ReadFile> readAgain(const std::vector<StoredFile>& files);
    // These return false after a failed message.
    bool storeAhead(OrderMessage& message);
    bool storeClaimed(const ReadFile& read, OrderMessage& message, bool quiet);
    void messageFailed(const ReadFile& read, const MessageIdentity& identity, OrderMessage& message,
                       const std::exception& e);
    void fileFailed(const ClaimedFile& file, const MessageIdentity& identity, const QString& description);
    MessageIdentity storeMessage(const ReadFile& read, OrderMessage& message);
    void storeBatchAgain(OrderMessage& message);
    void rollBack();
    bool commitAndFile();
    bool findRefusedMessage();
    void fileDone(const ClaimedFile& file);
    void doneFiled(const Filing& filing);
    void settleFiled(const DoneFiling::Outcomes& outcomes);
    void fileIntoErrorFolder(const ClaimedFile& file);
    Filing fileIntoErrors(const QString& claimName, const QString& fileName);
    void errorFolderTrouble(const Filing& filing);
    void removed(const QString& fileName);
    void releaseBatch();
    void releaseAhead();
    void sayAtEnd();
    void say(const QString& key, const QString& text);
    void sayMended(const QString& key, const QString& text);

    Context& m_ctx;
    ImportState& m_state;
    const ImportOptions& m_options;
    const Claimant m_me;
    // Worked in by handle; they outlive the reader and the filing that use them.
    FolderHandle m_folder;
    FolderHandle m_done;
    std::optional<FolderHandle> m_errors; // opened when a file fails
    OrderStore m_store;
    CycleOutcome m_outcome;
    std::unique_ptr<Transaction> m_transaction;
    std::vector<StoredFile> m_batch;
    std::deque<ReadFile> m_ahead; // claimed and read, not yet stored
    qsizetype m_aheadChars = 0;
    bool m_oneByOne = false;
    int m_failedFiles = 0;   // toward ImportMaxFailures
    QString m_claimTrouble;  // the first file this cycle could not take, and why
    qsizetype m_removed = 0; // claimed files another program took away
    QString m_firstRemoved;
    bool m_listedToEnd = false;
    QSet<QString> m_foldersSeen; // of those said
    qsizetype m_foldersUnsaid = 0;
    ClaimAhead m_reader; // the next files, claimed and read while a batch is stored
    DoneFiling m_filing; // the last committed batch's files on their way into Done
};

void ImportRun::say(const QString& key, const QString& text) { m_ctx.outages.report(u"import: "_s + key, text); }

void ImportRun::sayMended(const QString& key, const QString& text) { m_ctx.outages.mend(u"import: "_s + key, text); }

CycleOutcome ImportRun::run()
{
    openFolders();
    if (!m_folder.isOpen())
        return m_outcome;
    // Looked for every cycle: a table dropped while the service runs is said, not made again.
    RequireImportJournal(m_ctx.db);
    settleLeftClaims();
    ForgetImportedBefore(m_ctx.db, m_ctx.now().addDays(-m_options.journalDays));
    listAndStore();
    m_reader.stop();
    settleFiled(m_filing.finish());
    sayAtEnd();
    return m_outcome;
}

// The import folder as configured, and "Done" below it as a real folder of Kestrin's user: a
// link or another user's folder in its place would take the orders where the sender chooses.
void ImportRun::openFolders()
{
    ensureFolder(config().ImportPath);
    m_folder = FolderHandle::Open(config().ImportPath);
    // An import folder that cannot be listed keeps its orders unseen: said, and counted.
    if (!folderListed(m_folder.problem()))
        return;
    m_done = FolderHandle::OpenOwn(m_folder, leafName(config().ImportDonePath), true);
    if (!m_done.isOpen())
        throw FileError(
            u"The folder %1 cannot take order files: %2. Order files go only into a real folder of "
            u"Kestrin's user; they wait in the import folder."_s.arg(config().ImportDonePath, m_done.problem()));
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
    m_outcome.folderUnusable = true;
    return false;
}

// A folder with an order file's name cannot be taken out of the way: said once while it stays,
// the first of them by name, the rest counted.
void ImportRun::foldersFound(const QStringList& names)
{
    for (const QString& name : names) {
        if (name == leafName(config().ImportDonePath) || name == leafName(config().ImportErrorPath))
            continue;
        if (m_state.foldersSaid.contains(name)) {
            m_foldersSeen.insert(name);
        } else if (m_state.foldersSaid.size() < kMaxFoldersSaid) {
            m_state.foldersSaid.insert(name);
            m_foldersSeen.insert(name);
            m_ctx.log.logStatus(u"%1 in the import folder is a folder, not an order file; it stays there unread."_s.arg(
                ShownFileName(name)));
        } else {
            ++m_foldersUnsaid;
        }
    }
}

// What this cycle met once, said once.
void ImportRun::sayAtEnd()
{
    if (m_claimTrouble.isEmpty()) {
        sayMended(kClaim, u"The order files in %1 can be taken again."_s.arg(config().ImportPath));
    } else if (!m_ctx.outages.isOpen(u"import: "_s + kClaim)) {
        // Said once while it lasts (a full file system refuses every claim), not once per file.
        say(kClaim,
            u"Order files in %1 cannot be taken (%2); they stay in the folder and are tried again at "
            u"every cycle."_s.arg(config().ImportPath, m_claimTrouble));
    }
    if (m_failedFiles < config().ImportMaxFailures)
        m_ctx.outages.mend(u"import: "_s + kFailureLimit);
    if (m_removed > 0)
        m_ctx.log.logStatus(u"%1 claimed order files were removed from %2 by another program before Kestrin could "
                            u"file them (the first: %3)."_s.arg(QString::number(m_removed), config().ImportPath,
                                                                ShownFileName(m_firstRemoved)));
    if (m_listedToEnd)
        m_state.foldersSaid = std::exchange(m_foldersSeen, {});
    if (m_foldersUnsaid > 0)
        m_ctx.log.logStatus(u"%1 further folders in %2 have an order file's name; they stay there unread."_s.arg(
            QString::number(m_foldersUnsaid), config().ImportPath));
}

void ImportRun::settleLeftClaims()
{
    for (const FoundClaim& claim : LeftClaims(m_folder, m_me, m_options.staleClaimMs, IsProcessAlive)) {
        if (WasImported(m_ctx.db, claim.claimName))
            fileDone({claim.claimName, claim.name});
        else
            ReleaseClaim(m_folder, claim.claimName, claim.name);
    }
    settleSetAside();
}

// Failed files that the error folder could not take before: while they wait the cycle counts
// them as failed, and once they are filed it says so.
void ImportRun::settleSetAside()
{
    const QList<FoundClaim> waiting = SetAsideFiles(m_folder);
    qsizetype filed = 0;
    qsizetype left = 0;
    for (const FoundClaim& file : waiting) {
        const Filing filing = fileIntoErrors(file.claimName, file.name);
        switch (filing.result) {
        case Filing::Result::Filed:
            ++filed;
            break;
        case Filing::Result::Gone:
            removed(file.name);
            break;
        case Filing::Result::NamesTaken:
        case Filing::Result::Failed:
            ++left;
            errorFolderTrouble(filing);
            break;
        }
    }
    m_outcome.failed += int(left);
    if (left == 0 && filed > 0) {
        m_ctx.outages.mend(u"import: "_s + kErrorFolder);
        m_ctx.log.logStatus(u"The folder %1 takes failed order files again; %2 set aside in the import folder are "
                            u"filed into it."_s.arg(config().ImportErrorPath, QString::number(filed)));
    }
}

void ImportRun::listAndStore()
{
    const auto message = std::make_unique<OrderMessage>();
    m_reader.start(m_me.now);
    while (std::optional<ClaimAhead::Claim> claim = m_reader.next()) {
        m_ctx.reportProgress();
        if (claim->listed) {
            if (!folderListed(claim->listed->error))
                break;
            foldersFound(claim->listed->folders);
            m_listedToEnd = claim->listed->end;
            continue;
        }
        // Asked to stop: the batch in hand is finished, no other begun.
        if (!m_transaction && m_ctx.stopRequested()) {
            if (claim->read)
                ReleaseClaim(m_folder, claim->read->file.claimName, claim->read->file.name);
            return;
        }
        take(std::move(*claim));
        if (failureLimitReached())
            break;
        const bool batchFull = qsizetype(m_batch.size() + m_ahead.size()) >= m_options.messagesPerCommit;
        if ((batchFull || m_aheadChars >= kReadAheadChars) && !storeAhead(*message) && failureLimitReached())
            break;
    }
    storeAhead(*message);
    commitAndFile();
}

void ImportRun::take(ClaimAhead::Claim claim)
{
    if (!claim.read) {
        if (m_claimTrouble.isEmpty())
            m_claimTrouble = claim.trouble;
        ++m_outcome.failed;
        m_outcome.folderUnusable = true;
        ++m_failedFiles;
        return;
    }
    m_ahead.push_back(std::move(*claim.read));
    m_aheadChars += m_ahead.back().size;
    // Stored only under the import lock; a transaction that cannot begin gives the file back.
    if (!m_transaction)
        beginBatch();
}

// A flood of bad files delays the good ones after them by a cycle, not by a cycle each.
bool ImportRun::failureLimitReached()
{
    if (m_failedFiles < config().ImportMaxFailures)
        return false;
    say(kFailureLimit,
        u"%1 order files failed in one cycle (ImportMaxFailures); the cycle ends there and the "
        u"files after them are taken in the next."_s.arg(config().ImportMaxFailures));
    return true;
}

void ImportRun::beginBatch()
{
    m_transaction = std::make_unique<Transaction>(m_ctx.db);
    m_ctx.db.lockExclusive(kImportLock);
}

// Reads a batch's files again (after a rollback) and looks up what they name, together. A file
// that is no longer what was read fails (another program wrote it meanwhile).
std::vector<ReadFile> ImportRun::readAgain(const std::vector<StoredFile>& files)
{
    std::vector<ReadFile> read;
    QList<OrderKeys> keys;
    for (const StoredFile& stored : files) {
        ReadFile& again =
            read.emplace_back(ClaimAhead::read(m_folder, readingOf(config(), m_options).file, stored.file));
        again.named = stored.identity;
        if (!again.error && again.digest != stored.digest)
            again.error = std::make_exception_ptr(
                MessageError(u"The order file %1 was changed by another program after it was read; it is not read "
                             u"again."_s.arg(ShownFileName(m_folder.filePath(stored.file.name)))));
        if (!again.error)
            keys << ReadOrderKeys(again.messages);
    }
    m_store.LookUpAhead(keys);
    return read;
}

// Stores the files read ahead, the patients, samples and customers they name looked up together.
// Returns false when a message failed; the rest are stored unless the failures reach their limit.
bool ImportRun::storeAhead(OrderMessage& message)
{
    bool allStored = true;
    while (!m_ahead.empty()) {
        QList<OrderKeys> keys;
        for (const ReadFile& read : m_ahead)
            if (!read.error)
                keys << ReadOrderKeys(read.messages);
        m_store.LookUpAhead(keys);
        bool failed = false;
        while (!m_ahead.empty() && !failed) {
            if (!m_transaction)
                beginBatch();
            const ReadFile read = std::move(m_ahead.front());
            m_ahead.pop_front();
            m_aheadChars -= read.size;
            failed = !storeClaimed(read, message, false);
        }
        allStored = allStored && !failed;
        if (failed && failureLimitReached()) {
            // The files after it are read again next time.
            releaseAhead();
            return false;
        }
    }
    m_aheadChars = 0;
    return allStored;
}

bool ImportRun::storeClaimed(const ReadFile& read, OrderMessage& message, bool quiet)
{
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
    } catch (const OrderFileGone&) {
        removed(read.file.name); // nothing of it was stored
        return true;
    } catch (const std::exception& e) {
        // Failed while it was read: the buffers still hold what it named itself by.
        if (identity.controlId.isNull() && identity.sampleId.isNull())
            identity = read.named.controlId.isNull() && read.named.sampleId.isNull()
                ? MessageIdentity{message.msh(10), message.orc(2)}
                : read.named;
        messageFailed(read, identity, message, e);
        return false;
    }
    m_batch.push_back({read.file, read.digest, identity});
    if (qsizetype(m_batch.size()) >= m_options.messagesPerCommit)
        return commitAndFile();
    return true;
}

void ImportRun::messageFailed(const ReadFile& read, const MessageIdentity& identity, OrderMessage& message,
                              const std::exception& e)
{
    const ClaimedFile& claimed = read.file;
    if (databaseFailed(e)) {
        ClearMessageBuffers(message);
        ReleaseClaim(m_folder, claimed.claimName, claimed.name);
        m_ctx.log.logall(
            u"The database failed while the order file %1 was stored; it goes back to the "
            u"import folder and is read again when the database answers."_s.arg(ShownFileName(claimed.name)),
            LogDirection::Monitor);
        throw;
    }
    ClearMessageBuffers(message);
    // Its lines before those of a file of the batch that fails when it is read again.
    m_ctx.log.logall(importtexts::ReadFailedLine(identity.controlId, identity.sampleId), LogDirection::OrderIn);
    m_ctx.log.logall(importtexts::ErrorDescriptionLine(ErrorText(e)), LogDirection::OrderIn);
    // A file that could not be read left nothing in the batch to undo.
    if (!read.error) {
        try {
            storeBatchAgain(message);
        } catch (...) {
            ReleaseClaim(m_folder, claimed.claimName, claimed.name);
            throw;
        }
    }
    fileIntoErrorFolder(claimed);
}

// A file that failed after its lines were said: into the error folder, counted.
void ImportRun::fileFailed(const ClaimedFile& file, const MessageIdentity& identity, const QString& description)
{
    m_ctx.log.logall(importtexts::ReadFailedLine(identity.controlId, identity.sampleId), LogDirection::OrderIn);
    m_ctx.log.logall(importtexts::ErrorDescriptionLine(description), LogDirection::OrderIn);
    fileIntoErrorFolder(file);
}

MessageIdentity ImportRun::storeMessage(const ReadFile& read, OrderMessage& message)
{
    if (read.error)
        std::rethrow_exception(read.error);
    const MessageIdentity identity = StoreMessages(m_store, read.messages, message);
    m_store.RecordImported(read.file.claimName, read.file.name);
    return identity;
}

void ImportRun::rollBack()
{
    m_transaction.reset();
    m_store.discard();
}

// Messages have no savepoints of their own (they cost a copy of every page a message touches):
// a failed one is undone by rolling the batch back and storing the messages before it again,
// quietly, since their lines are in the log already. A file that another program changed or
// took away meanwhile is its own failure, not the batch's.
void ImportRun::storeBatchAgain(OrderMessage& message)
{
    rollBack();
    if (m_batch.empty())
        return;
    beginBatch();
    const std::vector<StoredFile> batch = std::exchange(m_batch, {});
    const std::vector<ReadFile> read = readAgain(batch);
    std::vector<std::pair<const ReadFile*, QString>> failed;
    {
        const CommLog::Silence silence(m_ctx.log);
        for (const ReadFile& again : read) {
            if (!again.error) {
                storeMessage(again, message);
                m_batch.push_back({again.file, again.digest, again.named});
                continue;
            }
            try {
                std::rethrow_exception(again.error);
            } catch (const OrderFileGone&) {
                removed(again.file.name);
            } catch (const std::exception& e) {
                failed.emplace_back(&again, ErrorText(e));
            }
        }
    }
    for (const auto& [again, description] : failed)
        fileFailed(again->file, again->named, description);
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
    std::vector<ClaimedFile> files;
    files.reserve(m_batch.size());
    for (const StoredFile& stored : std::exchange(m_batch, {}))
        files.push_back(stored.file);
    settleFiled(m_filing.start(m_folder, m_done, std::move(files)));
    return true;
}

// A row the batch wrote together was refused: the batch is stored again message by message,
// each written at once, and the one whose row is refused fails as any message does.
bool ImportRun::findRefusedMessage()
{
    rollBack();
    const std::vector<StoredFile> files = std::exchange(m_batch, {});
    m_oneByOne = true;
    beginBatch();
    const auto message = std::make_unique<OrderMessage>();
    const std::vector<ReadFile> read = readAgain(files);
    bool allStored = true;
    const auto releaseFrom = [&](std::size_t first) {
        for (std::size_t rest = first; rest < read.size(); ++rest)
            ReleaseClaim(m_folder, read[rest].file.claimName, read[rest].file.name);
    };
    for (std::size_t i = 0; i < read.size(); ++i) {
        try {
            if (!m_transaction)
                beginBatch();
        } catch (...) {
            releaseFrom(i);
            throw;
        }
        try {
            allStored = storeClaimed(read[i], *message, true) && allStored;
        } catch (...) {
            releaseFrom(i + 1);
            throw;
        }
        if (!allStored && failureLimitReached()) {
            releaseFrom(i + 1); // read again next time
            commitAndFile();
            return false;
        }
    }
    return commitAndFile() && allStored;
}

void ImportRun::fileDone(const ClaimedFile& file) { doneFiled(FileInto(m_folder, file.claimName, m_done, file.name)); }

void ImportRun::settleFiled(const DoneFiling::Outcomes& outcomes)
{
    for (const Filing& filing : outcomes)
        doneFiled(filing);
}

void ImportRun::doneFiled(const Filing& filing)
{
    const QString& done = config().ImportDonePath;
    switch (filing.result) {
    case Filing::Result::Filed:
        ++m_outcome.handled;
        sayMended(kDoneFolder, u"The folder %1 takes order files again."_s.arg(done));
        return;
    case Filing::Result::Gone: // its message is stored
        ++m_outcome.handled;
        removed(filing.name);
        return;
    case Filing::Result::NamesTaken:
    case Filing::Result::Failed:
        break;
    }
    // The message is stored: its claim stays, and a later cycle files it, never storing it again.
    ++m_outcome.failed;
    const QString problem =
        filing.result == Filing::Result::NamesTaken ? u"1000 files of that name are in it already"_s : filing.error;
    say(kDoneFolder,
        u"Stored order files cannot be filed into %1 (%2); they stay claimed in the import "
        u"folder and are filed when it can be written."_s.arg(done, problem));
}

void ImportRun::fileIntoErrorFolder(const ClaimedFile& file)
{
    ++m_outcome.failed;
    ++m_failedFiles;
    const Filing filing = fileIntoErrors(file.claimName, file.name);
    if (filing.result == Filing::Result::Filed)
        return;
    if (filing.result == Filing::Result::Gone) {
        removed(file.name);
        return;
    }
    // Set aside under a name no cycle takes, so that it does not block the files after it.
    const Filing setAside = SetAsideFailed(m_folder, file.claimName, m_me, file.name);
    if (setAside.result == Filing::Result::Filed) {
        errorFolderTrouble(filing);
        return;
    }
    if (setAside.result == Filing::Result::Gone) {
        removed(file.name);
        return;
    }
    m_ctx.log.logall(u"The failed order file %1 can be neither filed nor set aside (%2); it goes back to the import "
                     u"folder."_s.arg(ShownFileName(file.name), setAside.error),
                     LogDirection::Monitor);
    ReleaseClaim(m_folder, file.claimName, file.name);
}

// Into "EinleseFehler", a real folder of Kestrin's user, made when the first file fails.
Filing ImportRun::fileIntoErrors(const QString& claimName, const QString& fileName)
{
    if (!m_errors)
        m_errors = FolderHandle::OpenOwn(m_folder, leafName(config().ImportErrorPath), true);
    if (!m_errors->isOpen())
        return {Filing::Result::Failed, fileName, m_errors->problem()};
    return FileInto(m_folder, claimName, *m_errors, fileName);
}

void ImportRun::errorFolderTrouble(const Filing& filing)
{
    const QString problem =
        filing.result == Filing::Result::NamesTaken ? u"1000 files of that name are in it already"_s : filing.error;
    say(kErrorFolder,
        u"Failed order files cannot be filed into %1 (%2); they are set aside in the import folder "
        u"and filed when it can be written."_s.arg(config().ImportErrorPath, problem));
}

// Said once at the end of the cycle, however many.
void ImportRun::removed(const QString& fileName)
{
    if (m_removed++ == 0)
        m_firstRemoved = fileName;
}

void ImportRun::releaseBatch()
{
    for (const StoredFile& stored : m_batch)
        ReleaseClaim(m_folder, stored.file.claimName, stored.file.name);
    m_batch.clear();
    releaseAhead();
}

void ImportRun::releaseAhead()
{
    for (const ReadFile& read : m_ahead)
        ReleaseClaim(m_folder, read.file.claimName, read.file.name);
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
