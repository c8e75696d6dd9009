// Prints what the web page costs with 100,000 stored calls in a real call database, served from a
// process of its own as the program serves it (WebAccess on 127.0.0.1) and asked over real HTTPS:
// the first byte of the list (the interface's default page and the page's own first request), the
// first byte of a message (plain PCM and mu-law, converted on the fly), and the memory the server
// gains for 100 logged-in sessions each holding the event stream open, with the time it takes every
// one of them to hear of a new call.
#include "BenchSupport.h"
#include "CallRecords.h"
#include "Clock.h"
#include "ErrorTrap.h"
#include "MessageStore.h"
#include "SqliteCallDatabase.h"
#include "TestSupport.h"
#include "WebAccess.h"
#include "WebClient.h"
#include "WebPassword.h"
#include "mdlLog.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr int kCalls = 100000;
constexpr int kSessions = 100;
constexpr int kPerAddress = 20; // below the page's limit of connections per address
constexpr int kAnnouncements = 20;
constexpr int kRounds = 50;
constexpr int kMessageSeconds = 120;
constexpr qint64 kPlainId = kCalls / 2, kCompressedId = kCalls / 2 + 2;
const QByteArray kPassword = "kitchen-garden-7";

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double worst(const std::vector<double>& values)
{
    return *std::max_element(values.begin(), values.end());
}

// Runs the event loop until done holds or ms pass.
bool waitFor(const std::function<bool()>& done, int ms = 30000)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return done();
}

void writeMessage(const QString& path, int format)
{
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | format;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    std::vector<short> samples(size_t(8000 * kMessageSeconds));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = short((int(i) % 200 - 100) * 200);
    sf_writef_short(file, samples.data(), sf_count_t(samples.size()));
    sf_close(file);
}

// The serving process: the program's store and web page over the seeded database. Each byte on
// control adds a call and announces it; end of file stops.
int serve(const QString& folder, int portOut, int control)
{
    int argc = 1;
    char name[] = "web_bench_server";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    kalvo::SqliteCallDatabase db;
    db.Open(folder + "/Calls");
    const QString messages = folder + "/Messages/";
    mdlLog log(folder + "/Log/");
    MessageStore store(db, messages, log);
    const ErrorTrap trap("ErrList ",
                         [](const QString& line) { std::fprintf(stderr, "%s\n", qPrintable(line)); });
    store.readAll([](qint64, const MessageStore::Texts&) {}, trap);
    WebPassword::store(WebAccess::webFolder(folder), kPassword);
    WebAccess web(store, log, folder);
    const QString why = web.apply({1, 0}, Clock::system());
    if (!why.isEmpty())
        std::fprintf(stderr, "web page: %s\n", qPrintable(why));
    const quint16 port = web.port();
    if (::write(portOut, &port, sizeof port) != sizeof port)
        return 1;
    QSocketNotifier notifier(control, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        char byte = 0;
        if (::read(control, &byte, 1) != 1) {
            app.quit();
            return;
        }
        kalvo::test::appendCall(db, kalvo::test::shortCall(QString()));
        store.takeNewest(trap);
    });
    return app.exec();
}

// One kept-alive HTTPS connection to the page.
class Connection
{
public:
    Connection(quint16 port, const QList<QSslCertificate>& certificate, const QHostAddress& from = {})
        : m_port(port)
    {
        QSslConfiguration config = m_socket.sslConfiguration();
        config.setCaCertificates(certificate);
        m_socket.setSslConfiguration(config);
        m_socket.setPeerVerifyName(QStringLiteral("localhost"));
        if (!from.isNull())
            m_socket.bind(from);
        QObject::connect(&m_socket, &QSslSocket::readyRead, [this] {
            if (m_received.isEmpty() && m_asked.isValid())
                m_firstByteMs = m_asked.nsecsElapsed() / 1e6;
            m_received += m_socket.readAll();
        });
    }
    // Connects and finishes the handshake. @return the milliseconds it took, < 0 on failure.
    double open()
    {
        QElapsedTimer timer;
        timer.start();
        m_socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), m_port);
        if (!waitFor([this] {
                return m_socket.isEncrypted() || m_socket.state() == QAbstractSocket::UnconnectedState;
            }) ||
            !m_socket.isEncrypted())
            return -1;
        return timer.nsecsElapsed() / 1e6;
    }
    // Sends request and waits for the whole answer. @return the milliseconds to its first byte, < 0
    // when none came; status gets the answer's status, bodyBytes its body's size.
    double ask(const QByteArray& request, int* status = nullptr, qint64* bodyBytes = nullptr)
    {
        m_received.clear();
        m_firstByteMs = -1;
        m_asked.start();
        m_socket.write(request);
        qsizetype end = -1;
        qint64 length = 0;
        waitFor([&] {
            if (end < 0 && (end = m_received.indexOf("\r\n\r\n")) >= 0) {
                const QByteArray head = m_received.left(end).toLower();
                const qsizetype at = head.indexOf("content-length:");
                length =
                    at < 0 ? 0 : head.mid(at + 15, head.indexOf("\r", at) - at - 15).trimmed().toLongLong();
            }
            return (end >= 0 && m_received.size() - end - 4 >= length) ||
                   m_socket.state() == QAbstractSocket::UnconnectedState;
        });
        if (status)
            *status = m_received.mid(9, 3).toInt();
        if (bodyBytes)
            *bodyBytes = m_received.size() - end - 4;
        return m_firstByteMs;
    }
    QSslSocket& socket() { return m_socket; }
    QByteArray& received() { return m_received; }

