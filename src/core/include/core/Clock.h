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

} // namespace kestrin
