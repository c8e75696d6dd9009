// SQLite storage of the call records: schema, record numbering and the mapping of failures onto
// run-time error numbers.
#include "SqliteCallDatabase.h"
#include "SqliteStatement.h"

#include "VbError.h"
#include "WalCheckpointer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kalvo {

namespace {

// Error numbers of the record store that have no standard run-time number.
constexpr int ErrUpdateWithoutAddNewOrEdit = 3020;
constexpr int ErrNoCurrentRecord = 3021;
constexpr int ErrLocked = 3218;
constexpr int ErrItemNotFound = 3265;
constexpr int ErrUnrecognizedFormat = 3343;

constexpr const char* CreateTableSql = "CREATE TABLE IF NOT EXISTS Calls ("
                                       " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                                       " \"Call_Name\" TEXT NOT NULL DEFAULT '',"
                                       " \"Call_Number\" TEXT NOT NULL DEFAULT '',"
                                       " \"Call_Time\" TEXT NOT NULL DEFAULT '',"
                                       " \"Call_Date\" TEXT NOT NULL DEFAULT '',"
                                       " \"Call_Massage_Name\" TEXT NOT NULL DEFAULT '',"
                                       " \"Type\" TEXT NOT NULL DEFAULT '',"
                                       " \"Read\" TEXT NOT NULL DEFAULT '')";
constexpr const char* FieldList = "\"Call_Name\", \"Call_Number\", \"Call_Time\", \"Call_Date\", "
                                  "\"Call_Massage_Name\", \"Type\", \"Read\"";

using Statement = SqliteStatement;

// Leaves the owner's rights as they are (a read-only file stays read-only).
void dropGroupAndOtherRights(const QString& path)
{
    struct stat st
    {
    };
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &st) == 0 && (st.st_mode & 077) != 0)
        ::chmod(name.constData(), st.st_mode & 07700);
}

int fieldColumn(const QString& fieldName)
{
    for (std::size_t i = 0; i < SqliteCallDatabase::FieldNames.size(); ++i) {
        if (fieldName.compare(QLatin1String(SqliteCallDatabase::FieldNames[i]), Qt::CaseInsensitive) == 0)
            return int(i);
    }
    throw VbError(ErrItemNotFound, "Item not found in this collection.");
}

} // namespace

const std::array<const char*, 7> SqliteCallDatabase::FieldNames = {
    CallField::Name,        CallField::Number, CallField::Time, CallField::Date,
    CallField::MessageName, CallField::Type,   CallField::Read};

SqliteCallDatabase::~SqliteCallDatabase()
{
    close();
}

