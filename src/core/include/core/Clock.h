#pragma once

#include <QDateTime>

namespace kestrin {

// Where the current local time comes from; tests stand at any moment they like.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// The C library reads the time-zone file again at every local-time conversion unless the
// environment names the zone; naming the system's own file (when nothing else is named)
// saves that, thousands of times a second in a busy cycle. Call before any thread starts.
void NameSystemTimeZone();

} // namespace kestrin
