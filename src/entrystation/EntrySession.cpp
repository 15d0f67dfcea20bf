#include "entrystation/EntrySession.h"

#include "FixedTexts.h"
#include "entrystation/EntryStore.h"
#include "labdb/ColumnSizes.h"
#include "labdb/Schema.h"
#include "labdb/TextLookup.h"
#include "runtime/Context.h"

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

const QString kBusiestUsers = u"select userid from (select userid, count(*) as CTR from sample_base sb INNER JOIN "
                              u"USER_BASE ub on sb.entry_user = ub.comment group by userid) as q1 where ctr > 100 "
                              u"order by ctr desc "_s;
const QString kOtherUsers = u"select userid from user_base where userid not in (select userid from (select userid, "
                            u"count(*) as CTR from sample_base sb INNER JOIN USER_BASE ub on sb.entry_user = "
                            u"ub.comment group by userid) as q1 where ctr > 100)"_s;

// How long a station's statement waits for a lock another program holds: short enough that
// the window answers the next key in time; the entry is tried again from the event loop.
constexpr int kStationLockWait = 50;

// Makes the connection wait briefly for locks while a station action runs, and as long as
// before once it is done (the service's cycles share the connection).
class ShortLockWait {
public:
    explicit ShortLockWait(Database& db)
        : m_db(db)
    {
        m_db.setLockWait(kStationLockWait);
    }
    ~ShortLockWait()
    {
        try {
            m_db.setLockWait(0);
        } catch (const std::exception&) {
            // A lost connection is opened again, with its usual wait, before the next action.
        }
    }
    ShortLockWait(const ShortLockWait&) = delete;
    ShortLockWait& operator=(const ShortLockWait&) = delete;

private:
    Database& m_db;
};

} // namespace

EntrySession::EntrySession(Context& ctx, QString sessionTable)
    : m_ctx(ctx)
    , m_sessionTable(std::move(sessionTable))
    , m_autovalidation(AutovalidationOn(ctx.config.AutoVal))
    , m_edge(&ctx.db, ctx.outages)
{
}

QString EntrySession::stationId() const { return m_ctx.config.StationId; }

void EntrySession::load()
{
    Database& db = m_ctx.db;
    const AppConfig& c = m_ctx.config;
    m_sampleCount = 0;
    m_written.clear();
    ClearEntryRecord(m_entry);

    WriteSessionMarker(db, c.StationId);

    m_captions = LookupTexts(db, c.Language,
                             {kSelectUserKey, kPleaseSelectUserKey, kSampleCounterKey, kSampleIdKey, kResultKey,
                              kClearSessionKey, kCloseKey});

    const auto parameter = db.first(u"select Long from test_def where parameter_id = ?"_s, {int(c.TestParameter)});
    m_parameterConfigured = parameter.has_value();
    if (parameter) {
        m_parameterCaption = parameter->text(u"Long");
        m_ctx.log.writeLine(ParameterLogLine(c.TestParameter, m_parameterCaption));
    } else {
        m_parameterCaption = entrytexts::kParameterNotConfigured.toString();
        m_ctx.log.writeLine(m_parameterCaption);
    }
    if (m_autovalidation)
        m_ctx.log.writeLine(entrytexts::kAutovalidationLine.toString());

    m_users = readUsers(kBusiestUsers);
    try {
        m_users += readUsers(kOtherUsers);
    } catch (const std::exception&) {
        // The list is complete enough with the busiest users; the rest is no reason not to start.
    }
}

QStringList EntrySession::readUsers(const QString& sql)
{
    QStringList users;
    for (const Row& row : m_ctx.db.query(sql))
        users << row.text(u"userid");
    return users;
}

ActionResult EntrySession::guarded(const QString& what, const QString& failedText,
                                   const std::function<ActionResult()>& body)
{
    const WorkLines lines{
        .key = u"Entry station"_s,
        .failed = [&what](const QString& error) { return u"Entry station: %1 failed: %2"_s.arg(what, error); },
        .busyWaits = true};
    ActionResult result;
    const WorkOutcome outcome = m_edge.run(lines, [&] {
        ShortLockWait wait(m_ctx.db);
        result = body();
    });
    if (outcome.ran())
        return result;
    const ActionOutcome station =
        outcome.state == WorkOutcome::State::Busy ? ActionOutcome::Waiting : ActionOutcome::Failed;
    return {station, failedText + u' ' + outcome.words()};
}

