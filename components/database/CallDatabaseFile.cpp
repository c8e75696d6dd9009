// Opening the call database's file.
#include "CallDatabaseFile.h"

#include "SqliteCallDatabase.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace kalvo {

sqlite3* openCallDatabaseFile(const QString& callsFolder, QString& path, QString& error)
{
    path = QDir(callsFolder).filePath(QLatin1String(SqliteCallDatabase::FileName));
    if (callsFolder.isEmpty() || !QDir().mkpath(callsFolder)) {
        error = "the folder " + callsFolder + " cannot be made";
        return nullptr;
    }
    // The stores name callers as the calls do: a file made here is owner-only from the start.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        error = "cannot open " + path + ": " + QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 5000);
    // The call database keeps its file in WAL mode; the stores share that file and its journal.
    char* message = nullptr;
    const int rc =
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL", nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        error = path + ": " + QString::fromUtf8(message ? message : sqlite3_errstr(rc));
        sqlite3_free(message);
        sqlite3_close_v2(db);
        return nullptr;
    }
    return db;
}

} // namespace kalvo
