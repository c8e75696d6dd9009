// Serial port opening and UUCP locking.
#include "SerialPort.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace kalvo::modem {

namespace {

speed_t speedConstant(unsigned speed)
{
    switch (speed) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 921600:
        return B921600;
    default:
        return B0;
    }
}

std::string openFailure(const std::string& path, int err)
{
    if (err == EACCES || err == EPERM)
        return "no permission to open " + path +
               ": add yourself to the dialout group (sudo usermod -aG dialout $USER) and log in again";
    if (err == ENOENT || err == ENODEV || err == ENXIO)
        return path + " is not there: is the modem plugged in?";
    if (err == EBUSY)
        return path + " is in use by another program";
    return "cannot open " + path + ": " + std::strerror(err);
}

} // namespace

bool SerialPort::supportedSpeed(unsigned speed)
{
    return speedConstant(speed) != B0;
}

std::string SerialPort::lockFolder()
{
    const char* dir = std::getenv("KALVO_LOCK_DIR");
    return dir && *dir ? dir : "/var/lock";
}

std::string SerialPort::lockPath(const std::string& device)
{
    std::error_code ec;
    std::string real = std::filesystem::canonical(device, ec).string();
    if (ec)
        real = device;
    if (real.rfind("/dev/", 0) == 0)
        real = real.substr(5);
    for (char& c : real)
        if (c == '/')
            c = '_';
    return lockFolder() + "/LCK.." + real;
}

bool SerialPort::lock(const std::string& path, std::string& why)
{
    const std::string file = lockPath(path);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            char text[16];
            const int n = std::snprintf(text, sizeof text, "%10d\n", int(::getpid()));
            const bool ok = ::write(fd, text, size_t(n)) == n;
            ::close(fd);
            if (!ok) {
                ::unlink(file.c_str());
                why = "cannot write the lock file " + file;
                return false;
            }
            m_lockFile = file;
            return true;
        }
        if (errno != EEXIST) {
            // No lock folder we may write to: the port is used without a lock, as other programs do.
            if (errno == EACCES || errno == ENOENT || errno == EROFS)
                return true;
            why = "cannot create the lock file " + file + ": " + std::strerror(errno);
            return false;
        }
        char text[32] = {};
        const int rfd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ssize_t got = rfd >= 0 ? ::read(rfd, text, sizeof text - 1) : -1;
        if (rfd >= 0)
            ::close(rfd);
        const long owner = got > 0 ? std::strtol(text, nullptr, 10) : 0;
        // A binary lock holds the process id as a 4-byte integer.
        long pid = owner;
        if (got == 4 && owner == 0) {
            int binary = 0;
            std::memcpy(&binary, text, 4);
            pid = binary;
        }
        if (pid == ::getpid()) {
            why = path + " is in use by Kalvo's own modem line";
            return false;
        }
        if (pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM)) {
            why = path + " is in use by process " + std::to_string(pid) + " (lock file " + file + ")";
            return false;
        }
        // The owner is gone: a stale lock from a program that died.
        ::unlink(file.c_str());
    }
    why = "cannot take the lock file " + file;
    return false;
}

bool SerialPort::open(const std::string& path, unsigned speed, std::string& why)
{
    close();
    if (!lock(path, why))
        return false;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = openFailure(path, errno);
        close();
        return false;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        why = path + " is not a serial port: " + std::strerror(errno);
        ::close(fd);
        close();
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD | HUPCL; // dropping DTR on close puts the modem on-hook
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const speed_t constant = speedConstant(speed ? speed : 115200);
    ::cfsetispeed(&tio, constant);
    ::cfsetospeed(&tio, constant);
    ::tcsetattr(fd, TCSANOW, &tio);
    ::tcflush(fd, TCIOFLUSH);
    m_fd = fd;
    return true;
}

void SerialPort::setFlowControl(bool hardware)
{
    termios tio{};
    if (m_fd < 0 || ::tcgetattr(m_fd, &tio) != 0)
        return;
    if (hardware) {
        tio.c_cflag |= CRTSCTS;
        tio.c_iflag &= ~tcflag_t(IXON | IXOFF);
    } else {
        // The modem's XON/XOFF pace our output; it shields those bytes inside its own audio.
        tio.c_cflag &= ~tcflag_t(CRTSCTS);
        tio.c_iflag |= IXON;
    }
    ::tcsetattr(m_fd, TCSANOW, &tio);
}

void SerialPort::close()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_lockFile.empty()) {
        ::unlink(m_lockFile.c_str());
        m_lockFile.clear();
    }
}

} // namespace kalvo::modem
