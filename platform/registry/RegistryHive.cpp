// The keys and values of one registry root, and their text form (the regedit export format).
#include "RegistryHive.h"

#include <algorithm>
#include <cstdio>

namespace kalvo::registry {

namespace {

const char* const kHeader = "Windows Registry Editor Version 5.00";

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool startsWithName(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && sameName(text.substr(0, prefix.size()), prefix);
}

std::string escapeQuoted(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out;
}

// Reads a quoted string starting at text[pos] == '"'; pos ends after the closing quote.
bool readQuoted(const std::string& text, size_t& pos, std::string& out)
{
    if (pos >= text.size() || text[pos] != '"')
        return false;
    for (++pos; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos >= text.size())
                return false;
            c = text[pos];
            if (c != '\\' && c != '"')
                return false;
        }
        out += c;
    }
    return false;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lowerAscii(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool readHexBytes(const std::string& text, std::string& out)
{
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        if (pos + 2 > text.size())
            return false;
        int hi = hexDigit(text[pos]), lo = hexDigit(text[pos + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out += char(hi * 16 + lo);
        pos += 2;
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        if (pos == text.size())
            break;
        if (text[pos] != ',')
            return false;
        ++pos;
    }
    return true;
}

bool parseData(const std::string& text, RegistryValue& value)
{
    if (!text.empty() && text[0] == '"') {
        size_t pos = 0;
        std::string s;
        if (!readQuoted(text, pos, s) || pos != text.size())
            return false;
        value.type = 1;
        value.data = s + '\0';
        return true;
    }
    if (text.rfind("dword:", 0) == 0) {
        std::string digits = text.substr(6);
        if (digits.size() != 8)
            return false;
        uint32_t n = 0;
        for (char c : digits) {
            int d = hexDigit(c);
            if (d < 0)
                return false;
            n = n * 16 + uint32_t(d);
        }
        value.type = 4;
        value.data.clear();
        for (int i = 0; i < 4; ++i)
            value.data += char((n >> (8 * i)) & 0xff);
        return true;
    }
    if (text.rfind("hex", 0) != 0)
        return false;
    size_t colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    std::string kind = text.substr(0, colon);
    if (kind == "hex") {
        value.type = 3;
    } else if (kind.size() > 5 && kind.rfind("hex(", 0) == 0 && kind.back() == ')') {
        uint32_t t = 0;
        for (size_t i = 4; i + 1 < kind.size(); ++i) {
            int d = hexDigit(kind[i]);
            if (d < 0 || i > 11)
                return false;
            t = t * 16 + uint32_t(d);
        }
        value.type = t;
    } else {
        return false;
    }
    value.data.clear();
    return readHexBytes(text.substr(colon + 1), value.data);
}

// A REG_SZ can be written as a quoted string when it is text ended by exactly one NUL.
bool printableString(const RegistryValue& v)
{
    if (v.type != 1 || v.data.empty() || v.data.back() != '\0')
        return false;
    return std::none_of(v.data.begin(), v.data.end() - 1,
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

std::string formatData(const RegistryValue& v)
{
    if (printableString(v))
        return "\"" + escapeQuoted(v.data.substr(0, v.data.size() - 1)) + "\"";
    char buf[16];
    if (v.type == 4 && v.data.size() == 4) {
        uint32_t n = 0;
        for (int i = 3; i >= 0; --i)
            n = n * 256 + static_cast<unsigned char>(v.data[size_t(i)]);
        std::snprintf(buf, sizeof buf, "%08x", n);
        return std::string("dword:") + buf;
    }
    std::string out;
    if (v.type == 3) {
        out = "hex:";
    } else {
        std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
        out = buf;
    }
    for (size_t i = 0; i < v.data.size(); ++i) {
        std::snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", static_cast<unsigned char>(v.data[i]));
        out += buf;
    }
    return out;
}

} // namespace

bool sameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

std::string normaliseKeyPath(const std::string& path)
{
    std::string out;
    for (char c : path) {
        if (c == '\\' && (out.empty() || out.back() == '\\'))
            continue;
        out += c;
    }
    if (!out.empty() && out.back() == '\\')
        out.pop_back();
    return out;
}

RegistryHive::RegistryHive(std::string rootName) : m_rootName(std::move(rootName)) {}

bool RegistryHive::parse(const std::string& text, std::string& error)
{
    m_keys.clear();
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // A value that regedit wrapped continues on the next line after a trailing backslash.
        if (!lines.empty() && !lines.back().empty() && lines.back().back() == '\\' &&
            lines.back()[0] != '[') {
            lines.back().pop_back();
            size_t first = line.find_first_not_of(' ');
            lines.back() += first == std::string::npos ? "" : line.substr(first);
        } else {
            lines.push_back(line);
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }

    bool sawHeader = false;
    RegistryKey* current = nullptr;
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        if (line.empty() || line[0] == ';')
            continue;
        if (!sawHeader) {
            if (line != kHeader && line != "REGEDIT4") {
                error = "line " + std::to_string(n + 1) + ": not a registry export";
                return false;
            }
            sawHeader = true;
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3 || line[1] == '-') {
                error = "line " + std::to_string(n + 1) + ": bad key header";
                return false;
            }
            std::string full = line.substr(1, line.size() - 2);
            if (!startsWithName(full, m_rootName) ||
                (full.size() > m_rootName.size() && full[m_rootName.size()] != '\\')) {
                error = "line " + std::to_string(n + 1) + ": key outside " + m_rootName;
                return false;
            }
            current = &createKey(full.substr(m_rootName.size()));
            continue;
        }
        RegistryValue value;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!readQuoted(line, pos, value.name)) {
            error = "line " + std::to_string(n + 1) + ": bad value name";
            return false;
        }
        if (!current || pos >= line.size() || line[pos] != '=' || !parseData(line.substr(pos + 1), value)) {
            error = "line " + std::to_string(n + 1) + ": bad value";
            return false;
        }
        if (RegistryValue* old = findValue(*current, value.name))
            *old = value;
        else
            current->values.push_back(value);
    }
    if (!sawHeader && !text.empty() && text.find_first_not_of(" \r\n\t") != std::string::npos) {
        error = "not a registry export";
        return false;
    }
    return true;
}

std::string RegistryHive::serialise() const
{
    std::string out = std::string(kHeader) + "\r\n\r\n";
    for (const RegistryKey& key : m_keys) {
        if (key.path.empty() && key.values.empty())
            continue;
        out += "[" + m_rootName + (key.path.empty() ? "" : "\\" + key.path) + "]\r\n";
        for (const RegistryValue& v : key.values) {
            out += v.name.empty() ? std::string("@") : "\"" + escapeQuoted(v.name) + "\"";
            out += "=" + formatData(v) + "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

RegistryKey* RegistryHive::findKey(const std::string& path)
{
    std::string p = normaliseKeyPath(path);
    for (RegistryKey& key : m_keys)
        if (sameName(key.path, p))
            return &key;
    return nullptr;
}

const RegistryKey* RegistryHive::findKey(const std::string& path) const
{
    return const_cast<RegistryHive*>(this)->findKey(path);
}

RegistryKey& RegistryHive::createKey(const std::string& path)
{
    std::string p = normaliseKeyPath(path);
    if (RegistryKey* key = findKey(p))
        return *key;
    size_t cut = p.rfind('\\');
    if (cut != std::string::npos)
        createKey(p.substr(0, cut));
    m_keys.push_back(RegistryKey{p, {}});
    return m_keys.back();
}

bool RegistryHive::removeKey(const std::string& path)
{
    std::string p = normaliseKeyPath(path);
    if (!subKeys(p).empty())
        return false;
    std::erase_if(m_keys, [&](const RegistryKey& k) { return sameName(k.path, p); });
    return true;
}

std::vector<std::string> RegistryHive::subKeys(const std::string& path) const
{
    std::string p = normaliseKeyPath(path);
    std::vector<std::string> names;
    for (const RegistryKey& key : m_keys) {
        if (key.path.empty())
            continue;
        size_t cut = key.path.rfind('\\');
        std::string parent = cut == std::string::npos ? std::string() : key.path.substr(0, cut);
        if (sameName(parent, p))
            names.push_back(cut == std::string::npos ? key.path : key.path.substr(cut + 1));
    }
    return names;
}

RegistryValue* RegistryHive::findValue(RegistryKey& key, const std::string& name)
{
    for (RegistryValue& v : key.values)
        if (sameName(v.name, name))
            return &v;
    return nullptr;
}

const RegistryValue* RegistryHive::findValue(const RegistryKey& key, const std::string& name)
{
    return findValue(const_cast<RegistryKey&>(key), name);
}

} // namespace kalvo::registry
