// Finding voice modems: the serial ports worth asking, and what each one's modem says (kalvo-line probe).
#pragma once

#include "ModemSetup.h"

#include <string>
#include <vector>

namespace kalvo::modem {

struct PortReport
{
    std::string path;
    std::string error; // why the port could not be opened; empty when it was
    ProbeResult result;
};

// Serial ports present: the stable /dev/serial/by-id names first, then USB modems (ttyACM, ttyUSB)
// not reached through them, then built-in ports that have a UART.
std::vector<std::string> serialPortCandidates();

// Opens path (with its lock) and asks its modem what it is.
PortReport probePort(const std::string& path);

// One line or two for a report, as kalvo-line prints it.
std::string describeReport(const PortReport& report);

} // namespace kalvo::modem
