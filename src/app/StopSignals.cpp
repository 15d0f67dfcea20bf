#include "StopSignals.h"

#include <QSocketNotifier>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace kestrin {

#ifndef Q_OS_WIN
namespace {

// A signal handler reaches only what is static: the one process-wide channel to the event loop.
int g_pipe[2] = {-1, -1};
std::atomic<bool>* g_flag = nullptr;

extern "C" void onStopSignal(int number)
{
    if (g_flag)
        g_flag->store(true);
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
}

} // namespace

StopSignals::StopSignals(std::atomic<bool>& flag, QObject* parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    g_flag = &flag;
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        unsigned char number = 0;
        if (::read(g_pipe[0], &number, 1) == 1)
            emit stopRequested(number == SIGINT ? u"SIGINT"_s : u"SIGTERM"_s);
    });
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

StopSignals::~StopSignals()
{
    if (!m_notifier)
        return;
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    m_notifier.reset();
    g_flag = nullptr;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}
#else
StopSignals::StopSignals(std::atomic<bool>&, QObject* parent)
    : QObject(parent)
{
}

StopSignals::~StopSignals() = default;
#endif

} // namespace kestrin
