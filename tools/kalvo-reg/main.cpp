// kalvo-reg: reads and edits Kalvo's registry from the command line, in the manner of "reg".
#include "Registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: kalvo-reg query KEY [/v NAME | /ve]\n"
    "       kalvo-reg add KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD|REG_BINARY] [/d DATA]\n"
    "       kalvo-reg delete KEY [/v NAME | /ve]\n"
    "KEY starts with HKLM, HKCU or HKCR (or the full root name), e.g. \"HKLM\\SOFTWARE\\Kalvo\".\n"
    "delete without /v removes the key itself, which must have no sub-keys.\n";

struct Arguments
{
    std::string command, key;
    const char* valueName = nullptr; // null: no /v or /ve given
    std::string valueStorage;
    std::string type = "REG_SZ";
    std::string data;
};

int fail(const std::string& message)
{
    std::fprintf(stderr, "kalvo-reg: %s\n", message.c_str());
    return 1;
}

bool splitKey(const std::string& full, HKEY& root, std::string& rootText, std::string& path)
{
    struct
    {
        const char* shortName;
        const char* longName;
        HKEY root;
    } const roots[] = {{"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                       {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                       {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}};
    std::string head = full.substr(0, full.find('\\'));
    path = head.size() < full.size() ? full.substr(head.size() + 1) : std::string();
    for (auto& r : roots) {
        if (strcasecmp(head.c_str(), r.shortName) == 0 || strcasecmp(head.c_str(), r.longName) == 0) {
            root = r.root;
            rootText = r.longName;
            return true;
        }
    }
    return false;
}

const char* typeName(DWORD type)
{
    switch (type) {
    case REG_SZ:
        return "REG_SZ";
    case REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case REG_BINARY:
        return "REG_BINARY";
    case REG_DWORD:
        return "REG_DWORD";
    default:
        return "REG_NONE";
    }
}

std::string showData(DWORD type, const std::vector<BYTE>& data)
{
    std::string out;
    char buf[16];
    if ((type == REG_SZ || type == REG_EXPAND_SZ)) {
        out.assign(data.begin(), data.end());
        if (!out.empty() && out.back() == '\0')
            out.pop_back();
        return out;
    }
    if (type == REG_DWORD && data.size() == 4) {
        uint32_t n =
            uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24;
        std::snprintf(buf, sizeof buf, "0x%x", n);
        return buf;
    }
    for (BYTE b : data) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += buf;
    }
    return out;
}

void printValue(const char* name, DWORD type, const std::vector<BYTE>& data)
{
    std::printf("    %s    %s    %s\n", *name ? name : "(Default)", typeName(type),
                showData(type, data).c_str());
}

int query(HKEY key, const std::string& shownName, const char* valueName)
{
    if (valueName) {
        DWORD type = 0, size = 0;
        if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            return fail("the value \"" + std::string(valueName) + "\" does not exist in " + shownName);
        std::vector<BYTE> data(size);
        RegQueryValueExA(key, valueName, nullptr, &type, data.data(), &size);
        data.resize(size);
        std::printf("\n%s\n", shownName.c_str());
        printValue(valueName, type, data);
        std::printf("\n");
        return 0;
    }
    std::printf("\n%s\n", shownName.c_str());
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD nameSize = sizeof name, type = 0, size = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        std::vector<BYTE> data(size);
        nameSize = sizeof name;
        RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data.data(), &size);
        data.resize(size);
        printValue(name, type, data);
    }
    std::printf("\n");
    for (DWORD i = 0;; ++i) {
        char name[16384];
        if (RegEnumKeyA(key, i, name, sizeof name) != ERROR_SUCCESS)
            break;
        std::printf("%s\\%s\n", shownName.c_str(), name);
    }
    return 0;
}

