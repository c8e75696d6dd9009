// Test peers for the SIP line: baresip, a recording sink and vector wave streams.
#include "SipPeers.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <arpa/inet.h>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sndfile.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kalvo::sip::test {

using namespace std::chrono;
using namespace kalvo::telephony;

namespace {

bool bindable(int type, uint16_t port)
{
    int fd = ::socket(AF_INET, type, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

} // namespace

double share(const std::vector<int16_t>& samples, double hz)
{
    // One Goertzel bin.
    double re = 0, im = 0, total = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        re += samples[i] * std::cos(2 * M_PI * hz * double(i) / 8000);
        im += samples[i] * std::sin(2 * M_PI * hz * double(i) / 8000);
        total += double(samples[i]) * samples[i];
    }
    return total > 0 ? 2 * (re * re + im * im) / (double(samples.size()) * total) : 0;
}

long firstToneWindow(const std::vector<int16_t>& samples, double hz, size_t from)
{
    constexpr size_t window = 400;
    for (size_t at = from; at + window <= samples.size(); at += window / 2) {
        const std::vector<int16_t> part(samples.begin() + long(at), samples.begin() + long(at + window));
        double energy = 0;
        for (const int16_t s : part)
            energy += double(s) * s;
        // Quiet windows (line noise, the end of a fade) are no tone.
        if (std::sqrt(energy / double(window)) > 200 && share(part, hz) > 0.5)
            return long(at);
    }
    return -1;
}

pid_t spawn(const std::string& logPath, const std::vector<std::string>& argv)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        int fd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, 0);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

void terminate(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGCONT);
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 150; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(milliseconds(20));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
}

QString lineConf(uint16_t port)
{
    return QString("[Line0]\nname = SIP Line\nprovider = sip\nlisten = 127.0.0.1:%1\n"
                   "ring_interval = 0.3\nrtp_ports = 40000-49998\n")
        .arg(port);
}

uint16_t freePort(bool pair)
{
    // Random ports in a range the system does not hand out for ephemeral use, so parallel tests
    // rarely collide.
    static unsigned seed = static_cast<unsigned>(::getpid()) * 7919u + static_cast<unsigned>(time(nullptr));
    for (int i = 0; i < 1000; ++i) {
        seed = seed * 1103515245u + 12345u;
        auto port = static_cast<uint16_t>(21000 + (seed >> 8) % 9000);
        if (bindable(SOCK_DGRAM, port) && bindable(SOCK_STREAM, port) &&
            (!pair || bindable(SOCK_DGRAM, static_cast<uint16_t>(port + 1))))
            return port;
    }
    return 0;
}

