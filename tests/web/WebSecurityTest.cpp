// The web page over real HTTPS on loopback, with a real call database: what a browser without a
// session, a forged form, a password guesser, a path trick or an oversized request gets; what the
// calls interface returns (a compressed message as plain PCM, ranges, marks, deletes, rules); that
// a flood of slow connections does not keep the owner out; and where it listens for each
// "WebAccess" value.
#include "CallRecords.h"
#include "CallerRuleStore.h"
#include "Clock.h"
#include "ErrorTrap.h"
#include "MessageStore.h"
#include "SqliteCallDatabase.h"
#include "TestSupport.h"
#include "WebAccess.h"
#include "WebCalls.h"
#include "WebClient.h"
#include "WebConnection.h"
#include "WebListener.h"
#include "WebLockout.h"
#include "WebPassword.h"
#include "WebServer.h"
#include "mdlLog.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <vector>

#include <sndfile.h>
#include <sys/stat.h>

using kalvo::test::WebClient;
using kalvo::test::WebResponse;

namespace {
const QByteArray kPassword = "kitchen-garden-7";

// A 0.5 s message at 8 kHz in mu-law, as "CompressMessages" stores it: a ramp, so bytes can be told apart.
void writeMuLaw(const QString& path)
{
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_ULAW;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    QVERIFY(file);
    std::vector<short> samples(4000);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = short((int(i) % 200 - 100) * 200);
    sf_writef_short(file, samples.data(), sf_count_t(samples.size()));
    sf_close(file);
}

// A program folder with a call database of three calls (the newest without a message), a password
// and the web page running as access says.
struct Page
{
    kalvo::test::IsolatedHome home;
    QString folder = home.programFolder();
    FixedClock clock{QDateTime::currentDateTime()};
    kalvo::SqliteCallDatabase db;
    QString messagesSetting = folder + "/Messages/";
    mdlLog log{folder + "/Log/", clock};
    MessageStore store{db, messagesSetting, log};
    WebAccess web{store, log, folder};

    explicit Page(int access = 1)
    {
        log.setSystemSwitch(1);
        QDir().mkpath(folder + "/Log");
        QDir().mkpath(folder + "/Messages");
        QDir().mkpath(folder + "/Calls");
        db.Open(folder + "/Calls");
        for (const char* file : {"a.wav", "b.wav"}) {
            kalvo::test::CallRecord call;
            call.name = QString("Caller ") + file[0];
            call.number = QString("+4930555000") + char('1' + (file[0] - 'a'));
            call.message = file;
            call.type = "0.5";
            kalvo::test::appendCall(db, call);
            writeMuLaw(folder + "/Messages/" + file);
        }
        kalvo::test::CallRecord withheld = kalvo::test::shortCall(QString());
        withheld.name = "Private";
        withheld.number = "UNKNOWN";
        kalvo::test::appendCall(db, withheld);
        store.readAll([](qint64, const MessageStore::Texts&) {},
                      ErrorTrap("ErrList ", [](const QString&) {}));
        if (access) {
            QCOMPARE(WebPassword::store(WebAccess::webFolder(folder), kPassword), QString());
            QCOMPARE(web.apply({access, 0}, clock), QString());
        }
    }
    QList<QSslCertificate> certificate() const
    {
        return QSslCertificate::fromPath(WebAccess::webFolder(folder) + "/cert.pem");
    }
    WebClient client(QHostAddress to = QHostAddress::LocalHost, QHostAddress from = {}) const
    {
        return WebClient(web.port(), certificate(), std::move(to), std::move(from));
    }
    QStringList sysLog() const
    {
        QStringList lines;
        for (const QFileInfo& file : QDir(folder + "/Log").entryInfoList({"*Sys*"}, QDir::Files)) {
            QFile f(file.filePath());
            f.open(QIODevice::ReadOnly);
            lines += QString::fromUtf8(f.readAll()).split('\n');
        }
        return lines;
    }
};

QJsonObject jsonOf(const WebResponse& response)
{
    return QJsonDocument::fromJson(response.body).object();
}

// Connections that never finish a request: silent ones that leave the TLS handshake unanswered,
// and tricklers that finish it and then send a request head one byte at a time, never ending it.
struct SlowFlood
{
    std::vector<std::unique_ptr<QSslSocket>> sockets;
    QTimer trickle;

