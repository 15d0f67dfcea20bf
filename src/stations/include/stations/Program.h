#pragma once

#include "app/ServiceRun.h"

#include <QObject>

#include <memory>

class QWidget;

namespace kestrin {

class MainWindow;
class RequestMonitor;
class RequestMonitorWindow;
class SampleIdStation;
class TrayIcon;

// One run of the windowed program: the service's run with what its run mode adds where windows
// are in use, the main window with its notification-area icon and the station of the mode. It
// owns all of it: the station goes first, then the windows, then the service's run.
// The clock is the maker's and outlives it.
class Program : public QObject, private RunWindows {
    Q_OBJECT
public:
    Program(const Clock& clock, AppConfig config, CycleEntries entries, bool windows, QObject* parent = nullptr);
    ~Program() override;

    // The start-up steps after the INI file, then what the run mode runs; the start-up
    // window is finished on the way. Refuses a second start of the station on the same log
    // folder. Throws a StartupError naming what failed.
    void start(StartupProgress& progress);

    Service& service() { return m_run->service(); }
    MainWindow* window() const { return m_window.get(); }
    TrayIcon* tray() const { return m_tray; }
    // The station window of run mode ACT or INPUT, else null.
    QWidget* station() const { return m_station.get(); }
    // The request monitor once the main window has opened it, else null.
    RequestMonitorWindow* requestMonitor() const { return m_monitorWindow.get(); }
    // The sample-ID station of run mode ACT with windows, else null.
    SampleIdStation* sampleIdStation() const { return m_sampleIdStation.get(); }

private:
    void open() override;
    void addIcon() override;
    void openStation(RunMode mode, const QString& sessionTable) override;
    void showCycleStatus(const CycleRecord& record) override;
    void show() override;

    // "Request Monitor": one monitor window, made at its first opening.
    void showRequestMonitor();
    // The manual result entry station's window (run type INPUT) on its loaded session.
    void startEntryStation(const QString& sessionTable);
    void startSampleIdStation();

    bool m_windows;
    std::unique_ptr<ServiceRun> m_run;                  // goes last
    std::unique_ptr<SampleIdStation> m_sampleIdStation; // outlives its window
    std::unique_ptr<MainWindow> m_window;
    TrayIcon* m_tray = nullptr; // a child of the main window
    std::unique_ptr<QWidget> m_station;
    std::unique_ptr<RequestMonitor> m_monitor;
    std::unique_ptr<RequestMonitorWindow> m_monitorWindow;
};

} // namespace kestrin
