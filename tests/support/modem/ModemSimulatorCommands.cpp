// The modem simulator's command set.
#include "ModemSimulator.h"

#include <cctype>
#include <cstdlib>
#include <thread>

namespace kalvo::modem::test {

using namespace std::chrono;

namespace {

bool isOneOf(const std::string& name, std::initializer_list<const char*> names)
{
    for (const char* n : names)
        if (name == n)
            return true;
    return false;
}

} // namespace

void ModemSimulator::commandLine(const std::string& line)
{
    m_commands.push_back(line);
    if (m_commands.size() == 1)
        m_firstCommand = steady_clock::now();
    if (steady_clock::now() - m_firstCommand < milliseconds(m_model.startUpMs))
        return;
    std::string rest;
    for (char c : line)
        if (c != ' ')
            rest.push_back(char(std::toupper(static_cast<unsigned char>(c))));
    if (rest.rfind("AT", 0) != 0)
        return; // a modem ignores what is not a command
    rest.erase(0, 2);
    std::string info;
    std::string final = "OK";
    bool ok = true;
    while (!rest.empty() && ok) {
        std::string command;
        const char first = rest[0];
        if (first == '+' || first == '#' || first == '%' || first == '*') {
            const size_t end = rest.find(';');
            command = rest.substr(0, end);
            rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
        } else {
            size_t at = 1;
            if (first == '&' && rest.size() > 1)
                at = 2;
            while (at < rest.size() &&
                   (std::isdigit(static_cast<unsigned char>(rest[at])) || rest[at] == '=' || rest[at] == '?'))
                ++at;
            command = rest.substr(0, at);
            rest.erase(0, at);
        }
        ok = basicCommand(command, info);
        if (ok && !info.empty() && (info == "CONNECT" || info == "VCON")) {
            final = info;
            info.clear();
        }
    }
    if (!ok) {
        send("\r\nERROR\r\n");
        return;
    }
    send(info + "\r\n" + final + "\r\n");
    if (final == "CONNECT" && (m_mode == Mode::Receive || m_mode == Mode::Duplex))
        m_voiceAt =
            uint64_t(duration_cast<microseconds>(steady_clock::now() - m_offHookAt).count()) * 8 / 1000;
}

// One command: its information lines are added to reply ("\r\n" before each); "CONNECT" or "VCON"
// alone in reply replaces the final OK. @return false for ERROR.
bool ModemSimulator::basicCommand(const std::string& command, std::string& reply)
{
    auto line = [&](const std::string& text) { reply += "\r\n" + text; };
    const size_t eq = command.find('=');
    std::string name = command.substr(0, eq);
    if (!name.empty() && name.back() == '?')
        name.pop_back(); // a query of the current value
    const std::string value = eq == std::string::npos ? std::string() : command.substr(eq + 1);
    const bool query = command.back() == '?';
    if (name == "+FCLASS") {
        if (value == "?")
            line(m_model.voice ? "0,1,8" : "0,1");
        else if (query)
            line(std::to_string(m_class));
        else if (value == "8" && !m_model.voice)
            return false;
        else
            m_class = std::atoi(value.c_str());
        return true;
    }
    if (name == "+VCID") {
        if (!m_model.standardCallerId)
            return false;
        if (query)
            line(value == "?" ? "(0-2)" : "1");
        return true;
    }
    if (name == "#CID")
        return true;
    if (name.rfind("+V", 0) == 0 && m_class != 8)
        return false; // voice commands only in the voice class
    if (name == "+VSM") {
        if (value == "?") {
            for (const std::string& format : m_model.formats)
                line(format);
        } else if (query) {
            line(std::to_string(m_method) + ",8000,0,0");
        } else {
            const int method = std::atoi(value.c_str());
            bool offered = false;
            for (const std::string& format : m_model.formats)
                offered = offered || std::atoi(format.c_str()) == method;
            if (!offered || value.find(",8000") == std::string::npos)
                return false;
            m_method = method;
        }
        return true;
    }
    if (name == "+VSD" && !query) {
        const size_t comma = value.find(',');
        if (comma != std::string::npos)
            m_silenceMs = std::atoi(value.c_str() + comma + 1) * 100;
        return true;
    }
    if (name == "+VLS") {
        if (!m_model.lineSelect)
            return false;
        if (query) {
            line(value == "?" ? "0,1" : (m_offHook ? "1" : "0"));
            return true;
        }
        if (value == "0") {
            m_offHook = false;
            return true;
        }
        goto takeLine;
    }
    if (name == "A") {
        if (m_class != 8)
            return false;
        reply = "VCON";
        goto takeLine;
    }
    if (name == "H" || name == "H0") {
        m_offHook = false;
        return true;
    }
    if (name == "+VTR" && value == "?")
        return m_model.fullDuplex || m_model.claimsFullDuplex;
    if (name == "+VTX" || name == "+VRX" || name == "+VTR") {
        if (!m_offHook || (name == "+VTR" && !m_model.fullDuplex))
            return false;
        m_mode = name == "+VTX" ? Mode::Transmit : name == "+VRX" ? Mode::Receive : Mode::Duplex;
        m_pendingDle = false;
        m_txEnded = false;
        m_txStarted = false;
        m_fill = 0;
        reply = "CONNECT";
        return true;
    }
    if (name == "Z" || name == "&F") {
        m_echo = true;
        m_class = 0;
        return true;
    }
    if (name == "E0" || name == "E1" || name == "E") {
        m_echo = name == "E1";
        return true;
    }
    if (name == "I" || (name.size() == 2 && name[0] == 'I')) {
        line("KALVO TEST VOICE MODEM");
        return true;
    }
    if (name == "+GMI" || name == "+GMM" || name == "+GMR") {
        line(name == "+GMI" ? "KALVO TEST" : name == "+GMM" ? "VOICE MODEM 1" : "1.0");
        return true;
    }
    if (isOneOf(name, {"+VSD", "+VIT", "+VGT", "+VGR", "+VRA", "+VRN", "+VNH", "+VTD", "+VDR", "+VDT",
                       "+VEM", "+VIP", "+FLO", "+IFC", "+VBT", "+VPR", "+VTS", "+VGM", "+VGS", "+FCLASS"}) ||
        isOneOf(name.substr(0, 1), {"V", "Q", "L", "M", "X", "S"}) ||
        isOneOf(name, {"&C1", "&D2", "&K3", "&S0"})) {
        if (query)
            line("0");
        return true;
    }
    return false;

takeLine:
    // A slow modem keeps the computer waiting; a noisy line shows in the answer.
    if (m_model.answerDelayMs > 0)
        std::this_thread::sleep_for(milliseconds(m_model.answerDelayMs));
    if (m_model.noisyAnswer)
        send("\r\n\x7f\xfe#~\x01\r\n");
    m_offHook = true;
    m_ringing = false;
    m_offHookAt = steady_clock::now();
    m_voiceAt = 0;
    m_quietSamples = 0;
    m_eventsSent = 0;
    m_endSent = false;
    return true;
}

} // namespace kalvo::modem::test
