#include "service/CycleTimers.h"

using namespace Qt::StringLiterals;

namespace kestrin {

CycleTimers::CycleTimers(CycleSchedule schedule, std::function<void()> importCycle, std::function<void()> exportCycle,
                         QObject* parent)
    : QObject(parent)
    , m_schedule(schedule)
    , m_importCycle(std::move(importCycle))
    , m_exportCycle(std::move(exportCycle))
    , m_timer1(this)
    , m_timer2(this)
{
    setObjectName(u"CycleTimers"_s);
    m_timer1.setObjectName(u"Timer1"_s);
    m_timer2.setObjectName(u"Timer2"_s);
    m_timer1.setInterval(CycleSchedule::kImportTickMs);
    m_timer2.setInterval(CycleSchedule::kExportTickMs);
    connect(&m_timer1, &QTimer::timeout, this, &CycleTimers::importTick);
    connect(&m_timer2, &QTimer::timeout, this, &CycleTimers::exportTick);
}

void CycleTimers::start(bool exportEnabled)
{
    m_running = true;
    m_timer1.start();
    if (exportEnabled)
        m_timer2.start();
}

void CycleTimers::stop()
{
    m_running = false;
    m_timer1.stop();
    m_timer2.stop();
}

namespace {

// Stops a timer while its cycle runs and starts it again however the cycle ends, unless the
// program stopped the timers meanwhile (a shutdown from inside the cycle).
class PausedTimer {
public:
    PausedTimer(QTimer& timer, const bool& running)
        : m_timer(timer)
        , m_running(running)
    {
        m_timer.stop();
    }
    ~PausedTimer()
    {
        if (m_running)
            m_timer.start();
    }
    PausedTimer(const PausedTimer&) = delete;
    PausedTimer& operator=(const PausedTimer&) = delete;

private:
    QTimer& m_timer;
    const bool& m_running;
};

} // namespace

void CycleTimers::importTick()
{
    const PausedTimer paused(m_timer1, m_running);
    if (m_schedule.importTick())
        m_importCycle();
}

void CycleTimers::exportTick()
{
    const PausedTimer paused(m_timer2, m_running);
    if (m_schedule.exportTick())
        m_exportCycle();
}

} // namespace kestrin
