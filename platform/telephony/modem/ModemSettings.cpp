// Parsing of the modem line settings.
#include "ModemSettings.h"

#include "SerialPort.h"

#include <sstream>

namespace kalvo::modem {

std::vector<std::string> ModemSettings::keys()
{
    return {"device", "speed", "init"};
}

bool ModemSettings::parse(const kalvo::telephony::LineConfig& config, ModemSettings& out, std::string& error)
{
    ModemSettings s;
    for (const auto& [key, value] : config.keys) {
        if (key == "device") {
            s.device = value;
        } else if (key == "speed") {
            char* end = nullptr;
            const unsigned long speed = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end || !SerialPort::supportedSpeed(unsigned(speed))) {
                error = "bad value for speed: \"" + value + "\"";
                return false;
            }
            s.speed = unsigned(speed);
        } else if (key == "init") {
            std::stringstream in(value);
            std::string command;
            while (std::getline(in, command, ';')) {
                const size_t b = command.find_first_not_of(" \t");
                if (b == std::string::npos)
                    continue;
                command = command.substr(b, command.find_last_not_of(" \t") - b + 1);
                s.init.push_back(command);
            }
        }
    }
    if (s.device.empty()) {
        error = "no device: set device = the modem's serial port (for example /dev/ttyACM0)";
        return false;
    }
    out = std::move(s);
    return true;
}

} // namespace kalvo::modem
