#pragma once

#include "config/AppConfig.h"
#include "config/CommandLine.h"
#include "config/StartupProgress.h"
#include "core/Clock.h"
#include "runtime/CommLog.h"
#include "runtime/Context.h"
#include "runtime/CycleOutcome.h"
#include "service/CycleRecord.h"
#include "service/CycleTimers.h"
#include "service/ManagerStatus.h"

#include <QElapsedTimer>
#include <QObject>
#include <QThread>

#include <chrono>
#include <functional>
#include <memory>

namespace kestrin {

class Database;
class SerialPortDrain;

using CycleFunction = std::function<CycleOutcome(Context&)>;

// The work the timers drive.
struct CycleEntries {
    CycleFunction importCycle;
    CycleFunction exportCycle;
};

// One run of Kestrin after the INI file, without any window: the communication log, the
// laboratory database (and the analyser's in run mode MGC), the serial ports, the two cycles
// and their timers. It owns all of them, and they end in the reverse order of their making:
// timers, ports, context, databases, log. Failures inside a cycle are written to the log and
// the service goes on. The clock is its maker's (the system's, or a test's standing at any
// moment) and must outlive it: the cycles' thread reads it too.
//
// The timers run the cycles on a thread of their own, with a connection and a context of
// their own, so that a cycle waiting for the database never holds up a window; context() is
// the thread's that made the service (the windows', and "/cycle"'s).
//
// A service manager that started it (systemd, Type=notify) hears when the cycles run, what
// they did last and when it stops; its watchdog hears from the cycles' thread, so that a cycle
// that hangs, and not only a window that hangs, ends the run.
class Service : public QObject {
    Q_OBJECT
public:
    Service(const Clock& clock, AppConfig config, CycleEntries entries, QObject* parent = nullptr);
    ~Service() override;

    // The start-up steps after the INI file, in the laboratory's order, up to the day and
    // shift check; `addIcon` runs where the notification-area icon comes. Throws a
    // StartupError naming what failed.
    void start(StartupProgress& progress, const std::function<void()>& addIcon = {});
    // Starts the cycles' thread with its connection, and the cycle timers there; the export
    // timer only where the run mode allows it. Start-up is over: the service manager hears it.
    void startTimers();

    // One import cycle followed by the day and shift check; one export cycle. On the calling
    // thread with context(), as "/cycle" runs them.
    CycleOutcome importCycle() { return importCycle(*m_context); }
    CycleOutcome exportCycle() { return exportCycle(*m_context); }
    // "/cycle": the chosen cycles once, as far as the run type lets them run (the export
    // only where the timers would export); 0 all handled, 1 an item failed and was kept
    // safe, 2 a cycle could not run.
    int runOnce(CycleChoice choice);

    // Ends the run: `stopping` is emitted first, so that windows can go; then the cycle in
    // hand finishes its batch, the cycles' thread ends, a stop line is written, serial ports
    // and log are closed and the event loop is left with status 0.
    void shutdown();
    // Set when the process is asked to stop from outside (a signal): a cycle that runs ends
    // after the batch in hand.
    std::atomic<bool>& stopFlag() { return m_stopRequested; }

    Context& context() { return *m_context; }
    CommLog& log() { return *m_log; }
    // The analyser's own database; run mode MGC only, else null.
    Database* analyzerDatabase() const { return m_analyzerDb.get(); }
    const AppConfig& config() const { return m_config; }
    CycleTimers* timers() const { return m_timers.get(); }
    // MSComm1 (1) and MSComm2 (2) where the command line opened them, else null.
    SerialPortDrain* serialPort(int number) const;

signals:
    // Start-up is through: the log is open and the first checks are done.
    void started();
    void stopping();
    // A cycle has finished: what it did, and whether the database was there after it.
    void cycleFinished(kestrin::CycleKind kind, const kestrin::CycleOutcome& outcome, bool databaseConnected);

private:
    CycleOutcome importCycle(Context& ctx);
    CycleOutcome exportCycle(Context& ctx);
    // One cycle inside the edge of its unit of work; the windows hear how it ended.
    CycleOutcome runCycle(Context& ctx, CycleKind kind, const QString& what, const std::function<CycleOutcome()>& body);
    // Asks the cycle in hand to stop, waits for its batch, and ends the cycles' thread.
    void stopCycles();
    // On the cycles' thread, where a service manager's watchdog asks for it: a timer that
    // tells it between cycles, and the cycles' context that tells it between their items.
    void startWatchdog();
    // On the cycles' thread: the watchdog hears that they go on, at most every half interval
    // from inside a cycle.
    void tellWatchdog(bool fromCycle);
    std::unique_ptr<SerialPortDrain> openSerialPort(const char16_t* name, int portNumber, const QString& device);

    const Clock& m_clock;
    // Declared in the order of making; destroyed in reverse.
    AppConfig m_config;
    CycleEntries m_entries;
    std::unique_ptr<CommLog> m_log;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<Database> m_analyzerDb;
    std::unique_ptr<Context> m_context;
    std::unique_ptr<SerialPortDrain> m_port2;
    std::unique_ptr<SerialPortDrain> m_port1;
    std::unique_ptr<CycleTimers> m_timers;
    std::unique_ptr<QThread> m_cycleThread;
    // Made, used and dropped on the cycles' thread: a connection belongs to the thread that opened it.
    std::unique_ptr<Database> m_cycleDb;
    std::unique_ptr<Context> m_cycleContext;
    // The service manager's watchdog interval (zero: none), and on the cycles' thread the
    // timer that tells it between cycles.
    const std::chrono::microseconds m_watchdog;
    std::unique_ptr<QTimer> m_watchdogTimer;
    QElapsedTimer m_sinceWatchdog;
    ManagerStatus m_managerStatus;
    std::atomic<bool> m_stopRequested{false};
    bool m_shutDown = false;
};

} // namespace kestrin
