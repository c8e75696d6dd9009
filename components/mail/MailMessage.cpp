// Header encoding and MIME layout of the call mail.
#include "MailMessage.h"

#include <QFileInfo>
#include <QLocale>
#include <QTimeZone>
#include <QUuid>

namespace kalvo {

namespace {

// Longest header line we write as plain text; longer ones are folded as encoded words.
constexpr int MaxPlainHeaderLength = 900;
// UTF-8 bytes per encoded word: "=?UTF-8?B?" + base64 of 45 bytes + "?=" is 72 characters.
constexpr int EncodedWordBytes = 45;

bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029;
}

QString withoutControls(const QString& text)
{
    QString result = text;
    for (QChar& c : result) {
        if (isControl(c))
            c = QLatin1Char(' ');
    }
    return result;
}

bool isPrintableAscii(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    }
    return true;
}

// RFC 2047 "B" encoded words, folded onto continuation lines, never splitting a character.
QByteArray encodedWords(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray result;
    qsizetype start = 0;
    while (start < utf8.size()) {
        qsizetype end = std::min(start + EncodedWordBytes, utf8.size());
        // Step back over continuation bytes so a multi-byte character stays in one word.
        while (end < utf8.size() && end > start && (uchar(utf8[end]) & 0xc0) == 0x80)
            --end;
        if (!result.isEmpty())
            result += "\r\n ";
        result += "=?UTF-8?B?" + utf8.mid(start, end - start).toBase64() + "?=";
        start = end;
    }
    return result;
}

QByteArray base64Lines(const QByteArray& data)
{
    const QByteArray encoded = data.toBase64();
    QByteArray result;
    result.reserve(encoded.size() + encoded.size() / 76 * 2 + 2);
    for (qsizetype i = 0; i < encoded.size(); i += 76)
        result += encoded.mid(i, 76) + "\r\n";
    return result;
}

QByteArray rfc5322Date(const QDateTime& date)
{
    const int offset = date.offsetFromUtc() / 60;
    const int absolute = std::abs(offset);
    return QLocale::c().toString(date, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss ")).toLatin1() +
           (offset < 0 ? "-" : "+") + QByteArray::number(absolute / 60).rightJustified(2, '0') +
           QByteArray::number(absolute % 60).rightJustified(2, '0');
}

// The name parameter of the attachment: quoted when plain, RFC 2231 otherwise.
QByteArray fileNameParameters(const QString& fileName)
{
    const QString name = withoutControls(fileName);
    if (isPrintableAscii(name) && !name.contains(QLatin1Char('"')) && !name.contains(QLatin1Char('\\')))
        return "; filename=\"" + name.toLatin1() + "\"";
    return "; filename*=UTF-8''" + name.toUtf8().toPercentEncoding("!#$&+-.^_`|~");
}

} // namespace

MailMessage::MailMessage(const QString& fromAddress, const QString& fromName, const QString& toAddress,
                         const QString& subject)
    : m_fromAddress(fromAddress), m_fromName(fromName), m_toAddress(toAddress), m_subject(subject),
      m_date(QDateTime::currentDateTime())
{
}

void MailMessage::setAttachment(const QString& fileName, const QByteArray& data)
{
    m_hasAttachment = true;
    m_attachmentName = QFileInfo(fileName).fileName();
    m_attachment = data;
}

bool MailMessage::isUsableAddress(const QString& address)
{
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    if (at <= 0 || at != address.lastIndexOf(QLatin1Char('@')) || at == address.size() - 1)
        return false;
    for (QChar c : address) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7f || QStringLiteral("<>()[],;:\\\"").contains(c))
            return false;
    }
    return true;
}

QByteArray MailMessage::headerText(const QString& text)
{
    const QString clean = withoutControls(text);
    if (isPrintableAscii(clean) && clean.size() <= MaxPlainHeaderLength &&
        !clean.contains(QLatin1String("=?")))
        return clean.toLatin1();
    return encodedWords(clean);
}

QByteArray MailMessage::displayName(const QString& name)
{
    const QString clean = withoutControls(name);
    if (isPrintableAscii(clean) && clean.size() <= MaxPlainHeaderLength &&
        !clean.contains(QLatin1String("=?"))) {
        QByteArray quoted = clean.toLatin1();
        quoted.replace('\\', "\\\\").replace('"', "\\\"");
        return '"' + quoted + '"';
    }
    return encodedWords(clean);
}

QByteArray MailMessage::toBytes() const
{
    const QByteArray boundary = "=_kalvo_" + QUuid::createUuid().toByteArray(QUuid::Id128);
    const QByteArray domain = m_fromAddress.section(QLatin1Char('@'), -1).toLatin1();
    const QByteArray from = m_fromAddress.toLatin1();
    const QString fromName = withoutControls(m_fromName).trimmed();

    QByteArray message;
    message +=
        "From: " + (fromName.isEmpty() ? QByteArray() : displayName(fromName) + " ") + "<" + from + ">\r\n";
    message += "To: <" + m_toAddress.toLatin1() + ">\r\n";
    message += "Subject: " + headerText(m_subject) + "\r\n";
    message += "Date: " + rfc5322Date(m_date) + "\r\n";
    message +=
        "Message-ID: <" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + "@" + domain + ">\r\n";
    message += "MIME-Version: 1.0\r\n";
    message += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n";
    message += "\r\n";
    message += "This is a MIME message.\r\n";

    // The design passes no body text; the subject repeated in the text part tells the call at a
    // glance in clients that show only the body.
    const QString text = withoutControls(m_subject) + QStringLiteral("\r\n");
    message += "--" + boundary + "\r\n";
    if (isPrintableAscii(withoutControls(m_subject))) {
        message += "Content-Type: text/plain; charset=us-ascii\r\n";
        message += "Content-Transfer-Encoding: 7bit\r\n\r\n";
        message += text.toLatin1();
    } else {
        message += "Content-Type: text/plain; charset=UTF-8\r\n";
        message += "Content-Transfer-Encoding: base64\r\n\r\n";
        message += base64Lines(text.toUtf8());
    }

    if (m_hasAttachment) {
        const QByteArray parameters = fileNameParameters(m_attachmentName);
        message += "--" + boundary + "\r\n";
        message += "Content-Type: audio/wav\r\n";
        message += "Content-Disposition: attachment" + parameters + "\r\n";
        message += "Content-Transfer-Encoding: base64\r\n\r\n";
        message += base64Lines(m_attachment);
    }
    message += "--" + boundary + "--\r\n";
    return message;
}

} // namespace kalvo
