// In-place updates of the telephony configuration.
#include "TelephonyConfigWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kalvo::telephony {

namespace {
std::string trim(const std::string& s)
{
    const char* ws = " \t\r\n";
    const size_t b = s.find_first_not_of(ws);
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(ws) - b + 1);
}

// The section name of a "[name]" line; empty for any other line.
std::string sectionOf(const std::string& line)
{
    const std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']')
        return {};
    return trim(t.substr(1, t.size() - 2));
}

// The key of a "key = value" line; empty for comments and other lines.
std::string keyOf(const std::string& line)
{
    const std::string t = trim(line);
    if (t.empty() || t[0] == '#' || t[0] == ';')
        return {};
    const size_t eq = t.find('=');
    return eq == std::string::npos ? std::string() : trim(t.substr(0, eq));
}

std::string errnoText(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}
} // namespace

std::string TelephonyConfigWriter::apply(const std::string& text, unsigned lineNumber,
                                         const std::map<std::string, std::string>& values, std::string& error)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    const std::string wanted = "Line" + std::to_string(lineNumber);
    size_t begin = lines.size();
    for (size_t i = 0; i < lines.size(); ++i)
        if (sectionOf(lines[i]) == wanted) {
            begin = i + 1;
            break;
        }
    if (begin == lines.size() && (lines.empty() || sectionOf(lines.back()) != wanted)) {
        error = "no section [" + wanted + "]";
        return text;
    }
    size_t end = begin;
    while (end < lines.size() && sectionOf(lines[end]).empty())
        ++end;

    std::set<std::string> done;
    std::vector<std::string> section;
    for (size_t i = begin; i < end; ++i) {
        const std::string key = keyOf(lines[i]);
        auto it = values.find(key);
        if (key.empty() || it == values.end()) {
            section.push_back(lines[i]);
            continue;
        }
        // A key written twice keeps only its first line, which gets the new value.
        if (done.insert(key).second && !it->second.empty())
            section.push_back(key + " = " + it->second);
    }
    // New keys go after the section's last setting, before the blank lines that part it from the next.
    size_t insertAt = section.size();
    while (insertAt > 0 && trim(section[insertAt - 1]).empty())
        --insertAt;
    std::vector<std::string> added;
    for (const auto& [key, value] : values)
        if (!done.count(key) && !value.empty())
            added.push_back(key + " = " + value);
    section.insert(section.begin() + static_cast<std::ptrdiff_t>(insertAt), added.begin(), added.end());

    std::string out;
    for (size_t i = 0; i < begin; ++i)
        out += lines[i] + "\n";
    for (const std::string& line : section)
        out += line + "\n";
    for (size_t i = end; i < lines.size(); ++i)
        out += lines[i] + "\n";
    return out;
}

std::string TelephonyConfigWriter::addLine(const std::string& text, const std::string& name,
                                           const std::string& provider, unsigned& lineNumber)
{
    unsigned next = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::string section = sectionOf(line);
        if (section.size() > 4 && section.compare(0, 4, "Line") == 0 &&
            section.find_first_not_of("0123456789", 4) == std::string::npos)
            next = std::max(next, unsigned(std::stoul(section.substr(4))) + 1);
    }
    lineNumber = next;
    std::string out = text;
    if (!out.empty() && out.back() != '\n')
        out += '\n';
    if (!out.empty())
        out += '\n';
    return out + "[Line" + std::to_string(next) + "]\nname = " + name + "\nprovider = " + provider + "\n";
}

std::string TelephonyConfigWriter::removeLine(const std::string& text, unsigned lineNumber)
{
    const std::string wanted = "Line" + std::to_string(lineNumber);
    std::istringstream in(text);
    std::string out;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        const std::string section = sectionOf(line);
        if (!section.empty())
            inside = section == wanted;
        if (!inside)
            out += line + "\n";
    }
    return out;
}

bool TelephonyConfigWriter::read(const std::string& path, std::string& text, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = errnoText(path);
        return false;
    }
    std::stringstream all;
    all << in.rdbuf();
    text = all.str();
    return true;
}

bool TelephonyConfigWriter::update(const std::string& path, unsigned lineNumber,
                                   const std::map<std::string, std::string>& values, std::string& error)
{
    std::string text;
    if (!read(path, text, error))
        return false;
    error.clear();
    const std::string updated = apply(text, lineNumber, values, error);
    if (!error.empty())
        return false;
    return replace(path, updated, error);
}

bool TelephonyConfigWriter::replace(const std::string& path, const std::string& updated, std::string& error)
{
    struct stat st
    {
    };
    const mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600;
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        error = errnoText(temp);
        return false;
    }
    bool ok = ::fchmod(fd, mode) == 0;
    const char* data = updated.data();
    size_t left = updated.size();
    while (ok && left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok) {
            data += n;
            left -= static_cast<size_t>(n);
        }
    }
    ok = ok && ::fsync(fd) == 0;
    if (!ok)
        error = errnoText(temp);
    ::close(fd);
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        error = errnoText(path);
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself is made durable with the folder.
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

std::string
TelephonyConfigWriter::checkAndUpdate(const std::string& path, const LineConfig& line,
                                      const std::map<std::string, std::string>& values,
                                      const std::function<bool(const LineConfig&, std::string&)>& check)
{
    LineConfig changed = line;
    for (const auto& [key, value] : values) {
        if (value.empty())
            changed.keys.erase(key);
        else
            changed.keys[key] = value;
    }
    std::string error;
    if (!check(changed, error))
        return "The settings are not usable: " + error + ".";
    if (!update(path, line.deviceId, values, error))
        return "The settings could not be saved: " + error + ".";
    return {};
}

} // namespace kalvo::telephony
