// The telephony layer's own C++ functions beside the API: the configuration in use and the line
// devices behind the device ids, for the line tool and for tests that drive a simulated line.
#pragma once

#include "LineProvider.h"

#include <string>
#include <vector>

namespace kalvo::telephony {

// The configuration file the layer reads: $KALVO_TELEPHONY_CONF, else
// $XDG_CONFIG_HOME/kalvo/telephony.conf (~/.config/kalvo/telephony.conf).
std::string configurationPath();

// Reads the configuration now if it was not read yet (lineInitialize does this too).
void loadConfiguration();

// Drops every line device and reads the configuration again. Only while no application is
// initialised; @return false (and nothing changes) otherwise.
bool reloadConfiguration();

// The provider's device behind a line device id, or null. Valid until the next reload.
LineDevice* lineDevice(DWORD deviceId);

// Configuration problems found at the last load (unknown keys, lines left out), one per entry,
// in the words printed on standard error.
std::vector<std::string> configurationProblems();

} // namespace kalvo::telephony
