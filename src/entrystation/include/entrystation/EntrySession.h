#pragma once

#include "entrystation/EntryHistory.h"
#include "entrystation/EntryRecord.h"
#include "entrystation/EntryStore.h"
#include "runtime/WorkEdge.h"

#include <QCoreApplication>
#include <QHash>
#include <QStringList>

#include <functional>

namespace kestrin {

struct Context;

// How a user action ended: done; refused for what was typed (the station says why, nothing
// is stored); failed in the database (nothing of it is stored, what was typed stays); or
// waiting, as another program holds the database (an entry waits its turn, nothing is lost).
enum class ActionOutcome { Done, Refused, Failed, Waiting };

// An entry as typed, with the user it was typed for (the user may change while it waits).
struct WaitingEntry {
    QString sampleIdText;
    QString resultText;
    QString user;
};

struct ActionResult {
    ActionOutcome outcome = ActionOutcome::Done;
    QString message; // for the window's status line; empty when there is nothing to say

    bool done() const { return outcome == ActionOutcome::Done; }
};

// One session of the manual result entry station, from loading its window until the program
// ends: the session marker, the parameter, the users, the entries with their history and
// counter, deletes and Clear Session. The window shows it and hands it what was typed; every
// user action is one unit of work that either happens whole or not at all.
class EntrySession {
    Q_DECLARE_TR_FUNCTIONS(EntrySession)

public:
    // Caption keys of the textstrings table.
    static constexpr qint32 kSelectUserKey = 6601;
    static constexpr qint32 kPleaseSelectUserKey = 6602;
    static constexpr qint32 kSampleCounterKey = 6603;
    static constexpr qint32 kSampleIdKey = 6604;
    static constexpr qint32 kResultKey = 6605;
    static constexpr qint32 kClearSessionKey = 6606;
    static constexpr qint32 kCloseKey = 6607;

    EntrySession(Context& ctx, QString sessionTable);

    // Loading the window: the session marker, the captions, the parameter check and the user
    // list, with the log lines of the parameter and of autovalidation. Throws when the
    // database fails (the second group of users excepted, which is left out).
    void load();

    const QHash<qint32, QString>& captions() const { return m_captions; }
    bool parameterConfigured() const { return m_parameterConfigured; }
    // The long name of the parameter, or "Parameter not configured!".
    QString parameterCaption() const { return m_parameterCaption; }
    // Users with more than 100 entered samples first (the busiest on top), then the others.
    const QStringList& users() const { return m_users; }
    QString stationId() const;
    bool autovalidation() const { return m_autovalidation; }

    // A choice in the user list. Entry opens when the user exists and the parameter is
    // configured; a choice that fails changes nothing, not even the user of later entries.
    ActionResult chooseUser(const QString& userText);
    bool entering() const { return m_entering; }
    QString user() const { return m_user; }

    // Stores what the two boxes hold (as typed); on success the entry heads the history and
    // the counter rises. While another program holds the database, or an earlier entry still
    // waits, the entry joins the waiting ones (Waiting) and is stored in its turn.
    ActionResult storeEntry(const QString& sampleIdText, const QString& resultText);
    // Tries to store the first waiting entry; Done when it was stored (others may still wait).
    ActionResult storeWaiting();
    // The entries that wait for the database, the next to be stored first.
    const QList<WaitingEntry>& waiting() const { return m_waiting; }
    // What the status line says while nothing else is to be said: which entry waits, if any.
    QString waitingMessage() const;
    // Takes back the entry of a history row; a row that shows no sample ID is refused.
    ActionResult deleteHistoryRow(int row);
    // Deletes what this window stored since it opened, and nothing of another window, also of
    // one with the same station ID or of an earlier run.
    ActionResult clearSession();

    const EntryHistory& history() const { return m_history; }
    qint64 sampleCount() const { return m_sampleCount; }
    // The entry being stored; empty outside storing.
    const EntryRecord& entryRecord() const { return m_entry; }

private:
    ActionResult guarded(const QString& what, const QString& failedText, const std::function<ActionResult()>& body);
    // `waited`: the entry is one of the waiting ones, no longer in the boxes.
    ActionResult store(const WaitingEntry& typed, bool waited);
    std::optional<int> columnRoom(const QString& table, const QString& column);
    // Refused when the parameter's ranges cannot compare the entry's result.
    ActionResult compareWithRanges();
    // %1 the sample ID, %2 the result.
    static QString notStoredText();
    static QString waitingText(const WaitingEntry& entry, qsizetype others);
    QStringList readUsers(const QString& sql);

    Context& m_ctx;
    QString m_sessionTable;
    bool m_autovalidation = false;
    QHash<qint32, QString> m_captions;
    bool m_parameterConfigured = false;
    QString m_parameterCaption;
    QStringList m_users;
    bool m_entering = false;
    QString m_user;
    WrittenRows m_written; // what Clear Session takes back
    QList<WaitingEntry> m_waiting;
    QHash<QString, std::optional<int>> m_columnRoom; // "table.column": as the database's catalogue says
    EntryRecord m_entry;
    EntryHistory m_history;
    qint64 m_sampleCount = 0;
    WorkEdge m_edge;
};

} // namespace kestrin
