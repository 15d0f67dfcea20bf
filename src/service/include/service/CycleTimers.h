#pragma once

#include "config/CycleSchedule.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace kestrin {

// The two timers that drive the service: Timer1 ticks every 5 s toward an import cycle,
// Timer2 every 1 s toward an export cycle. A timer is stopped while its cycle runs, so
// cycles never overlap and a long cycle only delays the next tick.
class CycleTimers : public QObject {
    Q_OBJECT
public:
    CycleTimers(CycleSchedule schedule, std::function<void()> importCycle, std::function<void()> exportCycle,
                QObject* parent = nullptr);

    // Starts Timer1, and Timer2 unless the export is switched off for this run.
    void start(bool exportEnabled);
    void stop();

    QTimer* importTimer() { return &m_timer1; }
    QTimer* exportTimer() { return &m_timer2; }
    const CycleSchedule& schedule() const { return m_schedule; }

    // One tick of each timer, as the timers call them.
    void importTick();
    void exportTick();

private:
    CycleSchedule m_schedule;
    std::function<void()> m_importCycle;
    std::function<void()> m_exportCycle;
    QTimer m_timer1;
    QTimer m_timer2;
    bool m_running = false;
};

} // namespace kestrin
