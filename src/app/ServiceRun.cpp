#include "app/ServiceRun.h"

#include "StationLock.h"
#include "StopSignals.h"
#include "config/CommandLine.h"
#include "core/Error.h"
#include "labdb/SessionTable.h"
#include "qclink/QcOrders.h"
#include "service/CycleRecord.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace kestrin {

ServiceRun::ServiceRun(const Clock& clock, AppConfig config, CycleEntries entries, QObject* parent)
    : QObject(parent)
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

ServiceRun::~ServiceRun() = default;

void ServiceRun::start(StartupProgress& progress, RunWindows* windows)
{
    m_windows = windows;
    m_lock = std::make_unique<StationLock>(m_service->config());
    if (m_windows)
        m_windows->open();
    else
        journalToStderr();
    m_service->start(progress, [this] {
        if (m_windows)
            m_windows->addIcon();
    });
    recordCycles();
    startRunMode(progress);
}

// Without a window a service manager's journal is where the IT looks: start, stop and the
// status lines about Kestrin itself go to stderr too, with their time stamps.
void ServiceRun::journalToStderr()
{
    connect(&m_service->log(), &CommLog::statusLine, this,
            [](const QString& line) { QTextStream(stderr) << line << Qt::endl; });
    const AppConfig& c = m_service->config();
    connect(m_service.get(), &Service::started, this, [this, &c] {
        QTextStream(stderr) << m_service->context().nowText() << " " << VersionLine() << " started: station "
                            << c.StationId << ", INI file " << c.IniFilePath << Qt::endl;
    });
}

void ServiceRun::recordCycles()
{
    Context& ctx = m_service->context();
    m_cycles =
        std::make_unique<CycleRecorder>(CycleRecordFileName(ctx.config), QCoreApplication::applicationPid(), ctx.now());
    const auto showStatus = [this] {
        if (m_windows)
            m_windows->showCycleStatus(m_cycles->record());
    };
    connect(m_service.get(), &Service::cycleFinished, this,
            [this, showStatus](CycleKind kind, const CycleOutcome& outcome, bool databaseConnected) {
                m_cycles->noteCycle(kind, outcome, databaseConnected, m_service->context().now());
                showStatus();
            });
    connect(m_service.get(), &Service::stopping, this, [this] { m_cycles->flush(m_service->context().now()); });
    showStatus();
}

void ServiceRun::startRunMode(StartupProgress& progress)
{
    const AppConfig& c = m_service->config();
    QString sessionTable;
    switch (c.Mode) {
    case RunMode::Service:
    case RunMode::OtherType:
    case RunMode::SampleIdStation:
        break;
    case RunMode::QcLink:
        TransferQcOrders(m_service->context(), *m_service->analyzerDatabase());
        break;
    case RunMode::EntryStation:
        try {
            sessionTable = CreateSessionTable(m_service->context().db, c.RunType, c.StationId);
        } catch (const StartupError&) {
            throw;
        } catch (const std::exception& e) {
            throw StartupError(ErrorText(e));
        }
        break;
    }
    if (m_windows)
        m_windows->openStation(c.Mode, sessionTable);
    progress.finish();
    if (m_windows)
        m_windows->show();
}

} // namespace kestrin
