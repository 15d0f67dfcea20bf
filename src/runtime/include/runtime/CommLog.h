#pragma once

#include "core/Clock.h"
#include "core/RegionalFormat.h"
#include "core/TextCodec.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QStringList>

#include <optional>

namespace kestrin {

// Who sent what, as the communication log tags it.
enum class LogDirection : int {
    AnalyzerToHost = 1, // "  A->H"
    HostToAnalyzer = 2, // "  H->A"
    Monitor = 3,        // "Monitor: " status lines
    OrderIn = 4,        // " K->L " order messages from the ordering system
    ResultOut = 5,      // " L->K " result messages to the ordering system
    EntryStation = 6,   // " INPUT: " the manual entry station
};

struct LogLines {
    QString file;
    QString display;
};

// The log file line and the traffic display line of one message; nothing for a code that
// names no direction.
std::optional<LogLines> FormatLogLines(const QString& message, int direction, const QString& nowText);

// The daily communication log: one file, appended to, written in the configured character
// set and flushed after every line so that nothing is lost when the program is killed. The
// cycles' thread and the windows' thread write it at once: the file is written under a lock,
// and what Gather and Silence hold belongs to the thread that holds them.
class CommLog : public QObject {
    Q_OBJECT
public:
    CommLog(const Clock& clock, RegionalFormat format, const QString& charset, QObject* parent = nullptr);
    ~CommLog() override;

    // Opens (appending, creating it and its folder when missing) the file and writes the
    // header lines, no other thread's line between; closes an open one. Returns false with
    // errorString() when it cannot.
    bool open(const QString& fileName, const QStringList& header = {});
    void close();
    bool isOpen() const;
    QString fileName() const;
    QString errorString() const;

    // One whole line in the file, as it stands.
    void writeLine(const QString& line);

    // The traffic log: one tagged line in the file and one on the display.
    void logall(const QString& message, int direction);
    void logall(const QString& message, LogDirection direction) { logall(message, int(direction)); }
    // A Monitor line about Kestrin itself (start, stop, lasting trouble and its end), which a
    // journal hears of too; the lines of each message stay in the log alone.
    void logStatus(const QString& message);

    QString nowText() const;

    // While held, the lines of one unit of work (a message, a result file) on this thread
    // gather and go to the file in one write when it ends: one system call instead of a dozen,
    // and what a kill can lose is the lines of the unit it interrupted, which is done again
    // anyway.
    class Gather {
    public:
        explicit Gather(CommLog& log)
            : m_log(log)
        {
            m_log.beginGathering();
        }
        ~Gather() { m_log.endGathering(); }
        Gather(const Gather&) = delete;
        Gather& operator=(const Gather&) = delete;

    private:
        CommLog& m_log;
    };

    // While held, this thread's lines are dropped: work done again after a rollback is not
    // logged twice.
    class Silence {
    public:
        explicit Silence(CommLog& log)
            : m_log(log)
            , m_was(log.setSilent(true))
        {
        }
        ~Silence() { m_log.setSilent(m_was); }
        Silence(const Silence&) = delete;
        Silence& operator=(const Silence&) = delete;

    private:
        CommLog& m_log;
        bool m_was;
    };

signals:
    // A line for the traffic display; the newest goes on top. Emitted on the writing thread.
    void displayLine(const QString& line);
    // A line of logStatus() with its time stamp, for a journal where no window shows them.
    void statusLine(const QString& line);

private:
    // What one thread's Gather and Silence hold.
    struct ThreadLines {
        int gathering = 0;
        bool silent = false;
        QByteArray gathered;
    };

    void beginGathering();
    void endGathering();
    bool setSilent(bool silent); // returns what it was
    bool silentHere() const;
    // The calling thread's gathered lines into the file; m_mutex held.
    void flushGathered(ThreadLines& lines);
    void writeBytes(const QByteArray& bytes);
    void forgetIdle(Qt::HANDLE thread);

    const Clock& m_clock;
    RegionalFormat m_format;
    TextCodec m_codec;

    mutable QMutex m_mutex; // guards everything below
    QFile m_file;
    QString m_fileName;                       // the file, opened on its descriptor, does not keep it
    QString m_openError;                      // why the file could not be opened
    QHash<Qt::HANDLE, ThreadLines> m_threads; // only threads that gather or are silent
    // The time text of the current second: a busy cycle writes many lines a second.
    mutable qint64 m_textSecond = -1;
    mutable QString m_text;
};

} // namespace kestrin
