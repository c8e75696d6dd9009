// The registry functions: stored bytes, query rules, handles, no caching, damaged files and the Run value.
#include "Registry.h"
#include "AutostartEntry.h"
#include "RegistryHive.h"
#include "RegistryStore.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <string>

using namespace kalvo::registry;

namespace {

class RegistryTest : public ::testing::Test
{
protected:
    kalvo::test::IsolatedHome home;

    HKEY create(const char* path, HKEY root = HKEY_LOCAL_MACHINE)
    {
        HKEY key = 0;
        EXPECT_EQ(RegCreateKeyA(root, path, &key), ERROR_SUCCESS);
        return key;
    }
    void set(HKEY key, const char* name, DWORD type, const std::string& bytes)
    {
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 DWORD(bytes.size())),
                  ERROR_SUCCESS);
    }
    // Reads a value back through a freshly opened key; empty optional-like result on failure.
    LONG get(const char* path, const char* name, DWORD& type, std::string& bytes)
    {
        HKEY key = 0;
        LONG rc = RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &key);
        if (rc != ERROR_SUCCESS)
            return rc;
        BYTE buf[2048];
        DWORD size = sizeof buf;
        rc = RegQueryValueExA(key, name, nullptr, &type, buf, &size);
        if (rc == ERROR_SUCCESS)
            bytes.assign(reinterpret_cast<char*>(buf), size);
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        return rc;
    }
    QString hivePath() const { return home.registryDir() + "/HKEY_LOCAL_MACHINE.reg"; }
};

// Every type keeps exactly the bytes written, including a REG_SZ's NUL and awkward characters.
TEST_F(RegistryTest, ValuesKeepTheirExactBytesAndTypes)
{
    HKEY key = create("SOFTWARE\\Kalvo");
    const std::string withNul("abc\0", 4);
    const std::string withoutNul = "no terminator";
    const std::string awkward = std::string("quote \" back\\slash\r\nline two \xc3\xa9\x01", 30) + '\0';
    const std::string dword("\x05\x00\x00\x00", 4);
    const std::string binary("\x0a\xff\x00", 3);
    set(key, "Text", REG_SZ, withNul);
    set(key, "Raw", REG_SZ, withoutNul);
    set(key, "Awkward", REG_SZ, awkward);
    set(key, "Number", REG_DWORD, dword);
    set(key, "Bytes", REG_BINARY, binary);
    set(key, "Empty", REG_SZ, std::string());
    RegCloseKey(key);

    struct
    {
        const char* name;
        DWORD type;
        std::string bytes;
    } const expected[] = {{"Text", REG_SZ, withNul},     {"Raw", REG_SZ, withoutNul},
                          {"Awkward", REG_SZ, awkward},  {"Number", REG_DWORD, dword},
                          {"Bytes", REG_BINARY, binary}, {"Empty", REG_SZ, std::string()}};
    for (const auto& e : expected) {
        DWORD type = 0;
        std::string bytes;
        ASSERT_EQ(get("SOFTWARE\\Kalvo", e.name, type, bytes), ERROR_SUCCESS) << e.name;
        EXPECT_EQ(type, e.type) << e.name;
        EXPECT_EQ(bytes, e.bytes) << e.name;
    }
    // The text form stays what a person reads: a plain string for plain text.
    QFile file(hivePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("Windows Registry Editor Version 5.00"));
    EXPECT_TRUE(text.contains("\"Text\"=\"abc\""));
    EXPECT_TRUE(text.contains("\"Number\"=dword:00000005"));
    EXPECT_TRUE(text.contains("\"Bytes\"=hex:0a,ff,00"));
    EXPECT_EQ(file.permissions() &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              0);
}