bool encode(const std::string& type, const std::string& text, DWORD& regType, std::vector<BYTE>& data)
{
    if (type == "REG_SZ" || type == "REG_EXPAND_SZ") {
        regType = type == "REG_SZ" ? REG_SZ : REG_EXPAND_SZ;
        data.assign(text.begin(), text.end());
        data.push_back(0);
        return true;
    }
    if (type == "REG_DWORD") {
        char* end = nullptr;
        errno = 0;
        unsigned long long n = std::strtoull(text.c_str(), &end, 0);
        if (text.empty() || *end || errno || n > 0xffffffffull || text[0] == '-')
            return false;
        regType = REG_DWORD;
        for (int i = 0; i < 4; ++i)
            data.push_back(BYTE((n >> (8 * i)) & 0xff));
        return true;
    }
    if (type == "REG_BINARY") {
        if (text.size() % 2)
            return false;
        regType = REG_BINARY;
        for (size_t i = 0; i < text.size(); i += 2) {
            char* end = nullptr;
            std::string pair = text.substr(i, 2);
            long b = std::strtol(pair.c_str(), &end, 16);
            if (*end || !std::isxdigit(static_cast<unsigned char>(pair[0])))
                return false;
            data.push_back(BYTE(b));
        }
        return true;
    }
    return false;
}

bool parseArguments(int argc, char** argv, Arguments& args)
{
    if (argc < 3)
        return false;
    args.command = argv[1];
    args.key = argv[2];
    for (int i = 3; i < argc; ++i) {
        std::string opt = argv[i];
        bool hasNext = i + 1 < argc;
        if (strcasecmp(opt.c_str(), "/ve") == 0) {
            args.valueStorage.clear();
            args.valueName = "";
        } else if (strcasecmp(opt.c_str(), "/v") == 0 && hasNext) {
            args.valueStorage = argv[++i];
            args.valueName = args.valueStorage.c_str();
        } else if (strcasecmp(opt.c_str(), "/t") == 0 && hasNext) {
            args.type = argv[++i];
        } else if (strcasecmp(opt.c_str(), "/d") == 0 && hasNext) {
            args.data = argv[++i];
        } else if (strcasecmp(opt.c_str(), "/f") != 0) {
            return false;
        }
    }
    if (args.valueName)
        args.valueName = args.valueStorage.c_str();
    return args.command == "query" || args.command == "add" || args.command == "delete";
}

} // namespace

int main(int argc, char** argv)
{
    Arguments args;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "/?") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!parseArguments(argc, argv, args)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    HKEY root = 0;
    std::string rootText, path;
    if (!splitKey(args.key, root, rootText, path))
        return fail("unknown root in \"" + args.key + "\" (use HKLM, HKCU or HKCR)");
    std::string shownName = rootText + (path.empty() ? "" : "\\" + path);

    HKEY key = 0;
    if (args.command == "add") {
        DWORD type = 0;
        std::vector<BYTE> data;
        if (!encode(args.type, args.data, type, data))
            return fail("cannot store \"" + args.data + "\" as " + args.type);
        if (RegCreateKeyA(root, path.c_str(), &key) != ERROR_SUCCESS)
            return fail("cannot create " + shownName);
        LONG rc = RegSetValueExA(key, args.valueName ? args.valueName : "", 0, type, data.data(),
                                 DWORD(data.size()));
        RegCloseKey(key);
        return rc == ERROR_SUCCESS ? 0 : fail("cannot write the value (error " + std::to_string(rc) + ")");
    }
    if (args.command == "delete" && !args.valueName) {
        LONG rc = RegDeleteKeyA(root, path.c_str());
        if (rc == ERROR_FILE_NOT_FOUND)
            return fail("the key " + shownName + " does not exist");
        return rc == ERROR_SUCCESS
                   ? 0
                   : fail("cannot delete " + shownName + " (error " + std::to_string(rc) + ")");
    }
    if (RegOpenKeyA(root, path.c_str(), &key) != ERROR_SUCCESS)
        return fail("the key " + shownName + " does not exist");
    int status = 0;
    if (args.command == "query") {
        status = query(key, shownName, args.valueName);
    } else if (RegDeleteValueA(key, args.valueName) != ERROR_SUCCESS) {
        status = fail("the value \"" + std::string(args.valueName) + "\" does not exist in " + shownName);
    }
    RegCloseKey(key);
    return status;
}
