#pragma once

#include "core/AppConfig.h"
#include "core/Clock.h"
#include "core/CommLog.h"
#include "core/CommandLine.h"
#include "core/CycleOutcome.h"
#include "core/CycleTimers.h"
#include "core/StartupProgress.h"
#include "labdb/Context.h"

#include <QObject>

#include <functional>
#include <memory>

namespace kestrin {

class Database;
class MainWindow;
class SerialPortDrain;
class TrayIcon;

using CycleFunction = std::function<CycleOutcome(Context&)>;

// The work the timers drive.
struct CycleEntries {
    CycleFunction importCycle;
    CycleFunction exportCycle;
};

// One run of Kestrin after the INI file: the database, the log, the serial ports, the main
// window with its icon when windows are in use, and the two cycles. Failures inside a cycle
// are written to the log and the service goes on.
class Service : public QObject {
    Q_OBJECT
public:
    Service(AppConfig config, CycleEntries entries, bool windows, QObject* parent = nullptr);
    ~Service() override;

    // The start-up steps after the INI file, in the laboratory's order. Throws a
    // StartupError naming what failed.
    void start(StartupProgress& progress);
    // Starts the cycle timers; the export timer only where the command line allows it.
    void startTimers();

    // One import cycle followed by the day and shift check; one export cycle.
    CycleOutcome importCycle();
    CycleOutcome exportCycle();
    // "/cycle": the chosen cycles once; 0 all handled, 1 an item failed and was kept safe.
    int runOnce(CycleChoice choice);

    // "Stop Communication" and "&Exit": icon, serial ports and log closed, program ended.
    void shutdown();

    Context& context() { return *m_context; }
    // The analyser's own database; run mode MGC only, else null.
    Database* analyzerDatabase() const { return m_analyzerDb.get(); }
    const AppConfig& config() const { return m_config; }
    MainWindow* window() const { return m_window.get(); }
    TrayIcon* tray() const { return m_tray; }
    CycleTimers* timers() const { return m_timers; }

private:
    CycleOutcome guarded(const QString& what, const std::function<CycleOutcome()>& body);
    void openSerialPort(SerialPortDrain*& drain, const char16_t* name, int portNumber, const QString& device);

    AppConfig m_config;
    CycleEntries m_entries;
    bool m_windows;
    SystemClock m_clock;
    std::unique_ptr<CommLog> m_log;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<Database> m_analyzerDb;
    std::unique_ptr<Context> m_context;
    std::unique_ptr<MainWindow> m_window;
    TrayIcon* m_tray = nullptr;
    SerialPortDrain* m_port1 = nullptr;
    SerialPortDrain* m_port2 = nullptr;
    CycleTimers* m_timers = nullptr;
    QString m_sessionTable;
    bool m_connectionLost = false;
};

} // namespace kestrin
