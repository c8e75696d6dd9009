// The sim provider: settings of a simulated line from its configuration section.
#include "SimProvider.h"

#include "SimLine.h"
#include "SimScenario.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace kalvo::sim {

using namespace kalvo::telephony;

namespace {

bool parseBool(const std::string& value, bool& out)
{
    if (value == "yes" || value == "true" || value == "1" || value == "on")
        out = true;
    else if (value == "no" || value == "false" || value == "0" || value == "off")
        out = false;
    else
        return false;
    return true;
}

// A comma-separated list of names mapped to bits; "none" is 0.
bool parseFlags(const std::string& value, const std::vector<std::pair<std::string, DWORD>>& names, DWORD& out)
{
    out = 0;
    std::stringstream in(value);
    std::string word;
    while (std::getline(in, word, ',')) {
        size_t b = word.find_first_not_of(" \t"), e = word.find_last_not_of(" \t");
        if (b == std::string::npos)
            continue;
        word = word.substr(b, e - b + 1);
        if (word == "none")
            continue;
        bool found = false;
        for (const auto& [name, bit] : names)
            if (name == word) {
                out |= bit;
                found = true;
            }
        if (!found)
            return false;
    }
    return true;
}

} // namespace

std::vector<std::string> SimProvider::knownKeys() const
{
    return {"scenario",   "media_modes", "caller_id",     "digit_modes", "terminals",
            "refuse_1_4", "max_rate",    "auto_complete", "audio"};
}

std::unique_ptr<LineDevice> SimProvider::createLine(const LineConfig& config, LineEventSink& events,
                                                    std::string& error)
{
    SimLineSettings s;
    s.caps.name = config.name;
    s.caps.providerInfo = "Kalvo simulated line";
    s.caps.switchInfo = "sim";
    s.caps.permanentLineId = config.deviceId;
    s.caps.mediaModes = LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_AUTOMATEDVOICE;
    s.caps.maxRate = 64000;
    std::vector<SimScenarioEvent> scenario;
    for (const auto& [key, value] : config.keys) {
        bool ok = true;
        if (key == "media_modes") {
            ok = parseFlags(value,
                            {{"unknown", LINEMEDIAMODE_UNKNOWN},
                             {"interactivevoice", LINEMEDIAMODE_INTERACTIVEVOICE},
                             {"automatedvoice", LINEMEDIAMODE_AUTOMATEDVOICE},
                             {"datamodem", LINEMEDIAMODE_DATAMODEM},
                             {"g3fax", LINEMEDIAMODE_G3FAX}},
                            s.caps.mediaModes);
        } else if (key == "caller_id") {
            bool on = true;
            ok = parseBool(value, on);
            s.caps.callerIdFlags =
                on ? (LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME | LINECALLPARTYID_UNKNOWN) : 0;
        } else if (key == "digit_modes") {
            DWORD modes = 0;
            ok = parseFlags(value,
                            {{"pulse", LINEDIGITMODE_PULSE},
                             {"dtmf", LINEDIGITMODE_DTMF},
                             {"dtmfend", LINEDIGITMODE_DTMFEND}},
                            modes);
            s.caps.monitorDigitModes = modes;
            s.caps.generateDigitModes = modes & (LINEDIGITMODE_PULSE | LINEDIGITMODE_DTMF);
        } else if (key == "terminals") {
            char* end = nullptr;
            unsigned long n = std::strtoul(value.c_str(), &end, 10);
            ok = !value.empty() && *end == '\0' && n <= 16;
            s.caps.numTerminals = static_cast<DWORD>(n);
        } else if (key == "max_rate") {
            char* end = nullptr;
            unsigned long n = std::strtoul(value.c_str(), &end, 10);
            ok = !value.empty() && *end == '\0';
            s.caps.maxRate = static_cast<DWORD>(n);
        } else if (key == "refuse_1_4") {
            bool refuse = false;
            ok = parseBool(value, refuse);
            s.caps.highestApiVersion = refuse ? TAPI_VERSION_1_0 : TAPI_VERSION_1_4;
        } else if (key == "auto_complete") {
            ok = parseBool(value, s.autoComplete);
        } else if (key == "audio") {
            ok = value == "realtime" || value == "fast";
            s.realTimeAudio = value != "fast";
        } else if (key == "cannot_talk") {
            s.cannotTalk = value;
        } else if (key == "scenario") {
            std::filesystem::path p(value);
            if (p.is_relative())
                p = std::filesystem::path(config.configPath).parent_path() / p;
            s.scenarioPath = p.string();
            if (!loadScenario(s.scenarioPath, scenario, error))
                return nullptr;
        }
        if (!ok) {
            error = "bad value '" + value + "' for " + key;
            return nullptr;
        }
    }
    return std::make_unique<SimLine>(s, std::move(scenario), events);
}

} // namespace kalvo::sim

// This provider's entry in the list the build assembles (kalvo_line_provider in CMake).
namespace kalvo::telephony::providers {
std::unique_ptr<LineProvider> sim()
{
    return std::make_unique<kalvo::sim::SimProvider>();
}
} // namespace kalvo::telephony::providers
