#pragma once

#include "config/AppConfig.h"
#include "config/CommandLine.h"
#include "config/StartupProgress.h"
#include "core/Clock.h"
#include "station/CommLog.h"
#include "station/Context.h"
#include "station/CycleOutcome.h"
#include "station/CycleTimers.h"

#include <QObject>

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
// the service goes on.
class Service : public QObject {
    Q_OBJECT
public:
    Service(AppConfig config, CycleEntries entries, QObject* parent = nullptr);
    ~Service() override;

    // The start-up steps after the INI file, in the laboratory's order, up to the day and
    // shift check; `addIcon` runs where the notification-area icon comes. Throws a
    // StartupError naming what failed.
    void start(StartupProgress& progress, const std::function<void()>& addIcon = {});
    // Starts the cycle timers; the export timer only where the run mode allows it.
    void startTimers();

    // One import cycle followed by the day and shift check; one export cycle.
    CycleOutcome importCycle();
    CycleOutcome exportCycle();
    // "/cycle": the chosen cycles once, as far as the run type lets them run (the export
    // only where the timers would export); 0 all handled, 1 an item failed and was kept
    // safe, 2 a cycle could not run.
    int runOnce(CycleChoice choice);

    // Ends the run: timers stopped, a stop line written, serial ports and log closed, the
    // event loop left with status 0. `stopping` is emitted first, so that windows can go.
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

private:
    CycleOutcome guarded(const QString& what, const std::function<CycleOutcome()>& body);
    std::unique_ptr<SerialPortDrain> openSerialPort(const char16_t* name, int portNumber, const QString& device);

    // Declared in the order of making; destroyed in reverse.
    AppConfig m_config;
    CycleEntries m_entries;
    SystemClock m_clock;
    std::unique_ptr<CommLog> m_log;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<Database> m_analyzerDb;
    std::unique_ptr<Context> m_context;
    std::unique_ptr<SerialPortDrain> m_port2;
    std::unique_ptr<SerialPortDrain> m_port1;
    std::unique_ptr<CycleTimers> m_timers;
    std::atomic<bool> m_stopRequested{false};
    bool m_shutDown = false;
};

} // namespace kestrin