void SqliteCallDatabase::close()
{
    m_readId = 0;
    m_checkpointer.reset();
    if (m_db) {
        // Everything into the database file and an empty log, so the file alone is the whole store.
        sqlite3_wal_checkpoint_v2(m_db, "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        sqlite3_close_v2(m_db);
    }
    m_db = nullptr;
    m_ids.clear();
    m_current = -1;
    m_mode = EditMode::None;
}

void SqliteCallDatabase::Open(const QString& callsFolder)
{
    close();
    if (callsFolder.isEmpty() || !QDir().mkpath(callsFolder))
        throw VbError(VbPathNotFound);
    const QString path = QDir(callsFolder).filePath(QLatin1String(FileName));
    if (QFileInfo(path).isDir())
        throw VbError(VbPathFileAccessError);
    // The calls name callers: owner-only. SQLite gives its log and index files the database file's
    // mode, so a file made owner-only before they exist keeps all three private.
    dropGroupAndOtherRights(callsFolder);
    if (!QFileInfo::exists(path)) {
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
    } else {
        dropGroupAndOtherRights(path);
    }

    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    m_db = db;
    if (rc != SQLITE_OK) {
        const int code = rc;
        close();
        raise(code);
    }
    sqlite3_extended_result_codes(m_db, 0);
    sqlite3_busy_timeout(m_db, 5000);
    try {
        // The first statement reads the header: a file that is not a database fails here, before
        // anything is written to it.
        execute("PRAGMA schema_version");
        if (!sqlite3_db_readonly(m_db, "main")) {
            execute("PRAGMA journal_mode=WAL");
            execute(CreateTableSql);
        }
        execute("PRAGMA synchronous=FULL");
        // Another program's file or an older layout is refused here, with what is wrong, rather than
        // failing once per call later.
        try {
            execute((QByteArray("SELECT id, ") + FieldList + " FROM Calls LIMIT 0").constData());
        } catch (const VbError& mismatch) {
            throw VbError(VbApplicationDefined,
                          "its Calls table is not the one Kalvo keeps: " + mismatch.description());
        }
        loadIds();
        if (!sqlite3_db_readonly(m_db, "main"))
            m_checkpointer = std::make_unique<WalCheckpointer>(path.toUtf8().toStdString());
    } catch (const VbError& error) {
        close();
        if (error.number() == ErrUnrecognizedFormat)
            throw VbError(ErrUnrecognizedFormat,
                          "Unrecognized database format '" + path.toStdString() + "'.");
        throw;
    }
}

void SqliteCallDatabase::checkpoint()
{
    // A committed change is safe in the write-ahead log already; copying it into the database file
    // at once keeps calls.sqlite3 complete by itself (for a user who copies only that file). A
    // checkpoint that cannot run now is not a failure of the change: the next one catches up.
    if (m_checkpointer)
        m_checkpointer->request();
}

void SqliteCallDatabase::settle()
{
    if (m_checkpointer)
        m_checkpointer->waitIdle();
}

sqlite3* SqliteCallDatabase::connection() const
{
    if (!m_db)
        throw VbError(VbObjectVariableNotSet);
    return m_db;
}

void SqliteCallDatabase::execute(const char* sql)
{
    char* message = nullptr;
    const int rc = sqlite3_exec(connection(), sql, nullptr, nullptr, &message);
    sqlite3_free(message);
    if (rc != SQLITE_OK)
        raise(rc);
}

void SqliteCallDatabase::loadIds()
{
    Statement query(connection(), "SELECT id FROM Calls ORDER BY id");
    if (query.prepareResult() != SQLITE_OK)
        raise(query.prepareResult());
    std::vector<qint64> ids;
    int rc;
    while ((rc = query.step()) == SQLITE_ROW)
        ids.push_back(sqlite3_column_int64(query.get(), 0));
    if (rc != SQLITE_DONE)
        raise(rc);
    m_ids = std::move(ids);
}

SqliteCallDatabase::Record SqliteCallDatabase::readRecord(qint64 id) const
{
    Statement query(connection(), QByteArray("SELECT ") + FieldList + " FROM Calls WHERE id = ?");
    if (query.prepareResult() != SQLITE_OK)
        raise(query.prepareResult());
    query.bind(1, id);
    const int rc = query.step();
    if (rc == SQLITE_DONE)
        throw VbError(ErrNoCurrentRecord, "No current record.");
    if (rc != SQLITE_ROW)
        raise(rc);
    Record record;
    for (int i = 0; i < int(record.size()); ++i)
        record[i] = query.text(i);
    return record;
}

void SqliteCallDatabase::Query(const QString& command, QueryArray& result)
{
    if (command.trimmed().compare(QLatin1String("Get *"), Qt::CaseInsensitive) != 0)
        throw VbError(VbInvalidProcedureCall);
    Statement query(connection(), QByteArray("SELECT id, ") + FieldList + " FROM Calls ORDER BY id");
    if (query.prepareResult() != SQLITE_OK)
        raise(query.prepareResult());
    std::vector<qint64> ids;
    std::vector<Record> records;
    int rc;
    while ((rc = query.step()) == SQLITE_ROW) {
        ids.push_back(sqlite3_column_int64(query.get(), 0));
        Record& record = records.emplace_back();
        for (int i = 0; i < int(record.size()); ++i)
            record[i] = query.text(i + 1);
    }
    if (rc != SQLITE_DONE)
        raise(rc);

    result.resize(int(records.size()), int(FieldNames.size()));
    for (int row = 0; row < int(records.size()); ++row) {
        for (int column = 0; column < int(FieldNames.size()); ++column)
            result.at(row + 1, column + 1) = std::move(records[row][column]);
    }
    keepNumbering(std::move(ids));
}

void SqliteCallDatabase::ForEachRecord(const std::function<void(const RecordTexts&)>& visit)
{
    Statement query(connection(), QByteArray("SELECT id, ") + FieldList + " FROM Calls ORDER BY id");
    if (query.prepareResult() != SQLITE_OK)
        raise(query.prepareResult());
    std::vector<qint64> ids;
    ids.reserve(m_ids.size());
    RecordTexts texts;
    int rc;
    while ((rc = query.step()) == SQLITE_ROW) {
        ids.push_back(sqlite3_column_int64(query.get(), 0));
        for (int i = 0; i < int(texts.size()); ++i) {
            const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(query.get(), i + 1));
            texts[size_t(i)] =
                std::string_view(data ? data : "", size_t(sqlite3_column_bytes(query.get(), i + 1)));
        }
        visit(texts);
    }
    if (rc != SQLITE_DONE)
        raise(rc);
    keepNumbering(std::move(ids));
}

