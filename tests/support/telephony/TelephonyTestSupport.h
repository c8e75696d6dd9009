// Helpers of the telephony tests: a Qt event loop for delivery, a recording line callback, and a
// private telephony.conf.
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

// A config with count sim lines named "Sim 0", "Sim 1" ..., each with extra keys appended.
std::string simConf(int count = 1, const std::string& extra = "");

} // namespace kalvo::test
