// The text of one call mail: headers, a short text part and the message file as audio/wav.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace kalvo {

// Builds an RFC 5322 / MIME message with CR LF line ends. Header values never carry CR or LF
// (a caller's name cannot add headers), and text outside ASCII is encoded as RFC 2047 words.
class MailMessage
{
public:
    MailMessage(const QString& fromAddress, const QString& fromName, const QString& toAddress,
                const QString& subject);

    // Attaches `data` as audio/wav under `fileName` (folders are dropped from it).
    void setAttachment(const QString& fileName, const QByteArray& data);
    // Fixes the Date header (the current time by default).
    void setDate(const QDateTime& date) { m_date = date; }

    // The whole message, ready for the DATA command.
    QByteArray toBytes() const;

    // True for an address that can stand in an SMTP envelope and a header as it is: ASCII, one
    // "@" with text on both sides, no spaces, controls or characters that end an address.
    static bool isUsableAddress(const QString& address);
    // A header value: controls (CR and LF among them) become spaces; text outside printable ASCII,
    // or too long for one line, becomes folded RFC 2047 encoded words.
    static QByteArray headerText(const QString& text);
    // A display name: a quoted string when ASCII, RFC 2047 encoded words otherwise.
    static QByteArray displayName(const QString& name);

private:
    QString m_fromAddress;
    QString m_fromName;
    QString m_toAddress;
    QString m_subject;
    QDateTime m_date;
    bool m_hasAttachment = false;
    QString m_attachmentName;
    QByteArray m_attachment;
};

} // namespace kalvo