ActionResult EntrySession::chooseUser(const QString& userText)
{
    if (userText.trimmed().isEmpty() || !m_parameterConfigured)
        return {ActionOutcome::Refused, {}};
    return guarded(u"checking the user %1"_s.arg(userText),
                   tr("The user could not be checked; the station goes on as before."), [&]() -> ActionResult {
                       const auto row =
                           m_ctx.db.first(u"Select count(*) as CTR from user_base where userid = ?"_s, {userText});
                       if (!row || row->value(u"CTR").toLongLong() <= 0)
                           return {ActionOutcome::Refused, {}};
                       const QString user = userText.trimmed();
                       if (user != m_user)
                           m_ctx.log.logall(m_user.isEmpty() ? u"User chosen: %1"_s.arg(user)
                                                             : u"User changed from %1 to %2"_s.arg(m_user, user),
                                            LogDirection::EntryStation);
                       m_user = user;
                       m_entering = true;
                       return {};
                   });
}

ActionResult EntrySession::storeEntry(const QString& sampleIdText, const QString& resultText)
{
    if (!m_entering)
        return {ActionOutcome::Refused, tr("Choose your user first.")};
    const AppConfig& c = m_ctx.config;
    m_entry = FillEntryRecord(sampleIdText, resultText, c.TestParameter, c.StationId, m_user);
    const StoragePath path = ChooseStoragePath(m_entry.SampleId, c.ControlIdMask, m_autovalidation);
    const ColumnRoom room = [this](const QString& table, const QString& column) { return columnRoom(table, column); };
    if (const QString problem = EntryProblem(m_entry, path, m_sessionTable, room); !problem.isEmpty()) {
        ClearEntryRecord(m_entry);
        return {ActionOutcome::Refused, problem};
    }
    if (path == StoragePath::Validated) {
        const ActionResult compared = compareWithRanges();
        if (compared.outcome == ActionOutcome::Refused || compared.outcome == ActionOutcome::Failed) {
            ClearEntryRecord(m_entry);
            return compared;
        }
        // Busy: the entry waits as any other (should it then meet ranges it cannot be compared
        // with, it lies in none).
    }
    ClearEntryRecord(m_entry);
    if (!m_waiting.isEmpty()) {
        m_waiting.append({sampleIdText, resultText, m_user});
        return {ActionOutcome::Waiting, waitingText(m_waiting.first(), m_waiting.size() - 1)};
    }
    ActionResult stored = store({sampleIdText, resultText, m_user}, false);
    if (stored.outcome == ActionOutcome::Waiting) {
        m_waiting.append({sampleIdText, resultText, m_user});
        m_ctx.log.logall(u"Entry station: sample %1 result %2 waits, another program holds the database"_s.arg(
                             sampleIdText.trimmed(), resultText.trimmed()),
                         LogDirection::Monitor);
        stored.message = waitingText(m_waiting.first(), 0);
    }
    return stored;
}

// The laboratory's database refuses to compare a result that is no number with bounds that are
// numbers; so does the station, before the entry waits or is stored.
ActionResult EntrySession::compareWithRanges()
{
    bool comparable = true;
    const ActionResult read =
        guarded(u"reading the validation ranges for sample %1 result %2"_s.arg(m_entry.SampleId, m_entry.ResultText),
                notStoredText().arg(Shortened(m_entry.SampleId), Shortened(m_entry.ResultText)), [&]() -> ActionResult {
                    const QList<ValidationRange> ranges = ReadValidationRanges(m_ctx.db, m_entry.ParameterId);
                    comparable = FindInRanges(m_entry.ResultText, ranges).comparable;
                    return {};
                });
    if (!read.done() || comparable)
        return read;
    return {ActionOutcome::Refused,
            tr("The result \"%1\" is no number, and the validation ranges of this parameter are numbers: it cannot "
               "be interpreted.")
                .arg(Shortened(m_entry.ResultText))};
}

QString EntrySession::notStoredText()
{
    return tr("Not stored: %1 / %2 stays in the boxes, press Enter to store it again.");
}

// Read once per column from the catalogue of the database the station writes into: what that
// database takes, not what Kestrin's own schema would create. The work table is a copy of REQUEST.
std::optional<int> EntrySession::columnRoom(const QString& table, const QString& column)
{
    const QString key = table + u'.' + column;
    if (const auto known = m_columnRoom.constFind(key); known != m_columnRoom.constEnd())
        return *known;
    const bool workTable = table == m_sessionTable;
    try {
        const std::optional<int> size = TextColumnSize(m_ctx.db, table, column, workTable ? u"REQUEST"_s : QString());
        m_columnRoom.insert(key, size);
        return size;
    } catch (const std::exception&) {
        // Asked again next time; meanwhile the schema's size.
        return ColumnSize(workTable ? u"REQUEST" : QStringView(table), column);
    }
}

