#pragma once

#include <QString>

#include <exception>
#include <functional>

namespace kestrin {

class Database;
class Outages;

// How one unit of work (a cycle, a station's action, a reload) ended, as far as the windows
// care: whether it ran, and if not, what the database did and the server's words for it.
struct WorkOutcome {
    enum class State {
        Ran,
        Busy,   // another program held a lock; the work waits and is tried again
        Failed, // the database answers but the work failed (the log has the whole error)
        Away,   // the database cannot be reached
    };
    State state = State::Ran;
    QString reason; // the server's words, or the error's: for a status line

    bool ran() const { return state == State::Ran; }
    bool connected() const { return state != State::Away; }
    // Kestrin's words for the database, translated: empty when the work ran.
    QString words() const;
};

// What one kind of work says in the communication log.
struct WorkLines {
    QString key = {}; // its trouble's key in the outages
    std::function<QString(const QString& error)> failed = {};
    QString ranAgain = {}; // said when it runs again after a failure that was said; nothing when empty
    // A station's action meets a short lock wait and is tried again: that is no failure.
    bool busyWaits = false;
    // A trouble is said once while it lasts, whatever its words; else again when they change.
    bool onceWhileItLasts = false;
};

// The edge around every unit of work on a connection: a lost or suspect connection, or one
// whose embedded database file was moved away or replaced, is opened again first (on the file
// at the path, never a new one); a failure makes the connection suspect and is said through the
// outages (once, and once more when the work runs again), and the outcome gives the status
// line its words. A lock wait cut short by a stop is no failure: the work is simply not done.
class WorkEdge {
public:
    // Cycles run unattended and look at the connection each time; a station's action answers
    // a key, so it looks only after trouble.
    enum class Probe { BeforeEveryWork, AfterTrouble };

    // `db` is the connection the work runs on; null when each work opens one of its own.
    WorkEdge(Database* db, Outages& outages, Probe probe = Probe::AfterTrouble)
        : m_db(db)
        , m_outages(outages)
        , m_probe(probe)
    {
    }

    WorkOutcome run(const WorkLines& lines, const std::function<void()>& work);
    // A failure found outside the work (or in its course, the work going on), said as the
    // work's own; the connection is suspect.
    WorkOutcome fail(const WorkLines& lines, const std::exception& error);
    // How the last work ended.
    const WorkOutcome& last() const { return m_last; }

private:
    void openIfLost();

    Database* m_db;
    Outages& m_outages;
    Probe m_probe;
    bool m_suspect = false;
    WorkOutcome m_last;
};

} // namespace kestrin
