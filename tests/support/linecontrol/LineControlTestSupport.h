// Helpers of the line control tests: a private home with simulated lines, the control loaded from
// the build tree by its ProgID, and a log of its events in the order they were raised.
#pragma once

#include "SimLine.h"
#include "TapiControl.h"
#include "TelephonyTestSupport.h"
#include "TestSupport.h"

#include <QStringList>
#include <memory>
#include <string>

namespace kalvo::test {

// Creates the widget application of the test process once (offscreen): the control's about box
// and message boxes are widgets.
void ensureWidgetApplication();

// A private home whose telephony.conf is confText, with libkorvan.so of the build tree registered
// and one control created from it. Events are logged as "Name(arg,arg)".
class ControlHome
{
public:
    explicit ControlHome(const std::string& confText);
    ~ControlHome();

    TapiControl& control() { return *m_control; }
    kalvo::sim::SimLine& sim(DWORD deviceId) const;
    // Events so far, and a wait for the n-th one.
    const QStringList& events() const { return m_events; }
    bool waitForEvents(int count, int timeoutMs = 5000);
    // Waits until an event starting with prefix was logged.
    bool waitForEvent(const QString& prefix, int timeoutMs = 5000);
    void clearEvents() { m_events.clear(); }
    // LineInitialize, then LineOpen(index) with the host's arguments; both must succeed.
    void initialiseAndOpen(int index);

private:
    IsolatedHome m_home;
    std::unique_ptr<TapiControl> m_control;
    QStringList m_events;
};

} // namespace kalvo::test