private:
    quint16 m_port;
    QSslSocket m_socket;
    QByteArray m_received;
    QElapsedTimer m_asked;
    double m_firstByteMs = -1;
};

QByteArray get(const QByteArray& path, const QByteArray& cookie, const QByteArray& extra = {})
{
    return "GET " + path + " HTTP/1.1\r\nHost: localhost\r\nCookie: kalvo_session=" + cookie + "\r\n" +
           extra + "\r\n";
}

void firstByteOfTheList(quint16 port, const QList<QSslCertificate>& certificate, const QByteArray& cookie)
{
    std::printf("\nfirst byte of the list, %d stored calls, %d requests each on a kept-alive connection\n",
                kCalls, kRounds);
    std::printf("%-40s %10s %10s %8s\n", "request", "median ms", "worst ms", "status");
    Connection connection(port, certificate);
    std::vector<double> handshakes;
    for (int i = 0; i < 10; ++i) {
        Connection fresh(port, certificate);
        handshakes.push_back(fresh.open());
    }
    connection.open();
    for (const char* path :
         {"/api/calls", "/api/calls?limit=50", "/api/calls?limit=50&before=50001", "/api/calls?limit=500"}) {
        std::vector<double> times;
        int status = 0;
        for (int round = 0; round < kRounds + 3; ++round) {
            const double ms = connection.ask(get(path, cookie), &status);
            if (round >= 3) // the first ones warm the caches
                times.push_back(ms);
        }
        std::printf("%-40s %10.2f %10.2f %8d\n", path, median(times), worst(times), status);
    }
    std::printf("%-40s %10.2f %10.2f\n", "(TLS handshake of a new connection)", median(handshakes),
                worst(handshakes));
}

void firstByteOfAMessage(quint16 port, const QList<QSslCertificate>& certificate, const QByteArray& cookie)
{
    std::printf("\nfirst byte of a %d s message, asked alternately so each is converted afresh, %d each\n",
                kMessageSeconds, kRounds / 2);
    std::printf("%-40s %10s %10s %8s %10s\n", "request", "median ms", "worst ms", "status", "body KB");
    Connection connection(port, certificate);
    connection.open();
    const QByteArray plain = "/api/calls/" + QByteArray::number(kPlainId) + "/audio";
    const QByteArray compressed = "/api/calls/" + QByteArray::number(kCompressedId) + "/audio";
    std::vector<double> times[3];
    int status[3] = {};
    qint64 bytes[3] = {};
    for (int round = 0; round < kRounds / 2 + 1; ++round) {
        const double a = connection.ask(get(plain, cookie), &status[0], &bytes[0]);
        const double b = connection.ask(get(compressed, cookie), &status[1], &bytes[1]);
        // The browser's follow-up range request for the message just converted.
        const double c =
            connection.ask(get(compressed, cookie, "Range: bytes=1000000-\r\n"), &status[2], &bytes[2]);
        if (round == 0)
            continue;
        times[0].push_back(a);
        times[1].push_back(b);
        times[2].push_back(c);
    }
    const char* names[] = {"plain PCM (16-bit)", "compressed (mu-law)", "compressed, range follow-up"};
    for (int i = 0; i < 3; ++i)
        std::printf("%-40s %10.2f %10.2f %8d %10lld\n", names[i], median(times[i]), worst(times[i]),
                    status[i], bytes[i] / 1024);
}

// An event stream of one session, counting the announcements of calls it hears.
struct Stream
{
    std::unique_ptr<Connection> connection;
    bool open = false;
    int heard = 0;
};

