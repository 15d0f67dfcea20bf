#pragma once

#include "core/Clock.h"

namespace kestrin::test {

// A clock that shows whatever time the test sets.
class FixedClock final : public Clock {
public:
    explicit FixedClock(QDateTime now = QDateTime(QDate(2019, 1, 20), QTime(14, 5, 3)))
        : m_now(std::move(now))
    {
    }
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& now) { m_now = now; }
    void advance(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now;
};

} // namespace kestrin::test
