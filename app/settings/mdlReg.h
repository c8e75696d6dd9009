// The registry module: every read, write and deletion of a setting goes through these three.
#pragma once

#include <QString>
#include <QVariant>
#include <cstdint>

namespace mdlReg {

constexpr uint32_t HKeyClassesRoot = 0x80000000u;
constexpr uint32_t HKeyLocalMachine = 0x80000002u;
// The settings key under HKEY_LOCAL_MACHINE.
inline const QString kSettingsKey = QStringLiteral("SOFTWARE\\Kalvo");
// The start-with-login list under HKEY_LOCAL_MACHINE.
inline const QString kRunKey = QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
// What a read that fails returns.
inline const QString kNotFound = QStringLiteral("Not Found");

// A value as text: REG_SZ without its final NUL, REG_DWORD as at least three decimal digits,
// REG_BINARY as upper-case hex. "Not Found" when the key or value is absent or longer than 2047
// characters. Never fails otherwise.
QString GetRegString(uint32_t root, const QString& keyPath, const QString& valueName);

// Stores a value, creating the key: type 4 as a 32-bit REG_DWORD, type 1 as REG_SZ text with one
// NUL appended, any other type as REG_SZ text without it. value may be text, an integer or a
// single-precision number. Failures are ignored.
void SetRegValue(uint32_t root, const QString& keyPath, const QString& valueName, int type,
                 const QVariant& value);

// Removes one value; failures are ignored.
void DeleteRegValue(uint32_t root, const QString& keyPath, const QString& valueName);

} // namespace mdlReg