ActionResult EntrySession::storeWaiting()
{
    if (m_waiting.isEmpty())
        return {};
    const WaitingEntry next = m_waiting.first();
    ActionResult stored = store(next, true);
    if (stored.done())
        m_waiting.removeFirst();
    else if (stored.outcome == ActionOutcome::Waiting)
        stored.message = waitingText(next, m_waiting.size() - 1);
    return stored;
}

QString EntrySession::waitingMessage() const
{
    return m_waiting.isEmpty() ? QString() : waitingText(m_waiting.first(), m_waiting.size() - 1);
}

QString EntrySession::waitingText(const WaitingEntry& entry, qsizetype others)
{
    QString text =
        tr("Waiting for the database (another program is using it): %1 / %2 is stored as soon as it is free.")
            .arg(Shortened(entry.sampleIdText.trimmed()), Shortened(entry.resultText.trimmed()));
    if (others > 0)
        text += u' ' + tr("%1 more after it.").arg(others);
    return text;
}

ActionResult EntrySession::store(const WaitingEntry& typed, bool waited)
{
    const AppConfig& c = m_ctx.config;
    const QString& sampleIdText = typed.sampleIdText;
    const QString& resultText = typed.resultText;
    m_entry = FillEntryRecord(sampleIdText, resultText, c.TestParameter, c.StationId, typed.user);
    const StoragePath path = ChooseStoragePath(m_entry.SampleId, c.ControlIdMask, m_autovalidation);
    QStringList lines;
    WrittenRows written;
    std::optional<double> lowCutoff;
    const ActionResult stored =
        guarded(u"storing sample %1 result %2"_s.arg(m_entry.SampleId, m_entry.ResultText),
                (waited ? tr("Not stored yet: %1 / %2 waits and is tried again.") : notStoredText())
                    .arg(Shortened(m_entry.SampleId), Shortened(m_entry.ResultText)),
                [&]() -> ActionResult {
                    Database& db = m_ctx.db;
                    Transaction transaction(db);
                    switch (path) {
                    case StoragePath::Control:
                        lines << StoreControlResult(db, m_entry, written);
                        break;
                    case StoragePath::Validated:
                        lines << StoreRawResult(db, m_entry);
                        lines << StoreValidatedResult(db, m_entry, written);
                        break;
                    case StoragePath::SessionTable:
                        lines << StoreRawResult(db, m_entry);
                        lines << StoreSessionTableResult(db, m_entry, m_sessionTable, written);
                        break;
                    }
                    lowCutoff = ReadLowCutoff(db, c.TestParameter);
                    transaction.commit();
                    return {};
                });
    const QString storedSampleId = m_entry.SampleId;
    ClearEntryRecord(m_entry);
    if (!stored.done())
        return stored;
    for (const QString& line : lines)
        m_ctx.log.logall(line, LogDirection::EntryStation);
    m_written += written;
    m_history.push(sampleIdText, resultText, storedSampleId);
    m_history.recolour(lowCutoff);
    ++m_sampleCount;
    return {};
}

ActionResult EntrySession::deleteHistoryRow(int row)
{
    if (row < 0 || row >= EntryHistory::kRows || !m_history.row(row).deletable())
        return {ActionOutcome::Refused, NoHistoryEntryText(QString::number(row + 1))};
    const QString sampleId = m_history.row(row).storedSampleId;
    QString line;
    const ActionResult deleted = guarded(
        u"deleting sample %1"_s.arg(sampleId), tr("Sample %1 was not deleted.").arg(sampleId), [&]() -> ActionResult {
            Transaction transaction(m_ctx.db);
            line = DeleteEntryRows(m_ctx.db, m_sessionTable, sampleId, m_ctx.config.TestParameter);
            transaction.commit();
            return {};
        });
    if (!deleted.done())
        return deleted;
    m_ctx.log.logall(line, LogDirection::EntryStation);
    --m_sampleCount;
    m_history.blank(row);
    return {};
}

ActionResult EntrySession::clearSession()
{
    QString line;
    const ActionResult cleared = guarded(u"Clear Session"_s, tr("The session was not cleared."), [&]() -> ActionResult {
        Database& db = m_ctx.db;
        Transaction transaction(db);
        line = ClearWrittenRows(db, m_written, m_ctx.config.TestParameter);
        transaction.commit();
        return {};
    });
    if (!cleared.done())
        return cleared;
    m_ctx.log.logall(line, LogDirection::EntryStation);
    m_written.clear();
    m_history.clear();
    m_sampleCount = 0;
    return {};
}

} // namespace kestrin
