// The mail sender over libcurl's SMTP, with the transfer on a worker thread.
#pragma once

#include "MailSender.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace kalvo {

// Sends each mail on one worker thread, in the order SendMail was called, and posts the events
// back to this object's thread. Plain smtp upgrades with STARTTLS when the server offers it, and
// insists on it when the URL carries a login; smtps is TLS from the start; a certificate that does
// not verify fails the send. Destroying the
// object aborts a transfer in progress and drops the mails still waiting.
class CurlMailSender : public MailSender
{
    Q_OBJECT

public:
    explicit CurlMailSender(QObject* parent = nullptr);
    ~CurlMailSender() override;

    void SendMail(const QString& server, const QString& fromAddress, const QString& fromName,
                  const QString& toAddress, const QString& subject, const QString& attachmentPath) override;

    // Trusts the certificates in this PEM file instead of the system's (a private mail server).
    void setCaFile(const QString& path);
    // Changes the connect and whole-transfer time-outs (30 s and 5 minutes by default).
    void setTimeouts(std::chrono::seconds connect, std::chrono::seconds total);

    // The libcurl URL for a server text ("host", "host:port", "smtp://..." or "smtps://..."), or
    // an empty array when the text is none of these.
    static QByteArray smtpUrl(const QString& server);

private:
    struct Job
    {
        QString server, fromAddress, fromName, toAddress, subject, attachmentPath;
        QByteArray caFile;
        std::chrono::seconds connectTimeout, totalTimeout;
    };
    // What the transfer of one job left behind: empty on success, else the reason.
    struct Outcome
    {
        bool sent = false;
        QString reason;
    };

    void workerLoop();
    Outcome transfer(const Job& job);
    void postProgress(qint64 total, qint64 done);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_queue;
    bool m_stopping = false;
    std::atomic<bool> m_abort{false};
    std::thread m_worker;
    QByteArray m_caFile;
    std::chrono::seconds m_connectTimeout{30};
    std::chrono::seconds m_totalTimeout{300};
};

} // namespace kalvo