void manySessions(quint16 port, const QList<QSslCertificate>& certificate, pid_t server, int control)
{
    const std::string status = kalvo::bench::procFile(server, "status");
    const long idle = kalvo::bench::rssKb(status);
    std::vector<QByteArray> cookies;
    for (int i = 0; i < kSessions; ++i) {
        kalvo::test::WebClient client(port, certificate);
        client.login(kPassword);
        cookies.push_back(client.cookie());
    }
    const long loggedIn = kalvo::bench::rssKb(status);
    std::vector<Stream> streams(kSessions);
    for (int i = 0; i < kSessions; ++i) {
        Stream& stream = streams[size_t(i)];
        // Several loopback addresses, as many browsers at home would be.
        stream.connection = std::make_unique<Connection>(port, certificate,
                                                         QHostAddress(quint32(0x7f000002 + i / kPerAddress)));
        Connection& connection = *stream.connection;
        QObject::connect(&connection.socket(), &QSslSocket::readyRead, [&stream] {
            QByteArray& received = stream.connection->received();
            if (!stream.open) {
                const qsizetype end = received.indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                stream.open = received.startsWith("HTTP/1.1 200");
                received.remove(0, end + 4);
            }
            for (qsizetype end; (end = received.indexOf("\n\n")) >= 0; received.remove(0, end + 2))
                if (received.startsWith("event: calls"))
                    ++stream.heard;
        });
        connection.open();
        connection.socket().write(get("/api/events", cookies[size_t(i)]));
    }
    waitFor(
        [&] { return std::all_of(streams.begin(), streams.end(), [](const Stream& s) { return s.open; }); },
        5000);
    const int open =
        int(std::count_if(streams.begin(), streams.end(), [](const Stream& s) { return s.open; }));
    const long streaming = kalvo::bench::rssKb(status);
    std::vector<double> fanOut;
    int everyone = 0;
    for (int k = 1; k <= kAnnouncements; ++k) {
        QElapsedTimer timer;
        timer.start();
        const char byte = 1;
        if (::write(control, &byte, 1) != 1)
            break;
        const bool all = waitFor(
            [&] {
                return std::all_of(streams.begin(), streams.end(),
                                   [&](const Stream& s) { return !s.open || s.heard >= k; });
            },
            10000);
        fanOut.push_back(timer.nsecsElapsed() / 1e6);
        everyone += all && open == kSessions ? 1 : 0;
    }
    const long after = kalvo::bench::rssKb(status);
    std::printf(
        "\n%d sessions holding GET /api/events open (from %d loopback addresses), %d new calls announced\n",
        kSessions, (kSessions + kPerAddress - 1) / kPerAddress, kAnnouncements);
    std::printf("streams open: %d of %d; announcements every session heard: %d of %d\n", open, kSessions,
                everyone, kAnnouncements);
    std::printf("server RSS: idle %.1f MB, +%.1f MB after %d logins, +%.1f MB with the streams open "
                "(%.1f KB each), +%.1f MB after the announcements\n",
                idle / 1024.0, (loggedIn - idle) / 1024.0, kSessions, (streaming - loggedIn) / 1024.0,
                double(streaming - loggedIn) / kSessions, (after - streaming) / 1024.0);
    // The first announcement is also the server's first write to the database: shown apart.
    const double first = fanOut.front();
    fanOut.erase(fanOut.begin());
    std::printf("fan-out to every stream (write to the server until the last client has the event): "
                "first %.2f ms, then median %.2f ms, worst %.2f ms\n",
                first, median(fanOut), worst(fanOut));
}
} // namespace

int main(int argc, char** argv)
{
    kalvo::test::IsolatedHome home;
    const QString folder = home.programFolder();
    for (const char* sub : {"/Log", "/Messages", "/Calls"})
        QDir().mkpath(folder + sub);
    // Every second call has a message; two of them have their files, one plain and one compressed.
    kalvo::bench::seedCalls(
        folder + "/Calls", kCalls, "CASE WHEN ?1 % 2 THEN '' ELSE 'm' || ?1 || '.wav' END",
        "CASE WHEN ?1 % 2 THEN '-1' ELSE '120' END", "CASE WHEN ?1 % 3 THEN '1' ELSE '0' END");
    writeMessage(folder + "/Messages/m" + QString::number(kPlainId) + ".wav", SF_FORMAT_PCM_16);
    writeMessage(folder + "/Messages/m" + QString::number(kCompressedId) + ".wav", SF_FORMAT_ULAW);

    int portPipe[2], controlPipe[2];
    if (::pipe(portPipe) != 0 || ::pipe(controlPipe) != 0)
        return 1;
    const pid_t server = ::fork();
    if (server == 0) {
        ::close(portPipe[0]);
        ::close(controlPipe[1]);
        ::_exit(serve(folder, portPipe[1], controlPipe[0]));
    }
    ::close(portPipe[1]);
    ::close(controlPipe[0]);
    QCoreApplication app(argc, argv);
    quint16 port = 0;
    if (::read(portPipe[0], &port, sizeof port) != sizeof port || port == 0) {
        std::fprintf(stderr, "the web page did not start\n");
        return 1;
    }
    const QList<QSslCertificate> certificate =
        QSslCertificate::fromPath(WebAccess::webFolder(folder) + "/cert.pem");
    kalvo::test::WebClient client(port, certificate);
    if (client.login(kPassword).status != 200) {
        std::fprintf(stderr, "cannot log in\n");
        return 1;
    }
    firstByteOfTheList(port, certificate, client.cookie());
    firstByteOfAMessage(port, certificate, client.cookie());
    manySessions(port, certificate, server, controlPipe[1]);
    ::close(controlPipe[1]);
    int status = 0;
    ::waitpid(server, &status, 0);
    return 0;
}
