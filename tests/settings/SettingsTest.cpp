// The registry module's conversions and the settings loaders' rules on a real registry folder.
#include "Registry.h"
#include "SettingsLoader.h"
#include "TestSupport.h"
#include "VbConvert.h"
#include "VbError.h"
#include "mdlLog.h"
#include "mdlReg.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <gtest/gtest.h>

using namespace mdlReg;

namespace {

std::string rawValue(const char* name, DWORD& type)
{
    HKEY key = 0;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kalvo", &key) != ERROR_SUCCESS)
        return "<no key>";
    char buf[4096];
    DWORD size = sizeof buf;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(buf, size) : "<no value>";
}

void storeRaw(const char* name, DWORD type, const std::string& bytes)
{
    HKEY key = 0;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kalvo", &key), ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), DWORD(bytes.size()));
    RegCloseKey(key);
}

void set(const char* name, const QString& text)
{
    SetRegValue(HKeyLocalMachine, kSettingsKey, name, 1, text);
}

class SettingsTest : public ::testing::Test
{
protected:
    SettingsTest()
        : clock(QDateTime(QDate(2026, 12, 7), QTime(14, 5, 7))), log(home.programFolder() + "/Log/", clock)
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QDir().mkpath(home.programFolder() + "/Log");
        log.setSystemSwitch(1);
    }
    QStringList systemLog() const
    {
        QFile file(log.folder() + log.systemLogName());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.trimmed().isEmpty())
                lines << QString::fromUtf8(line.trimmed()).section(" : ", 1);
        return lines;
    }

    kalvo::test::IsolatedHome home;
    FixedClock clock;
    mdlLog log;
};

// Reads convert each stored type the way the loaders expect, and fail as "Not Found".
TEST_F(SettingsTest, GetRegStringConvertsEveryType)
{
    storeRaw("Dword", REG_DWORD, std::string("\x05\0\0\0", 4));
    storeRaw("Big", REG_DWORD, std::string("\x10\x27\0\0", 4));
    storeRaw("Binary", REG_BINARY, std::string("\x0a\xff", 2));
    storeRaw("Text", REG_SZ, std::string("abc\0", 4));
    storeRaw("Empty", REG_SZ, std::string());
    storeRaw("Long", REG_SZ, std::string(2048, 'x') + '\0');
    storeRaw("Longest", REG_SZ, std::string(2047, 'y') + '\0');

    EXPECT_EQ(GetRegString(HKeyLocalMachine, kSettingsKey, "Dword"), "005");
    EXPECT_EQ(GetRegString(HKeyLocalMachine, kSettingsKey, "Big"), "10000");
    EXPECT_EQ(GetRegString(HKeyLocalMachine, kSettingsKey, "Binary"), "0AFF");
    EXPECT_EQ(GetRegString(HKeyLocalMachine, kSettingsKey, "Text"), "abc");
    EXPECT_EQ(GetRegString(HKeyLocalMachine, kSettingsKey, "Empty"), "");
    EXPECT_EQ(GetRegString(HKeyLocalMachine, kSettingsKey, "Long"), "Not Found");
    EXPECT_EQ(GetRegString(HKeyLocalMachine, kSettingsKey, "Longest").size(), 2047);
    EXPECT_EQ(GetRegString(HKeyLocalMachine, kSettingsKey, "Absent"), "Not Found");
    EXPECT_EQ(GetRegString(HKeyLocalMachine, "SOFTWARE\\Nowhere", "Text"), "Not Found");
}

// Type 1 appends the NUL, type 4 stores a DWORD, other types store text without the NUL, and a
// deletion removes the value.
TEST_F(SettingsTest, SetRegValueStoresAsTheTypeSays)
{
    DWORD type = 0;
    SetRegValue(HKeyLocalMachine, kSettingsKey, "Text", 1, QString("abc"));
    EXPECT_EQ(rawValue("Text", type), std::string("abc\0", 4));
    EXPECT_EQ(type, DWORD(REG_SZ));

    SetRegValue(HKeyLocalMachine, kSettingsKey, "Number", 1, 0);
    EXPECT_EQ(rawValue("Number", type), std::string("0\0", 2));

    SetRegValue(HKeyLocalMachine, kSettingsKey, "Dword", 4, QString("258"));
    EXPECT_EQ(rawValue("Dword", type), std::string("\x02\x01\0\0", 4));
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(GetRegString(HKeyLocalMachine, kSettingsKey, "Dword"), "258");
    SetRegValue(HKeyLocalMachine, kSettingsKey, "NotNumber", 4, QString("abc"));
    EXPECT_EQ(rawValue("NotNumber", type), "<no value>");

    SetRegValue(HKeyLocalMachine, kSettingsKey, "NoNul", 0, QString("xyz"));
    EXPECT_EQ(rawValue("NoNul", type), "xyz");

    SetRegValue(HKeyLocalMachine, kSettingsKey, "MeTop", 1, 1234.5f);
    EXPECT_EQ(GetRegString(HKeyLocalMachine, kSettingsKey, "MeTop"), "1234.5");

    DeleteRegValue(HKeyLocalMachine, kSettingsKey, "Text");
    EXPECT_EQ(GetRegString(HKeyLocalMachine, kSettingsKey, "Text"), "Not Found");
    DeleteRegValue(HKeyLocalMachine, "SOFTWARE\\Nowhere", "Text"); // silently nothing
}

