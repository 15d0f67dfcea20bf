#include "service/Service.h"

#include "FixedTexts.h"
#include "core/Error.h"
#include "devices/SerialPortDrain.h"
#include "labdb/Connection.h"
#include "labdb/DbError.h"
#include "labdb/Patients.h"
#include "labdb/Schema.h"
#include "runtime/ChangeMarkers.h"
#include "runtime/WorkEdge.h"
#include "service/ServiceManager.h"

#include <QCoreApplication>

#include <algorithm>
#include <limits>
#include <utility>

using namespace Qt::StringLiterals;

namespace kestrin {

Service::Service(const Clock& clock, AppConfig config, CycleEntries entries, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_config(std::move(config))
    , m_entries(std::move(entries))
    , m_log(std::make_unique<CommLog>(m_clock, RegionalFormat{m_config.ShortDateFormat, m_config.TimeFormat},
                                      m_config.Charset))
    , m_timers(std::make_unique<CycleTimers>(
          CycleSchedule(m_config.ComputerName, m_config.ImportCycle, m_config.ExportCycle),
          [this] { importCycle(*m_cycleContext); }, [this] { exportCycle(*m_cycleContext); }))
    , m_watchdog(ServiceManagerWatchdog())
    , m_managerStatus(RegionalFormat{m_config.ShortDateFormat, m_config.TimeFormat})
{
    connect(this, &Service::cycleFinished, this,
            [this](CycleKind kind, const CycleOutcome& outcome, bool databaseConnected) {
                if (m_managerStatus.noteCycle(kind, outcome, databaseConnected, m_clock.now()))
                    NotifyServiceManager(u"STATUS="_s + m_managerStatus.line());
            });
}

Service::~Service()
{
    m_stopRequested = true;
    stopCycles();
}

void Service::start(StartupProgress& progress, const std::function<void()>& addIcon)
{
    progress.setTitle(servicetexts::LoadingTitle(m_config.StationId));
    progress.showStatus(servicetexts::kInitializingStep.toString());
    progress.yield();
    if (addIcon)
        addIcon();

    progress.showStatus(servicetexts::kConnectingStep.toString());
    const ConnectionSettings settings = ConnectionSettingsOf(m_config);
    m_db = ConnectDatabase(settings);
    // Before anything is written: a run without them would fail every cycle.
    RequireTables(*m_db, OwnTableNames());
    m_db->setStopFlag(&m_stopRequested);
    if (m_config.Mode == RunMode::QcLink)
        m_analyzerDb = ConnectAnalyzerDatabase(settings);
    m_context = std::make_unique<Context>(Context{m_config, *m_db, *m_log, m_clock});
    m_context->stopping = &m_stopRequested;

    if (!m_config.OutType.isEmpty() && m_config.OutPort)
        m_port2 = openSerialPort(u"MSComm2", int(*m_config.OutPort), m_config.ComDevice2);
    if (m_config.ComPort)
        m_port1 = openSerialPort(u"MSComm1", int(*m_config.ComPort), m_config.ComDevice1);

    progress.showStatus(servicetexts::kOpeningLogStep.toString());
    try {
        OpenLogFile(*m_context);
        emit started();
        for (const QString& unknown : m_config.UnknownSwitches)
            m_log->logStatus(u"The switch %1 is unknown and ignored."_s.arg(unknown));
        for (const QString& warning : m_config.IniWarnings)
            m_log->logStatus(warning);
        EnsurePatientOne(*m_db);
        CheckDayAndShiftChange(*m_context);
    } catch (const DbStopped&) {
        throw; // asked to stop while another program held the database: no failure
    } catch (const std::exception& e) {
        throw StartupError(ErrorText(e));
    }
}

std::unique_ptr<SerialPortDrain> Service::openSerialPort(const char16_t* name, int portNumber, const QString& device)
{
    auto drain = std::make_unique<SerialPortDrain>(QString::fromUtf16(name));
    const QString deviceName = SerialDeviceName(portNumber, device);
    if (!drain->open(deviceName))
        throw StartupError(u"Serial port %1 (%2) cannot be opened: %3"_s.arg(QString::number(portNumber), deviceName,
                                                                             drain->errorString()));
    return drain;
}

SerialPortDrain* Service::serialPort(int number) const { return number == 1 ? m_port1.get() : m_port2.get(); }

void Service::startTimers()
{
    if (m_cycleThread || !m_db)
        return;
    m_cycleDb = m_db->newConnection();
    m_cycleThread = std::make_unique<QThread>();
    m_cycleThread->setObjectName(u"Cycles"_s);
    m_timers->moveToThread(m_cycleThread.get());
    m_cycleThread->start();
    QMetaObject::invokeMethod(
        m_timers.get(),
        [this] {
            try {
                m_cycleDb->open();
            } catch (const DbError&) {
                // Start-up has just reached the database: the first cycle opens it again, and says so.
            }
            m_cycleContext = std::make_unique<Context>(Context{m_config, *m_cycleDb, *m_log, m_clock});
            m_cycleContext->stopping = &m_stopRequested;
            m_timers->start(m_config.ExportTimerEnabled);
            startWatchdog();
        },
        Qt::BlockingQueuedConnection);
    NotifyServiceManager(u"READY=1\nSTATUS="_s + m_managerStatus.line());
}

void Service::startWatchdog()
{
    if (m_watchdog.count() <= 0)
        return;
    m_cycleContext->progress = [this] { tellWatchdog(true); };
    // Fires only while no cycle runs: the cycles' own loop is what the watchdog watches.
    m_watchdogTimer = std::make_unique<QTimer>();
    m_watchdogTimer->setTimerType(Qt::PreciseTimer);
    const auto half = std::chrono::duration_cast<std::chrono::milliseconds>(m_watchdog / 2);
    m_watchdogTimer->setInterval(
        std::clamp(half, std::chrono::milliseconds(1), std::chrono::milliseconds(std::numeric_limits<int>::max())));
    connect(m_watchdogTimer.get(), &QTimer::timeout, m_timers.get(), [this] { tellWatchdog(false); });
    m_watchdogTimer->start();
    tellWatchdog(false);
}

void Service::tellWatchdog(bool fromCycle)
{
    if (fromCycle && m_sinceWatchdog.isValid() &&
        std::chrono::microseconds(m_sinceWatchdog.nsecsElapsed() / 1000) < m_watchdog / 2)
        return;
    m_sinceWatchdog.start();
    NotifyServiceManager(u"WATCHDOG=1"_s);
}

void Service::stopCycles()
{
    if (!m_cycleThread) {
        m_timers->stop();
        return;
    }
    // Runs once the cycle in hand has returned; the timers come back to this thread.
    QThread* const home = thread();
    QMetaObject::invokeMethod(
        m_timers.get(),
        [this, home] {
            m_timers->stop();
            m_watchdogTimer.reset();
            m_cycleContext.reset();
            m_cycleDb.reset();
            m_timers->moveToThread(home);
        },
        Qt::BlockingQueuedConnection);
    m_cycleThread->quit();
    m_cycleThread->wait();
    m_cycleThread.reset();
}

CycleOutcome Service::runCycle(Context& ctx, CycleKind kind, const QString& what,
                               const std::function<CycleOutcome()>& body)
{
    const WorkLines lines{.key = what,
                          .failed = [&what](const QString& error) { return u"%1 failed: %2"_s.arg(what, error); },
                          .ranAgain = u"%1 runs again."_s.arg(what)};
    CycleOutcome outcome;
    const WorkOutcome edge =
        WorkEdge(&ctx.db, ctx.outages, WorkEdge::Probe::BeforeEveryWork).run(lines, [&] { outcome = body(); });
    // A lock wait that a stop cut short leaves the work for the next start: nothing failed.
    if (!edge.ran())
        outcome = CycleOutcome{0, 0, !(edge.state == WorkOutcome::State::Busy && ctx.stopRequested())};
    emit cycleFinished(kind, outcome, edge.connected());
    return outcome;
}

CycleOutcome Service::importCycle(Context& ctx)
{
    return runCycle(ctx, CycleKind::Import, u"Import cycle"_s, [this, &ctx] {
        CycleOutcome outcome;
        if (m_entries.importCycle)
            outcome = m_entries.importCycle(ctx);
        CheckDayAndShiftChange(ctx);
        return outcome;
    });
}

CycleOutcome Service::exportCycle(Context& ctx)
{
    return runCycle(ctx, CycleKind::Export, u"Export cycle"_s,
                    [this, &ctx] { return m_entries.exportCycle ? m_entries.exportCycle(ctx) : CycleOutcome{}; });
}

int Service::runOnce(CycleChoice choice)
{
    CycleOutcome outcome;
    if (choice == CycleChoice::Import || choice == CycleChoice::All)
        outcome += importCycle();
    if (choice == CycleChoice::Export || choice == CycleChoice::All) {
        // The run type rules here as it does for the timers.
        if (m_config.ExportTimerEnabled) {
            outcome += exportCycle();
        } else if (choice == CycleChoice::Export) {
            m_log->logall(u"The export is switched off for /type=%1; no export cycle runs."_s.arg(m_config.RunType),
                          LogDirection::Monitor);
            outcome.stopped = true;
        }
    }
    if (outcome.stopped)
        return 2;
    return outcome.failed > 0 ? 1 : 0;
}

void Service::shutdown()
{
    if (std::exchange(m_shutDown, true))
        return; // a signal after the window's Exit, or the other way round
    m_stopRequested = true;
    NotifyServiceManager(u"STOPPING=1"_s);
    emit stopping();
    stopCycles();
    // What the cycles said last reaches the windows and the journal before the stop line.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    if (m_context)
        m_log->logStatus(u"Kestrin stopped: "_s + m_context->nowText());
    for (SerialPortDrain* port : {m_port1.get(), m_port2.get()}) {
        if (port)
            port->close();
    }
    m_log->close();
    QCoreApplication::exit(0);
}

} // namespace kestrin
