#pragma once

#include <QObject>

#include <atomic>
#include <memory>

class QSocketNotifier;

namespace kestrin {

// SIGTERM, SIGINT and SIGHUP (a service manager's stop, Ctrl+C, a closed terminal): the handler
// sets `flag` at once, so that a cycle in hand ends after its batch and a wait for another
// program's lock is cut short, and passes the signal on to the event loop, where
// stopRequested() is emitted and stopping is safe. Nothing on Windows, where a service is
// stopped through its window or its wrapper.
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(std::atomic<bool>& flag, QObject* parent = nullptr);
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

signals:
    void stopRequested(const QString& signalName);

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace kestrin