namespace {
// The samples of a 16-bit WAV whose writer has not yet filled in its header's sizes: everything
// after the "data" chunk's header, up to the end of the file.
std::vector<int16_t> readUnfinishedWav(const std::string& path)
{
    const std::string wav = readFile(path);
    size_t at = 12;
    while (at + 8 <= wav.size()) {
        uint32_t size = 0;
        std::memcpy(&size, wav.data() + at + 4, 4);
        if (wav.compare(at, 4, "data") == 0) {
            std::vector<int16_t> samples((wav.size() - at - 8) / 2);
            std::memcpy(samples.data(), wav.data() + at + 8, samples.size() * 2);
            return samples;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}
} // namespace

std::vector<int16_t> readWav(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        return readUnfinishedWav(path);
    if (info.frames == 0) {
        sf_close(file);
        return readUnfinishedWav(path);
    }
    std::vector<int16_t> samples(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
    sf_count_t got = sf_read_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    samples.resize(static_cast<size_t>(got));
    sf_close(file);
    return samples;
}

void writeWav(const std::string& path, const std::vector<int16_t>& samples)
{
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return;
    sf_write_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

std::vector<int16_t> tone(double hz, double seconds, double amplitude)
{
    std::vector<int16_t> out(static_cast<size_t>(seconds * 8000));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<int16_t>(amplitude * std::sin(2 * M_PI * hz * static_cast<double>(i) / 8000.0));
    return out;
}

std::vector<int16_t> dtmfTones(const std::string& keys)
{
    static const char* rows[] = {"123A", "456B", "789C", "*0#D"};
    static const double low[] = {697, 770, 852, 941};
    static const double high[] = {1209, 1336, 1477, 1633};
    std::vector<int16_t> out;
    for (char key : keys) {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                if (rows[r][c] == key) {
                    for (size_t i = 0; i < 800; ++i) {
                        double t = static_cast<double>(i) / 8000.0;
                        out.push_back(static_cast<int16_t>(6000 * std::sin(2 * M_PI * low[r] * t) +
                                                           6000 * std::sin(2 * M_PI * high[c] * t)));
                    }
                }
        out.insert(out.end(), 800, 0);
    }
    return out;
}

double bestCorrelation(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t maxShift,
                       size_t length)
{
    double best = -1;
    for (size_t shift = 0; shift <= maxShift; ++shift) {
        if (shift + length > b.size() || length > a.size())
            break;
        double ab = 0, aa = 0, bb = 0;
        for (size_t i = 0; i < length; ++i) {
            double x = a[i], y = b[i + shift];
            ab += x * y;
            aa += x * x;
            bb += y * y;
        }
        if (aa > 0 && bb > 0)
            best = std::max(best, ab / std::sqrt(aa * bb));
    }
    return best;
}

Baresip::Baresip(const std::string& displayName, const std::string& account,
                 const std::vector<int16_t>& voice, const std::string& extraConfig,
                 const std::string& address)
{
    std::string dir = m_dir.path().toStdString();
    m_sipPort = freePort();
    m_consolePort = freePort();
    QDir().mkpath(m_dir.path() + "/dump");
    writeWav(dir + "/voice.wav", voice);
    std::ofstream config(dir + "/config");
    config << "poll_method epoll\n"
           << "sip_listen " << address << ":" << m_sipPort << "\n"
           << "audio_source aufile," << dir << "/voice.wav\n"
           << "audio_alert aufile," << dir << "/voice.wav\n"
           << "module_path /usr/lib/baresip/modules\n"
           << "module cons.so\nmodule g711.so\nmodule aufile.so\nmodule sndfile.so\n"
           << "module_tmp account.so\nmodule_app menu.so\n"
           << "cons_listen 127.0.0.1:" << m_consolePort << "\n"
           << "snd_path " << dir << "/dump\n"
           << "rtp_ports 30000-39998\n"
           << "jitter_buffer_delay 1-10\n"
           << extraConfig;
    config.close();
    std::ofstream accounts(dir + "/accounts");
    accounts << (displayName.empty() ? "" : "\"" + displayName + "\" ") << "<sip:" << account << "\n";
    accounts.close();

    m_pid = spawn(dir + "/log", {"baresip", "-f", dir, "-n", address});
    waitLog("baresip is ready", seconds(10));
}

Baresip::~Baresip()
{
    terminate(m_pid);
}

void Baresip::console(const std::string& text)
{
    std::string datagram = text.size() > 1 && text[0] == '/' ? text + "\n" : text;
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(m_consolePort);
    ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::close(fd);
}

std::string Baresip::log() const
{
    return readFile(m_dir.path().toStdString() + "/log");
}

bool Baresip::waitLog(const std::string& text, milliseconds timeout, milliseconds step)
{
    auto end = steady_clock::now() + timeout;
    while (steady_clock::now() < end) {
        if (log().find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(step);
    }
    return false;
}

std::vector<int16_t> Baresip::heard() const
{
    QDir dump(m_dir.path() + "/dump");
    for (const QString& name : dump.entryList({"*-dec.wav"}, QDir::Files))
        return readWav(dump.filePath(name).toStdString());
    return {};
}

namespace {

RecordingSink::Event makeEvent(const char* kind, CallId call, DWORD a = 0, DWORD b = 0)
{
    RecordingSink::Event e;
    e.kind = kind;
    e.call = call;
    e.a = a;
    e.b = b;
    return e;
}

} // namespace

Kamailio::Kamailio(const std::string& password, const std::string& tlsCert, const std::string& tlsKey,
                   const std::string& address)
{
    std::string dir = m_dir.path().toStdString();
    m_port = freePort();
    std::string config = readFile(kalvo::test::sourcePath("tests/support/sip/kamailio.cfg").toStdString());
    if (!tlsCert.empty()) {
        // TCP on the SIP port and TLS on its own, with the certificate given; the line is not asked
        // for one.
        m_tlsPort = freePort();
        config.replace(config.find("disable_tcp=yes"), 15,
                       "disable_tcp=no\nenable_tls=yes\nlisten=tcp:127.0.0.1:KPORT\nlisten=tls:127.0.0.1:" +
                           std::to_string(m_tlsPort) + "\nalias=\"127.0.0.1:" + std::to_string(m_tlsPort) +
                           "\"");
        const std::string module = "loadmodule \"kex.so\"";
        config.replace(config.find(module), module.size(),
                       module + "\nloadmodule \"tls.so\"\nmodparam(\"tls\", \"config\", \"" + dir +
                           "/tls.cfg\")");
        std::ofstream(dir + "/tls.cfg") << "[server:default]\nmethod = TLSv1.2+\nverify_certificate = no\n"
                                        << "require_certificate = no\nprivate_key = " << tlsKey
                                        << "\ncertificate = " << tlsCert << "\n\n[client:default]\n"
                                        << "verify_certificate = no\nrequire_certificate = no\n";
    }
    for (size_t at = 0;
         address != "127.0.0.1" && (at = config.find("127.0.0.1:KPORT", at)) != std::string::npos;)
        config.replace(at, 9, address);
    for (auto [key, value] :
         {std::pair<std::string, std::string>{"KPORT", std::to_string(m_port)}, {"PASSWORD", password}})
        for (size_t at; (at = config.find(key)) != std::string::npos;)
            config.replace(at, key.size(), value);
    start(config);
}

Kamailio::Kamailio(uint16_t registrarPort)
{
    m_port = freePort();
    std::string config =
        readFile(kalvo::test::sourcePath("tests/support/sip/kamailio-proxy.cfg").toStdString());
    for (auto [key, value] : {std::pair<std::string, std::string>{"NEXTPORT", std::to_string(registrarPort)},
                              {"KPORT", std::to_string(m_port)}})
        for (size_t at; (at = config.find(key)) != std::string::npos;)
            config.replace(at, key.size(), value);
    start(config);
}

void Kamailio::start(const std::string& config)
{
    std::string dir = m_dir.path().toStdString();
    std::ofstream(dir + "/kamailio.cfg") << config;
    m_pid = spawn(dir + "/log",
                  {"kamailio", "-f", dir + "/kamailio.cfg", "-DD", "-E", "-Y", dir, "-m", "32", "-M", "4"});
    auto end = steady_clock::now() + seconds(10);
    while (steady_clock::now() < end && log().find("Listening on") == std::string::npos)
        std::this_thread::sleep_for(milliseconds(20));
    std::this_thread::sleep_for(milliseconds(200)); // its children start after the banner
}

Kamailio::~Kamailio()
{
    terminate(m_pid);
}

std::string Kamailio::log() const
{
    return readFile(m_dir.path().toStdString() + "/log");
}

size_t Kamailio::count(const std::string& text) const
{
    std::string all = log();
    size_t n = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1))
        ++n;
    return n;
}

void RecordingSink::clear()
{
    std::lock_guard lock(m_mutex);
    m_events.clear();
}

void RecordingSink::add(Event event)
{
    event.at = steady_clock::now();
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
    }
    m_changed.notify_all();
}

CallId RecordingSink::offerCall(const CallData& data)
{
    CallId id;
    {
        std::lock_guard lock(m_mutex);
        id = m_nextCall++;
    }
    Event e = makeEvent("offer", id);
    e.data = data;
    add(e);
    return id;
}

void RecordingSink::callState(CallId call, DWORD state, DWORD mode)
{
    add(makeEvent("state", call, state, mode));
}

void RecordingSink::callInfo(CallId call, const CallData& data, DWORD changed)
{
    Event e = makeEvent("info", call, changed);
    e.data = data;
    add(e);
}

void RecordingSink::ring(DWORD ringCount, DWORD ringMode)
{
    add(makeEvent("ring", 0, ringCount, ringMode));
}

void RecordingSink::lineState(DWORD state, DWORD param2, DWORD)
{
    add(makeEvent("line", 0, state, param2));
}

void RecordingSink::digit(CallId call, char digit, DWORD mode)
{
    add(makeEvent("digit", call, static_cast<DWORD>(static_cast<unsigned char>(digit)), mode));
}

void RecordingSink::digitsGenerated(CallId call, DWORD termination)
{
    add(makeEvent("generated", call, termination));
}

void RecordingSink::completeRequest(RequestId request, LONG result)
{
    add(makeEvent("reply", 0, static_cast<DWORD>(request), static_cast<DWORD>(result)));
}

RecordingSink::Event RecordingSink::waitFor(const std::function<bool(const Event&)>& match,
                                            milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    Event found;
    m_changed.wait_for(lock, timeout, [&] {
        for (const Event& e : m_events)
            if (match(e)) {
                found = e;
                return true;
            }
        return false;
    });
    return found;
}

RecordingSink::Event RecordingSink::waitState(DWORD state, milliseconds timeout)
{
    return waitFor([state](const Event& e) { return e.kind == "state" && e.a == state; }, timeout);
}

RecordingSink::Event RecordingSink::waitOffer(milliseconds timeout)
{
    return waitFor([](const Event& e) { return e.kind == "offer"; }, timeout);
}

std::vector<RecordingSink::Event> RecordingSink::events() const
{
    std::lock_guard lock(m_mutex);
    return m_events;
}

std::string RecordingSink::digits(DWORD mode) const
{
    std::string out;
    for (const Event& e : events())
        if (e.kind == "digit" && e.b == mode)
            out.push_back(static_cast<char>(e.a));
    return out;
}

size_t RecordingSink::count(const std::string& kind) const
{
    size_t n = 0;
    for (const Event& e : events())
        n += e.kind == kind;
    return n;
}

size_t VectorSource::readFrames(int16_t* out, size_t frameCount)
{
    size_t n = std::min(frameCount, m_samples.size() - m_at);
    std::copy_n(m_samples.begin() + static_cast<std::ptrdiff_t>(m_at), n, out);
    m_at += n;
    return n;
}

void VectorSink::writeFrames(const int16_t* frames, size_t frameCount)
{
    std::lock_guard lock(m_mutex);
    m_samples.insert(m_samples.end(), frames, frames + frameCount);
}

std::vector<int16_t> VectorSink::samples() const
{
    std::lock_guard lock(m_mutex);
    return m_samples;
}

RawPeer::RawPeer(uint16_t linePort) : m_linePort(linePort)
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_fd, reinterpret_cast<sockaddr*>(&self), sizeof self);
    socklen_t len = sizeof self;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&self), &len);
    m_port = ntohs(self.sin_port);
}

RawPeer::~RawPeer()
{
    ::close(m_fd);
}

void RawPeer::send(const std::string& text)
{
    sockaddr_in line{};
    line.sin_family = AF_INET;
    line.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    line.sin_port = htons(m_linePort);
    ::sendto(m_fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&line), sizeof line);
}

std::string RawPeer::waitFor(const std::string& prefix, std::chrono::milliseconds timeout)
{
    using namespace std::chrono;
    const auto end = steady_clock::now() + timeout;
    while (steady_clock::now() < end) {
        auto left = duration_cast<microseconds>(end - steady_clock::now()).count();
        timeval tv{static_cast<time_t>(left / 1000000), static_cast<suseconds_t>(left % 1000000)};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        char buffer[4000];
        ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            continue;
        std::string text(buffer, static_cast<size_t>(got));
        if (text.rfind(prefix, 0) == 0)
            return text;
    }
    return {};
}

} // namespace kalvo::sip::test
