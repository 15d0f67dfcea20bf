#include "app/Service.h"

#include "core/StartupChecks.h"
#include "core/StartupError.h"
#include "labdb/ChangeMarkers.h"
#include "labdb/Connection.h"
#include "labdb/DbError.h"
#include "labdb/Patients.h"
#include "labdb/SessionTable.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/SerialPortDrain.h"
#include "mainwindow/TrayIcon.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace kestrin {

Service::Service(AppConfig config, CycleEntries entries, bool windows, QObject* parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_entries(std::move(entries))
    , m_windows(windows)
    , m_log(std::make_unique<CommLog>(m_clock, RegionalFormat{m_config.ShortDateFormat, m_config.TimeFormat},
                                      m_config.Charset))
{
}

Service::~Service()
{
    if (m_timers)
        m_timers->stop();
    if (m_tray)
        m_tray->remove();
}

void Service::start(StartupProgress& progress)
{
    QObject* owner = this;
    if (m_windows) {
        m_window = std::make_unique<MainWindow>();
        m_window->setWindowTitle(m_config.StationId + u" at "_s + m_config.ImportPath);
        m_window->setRequestMonitorAvailable(false);
        connect(m_log.get(), &CommLog::displayLine, m_window.get(), &MainWindow::addTrafficLine);
        connect(m_window.get(), &MainWindow::stopRequested, this, &Service::shutdown);
        owner = m_window.get();
    }
    m_timers = new CycleTimers(
        CycleSchedule(m_config.ComputerName, m_config.ImportCycle, m_config.ExportCycle), [this] { importCycle(); },
        [this] { exportCycle(); }, owner);
    progress.setTitle(m_config.StationId + u" - Communication loading ... "_s);

    progress.showStatus(u"Initializing ... "_s);
    progress.yield();
    if (m_windows) {
        m_tray = new TrayIcon(TrayTipText(m_config.StationId, m_config.ComPort), m_window.get());
        connect(m_tray, &TrayIcon::viewRequested, m_window.get(), &MainWindow::showCommunication);
        connect(m_tray, &TrayIcon::exitRequested, this, &Service::shutdown);
        if (TrayIcon::isAvailable()) {
            m_tray->show();
        } else {
            // Without a notification area the window is the only way in.
            m_window->setHidesOnClose(false);
            m_window->show();
        }
    }

    progress.showStatus(u"Connecting 2 DB ... "_s);
    m_db = ConnectDatabase(m_config);
    if (m_config.RunType == u"MGC")
        m_analyzerDb = ConnectAnalyzerDatabase(m_config);
    m_context = std::make_unique<Context>(Context{m_config, *m_db, *m_log, m_clock});

    if (!m_config.OutType.isEmpty() && m_config.OutPort)
        openSerialPort(m_port2, u"MSComm2", int(*m_config.OutPort), m_config.ComDevice2);
    if (m_config.ComPort)
        openSerialPort(m_port1, u"MSComm1", int(*m_config.ComPort), m_config.ComDevice1);

    progress.showStatus(u"opening Logfile ... "_s);
    try {
        OpenLogFile(*m_context);
        EnsurePatientOne(*m_db);
        CheckDayAndShiftChange(*m_context);
        if (m_config.RunType == u"INPUT")
            m_sessionTable = CreateSessionTable(*m_db, m_config.RunType, m_config.StationId);
    } catch (const std::exception& e) {
        throw StartupError(ErrorText(e));
    }
    progress.finish();
}

void Service::openSerialPort(SerialPortDrain*& drain, const char16_t* name, int portNumber, const QString& device)
{
    QObject* owner = m_window ? static_cast<QObject*>(m_window.get()) : this;
    drain = new SerialPortDrain(QString::fromUtf16(name), owner);
    const QString deviceName = SerialDeviceName(portNumber, device);
    if (!drain->open(deviceName))
        throw StartupError(u"Serial port %1 (%2) cannot be opened: %3"_s.arg(QString::number(portNumber), deviceName,
                                                                             drain->errorString()));
}

void Service::startTimers() { m_timers->start(m_config.ExportTimerEnabled); }

CycleOutcome Service::guarded(const QString& what, const std::function<CycleOutcome()>& body)
{
    try {
        if (!m_db->isAlive()) {
            if (!m_connectionLost)
                m_log->logall(u"The connection to %1 is lost; Kestrin opens it again."_s.arg(m_db->description()),
                              LogDirection::Monitor);
            m_connectionLost = true;
            m_db->reopen();
            m_log->logall(u"The connection to %1 is open again."_s.arg(m_db->description()), LogDirection::Monitor);
            m_connectionLost = false;
        }
        return body();
    } catch (const std::exception& e) {
        if (!m_connectionLost)
            m_log->logall(u"%1 failed: %2"_s.arg(what, ErrorText(e)), LogDirection::Monitor);
        return CycleOutcome{0, 1};
    }
}

CycleOutcome Service::importCycle()
{
    return guarded(u"Import cycle"_s, [this] {
        CycleOutcome outcome;
        if (m_entries.importCycle)
            outcome = m_entries.importCycle(*m_context);
        CheckDayAndShiftChange(*m_context);
        return outcome;
    });
}

CycleOutcome Service::exportCycle()
{
    return guarded(u"Export cycle"_s,
                   [this] { return m_entries.exportCycle ? m_entries.exportCycle(*m_context) : CycleOutcome{}; });
}

int Service::runOnce(CycleChoice choice)
{
    CycleOutcome outcome;
    if (choice == CycleChoice::Import || choice == CycleChoice::All)
        outcome += importCycle();
    if (choice == CycleChoice::Export || choice == CycleChoice::All)
        outcome += exportCycle();
    return outcome.failed > 0 ? 1 : 0;
}

void Service::shutdown()
{
    if (m_timers)
        m_timers->stop();
    if (m_tray)
        m_tray->remove();
    if (m_window)
        m_window->hide();
    for (SerialPortDrain* port : {m_port1, m_port2}) {
        if (port)
            port->close();
    }
    m_log->close();
    QCoreApplication::exit(0);
}

} // namespace kestrin
