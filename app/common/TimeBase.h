// The time base of the program's timers and short waits: the designed intervals in production, a
// faster scale in tests, so that a one-minute recording limit can be tested in milliseconds.
#pragma once

class QTimer;

class TimeBase
{
public:
    virtual ~TimeBase() = default;

    // Real milliseconds for an interval the program is designed with (never negative).
    virtual int interval(int designMs) const = 0;

    // Sets a timer's interval from its designed value.
    void setInterval(QTimer& timer, int designMs) const;

    // Waits designMs (scaled) in a nested event loop, so events keep being handled meanwhile.
    void wait(int designMs) const;

    // The designed intervals, unchanged.
    static const TimeBase& real();
};

// Every interval multiplied by factor (0.001 turns a second into a millisecond); for tests.
class ScaledTimeBase : public TimeBase
{
public:
    explicit ScaledTimeBase(double factor) : m_factor(factor) {}
    int interval(int designMs) const override;

private:
    double m_factor;
};
