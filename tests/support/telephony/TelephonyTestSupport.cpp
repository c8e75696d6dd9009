// Helpers of the telephony tests.
#include "TelephonyTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <fstream>

namespace kalvo::test {

NotificationLog& NotificationLog::instance()
{
    static NotificationLog log;
    return log;
}

std::vector<Seen> NotificationLog::of(DWORD msg) const
{
    std::vector<Seen> r;
    for (const Seen& s : all)
        if (s.msg == msg)
            r.push_back(s);
    return r;
}

std::vector<Seen> NotificationLog::of(DWORD msg, DWORD_PTR p1) const
{
    std::vector<Seen> r;
    for (const Seen& s : all)
        if (s.msg == msg && s.p1 == p1)
            r.push_back(s);
    return r;
}

std::vector<DWORD> NotificationLog::callStates(HCALL call) const
{
    std::vector<DWORD> r;
    for (const Seen& s : all)
        if (s.msg == LINE_CALLSTATE && (call == 0 || s.hDevice == call))
            r.push_back(static_cast<DWORD>(s.p1));
    return r;
}

void recordingCallback(DWORD hDevice, DWORD msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3)
{
    Seen s{hDevice, msg, instance, p1, p2, p3, std::this_thread::get_id()};
    NotificationLog::instance().all.push_back(s);
    if (NotificationLog::instance().onNotification)
        NotificationLog::instance().onNotification(s);
}

void ensureApplication()
{
    static int argc = 1;
    static char name[] = "telephony-test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv); // lives for the whole test process
}

TelephonyHome::TelephonyHome(const std::string& confText)
{
    ensureApplication();
    QString path = QString::fromLocal8Bit(qgetenv("KALVO_TELEPHONY_CONF"));
    QDir().mkpath(QFileInfo(path).path());
    std::ofstream(path.toStdString()) << confText;
    kalvo::telephony::reloadConfiguration();
    NotificationLog::instance().clear();
    NotificationLog::instance().onNotification = nullptr;
}

TelephonyHome::~TelephonyHome()
{
    pump(5);
    NotificationLog::instance().onNotification = nullptr;
}

kalvo::sim::SimLine* TelephonyHome::sim(DWORD deviceId) const
{
    return dynamic_cast<kalvo::sim::SimLine*>(kalvo::telephony::lineDevice(deviceId));
}

std::string simConf(int count, const std::string& extra)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "[Line" + std::to_string(i) + "]\nname = Sim " + std::to_string(i) + "\nprovider = sim\n" +
                extra + "\n";
    return text;
}

} // namespace kalvo::test
