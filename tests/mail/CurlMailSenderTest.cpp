// The mail sender against a real SMTP server on 127.0.0.1: delivery with the attachment decoded
// byte for byte, STARTTLS, implicit TLS, authentication, failures and hostile header text.
#include "CurlMailSender.h"
#include "SmtpTestServer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using kalvo::CurlMailSender;
using kalvo::test::SmtpTestServer;

namespace {

constexpr int SendTimeoutMs = 30000;

// Waits for the one final event of a send and tells which it was.
struct Result
{
    bool sent = false;
    QString reason;
};

Result waitForEnd(CurlMailSender& sender)
{
    QSignalSpy sent(&sender, &CurlMailSender::MailSent);
    QSignalSpy failed(&sender, &CurlMailSender::SendFailed);
    if (!QTest::qWaitFor([&] { return sent.count() + failed.count() > 0; }, SendTimeoutMs))
        return Result{false, QStringLiteral("no event within the time-out")};
    if (sent.count() > 0)
        return Result{true, {}};
    const QString reason = failed.first().first().toString();
    qInfo("SendFailed: %s", qPrintable(reason));
    return Result{false, reason};
}

// A call's mail ("New Call From A - 1", from Kalvo to the owner) sent to server; how the send ended.
Result sendCallMail(CurlMailSender& sender, const QString& server, const QString& attachment = QString())
{
    sender.SendMail(server, "kalvo@example.test", "Kalvo", "owner@example.test", "New Call From A - 1",
                    attachment);
    return waitForEnd(sender);
}

// A 127.0.0.1 port that was free a moment ago and has nothing listening now.
int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

} // namespace

class CurlMailSenderTest : public QObject
{
    Q_OBJECT

private:
    // Sends a call's mail as anna through scheme ("smtp" or "smtps") to a server with the test
    // authority's certificate. @return true when it was sent and arrived over TLS.
    bool sentOverTls(SmtpTestServer& server, const char* scheme, const QString& attachment)
    {
        if (!server.isRunning()) {
            qWarning("%s", qPrintable(server.errors()));
            return false;
        }
        CurlMailSender sender;
        sender.setCaFile(m_cert);
        const Result result =
            sendCallMail(sender, QString("%1://anna:s3cret@%2").arg(scheme, server.address()), attachment);
        if (!result.sent)
            qWarning("%s", qPrintable(result.reason));
        return result.sent && server.message(1)["tls"].toBool();
    }

private slots:
    void initTestCase();
    void serverTextBecomesUrl();
    void plainDeliveryWithAttachment();
    void callWithoutMessageSendsWithoutAttachment();
    void startTlsWithAuthentication();
    void wrongPasswordFails();
    void untrustedCertificateFails();
    void loginNeverSentInClear();
    void implicitTls();
    void serverDownFails();
    void serverRefusesFails();
    void hostileNamesCannotAddHeaders();
    void invalidInputFailsWithReason();
    void destroyedWhileSending();

private:
    QString writeAttachment(const QString& name, int size);

    QTemporaryDir m_dir;
    QString m_cert;
    QString m_key;
};

void CurlMailSenderTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_cert = m_dir.filePath("cert.pem");
    m_key = m_dir.filePath("key.pem");
    // A throw-away certificate for 127.0.0.1, valid for a day.
    QProcess openssl;
    openssl.start("openssl",
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", m_key, "-out", m_cert, "-days",
                   "1", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"});
    QVERIFY(openssl.waitForFinished(60000));
    QCOMPARE(openssl.exitCode(), 0);
}

QString CurlMailSenderTest::writeAttachment(const QString& name, int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char(QRandomGenerator::global()->bounded(256));
    // Every byte value, and line ends of both kinds, must survive the encoding.
    for (int i = 0; i < 256 && i < size; ++i)
        data[i] = char(i);
    data.replace(300, 4, "\r\n.\n");
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(data);
    return path;
}

