// Modem set-up: the command sequence and what each refusal means.
#include "ModemSetup.h"

#include <cstdio>

namespace kalvo::modem {

using namespace std::chrono;
using Outcome = ModemChannel::Outcome;

namespace {

constexpr milliseconds kCommandTimeout{3000};
// Setting up runs on the line's thread, so it can wait for a modem that is still starting up; a
// probe is asked for by someone waiting for the answer.
constexpr milliseconds kStartUpPatience{10000};
constexpr milliseconds kProbePatience{2500};

bool ok(ModemChannel& channel, const std::string& command, milliseconds timeout = kCommandTimeout)
{
    return channel.command(command, timeout).outcome == Outcome::Ok;
}

// A modem just plugged in (or reset) may miss the first commands, and one still starting up says
// nothing for a while: AT is tried once a second until it answers or patience runs out.
bool answersAt(ModemChannel& channel, milliseconds patience)
{
    const auto until = steady_clock::now() + patience;
    do {
        const auto reply = channel.command("AT", milliseconds(1000));
        if (reply.outcome == Outcome::Ok)
            return true;
        if (reply.outcome == Outcome::Gone || channel.givingUp())
            return false;
    } while (steady_clock::now() < until);
    return false;
}

std::vector<OfferedFormat> offeredFormats(ModemChannel& channel)
{
    std::vector<OfferedFormat> formats;
    const auto reply = channel.command("AT+VSM=?", kCommandTimeout);
    for (const std::string& line : reply.lines) {
        OfferedFormat format;
        if (parseOfferedFormat(line, format))
            formats.push_back(format);
    }
    return formats;
}

} // namespace

bool offersFullDuplex(ModemChannel& channel)
{
    // An action command's test form is accepted exactly when the modem implements it; AT+VTR itself
    // would need the line off-hook.
    return ok(channel, "AT+VTR=?");
}

bool setUpModem(ModemChannel& channel, SerialPort& port, const ModemSettings& settings, ModemProfile& out,
                std::string& why)
{
    const std::string& device = settings.device;
    if (!answersAt(channel, kStartUpPatience)) {
        why = channel.gone() ? device + " closed while being set up"
                             : "the modem at " + device + " does not answer AT";
        return false;
    }
    // The user's commands come first: a reset among them (ATZ) must not undo the set-up below.
    for (const std::string& command : settings.init)
        if (!ok(channel, command))
            std::fprintf(stderr, "kalvo modem: %s refused \"%s\"\n", device.c_str(), command.c_str());
    ok(channel, "ATE0V1");
    if (!ok(channel, "AT+FCLASS=8")) {
        why = "the modem at " + device + " has no voice mode (it refuses AT+FCLASS=8)";
        return false;
    }
    ModemProfile profile;
    if (ok(channel, "AT+FLO=2")) {
        profile.hardwareFlow = true;
    } else {
        ok(channel, "AT+FLO=1");
    }
    port.setFlowControl(profile.hardwareFlow);
    // Caller ID: the standard command, then the forms some makers use instead.
    for (const char* command : {"AT+VCID=1", "AT#CID=1", "AT%CCID=1"})
        if (ok(channel, command)) {
            profile.callerIdCommand = command;
            break;
        }
    const std::vector<OfferedFormat> formats = offeredFormats(channel);
    if (!chooseVoiceFormat(formats, profile.format)) {
        why = "the modem at " + device + " offers no voice format at 8000 Hz that Kalvo can use";
        return false;
    }
    const std::string method = std::to_string(profile.format.method);
    if (!ok(channel, "AT+VSM=" + method + ",8000,0,0") && !ok(channel, "AT+VSM=" + method + ",8000")) {
        why = "the modem at " + device + " refuses its own voice format " + profile.format.name;
        return false;
    }
    profile.fullDuplex = offersFullDuplex(channel);
    // The modem's own silence detection off: how long a silence ends a call is the owner's setting,
    // which the program applies to the recorded level as on every line. No inactivity timer: we send
    // nothing while recording, and if Kalvo dies the port's closing drops DTR (the modem goes on-hook).
    ok(channel, "AT+VSD=128,0");
    ok(channel, "AT+VIT=0");
    ok(channel, "AT+VLS=0");
    if (channel.gone()) {
        why = device + " closed while being set up";
        return false;
    }
    out = profile;
    return true;
}

ProbeResult probeModem(ModemChannel& channel)
{
    ProbeResult result;
    result.answers = answersAt(channel, kProbePatience);
    if (!result.answers)
        return result;
    ok(channel, "ATE0V1");
    for (const char* command : {"AT+GMI", "AT+GMM"}) {
        const auto reply = channel.command(command, kCommandTimeout);
        if (reply.outcome == Outcome::Ok && !reply.lines.empty()) {
            if (!result.identity.empty())
                result.identity += ' ';
            result.identity += reply.lines.front();
        }
    }
    if (result.identity.empty()) {
        const auto reply = channel.command("ATI", kCommandTimeout);
        if (!reply.lines.empty())
            result.identity = reply.lines.front();
    }
    const auto classes = channel.command("AT+FCLASS=?", kCommandTimeout);
    for (const std::string& line : classes.lines)
        if (line.find('8') != std::string::npos)
            result.voice = true;
    if (result.voice && ok(channel, "AT+FCLASS=8")) {
        result.formats = offeredFormats(channel);
        result.fullDuplex = offersFullDuplex(channel);
    }
    ok(channel, "AT+FCLASS=0");
    return result;
}

} // namespace kalvo::modem
