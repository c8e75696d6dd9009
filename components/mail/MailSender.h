// The mail sender as the program uses it: one operation that starts a send, and three events.
#pragma once

#include <QObject>
#include <QString>

namespace kalvo {

// Sends one e-mail about a call (the main window keeps it as Mail1). SendMail returns at once;
// the transfer runs elsewhere and its events arrive on the thread that owns this object, one event
// loop turn at a time. Each SendMail ends with exactly one MailSent or SendFailed.
class MailSender : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~MailSender() override = default;

    // Starts sending a mail from "fromName" <fromAddress> to toAddress with `subject` through
    // `server` ("host", "host:port", "smtp://[user:password@]host[:port]" or "smtps://..."),
    // with the file at attachmentPath attached as audio/wav. A path that names a folder or no file
    // sends the mail without an attachment.
    virtual void SendMail(const QString& server, const QString& fromAddress, const QString& fromName,
                          const QString& toAddress, const QString& subject,
                          const QString& attachmentPath) = 0;

signals:
    // Progress of the transfer in bytes: `done` of `total` sent so far.
    void SendProgress(int total, int done);
    // The server accepted the mail.
    void MailSent();
    // The mail was not sent; `reason` is the server's reply or the network error, for the log.
    void SendFailed(const QString& reason);
};

} // namespace kalvo
