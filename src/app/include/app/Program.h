#pragma once

#include "service/Service.h"

#include <QObject>

#include <memory>

class QWidget;

namespace kestrin {

class CycleRecorder;
class MainWindow;
class RequestMonitor;
class RequestMonitorWindow;
class SampleIdStation;
class StationLock;
class StopSignals;
class TrayIcon;

// One run of Kestrin with what its run mode adds to the service: the main window with its
// notification-area icon where windows are in use, and the station of the mode. It owns all
// of it: the station goes first, then the windows, then the service with its database and log.
// The clock is the maker's and outlives it.
class Program : public QObject {
    Q_OBJECT
public:
    Program(const Clock& clock, AppConfig config, CycleEntries entries, bool windows, QObject* parent = nullptr);
    ~Program() override;

    // The start-up steps after the INI file, then what the run mode runs; the start-up
    // window is finished on the way. Refuses a second start of the station on the same log
    // folder. Throws a StartupError naming what failed.
    void start(StartupProgress& progress);

    Service& service() { return *m_service; }
    MainWindow* window() const { return m_window.get(); }
    TrayIcon* tray() const { return m_tray; }
    // The station window of run mode ACT or INPUT, else null.
    QWidget* station() const { return m_station.get(); }
    // The request monitor once the main window has opened it, else null.
    RequestMonitorWindow* requestMonitor() const { return m_monitorWindow.get(); }
    // The sample-ID station of run mode ACT with windows, else null.
    SampleIdStation* sampleIdStation() const { return m_sampleIdStation.get(); }

private:
    void createWindows();
    void journalToStderr();
    void addIcon();
    // "Request Monitor": one monitor window, made at its first opening.
    void showRequestMonitor();
    // What each run mode runs at the end of start-up; a station's closing ends the program.
    void startRunMode(StartupProgress& progress);
    // The manual result entry station's window (run type INPUT) on its loaded session.
    void startEntryStation(const QString& sessionTable);
    void startSampleIdStation();
    // The station's cycle record for "/status", and the main window's status line from it.
    void recordCycles();
    void showCycleStatus();

    bool m_windows;
    std::unique_ptr<StationLock> m_lock; // goes last
    std::unique_ptr<Service> m_service;
    std::unique_ptr<StopSignals> m_signals;
    std::unique_ptr<CycleRecorder> m_cycles;
    std::unique_ptr<SampleIdStation> m_sampleIdStation; // outlives its window
    std::unique_ptr<MainWindow> m_window;
    TrayIcon* m_tray = nullptr; // a child of the main window
    std::unique_ptr<QWidget> m_station;
    std::unique_ptr<RequestMonitor> m_monitor;
    std::unique_ptr<RequestMonitorWindow> m_monitorWindow;
};

} // namespace kestrin