    SlowFlood() { trickle.start(200); }
    void add(quint16 port, const QHostAddress& from, bool trickles, const QList<QSslCertificate>& certificate)
    {
        auto& socket = *sockets.emplace_back(std::make_unique<QSslSocket>());
        socket.bind(from);
        if (!trickles) {
            socket.connectToHost(QHostAddress::LocalHost, port);
            return;
        }
        QSslConfiguration config = socket.sslConfiguration();
        config.setCaCertificates(certificate);
        socket.setSslConfiguration(config);
        socket.setPeerVerifyName(QStringLiteral("localhost"));
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
        QObject::connect(&trickle, &QTimer::timeout, &socket, [&socket, sent = 0]() mutable {
            static const QByteArray head = "GET /api/calls HTTP/1.1\r\nHost: localhost\r\nX-Slow: ";
            if (socket.isEncrypted())
                socket.write(sent < head.size() ? head.mid(sent++, 1) : QByteArray("a"));
        });
    }
    int open() const
    {
        return int(std::count_if(sockets.begin(), sockets.end(), [](const auto& socket) {
            return socket->state() == QAbstractSocket::ConnectedState;
        }));
    }
};
} // namespace

class WebSecurityTest : public QObject
{
    Q_OBJECT

private slots:
    // Without a session the interface answers 401 and gives nothing away; the page itself is
    // served with a strict content policy; a session ends after 12 hours without use.
    void noSessionNoCalls()
    {
        Page page;
        WebClient client = page.client();
        for (const char* path : {"/api/calls", "/api/calls/1/audio", "/api/events", "/api/session"})
            QCOMPARE(client.request("GET", path).status, 401);
        QCOMPARE(client.request("DELETE", "/api/calls/1").status, 401);
        QVERIFY(page.store.call(1));
        const WebResponse index = client.request("GET", "/");
        QCOMPARE(index.status, 200);
        QVERIFY(index.header("content-security-policy").contains("default-src 'none'"));
        QVERIFY(index.header("content-security-policy").contains("script-src 'self'"));
        QVERIFY(index.body.contains("/app.js"));

        QCOMPARE(client.login(kPassword).status, 200);
        const QByteArray cookie = WebClient(client).login(kPassword).header("set-cookie");
        for (const char* flag : {"HttpOnly", "Secure", "SameSite=Strict"})
            QVERIFY2(cookie.contains(flag), cookie.constData());
        QCOMPARE(client.request("GET", "/api/calls").status, 200);
        page.clock.set(page.clock.now().addSecs(WebSessions::kIdleSeconds + 60));
        QCOMPARE(client.request("GET", "/api/calls").status, 401);
    }

    // A change needs the session's own CSRF token: none or a forged one is refused and changes nothing.
    void forgedCsrfRefused()
    {
        Page page;
        WebClient client = page.client();
        QCOMPARE(client.login(kPassword).status, 200);
        QVERIFY(!client.csrf().isEmpty());
        QCOMPARE(client.request("POST", "/api/calls/1/read").status, 403);
        QByteArray forged = client.csrf();
        forged[0] = forged[0] == 'A' ? 'B' : 'A';
        QCOMPARE(client.request("POST", "/api/calls/1/read", {"X-CSRF-Token: " + forged}).status, 403);
        QCOMPARE(client.request("DELETE", "/api/calls/1", {"X-CSRF-Token: " + forged}).status, 403);
        QCOMPARE(
            client.request("POST", "/api/rules", {"X-CSRF-Token: " + forged}, R"({"call":1,"kind":"block"})")
                .status,
            403);
        QVERIFY(!page.store.call(1)->isRead());
        QVERIFY(page.store.call(1));
        QCOMPARE(client.request("POST", "/api/calls/1/read", {"X-CSRF-Token: " + client.csrf()}).status, 200);
        QVERIFY(page.store.call(1)->isRead());
    }

    // Five wrong passwords from one address lock it out for 15 minutes, the right password
    // included, also after a restart; another address still gets in; the log says so, without
    // the password.
    void wrongPasswordsLockOut()
    {
        Page page(2);
        WebClient guesser = page.client();
        for (int i = 0; i < WebLockout::kWrongPerAddress; ++i)
            QCOMPARE(guesser.login("wrong-password-" + QByteArray::number(i)).status, 401);
        QCOMPARE(guesser.login(kPassword).status, 429);
        QVERIFY(guesser.cookie().isEmpty());
        QCOMPARE(page.web.apply({2, 0}, page.clock), QString()); // a restart keeps the lockout
        QCOMPARE(page.client().login(kPassword).status, 429);
        WebClient owner = page.client(QHostAddress("127.0.0.2"), QHostAddress("127.0.0.2"));
        QCOMPARE(owner.login(kPassword).status, 200);
        const QStringList log = page.sysLog();
        QCOMPARE(log.filter("Web login refused from 127.0.0.1").size(), WebLockout::kWrongPerAddress);
        QCOMPARE(log.filter("Web page locked for 127.0.0.1").size(), 1);
        QCOMPARE(log.filter("Web login from 127.0.0.2").size(), 1);
        QVERIFY(log.filter("wrong-password").isEmpty() &&
                log.filter(QString::fromLatin1(kPassword)).isEmpty());
        page.clock.set(page.clock.now().addSecs(WebLockout::kLockSeconds + 1));
        QCOMPARE(page.client().login(kPassword).status, 200);
    }

