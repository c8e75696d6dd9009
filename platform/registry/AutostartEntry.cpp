// The desktop's autostart entry for Kalvo, which stands behind the "Run" value of the registry.
#include "AutostartEntry.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace kalvo::registry {

const char* const kRunKeyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kRunValueName = "Kalvo";

namespace {

// Desktop-entry string escapes, so any command text survives a write and read back.
std::string escape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case ' ':
            out += i == 0 ? "\\s" : " ";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string unescape(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case 's':
            out += ' ';
            break;
        default:
            out += text[i];
        }
    }
    return out;
}

std::string configHome()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg)
        return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "/tmp") + "/.config";
}

} // namespace

std::string AutostartEntry::filePath()
{
    return configHome() + "/autostart/kalvo.desktop";
}

bool AutostartEntry::read(std::string& command)
{
    std::ifstream in(filePath());
    if (!in)
        return false;
    std::string line;
    bool inEntry = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[')
            inEntry = line == "[Desktop Entry]";
        else if (inEntry && line.rfind("Exec=", 0) == 0) {
            command = unescape(line.substr(5));
            return true;
        }
    }
    command.clear(); // an entry without a command still exists
    return true;
}

bool AutostartEntry::write(const std::string& command)
{
    std::string dir = configHome() + "/autostart";
    ::mkdir(configHome().c_str(), 0700);
    ::mkdir(dir.c_str(), 0700);
    std::ostringstream text;
    text << "[Desktop Entry]\n"
         << "Type=Application\n"
         << "Name=Kalvo\n"
         << "Comment=Answers the telephone line and records messages\n"
         << "Exec=" << escape(command) << "\n"
         << "Icon=kalvo\n"
         << "Terminal=false\n"
         << "X-GNOME-Autostart-enabled=true\n";
    std::string path = filePath(), temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << text.str();
        out.flush();
        if (!out)
            return false;
    }
    int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return ::rename(temp.c_str(), path.c_str()) == 0;
}

bool AutostartEntry::remove()
{
    return ::unlink(filePath().c_str()) == 0;
}

} // namespace kalvo::registry