// Texts convert with the widths' limits: type mismatch for words, overflow past the width.
TEST_F(SettingsTest, ConversionsRaiseTypeMismatchAndOverflow)
{
    EXPECT_EQ(VbConvert::toInt16(" 12 "), 12);
    EXPECT_EQ(VbConvert::toInt16("2.5"), 2); // half to even
    EXPECT_EQ(VbConvert::toInt16("3.5"), 4);
    EXPECT_EQ(VbConvert::toInt32("1234.5"), 1234);
    EXPECT_EQ(VbConvert::toInt32("-7"), -7);
    for (const char* bad : {"yes", "Not Found", "", "12abc"}) {
        try {
            VbConvert::toInt16(bad);
            ADD_FAILURE() << bad << " converted";
        } catch (const kalvo::VbError& e) {
            EXPECT_EQ(e.number(), 13) << bad;
            EXPECT_EQ(e.description(), "Type mismatch");
        }
    }
    EXPECT_THROW(VbConvert::toInt16("32768"), kalvo::VbError);
    EXPECT_EQ(VbConvert::multiply16(546, 60), 32760);
    try {
        VbConvert::multiply16(547, 60);
        ADD_FAILURE() << "547 minutes fit";
    } catch (const kalvo::VbError& e) {
        EXPECT_EQ(e.number(), 6);
        EXPECT_EQ(e.description(), "Overflow");
    }
}

// A fresh machine with only the first-run values: numbers and flags 0, texts "Not Found", and
// one log line per value that did not convert, under each loader's label.
TEST_F(SettingsTest, FreshMachineLoadsZerosAndNotFoundWithOneLinePerNumber)
{
    set("First", "0");
    set("MassagesPath", home.programFolder() + "/Messages/");
    set("cAnimation", "1");
    set("cLogSys", "1");

    Settings s;
    SettingsLoader(log, home.programFolder()).loadAll(s);

    EXPECT_EQ(s.options.NumOfRing, 0);
    EXPECT_EQ(s.options.MaxRec, 0);
    EXPECT_EQ(s.options.RecordMessage, 0);
    EXPECT_EQ(s.events.cAnimation, 1);
    for (const QString* text :
         {&s.actions.MailTo, &s.actions.SMTPServer, &s.actions.MailFrom, &s.actions.AppTo, &s.options.Pass,
          &s.options.Greeting, &s.options.ModemName, &s.events.PlayInRing, &s.events.PlayInIdle})
        EXPECT_EQ(*text, "Not Found");
    EXPECT_EQ(s.engine.LineIndex, -1); // no "Modem": the first voice line will be chosen
    EXPECT_EQ(s.engine.GreetingFile, "Not Found.wav");
    EXPECT_EQ(s.engine.MessagesPath, home.programFolder() + "/Messages/");
    EXPECT_EQ(log.systemSwitch(), 1);
    EXPECT_EQ(log.callsSwitch(), 0);

    QStringList lines = systemLog();
    // 15 numbers in the main options, 5 in the actions, 8 absent in the events, 5 in the view, and
    // Modem and cLogCalls in the application options.
    EXPECT_EQ(lines.count("ErrGetMainOptions 13 Type mismatch"), 15);
    EXPECT_EQ(lines.count("ErrGetMainAction 13 Type mismatch"), 5);
    EXPECT_EQ(lines.count("ErrGetMainEvents 13 Type mismatch"), 8);
    EXPECT_EQ(lines.count("ErrGetView 13 Type mismatch"), 5);
    EXPECT_EQ(lines.count("ErrGetAppOption 13 Type mismatch"), 2);
    EXPECT_EQ(lines.size(), 35);
}

// A value that fails keeps what was loaded before; an overflowing limit keeps the old limit.
TEST_F(SettingsTest, FailedConversionsKeepThePreviousValue)
{
    set("RecordMessage", "1");
    set("MaxRec", "3");
    set("NumOfRing", "4");
    set("Modem", "2");
    Settings s;
    SettingsLoader loader(log, home.programFolder());
    loader.loadAll(s);
    EXPECT_EQ(s.engine.MaxRecordSeconds, 180);
    EXPECT_EQ(s.options.NumOfRing, 4);
    EXPECT_TRUE(s.engine.RecordMessage);
    EXPECT_EQ(s.engine.LineIndex, 2);

    set("RecordMessage", "yes");
    set("MaxRec", "547");
    loader.loadAll(s);
    EXPECT_EQ(s.options.RecordMessage, 1);
    EXPECT_EQ(s.options.MaxRec, 547);
    EXPECT_EQ(s.engine.MaxRecordSeconds, 180);
    EXPECT_TRUE(systemLog().contains("ErrGetAppOption 6 Overflow"));
    EXPECT_TRUE(systemLog().contains("ErrGetMainOptions 13 Type mismatch"));
}

// An empty messages path becomes the program folder's Messages/ and is saved; an absent one stays.
TEST_F(SettingsTest, EmptyMessagesPathIsFilledAndSaved)
{
    Settings s;
    SettingsLoader loader(log, home.programFolder());
    loader.loadAll(s);
    EXPECT_EQ(s.engine.MessagesPath, "Not Found");
    EXPECT_EQ(GetRegString(HKeyLocalMachine, kSettingsKey, "MassagesPath"), "Not Found");

    set("MassagesPath", "");
    loader.loadAll(s);
    EXPECT_EQ(s.engine.MessagesPath, home.programFolder() + "/Messages/");
    EXPECT_EQ(GetRegString(HKeyLocalMachine, kSettingsKey, "MassagesPath"),
              home.programFolder() + "/Messages/");
}

} // namespace
