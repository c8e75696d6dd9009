// What the benchmarks share beside the tests' own helpers (tests/support): process figures from
// /proc and a call database filled in bulk.
#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kalvo::bench {

// "/proc/PID/NAME".
std::string procFile(pid_t pid, const char* name);
// utime + stime of a /proc stat file (a process's or a thread's), in milliseconds.
double cpuMs(const std::string& statPath);
// VmRSS of a /proc status file, in kilobytes.
long rssKb(const std::string& statusPath);

// Fills the call database in folder with `records` calls in one transaction, straight through
// SQLite: set-up, not what is measured. Call N is "Caller N", "555N" at 09:41:07 on 12/07/2004;
// message, type and read are SQL expressions of ?1, the call's number.
void seedCalls(const QString& folder, int records, const char* message = "'12-07-2004_09-41-07.wav'",
               const char* type = "'12.5'", const char* read = "'0'");

} // namespace kalvo::bench