    // Messages only by id: dot segments, encoded ones, absolute paths and names of real files
    // are not found, whether logged in or not.
    void pathsOutsideThePageNotFound()
    {
        Page page;
        WebClient client = page.client();
        QCOMPARE(client.login(kPassword).status, 200);
        for (const char* path : {"/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "//etc/passwd",
                                 "/etc/passwd", "/index.html/../app.js", "/api/calls/..%2f1/audio",
                                 "/api/calls/1/../../../Messages/a.wav/audio", "/Messages/a.wav",
                                 "/api/calls/-1/audio", "/api/calls/1/audio/x", "/api/calls/99/audio",
                                 "/web/app.js", "/:/web/app.js", "/app.js%00.wav", "/Web/key.pem"})
            QCOMPARE(QByteArray(path) + " " + QByteArray::number(client.request("GET", path).status),
                     QByteArray(path) + " 404");
    }

    // Requests past the limits are answered at once and the connection closed: a large body
    // (announced or sent) 413, a large head 431; a real client still gets through afterwards.
    void oversizedRequestsRefused()
    {
        Page page;
        WebClient client = page.client();
        const QByteArray big(64 * 1024, 'x');
        QCOMPARE(client
                     .request("POST", "/login", {"Content-Type: application/x-www-form-urlencoded"},
                              "password=" + big)
                     .status,
                 413);
        QCOMPARE(client.raw("POST /login HTTP/1.1\r\nHost: x\r\nContent-Length: 99999999\r\n\r\n").status,
                 413);
        QCOMPARE(client.request("GET", "/", {"X-Filler: " + big}).status, 431);
        QCOMPARE(client.login(kPassword).status, 200);
    }

    // The calls newest first with their fields and paging; a compressed message served as
    // 16-bit PCM with byte ranges; read marks, deleting and a block rule reach the store.
    void callsInterface()
    {
        Page page;
        WebClient client = page.client();
        QCOMPARE(client.login(kPassword).status, 200);
        const QJsonObject list = jsonOf(client.request("GET", "/api/calls?limit=2"));
        QCOMPARE(list["total"].toInt(), 3);
        const QJsonArray calls = list["calls"].toArray();
        QCOMPARE(calls.size(), 2);
        QCOMPARE(calls[0]["id"].toInteger(), 3);
        QCOMPARE(calls[0]["hasMessage"].toBool(), false);
        QCOMPARE(calls[1]["name"].toString(), QString("Caller b"));
        QCOMPARE(calls[1]["length"].toString(), QString("0.5"));
        QCOMPARE(calls[1]["read"].toBool(), false);
        const QJsonArray older =
            jsonOf(client.request("GET", "/api/calls?before=2&limit=5"))["calls"].toArray();
        QCOMPARE(older.size(), 1);
        QCOMPARE(older[0]["number"].toString(), QString("+49305550001"));
        QCOMPARE(client.request("GET", "/api/calls?limit=0").status, 400);

        const WebResponse whole = client.request("GET", "/api/calls/1/audio");
        QCOMPARE(whole.status, 200);
        QCOMPARE(whole.header("content-type"), QByteArray("audio/wav"));
        QCOMPARE(whole.body.size(), 44 + 4000 * 2);
        QCOMPARE(whole.body.mid(20, 2), QByteArray("\x01\x00", 2)); // PCM
        QCOMPARE(whole.body.mid(34, 2), QByteArray("\x10\x00", 2)); // 16 bits
        const WebResponse part = client.request("GET", "/api/calls/1/audio", {"Range: bytes=100-199"});
        QCOMPARE(part.status, 206);
        QCOMPARE(part.header("content-range"), QByteArray("bytes 100-199/8044"));
        QCOMPARE(part.body, whole.body.mid(100, 100));
        QCOMPARE(client.request("GET", "/api/calls/1/audio", {"Range: bytes=-44"}).body,
                 whole.body.right(44));
        QCOMPARE(client.request("GET", "/api/calls/1/audio", {"Range: bytes=9000-"}).status, 416);
        QCOMPARE(client.request("GET", "/api/calls/3/audio").status, 404);

        const QByteArray token = "X-CSRF-Token: " + client.csrf();
        QCOMPARE(client.request("POST", "/api/calls/2/read", {token}).status, 200);
        QVERIFY(page.store.call(2)->isRead());
        QCOMPARE(client.request("POST", "/api/calls/2/unread", {token}).status, 200);
        QVERIFY(!page.store.call(2)->isRead());
        QCOMPARE(client
                     .request("POST", "/api/rules", {token, "Content-Type: application/json"},
                              R"({"call":2,"kind":"block"})")
                     .status,
                 200);
        kalvo::CallerRuleStore rules;
        QVERIFY(rules.open(page.folder + "/Calls"));
        QCOMPARE(int(rules.rules().size()), 1);
        QCOMPARE(rules.rules()[0].number, QString("+49305550002"));
        QCOMPARE(client
                     .request("POST", "/api/rules", {token, "Content-Type: application/json"},
                              R"({"call":3,"kind":"block"})")
                     .status,
                 200);
        QCOMPARE(rules.rules().back().number, QString("withheld")); // not the stored "UNKNOWN"
        QCOMPARE(client.request("POST", "/api/rules", {token}, R"({"number":"","kind":"maybe"})").status,
                 400);
        QCOMPARE(client.request("DELETE", "/api/calls/1", {token}).status, 204);
        QVERIFY(!page.store.call(1));
        QVERIFY(!QFile::exists(page.folder + "/Messages/a.wav"));
    }

