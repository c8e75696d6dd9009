// The calls that screening hung up on, in their own table of the call database file: never call
// records, so no list, mail, program or unread count ever sees them.
#pragma once

#include <QDateTime>
#include <QString>
#include <vector>

struct sqlite3;

namespace kalvo {

struct ScreenedCall
{
    qint64 id = 0;
    QDateTime at; // local time
    QString name;
    QString number;
    QString reason;  // why the caller was screened
    QString outcome; // "timed out", "wrong key", "hung up"
};

// Errors are returned as false (or nothing) with lastError() set.
class ScreenedCallStore
{
public:
    ScreenedCallStore() = default;
    ~ScreenedCallStore();
    ScreenedCallStore(const ScreenedCallStore&) = delete;
    ScreenedCallStore& operator=(const ScreenedCallStore&) = delete;

    // Opens (and creates when needed) the table in the database file of callsFolder.
    bool open(const QString& callsFolder);
    bool isOpen() const { return m_db != nullptr; }
    QString lastError() const { return m_error; }

    // Keeps one screened-out call; its id is set. Calls older than keepDays are let go.
    bool add(ScreenedCall& call, int keepDays = 30);
    // The calls from since on, newest first.
    std::vector<ScreenedCall> since(const QDateTime& since, bool* ok = nullptr);
    // The calls on day.
    int countOn(const QDate& day);

private:
    bool fail(const QString& what);
    sqlite3* m_db = nullptr;
    QString m_error;
};

} // namespace kalvo
