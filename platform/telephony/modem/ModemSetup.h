// Setting a voice modem up for answering calls, and asking one what it is (for kalvo-line probe).
#pragma once

#include "ModemChannel.h"
#include "ModemSettings.h"
#include "VoiceFormat.h"

#include <string>
#include <vector>

namespace kalvo::modem {

// What set-up found out about the modem.
struct ModemProfile
{
    VoiceFormat format;
    bool hardwareFlow = false;
    std::string callerIdCommand; // the command that turned caller ID on; empty when none did
    bool voiceLineSelect = true; // AT+VLS=1 takes the line off-hook (else ATA)
    bool fullDuplex = false;     // AT+VTR: plays and listens at once
};

// Whether the modem (in the voice class) offers full-duplex voice: its test form AT+VTR=? is
// accepted. ERROR or no answer means it does not.
bool offersFullDuplex(ModemChannel& channel);

// Puts the modem into voice mode on-hook, ready for RING. @return false with why set when the line
// cannot work with it (no answer to AT, no voice class, no usable format).
bool setUpModem(ModemChannel& channel, SerialPort& port, const ModemSettings& settings, ModemProfile& out,
                std::string& why);

// What a port's modem says about itself.
struct ProbeResult
{
    bool answers = false;
    std::string identity;    // maker and model as the modem gives them
    bool voice = false;      // has the voice class (8)
    bool fullDuplex = false; // AT+VTR (full-duplex voice)
    std::vector<OfferedFormat> formats;
};
ProbeResult probeModem(ModemChannel& channel);

} // namespace kalvo::modem