// Size queries, too-small buffers, absent keys and values, and names that differ only in case.
TEST_F(RegistryTest, QueryFollowsTheWindowsRules)
{
    HKEY key = create("SOFTWARE\\Kalvo");
    set(key, "Greeting", REG_SZ, std::string("Hello\0", 6));

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "greeting", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    BYTE small[3];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Greeting", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(RegQueryValueExA(key, "Absent", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(key, "Absent"), ERROR_FILE_NOT_FOUND);

    HKEY other = 0;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nothing", &other), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "software\\KALVO", &other), ERROR_SUCCESS);
    EXPECT_NE(other, key);
    EXPECT_EQ(RegDeleteValueA(other, "GREETING"), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, "Greeting", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(RegFlushKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExA(key, "Greeting", nullptr, &type, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(other), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

// The roots are separate files, and keys with sub-keys cannot be removed.
TEST_F(RegistryTest, RootsAreSeparateAndKeysDeleteOnlyWhenEmpty)
{
    HKEY key = create("Korvan.Tapi\\CLSID", HKEY_CLASSES_ROOT);
    set(key, "", REG_SZ, std::string("{id}\0", 5));
    RegCloseKey(key);
    HKEY machine = 0;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Korvan.Tapi", &machine), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(QFile::exists(home.registryDir() + "/HKEY_CLASSES_ROOT.reg"));

    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Korvan.Tapi"), ERROR_KEY_HAS_CHILDREN);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Korvan.Tapi\\CLSID"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Korvan.Tapi"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Korvan.Tapi"), ERROR_FILE_NOT_FOUND);
}

// An open handle sees what another writer stored after it was opened: nothing is cached.
TEST_F(RegistryTest, ReadsSeeChangesMadeBehindAnOpenHandle)
{
    HKEY key = create("SOFTWARE\\Kalvo");
    set(key, "NumOfRing", REG_SZ, std::string("3\0", 2));
    // Another process rewrites the file by hand.
    RegistryHive hive("HKEY_LOCAL_MACHINE");
    std::string error;
    QFile file(hivePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ASSERT_TRUE(hive.parse(file.readAll().toStdString(), error)) << error;
    file.close();
    RegistryHive::findValue(*hive.findKey("SOFTWARE\\Kalvo"), "NumOfRing")->data = std::string("7\0", 2);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray::fromStdString(hive.serialise()));
    file.close();

    BYTE buf[16];
    DWORD size = sizeof buf, type = 0;
    ASSERT_EQ(RegQueryValueExA(key, "NumOfRing", nullptr, &type, buf, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), size), std::string("7\0", 2));
    RegCloseKey(key);
}

// A file that does not parse is kept aside, reads as empty, and the next write starts afresh.
TEST_F(RegistryTest, DamagedFileIsMovedAsideNeverOverwritten)
{
    QDir().mkpath(home.registryDir());
    QFile file(hivePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is not a registry file\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kalvo]\n\"x\"=\"1\"\n");
    file.close();

    HKEY key = 0;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kalvo", &key), ERROR_FILE_NOT_FOUND);
    QStringList aside = QDir(home.registryDir()).entryList({"HKEY_LOCAL_MACHINE.reg.unreadable-*"});
    ASSERT_EQ(aside.size(), 1);
    QFile kept(home.registryDir() + "/" + aside[0]);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_TRUE(kept.readAll().startsWith("this is not a registry file"));

    key = create("SOFTWARE\\Kalvo");
    set(key, "x", REG_SZ, std::string("2\0", 2));
    RegCloseKey(key);
    EXPECT_EQ(QDir(home.registryDir()).entryList({"HKEY_LOCAL_MACHINE.reg.unreadable-*"}).size(), 1);

    // Truncated data inside an otherwise good file is damage too.
    RegistryHive hive("HKEY_LOCAL_MACHINE");
    std::string error;
    EXPECT_FALSE(hive.parse(
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"v\"=hex:0", error));
    EXPECT_FALSE(hive.parse("Windows Registry Editor Version 5.00\r\n\"v\"=\"before any key\"", error));
    EXPECT_FALSE(hive.parse("Windows Registry Editor Version 5.00\r\n[HKEY_CLASSES_ROOT\\A]", error));
    EXPECT_TRUE(hive.parse("", error));
}

// Long binary values wrapped over several lines by regedit read back whole.
TEST_F(RegistryTest, WrappedHexLinesParse)
{
    RegistryHive hive("HKEY_LOCAL_MACHINE");
    std::string error;
    ASSERT_TRUE(hive.parse("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n"
                           "\"v\"=hex:01,02,\\\r\n  03,04\r\n@=hex(7):41,00\r\n",
                           error))
        << error;
    const RegistryKey* key = hive.findKey("a");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(RegistryHive::findValue(*key, "V")->data, std::string("\x01\x02\x03\x04", 4));
    EXPECT_EQ(RegistryHive::findValue(*key, "")->type, 7u);
}

// The Run value exists exactly when the autostart entry does, and carries its command.
TEST_F(RegistryTest, RunValueIsTheAutostartEntry)
{
    const char* run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    DWORD type = 0;
    std::string bytes;
    EXPECT_EQ(get(run, "Kalvo", type, bytes), ERROR_FILE_NOT_FOUND);

    HKEY key = create(run);
    const std::string command = "/opt/kalvo dir/bin/kalvo -st";
    set(key, "Kalvo", REG_SZ, command + '\0');
    set(key, "Other", REG_SZ, std::string("x\0", 2));
    RegCloseKey(key);
    ASSERT_TRUE(QFile::exists(home.configHome() + "/autostart/kalvo.desktop"));
    std::string fromEntry;
    ASSERT_TRUE(AutostartEntry::read(fromEntry));
    EXPECT_EQ(fromEntry, command);
    ASSERT_EQ(get(run, "kalvo", type, bytes), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(bytes, command + '\0');

    // The entry is not duplicated into the registry file.
    QFile file(hivePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("kalvo -st"));

    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, run, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "Kalvo", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteValueA(key, "Kalvo"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "Kalvo"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    EXPECT_FALSE(QFile::exists(home.configHome() + "/autostart/kalvo.desktop"));
    EXPECT_EQ(get(run, "Other", type, bytes), ERROR_SUCCESS);
}

} // namespace
