// The web page as the program runs it: reads "WebAccess" (0 off, 1 this computer only, 2 the home
// network) and "WebPort", makes the certificate at first use, and keeps the server running as the
// settings say. With it off, or without a password, nothing listens.
#pragma once

#include "WebCalls.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <memory>

class Clock;
class MessageStore;
class WebServer;
class mdlLog;

class WebAccess : public QObject
{
    Q_OBJECT

public:
    struct Config
    {
        int access = 0; // 0 off, 1 127.0.0.1 only, 2 every local address
        int port = 8443;
    };
    // The settings as stored (missing or damaged values give the defaults), and storing them.
    static Config readConfig();
    static void writeConfig(const Config& config);
    // "<program folder>/Web".
    static QString webFolder(const QString& programFolder);
    // The address the page is reached at from this computer or a phone, "" when it is off.
    static QString address(const Config& config, quint16 port);

    WebAccess(MessageStore& store, mdlLog& log, QString programFolder, WebCalls::Window window = {},
              QObject* parent = nullptr);
    ~WebAccess() override;

    // Starts, stops or moves the server as config says. @return an empty text, else why the page
    // is not offered (also logged).
    QString apply(const Config& config, const Clock& clock);
    // Applies the stored settings again, as the options dialog does after OK; @see apply.
    QString reapply();
    // The page of this program, so the options dialog can apply its changes; null before it is made.
    static WebAccess* running();
    // The port listened on; 0 when off.
    quint16 port() const { return m_port; }
    WebServer* server() const { return m_server.get(); }

private:
    MessageStore& m_store;
    mdlLog& m_log;
    QString m_programFolder;
    WebCalls::Window m_window;
    std::unique_ptr<WebServer> m_server;
    const Clock* m_clock = nullptr;
    quint16 m_port = 0;
};
