#pragma once
// One prepared SQLite statement, finalized when it goes out of scope: shared by the stores that
// live in the call database's file.
#include <QByteArray>
#include <QString>
#include <sqlite3.h>

namespace kalvo {

class SqliteStatement
{
public:
    SqliteStatement(sqlite3* db, const QByteArray& sql)
    {
        m_rc = sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &m_stmt, nullptr);
    }
    SqliteStatement(sqlite3* db, const char* sql) : SqliteStatement(db, QByteArray(sql)) {}
    ~SqliteStatement() { sqlite3_finalize(m_stmt); }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    bool ok() const { return m_rc == SQLITE_OK; }
    int prepareResult() const { return m_rc; }
    sqlite3_stmt* get() const { return m_stmt; }
    void bind(int index, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    void bind(int index, qint64 value) { sqlite3_bind_int64(m_stmt, index, value); }
    int step() { return sqlite3_step(m_stmt); }
    QString text(int column) const
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
    }
    qint64 number(int column) const { return sqlite3_column_int64(m_stmt, column); }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc = SQLITE_OK;
};

} // namespace kalvo
