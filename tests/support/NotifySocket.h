#pragma once

#include <QByteArray>
#include <QString>

namespace kestrin::test {

// Where systemd listens for a service's messages: a datagram socket named by NOTIFY_SOCKET.
// Linux only.
class NotifySocket {
public:
    explicit NotifySocket(const QString& path);
    ~NotifySocket();
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    bool bound() const { return m_bound; }

    // The first message within `ms` that starts with `start`; empty when none came.
    QByteArray waitFor(const QByteArray& start, int ms);
    // Whether `ms` pass without a "WATCHDOG=1"; waits no longer than `withinMs` for them.
    bool watchdogQuietFor(int ms, int withinMs);

private:
    int m_fd = -1;
    bool m_bound = false;
};

} // namespace kestrin::test