void SqliteCallDatabase::keepNumbering(std::vector<qint64> ids)
{
    // The table is the truth; keep the numbering in step with what the caller now holds.
    if (ids == m_ids)
        return;
    const qint64 currentId = m_current >= 0 ? m_ids[size_t(m_current)] : 0;
    m_ids = std::move(ids);
    const auto it = std::lower_bound(m_ids.begin(), m_ids.end(), currentId);
    m_current = (it != m_ids.end() && *it == currentId) ? int(it - m_ids.begin()) : -1;
}

void SqliteCallDatabase::MoveTo(int recordNumber)
{
    m_readId = 0;
    connection();
    m_mode = EditMode::None;
    if (recordNumber < 1 || recordNumber > int(m_ids.size()))
        throw VbError(VbSubscriptOutOfRange);
    m_current = recordNumber - 1;
}

void SqliteCallDatabase::MoveFirst()
{
    m_readId = 0;
    connection();
    m_mode = EditMode::None;
    if (m_ids.empty())
        throw VbError(ErrNoCurrentRecord, "No current record.");
    m_current = 0;
}

void SqliteCallDatabase::SetField(const QString& fieldName, const QString& value)
{
    connection();
    const int column = fieldColumn(fieldName);
    if (m_mode == EditMode::None)
        throw VbError(ErrUpdateWithoutAddNewOrEdit, "Update or CancelUpdate without AddNew or Edit.");
    m_pending[column] = value;
}

void SqliteCallDatabase::SetField(const QString& fieldName, qint16 value)
{
    SetField(fieldName, QString::number(value));
}

void SqliteCallDatabase::Delete()
{
    m_readId = 0;
    connection();
    m_mode = EditMode::None;
    if (m_current < 0)
        throw VbError(ErrNoCurrentRecord, "No current record.");
    Statement statement(m_db, "DELETE FROM Calls WHERE id = ?");
    if (statement.prepareResult() != SQLITE_OK)
        raise(statement.prepareResult());
    statement.bind(1, m_ids[m_current]);
    const int rc = statement.step();
    if (rc != SQLITE_DONE)
        raise(rc);
    m_ids.erase(m_ids.begin() + m_current);
    m_current = -1;
    checkpoint();
}

void SqliteCallDatabase::DeleteAll()
{
    m_readId = 0;
    connection();
    m_mode = EditMode::None;
    execute("DELETE FROM Calls");
    m_ids.clear();
    m_current = -1;
    checkpoint();
}