    // 200 slow connections from ten addresses (half never finishing the handshake, half trickling
    // a head) and 200 from one address (of which the page keeps only its share) do not keep the
    // owner from logging in and listing the calls while they last; the page closes them all at
    // its request deadline, and the flooding address is served again afterwards.
    void slowConnectionsDoNotKeepTheOwnerOut()
    {
        Page page;
        const QHostAddress flooder("127.0.0.3");
        SlowFlood flood;
        for (int i = 0; i < 200; ++i) {
            flood.add(page.web.port(), QHostAddress(quint32(0x7f00000a + i % 10)), i % 2, page.certificate());
            flood.add(page.web.port(), flooder, false, {});
        }
        QVERIFY(kalvo::test::waitUntil([&] { return flood.open() == 200 + WebListener::kPerAddress; }, 8000));
        QVERIFY(kalvo::test::waitUntil([&] {
            return std::count_if(flood.sockets.begin(), flood.sockets.end(),
                                 [](const auto& socket) { return socket->isEncrypted(); }) == 100;
        }));

        WebClient owner = page.client(QHostAddress::LocalHost, QHostAddress("127.0.0.2"));
        QCOMPARE(owner.login(kPassword).status, 200);
        QCOMPARE(jsonOf(owner.request("GET", "/api/calls"))["total"].toInt(), 3);
        QCOMPARE(flood.open(), 200 + WebListener::kPerAddress); // served while the flood went on

        QVERIFY(kalvo::test::waitUntil([&] { return flood.open() == 0; }, WebConnection::kRequestMs + 5000));
        QCOMPARE(page.client(QHostAddress::LocalHost, flooder).request("GET", "/").status, 200);
    }

    // Off listens nowhere, and so does a page without a password; 1 only on 127.0.0.1; 2 on
    // every address. The key made at first use is owner-only.
    void listensWhereTheSettingSays()
    {
        Page off(0);
        QCOMPARE(off.web.port(), quint16(0));
        QVERIFY(!off.web.apply({1, 0}, off.clock).isEmpty()); // no password yet
        QCOMPARE(off.web.port(), quint16(0));

        Page local(1);
        QTcpSocket other;
        other.connectToHost(QHostAddress("127.0.0.2"), local.web.port());
        QVERIFY(!other.waitForConnected(3000));
        QCOMPARE(local.client().request("GET", "/").status, 200);
        struct stat info
        {
        };
        QCOMPARE(
            ::stat(QFile::encodeName(WebAccess::webFolder(local.folder) + "/key.pem").constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);

        Page home(2);
        QCOMPARE(home.client(QHostAddress("127.0.0.2")).request("GET", "/").status, 200);
    }
};

QTEST_GUILESS_MAIN(WebSecurityTest)
#include "WebSecurityTest.moc"
