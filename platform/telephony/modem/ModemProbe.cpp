// Port discovery and probing.
#include "ModemProbe.h"

#include <fcntl.h>
#include <filesystem>
#include <linux/serial.h>
#include <set>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kalvo::modem {

namespace fs = std::filesystem;

namespace {

// A built-in port with no UART behind it only times out; the kernel knows which have one.
bool hasUart(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    serial_struct info{};
    const bool present = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return present;
}

} // namespace

std::vector<std::string> serialPortCandidates()
{
    std::vector<std::string> ports;
    std::set<std::string> covered;
    std::error_code ec;
    std::vector<std::string> byId;
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", ec))
        byId.push_back(entry.path().string());
    std::sort(byId.begin(), byId.end());
    for (const std::string& link : byId) {
        ports.push_back(link);
        covered.insert(fs::canonical(link, ec).string());
    }
    std::vector<std::string> ttys;
    for (const auto& entry : fs::directory_iterator("/dev", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("ttyACM", 0) == 0 || name.rfind("ttyUSB", 0) == 0 ||
            (name.rfind("ttyS", 0) == 0 && hasUart(entry.path().string())))
            ttys.push_back(entry.path().string());
    }
    std::sort(ttys.begin(), ttys.end());
    for (const std::string& tty : ttys)
        if (!covered.count(tty))
            ports.push_back(tty);
    return ports;
}

PortReport probePort(const std::string& path)
{
    PortReport report;
    report.path = path;
    SerialPort port;
    if (!port.open(path, 115200, report.error))
        return report;
    ModemChannel channel(port, -1, ModemChannel::Listener{});
    report.result = probeModem(channel);
    return report;
}

std::string describeReport(const PortReport& report)
{
    std::string text = report.path + ": ";
    if (!report.error.empty())
        return text + report.error;
    const ProbeResult& r = report.result;
    if (!r.answers)
        return text + "no answer to AT";
    text += r.identity.empty() ? "a modem" : r.identity;
    if (!r.voice)
        return text + "; no voice mode (not usable as a telephone line)";
    text += r.fullDuplex ? "; voice mode (full duplex); formats:" : "; voice mode (half duplex); formats:";
    for (const OfferedFormat& format : r.formats)
        text += " " + std::to_string(format.method) + " \"" + format.name + "\"";
    VoiceFormat chosen;
    if (chooseVoiceFormat(r.formats, chosen))
        text += "\n  Kalvo would use " + chosen.name + " at 8000 Hz";
    else
        text += "\n  none of them is usable at 8000 Hz";
    return text;
}

} // namespace kalvo::modem
