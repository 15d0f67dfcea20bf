#pragma once

#include "config/RunMode.h"
#include "service/Service.h"

#include <QObject>

#include <memory>

namespace kestrin {

struct CycleRecord;
class CycleRecorder;
class StationLock;
class StopSignals;

// What a run with windows adds to the service, each at its step of start-up. The windowed
// program supplies it; a run without windows has none and tells the journal instead.
class RunWindows {
public:
    virtual ~RunWindows() = default;
    // Before the service starts, so that its first lines are shown.
    virtual void open() = 0;
    // The notification-area icon, at the service's step for it.
    virtual void addIcon() = 0;
    // The database is connected: the run mode's station opens on it (`sessionTable` is the
    // entry station's work table). Throws a StartupError when it cannot.
    virtual void openStation(RunMode mode, const QString& sessionTable) = 0;
    virtual void showCycleStatus(const CycleRecord& record) = 0;
    // Start-up is over.
    virtual void show() = 0;
};

// One run of the service: the station's lock, the service with its database and log, the stop
// signals, the cycle record "/status" reads, and what the run mode runs without a window.
// The lock goes last; the clock is the maker's and outlives it.
class ServiceRun : public QObject {
    Q_OBJECT
public:
    ServiceRun(const Clock& clock, AppConfig config, CycleEntries entries, QObject* parent = nullptr);
    ~ServiceRun() override;

    // The start-up steps after the INI file, then what the run mode runs; the start-up window
    // is finished on the way. `windows`, where the run has them, must outlive the service.
    // Refuses a second start of the station on the same log folder. Throws a StartupError
    // naming what failed.
    void start(StartupProgress& progress, RunWindows* windows = nullptr);

    Service& service() { return *m_service; }

private:
    void journalToStderr();
    // The station's cycle record for "/status", and the windows' status line from it.
    void recordCycles();
    void startRunMode(StartupProgress& progress);

    RunWindows* m_windows = nullptr;
    std::unique_ptr<StationLock> m_lock; // goes last
    std::unique_ptr<Service> m_service;
    std::unique_ptr<StopSignals> m_signals;
    std::unique_ptr<CycleRecorder> m_cycles;
};

} // namespace kestrin
