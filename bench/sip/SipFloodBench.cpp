// A SIP line under a flood of OPTIONS and REGISTER requests from one address (8,000 a second from
// the loopback generator) while baresip calls it from another: the line's CPU, the memory the
// process holds, how many requests were answered, and whether and how fast the call connected.
#include "BenchSupport.h"
#include "SipPeers.h"
#include "SipProvider.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <malloc.h>
#include <optional>
#include <thread>

#ifdef __SANITIZE_ADDRESS__
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

using namespace std::chrono;
using namespace kalvo::telephony;
using kalvo::sip::test::RecordingSink;

namespace {

long heldKb()
{
#ifdef __SANITIZE_ADDRESS__
    return long(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    return long(mallinfo2().uordblks / 1024);
#endif
}

std::string sipThreadStat()
{
    DIR* dir = opendir("/proc/self/task");
    std::string found;
    while (dirent* e = dir ? readdir(dir) : nullptr) {
        std::string task = std::string("/proc/self/task/") + e->d_name;
        if (kalvo::sip::test::readFile(task + "/comm").rfind("kalvo-sip", 0) == 0)
            found = task + "/stat";
    }
    if (dir)
        closedir(dir);
    return found;
}

} // namespace

int main(int argc, char** argv)
{
    const int rate = argc > 1 ? std::atoi(argv[1]) : 8000;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;
    const uint16_t port = kalvo::sip::test::freePort();
    RecordingSink sink;
    kalvo::sip::SipProvider provider;
    LineConfig config;
    config.name = "Flooded line";
    config.provider = "sip";
    config.keys = {{"listen", "127.0.0.1:" + std::to_string(port)}, {"rtp_ports", "40000-49998"}};
    std::string error;
    auto line = provider.createLine(config, sink, error);
    if (!line) {
        std::fprintf(stderr, "sip_flood_bench: %s\n", error.c_str());
        return 1;
    }
    line->open();
    kalvo::sip::test::Baresip caller("Bob", "bob@127.0.0.1>;regint=0", std::vector<int16_t>(8000 * 30, 0));
    char folder[] = "/tmp/kalvo-flood-XXXXXX";
    const std::string log = std::string(mkdtemp(folder)) + "/flood";
    const std::string stat = sipThreadStat();
    const long before = heldKb();
    const double cpu0 = kalvo::bench::cpuMs(stat);
    const auto started = steady_clock::now();
    const pid_t flood = kalvo::sip::test::spawn(
        log, {"/usr/bin/python3", KALVO_SOURCE_DIR "/tests/support/sip/sipflood.py", "127.0.0.1",
              std::to_string(port), std::to_string(rate), std::to_string(rate * seconds), "127.0.0.2"});
    std::this_thread::sleep_for(std::chrono::seconds(seconds) / 3);
    caller.dial("sip:kalvo@127.0.0.1:" + std::to_string(port));
    auto offer = sink.waitOffer(milliseconds(10000));
    std::optional<double> connectMs;
    if (!offer.kind.empty()) {
        const auto answerAt = steady_clock::now();
        line->answer(offer.call, 1);
        auto connected = sink.waitState(LINECALLSTATE_CONNECTED, milliseconds(10000));
        if (!connected.kind.empty())
            connectMs = duration<double, std::milli>(connected.at - answerAt).count();
    }
    for (int i = 0; i < 40 * seconds && kalvo::sip::test::readFile(log).find("sent") == std::string::npos;
         ++i)
        std::this_thread::sleep_for(milliseconds(50));
    const double elapsed = duration<double>(steady_clock::now() - started).count();
    const double cpu1 = kalvo::bench::cpuMs(stat);
    const long after = heldKb();
    kalvo::sip::test::terminate(flood);
    unsigned sent = 0, replies = 0;
    std::sscanf(kalvo::sip::test::readFile(log).c_str(), "sent %u replies %u", &sent, &replies);
    std::printf(
        "SIP line under a flood: %d requests a second for %d s from 127.0.0.2, a call from 127.0.0.1\n\n",
        rate, seconds);
    std::printf("%-40s %u\n", "requests sent", sent);
    std::printf("%-40s %u\n", "requests answered", replies);
    std::printf("%-40s %.0f ms (%.0f %% of a core)\n", "CPU of the line's thread, per second",
                (cpu1 - cpu0) / elapsed, (cpu1 - cpu0) / elapsed / 10);
    std::printf("%-40s %ld kB -> %ld kB\n", "memory held by the process", before, after);
    std::printf("%-40s %s\n", "call offered", offer.kind.empty() ? "no" : "yes");
    if (connectMs)
        std::printf("%-40s %.1f ms\n", "answer -> ACK in (connected)", *connectMs);
    else
        std::printf("%-40s %s\n", "answer -> ACK in (connected)", "never");
    std::system((std::string("rm -rf ") + folder).c_str());
    return 0;
}
