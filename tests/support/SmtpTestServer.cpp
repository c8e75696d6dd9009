// Runs smtp_server.py and reads back the messages it saved.
#include "SmtpTestServer.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace kalvo::test {

SmtpTestServer::SmtpTestServer(const QStringList& options)
{
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    QStringList{sourcePath("tests/support/smtp_server.py"), m_dir.path()} + options);
    if (!m_process.waitForStarted(10000))
        return;
    QByteArray output;
    while (!output.contains('\n') && m_process.waitForReadyRead(15000))
        output += m_process.readAllStandardOutput();
    if (output.startsWith("PORT "))
        m_port = output.mid(5).trimmed().toInt();
}

SmtpTestServer::~SmtpTestServer()
{
    // Closing stdin lets the script stop its server cleanly; a kill is the fallback.
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString SmtpTestServer::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QJsonObject SmtpTestServer::message(int number) const
{
    QFile file(QDir(m_dir.path()).filePath(QStringLiteral("msg-%1.json").arg(number)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

int SmtpTestServer::messageCount() const
{
    return int(QDir(m_dir.path()).entryList({QStringLiteral("msg-*.json")}, QDir::Files).size());
}

QString SmtpTestServer::errors()
{
    return QString::fromUtf8(m_process.readAllStandardError());
}

} // namespace kalvo::test
