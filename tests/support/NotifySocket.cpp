#include "NotifySocket.h"

#include <QDeadlineTimer>

#ifndef Q_OS_WIN
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace kestrin::test {

#ifndef Q_OS_WIN
NotifySocket::NotifySocket(const QString& path)
    : m_fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0))
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray name = path.toLocal8Bit();
    qstrncpy(address.sun_path, name.constData(), sizeof address.sun_path);
    m_bound = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

NotifySocket::~NotifySocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QByteArray NotifySocket::waitFor(const QByteArray& start, int ms)
{
    const QDeadlineTimer deadline(ms);
    pollfd waiting = {m_fd, POLLIN, 0};
    while (::poll(&waiting, 1, int(deadline.remainingTime())) == 1) {
        char buffer[4096];
        const ssize_t size = ::recv(m_fd, buffer, sizeof buffer, 0);
        const QByteArray message(buffer, qMax<ssize_t>(size, 0));
        if (message.startsWith(start))
            return message;
    }
    return {};
}
#else
NotifySocket::NotifySocket(const QString&) { }
NotifySocket::~NotifySocket() = default;
QByteArray NotifySocket::waitFor(const QByteArray&, int) { return {}; }
#endif

bool NotifySocket::watchdogQuietFor(int ms, int withinMs)
{
    const QDeadlineTimer deadline(withinMs);
    while (!deadline.hasExpired()) {
        if (waitFor("WATCHDOG=1", ms).isEmpty())
            return true;
    }
    return false;
}

} // namespace kestrin::test
