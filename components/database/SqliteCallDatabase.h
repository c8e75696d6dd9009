// The call database over one SQLite file in the program's Calls folder.
#pragma once

#include "CallDatabase.h"
#include "WalCheckpointer.h"

#include <array>
#include <memory>
#include <vector>

struct sqlite3;

namespace kalvo {

// Keeps the calls in the table `Calls` of <Calls folder>/calls.sqlite3. The row id orders the
// records, so record number n is the n-th row by id. Each Update, Delete and DeleteAll is one
// committed transaction (WAL journal, synchronous FULL), so a process killed at any moment leaves
// every committed record readable; each is checkpointed at once on a thread of its own (the commit
// does not wait for it) and the log emptied on close, so the database file alone holds every record. A file
// that is not a database is reported, never replaced.
class SqliteCallDatabase : public CallDatabase
{
public:
    // Name of the database file inside the Calls folder.
    static constexpr const char* FileName = "calls.sqlite3";
    // The fields in column order of the Query array.
    static const std::array<const char*, 7> FieldNames;

    SqliteCallDatabase() = default;
    ~SqliteCallDatabase() override;
    SqliteCallDatabase(const SqliteCallDatabase&) = delete;
    SqliteCallDatabase& operator=(const SqliteCallDatabase&) = delete;

    void Query(const QString& command, QueryArray& result) override;
    void MoveTo(int recordNumber) override;
    void MoveFirst() override;
    void Open(const QString& callsFolder) override;
    void SetField(const QString& fieldName, const QString& value) override;
    void SetField(const QString& fieldName, qint16 value) override;
    void Delete() override;
    void DeleteAll() override;
    QString GetField(const QString& fieldName) override;
    void Update() override;
    void Edit() override;
    void AddNew() override;
    int RecordCount() override;
    int FieldIndex(const QString& fieldName) override;
    // The record's row id.
    qint64 RecordId(int recordNumber) override;
    // Reads the records one by one straight from the table.
    void ForEachRecord(const std::function<void(const RecordTexts&)>& visit) override;
    // Waits until the changes made so far are in the database file itself.
    void settle();

private:
    enum class EditMode { None, Adding, Editing };
    using Record = std::array<QString, 7>;

    void close();
    void checkpoint();
    sqlite3* connection() const;
    void execute(const char* sql);
    void loadIds();
    void keepNumbering(std::vector<qint64> ids);
    Record readRecord(qint64 id) const;
    [[noreturn]] void raise(int sqliteCode) const;

    sqlite3* m_db = nullptr;
    std::unique_ptr<WalCheckpointer> m_checkpointer;
    // Row ids of all records in order; index + 1 is the record number. Only this object writes
    // the file while it is open, so the list stays in step with the table.
    std::vector<qint64> m_ids;
    int m_current = -1; // index into m_ids, -1 for no current record
    EditMode m_mode = EditMode::None;
    Record m_pending;
    // The record GetField read last; forgotten at every move and write (0: none).
    qint64 m_readId = 0;
    Record m_read;
};

} // namespace kalvo
