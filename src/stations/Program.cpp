#include "stations/Program.h"

#include "FixedTexts.h"
#include "config/StartupChecks.h"
#include "core/Error.h"
#include "entrystation/EntrySession.h"
#include "entrystation/PushInputWindow.h"
#include "idstation/SampleIdStation.h"
#include "idstation/SampleIdWindow.h"
#include "mainwindow/KestrinIcon.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/TrayIcon.h"
#include "monitors/RequestMonitor.h"
#include "monitors/RequestMonitorWindow.h"
#include "service/CycleRecord.h"

#include <QApplication>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace kestrin {

Program::Program(const Clock& clock, AppConfig config, CycleEntries entries, bool windows, QObject* parent)
    : QObject(parent)
    , m_windows(windows)
    , m_run(std::make_unique<ServiceRun>(clock, std::move(config), std::move(entries)))
{
}

Program::~Program()
{
    m_monitorWindow.reset();
    m_monitor.reset();
    m_station.reset();
    m_window.reset();
    m_sampleIdStation.reset();
    // While the service ends, what it says may still reach this program's windows' hooks.
    m_run.reset();
}

void Program::start(StartupProgress& progress) { m_run->start(progress, m_windows ? this : nullptr); }

void Program::open()
{
    Service& service = m_run->service();
    const AppConfig& c = service.config();
    // Every window of the run, stations and monitor included, carries the program's icon.
    QApplication::setWindowIcon(KestrinIcon());
    m_window = std::make_unique<MainWindow>();
    m_window->setWindowTitle(stationstexts::MainWindowCaption(c.StationId, c.ImportPath));
    m_window->setRequestMonitorAvailable(false);
    connect(&service.log(), &CommLog::displayLine, m_window.get(), &MainWindow::addTrafficLine);
    connect(m_window.get(), &MainWindow::stopRequested, &service, &Service::shutdown);
    connect(m_window.get(), &MainWindow::requestMonitorRequested, this, &Program::showRequestMonitor);
    connect(&service, &Service::stopping, this, [this] {
        if (m_tray)
            m_tray->remove();
        m_window->hide();
        if (m_station)
            m_station->hide();
        if (m_monitorWindow)
            m_monitorWindow->close();
        if (m_sampleIdStation)
            m_sampleIdStation->stop();
    });
}

void Program::showCycleStatus(const CycleRecord& record)
{
    if (m_window)
        m_window->setStatusText(CycleStatusText(record, m_run->service().context().regional()));
}

void Program::showRequestMonitor()
{
    if (!m_monitorWindow) {
        m_monitor = std::make_unique<RequestMonitor>(m_run->service().context());
        m_monitorWindow = std::make_unique<RequestMonitorWindow>(*m_monitor);
    }
    m_monitorWindow->open();
}

void Program::addIcon()
{
    Service& service = m_run->service();
    const AppConfig& c = service.config();
    m_tray = new TrayIcon(TrayTipText(c.StationId, c.ComPort), m_window.get());
    connect(m_tray, &TrayIcon::viewRequested, m_window.get(), &MainWindow::showCommunication);
    connect(m_tray, &TrayIcon::exitRequested, &service, &Service::shutdown);
    if (TrayIcon::isAvailable()) {
        m_tray->show();
    } else {
        // Without a notification area the window is the only way in.
        m_window->setHidesOnClose(false);
        m_window->show();
    }
}

void Program::openStation(RunMode mode, const QString& sessionTable)
{
    // The monitor reads the database, which is connected only now.
    m_window->setRequestMonitorAvailable(true);
    if (mode == RunMode::SampleIdStation)
        startSampleIdStation();
    else if (mode == RunMode::EntryStation)
        startEntryStation(sessionTable);
}

void Program::show()
{
    if (m_station)
        m_station->show();
}

void Program::startEntryStation(const QString& sessionTable)
{
    auto session = std::make_unique<EntrySession>(m_run->service().context(), sessionTable);
    try {
        session->load();
    } catch (const std::exception& e) {
        throw StartupError(u"The entry station cannot open its session: "_s + ErrorText(e));
    }
    auto window = std::make_unique<PushInputWindow>(std::move(session));
    connect(window.get(), &PushInputWindow::closeRequested, &m_run->service(), &Service::shutdown);
    m_station = std::move(window);
}

// The station's window opens maximised with the control lists and the first sample list;
// closing it ends the program.
void Program::startSampleIdStation()
{
    m_sampleIdStation = std::make_unique<SampleIdStation>(m_run->service().context());
    auto window = std::make_unique<SampleIdWindow>(*m_sampleIdStation);
    connect(window.get(), &SampleIdWindow::closed, &m_run->service(), &Service::shutdown);
    m_sampleIdStation->open();
    window->setWindowState(Qt::WindowMaximized); // shown once the start-up window is gone
    m_station = std::move(window);
}

} // namespace kestrin
