// The conversation with a modem on its port, on the line's thread: commands and their final result
// codes, unsolicited lines (RING, caller ID), <DLE> events, and audio while a voice stream runs.
#pragma once

#include "DleStream.h"
#include "SerialPort.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kalvo::modem {

class ModemChannel : private DleDecoder::Handler
{
public:
    // Where what the modem sends goes; every callback runs on the line's thread.
    struct Listener
    {
        std::function<void(const std::string& line)> line; // an unsolicited line (RING, NMBR = ...)
        std::function<void(char code)> event;              // a <DLE> event (<ETX> included)
        std::function<void(const uint8_t* bytes, size_t count)> audio; // voice data during a receive stream
        std::function<void()> wake;   // the line's wake-up descriptor became readable
        std::function<bool()> giveUp; // true: a wait for a result ends at once (the line closes)
    };

    enum class Outcome { Ok, Error, Connect, Timeout, Gone };
    struct Reply
    {
        Outcome outcome = Outcome::Timeout;
        std::string final;              // the final result code as sent
        std::vector<std::string> lines; // information lines before it
    };

    ModemChannel(SerialPort& port, int wakeFd, Listener listener);

    // Sends command (with its carriage return) and waits for its final result code.
    Reply command(const std::string& command, std::chrono::milliseconds timeout);
    // Waits for a final result code without sending anything (after ending a stream).
    Reply awaitFinal(std::chrono::milliseconds timeout);
    // Writes raw bytes (shielded audio, <DLE> sequences). @return false when the port is gone.
    bool writeRaw(const std::string& bytes);
    // Waits up to timeout for the port or the wake-up descriptor and handles what came.
    // @return false when the port is gone (unplugged, closed by the device, read error).
    bool pump(std::chrono::milliseconds timeout);
    // While set, data bytes are audio; an <ETX> from the modem clears it.
    void setReceiving(bool on) { m_receiving = on; }
    bool receiving() const { return m_receiving; }
    bool gone() const { return m_gone; }
    // Waits are being given up (see Listener::giveUp).
    bool givingUp() const { return m_listener.giveUp && m_listener.giveUp(); }
    // Bytes written to the port that the kernel has not sent yet.
    size_t unsent() const { return m_unsent.size(); }

private:
    void data(const uint8_t* bytes, size_t count) override;
    void event(char code) override;
    void takeLine(const std::string& line);
    bool flush();

    SerialPort& m_port;
    int m_wakeFd;
    Listener m_listener;
    DleDecoder m_decoder;
    std::string m_lineBuffer;
    std::string m_unsent;
    bool m_receiving = false;
    bool m_gone = false;
    // While a command waits: its text (to drop the echo) and the reply being collected.
    Reply* m_pending = nullptr;
    std::string m_pendingCommand;
};

// True for a final result code (OK, ERROR, CONNECT ..., VCON, NO CARRIER, BUSY ...).
bool isFinalResult(const std::string& line);

} // namespace kalvo::modem
