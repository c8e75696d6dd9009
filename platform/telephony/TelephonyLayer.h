// The telephony layer's own C++ functions beside the API: the configuration in use and the line
// devices behind the device ids, for the line tool and for tests that drive a simulated line.
#pragma once

#include "LineProvider.h"

#include <functional>
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

// A provider's settings dialog for one of its lines: shown modally on the calling (user-interface)
// thread. line is the line's section as the layer read it, configPath the file to change.
// @return 0 when the settings were saved, 1 when the dialog was cancelled, or a negative LINEERR_.
using LineConfigDialog = std::function<long(const LineConfig& line, const std::string& configPath)>;

// Installs the settings dialog that lineConfigDialog shows for the lines of provider (replacing an
// earlier one). Without one, lineConfigDialog opens the configuration file in an editor.
void setLineConfigDialog(const std::string& provider, LineConfigDialog dialog);

// The settings dialog installed for provider's lines; empty when there is none.
LineConfigDialog lineConfigDialogFor(const std::string& provider);

// Creates a line device again from its section as the file now has it; an open line takes its
// new settings when it is closed. @return true when the device was replaced at once.
bool replaceLineDevice(DWORD deviceId);

} // namespace kalvo::telephony
