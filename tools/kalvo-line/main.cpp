// kalvo-line: lists the telephony lines and watches one, printing every notification.
#include "LineWatcher.h"
#include "ModemProbe.h"
#include "TapiNames.h"
#include "TelephonyLayer.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace kalvo::line;

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void onSignal(int)
{
    g_interrupted = 1;
}

void noCallback(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

int usage()
{
    std::fprintf(stderr, "usage: kalvo-line list\n"
                         "       kalvo-line probe [DEVICE ...]\n"
                         "       kalvo-line watch INDEX [--answer-after N] [--play FILE] [--record FILE]\n"
                         "                        [--monitor-digits] [--drop-after SECONDS] [--calls N]\n");
    return 2;
}

std::string waveIdText(HLINE line, const char* deviceClass)
{
    std::vector<unsigned char> buf(2025);
    auto* vs = reinterpret_cast<VARSTRING*>(buf.data());
    vs->dwTotalSize = static_cast<DWORD>(buf.size());
    LONG r = lineGetID(line, 0, 0, LINECALLSELECT_LINE, vs, deviceClass);
    if (r)
        return resultName(r);
    if (vs->dwStringSize < 4)
        return "none";
    DWORD id;
    std::memcpy(&id, buf.data() + vs->dwStringOffset, 4);
    return std::to_string(id);
}

// Asks the given serial ports, or every one present, whether a modem answers and what it offers.
int probePorts(std::vector<std::string> ports)
{
    if (ports.empty())
        ports = kalvo::modem::serialPortCandidates();
    if (ports.empty()) {
        std::printf("no serial ports found\n");
        return 1;
    }
    int usable = 0;
    for (const std::string& port : ports) {
        const kalvo::modem::PortReport report = kalvo::modem::probePort(port);
        std::printf("%s\n", kalvo::modem::describeReport(report).c_str());
        std::fflush(stdout);
        usable += report.result.voice && !report.result.formats.empty();
    }
    return usable > 0 ? 0 : 1;
}

int listLines()
{
    HLINEAPP app = 0;
    DWORD numDevs = 0;
    std::printf("configuration: %s\n", kalvo::telephony::configurationPath().c_str());
    LONG r = lineInitialize(&app, nullptr, noCallback, "kalvo-line", &numDevs);
    if (r) {
        std::fprintf(stderr, "kalvo-line: lineInitialize failed: %s\n", resultName(r).c_str());
        return 1;
    }
    std::printf("%u line(s)\n", static_cast<unsigned>(numDevs));
    for (DWORD i = 0; i < numDevs; ++i) {
        DWORD version = 0;
        LINEEXTENSIONID ext;
        r = lineNegotiateAPIVersion(app, i, TAPI_VERSION_1_0, TAPI_VERSION_1_4, &version, &ext);
        if (r) {
            std::printf("%u: version negotiation failed: %s\n", static_cast<unsigned>(i),
                        resultName(r).c_str());
            continue;
        }
        std::vector<unsigned char> buf(4096);
        auto* caps = reinterpret_cast<LINEDEVCAPS*>(buf.data());
        caps->dwTotalSize = static_cast<DWORD>(buf.size());
        r = lineGetDevCaps(app, i, version, 0, caps);
        if (r) {
            std::printf("%u: lineGetDevCaps failed: %s\n", static_cast<unsigned>(i), resultName(r).c_str());
            continue;
        }
        auto text = [&](DWORD size, DWORD offset) {
            return size ? std::string(reinterpret_cast<char*>(buf.data()) + offset) : std::string();
        };
        std::vector<unsigned char> abuf(180);
        auto* acaps = reinterpret_cast<LINEADDRESSCAPS*>(abuf.data());
        acaps->dwTotalSize = static_cast<DWORD>(abuf.size());
        bool callerId = lineGetAddressCaps(app, i, 0, version, 0, acaps) == 0 && acaps->dwCallerIDFlags != 0;
        std::printf("%u: \"%s\" (%s)\n", static_cast<unsigned>(i),
                    text(caps->dwLineNameSize, caps->dwLineNameOffset).c_str(),
                    text(caps->dwProviderInfoSize, caps->dwProviderInfoOffset).c_str());
        std::printf("   version: %u.%u%s\n", static_cast<unsigned>(version >> 16),
                    static_cast<unsigned>(version & 0xFFFF),
                    version < TAPI_VERSION_1_4 ? " (refuses 1.4)" : "");
        std::printf("   media modes: %s\n", mediaModeName(caps->dwMediaModes).c_str());
        std::printf("   caller id: %s\n", callerId ? "yes" : "no");
        std::printf("   digits: monitor %s, generate %s\n", digitModeName(caps->dwMonitorDigitModes).c_str(),
                    digitModeName(caps->dwGenerateDigitModes).c_str());
        std::printf("   terminals: %u\n", static_cast<unsigned>(caps->dwNumTerminals));
        HLINE line = 0;
        r = lineOpen(app, i, &line, version, 0, 0, LINECALLPRIVILEGE_NONE, 0, nullptr);
        if (r == 0) {
            std::printf("   wave in: %s, wave out: %s\n", waveIdText(line, "wave/in").c_str(),
                        waveIdText(line, "wave/out").c_str());
            lineClose(line);
        } else {
            std::printf("   wave devices: %s\n", resultName(r).c_str());
        }
    }
    lineShutdown(app);
    return 0;
}

bool parseWatch(int argc, char** argv, WatchOptions& options)
{
    if (argc < 3)
        return false;
    char* end = nullptr;
    unsigned long index = std::strtoul(argv[2], &end, 10);
    if (*argv[2] == '\0' || *end)
        return false;
    options.index = static_cast<DWORD>(index);
    for (int i = 3; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--monitor-digits") {
            options.monitorDigits = true;
        } else if (arg == "--answer-after" && hasValue) {
            options.answerAfter = std::atoi(argv[++i]);
        } else if (arg == "--play" && hasValue) {
            options.playFile = argv[++i];
        } else if (arg == "--record" && hasValue) {
            options.recordFile = argv[++i];
        } else if (arg == "--drop-after" && hasValue) {
            options.dropAfter = std::atof(argv[++i]);
        } else if (arg == "--calls" && hasValue) {
            options.calls = std::atoi(argv[++i]);
        } else {
            return false;
        }
    }
    return options.answerAfter >= 0 && options.dropAfter >= 0 && options.calls >= 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return usage();
    std::string command = argv[1];
    if (command == "list")
        return argc == 2 ? listLines() : usage();
    if (command == "probe")
        return probePorts(std::vector<std::string>(argv + 2, argv + argc));
    if (command != "watch")
        return usage();
    WatchOptions options;
    if (!parseWatch(argc, argv, options))
        return usage();

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    LineWatcher watcher(options, stdout);
    if (watcher.start() != 0)
        return 1;
    // Signals only set a flag; the event loop notices it and shuts the line down in order.
    QTimer interruptPoll;
    QObject::connect(&interruptPoll, &QTimer::timeout, [] {
        if (g_interrupted)
            QCoreApplication::exit(0);
    });
    interruptPoll.start(50);
    int status = app.exec();
    watcher.stop();
    return status;
}
