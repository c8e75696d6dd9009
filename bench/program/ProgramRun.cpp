// What the whole-program benchmarks share.
#include "ProgramRun.h"

#include "SipPeers.h"
#include "mdlReg.h"

#include <QDir>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

namespace kalvo::bench {

using kalvo::sip::test::readFile;

PrivateHome::PrivateHome()
{
    char templ[] = "/tmp/kalvo-program-home-XXXXXX";
    m_dir = mkdtemp(templ);
    for (const char* sub :
         {"home/Greets", "home/Log", "home/Messages", "registry", "config/kalvo", "runtime"})
        QDir().mkpath(QString::fromStdString(m_dir + "/" + sub));
    ::chmod((m_dir + "/runtime").c_str(), 0700);
    setenv("HOME", (m_dir + "/home").c_str(), 1);
    setenv("KALVO_HOME", (m_dir + "/home").c_str(), 1);
    setenv("KALVO_REGISTRY_DIR", (m_dir + "/registry").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (m_dir + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (m_dir + "/runtime").c_str(), 1);
    setenv("KALVO_TELEPHONY_CONF", conf().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

PrivateHome::~PrivateHome()
{
    std::system(("rm -rf '" + m_dir + "'").c_str());
}

std::string PrivateHome::sysLog(size_t from) const
{
    std::string all;
    QDir log(QString::fromStdString(folder() + "/Log"));
    for (const QString& name : log.entryList({"*_Sys.txt"}, QDir::Files))
        all += readFile(log.filePath(name).toStdString());
    return from < all.size() ? all.substr(from) : std::string();
}

void setSettings(const std::vector<std::pair<const char*, std::string>>& values)
{
    for (const auto& [name, value] : values)
        mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name, 1,
                            QString::fromStdString(value));
}

Program::Program(const PrivateHome& home) : m_home(home)
{
    logFrom = home.sysLog().size();
    pid = kalvo::sip::test::spawn(home.folder() + "/kalvo.out", {KALVO_BENCH_BIN_DIR "/kalvo", "-st"});
    started = waitFor([&] { return log().find("LineOpen") != std::string::npos; }, std::chrono::seconds(60));
}

Program::~Program()
{
    kalvo::sip::test::terminate(pid);
}

size_t Program::count(const std::string& text) const
{
    const std::string all = log();
    size_t n = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size()))
        ++n;
    return n;
}

bool startFirstTime(const PrivateHome& home)
{
    std::ofstream(home.conf()) << sipLine(kalvo::sip::test::freePort());
    return Program(home).started;
}

std::string sipLine(uint16_t port)
{
    return "[Line0]\nname = SIP Line\nprovider = sip\nlisten = 127.0.0.1:" + std::to_string(port) +
           "\nring_interval = 0.3\nrtp_ports = " + std::to_string(kLineRtpMin) + "-" +
           std::to_string(kLineRtpMax) + "\n";
}

double ms(BenchClock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

std::string spread(std::vector<double> values, const char* unit, int decimals)
{
    if (values.empty())
        return "-";
    std::sort(values.begin(), values.end());
    char text[128];
    std::snprintf(text, sizeof text, "%.*f / %.*f / %.*f %s", decimals, values.front(), decimals,
                  values[values.size() / 2], decimals, values.back(), unit);
    return text;
}

} // namespace kalvo::bench
