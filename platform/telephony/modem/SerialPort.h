// A serial port opened for a modem: UUCP lock file, raw termios, flow control, and the reasons a
// user can act on when it cannot be opened.
#pragma once

#include <string>

namespace kalvo::modem {

class SerialPort
{
public:
    SerialPort() = default;
    ~SerialPort() { close(); }
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Locks and opens path at speed (raw, 8N1, non-blocking, modem hang-up on close).
    // @return false with why set in words a user can act on.
    bool open(const std::string& path, unsigned speed, std::string& why);
    // Closes the port and removes its lock file.
    void close();
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

    // Hardware (RTS/CTS) flow control, or XON/XOFF towards the modem when hardware is false.
    void setFlowControl(bool hardware);

    static bool supportedSpeed(unsigned speed);
    // The folder of UUCP lock files: $KALVO_LOCK_DIR, else /var/lock.
    static std::string lockFolder();
    // The lock file of a device: LCK..<name under /dev, '/' as '_'>, after following links.
    static std::string lockPath(const std::string& device);

private:
    bool lock(const std::string& path, std::string& why);

    int m_fd = -1;
    std::string m_lockFile;
};

} // namespace kalvo::modem
