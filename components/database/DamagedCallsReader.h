// Reading the calls back out of a call database file that SQLite refuses to open or read through.
#pragma once

#include <QString>
#include <array>
#include <vector>

namespace kalvo {

// The calls still readable in a damaged calls.sqlite3 (and its -wal beside it). The file is never
// written: the work is done on a private copy. Two passes: SQLite itself reads every row it can
// still reach through the table's tree (on a copy whose header is mended when it was overwritten);
// then every table page of the file is read on its own, so rows behind a broken page of the tree
// come back too. Pages on the free list are skipped, so deleted calls stay deleted where the file
// still says which pages those are.
class DamagedCallsReader
{
public:
    using Record = std::array<QString, 7>; // the fields in the order of SqliteCallDatabase::FieldNames

    // Reads what it can of path. Never throws.
    explicit DamagedCallsReader(const QString& path);

    // The calls found, oldest first (by their row id).
    const std::vector<Record>& records() const { return m_records; }
    // How many of them SQLite read through the table, and how many came from the pages alone.
    int readBySqlite() const { return m_bySqlite; }
    int readFromPages() const { return m_fromPages; }
    // Whether the file looks like a call database at all: SQLite's header, or some call found.
    bool isCallDatabase() const { return m_sqliteHeader || !m_records.empty(); }

private:
    void read(const QString& path);

    std::vector<Record> m_records;
    int m_bySqlite = 0;
    int m_fromPages = 0;
    bool m_sqliteHeader = false;
};

} // namespace kalvo
