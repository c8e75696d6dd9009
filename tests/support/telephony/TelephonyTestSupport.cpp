// Helpers of the telephony tests.
#include "TelephonyTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <arpa/inet.h>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

LONG initialiseAndOpen(HLINEAPP* app, HLINE* line, LINECALLBACK callback)
{
    DWORD devices = 0;
    if (LONG result = lineInitialize(app, nullptr, callback, "", &devices); result != 0)
        return result;
    return lineOpen(*app, 0, line, TAPI_VERSION_1_4, 0, 1, LINECALLPRIVILEGE_OWNER,
                    LINEMEDIAMODE_AUTOMATEDVOICE, nullptr);
}

HCALL firstCallHandle()
{
    const NotificationLog& log = NotificationLog::instance();
    if (!waitUntil([&] { return !log.of(LINE_CALLSTATE).empty(); }))
        return 0;
    return log.of(LINE_CALLSTATE)[0].hDevice;
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
    useTelephonyConf(confText);
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
    return simLine(deviceId);
}

std::string simConf(int count, const std::string& extra, const std::function<std::string(int)>& perLine)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        text +=
            "[Line" + std::to_string(i) + "]\nname = Sim " + std::to_string(i) + "\nprovider = sim\n" + extra;
        if (perLine)
            text += perLine(i);
        text += "\n";
    }
    return text;
}

bool useTelephonyConf(const std::string& text)
{
    const QString path = QString::fromLocal8Bit(qgetenv("KALVO_TELEPHONY_CONF"));
    QDir().mkpath(QFileInfo(path).path());
    std::ofstream(path.toStdString()) << text;
    return kalvo::telephony::reloadConfiguration();
}

kalvo::sim::SimLine* simLine(DWORD deviceId)
{
    return dynamic_cast<kalvo::sim::SimLine*>(kalvo::telephony::lineDevice(deviceId));
}

HeldUdpPort::HeldUdpPort() : m_fd(::socket(AF_INET, SOCK_DGRAM, 0))
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
        m_port = ntohs(addr.sin_port);
}

HeldUdpPort::~HeldUdpPort()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace kalvo::test