// Host names, host:port and smtp/smtps URLs are accepted; other schemes and stray text are not.
void CurlMailSenderTest::serverTextBecomesUrl()
{
    QCOMPARE(CurlMailSender::smtpUrl("mail.example.test"), QByteArray("smtp://mail.example.test"));
    QCOMPARE(CurlMailSender::smtpUrl(" mail.example.test:587 "), QByteArray("smtp://mail.example.test:587"));
    QCOMPARE(CurlMailSender::smtpUrl("smtp://user:pw@mail.example.test:2525"),
             QByteArray("smtp://user:pw@mail.example.test:2525"));
    QCOMPARE(CurlMailSender::smtpUrl("SMTPS://mail.example.test"), QByteArray("SMTPS://mail.example.test"));
    QVERIFY(CurlMailSender::smtpUrl("").isEmpty());
    QVERIFY(CurlMailSender::smtpUrl("ftp://mail.example.test").isEmpty());
    QVERIFY(CurlMailSender::smtpUrl("mail example").isEmpty());
    QVERIFY(CurlMailSender::smtpUrl("mail.example.test\r\nRCPT").isEmpty());
}

// SendMail returns before anything happens; progress, then MailSent, arrive on this thread; the
// message carries the headers the program promises and the attachment decodes to the same bytes.
void CurlMailSenderTest::plainDeliveryWithAttachment()
{
    SmtpTestServer server;
    QVERIFY2(server.isRunning(), qPrintable(server.errors()));
    const QString path = writeAttachment("12-07-2004_09-41-07.wav", 150000);

    CurlMailSender sender;
    QSignalSpy progress(&sender, &CurlMailSender::SendProgress);
    QThread* eventThread = nullptr;
    connect(&sender, &CurlMailSender::MailSent, this, [&] { eventThread = QThread::currentThread(); });
    sender.SendMail(server.address(), "kalvo@example.test", "Kalvo", "owner@example.test",
                    "New Call From Anna - 5551234", path);
    QCOMPARE(progress.count(), 0);
    const Result result = waitForEnd(sender);
    QVERIFY2(result.sent, qPrintable(result.reason));
    QCOMPARE(eventThread, QThread::currentThread());
    QVERIFY(!progress.isEmpty());
    const QList<QVariant> last = progress.last();
    QVERIFY(last.at(0).toInt() > 200000);
    QCOMPARE(last.at(1).toInt(), last.at(0).toInt());

    const QJsonObject message = server.message(1);
    QCOMPARE(message["mail_from"].toString(), QString("kalvo@example.test"));
    QCOMPARE(message["rcpt_tos"].toArray(), QJsonArray{"owner@example.test"});
    const QJsonObject headers = message["headers"].toObject();
    QCOMPARE(headers["From"].toString(), QString("Kalvo <kalvo@example.test>"));
    QCOMPARE(headers["To"].toString(), QString("owner@example.test"));
    QCOMPARE(headers["Subject"].toString(), QString("New Call From Anna - 5551234"));
    QVERIFY(!headers["Date"].toString().isEmpty());
    QVERIFY(headers["Message-ID"].toString().endsWith("@example.test>"));
    QVERIFY(headers["Content-Type"].toString().startsWith("multipart/mixed"));
    const QJsonArray attachments = message["attachments"].toArray();
    QCOMPARE(attachments.size(), 1);
    const QJsonObject attachment = attachments[0].toObject();
    QCOMPARE(attachment["content_type"].toString(), QString("audio/wav"));
    QCOMPARE(attachment["filename"].toString(), QString("12-07-2004_09-41-07.wav"));
    QFile sentFile(path), receivedFile(attachment["path"].toString());
    QVERIFY(sentFile.open(QIODevice::ReadOnly) && receivedFile.open(QIODevice::ReadOnly));
    QVERIFY(sentFile.readAll() == receivedFile.readAll());
}

