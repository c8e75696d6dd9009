// Plain SQL on a database file.
#include "SqlFile.h"

#include <QFile>
#include <sqlite3.h>

namespace kalvo::test {

QString executeSql(const QString& file, const QString& sql)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(file).constData(), &db) != SQLITE_OK) {
        const QString why = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return why;
    }
    char* message = nullptr;
    QString why;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK)
        why = QString::fromUtf8(message ? message : "failed");
    sqlite3_free(message);
    sqlite3_close(db);
    return why;
}

} // namespace kalvo::test
