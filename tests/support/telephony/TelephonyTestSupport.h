// Helpers of the telephony tests: a Qt event loop for delivery, a recording line callback, a
// private telephony.conf with simulated lines, and a port no line can listen on.
#pragma once

#include "SimLine.h"
#include "Telephony.h"
#include "TelephonyLayer.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace kalvo::test {

// One notification as the callback saw it.
struct Seen
{
    DWORD hDevice, msg;
    DWORD_PTR instance, p1, p2, p3;
    std::thread::id thread;
};

// Collects every notification of the applications that use recordingCallback.
class NotificationLog
{
public:
    static NotificationLog& instance();
    std::vector<Seen> all;
    void clear() { all.clear(); }
    // Notifications with message msg (and, when given, p1).
    std::vector<Seen> of(DWORD msg) const;
    std::vector<Seen> of(DWORD msg, DWORD_PTR p1) const;
    // Call states in order, for one call handle (0: any).
    std::vector<DWORD> callStates(HCALL call = 0) const;
    // Called from the callback after recording, e.g. to re-enter the API.
    std::function<void(const Seen&)> onNotification;
};

void recordingCallback(DWORD hDevice, DWORD msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2,
                       DWORD_PTR p3);

// lineInitialize with callback, then line 0 opened as owner of automated-voice calls, as the
// answering machine opens it: 0, or the first failing result.
LONG initialiseAndOpen(HLINEAPP* app, HLINE* line, LINECALLBACK callback = recordingCallback);
// Waits for the first LINE_CALLSTATE recorded; the handle of its call, 0 when none came.
HCALL firstCallHandle();

// Creates the QCoreApplication of the test process once.
void ensureApplication();

// A private home whose telephony.conf is text; the layer re-reads it.
class TelephonyHome
{
public:
    explicit TelephonyHome(const std::string& confText);
    ~TelephonyHome();
    std::string dir() const { return m_home.path().toStdString(); }
    kalvo::sim::SimLine* sim(DWORD deviceId) const;

private:
    IsolatedHome m_home;
};

// A config with count sim lines named "Sim 0", "Sim 1" ..., each with the extra keys; a line's own
// keys by index.
std::string simConf(int count = 1, const std::string& extra = "",
                    const std::function<std::string(int)>& perLine = nullptr);

// Writes text as the private home's telephony.conf (KALVO_TELEPHONY_CONF) and has the layer re-read
// it, so a line left initialised by an earlier test does not keep the old configuration; false when
// the layer could not.
bool useTelephonyConf(const std::string& text);

// The simulated line of a device id, or null.
kalvo::sim::SimLine* simLine(DWORD deviceId);

// A UDP port on 127.0.0.1 held by a socket of the test, so a line cannot listen on it.
class HeldUdpPort
{
public:
    HeldUdpPort();
    ~HeldUdpPort();
    Q_DISABLE_COPY_MOVE(HeldUdpPort)
    // 0 when no socket could be bound.
    uint16_t port() const { return m_port; }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

} // namespace kalvo::test
