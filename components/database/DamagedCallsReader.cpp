// Salvage of the call records in a damaged database file: through SQLite where its tree still
// leads to them, and from the table pages themselves where it does not.
#include "DamagedCallsReader.h"
#include "SqliteStatement.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <sqlite3.h>

namespace kalvo {

namespace {

using Record = DamagedCallsReader::Record;
using Found = std::map<qint64, Record>;

constexpr char kMagic[16] = "SQLite format 3";
constexpr int kHeaderSize = 100;
constexpr unsigned char kTableLeaf = 0x0d;

quint32 be16(const uchar* p)
{
    return quint32(p[0]) << 8 | p[1];
}

quint32 be32(const uchar* p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

void putBe32(uchar* p, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uchar(value >> (24 - 8 * i));
}

// SQLite's variable-length integer at p; false when it runs past end.
bool readVarint(const uchar*& p, const uchar* end, quint64& value)
{
    value = 0;
    for (int i = 0; i < 9; ++i, ++p) {
        if (p >= end)
            return false;
        if (i == 8) {
            value = value << 8 | *p++;
            return true;
        }
        value = value << 7 | (*p & 0x7f);
        if (!(*p & 0x80)) {
            ++p;
            return true;
        }
    }
    return false;
}

// One column of a stored record as the text the call list would show; false for a kind of value a
// call record never holds.
bool columnText(quint64 serialType, const uchar*& v, const uchar* end, QString& text)
{
    static const int intSizes[] = {0, 1, 2, 3, 4, 6, 8};
    if (serialType >= 13 && serialType % 2 == 1) {
        const auto length = qsizetype((serialType - 13) / 2);
        if (end - v < length)
            return false;
        text = QString::fromUtf8(reinterpret_cast<const char*>(v), length);
        v += length;
        return true;
    }
    if (serialType >= 1 && serialType <= 6) {
        const int length = intSizes[serialType];
        if (end - v < length)
            return false;
        qint64 number = qint8(v[0]);
        for (int k = 1; k < length; ++k)
            number = number << 8 | v[k];
        text = QString::number(number);
        v += length;
        return true;
    }
    if (serialType == 8 || serialType == 9) {
        text = QString::number(serialType - 8);
        return true;
    }
    return serialType == 0;
}

// The cells of one table leaf page that have a call record's shape: the row id's NULL and seven
// texts, wholly on this page, with a read state of "0" or "1".
void readLeaf(const uchar* page, int pageSize, int headerOffset, Found& found)
{
    const uchar* header = page + headerOffset;
    if (header[0] != kTableLeaf)
        return;
    const uchar* pageEnd = page + pageSize;
    const quint32 cells = be16(header + 3);
    for (quint32 c = 0; c < cells; ++c) {
        const uchar* pointer = header + 8 + 2 * c;
        if (pointer + 2 > pageEnd)
            return;
        const quint32 offset = be16(pointer);
        if (offset < quint32(headerOffset + 8) || offset >= quint32(pageSize))
            continue;
        const uchar* p = page + offset;
        quint64 payload = 0, rowid = 0, headerLength = 0;
        if (!readVarint(p, pageEnd, payload) || !readVarint(p, pageEnd, rowid))
            continue;
        // Longer records go on overflow pages; those are left to SQLite's own reading.
        if (payload > quint64(pageSize - 35) || payload > quint64(pageEnd - p) || rowid == 0)
            continue;
        const uchar* bodyEnd = p + payload;
        const uchar* types = p;
        if (!readVarint(types, bodyEnd, headerLength) || headerLength > payload)
            continue;
        const uchar* typesEnd = p + headerLength;
        std::vector<quint64> serialTypes;
        for (quint64 type = 0; types < typesEnd && serialTypes.size() < 9;) {
            if (!readVarint(types, typesEnd, type))
                break;
            serialTypes.push_back(type);
        }
        if (types != typesEnd || serialTypes.size() != 8 || serialTypes[0] != 0)
            continue;
        Record record;
        const uchar* value = typesEnd;
        bool shaped = true;
        for (int i = 1; i < 8 && shaped; ++i)
            shaped = columnText(serialTypes[size_t(i)], value, bodyEnd, record[size_t(i - 1)]);
        if (shaped && value == bodyEnd && (record[6] == "0" || record[6] == "1"))
            found[qint64(rowid)] = record;
    }
}

// The pages on the free list, as the header names them (deleted calls may still be on them).
std::set<quint32> freePages(const QByteArray& file, int pageSize)
{
    std::set<quint32> free;
    const auto* data = reinterpret_cast<const uchar*>(file.constData());
    const quint32 pages = quint32(file.size() / pageSize);
    for (quint32 trunk = be32(data + 32); trunk >= 1 && trunk <= pages && !free.count(trunk);) {
        free.insert(trunk);
        const uchar* page = data + qsizetype(trunk - 1) * pageSize;
        const quint32 leaves = std::min<quint32>(be32(page + 4), quint32(pageSize / 4 - 2));
        for (quint32 i = 0; i < leaves; ++i)
            free.insert(be32(page + 8 + 4 * i));
        trunk = be32(page);
    }
    return free;
}

Found readPages(const QByteArray& file, int pageSize, const std::set<quint32>& skip)
{
    Found found;
    const auto* data = reinterpret_cast<const uchar*>(file.constData());
    const quint32 pages = quint32(file.size() / pageSize);
    for (quint32 number = 1; number <= pages; ++number) {
        if (!skip.count(number))
            readLeaf(data + qsizetype(number - 1) * pageSize, pageSize, number == 1 ? kHeaderSize : 0, found);
    }
    return found;
}

bool hasMagic(const QByteArray& file)
{
    return file.size() >= kHeaderSize && file.startsWith(QByteArray(kMagic, sizeof kMagic));
}

int headerPageSize(const QByteArray& file)
{
    const quint32 size = be16(reinterpret_cast<const uchar*>(file.constData()) + 16);
    return size == 1 ? 65536 : (size >= 512 && (size & (size - 1)) == 0 ? int(size) : 0);
}

// A header for a file whose own was overwritten: the page size found, a UTF-8 rollback-journal
// database with no free list. The schema on page 1 past the header is kept as it is.
void mendHeader(QByteArray& file, int pageSize)
{
    QByteArray header(kHeaderSize, '\0');
    auto* h = reinterpret_cast<uchar*>(header.data());
    memcpy(h, kMagic, sizeof kMagic);
    h[16] = uchar(pageSize == 65536 ? 0 : pageSize >> 8);
    h[17] = uchar(pageSize == 65536 ? 1 : pageSize & 0xff);
    h[18] = h[19] = 1;
    h[21] = 64, h[22] = 32, h[23] = 32;
    putBe32(h + 24, 1);                               // change counter
    putBe32(h + 28, quint32(file.size() / pageSize)); // pages
    putBe32(h + 40, 1);                               // schema cookie
    putBe32(h + 44, 4);                               // schema format
    putBe32(h + 56, 1);                               // UTF-8
    putBe32(h + 92, 1);                               // valid for change counter 1
    putBe32(h + 96, quint32(SQLITE_VERSION_NUMBER));
    file.replace(0, kHeaderSize, header);
}

constexpr const char* kFields = "\"Call_Name\", \"Call_Number\", \"Call_Time\", \"Call_Date\", "
                                "\"Call_Massage_Name\", \"Type\", \"Read\"";

Record rowRecord(const SqliteStatement& query, int first)
{
    Record record;
    for (int i = 0; i < 7; ++i)
        record[size_t(i)] = query.text(first + i);
    return record;
}

// The rows SQLite still reaches: the table in order up to the first broken page, then each row the
// pages name by its id.
Found readThroughSqlite(const QString& copy, const Found& fromPages)
{
    Found found;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(copy).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
        SQLITE_OK) {
        {
            SqliteStatement all(db, QByteArray("SELECT id, ") + kFields + " FROM Calls ORDER BY id");
            while (all.ok() && all.step() == SQLITE_ROW)
                found[all.number(0)] = rowRecord(all, 1);
        }
        SqliteStatement one(db, QByteArray("SELECT ") + kFields + " FROM Calls WHERE id = ?");
        for (const auto& [id, record] : fromPages) {
            if (!one.ok() || found.count(id))
                continue;
            sqlite3_reset(one.get());
            one.bind(1, id);
            if (one.step() == SQLITE_ROW)
                found[id] = rowRecord(one, 0);
        }
    }
    sqlite3_close_v2(db);
    return found;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

DamagedCallsReader::DamagedCallsReader(const QString& path)
{
    read(path);
}

void DamagedCallsReader::read(const QString& path)
{
    QByteArray file = readFile(path);
    m_sqliteHeader = hasMagic(file);
    const bool headerReadable = m_sqliteHeader && headerPageSize(file) > 0;
    int pageSize = headerReadable ? headerPageSize(file) : 0;
    Found fromPages;
    if (headerReadable) {
        fromPages = readPages(file, pageSize, freePages(file, pageSize));
    } else {
        // The header is gone: the page size is the one under which the most calls make sense.
        for (int size = 512; size <= 65536; size *= 2) {
            Found found = readPages(file, size, {});
            if (found.size() > fromPages.size())
                fromPages = std::move(found), pageSize = size;
        }
    }

    // SQLite works on a private copy: its recovery of the log and any write it makes never touch
    // the file that is kept.
    QTemporaryDir scratch;
    Found bySqlite;
    if (scratch.isValid() && pageSize > 0) {
        const QString copy = scratch.filePath("calls.sqlite3");
        if (!headerReadable)
            mendHeader(file, pageSize);
        else
            QFile::copy(path + "-wal", copy + "-wal");
        QFile out(copy);
        if (out.open(QIODevice::WriteOnly) && out.write(file) == file.size()) {
            out.close();
            bySqlite = readThroughSqlite(copy, fromPages);
        }
    }
    m_bySqlite = int(bySqlite.size());
    for (const auto& [id, record] : fromPages)
        bySqlite.try_emplace(id, record);
    m_fromPages = int(bySqlite.size()) - m_bySqlite;
    m_records.reserve(bySqlite.size());
    for (auto& [id, record] : bySqlite)
        m_records.push_back(std::move(record));
}

} // namespace kalvo
