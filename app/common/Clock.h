// The program's time base: the wall clock in production, a clock the test sets in tests.
#pragma once

#include <QDateTime>

class Clock
{
public:
    virtual ~Clock() = default;
    // The current local date and time.
    virtual QDateTime now() const = 0;

    // The clock of the running system.
    static const Clock& system();
};

// A clock that stands still until told otherwise; for tests.
class FixedClock : public Clock
{
public:
    explicit FixedClock(QDateTime now) : m_now(std::move(now)) {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& now) { m_now = now; }

private:
    QDateTime m_now;
};
