// Running the web page.
#include "WebAccess.h"

#include "WebCertificate.h"
#include "WebLockout.h"
#include "WebPassword.h"
#include "WebServer.h"
#include "mdlLog.h"
#include "mdlReg.h"

#include <QHostInfo>
#include <QNetworkInterface>

namespace {
WebAccess* g_running = nullptr;

bool isPrivate(const QHostAddress& ip)
{
    return ip.isInSubnet(QHostAddress("10.0.0.0"), 8) || ip.isInSubnet(QHostAddress("172.16.0.0"), 12) ||
           ip.isInSubnet(QHostAddress("192.168.0.0"), 16);
}
} // namespace

WebAccess::Config WebAccess::readConfig()
{
    using namespace mdlReg;
    Config config;
    bool ok = false;
    const int access = GetRegString(HKeyLocalMachine, kSettingsKey, "WebAccess").toInt(&ok);
    if (ok && access >= 0 && access <= 2)
        config.access = access;
    const int port = GetRegString(HKeyLocalMachine, kSettingsKey, "WebPort").toInt(&ok);
    if (ok && port > 0 && port < 65536)
        config.port = port;
    return config;
}

void WebAccess::writeConfig(const Config& config)
{
    using namespace mdlReg;
    SetRegValue(HKeyLocalMachine, kSettingsKey, "WebAccess", 1, QString::number(config.access));
    SetRegValue(HKeyLocalMachine, kSettingsKey, "WebPort", 1, QString::number(config.port));
}

QString WebAccess::webFolder(const QString& programFolder)
{
    return programFolder + "/Web";
}

QString WebAccess::address(const Config& config, quint16 port)
{
    if (config.access == 0)
        return {};
    QString host = QStringLiteral("127.0.0.1");
    if (config.access == 2) {
        // The first private IPv4 address of an interface that is up: what a phone at home can reach.
        for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
            if (!(interface.flags() & QNetworkInterface::IsUp) ||
                (interface.flags() & QNetworkInterface::IsLoopBack))
                continue;
            for (const QNetworkAddressEntry& entry : interface.addressEntries())
                if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && isPrivate(entry.ip())) {
                    host = entry.ip().toString();
                    goto found;
                }
        }
    }
found:
    return "https://" + host + ":" + QString::number(port ? port : config.port) + "/";
}

WebAccess::WebAccess(MessageStore& store, mdlLog& log, QString programFolder, WebCalls::Window window,
                     QObject* parent)
    : QObject(parent), m_store(store), m_log(log), m_programFolder(std::move(programFolder)),
      m_window(std::move(window))
{
    g_running = this;
}

WebAccess::~WebAccess()
{
    if (g_running == this)
        g_running = nullptr;
}

WebAccess* WebAccess::running()
{
    return g_running;
}

QString WebAccess::reapply()
{
    return m_clock ? apply(readConfig(), *m_clock) : QString();
}

QString WebAccess::apply(const Config& config, const Clock& clock)
{
    m_clock = &clock;
    m_server.reset();
    m_port = 0;
    if (config.access == 0)
        return {};
    const QString folder = webFolder(m_programFolder);
    auto refuse = [this](const QString& why) {
        m_log.WriteSysLog("Web page off: " + why);
        return why;
    };
    if (!WebPassword::isSet(folder))
        return refuse(QStringLiteral("no password is set"));
    if (const QString why = WebCertificate::ensure(folder, QHostInfo::localHostName()); !why.isEmpty())
        return refuse(why);
    QSslConfiguration tls;
    QString why;
    if (!WebCertificate::load(folder, tls, why))
        return refuse(why);
    WebServer::Places places{folder, m_programFolder + "/Calls", WebLockout::defaultPath()};
    m_server = std::make_unique<WebServer>(m_store, places, m_log, clock, m_window);
    const QHostAddress address =
        config.access == 1 ? QHostAddress(QHostAddress::LocalHost) : QHostAddress::Any;
    m_port = m_server->start(address, quint16(config.port), tls);
    if (m_port == 0) {
        m_server.reset();
        return refuse(QStringLiteral("port %1 cannot be used").arg(config.port));
    }
    m_log.WriteSysLog("Web page on " + WebAccess::address(config, m_port));
    return {};
}
