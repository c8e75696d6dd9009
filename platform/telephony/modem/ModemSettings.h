// The settings of one modem line, read from its [LineN] section of the telephony configuration.
#pragma once

#include "LineProvider.h"

#include <string>
#include <vector>

namespace kalvo::modem {

struct ModemSettings
{
    std::string device;            // "device": the serial port, e.g. /dev/serial/by-id/usb-...-if00
    unsigned speed = 115200;       // "speed": bits per second on the port
    std::vector<std::string> init; // "init": extra commands, separated by ';'

    static std::vector<std::string> keys();
    // Reads a section; unknown keys are left to the layer. @return false with error set on a bad value.
    static bool parse(const kalvo::telephony::LineConfig& config, ModemSettings& out, std::string& error);
};

} // namespace kalvo::modem
