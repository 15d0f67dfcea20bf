#include "StopSignals.h"

#include <QSocketNotifier>

#ifndef Q_OS_WIN
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace kestrin {

#ifndef Q_OS_WIN
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// A signal handler reaches only what is static: the one process-wide channel to the event loop.
// It stays open for the life of the process, so that a handler running on another thread while
// a StopSignals goes never writes into a descriptor closed (or already reused) under it.
int g_pipe[2] = {-1, -1};
std::atomic<std::atomic<bool>*> g_flag{nullptr};
// Handlers between reading g_flag and done with it: the flag's owner waits for them to leave.
std::atomic<int> g_inHandler{0};

extern "C" void onStopSignal(int number)
{
    ++g_inHandler;
    if (std::atomic<bool>* flag = g_flag.load())
        flag->store(true);
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    --g_inHandler;
}

bool openPipe()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0)
            g_pipe[0] = g_pipe[1] = -1;
    });
    return g_pipe[0] >= 0;
}

QString signalName(unsigned char number)
{
    switch (number) {
    case SIGINT:
        return u"SIGINT"_s;
    case SIGHUP:
        return u"SIGHUP"_s;
    default:
        return u"SIGTERM"_s;
    }
}

} // namespace

StopSignals::StopSignals(std::atomic<bool>& flag, QObject* parent)
    : QObject(parent)
{
    if (!openPipe())
        return;
    // A signal that came after the last StopSignals had gone was for nobody.
    unsigned char stale = 0;
    while (::read(g_pipe[0], &stale, 1) == 1) { }
    g_flag = &flag;
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        unsigned char number = 0;
        if (::read(g_pipe[0], &number, 1) == 1)
            emit stopRequested(signalName(number));
    });
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kStopSignals)
        ::sigaction(number, &action, nullptr);
}

StopSignals::~StopSignals()
{
    if (!m_notifier)
        return;
    for (const int number : kStopSignals)
        ::signal(number, SIG_DFL);
    m_notifier.reset();
    g_flag = nullptr;
    // The flag goes with its owner: a handler that read it before finishes first.
    while (g_inHandler.load() > 0)
        sched_yield();
}
#else
StopSignals::StopSignals(std::atomic<bool>&, QObject* parent)
    : QObject(parent)
{
}

StopSignals::~StopSignals() = default;
#endif

} // namespace kestrin
