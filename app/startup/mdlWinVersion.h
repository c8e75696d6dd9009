// The name of the operating-system version the program runs on.
#pragma once

#include <QString>

struct OSVERSIONINFOA;

// "Windows 95" ... "Windows XP" from a version record; empty for an unknown version of a known
// platform, "Failed" for an unknown platform.
QString WindowsVersionName(const OSVERSIONINFOA& info);
// The same for the running system.
QString WindowsVersionName();
