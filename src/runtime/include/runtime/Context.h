#pragma once

#include "config/AppConfig.h"
#include "core/Clock.h"
#include "core/DateTexts.h"
#include "labdb/Database.h"
#include "runtime/CommLog.h"
#include "runtime/Outages.h"

#include <atomic>
#include <functional>

namespace kestrin {

// What the service's work needs, created at start-up and handed to it: the settings, the
// laboratory database, the communication log and the clock, and what trouble the log has
// been told of already, so that a cycle says it once and not every time it runs. The windows'
// thread and the cycles' thread each have one of their own, sharing the settings and the log.
struct Context {
    const AppConfig& config;
    Database& db;
    CommLog& log;
    const Clock& clock;
    Outages outages{log};
    // Set when the process is asked to stop (SIGTERM, SIGINT): a cycle ends after the batch
    // or group in hand instead of starting another.
    const std::atomic<bool>* stopping = nullptr;

    // Called by a long cycle between its items: the service manager's watchdog hears that the
    // cycles go on. Empty where none watches.
    std::function<void()> progress = {};

    bool stopRequested() const { return stopping && stopping->load(); }
    void reportProgress() const
    {
        if (progress)
            progress();
    }

    RegionalFormat regional() const { return {config.ShortDateFormat, config.TimeFormat, config.DecimalSeparator}; }
    QDateTime now() const { return clock.now(); }
    QString nowText() const { return NowText(clock.now(), regional()); }
};

} // namespace kestrin