QString SqliteCallDatabase::GetField(const QString& fieldName)
{
    connection();
    const int column = fieldColumn(fieldName);
    if (m_mode != EditMode::None)
        return m_pending[column];
    if (m_current < 0)
        throw VbError(ErrNoCurrentRecord, "No current record.");
    // Callers read a record's fields one after the other: one query serves them all.
    const qint64 id = m_ids[size_t(m_current)];
    if (m_readId != id) {
        m_read = readRecord(id);
        m_readId = id;
    }
    return m_read[column];
}

void SqliteCallDatabase::Update()
{
    m_readId = 0;
    connection();
    if (m_mode == EditMode::None)
        throw VbError(ErrUpdateWithoutAddNewOrEdit, "Update or CancelUpdate without AddNew or Edit.");
    const bool adding = m_mode == EditMode::Adding;
    if (!adding && m_current < 0) {
        m_mode = EditMode::None;
        throw VbError(ErrNoCurrentRecord, "No current record.");
    }
    // Whatever happens below, the pending record is spent, as after a failed Update in any
    // record store: the caller starts again with AddNew or Edit.
    m_mode = EditMode::None;
    const QByteArray sql =
        adding ? QByteArray("INSERT INTO Calls (") + FieldList + ") VALUES (?, ?, ?, ?, ?, ?, ?)"
               : QByteArray("UPDATE Calls SET \"Call_Name\" = ?, \"Call_Number\" = ?, "
                            "\"Call_Time\" = ?, \"Call_Date\" = ?, \"Call_Massage_Name\" = ?, "
                            "\"Type\" = ?, \"Read\" = ? WHERE id = ?");
    Statement statement(m_db, sql);
    if (statement.prepareResult() != SQLITE_OK)
        raise(statement.prepareResult());
    for (int i = 0; i < int(m_pending.size()); ++i)
        statement.bind(i + 1, m_pending[i]);
    if (!adding)
        statement.bind(int(m_pending.size()) + 1, m_ids[m_current]);
    const int rc = statement.step();
    if (rc != SQLITE_DONE)
        raise(rc);
    if (adding) {
        m_ids.push_back(sqlite3_last_insert_rowid(m_db));
        m_current = int(m_ids.size()) - 1;
    } else if (sqlite3_changes(m_db) == 0) {
        throw VbError(ErrNoCurrentRecord, "No current record.");
    }
    checkpoint();
}

void SqliteCallDatabase::Edit()
{
    connection();
    if (m_current < 0)
        throw VbError(ErrNoCurrentRecord, "No current record.");
    m_pending = readRecord(m_ids[m_current]);
    m_mode = EditMode::Editing;
}

void SqliteCallDatabase::AddNew()
{
    connection();
    m_pending = Record();
    m_mode = EditMode::Adding;
}

int SqliteCallDatabase::RecordCount()
{
    connection();
    return int(m_ids.size());
}

qint64 SqliteCallDatabase::RecordId(int recordNumber)
{
    connection();
    if (recordNumber < 1 || recordNumber > int(m_ids.size()))
        throw VbError(VbSubscriptOutOfRange);
    return m_ids[size_t(recordNumber - 1)];
}

int SqliteCallDatabase::FieldIndex(const QString& fieldName)
{
    return fieldColumn(fieldName) + 1;
}

void SqliteCallDatabase::raise(int sqliteCode) const
{
    const std::string message = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(sqliteCode);
    switch (sqliteCode & 0xff) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        throw VbError(VbPermissionDenied);
    case SQLITE_FULL:
        throw VbError(VbDiskFull);
    case SQLITE_IOERR:
        throw VbError(VbDeviceIoError);
    case SQLITE_CANTOPEN:
        throw VbError(VbPathFileAccessError);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        throw VbError(ErrUnrecognizedFormat, "Unrecognized database format.");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw VbError(ErrLocked, "Could not update; currently locked.");
    default:
        throw VbError(VbApplicationDefined, "Call database: " + message);
    }
}

} // namespace kalvo
