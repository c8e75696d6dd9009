// SQLite storage of the screened-out calls.
#include "ScreenedCallStore.h"
#include "SqliteStatement.h"

#include "CallDatabaseFile.h"

#include <sqlite3.h>

namespace kalvo {

namespace {
const QString kTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss");
}

ScreenedCallStore::~ScreenedCallStore()
{
    if (m_db)
        sqlite3_close_v2(m_db);
}

bool ScreenedCallStore::fail(const QString& what)
{
    m_error = what + (m_db ? ": " + QString::fromUtf8(sqlite3_errmsg(m_db)) : QString());
    return false;
}

bool ScreenedCallStore::open(const QString& callsFolder)
{
    if (m_db)
        sqlite3_close_v2(m_db);
    QString path;
    m_db = openCallDatabaseFile(callsFolder, path, m_error);
    if (!m_db)
        return false;
    char* message = nullptr;
    const int rc =
        sqlite3_exec(m_db,
                     "CREATE TABLE IF NOT EXISTS ScreenedCalls (id INTEGER PRIMARY KEY AUTOINCREMENT,"
                     " At TEXT NOT NULL, Name TEXT NOT NULL DEFAULT '', Number TEXT NOT NULL DEFAULT '',"
                     " Reason TEXT NOT NULL DEFAULT '', Outcome TEXT NOT NULL DEFAULT '');"
                     "SELECT id, At, Name, Number, Reason, Outcome FROM ScreenedCalls LIMIT 0",
                     nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        m_error = path + ": " + QString::fromUtf8(message ? message : sqlite3_errstr(rc));
        sqlite3_free(message);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return false;
    }
    return true;
}

bool ScreenedCallStore::add(ScreenedCall& call, int keepDays)
{
    if (!m_db)
        return fail("the screened calls are not open");
    SqliteStatement insert(
        m_db, "INSERT INTO ScreenedCalls (At, Name, Number, Reason, Outcome) VALUES (?,?,?,?,?)");
    if (!insert.ok())
        return fail("a screened call cannot be kept");
    insert.bind(1, call.at.toString(kTimeFormat));
    insert.bind(2, call.name);
    insert.bind(3, call.number);
    insert.bind(4, call.reason);
    insert.bind(5, call.outcome);
    if (insert.step() != SQLITE_DONE)
        return fail("a screened call cannot be kept");
    call.id = sqlite3_last_insert_rowid(m_db);
    SqliteStatement prune(m_db, "DELETE FROM ScreenedCalls WHERE At < ?");
    prune.bind(1, call.at.addDays(-keepDays).toString(kTimeFormat));
    prune.step();
    return true;
}

std::vector<ScreenedCall> ScreenedCallStore::since(const QDateTime& from, bool* ok)
{
    std::vector<ScreenedCall> calls;
    if (ok)
        *ok = false;
    if (!m_db) {
        fail("the screened calls are not open");
        return calls;
    }
    SqliteStatement query(m_db,
                          "SELECT id, At, Name, Number, Reason, Outcome FROM ScreenedCalls WHERE At >= ?"
                          " ORDER BY At DESC, id DESC");
    if (!query.ok()) {
        fail("the screened calls cannot be read");
        return calls;
    }
    query.bind(1, from.toString(kTimeFormat));
    int rc;
    while ((rc = query.step()) == SQLITE_ROW)
        calls.push_back({query.number(0), QDateTime::fromString(query.text(1), kTimeFormat), query.text(2),
                         query.text(3), query.text(4), query.text(5)});
    if (rc != SQLITE_DONE) {
        fail("the screened calls cannot be read");
        return calls;
    }
    if (ok)
        *ok = true;
    return calls;
}

int ScreenedCallStore::countOn(const QDate& day)
{
    if (!m_db)
        return 0;
    SqliteStatement query(m_db, "SELECT count(*) FROM ScreenedCalls WHERE At >= ? AND At < ?");
    query.bind(1, QDateTime(day, QTime(0, 0)).toString(kTimeFormat));
    query.bind(2, QDateTime(day.addDays(1), QTime(0, 0)).toString(kTimeFormat));
    return query.ok() && query.step() == SQLITE_ROW ? int(query.number(0)) : 0;
}

} // namespace kalvo
