// What the benchmarks share.
#include "BenchSupport.h"

#include "SipPeers.h"
#include "SqliteCallDatabase.h"

#include <cstdlib>
#include <fstream>
#include <sqlite3.h>
#include <sstream>
#include <unistd.h>

namespace kalvo::bench {

using kalvo::sip::test::readFile;

std::string procFile(pid_t pid, const char* name)
{
    return "/proc/" + std::to_string(pid) + "/" + name;
}

double cpuMs(const std::string& statPath)
{
    std::string stat = readFile(statPath);
    auto close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoul(field);
        if (i == 15)
            stime = std::stoul(field);
    }
    return 1000.0 * static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long rssKb(const std::string& statusPath)
{
    std::string status = readFile(statusPath);
    auto at = status.find("VmRSS:");
    return at == std::string::npos ? 0 : std::atol(status.c_str() + at + 6);
}

void seedCalls(const QString& folder, int records, const char* message, const char* type, const char* read)
{
    {
        kalvo::SqliteCallDatabase db;
        db.Open(folder); // creates the schema
    }
    const QByteArray file = (folder + "/" + kalvo::SqliteCallDatabase::FileName).toUtf8();
    const std::string sql =
        std::string("INSERT INTO Calls (Call_Name, Call_Number, Call_Time, Call_Date, "
                    "Call_Massage_Name, Type, Read) VALUES ('Caller ' || ?1, '555' || ?1, "
                    "'09:41:07', '12/07/2004', ") +
        message + ", " + type + ", " + read + ")";
    sqlite3* handle = nullptr;
    sqlite3_open(file.constData(), &handle);
    sqlite3_exec(handle, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(handle, sql.c_str(), -1, &insert, nullptr);
    for (int i = 1; i <= records; ++i) {
        sqlite3_bind_int(insert, 1, i);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(handle);
}

} // namespace kalvo::bench
