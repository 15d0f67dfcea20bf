#include "app/Program.h"

#include "FixedTexts.h"
#include "StationLock.h"
#include "StopSignals.h"
#include "config/CommandLine.h"
#include "config/StartupChecks.h"
#include "core/Error.h"
#include "entrystation/EntrySession.h"
#include "entrystation/PushInputWindow.h"
#include "idstation/SampleIdStation.h"
#include "idstation/SampleIdWindow.h"
#include "labdb/SessionTable.h"
#include "mainwindow/KestrinIcon.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/TrayIcon.h"
#include "monitors/RequestMonitor.h"
#include "monitors/RequestMonitorWindow.h"
#include "qclink/QcOrders.h"
#include "service/CycleRecord.h"

#include <QApplication>
#include <QTextStream>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace kestrin {

Program::Program(const Clock& clock, AppConfig config, CycleEntries entries, bool windows, QObject* parent)
    : QObject(parent)
    , m_windows(windows)
    , m_service(std::make_unique<Service>(clock, std::move(config), std::move(entries)))
    , m_signals(std::make_unique<StopSignals>(m_service->stopFlag()))
{
    connect(m_signals.get(), &StopSignals::stopRequested, m_service.get(), [this](const QString& signalName) {
        if (m_service->log().isOpen())
            m_service->log().logStatus(
                u"%1 received: the work in hand is finished, then Kestrin stops."_s.arg(signalName));
        m_service->shutdown();
    });
}

Program::~Program()
{
    m_monitorWindow.reset();
    m_monitor.reset();
    m_station.reset();
    m_window.reset();
}

void Program::start(StartupProgress& progress)
{
    m_lock = std::make_unique<StationLock>(m_service->config());
    if (m_windows)
        createWindows();
    else
        journalToStderr();
    m_service->start(progress, [this] { addIcon(); });
    recordCycles();
    // The monitor reads the database, which is connected only now.
    if (m_window)
        m_window->setRequestMonitorAvailable(true);
    startRunMode(progress);
}

void Program::createWindows()
{
    const AppConfig& c = m_service->config();
    // Every window of the run, stations and monitor included, carries the program's icon.
    QApplication::setWindowIcon(KestrinIcon());
    m_window = std::make_unique<MainWindow>();
    m_window->setWindowTitle(apptexts::MainWindowCaption(c.StationId, c.ImportPath));
    m_window->setRequestMonitorAvailable(false);
    connect(&m_service->log(), &CommLog::displayLine, m_window.get(), &MainWindow::addTrafficLine);
    connect(m_window.get(), &MainWindow::stopRequested, m_service.get(), &Service::shutdown);
    connect(m_window.get(), &MainWindow::requestMonitorRequested, this, &Program::showRequestMonitor);
    connect(m_service.get(), &Service::stopping, this, [this] {
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

// Without a window a service manager's journal is where the IT looks: start, stop and the
// status lines about Kestrin itself go to stderr too, with their time stamps.
void Program::journalToStderr()
{
    connect(&m_service->log(), &CommLog::statusLine, this,
            [](const QString& line) { QTextStream(stderr) << line << Qt::endl; });
    const AppConfig& c = m_service->config();
    connect(m_service.get(), &Service::started, this, [this, &c] {
        QTextStream(stderr) << m_service->context().nowText() << " " << VersionLine() << " started: station "
                            << c.StationId << ", INI file " << c.IniFilePath << Qt::endl;
    });
}

void Program::recordCycles()
{
    Context& ctx = m_service->context();
    m_cycles =
        std::make_unique<CycleRecorder>(CycleRecordFileName(ctx.config), QCoreApplication::applicationPid(), ctx.now());
    connect(m_service.get(), &Service::cycleFinished, this,
            [this](CycleKind kind, const CycleOutcome& outcome, bool databaseConnected) {
                m_cycles->noteCycle(kind, outcome, databaseConnected, m_service->context().now());
                showCycleStatus();
            });
    connect(m_service.get(), &Service::stopping, this, [this] { m_cycles->flush(m_service->context().now()); });
    showCycleStatus();
}

void Program::showCycleStatus()
{
    if (m_window)
        m_window->setStatusText(CycleStatusText(m_cycles->record(), m_service->context().regional()));
}

void Program::showRequestMonitor()
{
    if (!m_monitorWindow) {
        m_monitor = std::make_unique<RequestMonitor>(m_service->context());
        m_monitorWindow = std::make_unique<RequestMonitorWindow>(*m_monitor);
    }
    m_monitorWindow->open();
}

void Program::addIcon()
{
    if (!m_window)
        return;
    const AppConfig& c = m_service->config();
    m_tray = new TrayIcon(TrayTipText(c.StationId, c.ComPort), m_window.get());
    connect(m_tray, &TrayIcon::viewRequested, m_window.get(), &MainWindow::showCommunication);
    connect(m_tray, &TrayIcon::exitRequested, m_service.get(), &Service::shutdown);
    if (TrayIcon::isAvailable()) {
        m_tray->show();
    } else {
        // Without a notification area the window is the only way in.
        m_window->setHidesOnClose(false);
        m_window->show();
    }
}

void Program::startRunMode(StartupProgress& progress)
{
    const AppConfig& c = m_service->config();
    switch (c.Mode) {
    case RunMode::Service:
    case RunMode::OtherType:
        break;
    case RunMode::SampleIdStation:
        if (m_windows)
            startSampleIdStation();
        break;
    case RunMode::QcLink:
        TransferQcOrders(m_service->context(), *m_service->analyzerDatabase());
        break;
    case RunMode::EntryStation:
        try {
            const QString sessionTable = CreateSessionTable(m_service->context().db, c.RunType, c.StationId);
            if (m_windows)
                startEntryStation(sessionTable);
        } catch (const StartupError&) {
            throw;
        } catch (const std::exception& e) {
            throw StartupError(ErrorText(e));
        }
        break;
    }
    progress.finish();
    if (m_station)
        m_station->show();
}

void Program::startEntryStation(const QString& sessionTable)
{
    auto session = std::make_unique<EntrySession>(m_service->context(), sessionTable);
    try {
        session->load();
    } catch (const std::exception& e) {
        throw StartupError(u"The entry station cannot open its session: "_s + ErrorText(e));
    }
    auto window = std::make_unique<PushInputWindow>(std::move(session));
    connect(window.get(), &PushInputWindow::closeRequested, m_service.get(), &Service::shutdown);
    m_station = std::move(window);
}

// The station's window opens maximised with the control lists and the first sample list;
// closing it ends the program.
void Program::startSampleIdStation()
{
    m_sampleIdStation = std::make_unique<SampleIdStation>(m_service->context());
    auto window = std::make_unique<SampleIdWindow>(*m_sampleIdStation);
    connect(window.get(), &SampleIdWindow::closed, m_service.get(), &Service::shutdown);
    m_sampleIdStation->open();
    window->setWindowState(Qt::WindowMaximized); // shown once the start-up window is gone
    m_station = std::move(window);
}

} // namespace kestrin