// A call without a message passes the messages folder (or a file that is gone): the mail still
// goes, without an attachment.
void CurlMailSenderTest::callWithoutMessageSendsWithoutAttachment()
{
    SmtpTestServer server;
    QVERIFY2(server.isRunning(), qPrintable(server.errors()));
    CurlMailSender sender;
    QVERIFY(sendCallMail(sender, server.address(), m_dir.path() + "/").sent);
    sender.SendMail(server.address(), "kalvo@example.test", "Kalvo", "owner@example.test",
                    "New Call From B - 2", m_dir.filePath("gone.wav"));
    QVERIFY(waitForEnd(sender).sent);
    QCOMPARE(server.messageCount(), 2);
    for (int n = 1; n <= 2; ++n) {
        QCOMPARE(server.message(n)["attachments"].toArray().size(), 0);
        QVERIFY(server.message(n)["texts"].toArray().first().toString().startsWith("New Call From"));
    }
}

// A plain smtp server that offers STARTTLS gets it, and the login of the URL is used over it.
void CurlMailSenderTest::startTlsWithAuthentication()
{
    SmtpTestServer server({"--cert", m_cert, "--key", m_key, "--auth", "anna:s3cret"});
    QVERIFY(sentOverTls(server, "smtp", writeAttachment("tls.wav", 5000)));
    QCOMPARE(server.message(1)["login"].toString(), QString("anna"));
}

// A refused login fails with the server's reply as the reason.
void CurlMailSenderTest::wrongPasswordFails()
{
    SmtpTestServer server({"--cert", m_cert, "--key", m_key, "--auth", "anna:s3cret"});
    QVERIFY2(server.isRunning(), qPrintable(server.errors()));
    CurlMailSender sender;
    sender.setCaFile(m_cert);
    const Result result = sendCallMail(sender, QString("smtp://anna:wrong@%1").arg(server.address()));
    QVERIFY(!result.sent);
    QVERIFY2(result.reason.startsWith("535"), qPrintable(result.reason));
    QCOMPARE(server.messageCount(), 0);
}

// A certificate that does not verify stops the send instead of falling back to plain text.
void CurlMailSenderTest::untrustedCertificateFails()
{
    SmtpTestServer server({"--cert", m_cert, "--key", m_key});
    QVERIFY2(server.isRunning(), qPrintable(server.errors()));
    CurlMailSender sender;
    const Result result = sendCallMail(sender, server.address());
    QVERIFY(!result.sent);
    QVERIFY(!result.reason.isEmpty());
    QCOMPARE(server.messageCount(), 0);
}

// A server without STARTTLS never sees the password of the URL: the send fails instead.
void CurlMailSenderTest::loginNeverSentInClear()
{
    SmtpTestServer server({"--auth", "anna:s3cret"});
    QVERIFY2(server.isRunning(), qPrintable(server.errors()));
    CurlMailSender sender;
    const Result result = sendCallMail(sender, QString("smtp://anna:s3cret@%1").arg(server.address()));
    QVERIFY(!result.sent);
    QVERIFY2(!result.reason.isEmpty(), "a reason is given");
    QCOMPARE(server.messageCount(), 0);
}

// smtps:// speaks TLS from the first byte.
void CurlMailSenderTest::implicitTls()
{
    SmtpTestServer server({"--cert", m_cert, "--key", m_key, "--implicit-tls", "--auth", "anna:s3cret"});
    QVERIFY(sentOverTls(server, "smtps", writeAttachment("smtps.wav", 3000)));
}

// Nothing listening: SendFailed with the connection error.
void CurlMailSenderTest::serverDownFails()
{
    const int port = closedPort();
    QVERIFY(port > 0);
    CurlMailSender sender;
    const Result result = sendCallMail(sender, QString("127.0.0.1:%1").arg(port));
    QVERIFY(!result.sent);
    QVERIFY2(result.reason.contains("connect", Qt::CaseInsensitive), qPrintable(result.reason));
}

