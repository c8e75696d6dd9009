// Timer intervals and event-pumping waits.
#include "TimeBase.h"

#include <QEventLoop>
#include <QTimer>
#include <cmath>

namespace {
class RealTimeBase : public TimeBase
{
public:
    int interval(int designMs) const override { return designMs < 0 ? 0 : designMs; }
};
} // namespace

void TimeBase::setInterval(QTimer& timer, int designMs) const
{
    timer.setInterval(interval(designMs));
}

void TimeBase::wait(int designMs) const
{
    QEventLoop loop;
    QTimer::singleShot(interval(designMs), &loop, &QEventLoop::quit);
    loop.exec();
}

const TimeBase& TimeBase::real()
{
    static const RealTimeBase base;
    return base;
}

int ScaledTimeBase::interval(int designMs) const
{
    if (designMs <= 0)
        return 0;
    return static_cast<int>(std::lround(designMs * m_factor));
}
