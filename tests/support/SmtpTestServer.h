// A real SMTP server for the mail tests: smtp_server.py (aiosmtpd) in a child process.
#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace kalvo::test {

// Starts the server on a free 127.0.0.1 port and stops it when destroyed. What it received is
// read back as the JSON the script writes for each message.
class SmtpTestServer
{
public:
    // `options` are the script's options (--cert, --key, --implicit-tls, --auth, --refuse).
    explicit SmtpTestServer(const QStringList& options = {});
    ~SmtpTestServer();
    SmtpTestServer(const SmtpTestServer&) = delete;
    SmtpTestServer& operator=(const SmtpTestServer&) = delete;

    // True once the server listens.
    bool isRunning() const { return m_port != 0; }
    // Its port on 127.0.0.1.
    int port() const { return m_port; }
    // "127.0.0.1:<port>".
    QString address() const;
    // The envelope, headers and attachments of message `number` (from 1); empty when absent.
    QJsonObject message(int number) const;
    // Number of messages received so far.
    int messageCount() const;
    // What the script printed on its error output (for failure messages).
    QString errors();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

} // namespace kalvo::test