// A server that refuses the recipient: the reason is its reply.
void CurlMailSenderTest::serverRefusesFails()
{
    SmtpTestServer server({"--refuse"});
    QVERIFY2(server.isRunning(), qPrintable(server.errors()));
    CurlMailSender sender;
    const Result result = sendCallMail(sender, server.address(), writeAttachment("refused.wav", 1000));
    QVERIFY(!result.sent);
    QCOMPARE(result.reason, QString("550 5.1.1 Mailbox unavailable"));
}

// A caller name with CR LF stays inside the Subject and cannot add headers or recipients; text
// outside ASCII arrives intact through RFC 2047.
void CurlMailSenderTest::hostileNamesCannotAddHeaders()
{
    SmtpTestServer server;
    QVERIFY2(server.isRunning(), qPrintable(server.errors()));
    CurlMailSender sender;
    const QString hostile =
        "New Call From Eve\r\nBcc: victim@example.test\r\nX-Injected: yes\r\n\r\nbody - 1";
    sender.SendMail(server.address(), "kalvo@example.test", "Kal\"vo\r\nX-Evil: 1", "owner@example.test",
                    hostile, QString());
    QVERIFY(waitForEnd(sender).sent);
    const QString accented =
        QString::fromUtf8("New Call From Jörg Ñúñez – 東京 ") + QString(60, QChar('x')) + " - 12";
    sender.SendMail(server.address(), "kalvo@example.test", QString::fromUtf8("Kälvo"), "owner@example.test",
                    accented, QString());
    QVERIFY(waitForEnd(sender).sent);

    const QJsonObject first = server.message(1);
    QCOMPARE(first["rcpt_tos"].toArray(), QJsonArray{"owner@example.test"});
    const QJsonArray names = first["header_names"].toArray();
    for (const QJsonValue& name : names)
        QVERIFY2(!name.toString().contains("Bcc") && !name.toString().startsWith("X-"),
                 qPrintable(name.toString()));
    const QJsonObject headers = first["headers"].toObject();
    QVERIFY(headers["Subject"].toString().contains("Bcc: victim@example.test"));
    QCOMPARE(headers["From"].toString(), QString("\"Kal\\\"vo  X-Evil: 1\" <kalvo@example.test>"));

    const QJsonObject second = server.message(2)["headers"].toObject();
    QCOMPARE(second["Subject"].toString(), accented);
    QCOMPARE(second["From"].toString(), QString::fromUtf8("Kälvo <kalvo@example.test>"));
}

// Unusable server texts and addresses fail with a reason, asynchronously like every send.
void CurlMailSenderTest::invalidInputFailsWithReason()
{
    CurlMailSender sender;
    QSignalSpy failed(&sender, &CurlMailSender::SendFailed);
    sender.SendMail("", "kalvo@example.test", "Kalvo", "owner@example.test", "s", QString());
    sender.SendMail("127.0.0.1:25", "kalvo@example.test", "Kalvo", "owner@example.test>\r\nRCPT TO:<x@y>",
                    "s", QString());
    sender.SendMail("127.0.0.1:25", "no-at-sign", "Kalvo", "owner@example.test", "s", QString());
    QCOMPARE(failed.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 3, SendTimeoutMs);
    QVERIFY(failed[0].first().toString().contains("server"));
    QVERIFY(failed[1].first().toString().contains("recipient"));
    QVERIFY(failed[2].first().toString().contains("sender"));
}

// Destroying the sender in the middle of a send neither crashes nor delivers late events.
void CurlMailSenderTest::destroyedWhileSending()
{
    SmtpTestServer server;
    QVERIFY2(server.isRunning(), qPrintable(server.errors()));
    const QString path = writeAttachment("big.wav", 4000000);
    int events = 0;
    {
        CurlMailSender sender;
        connect(&sender, &CurlMailSender::SendProgress, this, [&] { ++events; });
        sender.SendMail(server.address(), "kalvo@example.test", "Kalvo", "owner@example.test", "s", path);
        QTest::qWait(20);
    }
    const int before = events;
    QTest::qWait(200);
    QCOMPARE(events, before);
}

QTEST_GUILESS_MAIN(CurlMailSenderTest)
#include "CurlMailSenderTest.moc"
